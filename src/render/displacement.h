// One result pixel of the main pass: two or three samples along the line
// from the pixel toward the centre, each seen through one colour weight,
// summed and normalised by the largest sample alpha, then vignetted.
//
// In modes 1 and 2 the weights add up to white, so where the samples agree
// the pixel comes out unchanged and fringes appear only at edges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define PRISMORA_FLOAT_MIX_LANES 1
#endif

#include "render/color_weights.h"
#include "render/depth_traits.h"
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

// What a pixel's samples need from its geometry: the step from one sample
// to the next and the vignette factor.
struct PixelSteps {
  int64_t x, y;   // 16.16
  double factor;  // the vignette's; 1 without it
};

inline PixelSteps StepsOf(const DisplacementValues& v, const DisplacementRow& row, A_long x) {
  const Radial g = Measure(v.radial, row.radial, x);
  const double s = v.displace_scale * v.radial.profile.At(g.index);
  PixelSteps steps;
  steps.x = FixedStep(g.ux * s);
  steps.y = FixedStep(g.uy * s);
  steps.factor = 1.0;
  if (v.vignette.on) {
    steps.factor = VignetteFactor(
        v.vignette,
        v.vignette.same ? g.r : VignetteDistance(v.vignette, g.px, row.vignette_offset));
  }
  return steps;
}

// A pixel's samples. The pixel's own position is within 32 bits (a side is
// at most 32767 pixels); only the others are held to what the host takes.
template <class Depth>
struct PixelSamples {
  typename Depth::Pixel at[3];
};

template <class Depth>
inline PF_Err SamplePixel(bool third_sample, const Sampler<Depth>& sample, int64_t px, int64_t py,
                          const PixelSteps& steps, PixelSamples<Depth>& out) {
  if (PF_Err err = sample.AtFixed(static_cast<PF_Fixed>(px), static_cast<PF_Fixed>(py),
                                  out.at[0])) {
    return err;
  }
  if (PF_Err err = sample(px + steps.x, py + steps.y, out.at[1])) return err;
  if (third_sample) return sample(px + 2 * steps.x, py + 2 * steps.y, out.at[2]);
  return PF_Err_NONE;
}

// The samples mixed, before the vignette.
template <class Depth>
inline typename Depth::Pixel MixSamples(bool third_sample, const MixWeights<Depth>& weights,
                                        const PixelSamples<Depth>& samples) {
  Mix<Depth> mix(samples.at[0], weights.a);
  mix.Add(samples.at[1], weights.b);
  if (third_sample) mix.Add(samples.at[2], weights.c);
  return mix.Result();
}

#ifdef PRISMORA_FLOAT_MIX_LANES
// At float depth the three channels go side by side, one lane each, through
// the same float operations in the same order as Mix takes them one at a
// time (the sum from 0, then the two divisions), so each comes out the same
// to the bit. Six divisions one after another are most of what a float
// pixel costs the render itself; in lanes they are two.
template <>
inline PF_PixelFloat MixSamples<DepthFloat>(bool third_sample,
                                            const MixWeights<DepthFloat>& weights,
                                            const PixelSamples<DepthFloat>& samples) {
  // Lanes: alpha, red, green, blue, as the pixel lays them out. The alpha
  // lane's sum is never used.
  static_assert(sizeof(PF_PixelFloat) == 4 * sizeof(float) && offsetof(PF_PixelFloat, alpha) == 0 &&
                offsetof(PF_PixelFloat, red) == 4 && offsetof(PF_PixelFloat, green) == 8 &&
                offsetof(PF_PixelFloat, blue) == 12);
  auto lanes = [](const PF_PixelFloat& p) {
    float f[4];
    std::memcpy(f, &p, sizeof f);
    return _mm_loadu_ps(f);
  };
  auto weight = [](const MixWeight<DepthFloat>& w) {
    return _mm_set_ps(w.blue, w.green, w.red, 0.0f);
  };
  float alpha = samples.at[0].alpha;
  __m128 sum = _mm_setzero_ps();
  auto add = [&](const PF_PixelFloat& p, const MixWeight<DepthFloat>& w) {
    if (p.alpha > alpha) alpha = p.alpha;  // the largest wins only when strictly larger
    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(p.alpha), lanes(p)), weight(w)));
  };
  add(samples.at[0], weights.a);
  add(samples.at[1], weights.b);
  if (third_sample) add(samples.at[2], weights.c);
  PF_PixelFloat out{};
  out.alpha = alpha;
  if (alpha != 0) {
    float f[4];
    _mm_storeu_ps(f, _mm_div_ps(_mm_div_ps(sum, _mm_set1_ps(alpha)), _mm_set1_ps(255.0f)));
    out.red = f[1];
    out.green = f[2];
    out.blue = f[3];
  }
  return out;
}
#endif

// The result pixel from its samples and its vignette factor.
template <class Depth>
inline typename Depth::Pixel MixPixel(bool third_sample, bool vignette,
                                      const MixWeights<Depth>& weights,
                                      const PixelSamples<Depth>& samples, double factor) {
  typename Depth::Pixel out = MixSamples(third_sample, weights, samples);
  if (vignette) {
    out.red = Depth::Attenuate(out.red, factor);
    out.green = Depth::Attenuate(out.green, factor);
    out.blue = Depth::Attenuate(out.blue, factor);
  }
  return out;
}

}  // namespace prismora
