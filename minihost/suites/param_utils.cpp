#include "minihost/suites/param_utils.h"

#include <cstring>
#include <string>

#include "minihost/host/traps.h"
#include "minihost/params/params.h"

namespace minihost {
namespace {

struct Context {
  Host* host = nullptr;
  ParamService* params = nullptr;
  Instance* instance = nullptr;
};

// The host, its parameters and the instance an effect reference names; a
// foreign reference is named as the misuse of `call`.
bool Enter(Context& c, PF_ProgPtr effect_ref, const char* call) {
  c.host = Host::Current();
  if (c.host == nullptr) return false;
  c.params = c.host->FindService<ParamService>();
  c.instance = c.host->InstanceFromRef(effect_ref);
  if (c.params == nullptr) return false;
  if (c.instance == nullptr) {
    c.host->Problem(std::string(call) + " with a foreign effect reference");
    return false;
  }
  return true;
}

// A plug-in keeps its state record in a handle; one that hands over a block
// too small for it would have the host read beyond the block.
bool FitsState(Host& host, const void* state, const char* call) {
  if (state == nullptr) {
    host.Problem(std::string(call) + " without a state record");
    return false;
  }
  for (const HandleInfo& info : host.handles().Live()) {
    if (*info.handle == state && info.size < sizeof(PF_State)) {
      host.Problem(std::string(call) + " handed " + Describe(info) + ", shorter than a " +
                   std::to_string(sizeof(PF_State)) + "-byte PF_State");
      return false;
    }
  }
  return true;
}

PF_Err UpdateParamUI(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def) {
  Host* host = Host::Current();
  if (host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  std::string detail = "(";
  detail += std::to_string(index);
  if (def != nullptr) detail += (def->ui_flags & PF_PUI_DISABLED) != 0 ? ",D" : ",E";
  detail += ")";
  if (auto failure = host->faults().Enter("PF_UpdateParamUI", {}, detail)) return failure->code;
  Context c;
  if (!Enter(c, effect_ref, "PF_UpdateParamUI")) return PF_Err_BAD_CALLBACK_PARAM;
  std::vector<HostParam>& params = c.params->Params(*c.instance);
  if (index <= 0 || static_cast<std::size_t>(index) >= params.size() ||
      static_cast<std::size_t>(index) >= c.params->declared().size()) {
    host->Problem("PF_UpdateParamUI with index " + std::to_string(index) + " of " +
                  std::to_string(params.size()) + " parameters");
    return PF_Err_INVALID_INDEX;
  }
  if (def == nullptr) {
    host->Problem("PF_UpdateParamUI without a record");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  HostParam& p = params[static_cast<std::size_t>(index)];
  const PF_ParamType declared = c.params->declared()[static_cast<std::size_t>(index)].param_type;
  if (def->param_type != declared) {
    host->Problem("PF_UpdateParamUI of parameter " + std::to_string(index) + " (" +
                  DisplayName(p.def, index) + ") with type " + std::to_string(def->param_type) +
                  ", declared as " + std::to_string(declared));
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  constexpr std::size_t kNameSize = sizeof def->name_do_not_use_directly;
  if (strnlen(def->name_do_not_use_directly, kNameSize) == kNameSize) {
    host->Problem("PF_UpdateParamUI of parameter " + std::to_string(index) +
                  " with a name that is not terminated");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  p.def.ui_flags = (p.def.ui_flags & ~PF_PUI_DISABLED) | (def->ui_flags & PF_PUI_DISABLED);
  // The host shows the name the record carries.
  std::memcpy(p.def.name_do_not_use_directly, def->name_do_not_use_directly, kNameSize);
  return PF_Err_NONE;
}

PF_Err GetCurrentState(PF_ProgPtr effect_ref, PF_State* state) {
  Host* host = Host::Current();
  if (host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (auto failure = host->faults().Enter("PF_GetCurrentState")) return failure->code;
  Context c;
  if (!Enter(c, effect_ref, "PF_GetCurrentState")) return PF_Err_BAD_CALLBACK_PARAM;
  if (!FitsState(*host, state, "PF_GetCurrentState")) return PF_Err_BAD_CALLBACK_PARAM;
  *state = c.params->CurrentState(*c.instance);
  return PF_Err_NONE;
}

PF_Err HasParamChanged(PF_ProgPtr effect_ref, const PF_State* state, PF_ParamIndex index,
                       PF_Boolean* changed) {
  Host* host = Host::Current();
  if (host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (auto failure = host->faults().Enter("PF_HasParamChanged")) return failure->code;
  Context c;
  if (!Enter(c, effect_ref, "PF_HasParamChanged")) return PF_Err_BAD_CALLBACK_PARAM;
  if (changed == nullptr) {
    host->Problem("PF_HasParamChanged without a destination");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (!FitsState(*host, state, "PF_HasParamChanged")) return PF_Err_BAD_CALLBACK_PARAM;
  const bool all = index == PF_ParamIndex_CHECK_ALL ||
                   index == PF_ParamIndex_CHECK_ALL_EXCEPT_LAYER_PARAMS ||
                   index == PF_ParamIndex_CHECK_ALL_HONOR_EXCLUDE;
  if (!all && (index < 0 || static_cast<std::size_t>(index) >= c.params->declared().size())) {
    return PF_Err_INVALID_INDEX;
  }
  const std::optional<bool> result = c.params->ChangedSince(*c.instance, *state, index);
  if (!result) {
    host->Problem("PF_HasParamChanged handed a record that PF_GetCurrentState did not give "
                  "for this effect");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *changed = *result ? 1 : 0;
  return PF_Err_NONE;
}

constexpr PF_ParamUtilsSuite1 kParamUtilsSuite1 = {
    .PF_UpdateParamUI = UpdateParamUI,
    .PF_GetCurrentStateObsolete = GetCurrentState,
    .PF_HasParamChangedObsolete = HasParamChanged,
    .PF_HaveInputsChangedOverTimeSpanObsolete =
        MINIHOST_TRAP(PF_ParamUtilsSuite1, PF_HaveInputsChangedOverTimeSpanObsolete),
    .PF_IsIdenticalCheckout = MINIHOST_TRAP(PF_ParamUtilsSuite1, PF_IsIdenticalCheckout),
    .PF_FindKeyframeTime = MINIHOST_TRAP(PF_ParamUtilsSuite1, PF_FindKeyframeTime),
    .PF_GetKeyframeCount = MINIHOST_TRAP(PF_ParamUtilsSuite1, PF_GetKeyframeCount),
    .PF_CheckoutKeyframe = MINIHOST_TRAP(PF_ParamUtilsSuite1, PF_CheckoutKeyframe),
    .PF_CheckinKeyframe = MINIHOST_TRAP(PF_ParamUtilsSuite1, PF_CheckinKeyframe),
    .PF_KeyIndexToTime = MINIHOST_TRAP(PF_ParamUtilsSuite1, PF_KeyIndexToTime),
};

}  // namespace

void InstallParamUtilsSuite(Host& host) {
  host.suites().Register(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1, &kParamUtilsSuite1);
}

}  // namespace minihost
