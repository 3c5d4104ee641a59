// The host's side of rendering: the subpixel sampler whose arithmetic the
// render's output rests on, and the world service's accounting.
#include <cmath>
#include <limits>

#include "render_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

template <class Pixel>
Pixel Sample(const World& world, PF_Fixed x, PF_Fixed y) {
  PF_SampPB block{};
  block.src = const_cast<PF_EffectWorld*>(&world.effect_world());
  Pixel out{};
  PF_Err err = PF_Err_NONE;
  if constexpr (std::is_same_v<Pixel, PF_Pixel>) {
    err = minihost::Sampling8Suite().subpixel_sample(nullptr, x, y, &block, &out);
  } else if constexpr (std::is_same_v<Pixel, PF_Pixel16>) {
    err = minihost::Sampling16Suite().subpixel_sample16(nullptr, x, y, &block, &out);
  } else {
    err = minihost::SamplingFloatSuite().subpixel_sample_float(nullptr, x, y, &block, &out);
  }
  EXPECT_EQ(err, PF_Err_NONE);
  return out;
}

// The sampler as written down, tap by tap, for comparison.
template <class Pixel>
Pixel Reference(const World& w, PF_Fixed x, PF_Fixed y) {
  const int64_t ix = x >> 16, iy = y >> 16;
  const uint64_t fx = static_cast<uint32_t>(x) & 0xFFFF, fy = static_cast<uint32_t>(y) & 0xFFFF;
  const int64_t cx[4] = {ix, ix + 1, ix, ix + 1}, cy[4] = {iy, iy, iy + 1, iy + 1};
  const uint64_t weight[4] = {(65536 - fx) * (65536 - fy), fx * (65536 - fy),
                              (65536 - fx) * fy, fx * fy};
  double fsum[4] = {0, 0, 0, 0};
  uint64_t isum[4] = {1u << 31, 1u << 31, 1u << 31, 1u << 31};
  for (int t = 0; t < 4; ++t) {
    if (weight[t] == 0 || cx[t] < 0 || cy[t] < 0 || cx[t] >= w.width() || cy[t] >= w.height()) {
      continue;
    }
    const Pixel p = w.Get<Pixel>(static_cast<A_long>(cx[t]), static_cast<A_long>(cy[t]));
    const double channels[4] = {static_cast<double>(p.alpha), static_cast<double>(p.red),
                                static_cast<double>(p.green), static_cast<double>(p.blue)};
    for (int c = 0; c < 4; ++c) {
      fsum[c] += static_cast<double>(weight[t]) / 4294967296.0 * channels[c];
      isum[c] += weight[t] * static_cast<uint64_t>(channels[c]);
    }
  }
  using Channel = decltype(Pixel::alpha);
  if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) {
    return Pixel{static_cast<float>(fsum[0]), static_cast<float>(fsum[1]),
                 static_cast<float>(fsum[2]), static_cast<float>(fsum[3])};
  } else {
    return Pixel{static_cast<Channel>(isum[0] >> 32), static_cast<Channel>(isum[1] >> 32),
                 static_cast<Channel>(isum[2] >> 32), static_cast<Channel>(isum[3] >> 32)};
  }
}

