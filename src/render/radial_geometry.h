// Where a pixel stands relative to the centre, how far the radial profile
// pushes it there, and the fixed-point arithmetic both passes share.
//
// Positions are 16.16 fixed. They are kept in 64 bits here: a centre far
// outside the layer, a large displacement or a long blur run can carry a
// position beyond what 32 bits hold, and only the sampler's argument is
// narrowed (see ToSamplerCoordinate).
#pragma once

#include <cmath>
#include <cstdint>

#include "host/ae_effect.h"

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define PRISMORA_GEOMETRY_LANES 1
#endif

namespace prismora {

inline constexpr int64_t kFixedOne = 65536;

// Any position beyond 32 bits lies outside every world the render accepts
// (at most 32767 pixels a side), so saturating keeps what the sampler sees.
inline PF_Fixed ToSamplerCoordinate(int64_t fixed) {
  if (fixed > INT32_MAX) return INT32_MAX;
  if (fixed < INT32_MIN) return INT32_MIN;
  return static_cast<PF_Fixed>(fixed);
}

// A length in pixels as a 16.16 step, rounded half away from zero. Huge
// values are held far beyond any world (without overflowing the sums of a
// few steps); a NaN is no step.
inline int64_t FixedStep(double pixels) {
  constexpr double kLimit = 1099511627776.0;  // 2^40
  const double fixed = pixels * 65536.0 + (pixels < 0 ? -0.5 : 0.5);
  // The common case in one comparison, which a NaN fails too.
  if (std::fabs(fixed) < kLimit) [[likely]] return static_cast<int64_t>(fixed);
  if (fixed >= kLimit) return static_cast<int64_t>(kLimit);
  if (fixed <= -kLimit) return -static_cast<int64_t>(kLimit);
  return 0;
}

// The displacement profile at whole distances: 0 at the centre, 1 at the
// half diagonal, pow(i / R, power) in between and beyond. Distances past the
// table (a centre outside the layer with the limiter off) are evaluated with
// the same formula.
struct RadialProfile {
  const double* table = nullptr;  // entries 0..last
  int64_t last = -1;
  double half_diagonal = 0;
  double power = 0;
  double (*pow)(double, double) = nullptr;

  double At(int64_t i) const {
    if (i >= 0 && i <= last) return table[i];
    return i == 0 ? 0.0 : pow(static_cast<double>(i) / half_diagonal, power);
  }
};

struct RadialValues {
  int64_t center_x = 0;  // 16.16
  int64_t center_y = 0;
  double half_diagonal = 0;
  bool limiter = false;
  RadialProfile profile;
  double (*hypot)(double, double) = nullptr;
};

// What a row of pixels shares: its position and its offset to the centre.
struct RadialRow {
  int64_t py;  // 16.16
  double dy;   // pixels toward the centre
};

inline RadialRow MeasureRow(const RadialValues& v, A_long y) {
  RadialRow row;
  row.py = int64_t{y} * kFixedOne;
  row.dy = static_cast<double>(v.center_y - row.py) / 65536.0;
  return row;
}

// One pixel's relation to the centre.
struct Radial {
  int64_t px, py;  // the pixel's own position, 16.16
  double r;        // distance to the centre in pixels
  double ux, uy;   // unit vector toward the centre; 0 at the centre
  int64_t index;   // profile index: r truncated, held at R by the limiter
};

inline Radial Measure(const RadialValues& v, const RadialRow& row, A_long x) {
  Radial g;
  g.px = int64_t{x} * kFixedOne;
  g.py = row.py;
  const double dx = static_cast<double>(v.center_x - g.px) / 65536.0;
  g.r = v.hypot(dx, row.dy);
  const double held = v.limiter && g.r > v.half_diagonal ? v.half_diagonal : g.r;
  g.index = static_cast<int64_t>(held);
  if (g.r != 0) {
#ifdef PRISMORA_GEOMETRY_LANES
    // Both quotients in one instruction: each lane is the same IEEE division
    // as on its own, and the two would otherwise wait on one divider.
    const __m128d q = _mm_div_pd(_mm_set_pd(row.dy, dx), _mm_set1_pd(g.r));
    g.ux = _mm_cvtsd_f64(q);
    g.uy = _mm_cvtsd_f64(_mm_unpackhi_pd(q, q));
#else
    g.ux = dx / g.r;
    g.uy = row.dy / g.r;
#endif
  } else {
    g.ux = g.uy = 0;
  }
  return g;
}

}  // namespace prismora
