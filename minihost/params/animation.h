// Keyframes on a parameter's stream and the value they give at a time, as a
// host interpolates them: linearly for sliders, points and each colour
// channel; held until the next keyframe for popups, checkboxes and any
// parameter declared PF_ParamFlag_CANNOT_INTERP. Before the first keyframe a
// stream holds the first value, after the last the last.
#pragma once

#include <cstdint>

#include <string>
#include <string_view>
#include <vector>

#include "minihost/host/host.h"

namespace minihost {

struct Keyframe {
  double seconds = 0.0;
  PF_ParamDefUnion value{};  // the definition's union with the keyframe's value in it
};

// Whether keyframes on `def` blend into one another.
bool Interpolates(const PF_ParamDef& def);

// The value of a stream with `keys` (sorted by time, at least one) at
// `seconds`, in `def`'s union: the declared fields stay `def`'s.
PF_ParamDefUnion ValueAt(const PF_ParamDef& def, const std::vector<Keyframe>& keys,
                         double seconds);

// A keyframe's time as a user writes it: seconds ("1.5", "1.5s") or a frame
// number ("f36"), counted at rate_num / rate_den frames a second. The rate
// is the render's, known only once the options (or the footage) are read: it
// is set with ResolveFrames and may be set again. Held as a ratio so that a
// keyframe at a frame lies exactly on that frame's host time (frame n of
// 24000/1001 at n * 1001 / 24000 seconds, to the last bit).
struct KeyTime {
  double value = 0.0;
  bool frames = false;
  int64_t rate_num = 30;
  int64_t rate_den = 1;

  double Seconds() const {
    return frames ? value * static_cast<double>(rate_den) / static_cast<double>(rate_num)
                  : value;
  }
  // A rate given as a number: to a thousandth of a frame a second.
  void SetRate(double fps);
  // "1.5" or "f36": the form it was written in, reading back the same.
  std::string Text() const;
};

// Reads "1.5", "1.5s" or "f36" (a whole frame number from 0). Throws
// ParamValueError naming the text otherwise.
KeyTime ParseKeyTime(std::string_view text);

}  // namespace minihost
