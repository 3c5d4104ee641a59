// The pixels of the render: the worked numbers of the displacement, the
// compositing, the vignette and the blur run, checked through the real
// plug-in; and invariants that catch faults anywhere in the passes: the
// identity at "Amount" 0, the agreement of the three depths, and exact
// mirror symmetry about a centre pixel.
#include <algorithm>
#include <cmath>

#include "render_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;

// The 100 x 100 layer of the worked example: "Center" (50, 50), "Amount" 1,
// "Power" 2, no random.
void WorkedExample(Effect& e) {
  e.Point(PARAM_CENTER, Px(50), Px(50));
  e.Slider(PARAM_AMOUNT, 1);
  e.Slider(PARAM_POWER, 2);
}

std::vector<std::pair<PF_Fixed, PF_Fixed>> Positions(const std::vector<SampleCall>& calls,
                                                     std::size_t first, std::size_t count) {
  std::vector<std::pair<PF_Fixed, PF_Fixed>> out;
  for (std::size_t i = first; i < first + count && i < calls.size(); ++i) {
    out.emplace_back(calls[i].x, calls[i].y);
  }
  return out;
}

TEST(Displacement, WorkedStepsOfTheExample) {
  Effect e(100, 100);
  WorkedExample(e);
  World in(100, 100, PF_PixelFormat_ARGB32), out(100, 100, PF_PixelFormat_ARGB32);
  SampleProbe8 probe(e.host);
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  ASSERT_EQ(probe.calls.size(), 3u * 100 * 100);
  // Three samples a pixel, row by row.
  auto of = [&](A_long x, A_long y) { return Positions(probe.calls, 3 * (y * 100 + x), 3); };
  EXPECT_THAT(of(0, 50), ElementsAre(std::pair{0, Px(50)}, std::pair{57926, Px(50)},
                                     std::pair{115852, Px(50)}));
  EXPECT_THAT(of(10, 20),
              ElementsAre(std::pair{Px(10), Px(20)}, std::pair{Px(10) + 46341, Px(20) + 34756},
                          std::pair{Px(10) + 2 * 46341, Px(20) + 2 * 34756}));
  // The centre pixel does not move.
  EXPECT_THAT(of(50, 50), ElementsAre(std::pair{Px(50), Px(50)}, std::pair{Px(50), Px(50)},
                                      std::pair{Px(50), Px(50)}));
  // Mirror images of (10, 20) about the centre step the other way, rounded alike.
  EXPECT_THAT(of(90, 80),
              ElementsAre(std::pair{Px(90), Px(80)}, std::pair{Px(90) - 46341, Px(80) - 34756},
                          std::pair{Px(90) - 2 * 46341, Px(80) - 2 * 34756}));
  for (const SampleCall& c : probe.calls) EXPECT_EQ(c.source, &in.effect_world());
}

TEST(Displacement, OneColourTakesTwoSamples) {
  Effect e(100, 100);
  WorkedExample(e);
  e.Mode(1);
  World in(100, 100, PF_PixelFormat_ARGB32), out(100, 100, PF_PixelFormat_ARGB32);
  SampleProbe8 probe(e.host);
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  ASSERT_EQ(probe.calls.size(), 2u * 100 * 100);
  EXPECT_THAT(Positions(probe.calls, 2 * (50 * 100 + 0), 2),
              ElementsAre(std::pair{0, Px(50)}, std::pair{57926, Px(50)}));
}

TEST(Displacement, LimiterHoldsTheProfileBeyondTheHalfDiagonal) {
  // Centre in a corner: every pixel farther than R = 70.71 uses entry 70.
  Effect e(100, 100);
  WorkedExample(e);
  e.Point(PARAM_CENTER, 0, 0);
  World in(100, 100, PF_PixelFormat_ARGB32), out(100, 100, PF_PixelFormat_ARGB32);
  SampleProbe8 probe(e.host);
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  const double r = std::hypot(50.0, 50.0);
  const double held = 0.025 * r * std::pow(70 / r, 2.0);  // pixels along the diagonal
  for (A_long d : {60, 99}) {
    const double toward = -d / std::hypot(double(d), double(d));
    const auto step = static_cast<PF_Fixed>(toward * held * 65536.0 - 0.5);
    const auto p = Positions(probe.calls, 3 * (d * 100 + d), 2);
    EXPECT_EQ(p[1].first - p[0].first, step) << d;
    EXPECT_EQ(p[1].second - p[0].second, step) << d;
  }
}

struct CompositeCase {
  const char* name;
  A_long mode;
  PF_Pixel samples[3];
  PF_Pixel result;
};

