#include "params/interface_state.h"

#include <cstring>
#include <span>

#include "entry/global_data.h"
#include "entry/sequence_data.h"
#include "host/aegp_guard.h"
#include "host/handle_guard.h"
#include "host/suite_handler.h"
#include "params/expression_text.h"

namespace prismora {
namespace {

// The records the rules send; CopyParamDefs fills only these.
constexpr ParamIndex kCopiedParams[] = {
    PARAM_BLUR_AMOUNT,          PARAM_RANDOM_MODE,         PARAM_RANDOM_AMPLITUDE,
    PARAM_RANDOM_FPS,           PARAM_WIGGLE_FREQ,         PARAM_WIGGLE_AMP,
    PARAM_WIGGLE_OCTAVES,       PARAM_WIGGLE_AMPMULT,      PARAM_RANDOM_SEED,
    PARAM_COLOR_MODE,           PARAM_COLOR1,              PARAM_COLOR2,
    PARAM_COLOR3,               PARAM_VIGNETTING_AMOUNT,   PARAM_VIGNETTING_POWER,
    PARAM_VIGNETTING_BRIGHTNESS, PARAM_VIGNETTING_MAXIMUM, PARAM_VIGNETTING_MINIMUM,
    PARAM_VIGNETTING_SAME,      PARAM_VIGNETTING_CENTER,
};

// The streams a command takes, in the order taken and given back.
constexpr ParamIndex kStreamParams[] = {
    PARAM_RANDOM_VALUE, PARAM_RANDOM_AMPLITUDE, PARAM_RANDOM_FPS,     PARAM_WIGGLE_FREQ,
    PARAM_WIGGLE_AMP,   PARAM_WIGGLE_OCTAVES,   PARAM_WIGGLE_AMPMULT, PARAM_BLUR_MODE,
};
constexpr std::size_t kStreamCount = std::size(kStreamParams);

constexpr std::size_t StreamSlot(ParamIndex index) {
  for (std::size_t slot = 0; slot < kStreamCount; ++slot) {
    if (kStreamParams[slot] == index) return slot;
  }
  return kStreamCount;
}

// Shown only in one Random Mode, whether or not Random ON is on.
struct ModeVisibility {
  ParamIndex param;
  bool shown_for_random;  // shown when Random Mode is Random, else when it is not
};
constexpr ModeVisibility kModeVisibility[] = {
    {PARAM_RANDOM_AMPLITUDE, true}, {PARAM_RANDOM_FPS, true},     {PARAM_WIGGLE_FREQ, false},
    {PARAM_WIGGLE_AMP, false},      {PARAM_WIGGLE_OCTAVES, false}, {PARAM_WIGGLE_AMPMULT, false},
};

// Hidden on every call that gets that far without an error.
constexpr ParamIndex kAlwaysHidden[] = {PARAM_RANDOM_VALUE, PARAM_BLUR_MODE};

// Records of the Random section after Random Mode itself, per mode.
constexpr ParamIndex kRandomModeRecords[] = {PARAM_RANDOM_AMPLITUDE, PARAM_RANDOM_SEED,
                                             PARAM_RANDOM_FPS};
constexpr ParamIndex kWiggleModeRecords[] = {PARAM_WIGGLE_FREQ, PARAM_WIGGLE_AMP,
                                             PARAM_WIGGLE_OCTAVES, PARAM_WIGGLE_AMPMULT,
                                             PARAM_RANDOM_SEED};

// Records of the Vignetting section before Vignetting Center.
constexpr ParamIndex kVignettingRecords[] = {PARAM_VIGNETTING_BRIGHTNESS, PARAM_VIGNETTING_AMOUNT,
                                             PARAM_VIGNETTING_POWER, PARAM_VIGNETTING_SAME};
constexpr ParamIndex kVignettingRecordsWithLimits[] = {
    PARAM_VIGNETTING_BRIGHTNESS, PARAM_VIGNETTING_AMOUNT, PARAM_VIGNETTING_POWER,
    PARAM_VIGNETTING_MAXIMUM,    PARAM_VIGNETTING_MINIMUM, PARAM_VIGNETTING_SAME};

// Every parameter the rules read from params[].
constexpr ParamIndex kReadParams[] = {PARAM_BLUR_ON, PARAM_RANDOM_ON, PARAM_VIGNETTING_ON};

constexpr bool kEnabled = true;

// One run of either command. Members are destroyed in reverse order, so the
// references go back before the suites they need.
class InterfacePass {
 public:
  InterfacePass(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                GlobalData& global, InterfaceCommand command)
      : in_(in_data),
        out_(out_data),
        params_(params),
        global_(global),
        command_(command),
        ansi_(in_data->utils->ansi),
        suites_(in_data->pica_basicP),
        refs_(suites_) {}

