// One result pixel of the main pass: two or three samples along the line
// from the pixel toward the centre, each seen through one colour weight,
// summed and normalised by the largest sample alpha, then vignetted.
//
// In modes 1 and 2 the weights add up to white, so where the samples agree
// the pixel comes out unchanged and fringes appear only at edges.
#pragma once

#include <cstdint>

#include "render/color_weights.h"
#include "render/radial_geometry.h"
#include "render/sampler.h"
#include "render/vignette.h"

namespace prismora {

struct DisplacementValues {
  RadialValues radial;
  double displace_scale = 0;  // pixels at profile 1
  bool third_sample = true;   // every mode but "1 Color"
  ColorWeights weights{};
  VignetteValues vignette;
};

template <class Depth>
class Mix {
 public:
  using Pixel = typename Depth::Pixel;

  explicit Mix(const Pixel& first, const PF_Pixel& weight) : alpha_(Depth::Alpha(first.alpha)) {
    Add(first, weight);
  }
  // The largest alpha wins only when strictly larger.
  void Add(const Pixel& p, const PF_Pixel& weight) {
    const typename Depth::Mix alpha = Depth::Alpha(p.alpha);
    if (alpha > alpha_) alpha_ = alpha;
    red_ += Depth::Term(p.alpha, p.red, weight.red);
    green_ += Depth::Term(p.alpha, p.green, weight.green);
    blue_ += Depth::Term(p.alpha, p.blue, weight.blue);
  }
  Pixel Result() const {
    Pixel out{};
    out.alpha = Depth::ResultAlpha(alpha_);
    if (alpha_ != 0) {
      out.red = Depth::Normalise(red_, alpha_);
      out.green = Depth::Normalise(green_, alpha_);
      out.blue = Depth::Normalise(blue_, alpha_);
    }
    return out;
  }

 private:
  typename Depth::Mix alpha_;
  typename Depth::Mix red_{};
  typename Depth::Mix green_{};
  typename Depth::Mix blue_{};
};

template <class Depth>
PF_Err DisplacePixel(const DisplacementValues& v, const Sampler<Depth>& sample, A_long x,
                     A_long y, typename Depth::Pixel& out) {
  using Pixel = typename Depth::Pixel;
  const Radial g = Measure(v.radial, x, y);
  const double s = v.displace_scale * v.radial.profile.At(g.index);
  const int64_t step_x = FixedStep(g.ux * s);
  const int64_t step_y = FixedStep(g.uy * s);
  const double factor = v.vignette.on ? VignetteFactor(v.vignette, g) : 1.0;

  Pixel sample0, sample1;
  if (PF_Err err = sample(g.px, g.py, sample0)) return err;
  if (PF_Err err = sample(g.px + step_x, g.py + step_y, sample1)) return err;
  Mix<Depth> mix(sample0, v.weights.a);
  mix.Add(sample1, v.weights.b);
  if (v.third_sample) {
    Pixel sample2;
    if (PF_Err err = sample(g.px + 2 * step_x, g.py + 2 * step_y, sample2)) return err;
    mix.Add(sample2, v.weights.c);
  }
  out = mix.Result();
  if (v.vignette.on) {
    out.red = Depth::Attenuate(out.red, factor);
    out.green = Depth::Attenuate(out.green, factor);
    out.blue = Depth::Attenuate(out.blue, factor);
  }
  return PF_Err_NONE;
}

}  // namespace prismora
