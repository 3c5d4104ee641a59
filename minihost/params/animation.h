// Keyframes on a parameter's stream and the value they give at a time, as a
// host interpolates them: linearly for sliders, points and each colour
// channel; held until the next keyframe for popups, checkboxes and any
// parameter declared PF_ParamFlag_CANNOT_INTERP. Before the first keyframe a
// stream holds the first value, after the last the last.
#pragma once

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
// number ("f36"), counted at `rate` frames a second. The rate is the
// render's, known only once the options (or the footage) are read: it is
// set with ResolveFrames and may be set again.
struct KeyTime {
  double value = 0.0;
  bool frames = false;
  double rate = 30.0;

  double Seconds() const { return frames ? value / rate : value; }
  // "1.5" or "f36": the form it was written in, reading back the same.
  std::string Text() const;
};

// Reads "1.5", "1.5s" or "f36" (a whole frame number from 0). Throws
// ParamValueError naming the text otherwise.
KeyTime ParseKeyTime(std::string_view text);

}  // namespace minihost