  PF_Err Run() {
    random_mode_is_random_ = Choice(PARAM_RANDOM_MODE) == kRandomModeRandom;
    TakeReferences();
    ShowByRandomMode();
    if (err_ == PF_Err_NONE) err_ = CopyParamDefs(params_, copies_);
    if (err_ == PF_Err_NONE) {
      RenewSnapshot();
      BlurSection();
      RandomSection();
      ColourSection();
      VignettingSection();
    }
    HideAlwaysHidden();
    const PF_Err release_err = refs_.Release();
    if (err_ == PF_Err_NONE) err_ = release_err;
    if (err_ == PF_Err_NONE) global_.ui_updated = 1;
    out_->out_flags |= PF_OutFlag_REFRESH_UI;
    return err_;
  }

 private:
  bool On(ParamIndex index) const { return params_[index]->u.bd.value != 0; }
  A_long Choice(ParamIndex index) const { return params_[index]->u.pd.value; }
  AEGP_StreamRefH Stream(ParamIndex index) const { return refs_.stream(StreamSlot(index)); }

  void TakeReferences() {
    err_ = suites_.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(
        global_.plugin_id, in_->effect_ref, refs_.effect_slot());
    for (std::size_t slot = 0; slot < kStreamCount && err_ == PF_Err_NONE; ++slot) {
      err_ = suites_.StreamSuite7()->AEGP_GetNewEffectStreamByIndex(
          global_.plugin_id, refs_.effect(), kStreamParams[slot], refs_.stream_slot(slot));
    }
  }

  void SetHidden(ParamIndex index, bool hidden) {
    if (err_ != PF_Err_NONE) return;
    err_ = suites_.DynamicStreamSuite2()->AEGP_SetDynamicStreamFlag(
        Stream(index), AEGP_DynStreamFlag_HIDDEN, false, hidden);
  }

  void ShowByRandomMode() {
    for (const ModeVisibility& v : kModeVisibility) {
      SetHidden(v.param, v.shown_for_random != random_mode_is_random_);
    }
  }

  void HideAlwaysHidden() {
    for (ParamIndex index : kAlwaysHidden) SetHidden(index, true);
  }

  // The snapshot is renewed when the host reports a change since the last
  // one, or while the controls have not been brought into line yet. The
  // initial one-byte sequence data holds no snapshot and counts as changed;
  // the host is never handed a block shorter than a PF_State.
  void RenewSnapshot() {
    const PF_HandleSuite1* handles = suites_.HandleSuite2();
    PF_Handle old = in_->sequence_data;
    PF_Boolean changed = false;
    if (handles->host_get_handle_size(old) >= sizeof(PF_State)) {
      err_ = suites_.ParamUtilsSuite2()->PF_HasParamChangedObsolete(
          in_->effect_ref, static_cast<const PF_State*>(*old),
          PF_ParamIndex_CHECK_ALL_EXCEPT_LAYER_PARAMS, &changed);
    } else {
      changed = true;
    }
    if (!changed && global_.ui_updated != 0) return;

    // Disposed on the way out unless it is installed.
    OwnedHandle fresh(handles, kSnapshotSequenceDataSize);
    if (!fresh) return;  // no snapshot this time; not an error
    if (err_ == PF_Err_NONE) {
      err_ = suites_.ParamUtilsSuite2()->PF_GetCurrentStateObsolete(
          in_->effect_ref, static_cast<PF_State*>(*fresh.get()));
    }
    if (err_ != PF_Err_NONE) return;
    handles->host_dispose_handle(old);
    out_->sequence_data = in_->sequence_data = fresh.Release();
  }

  // Prepares the copy of one record and sends it while nothing has failed.
  void Send(ParamIndex index, bool enabled) {
    PF_ParamDef& def = copies_[index];
    const ParamRow& row = RowOf(index);
    def.param_type = row.type;
    // The colour mode popup keeps the name it was copied with.
    if (index != PARAM_COLOR_MODE) ansi_.strcpy(def.name_do_not_use_directly, row.name);
    def.ui_flags = enabled ? (def.ui_flags & ~PF_PUI_DISABLED) : (def.ui_flags | PF_PUI_DISABLED);
    if (err_ == PF_Err_NONE) {
      err_ = suites_.ParamUtilsSuite2()->PF_UpdateParamUI(in_->effect_ref, index, &def);
    }
  }

  void SendAll(std::span<const ParamIndex> indices, bool enabled) {
    for (ParamIndex index : indices) Send(index, enabled);
  }

  // Where a failure so far is shown to the user.
  void ReportPoint() {
    if (err_ != PF_Err_NONE) {
      ansi_.strcpy(out_->return_msg, "ERROR");
      out_->out_flags = PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    } else {
      global_.ui_updated = 1;
    }
  }

