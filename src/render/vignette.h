// The vignette: a factor on red, green and blue that falls off with the
// distance from the vignette centre along a power curve scaled to the half
// diagonal, lifted by the brightness and held between minimum and maximum.
#pragma once

#include <cstdint>

#include "render/radial_geometry.h"

namespace prismora {

struct VignetteValues {
  bool on = false;
  bool same = false;       // measure from "Center" instead of the vignette centre
  int64_t center_x = 0;    // 16.16
  int64_t center_y = 0;
  double norm = 0;         // 1 / radius^power, 0 when the radius is not positive
  double power = 0;
  double brightness = 0;
  double maximum = 0;
  double minimum = 0;
  double (*pow)(double, double) = nullptr;
  double (*hypot)(double, double) = nullptr;
};

// 1 / (scale x R)^power, where scale is what pre-render derived from the
// amount. A radius of zero has no falloff, and neither has a negative one (an
// amount above 100, which only an expression can give), where the power
// would be NaN. A radius so small that its power vanishes gives an infinite
// norm, which the factor below handles.
inline double VignetteNorm(double scale, double half_diagonal, double power,
                           double (*pow)(double, double)) {
  const double radius = scale * half_diagonal;
  if (!(radius > 0)) return 0;
  return 1.0 / pow(radius, power);
}

// The offset of a row to the vignette centre, in pixels.
inline double VignetteRowOffset(const VignetteValues& v, const RadialRow& row) {
  return static_cast<double>(v.center_y - row.py) / 65536.0;
}

// The distance of the pixel at px from the vignette centre, given its row's
// offset; used when the vignette has a centre of its own.
inline double VignetteDistance(const VignetteValues& v, int64_t px, double row_offset) {
  return v.hypot(static_cast<double>(v.center_x - px) / 65536.0, row_offset);
}

// The factor at distance d from the vignette centre; never NaN, so it can
// always be applied.
inline double VignetteFactor(const VignetteValues& v, double d) {
  double falloff = v.pow(d, v.power) * v.norm;
  // Only 0 x infinity gets here: a pixel on the centre of a vanishing radius.
  if (falloff != falloff) falloff = 0;
  double factor = (1.0 - falloff) * v.brightness;
  if (v.minimum > factor) {
    factor = v.minimum;
  } else if (factor > v.maximum) {
    factor = v.maximum;
  }
  return factor == factor ? factor : 0.0;
}

}  // namespace prismora
