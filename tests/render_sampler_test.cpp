// The host's side of rendering: the subpixel sampler whose arithmetic the
// render's output rests on, and the world service's accounting.
#include <cmath>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "render_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

template <class Pixel>
PF_Err SampleWith(bool area, const World& world, PF_Fixed x, PF_Fixed y, Pixel& out) {
  PF_SampPB block{};
  block.src = const_cast<PF_EffectWorld*>(&world.effect_world());
  if constexpr (std::is_same_v<Pixel, PF_Pixel>) {
    const PF_Sampling8Suite1& suite = minihost::Sampling8Suite();
    return (area ? suite.area_sample : suite.subpixel_sample)(nullptr, x, y, &block, &out);
  } else if constexpr (std::is_same_v<Pixel, PF_Pixel16>) {
    const PF_Sampling16Suite1& suite = minihost::Sampling16Suite();
    return (area ? suite.area_sample16 : suite.subpixel_sample16)(nullptr, x, y, &block, &out);
  } else {
    const PF_SamplingFloatSuite1& suite = minihost::SamplingFloatSuite();
    return (area ? suite.area_sample_float : suite.subpixel_sample_float)(nullptr, x, y, &block,
                                                                           &out);
  }
}

template <class Pixel>
Pixel Sample(const World& world, PF_Fixed x, PF_Fixed y) {
  Pixel out{};
  EXPECT_EQ(SampleWith(false, world, x, y, out), PF_Err_NONE);
  return out;
}