template <class Pixel>
bool Same(const Pixel& a, const Pixel& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Sampler, WorkedValues8) {
  World w(2, 2, PF_PixelFormat_ARGB32);
  w.Set(0, 0, PF_Pixel{255, 0, 10, 200});
  w.Set(1, 0, PF_Pixel{255, 255, 20, 100});
  w.Set(0, 1, PF_Pixel{0, 0, 0, 0});
  w.Set(1, 1, PF_Pixel{255, 255, 255, 255});
  // Whole numbers name pixels exactly.
  EXPECT_EQ(Sample<PF_Pixel>(w, Px(1), 0), (PF_Pixel{255, 255, 20, 100}));
  // Halfway: halves rounded up.
  EXPECT_EQ(Sample<PF_Pixel>(w, 32768, 0), (PF_Pixel{255, 128, 15, 150}));
  // A quarter: 63.75 rounds to 64.
  EXPECT_EQ(Sample<PF_Pixel>(w, 16384, 0), (PF_Pixel{255, 64, 13, 175}));
  // Across the edge, the outside counts as transparent black.
  EXPECT_EQ(Sample<PF_Pixel>(w, -32768, 0), (PF_Pixel{128, 0, 5, 100}));
  EXPECT_EQ(Sample<PF_Pixel>(w, Px(1) + 32768, Px(1)), (PF_Pixel{128, 128, 128, 128}));
  // The middle of four.
  EXPECT_EQ(Sample<PF_Pixel>(w, 32768, 32768), (PF_Pixel{191, 128, 71, 139}));
  // Wholly outside, and the most extreme positions.
  EXPECT_EQ(Sample<PF_Pixel>(w, Px(2), 0), PF_Pixel{});
  EXPECT_EQ(Sample<PF_Pixel>(w, -65536, 0), PF_Pixel{});
  EXPECT_EQ(Sample<PF_Pixel>(w, INT32_MAX, INT32_MAX), PF_Pixel{});
  EXPECT_EQ(Sample<PF_Pixel>(w, INT32_MIN, INT32_MIN), PF_Pixel{});
}

template <class Pixel>
void AgreesWithTheReference(const World& w) {
  std::mt19937 random(17);
  std::uniform_int_distribution<int32_t> near(-2 * 65536, (w.width() + 2) * 65536);
  std::uniform_int_distribution<int32_t> whole(-2, w.width() + 1);
  std::uniform_int_distribution<int32_t> fraction(0, 65535);
  for (int i = 0; i < 20000; ++i) {
    // Every kind of position: anywhere, on a whole column or row, whole.
    PF_Fixed x = near(random), y = near(random);
    if (i % 4 == 1) x = whole(random) * 65536;
    if (i % 4 == 2) y = whole(random) * 65536 + (i % 8 == 2 ? 0 : fraction(random));
    if (i % 4 == 3) x = whole(random) * 65536, y = whole(random) * 65536;
    const Pixel got = Sample<Pixel>(w, x, y), want = Reference<Pixel>(w, x, y);
    ASSERT_TRUE(Same(got, want)) << "at " << x << ", " << y;
  }
}

TEST(Sampler, AgreesWithItsDefinitionAtEveryDepth) {
  World source(6, 5, PF_PixelFormat_ARGB32);
  FillRandom(source, 23);
  AgreesWithTheReference<PF_Pixel>(source);
  auto deep = AtDepth(source, PF_PixelFormat_ARGB64, 6);  // rows unaligned for 16-bit pixels?
  deep->Set(2, 2, PF_Pixel16{65535, 65535, 40000, 32768});  // as stored, above the ceiling
  AgreesWithTheReference<PF_Pixel16>(*deep);
  auto flt = AtDepth(source, PF_PixelFormat_ARGB128, 3);  // rows not 4-byte aligned
  flt->Set(1, 3, PF_PixelFloat{1.0f, 7.5f, -2.0f, 1e30f});  // unclamped values
  AgreesWithTheReference<PF_PixelFloat>(*flt);
}

TEST(Sampler, FloatReadsNoPixelOfWeightZero) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  World w(3, 3, PF_PixelFormat_ARGB128);
  w.Set(1, 1, PF_PixelFloat{1, 0.5f, 0.25f, 2});
  w.Set(2, 1, PF_PixelFloat{inf, inf, inf, inf});
  w.Set(1, 2, PF_PixelFloat{nan, nan, nan, nan});
  // On column 1 between rows 1 and 0: column 2 weighs nothing.
  const PF_PixelFloat p = Sample<PF_PixelFloat>(w, Px(1), Px(1) - 16384);
  EXPECT_EQ(p.alpha, 0.75f);
  EXPECT_EQ(p.red, 0.375f);
  // Whole positions copy the pixel as stored, whatever it holds.
  EXPECT_TRUE(std::isinf(Sample<PF_PixelFloat>(w, Px(2), Px(1)).red));
  EXPECT_TRUE(std::isnan(Sample<PF_PixelFloat>(w, Px(1), Px(2)).red));
}

