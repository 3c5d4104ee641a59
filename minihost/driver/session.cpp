#include "minihost/driver/session.h"

#include <algorithm>

#include "minihost/base/error.h"
#include "minihost/params/param_text.h"
#include "minihost/suites/parameter_suites.h"

namespace minihost {
namespace {

const char* CommandLabel(PF_Cmd cmd) {
  switch (cmd) {
    case PF_Cmd_GLOBAL_SETUP: return "PF_Cmd_GLOBAL_SETUP";
    case PF_Cmd_PARAMS_SETUP: return "PF_Cmd_PARAMS_SETUP";
    case PF_Cmd_SEQUENCE_SETUP: return "PF_Cmd_SEQUENCE_SETUP";
    case PF_Cmd_USER_CHANGED_PARAM: return "PF_Cmd_USER_CHANGED_PARAM";
    case PF_Cmd_UPDATE_PARAMS_UI: return "PF_Cmd_UPDATE_PARAMS_UI";
    default: return "command";
  }
}

bool Supervised(const PF_ParamDef& def) { return (def.flags & PF_ParamFlag_SUPERVISE) != 0; }

}  // namespace

Session::Session(Host& host, A_long layer_width, A_long layer_height)
    : host_(host), params_(InstallParameterSuites(host)) {
  params_.SetLayerSize(layer_width, layer_height);
}

Instance& Session::instance() {
  if (instance_ == nullptr) throw HostError("the session has no effect instance before Start()");
  return *instance_;
}

PF_Err Session::Sent(PF_Err err, PF_Cmd cmd) {
  for (const std::string& p : host_.problems()) {
    problems_.push_back(std::string(CommandLabel(cmd)) + ": " + p);
  }
  return err;
}

PF_Err Session::Start() {
  if (instance_ != nullptr) throw HostError("the session has already started");
  if (const PF_Err err = Sent(host_.GlobalSetup(), PF_Cmd_GLOBAL_SETUP)) return err;
  if (const PF_Err err = Sent(params_.ParamsSetup(), PF_Cmd_PARAMS_SETUP)) return err;
  instance_ = &host_.NewInstance();
  if (const PF_Err err = Sent(host_.SequenceSetup(*instance_), PF_Cmd_SEQUENCE_SETUP)) {
    return err;
  }
  return UpdateParamsUI();
}

PF_Err Session::UpdateParamsUI() {
  std::vector<PF_ParamDef*> list = params_.ParamList(instance());
  return Sent(host_.Send(PF_Cmd_UPDATE_PARAMS_UI, instance_, list.data()),
              PF_Cmd_UPDATE_PARAMS_UI);
}

PF_Err Session::UserChangedParam(PF_ParamIndex index) {
  std::vector<PF_ParamDef*> list = params_.ParamList(instance());
  PF_UserChangedParamExtra extra{index};
  return Sent(host_.Send(PF_Cmd_USER_CHANGED_PARAM, instance_, list.data(), nullptr, &extra),
              PF_Cmd_USER_CHANGED_PARAM);
}

PF_Err Session::ChangeParam(PF_ParamIndex index, const ParamValue& value) {
  params_.Set(instance(), index, value);
  PF_Err err = PF_Err_NONE;
  if (Supervised(params_.declared()[static_cast<std::size_t>(index)])) {
    err = UserChangedParam(index);
  }
  const PF_Err update_err = UpdateParamsUI();
  return err != PF_Err_NONE ? err : update_err;
}

PF_Err Session::ChangeParam(std::string_view name, std::string_view text) {
  const PF_ParamIndex index = params_.IndexOf(name);
  return ChangeParam(
      index, ParseParamValue(params_.declared()[static_cast<std::size_t>(index)], index, text));
}

PF_Err Session::ApplySettings(const std::vector<ParamSetting>& settings) {
  struct Change {
    PF_ParamIndex index;
    ParamValue value;
  };
  std::vector<Change> changes;
  for (const ParamSetting& s : settings) {
    const PF_ParamIndex index = params_.IndexOf(s.name);
    const PF_ParamDef& def = params_.declared()[static_cast<std::size_t>(index)];
    changes.push_back({index, ParseParamValue(def, index, s.value)});
  }
  std::stable_partition(changes.begin(), changes.end(), [&](const Change& c) {
    return !Supervised(params_.declared()[static_cast<std::size_t>(c.index)]);
  });
  PF_Err first = PF_Err_NONE;
  for (const Change& c : changes) {
    const PF_Err err = ChangeParam(c.index, c.value);
    if (first == PF_Err_NONE) first = err;
  }
  return first;
}

}  // namespace minihost
