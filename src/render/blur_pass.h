// The radial blur: every result pixel becomes the plain average of a run of
// samples of the main pass's result, taken from the pixel toward the centre
// one pixel apart. The run grows with the displacement at that distance, so
// fringes smear radially, more where they are wider. The pass reads a
// temporary copy of the result, never pixels it has already blurred.
//
// A run can be far longer than the world is wide (a large "Blur Amount", a
// steep power, the limiter off). The sampler sees zero beyond the world's
// edges, and a sample whose four neighbours all lie outside adds exactly
// nothing, so a run is sampled only where it can see the world and the rest
// is counted: the same average in bounded time.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "render/depth_traits.h"
#include "render/pixel_rows.h"
#include "render/progress.h"
#include "render/radial_geometry.h"
#include "render/sampler.h"

namespace prismora {

struct BlurValues {
  RadialValues radial;
  double blur_scale = 0;  // run length in pixels at profile 1
};

// floor(length) + 1 samples; a run shorter than one pixel (or no length at
// all: negative or NaN) is the pixel's own sample.
inline RunLength RunLengthOf(double length) {
  constexpr double kVast = 9223372036854775808.0;  // 2^63
  RunLength n;
  if (!(length >= 1)) return n;
  const double whole = std::floor(length);
  n.as_double = whole + 1.0;
  if (whole >= kVast) {
    n.vast = true;
    n.count = UINT64_MAX;
  } else {
    n.count = static_cast<uint64_t>(whole) + 1;
  }
  return n;
}

// How many of the positions p, p + s, p + 2s, ... can see a world `size`
// pixels long, that is lie strictly between -1 and `size` pixels; p itself
// is a pixel of the world. Unbounded for a zero step.
inline uint64_t RunInside(int64_t p, int64_t s, A_long size) {
  if (s > 0) return static_cast<uint64_t>((int64_t{size} * kFixedOne - 1 - p) / s) + 1;
  if (s < 0) return static_cast<uint64_t>((p + kFixedOne - 1) / -s) + 1;
  return UINT64_MAX;
}

template <class Depth>
inline PF_Err BlurPixel(const BlurValues& v, const Sampler<Depth>& sample, A_long width,
                        A_long height, const RadialRow& row, A_long x,
                        typename Depth::Pixel& out) {
  using Pixel = typename Depth::Pixel;
  const Radial g = Measure(v.radial, row, x);
  const RunLength n = RunLengthOf(v.blur_scale * v.radial.profile.At(g.index));
  const int64_t step_x = FixedStep(g.ux);
  const int64_t step_y = FixedStep(g.uy);
  // Both steps are zero only at the centre itself, where the run is one sample.
  const uint64_t taken =
      std::min({n.count, RunInside(g.px, step_x, width), RunInside(g.py, step_y, height)});

  // Every position taken lies within a pixel of the world, so within 32 bits.
  typename Depth::RunSum alpha{}, red{}, green{}, blue{};
  int64_t qx = g.px;
  int64_t qy = g.py;
  for (uint64_t k = 0; k < taken; ++k, qx += step_x, qy += step_y) {
    Pixel p;
    if (PF_Err err = sample.AtFixed(static_cast<PF_Fixed>(qx), static_cast<PF_Fixed>(qy), p)) {
      return err;
    }
    alpha += p.alpha;
    red += p.red;
    green += p.green;
    blue += p.blue;
  }
  out.alpha = Depth::Average(alpha, n);
  out.red = Depth::Average(red, n);
  out.green = Depth::Average(green, n);
  out.blue = Depth::Average(blue, n);
  return PF_Err_NONE;
}

// The temporary world, disposed with "PF World Suite" 1 at every depth. A
// host that reports success but hands no pixels for a non-empty world has
// created nothing to dispose.
class TemporaryWorld {
 public:
  TemporaryWorld(const PF_WorldSuite1* suite, PF_ProgPtr effect_ref)
      : suite_(suite), effect_ref_(effect_ref) {}
  ~TemporaryWorld() { Dispose(); }
  TemporaryWorld(const TemporaryWorld&) = delete;
  TemporaryWorld& operator=(const TemporaryWorld&) = delete;

  PF_EffectWorld* get() { return &world_; }
  // After the host's creation call returned `err`.
  PF_Err Adopt(PF_Err err, A_long width, A_long height) {
    if (err != PF_Err_NONE) return err;
    if (world_.data == nullptr && width > 0 && height > 0) return PF_Err_OUT_OF_MEMORY;
    created_ = true;
    return PF_Err_NONE;
  }
  PF_Err Dispose() {
    if (!created_) return PF_Err_NONE;
    created_ = false;
    return suite_->dispose_world(effect_ref_, &world_);
  }

 private:
  const PF_WorldSuite1* suite_;
  PF_ProgPtr effect_ref_;
  PF_EffectWorld world_{};
  bool created_ = false;
};

template <class Depth>
PF_Err BlurPass(const BlurValues& values, Sampler<Depth> sample, SuiteHandler& suites,
                const PF_WorldSuite2* world_suite2, const PF_InData* in_data,
                PF_EffectWorld& output, A_long width, A_long height) {
  const PF_ProgPtr ref = in_data->effect_ref;
  TemporaryWorld temp(suites.WorldSuite1(), ref);
  PF_Err err = temp.Adopt(Depth::NewWorld(suites, world_suite2, ref, width, height, temp.get()),
                          width, height);
  if (err == PF_Err_NONE) err = in_data->utils->copy(ref, &output, temp.get(), nullptr, nullptr);
  if (err == PF_Err_NONE) err = in_data->inter.abort(ref);
  if (err != PF_Err_NONE) return err;

  temp.get()->extent_hint = output.extent_hint;
  sample.SetSource(temp.get());
  // A copy of our own, which no call into the host can change.
  const BlurValues v = values;
  const PixelRows<typename Depth::Pixel> rows(output);
  const Progress progress{in_data, height, 2 * height};
  for (A_long y = 0; y < height; ++y) {
    const RadialRow row = MeasureRow(v.radial, y);
    const auto line = rows.Row(y);
    for (A_long x = 0; x < width; ++x) {
      typename Depth::Pixel pixel;
      if ((err = BlurPixel(v, sample, width, height, row, x, pixel))) return err;
      line.Store(x, pixel);
    }
    if ((err = progress(y))) return err;
  }
  return temp.Dispose();
}

}  // namespace prismora
