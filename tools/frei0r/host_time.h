// A frei0r host's time (seconds, as a double) as the After Effects host's
// time: a whole number of ticks of a time scale.
#pragma once

#include "host/ae_types.h"

namespace prismora::frei0r {

struct HostTime {
  A_long value = 0;
  A_u_long scale = 1;
  double seconds() const { return static_cast<double>(value) / scale; }
};

// 120000 ticks a second, on which every frame of the usual rates (24, 25,
// 30, 48, 50, 60, 120 and the NTSC rates 24000/1001, 30000/1001,
// 60000/1001) falls exactly, so that a frame's time is the same number as
// `prismora render` gives it at that rate. Times beyond what 32 bits hold at
// that scale (4.97 hours; ffmpeg's milliseconds reach it after 17.9 s) fall
// back to milliseconds, then whole seconds; a time that is no number, or
// too large even so, is 0.
HostTime HostTimeOf(double seconds);

}  // namespace prismora::frei0r
