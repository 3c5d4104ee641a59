#include "minihost/params/animation.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numeric>

#include "minihost/params/param_text.h"

namespace minihost {

void KeyTime::SetRate(double fps) {
  rate_num = std::llround(fps * 1000.0);
  rate_den = 1000;
  const int64_t g = std::gcd(rate_num, rate_den);
  if (g > 1) {
    rate_num /= g;
    rate_den /= g;
  }
}
namespace {

// Times this close count as equal, so that a frame's time that rounding left
// a hair short of a keyframe's still takes a held keyframe's value.
constexpr double kSameTime = 1e-7;

double Lerp(double a, double b, double t) { return a + (b - a) * t; }

A_u_char LerpChannel(A_u_char a, A_u_char b, double t) {
  return static_cast<A_u_char>(std::clamp(std::lround(Lerp(a, b, t)), 0L, 255L));
}

PF_ParamDefUnion Blend(const PF_ParamDef& def, const PF_ParamDefUnion& a,
                       const PF_ParamDefUnion& b, double t) {
  PF_ParamDefUnion out = def.u;
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
      out.fd.value = FixedFromDouble(Lerp(a.fd.value / 65536.0, b.fd.value / 65536.0, t));
      break;
    case PF_Param_FLOAT_SLIDER: out.fs_d.value = Lerp(a.fs_d.value, b.fs_d.value, t); break;
    case PF_Param_SLIDER:
      out.sd.value = static_cast<A_long>(std::lround(Lerp(a.sd.value, b.sd.value, t)));
      break;
    case PF_Param_POINT:
      out.td.x_value = FixedFromDouble(Lerp(a.td.x_value / 65536.0, b.td.x_value / 65536.0, t));
      out.td.y_value = FixedFromDouble(Lerp(a.td.y_value / 65536.0, b.td.y_value / 65536.0, t));
      break;
    case PF_Param_COLOR:
      out.cd.value.alpha = LerpChannel(a.cd.value.alpha, b.cd.value.alpha, t);
      out.cd.value.red = LerpChannel(a.cd.value.red, b.cd.value.red, t);
      out.cd.value.green = LerpChannel(a.cd.value.green, b.cd.value.green, t);
      out.cd.value.blue = LerpChannel(a.cd.value.blue, b.cd.value.blue, t);
      break;
    default: out = a; break;
  }
  return out;
}

}  // namespace

bool Interpolates(const PF_ParamDef& def) {
  if ((def.flags & PF_ParamFlag_CANNOT_INTERP) != 0) return false;
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER:
    case PF_Param_POINT:
    case PF_Param_COLOR:
      return true;
    default:
      return false;
  }
}

PF_ParamDefUnion ValueAt(const PF_ParamDef& def, const std::vector<Keyframe>& keys,
                         double seconds) {
  if (keys.empty()) return def.u;
  if (seconds <= keys.front().seconds + kSameTime) return keys.front().value;
  // The first keyframe after `seconds`; the one before it holds or blends.
  const auto next = std::upper_bound(
      keys.begin(), keys.end(), seconds + kSameTime,
      [](double t, const Keyframe& k) { return t < k.seconds; });
  if (next == keys.end()) return keys.back().value;
  const Keyframe& before = *(next - 1);
  if (!Interpolates(def) || seconds <= before.seconds + kSameTime) return before.value;
  const double t = (seconds - before.seconds) / (next->seconds - before.seconds);
  return Blend(def, before.value, next->value, t);
}

std::string KeyTime::Text() const {
  std::string text = frames ? "f" : "";
  text += FormatNumber(value);
  return text;
}

KeyTime ParseKeyTime(std::string_view text) {
  std::string quoted = "\"";
  quoted += text;
  quoted += '"';
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  KeyTime time;
  if (!text.empty() && (text.front() == 'f' || text.front() == 'F')) {
    text.remove_prefix(1);
    long long frame = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), frame);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || frame < 0) {
      throw ParamValueError("the time " + quoted + " is no frame number: write f0, f36, ...");
    }
    time.value = static_cast<double>(frame);
    time.frames = true;
    return time;
  }
  if (!text.empty() && text.back() == 's') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), time.value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(time.value) || time.value < 0) {
    throw ParamValueError("the time " + quoted +
                          " is no time: write seconds from 0 (1.5 or 1.5s) or a frame (f36)");
  }
  return time;
}

}  // namespace minihost
