// The main pass: every pixel of the input's W x H, row by row, written
// straight into the output, with progress after every row. The first failing
// sample or progress report ends the pass; the rest stays unwritten.
//
// A row is planned a block of pixels at a time and then sampled. A plan (the
// host's hypot, two divisions, the steps) waits on nothing a sample gives,
// so the processor works on the plans of a block side by side instead of
// stalling on each one between samples. The samples are asked for in the
// same order as pixel by pixel.
#pragma once

#include <algorithm>

#include "render/displacement.h"
#include "render/pixel_rows.h"
#include "render/progress.h"

namespace prismora {

inline constexpr A_long kPlanBlock = 64;

template <class Depth>
PF_Err MainPass(const DisplacementValues& values, const Sampler<Depth>& sampler, A_long width,
                A_long height, const PixelRows<typename Depth::Pixel>& output,
                const Progress& progress) {
  // Copies of our own: as far as the compiler knows, each call into the host
  // (a sample, hypot) could change what a reference reaches, and every value
  // would be read again after it.
  const DisplacementValues v = values;
  const Sampler<Depth> sample = sampler;
  const MixWeights<Depth> weights(v.weights);
  DisplacementPlan plans[kPlanBlock];
  for (A_long y = 0; y < height; ++y) {
    const DisplacementRow row = RowOf(v, y);
    const auto line = output.Row(y);
    for (A_long start = 0; start < width; start += kPlanBlock) {
      const A_long count = std::min(kPlanBlock, width - start);
      for (A_long i = 0; i < count; ++i) plans[i] = PlanPixel(v, row, start + i);
      for (A_long i = 0; i < count; ++i) {
        typename Depth::Pixel pixel;
        if (PF_Err err = MixPixel(v, weights, sample, plans[i], pixel)) return err;
        line.Store(start + i, pixel);
      }
    }
    if (PF_Err err = progress(y)) return err;
  }
  return PF_Err_NONE;
}

}  // namespace prismora
