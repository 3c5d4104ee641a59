// Extreme but valid settings, and values only a host that does not clamp (or
// an expression) can hand over: every depth renders, in bounded time, without
// undefined arithmetic (the sanitizer build runs these), and no float result
// is NaN. Long blur runs that leave the world average exactly as if
// every sample beyond the edge had been taken.
#include <cmath>
#include <functional>

#include "render_support.h"

namespace prismora::testing {
namespace {

using ::testing::IsEmpty;

struct ExtremeCase {
  const char* name;
  std::function<void(Effect&)> set;
};

class Extremes : public ::testing::TestWithParam<ExtremeCase> {};

TEST_P(Extremes, RenderAtEveryDepthAndSize) {
  for (auto [w, h] : {std::pair{9, 7}, std::pair{1, 1}, std::pair{40, 2}}) {
    Effect e(w, h);
    e.Check(PARAM_BLUR_ON, true);
    e.Check(PARAM_VIGNETTING_ON, true);
    GetParam().set(e);
    World source(w, h, PF_PixelFormat_ARGB32);
    FillRandom(source, 31);
    for (PF_PixelFormat format :
         {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " " +
                   minihost::FormatName(format));
      auto in = AtDepth(source, format);
      World out(w, h, format);
      ASSERT_EQ(e.Render(*in, out), PF_Err_NONE);
      if (format != PF_PixelFormat_ARGB128) continue;
      for (A_long y = 0; y < h; ++y) {
        for (A_long x = 0; x < w; ++x) {
          const PF_PixelFloat p = out.Get<PF_PixelFloat>(x, y);
          EXPECT_FALSE(std::isnan(p.alpha) || std::isnan(p.red) || std::isnan(p.green) ||
                       std::isnan(p.blue))
              << x << ", " << y << " " << ::testing::PrintToString(p);
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Render, Extremes,
    ::testing::Values(
        ExtremeCase{"CentreFarOutsideLimiterOff",
                    [](Effect& e) {
                      e.Point(PARAM_CENTER, INT32_MAX, INT32_MIN);
                      e.Check(PARAM_LIMITER, false);
                      e.Slider(PARAM_POWER, 10);
                      e.Slider(PARAM_AMOUNT, 10);
                      e.Check(PARAM_RANDOM_ON, true);
                      e.Slider(PARAM_RANDOM_VALUE, 100);
                      e.Slider(PARAM_BLUR_AMOUNT, 5);
                    }},
        ExtremeCase{"UnclampedHostValues",
                    [](Effect& e) {
                      e.Point(PARAM_CENTER, INT32_MIN, INT32_MIN);
                      e.Point(PARAM_VIGNETTING_CENTER, INT32_MAX, INT32_MAX);
                      e.Check(PARAM_VIGNETTING_SAME, false);
                      e.Check(PARAM_LIMITER, false);
                      e[PARAM_AMOUNT].fd.value = INT32_MAX;
                      e.Check(PARAM_RANDOM_ON, true);
                      e[PARAM_RANDOM_VALUE].fd.value = INT32_MAX;
                      e[PARAM_POWER].fd.value = INT32_MAX;
                      e[PARAM_BLUR_AMOUNT].fd.value = INT32_MAX;
                      e[PARAM_VIGNETTING_POWER].fd.value = INT32_MAX;
                      e[PARAM_VIGNETTING_BRIGHTNESS].fd.value = INT32_MAX;
                      e[PARAM_VIGNETTING_MAXIMUM].fs_d.value = 1e300;
                    }},
        ExtremeCase{"NegativeAmountAndPower",
                    [](Effect& e) {
                      e[PARAM_AMOUNT].fd.value = -Fixed(10);
                      e[PARAM_POWER].fd.value = -Fixed(5);
                      e.Slider(PARAM_BLUR_AMOUNT, 3);
                    }},
        ExtremeCase{"ZeroPowerCentreInACorner",
                    [](Effect& e) {
                      e[PARAM_POWER].fd.value = 0;
                      e.Point(PARAM_CENTER, 0, 0);
                      e.Slider(PARAM_AMOUNT, 10);
                    }},
        ExtremeCase{"VignetteRadiusZero",
                    [](Effect& e) { e[PARAM_VIGNETTING_AMOUNT].fd.value = Fixed(100); }},
        ExtremeCase{"VignetteRadiusNegative",
                    [](Effect& e) { e[PARAM_VIGNETTING_AMOUNT].fd.value = Fixed(150); }},
        // The radius's power vanishes: an infinite norm, and 0 x infinity on
        // the vignette centre's own pixel; with brightness 0, infinity x 0.
        ExtremeCase{"VignetteRadiusVanishing",
                    [](Effect& e) {
                      e[PARAM_VIGNETTING_AMOUNT].fd.value = Fixed(100) - 1;
                      e[PARAM_VIGNETTING_POWER].fd.value = INT32_MAX;
                      e.Check(PARAM_VIGNETTING_SAME, false);
                      e.Point(PARAM_VIGNETTING_CENTER, 0, 0);
                    }},
        ExtremeCase{"VignetteRadiusVanishingNoBrightness",
                    [](Effect& e) {
                      e[PARAM_VIGNETTING_AMOUNT].fd.value = Fixed(100) - 1;
                      e[PARAM_VIGNETTING_POWER].fd.value = INT32_MAX;
                      e[PARAM_VIGNETTING_BRIGHTNESS].fd.value = 0;
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Extremes, WidestWorldWithTheCentreFarAway) {
  Effect e(32767, 1);
  e.Point(PARAM_CENTER, INT32_MIN, INT32_MAX);
  e.Check(PARAM_LIMITER, false);
  e.Slider(PARAM_POWER, 10);
  e.Slider(PARAM_AMOUNT, 10);
  World in(32767, 1, PF_PixelFormat_ARGB128), out(32767, 1, PF_PixelFormat_ARGB128);
  EXPECT_EQ(e.Render(in, out), PF_Err_NONE);
}

// A run far longer than the world: only the samples that can see the world
// are taken, and the average is over the whole run.
TEST(Extremes, LongBlurRunAveragesOverItsWholeLength) {
  constexpr A_long kW = 20, kH = 3;
  Effect e(kW, kH);
  e.Point(PARAM_CENTER, Px(30), Px(1));  // outside, on row 1: steps of one whole pixel
  e.Check(PARAM_LIMITER, false);
  e.Slider(PARAM_AMOUNT, 10);
  e.Slider(PARAM_BLUR_AMOUNT, 5);
  World in(kW, kH, PF_PixelFormat_ARGB32);
  FillRandom(in, 41);
  for (A_long x = 0; x < kW; ++x) in.Set(x, 1, PF_Pixel{255, 250, 250, 250});
  World main(kW, kH, PF_PixelFormat_ARGB32);
  ASSERT_EQ(e.Render(in, main), PF_Err_NONE);

  e.Check(PARAM_BLUR_ON, true);
  World out(kW, kH, PF_PixelFormat_ARGB32);
  minihost::ResetSamplesTaken();
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  EXPECT_LT(minihost::SamplesTaken(), 3 * kW * kH + kW * kW * kH);

  const double r = std::hypot(kW * 0.5, kH * 0.5);
  const double blur_scale = 0.025 * (Fixed(10) / 65536.0) * r * (Fixed(5) / 65536.0);
  const double length = blur_scale * std::pow(30 / r, 2.0);  // beyond the table
  const auto n = static_cast<uint64_t>(std::floor(length)) + 1;
  ASSERT_GT(n, static_cast<uint64_t>(kW));  // the run leaves the world
  uint64_t sum[4] = {};
  for (A_long x = 0; x < kW; ++x) {
    const PF_Pixel p = main.Get<PF_Pixel>(x, 1);
    sum[0] += p.alpha, sum[1] += p.red, sum[2] += p.green, sum[3] += p.blue;
  }
  const auto c = [&](int i) { return static_cast<A_u_char>(sum[i] / n); };
  EXPECT_EQ(out.Get<PF_Pixel>(0, 1), (PF_Pixel{c(0), c(1), c(2), c(3)}));
}

}  // namespace
}  // namespace prismora::testing
