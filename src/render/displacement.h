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

// What the pixels of a row share.
struct DisplacementRow {
  RadialRow radial;
  double vignette_offset;  // to the vignette centre, in pixels
};

inline DisplacementRow RowOf(const DisplacementValues& v, A_long y) {
  DisplacementRow row;
  row.radial = MeasureRow(v.radial, y);
  row.vignette_offset = VignetteRowOffset(v.vignette, row.radial);
  return row;
}

// A colour weight in the arithmetic of a depth, converted once per pass.
template <class Depth>
struct MixWeight {
  typename Depth::Weight red, green, blue;
};

template <class Depth>
struct MixWeights {
  explicit MixWeights(const ColorWeights& w) : a(Of(w.a)), b(Of(w.b)), c(Of(w.c)) {}
  MixWeight<Depth> a, b, c;

 private:
  static MixWeight<Depth> Of(const PF_Pixel& p) {
    using Weight = typename Depth::Weight;
    return MixWeight<Depth>{static_cast<Weight>(p.red), static_cast<Weight>(p.green),
                            static_cast<Weight>(p.blue)};
  }
};

template <class Depth>
class Mix {
 public:
  using Pixel = typename Depth::Pixel;

  explicit Mix(const Pixel& first, const MixWeight<Depth>& weight)
      : alpha_(Depth::Alpha(first.alpha)) {
    Add(first, weight);
  }
  // The largest alpha wins only when strictly larger.
  void Add(const Pixel& p, const MixWeight<Depth>& weight) {
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

// Where a pixel's samples lie, and its vignette factor: all of the pixel
// that does not depend on what the samples hold.
struct DisplacementPlan {
  int64_t px, py;          // sample 0, 16.16
  int64_t step_x, step_y;  // from one sample to the next
  double factor;           // the vignette's; 1 without it
};

inline DisplacementPlan PlanPixel(const DisplacementValues& v, const DisplacementRow& row,
                                  A_long x) {
  const Radial g = Measure(v.radial, row.radial, x);
  const double s = v.displace_scale * v.radial.profile.At(g.index);
  DisplacementPlan plan;
  plan.px = g.px;
  plan.py = g.py;
  plan.step_x = FixedStep(g.ux * s);
  plan.step_y = FixedStep(g.uy * s);
  plan.factor = v.vignette.on ? VignetteFactor(v.vignette, g, row.vignette_offset) : 1.0;
  return plan;
}

// The pixel from its samples. All are taken before any is mixed, so that
// no running sum has to outlast a call into the host.
template <class Depth>
inline PF_Err MixPixel(const DisplacementValues& v, const MixWeights<Depth>& weights,
                       const Sampler<Depth>& sample, const DisplacementPlan& plan,
                       typename Depth::Pixel& out) {
  typename Depth::Pixel samples[3];
  if (PF_Err err = sample(plan.px, plan.py, samples[0])) return err;
  if (PF_Err err = sample(plan.px + plan.step_x, plan.py + plan.step_y, samples[1])) return err;
  if (v.third_sample) {
    if (PF_Err err = sample(plan.px + 2 * plan.step_x, plan.py + 2 * plan.step_y, samples[2])) {
      return err;
    }
  }
  Mix<Depth> mix(samples[0], weights.a);
  mix.Add(samples[1], weights.b);
  if (v.third_sample) mix.Add(samples[2], weights.c);
  out = mix.Result();
  if (v.vignette.on) {
    out.red = Depth::Attenuate(out.red, plan.factor);
    out.green = Depth::Attenuate(out.green, plan.factor);
    out.blue = Depth::Attenuate(out.blue, plan.factor);
  }
  return PF_Err_NONE;
}

}  // namespace prismora
