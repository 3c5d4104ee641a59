// One effect applied to one layer, driven with the commands a real host
// sends: global set-up, parameter set-up, a new instance with its sequence
// set-up, then PF_Cmd_UPDATE_PARAMS_UI; and for every change the user makes,
// PF_Cmd_USER_CHANGED_PARAM when the parameter is supervised, then
// PF_Cmd_UPDATE_PARAMS_UI.
//
// The session keeps the findings of the host's audit after every command it
// sends, so a caller can check a whole flow at once.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "minihost/host/host.h"
#include "minihost/params/params.h"

namespace minihost {

inline constexpr A_long kDefaultLayerWidth = 1920;
inline constexpr A_long kDefaultLayerHeight = 1080;

// What a user sets on a parameter, by displayed name and in text: a static
// value, a keyframe (a value at a time) or an expression.
struct ParamSetting {
  enum class Kind { kValue, kKeyframe, kExpression };

  ParamSetting() = default;
  // A static value: "NAME=VALUE".
  ParamSetting(std::string name_, std::string value_)
      : name(std::move(name_)), value(std::move(value_)) {}

  std::string name;
  std::string value;  // the value, or the expression's text
  Kind kind = Kind::kValue;
  KeyTime time;       // of a keyframe
  // Settings of a higher layer replace everything a lower one sets on the
  // same parameter (the command line over a settings file over defaults).
  int layer = 0;
  // Where it was given, put before its errors ("look.json: /params/Amount");
  // empty for the command line.
  std::string origin;
};

// Frame-numbered keyframe times count at `fps` frames a second.
void ResolveFrames(std::vector<ParamSetting>& settings, double fps);
void ResolveFrames(std::vector<ParamSetting>& settings, int64_t rate_num, int64_t rate_den);

class Session {
 public:
  // Installs the parameter services on `host`, which must outlive the
  // session. The layer size decides where points lie.
  explicit Session(Host& host, A_long layer_width = kDefaultLayerWidth,
                   A_long layer_height = kDefaultLayerHeight);

  // Global set-up, parameter set-up, a new instance, sequence set-up and the
  // first interface update. Stops at the first command that fails and
  // returns its code. Throws HostError when the host refuses the plug-in.
  PF_Err Start();
  bool started() const { return instance_ != nullptr; }

  // Single commands, with the instance's current parameters.
  PF_Err UpdateParamsUI();
  PF_Err UserChangedParam(PF_ParamIndex index);

  // A user's change of one value: the value is set (ParamValueError when the
  // host refuses it, before any command), then the commands follow. Returns
  // the first failing code.
  PF_Err ChangeParam(PF_ParamIndex index, const ParamValue& value);
  PF_Err ChangeParam(std::string_view name, std::string_view text);

  // Several changes, as a user would make them one after another, but in an
  // order that leaves every result of the changes consistent with the final
  // values: the parameters that are not supervised first, so that the last
  // supervised change sees all final values. Every name and value is read
  // before anything is sent. Returns the first failing code.
  //
  // Keyframes and expressions are set with the values; for one parameter,
  // settings of the highest layer given count, a static value and keyframes
  // together are refused, and so are keyframes or an expression on a
  // parameter the plug-in keeps hidden (such as one it writes its own
  // expression on). Throws ParamValueError, with the setting's origin before
  // the message: before any command is sent, except for a hidden
  // parameter, which is known only once the plug-in has seen the values.
  PF_Err ApplySettings(const std::vector<ParamSetting>& settings);
  // The settings in effect after ApplySettings, one group per parameter in
  // the order declared, names as displayed and values as given.
  const std::vector<ParamSetting>& user_settings() const { return user_settings_; }

  // The time the interface is at: keyframed values at that time are what the
  // interface commands see, and changes of supervised ones are sent as a
  // user's changes. Returns the first failing code.
  PF_Err SetTime(double seconds);

  Host& host() { return host_; }
  ParamService& params() { return params_; }
  // Throws HostError before Start() has made the instance.
  Instance& instance();
  std::vector<HostParam>& Params() { return params_.Params(instance()); }

  // Every finding of the host's audit after the session's commands, each
  // with the command it followed.
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  PF_Err Sent(PF_Err err, PF_Cmd cmd);
  // The commands that follow a user's change of `index`.
  PF_Err Changed(PF_ParamIndex index);

  Host& host_;
  ParamService& params_;
  Instance* instance_ = nullptr;
  std::vector<std::string> problems_;
  std::vector<ParamSetting> user_settings_;
};

}  // namespace minihost
