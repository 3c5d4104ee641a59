// The main pass: every pixel of the input's W x H, row by row, written
// straight into the output, with progress after every row. The first failing
// sample or progress report ends the pass; the rest stays unwritten.
//
// A row goes through three stages, a stretch of pixels at a time: planned
// (the steps of every pixel), sampled, mixed and stored. A plan (the host's
// hypot, two divisions, the steps) waits on nothing a sample gives, and a
// mix on no call, so the processor works on many of each side by side
// instead of stalling on every one between calls into the host. The samples
// are asked for in the same order as pixel by pixel, and when one fails the
// pixels before it are still mixed and stored, as pixel by pixel.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "render/displacement.h"
#include "render/pixel_rows.h"
#include "render/progress.h"

namespace prismora {

// Room for a stretch of this many pixels is always at hand, without
// allocating.
inline constexpr A_long kPlanBlock = 64;

// Where the centre lies on a whole or a half pixel, the pixel at x and the
// one at axis - x lie on either side of its column at the same distance. C
// requires hypot(-dx, dy) to equal hypot(dx, dy), and every later step of
// the plan is the same operation on a negated value (the rounding of a step
// is symmetric), so the two plans differ only in the sign of the horizontal
// step: one is computed, the other copied. Only a distance from a vignette
// centre of its own is measured afresh.
struct MirrorAxis {
  bool on = false;
  int64_t axis = 0;  // x + its mirror image
};

inline MirrorAxis MirrorAxisOf(int64_t center_x) {
  const int64_t twice = 2 * center_x;
  if (twice % kFixedOne != 0) return {};
  return {true, twice / kFixedOne};
}

// What the stages keep of one pixel.
template <class Depth>
struct PixelWork {
  PixelSteps steps;
  PixelSamples<Depth> samples;
};

// Plans `count` pixels of a row from column `start` into work[0, count).
// A pixel whose mirror image lies earlier in the same stretch copies it.
template <class Depth>
inline void PlanStretch(const DisplacementValues& v, const MirrorAxis& mirror,
                        const DisplacementRow& row, A_long start, A_long count,
                        PixelWork<Depth>* work) {
  const bool own_vignette_centre = v.vignette.on && !v.vignette.same;
  for (A_long i = 0; i < count; ++i) {
    const A_long x = start + i;
    const int64_t image = mirror.axis - x;
    PixelSteps& steps = work[i].steps;
    if (mirror.on && image >= start && image < x) {
      const PixelSteps& twin = work[image - start].steps;
      steps = PixelSteps{-twin.x, twin.y, twin.factor};
      if (own_vignette_centre) {
        steps.factor = VignetteFactor(
            v.vignette, VignetteDistance(v.vignette, int64_t{x} * kFixedOne, row.vignette_offset));
      }
    } else {
      steps = StepsOf(v, row, x);
    }
  }
}

// Room for the work of a whole row, so that every mirror image is at hand,
// from the plug-in's own heap: the host never sees it. When there is none to
// be had, a block of our own takes the row a stretch at a time, to the same
// result.
template <class Depth>
class PassScratch {
 public:
  explicit PassScratch(A_long width) {
    if (width > kPlanBlock) row_.reset(new (std::nothrow) PixelWork<Depth>[width]);
    if (row_ != nullptr) {
      work_ = std::span<PixelWork<Depth>>(row_.get(), static_cast<std::size_t>(width));
    } else {
      work_ = block_;
    }
  }
  PassScratch(const PassScratch&) = delete;
  PassScratch& operator=(const PassScratch&) = delete;

  std::span<PixelWork<Depth>> work() const { return work_; }

 private:
  std::unique_ptr<PixelWork<Depth>[]> row_;
  PixelWork<Depth> block_[kPlanBlock];
  std::span<PixelWork<Depth>> work_;
};

// `scratch` holds the work of a stretch of a row (at least one pixel).
template <class Depth>
PF_Err MainPass(const DisplacementValues& values, const Sampler<Depth>& sampler, A_long width,
                A_long height, const PixelRows<typename Depth::Pixel>& output,
                const Progress& progress, std::span<PixelWork<Depth>> scratch) {
  // Copies of our own: as far as the compiler knows, each call into the host
  // (a sample, hypot) could change what a reference reaches, and every value
  // would be read again after it.
  const DisplacementValues v = values;
  const Sampler<Depth> sample = sampler;
  const MixWeights<Depth> weights(v.weights);
  const MirrorAxis mirror = MirrorAxisOf(v.radial.center_x);
  const bool third = v.third_sample;
  const bool vignette = v.vignette.on;
  PixelWork<Depth>* const work = scratch.data();
  const auto stretch =
      static_cast<A_long>(std::min<std::size_t>(scratch.size(), std::max<A_long>(width, 1)));
  for (A_long y = 0; y < height; ++y) {
    const DisplacementRow row = RowOf(v, y);
    const int64_t py = row.radial.py;
    const auto line = output.Row(y);
    for (A_long start = 0; start < width; start += stretch) {
      const A_long count = std::min(stretch, width - start);
      PlanStretch(v, mirror, row, start, count, work);
      PF_Err err = PF_Err_NONE;
      A_long sampled = 0;
      for (; sampled < count; ++sampled) {
        const int64_t px = int64_t{start + sampled} * kFixedOne;
        PixelWork<Depth>& w = work[sampled];
        if ((err = SamplePixel(third, sample, px, py, w.steps, w.samples))) break;
      }
      for (A_long i = 0; i < sampled; ++i) {
        line.Store(start + i,
                   MixPixel(third, vignette, weights, work[i].samples, work[i].steps.factor));
      }
      if (err != PF_Err_NONE) return err;
    }
    if (PF_Err err = progress(y)) return err;
  }
  return PF_Err_NONE;
}

}  // namespace prismora
