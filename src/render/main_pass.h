// The main pass: every pixel of the input's W x H, row by row, written
// straight into the output, with progress after every row. The first failing
// sample or progress report ends the pass; the rest stays unwritten.
#pragma once

#include "render/displacement.h"
#include "render/pixel_rows.h"
#include "render/progress.h"

namespace prismora {

template <class Depth>
PF_Err MainPass(const DisplacementValues& values, const Sampler<Depth>& sample, A_long width,
                A_long height, const PixelRows<typename Depth::Pixel>& output,
                const Progress& progress) {
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      typename Depth::Pixel pixel;
      if (PF_Err err = DisplacePixel(values, sample, x, y, pixel)) return err;
      output.Store(x, y, pixel);
    }
    if (PF_Err err = progress(y)) return err;
  }
  return PF_Err_NONE;
}

}  // namespace prismora