TEST(Sampler, RefusesABlockWithoutASource) {
  PF_SampPB block{};
  PF_Pixel out{};
  EXPECT_EQ(minihost::Sampling8Suite().subpixel_sample(nullptr, 0, 0, &block, &out),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(minihost::Sampling8Suite().subpixel_sample(nullptr, 0, 0, nullptr, &out),
            PF_Err_BAD_CALLBACK_PARAM);
  World empty(0, 0, PF_PixelFormat_ARGB32);
  block.src = &empty.effect_world();
  out = PF_Pixel{1, 2, 3, 4};
  EXPECT_EQ(minihost::Sampling8Suite().subpixel_sample(nullptr, 0, 0, &block, &out), 0);
  EXPECT_EQ(out, PF_Pixel{});
}

TEST(Sampler, CountsItsCalls) {
  World w(2, 2, PF_PixelFormat_ARGB32);
  minihost::ResetSamplesTaken();
  Sample<PF_Pixel>(w, 0, 0);
  Sample<PF_Pixel>(w, 5, 5);
  EXPECT_EQ(minihost::SamplesTaken(), 2);
}

// --- Worlds --------------------------------------------------------------------

TEST(WorldService, PluginWorldsArePaddedCountedAndReportedWhenLeft) {
  Effect e(4, 4);
  auto& worlds = minihost::WorldService::Install(e.host);
  worlds.set_row_padding(12);
  const auto* v1 = static_cast<const PF_WorldSuite1*>(e.host.suites().Find(kPFWorldSuite, 1));
  const auto* v2 = static_cast<const PF_WorldSuite2*>(e.host.suites().Find(kPFWorldSuite, 2));
  PF_EffectWorld a{}, b{}, c{};
  e.host.CallPlugin("a test", e.instance, [&] {
    ASSERT_EQ(v1->new_world(e.instance->effect_ref(), 3, 2, PF_NewWorldFlag_DEEP_PIXELS, &a), 0);
    ASSERT_EQ(v2->PF_NewWorld(e.instance->effect_ref(), 5, 1, 1, PF_PixelFormat_ARGB128, &b), 0);
    ASSERT_EQ(v1->new_world(e.instance->effect_ref(), 1, 1, 0, &c), 0);
    PF_PixelFormat format = 0;
    EXPECT_EQ(v2->PF_GetPixelFormat(&a, &format), 0);
    EXPECT_EQ(format, PF_PixelFormat_ARGB64);
    EXPECT_EQ(v2->PF_GetPixelFormat(&b, &format), 0);
    EXPECT_EQ(format, PF_PixelFormat_ARGB128);
    EXPECT_EQ(a.rowbytes, 3 * 8 + 12);
    EXPECT_NE(a.world_flags & PF_WorldFlag_DEEP, 0);
    EXPECT_EQ(b.rowbytes, 5 * 16 + 12);
    EXPECT_EQ(static_cast<const PF_PixelFloat*>(static_cast<void*>(b.data))->red, 0.0f);
    // A copy between different depths is refused.
    EXPECT_EQ(e.host.util_callbacks().copy(e.instance->effect_ref(), &a, &b, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(v1->dispose_world(e.instance->effect_ref(), &c), 0);
    EXPECT_EQ(c.data, nullptr);
  });
  EXPECT_EQ(worlds.created(), 3);
  EXPECT_EQ(worlds.disposed(), 1);
  EXPECT_THAT(e.host.problems(),
              UnorderedElementsAre(HasSubstr("copy from a ae16 world to a ae32 world"),
                                   HasSubstr("world of 3 x 2 ae16 pixels not disposed"),
                                   HasSubstr("world of 5 x 1 ae32 pixels not disposed")));
  EXPECT_EQ(worlds.live(), 0u);  // reported once, then freed by the host
  e.host.CallPlugin("a second test", e.instance, [&] {
    EXPECT_EQ(v1->dispose_world(e.instance->effect_ref(), &a), PF_Err_BAD_CALLBACK_PARAM);
  });
  EXPECT_THAT(e.host.problems(), ElementsAre(HasSubstr("did not create")));
}

}  // namespace
}  // namespace prismora::testing
