// The only way the render reads pixels: the host's subpixel sampling at a
// 16.16 position of the block's source world.
//
// The block lives in an aligned copy of the snapshot's (which sits at an
// offset no pointer to it may be formed from); only its source differs from
// the snapshot's zero-filled block, and the frame keeps the two in step.
#pragma once

#include <cstdint>

#include "render/radial_geometry.h"

namespace prismora {

template <class Depth>
class Sampler {
 public:
  using Pixel = typename Depth::Pixel;

  Sampler(typename Depth::SampleFunction sample, PF_ProgPtr effect_ref, const PF_SampPB& block)
      : sample_(sample), effect_ref_(effect_ref), block_(block) {}

  void SetSource(PF_EffectWorld* source) { block_.src = source; }

  PF_Err operator()(int64_t x, int64_t y, Pixel& out) const {
    return AtFixed(ToSamplerCoordinate(x), ToSamplerCoordinate(y), out);
  }
  // A position already in the host's 32 bits.
  PF_Err AtFixed(PF_Fixed x, PF_Fixed y, Pixel& out) const {
    return sample_(effect_ref_, x, y, &block_, &out);
  }

 private:
  typename Depth::SampleFunction sample_;
  PF_ProgPtr effect_ref_;
  PF_SampPB block_;
};

}  // namespace prismora
