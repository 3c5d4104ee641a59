// The parameters of the effect as the host holds them: the definitions the
// plug-in declared at PF_Cmd_PARAMS_SETUP, and per instance the current
// static value or keyframes, the expression on its stream, its hidden flag
// and its interface flags. Serves add_param, checkout_param and
// checkin_param, and lets the host's user set values, keyframes and
// expressions, checked as a host checks what is typed.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "minihost/base/error.h"
#include "minihost/host/host.h"
#include "minihost/params/animation.h"
#include "minihost/params/expression.h"

namespace minihost {

struct HostParam {
  PF_ParamDef def{};        // as declared; `u` holds the current static value
                            // (for a keyframed one its value at the instance's
                            // time), `ui_flags` the interface state
  std::string expression;   // the text on the parameter's stream; empty for none
  bool user_expression = false;  // the user's text, not one the plug-in wrote
  std::vector<Keyframe> keyframes;  // sorted by time; none for a static value
  bool hidden = false;      // AEGP_DynStreamFlag_HIDDEN on its stream

  bool disabled() const { return (def.ui_flags & PF_PUI_DISABLED) != 0; }
  // Animated by the user: keyframes, or an expression of theirs.
  bool animated() const { return !keyframes.empty() || user_expression; }
};

// Something the host tells the user about a parameter without refusing
// anything, such as an expression's result outside the valid range.
struct ParamWarning {
  PF_ParamIndex index;
  std::string message;
};

// A value as a user gives it, one kind per parameter type.
struct SliderValue {  // fixed and float sliders, in the slider's unit
  double value;
};
struct PopupValue {  // the choice, counted from 1
  A_long choice;
};
struct PointValue {  // pixels of the layer, or percent of its size
  double x, y;
  bool x_percent = false, y_percent = false;
};
using ParamValue = std::variant<SliderValue, bool /*checkbox*/, PopupValue, PF_Pixel, PointValue>;

// A value or a name the host refuses, with a message for the user.
class ParamValueError : public HostError {
 public:
  using HostError::HostError;
};

class ParamService : public Service {
 public:
  // Creates the service (once per host), gives it to the host and installs
  // its callbacks (add_param, checkout_param, checkin_param). The suites that
  // reach the parameters are added with InstallParameterSuites.
  static ParamService& Install(Host& host);
  explicit ParamService(Host& host) : host_(host) {}

  // Sends PF_Cmd_PARAMS_SETUP. Index 0, the input layer, is the host's own.
  PF_Err ParamsSetup();
  // The definitions as declared (index 0 included).
  const std::vector<PF_ParamDef>& declared() const { return declared_; }

  // The parameters of an instance, created from the declared defaults on
  // first use. Point defaults are percent of the layer: the host delivers
  // them in 16.16 pixels of the layer size set at that time.
  std::vector<HostParam>& Params(Instance& instance);
  // Pointers for the params[] argument of a command, one per parameter.
  std::vector<PF_ParamDef*> ParamList(Instance& instance);
  void SetLayerSize(A_long width, A_long height);
  A_long layer_width() const { return layer_width_; }
  A_long layer_height() const { return layer_height_; }

  // --- The user's side -------------------------------------------------------
  // The index of a declared parameter that holds a value, by displayed name
  // (exact, else ignoring case). Throws ParamValueError naming the nearest.
  PF_ParamIndex IndexOf(std::string_view name) const;
  // Sets a static value. Throws ParamValueError when the kind of value does
  // not fit the parameter's type or the value lies outside its valid range.
  void Set(Instance& instance, PF_ParamIndex index, const ParamValue& value);
  void Set(Instance& instance, std::string_view name, const ParamValue& value);
  // The value Set would store, in the definition's union, without storing it.
  PF_ParamDefUnion Checked(Instance& instance, PF_ParamIndex index, const ParamValue& value);