  void BlurSection() {
    const bool enabled = err_ == PF_Err_NONE && On(PARAM_BLUR_ON);
    Send(PARAM_BLUR_AMOUNT, enabled);
    if (!enabled) ReportPoint();
  }

  void RandomSection() {
    const bool enabled = err_ == PF_Err_NONE && On(PARAM_RANDOM_ON);
    Send(PARAM_RANDOM_MODE, enabled);
    const A_long mode = Choice(PARAM_RANDOM_MODE);
    if (err_ == PF_Err_NONE && (mode == kRandomModeRandom || mode == kRandomModeWiggle)) {
      SendAll(mode == kRandomModeRandom ? std::span<const ParamIndex>(kRandomModeRecords)
                                        : std::span<const ParamIndex>(kWiggleModeRecords),
              enabled);
      if (command_ == InterfaceCommand::kUserChangedParam) WriteExpression(enabled, mode);
    }
    if (!enabled) ReportPoint();
  }

  // The text of the current values when Random ON is on, else the empty
  // text, which clears. Built whatever happened before; sent only while
  // nothing has failed.
  void WriteExpression(bool random_on, A_long mode) {
    ExpressionBuffer text = {};
    if (random_on) {
      if (mode == kRandomModeRandom) {
        BuildRandomExpression(ansi_, params_, text);
      } else {
        BuildWiggleExpression(ansi_, params_, text);
      }
    }
    if (err_ != PF_Err_NONE) return;
    err_ = suites_.StreamSuite7()->AEGP_SetExpression(global_.plugin_id,
                                                      Stream(PARAM_RANDOM_VALUE), text);
  }

  void ColourSection() {
    const A_long mode = Choice(PARAM_COLOR_MODE);
    if (err_ == PF_Err_NONE && mode >= kColorModeOne && mode <= kColorModeThree) {
      Send(PARAM_COLOR_MODE, kEnabled);
      Send(PARAM_COLOR1, kEnabled);
      Send(PARAM_COLOR2, mode >= kColorModeTwo);
      Send(PARAM_COLOR3, mode >= kColorModeThree);
    }
    ReportPoint();
  }

  void VignettingSection() {
    const bool enabled = err_ == PF_Err_NONE && On(PARAM_VIGNETTING_ON);
    SendAll(command_ == InterfaceCommand::kUpdateParamsUI
                ? std::span<const ParamIndex>(kVignettingRecordsWithLimits)
                : std::span<const ParamIndex>(kVignettingRecords),
            enabled);
    Send(PARAM_VIGNETTING_CENTER, enabled && !On(PARAM_VIGNETTING_SAME));
    if (!enabled) ReportPoint();
  }

  PF_InData* in_;
  PF_OutData* out_;
  PF_ParamDef** params_;
  GlobalData& global_;
  const InterfaceCommand command_;
  const PF_ANSICallbacksBlock& ansi_;
  SuiteHandler suites_;
  EffectReferences<kStreamCount> refs_;
  ParamCopies copies_;
  PF_Err err_ = PF_Err_NONE;
  bool random_mode_is_random_ = false;
};

// Everything the commands read must be there before the host is asked for
// anything: global data that global set-up failed to hand over, or sequence
// data that sequence set-up could not, must not be dereferenced.
bool HasWhatItNeeds(const PF_InData* in_data, PF_ParamDef* const params[]) {
  if (in_data->global_data == nullptr || *in_data->global_data == nullptr) return false;
  if (in_data->sequence_data == nullptr || *in_data->sequence_data == nullptr) return false;
  if (in_data->utils->ansi.strcpy == nullptr || in_data->utils->ansi.sprintf == nullptr) {
    return false;
  }
  if (params == nullptr) return false;
  for (ParamIndex index : kCopiedParams) {
    if (params[index] == nullptr) return false;
  }
  for (ParamIndex index : kReadParams) {
    if (params[index] == nullptr) return false;
  }
  return true;
}

}  // namespace

PF_Err CopyParamDefs(PF_ParamDef* const params[], ParamCopies& copies) {
  std::memset(copies.data(), 0, sizeof(PF_ParamDef) * copies.size());
  for (ParamIndex index : kCopiedParams) copies[index] = *params[index];
  return PF_Err_NONE;
}

PF_Err UpdateInterfaceState(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            InterfaceCommand command) {
  if (!HasWhatItNeeds(in_data, params)) return PF_Err_BAD_CALLBACK_PARAM;
  auto& global = *static_cast<GlobalData*>(*in_data->global_data);
  InterfacePass pass(in_data, out_data, params, global, command);
  return pass.Run();
}

}  // namespace prismora
