#include "minihost/driver/session.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

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
  return Changed(index);
}

PF_Err Session::Changed(PF_ParamIndex index) {
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

void ResolveFrames(std::vector<ParamSetting>& settings, double fps) {
  for (ParamSetting& s : settings) s.time.SetRate(fps);
}

void ResolveFrames(std::vector<ParamSetting>& settings, int64_t rate_num, int64_t rate_den) {
  for (ParamSetting& s : settings) {
    s.time.rate_num = rate_num;
    s.time.rate_den = rate_den;
  }
}

namespace {

std::string WithOrigin(const ParamSetting& s, const std::string& message) {
  return s.origin.empty() ? message : s.origin + ": " + message;
}

std::string Quoted(const PF_ParamDef& def, PF_ParamIndex index) {
  std::string out = "\"";
  out += DisplayName(def, index);
  out += '"';
  return out;
}

// What the settings ask of one parameter.
struct Plan {
  PF_ParamIndex index = 0;
  std::optional<ParamValue> value;
  const ParamSetting* value_setting = nullptr;
  std::vector<Keyframe> keys;
  std::vector<const ParamSetting*> key_settings;  // in the keys' order
  const ParamSetting* expression = nullptr;
};

// Two keyframes of a parameter at one time are refused, the later given
// named with its origin. Sorted first, so that a long list of keyframes is
// checked in n log n.
void CheckDistinctTimes(const Plan& plan, const std::vector<PF_ParamDef>& declared) {
  std::vector<const ParamSetting*> keys = plan.key_settings;
  std::sort(keys.begin(), keys.end(), [](const ParamSetting* a, const ParamSetting* b) {
    return a->time.Seconds() < b->time.Seconds();
  });
  for (std::size_t i = 1; i < keys.size(); ++i) {
    const ParamSetting* a = keys[i - 1];
    const ParamSetting* b = keys[i];
    if (b->time.Seconds() - a->time.Seconds() >= 1e-7) continue;
    if (b < a) std::swap(a, b);  // settings lie in one vector, in the order given
    const PF_ParamDef& def = declared[static_cast<std::size_t>(plan.index)];
    throw ParamValueError(WithOrigin(
        *b, Quoted(def, plan.index) + " has two keyframes at " + FormatNumber(b->time.Seconds()) +
                " s (" + a->time.Text() + " and " + b->time.Text() + ")"));
  }
}

}  // namespace

PF_Err Session::ApplySettings(const std::vector<ParamSetting>& settings) {
  // Every name first, so that the highest layer per parameter is known.
  std::vector<PF_ParamIndex> indices;
  std::map<PF_ParamIndex, int> top_layer;
  for (const ParamSetting& s : settings) {
    PF_ParamIndex index = 0;
    try {
      index = params_.IndexOf(s.name);
    } catch (const ParamValueError& e) {
      throw ParamValueError(WithOrigin(s, e.what()));
    }
    indices.push_back(index);
    const auto [it, fresh] = top_layer.emplace(index, s.layer);
    if (!fresh) it->second = std::max(it->second, s.layer);
  }

  // Every value, time and expression is read and checked before anything
  // is sent. Plans keep the order in which parameters first appear.
  std::vector<Plan> plans;
  auto plan_of = [&](PF_ParamIndex index) -> Plan& {
    for (Plan& p : plans) {
      if (p.index == index) return p;
    }
    plans.push_back(Plan{});
    plans.back().index = index;
    return plans.back();
  };
  for (std::size_t i = 0; i < settings.size(); ++i) {
    const ParamSetting& s = settings[i];
    const PF_ParamIndex index = indices[i];
    if (s.layer != top_layer[index]) continue;
    const PF_ParamDef& def = params_.declared()[static_cast<std::size_t>(index)];
    Plan& plan = plan_of(index);
    try {
      switch (s.kind) {
        case ParamSetting::Kind::kValue: {
          ParamValue value = ParseParamValue(def, index, s.value);
          params_.Checked(instance(), index, value);
          plan.value = std::move(value);
          plan.value_setting = &s;
          break;
        }
        case ParamSetting::Kind::kKeyframe: {
          const ParamValue value = ParseParamValue(def, index, s.value);
          plan.keys.push_back({s.time.Seconds(), params_.Checked(instance(), index, value)});
          plan.key_settings.push_back(&s);
          break;
        }
        case ParamSetting::Kind::kExpression: {
          params_.CheckExpression(index, s.value);
          plan.expression = &s;
          break;
        }
      }
    } catch (const ParamValueError& e) {
      throw ParamValueError(WithOrigin(s, e.what()));
    }
    if (plan.value && !plan.keys.empty()) {
      throw ParamValueError(WithOrigin(
          s, Quoted(def, index) + " has both a constant value and keyframes: give one or the "
                                  "other"));
    }
  }

  for (const Plan& plan : plans) CheckDistinctTimes(plan, params_.declared());

  for (const Plan& plan : plans) {
    if (plan.expression != nullptr) {
      params_.SetUserExpression(instance(), plan.index, plan.expression->value);
    }
  }
  // The parameters that are not supervised first, so that the last
  // supervised change sees all final values.
  std::vector<const Plan*> changes;
  for (const Plan& plan : plans) {
    if (plan.value || !plan.keys.empty()) changes.push_back(&plan);
  }
  std::stable_partition(changes.begin(), changes.end(), [&](const Plan* p) {
    return !Supervised(params_.declared()[static_cast<std::size_t>(p->index)]);
  });
  PF_Err first = PF_Err_NONE;
  for (const Plan* plan : changes) {
    if (plan->value) {
      params_.SetKeyframes(instance(), plan->index, {});  // a constant replaces keyframes
      params_.Set(instance(), plan->index, *plan->value);
    } else {
      params_.SetKeyframes(instance(), plan->index, plan->keys);
    }
    const PF_Err err = Changed(plan->index);
    if (first == PF_Err_NONE) first = err;
  }

  // Hidden parameters are the plug-in's: a host shows them nowhere to
  // animate. Known only once the plug-in has seen the values.
  for (const Plan& plan : plans) {
    const HostParam& p = Params()[static_cast<std::size_t>(plan.index)];
    if (!p.hidden || (plan.keys.empty() && plan.expression == nullptr)) continue;
    const ParamSetting& s = plan.expression != nullptr ? *plan.expression : *plan.key_settings[0];
    throw ParamValueError(WithOrigin(
        s, Quoted(p.def, plan.index) +
               " is hidden by the plug-in (with these settings) and is not the user's to "
               "animate: it takes no keyframes and no expression"));
  }

  user_settings_.clear();
  std::vector<const Plan*> ordered;
  for (const Plan& plan : plans) ordered.push_back(&plan);
  std::sort(ordered.begin(), ordered.end(),
            [](const Plan* a, const Plan* b) { return a->index < b->index; });
  for (const Plan* plan : ordered) {
    const std::string name =
        DisplayName(params_.declared()[static_cast<std::size_t>(plan->index)], plan->index);
    auto keep = [&](const ParamSetting& s) {
      ParamSetting copy = s;
      copy.name = name;
      copy.layer = 0;
      copy.origin.clear();
      user_settings_.push_back(std::move(copy));
    };
    if (plan->value_setting != nullptr) keep(*plan->value_setting);
    std::vector<const ParamSetting*> keys = plan->key_settings;
    std::sort(keys.begin(), keys.end(), [](const ParamSetting* a, const ParamSetting* b) {
      return a->time.Seconds() < b->time.Seconds();
    });
    for (const ParamSetting* k : keys) keep(*k);
    if (plan->expression != nullptr) keep(*plan->expression);
  }
  return first;
}

PF_Err Session::SetTime(double seconds) {
  const std::vector<PF_ParamIndex> changed = params_.MoveToTime(instance(), seconds);
  if (changed.empty()) return PF_Err_NONE;
  PF_Err first = PF_Err_NONE;
  for (const PF_ParamIndex index : changed) {
    if (!Supervised(params_.declared()[static_cast<std::size_t>(index)])) continue;
    const PF_Err err = UserChangedParam(index);
    if (first == PF_Err_NONE) first = err;
  }
  const PF_Err err = UpdateParamsUI();
  return first != PF_Err_NONE ? first : err;
}

}  // namespace minihost