  // Keyframes (at distinct times, in any order) in place of the static
  // value; none makes the value static again, at the value the keyframes
  // had at the instance's time.
  void SetKeyframes(Instance& instance, PF_ParamIndex index, std::vector<Keyframe> keyframes);
  // The user's expression; empty removes it. Throws ParamValueError naming
  // the parameter for a text that does not parse (CheckExpression).
  void SetUserExpression(Instance& instance, PF_ParamIndex index, const std::string& text);
  void CheckExpression(PF_ParamIndex index, const std::string& text) const;
  // The time the interface commands see (params[] carry keyframed values at
  // it); returns the parameters whose static value changed.
  std::vector<PF_ParamIndex> MoveToTime(Instance& instance, double seconds);
  // Warnings since the last call; each parameter warns once per instance.
  std::vector<ParamWarning> TakeWarnings();

  // --- What the AEGP layer and the param utils change ----------------------
  void SetExpression(Instance& instance, PF_ParamIndex index, std::string text);
  // The expression's value at `seconds`, as checkout delivers it; for a
  // parameter without one, ok with the static value.
  ExpressionResult Evaluate(Instance& instance, PF_ParamIndex index, double seconds);
  // How the expression on `index` fares at `seconds` on every part of the
  // value (x and y of a point, each colour channel) as checkout applies it:
  // the first failure, a result that is no finite number included; ok when
  // none fails or there is no expression.
  ExpressionResult ExpressionFailure(Instance& instance, PF_ParamIndex index, double seconds);

  // A 16-byte record of every non-layer value and expression of the
  // instance: equal values give equal records, any change another one.
  PF_State CurrentState(Instance& instance);
  // Whether `index` (or any non-layer parameter, for the PF_ParamIndex_CHECK
  // values) differs from when `state` was taken; nullopt for a record that
  // is no state of this instance.
  std::optional<bool> ChangedSince(Instance& instance, const PF_State& state,
                                   PF_ParamIndex index);

  // The value a parameter has at a time: its static or keyframed value, and
  // its expression's value at that time when it has one. An expression
  // applies to each part of a value in turn (x and y of a point, each
  // colour channel from 0 to 255; a checkbox is 0 or 1, a popup its choice),
  // with `value` that part; its result is clamped into the valid range.
  PF_Err Checkout(Instance& instance, PF_ParamIndex index, A_long what_time, A_long time_step,
                  A_u_long time_scale, PF_ParamDef* out);

  void Audit(std::vector<std::string>& problems) override;

 private:
  friend struct ParamCallbacks;
  struct InstanceParams {
    std::vector<HostParam> params;
    uint32_t serial = 0;
    // Per-parameter value hashes of every state handed out, by the state's
    // combined hash, so that a state answers for single parameters too.
    std::map<uint64_t, std::vector<uint64_t>> states;
    double seconds = 0.0;  // the interface's time
    std::vector<bool> warned;  // per parameter, once a warning is given
  };
  InstanceParams& Of(Instance& instance);
  HostParam& At(Instance& instance, PF_ParamIndex index);
  std::vector<uint64_t> ValueHashes(const InstanceParams& data) const;
  std::string Declare(PF_ParamDef def);
  void ApplyExpression(InstanceParams& data, PF_ParamIndex index, double seconds,
                       PF_ParamDef& value);
  void Warn(InstanceParams& data, PF_ParamIndex index, std::string message);

  Host& host_;
  std::vector<PF_ParamDef> declared_;
  // Host-owned copies of the texts that definitions point to (choices,
  // checkbox labels), so they do not depend on the plug-in's memory.
  std::deque<std::string> texts_;
  std::map<const Instance*, InstanceParams> instances_;
  uint32_t next_serial_ = 1;
  A_long layer_width_ = 0;
  A_long layer_height_ = 0;
  int outstanding_checkouts_ = 0;
  std::vector<ParamWarning> warnings_;
};

// The displayed name of a definition, or a description for unnamed ones.
std::string DisplayName(const PF_ParamDef& def, PF_ParamIndex index);
// The choices of a popup, from its '|'-separated text.
std::vector<std::string> PopupChoices(const PF_ParamDef& def);

// A slider's numbers as the user sees them (a fixed slider's in units).
// Other definitions: value 0, a valid range without bounds, slider 0 to 0.
struct SliderNumbers {
  double value = 0;
  double valid_min = -1e300, valid_max = 1e300;
  double slider_min = 0, slider_max = 0;
};
SliderNumbers SliderNumbersOf(const PF_ParamDef& def);

}  // namespace minihost