// The sampler as written down, tap by tap, for comparison: a whole-number
// position is the pixel as stored; otherwise each of the four taps inside
// the world with a weight counts, in order.
template <class Pixel>
Pixel Reference(const World& w, PF_Fixed x, PF_Fixed y) {
  const int64_t ix = x >> 16, iy = y >> 16;
  const uint64_t fx = static_cast<uint32_t>(x) & 0xFFFF, fy = static_cast<uint32_t>(y) & 0xFFFF;
  auto inside = [&w](int64_t cx, int64_t cy) {
    return cx >= 0 && cy >= 0 && cx < w.width() && cy < w.height();
  };
  if (fx == 0 && fy == 0) {
    return inside(ix, iy) ? w.Get<Pixel>(static_cast<A_long>(ix), static_cast<A_long>(iy))
                          : Pixel{};
  }
  const int64_t cx[4] = {ix, ix + 1, ix, ix + 1}, cy[4] = {iy, iy, iy + 1, iy + 1};
  const uint64_t weight[4] = {(65536 - fx) * (65536 - fy), fx * (65536 - fy),
                              (65536 - fx) * fy, fx * fy};
  double fsum[4] = {0, 0, 0, 0};
  uint64_t isum[4] = {1u << 31, 1u << 31, 1u << 31, 1u << 31};
  for (int t = 0; t < 4; ++t) {
    if (weight[t] == 0 || !inside(cx[t], cy[t])) continue;
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

// Bit for bit; a NaN channel only has to be a NaN (which of two NaNs a sum
// passes on is the compiler's choice of operand order).
template <class Pixel>
bool Same(const Pixel& a, const Pixel& b) {
  if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) {
    const float x[4] = {a.alpha, a.red, a.green, a.blue}, y[4] = {b.alpha, b.red, b.green, b.blue};
    for (int c = 0; c < 4; ++c) {
      if (std::isnan(x[c]) != std::isnan(y[c])) return false;
      if (!std::isnan(x[c]) && std::memcmp(&x[c], &y[c], sizeof x[c]) != 0) return false;
    }
    return true;
  } else {
    return std::memcmp(&a, &b, sizeof a) == 0;
  }
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

// Every kind of position, for the subpixel and the area function alike: a
// dense grid over the world and two pixels beyond each edge (an odd step, so
// that fractions of every kind come up, and every half and whole pixel),
// random positions near the world and anywhere in 32 bits, and the extremes.
template <class Pixel>
void AgreesWithTheReference(const World& w) {
  std::vector<std::pair<PF_Fixed, PF_Fixed>> positions;
  const PF_Fixed low_x = -3 * 65536, high_x = (w.width() + 3) * 65536;
  const PF_Fixed low_y = -3 * 65536, high_y = (w.height() + 3) * 65536;
  for (PF_Fixed step : {4099, 32768}) {
    for (PF_Fixed y = low_y; y <= high_y; y += step) {
      for (PF_Fixed x = low_x; x <= high_x; x += step) positions.emplace_back(x, y);
    }
  }
  // The smallest and largest fractions on both axes at every pixel: the
  // largest weights a tap can have.
  for (A_long iy = -1; iy <= w.height(); ++iy) {
    for (A_long ix = -1; ix <= w.width(); ++ix) {
      for (PF_Fixed fy : {1, 65535}) {
        for (PF_Fixed fx : {1, 65535}) positions.emplace_back(ix * 65536 + fx, iy * 65536 + fy);
      }
    }
  }
  std::mt19937 random(17);
  std::uniform_int_distribution<int32_t> near_x(low_x, high_x), near_y(low_y, high_y);
  std::uniform_int_distribution<int32_t> anywhere(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> whole(-2, w.width() + 1), fraction(0, 65535);
  for (int i = 0; i < 20000; ++i) {
    PF_Fixed x = near_x(random), y = near_y(random);
    if (i % 5 == 1) x = whole(random) * 65536;
    if (i % 5 == 2) y = whole(random) * 65536 + (i % 10 == 2 ? 0 : fraction(random));
    if (i % 5 == 3) x = anywhere(random), y = anywhere(random);
    if (i % 5 == 4) x = anywhere(random) | 0xFFFF, y = near_y(random);
    positions.emplace_back(x, y);
  }
  for (PF_Fixed x : {INT32_MIN, INT32_MIN + 1, -65537, -65536, -1, 0, 1, 65535, INT32_MAX - 1,
                     INT32_MAX}) {
    for (PF_Fixed y : {INT32_MIN, -65536, -1, 0, 32768, INT32_MAX}) positions.emplace_back(x, y);
  }
  for (bool area : {false, true}) {
    for (const auto& [x, y] : positions) {
      Pixel got{};
      ASSERT_EQ(SampleWith(area, w, x, y, got), PF_Err_NONE);
      const Pixel want = Reference<Pixel>(w, x, y);
      ASSERT_TRUE(Same(got, want)) << (area ? "area" : "subpixel") << " at " << x << ", " << y
                                   << " of a " << w.width() << " x " << w.height() << " world";
    }
  }
}

// Worlds of every shape that has an edge case: one pixel, one row, one
// column, none at all, and a small image with rows padded (so that 16-bit
// and float pixels sit unaligned).
struct WorldShape {
  A_long width, height, padding;
};
constexpr WorldShape kShapes[] = {{6, 5, 0}, {7, 4, 3}, {1, 1, 0}, {5, 1, 1}, {1, 6, 2},
                                  {0, 0, 0}, {0, 3, 0}, {4, 0, 0}};

TEST(Sampler, AgreesWithItsDefinitionAtEveryDepth) {
  for (const WorldShape& shape : kShapes) {
    SCOPED_TRACE(::testing::Message() << shape.width << " x " << shape.height << " + "
                                      << shape.padding);
    World source(shape.width, shape.height, PF_PixelFormat_ARGB32, shape.padding);
    FillRandom(source, 23);
    AgreesWithTheReference<PF_Pixel>(source);

    auto deep = AtDepth(source, PF_PixelFormat_ARGB64, shape.padding + 6);
    // As stored, above the ceiling.
    if (shape.width > 0 && shape.height > 0) {
      deep->Set(0, 0, PF_Pixel16{65535, 65535, 40000, 32768});
    }
    // Four taps at the largest value a channel can hold: the largest sums.
    if (shape.width > 2 && shape.height > 2) {
      for (A_long y : {1, 2}) {
        for (A_long x : {1, 2}) deep->Set(x, y, PF_Pixel16{65535, 65535, 65535, 65535});
      }
    }
    AgreesWithTheReference<PF_Pixel16>(*deep);

    auto flt = AtDepth(source, PF_PixelFormat_ARGB128, shape.padding + 3);
    // Unclamped, signed, huge, infinite and NaN values, and a negative zero.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const PF_PixelFloat odd[] = {{1.0f, 7.5f, -2.0f, 1e30f},
                                 {-0.0f, 3e38f, -3e38f, 1e-40f},
                                 {inf, -inf, nan, 0.25f}};
    for (A_long i = 0; i < 3 && shape.width > 0 && shape.height > 0; ++i) {
      flt->Set((i * 5) % shape.width, (i * 3) % shape.height, odd[i]);
    }
    AgreesWithTheReference<PF_PixelFloat>(*flt);
  }
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