class Compositing : public ::testing::TestWithParam<CompositeCase> {};

// The samples come from a script, so only the mixing is looked at.
TEST_P(Compositing, OfScriptedSamples) {
  const CompositeCase& c = GetParam();
  Effect e(1, 1);
  e.Mode(c.mode);
  e.Color(PARAM_COLOR3, 255, 255, 255);
  if (c.mode == 3) {
    e.Color(PARAM_COLOR1, 255, 255, 255);
    e.Color(PARAM_COLOR2, 255, 255, 255);
  }
  World in(1, 1, PF_PixelFormat_ARGB32), out(1, 1, PF_PixelFormat_ARGB32);
  SampleProbe8 probe(e.host);
  std::size_t next = 0;
  probe.answer = [&](const SampleCall&) { return c.samples[next++ % 3]; };
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  EXPECT_EQ(out.Get<PF_Pixel>(0, 0), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Render, Compositing,
    ::testing::Values(
        // Red from sample 0, green from sample 1, blue from sample 2.
        CompositeCase{"DefaultColours",
                      2,
                      {{255, 200, 100, 50}, {255, 10, 20, 30}, {255, 90, 80, 70}},
                      {255, 200, 20, 70}},
        CompositeCase{"TransparentSamplesAddNothing",
                      2,
                      {{255, 100, 100, 100}, {0, 0, 0, 0}, {0, 0, 0, 0}},
                      {255, 100, 0, 0}},
        CompositeCase{"LargestAlphaNormalises",
                      2,
                      {{51, 51, 0, 0}, {255, 0, 255, 0}, {102, 0, 0, 102}},
                      {255, 10, 255, 40}},
        CompositeCase{"AllTransparent", 2, {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}, {}},
        CompositeCase{"ThreeWhitesClamp",
                      3,
                      {{255, 100, 10, 0}, {255, 100, 10, 0}, {255, 100, 10, 0}},
                      {255, 255, 30, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Vignette, WorkedFactorAtHalfTheHalfDiagonal) {
  Effect e(100, 100);
  WorkedExample(e);
  e.Slider(PARAM_AMOUNT, 0);
  e.Check(PARAM_VIGNETTING_ON, true);
  World source(100, 100, PF_PixelFormat_ARGB32);
  for (A_long y = 0; y < 100; ++y) {
    for (A_long x = 0; x < 100; ++x) source.Set(x, y, PF_Pixel{255, 200, 200, 200});
  }
  // 1.19999695 x (1 - 2500 / 5000) = 0.59999847 at d = 50.
  const double v = (78643 / 65536.0) * 0.5;
  for (PF_PixelFormat format :
       {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    auto in = AtDepth(source, format);
    World out(100, 100, format);
    ASSERT_EQ(e.Render(*in, out), PF_Err_NONE);
    if (format == PF_PixelFormat_ARGB32) {
      EXPECT_EQ(out.Get<PF_Pixel>(0, 50), (PF_Pixel{255, 119, 119, 119}));  // 119.9997
      EXPECT_EQ(out.Get<PF_Pixel>(50, 50), (PF_Pixel{255, 200, 200, 200}));  // held at 1.0
      EXPECT_EQ(out.Get<PF_Pixel>(0, 0), (PF_Pixel{255, 0, 0, 0}));           // d = R
    } else if (format == PF_PixelFormat_ARGB64) {
      const auto c = static_cast<A_u_short>(static_cast<int>(To16({0, 200, 0, 0}).red * v));
      EXPECT_EQ(out.Get<PF_Pixel16>(0, 50), (PF_Pixel16{32768, c, c, c}));
    } else {
      const PF_PixelFloat p = out.Get<PF_PixelFloat>(0, 50);
      EXPECT_EQ(p.alpha, 1.0f);
      EXPECT_FLOAT_EQ(p.red, static_cast<float>(static_cast<double>(200 / 255.0f) * v));
    }
  }
}

TEST(Blur, WorkedRunOfThreeAveragesTheResult) {
  Effect e(100, 100);
  WorkedExample(e);
  e.Check(PARAM_BLUR_ON, true);
  e.Slider(PARAM_BLUR_AMOUNT, 3);
  World in(100, 100, PF_PixelFormat_ARGB32), out(100, 100, PF_PixelFormat_ARGB32);
  SampleProbe8 probe(e.host);
  // The blur reads the temporary copy: there, row 50 holds reds 10, 20, 40
  // at columns 0, 1, 2.
  probe.answer = [&](const SampleCall& c) {
    if (c.source == &in.effect_world()) return PF_Pixel{};
    if (c.y == Px(50) && c.x >= 0 && c.x <= Px(2) && c.x % Px(1) == 0) {
      constexpr A_u_char kRed[] = {10, 20, 40};
      return PF_Pixel{255, kRed[c.x / Px(1)], 0, 0};
    }
    return PF_Pixel{};
  };
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  EXPECT_EQ(out.Get<PF_Pixel>(0, 50), (PF_Pixel{255, 23, 0, 0}));  // 70 / 3, truncated

  // L = 2.65165 at (0, 50): n = 3, one pixel apart toward the centre; then
  // pixel (1, 50) begins.
  std::vector<std::pair<PF_Fixed, PF_Fixed>> blur;
  for (const SampleCall& c : probe.calls) {
    if (c.source != &in.effect_world()) blur.emplace_back(c.x, c.y);
  }
  const auto first = std::find(blur.begin(), blur.end(), std::pair{0, Px(50)});
  ASSERT_LT(first - blur.begin() + 4, blur.end() - blur.begin());
  EXPECT_THAT(std::vector(first, first + 4),
              ElementsAre(std::pair{0, Px(50)}, std::pair{Px(1), Px(50)},
                          std::pair{Px(2), Px(50)}, std::pair{Px(1), Px(50)}));
}

TEST(Blur, RunLengthFollowsTheAmount) {
  Effect e(100, 100);
  WorkedExample(e);
  e.Check(PARAM_BLUR_ON, true);
  World in(100, 100, PF_PixelFormat_ARGB32), out(100, 100, PF_PixelFormat_ARGB32);
  for (auto [amount, n] : {std::pair{3.0, 3}, std::pair{1.0, 1}}) {
    e.Slider(PARAM_BLUR_AMOUNT, amount);
    SampleProbe8 probe(e.host);
    ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
    // The blur pass's calls, in pixel order: find pixel (10, 20)'s run.
    std::vector<SampleCall> blur;
    for (const SampleCall& c : probe.calls) {
      if (c.source != &in.effect_world()) blur.push_back(c);
    }
    std::size_t first = 0;
    while (first < blur.size() && !(blur[first].x == Px(10) && blur[first].y == Px(20))) ++first;
    ASSERT_LT(first + static_cast<std::size_t>(n), blur.size());
    for (int k = 0; k < n; ++k) {
      EXPECT_EQ(blur[first + k].x, Px(10) + k * 52429) << amount;
      EXPECT_EQ(blur[first + k].y, Px(20) + k * 39322) << amount;
    }
    // The next sample belongs to pixel (11, 20).
    EXPECT_EQ(blur[first + n].x, Px(11)) << amount;
  }
}

// --- Invariants --------------------------------------------------------------

struct IdentityCase {
  const char* name;
  A_long mode;
  PF_Pixel color1, color2;
};

class Identity : public ::testing::TestWithParam<IdentityCase> {};

// No displacement and no vignette: where the weights add up to white, every
// pixel comes back exactly at 8 and 16 bits, and up to rounding at float.
TEST_P(Identity, AmountZeroReturnsTheInput) {
  const IdentityCase& c = GetParam();
  constexpr A_long kW = 13, kH = 9;
  Effect e(kW, kH);
  e.Slider(PARAM_AMOUNT, 0);
  e.Point(PARAM_CENTER, Px(3) + 1234, Px(5) + 99);
  e.Mode(c.mode);
  e[PARAM_COLOR1].cd.value = c.color1;
  e[PARAM_COLOR2].cd.value = c.color2;
  e.Check(PARAM_BLUR_ON, true);  // a run of one sample at "Amount" 0
  World source(kW, kH, PF_PixelFormat_ARGB32);
  FillRandom(source, 3);
  for (PF_PixelFormat format :
       {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    auto in = AtDepth(source, format);
    World out(kW, kH, format);
    ASSERT_EQ(e.Render(*in, out), PF_Err_NONE);
    if (format != PF_PixelFormat_ARGB128) {
      EXPECT_TRUE(out.SamePixels(*in)) << minihost::FormatName(format);
      continue;
    }
    for (A_long y = 0; y < kH; ++y) {
      for (A_long x = 0; x < kW; ++x) {
        const PF_PixelFloat a = in->Get<PF_PixelFloat>(x, y), b = out.Get<PF_PixelFloat>(x, y);
        EXPECT_EQ(a.alpha, b.alpha);
        EXPECT_NEAR(a.red, b.red, 1e-6);
        EXPECT_NEAR(a.green, b.green, 1e-6);
        EXPECT_NEAR(a.blue, b.blue, 1e-6);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Render, Identity,
    ::testing::Values(IdentityCase{"OneColour", 1, {255, 30, 140, 250}, {}},
                      IdentityCase{"TwoDefaultColours", 2, {255, 255, 0, 0}, {255, 0, 0, 255}},
                      IdentityCase{"TwoScaledColours", 2, {255, 200, 100, 0}, {255, 200, 0, 50}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every effect on: the three depths see the same picture, up to the
// quantisation of the narrower ones.
TEST(DepthAgreement, SameImageSameResult) {
  constexpr A_long kW = 23, kH = 17;
  Effect e(kW, kH);
  e.Slider(PARAM_AMOUNT, 6);
  e.Slider(PARAM_POWER, 1.5);
  e.Point(PARAM_CENTER, Px(7) + 20000, Px(5) + 40000);
  e.Check(PARAM_BLUR_ON, true);
  e.Slider(PARAM_BLUR_AMOUNT, 2);
  e.Check(PARAM_VIGNETTING_ON, true);
  e.Check(PARAM_VIGNETTING_SAME, false);
  e.Point(PARAM_VIGNETTING_CENTER, Px(15), Px(9));
  World source(kW, kH, PF_PixelFormat_ARGB32);
  FillRandom(source, 5);
  World out8(kW, kH, PF_PixelFormat_ARGB32), out16(kW, kH, PF_PixelFormat_ARGB64),
      outf(kW, kH, PF_PixelFormat_ARGB128);
  ASSERT_EQ(e.Render(source, out8), PF_Err_NONE);
  ASSERT_EQ(e.Render(*AtDepth(source, PF_PixelFormat_ARGB64), out16), PF_Err_NONE);
  ASSERT_EQ(e.Render(*AtDepth(source, PF_PixelFormat_ARGB128), outf), PF_Err_NONE);

  // Each 8-bit step truncates (sampler rounding, normalisation, vignette,
  // blur average): a few levels of 255 at most.
  constexpr double kTolerance = 4.0 / 255;
  double worst16 = 0, worstf = 0;
  for (A_long y = 0; y < kH; ++y) {
    for (A_long x = 0; x < kW; ++x) {
      const PF_Pixel a = out8.Get<PF_Pixel>(x, y);
      const PF_Pixel16 b = out16.Get<PF_Pixel16>(x, y);
      const PF_PixelFloat c = outf.Get<PF_PixelFloat>(x, y);
      const double v8[] = {a.alpha / 255.0, a.red / 255.0, a.green / 255.0, a.blue / 255.0};
      const double v16[] = {b.alpha / 32768.0, b.red / 32768.0, b.green / 32768.0,
                            b.blue / 32768.0};
      const double vf[] = {c.alpha, c.red, c.green, c.blue};
      for (int i = 0; i < 4; ++i) {
        worst16 = std::max(worst16, std::abs(v8[i] - v16[i]));
        worstf = std::max(worstf, std::abs(v16[i] - vf[i]));
      }
    }
  }
  EXPECT_LE(worst16, kTolerance);
  EXPECT_LE(worstf, 4.0 / 32768);
}

class Mirror : public ::testing::TestWithParam<PF_PixelFormat> {};

// Odd size, "Center" on the middle pixel: mirroring the input mirrors the
// output exactly, every effect on.
TEST_P(Mirror, AboutTheCentrePixelIsExact) {
  constexpr A_long kW = 15, kH = 11;
  Effect e(kW, kH);
  e.Slider(PARAM_AMOUNT, 7);
  e.Slider(PARAM_POWER, 2.3);
  e.Point(PARAM_CENTER, Px(7), Px(5));
  e.Check(PARAM_BLUR_ON, true);
  e.Slider(PARAM_BLUR_AMOUNT, 2.5);
  e.Check(PARAM_VIGNETTING_ON, true);
  e.Slider(PARAM_VIGNETTING_AMOUNT, -20);
  World source(kW, kH, PF_PixelFormat_ARGB32);
  FillRandom(source, 9);
  auto in = AtDepth(source, GetParam());
  World out(kW, kH, GetParam());
  ASSERT_EQ(e.Render(*in, out), PF_Err_NONE);
  for (bool vertical : {false, true}) {
    auto mirrored_in = Mirrored(*in, vertical);
    World mirrored_out(kW, kH, GetParam());
    ASSERT_EQ(e.Render(*mirrored_in, mirrored_out), PF_Err_NONE);
    EXPECT_TRUE(Mirrored(mirrored_out, vertical)->SamePixels(out)) << "vertical " << vertical;
  }
}

INSTANTIATE_TEST_SUITE_P(Render, Mirror,
                         ::testing::Values(PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64));

}  // namespace
}  // namespace prismora::testing
