// The mix's arithmetic where it is not written the obvious way: the 8-bit
// mix divides by alpha x 255 through a table of reciprocals, and at float
// depth the channels are mixed side by side. Each must agree with the plain
// form for every value it can meet.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "render/depth_traits.h"
#include "render/displacement.h"

namespace prismora {
namespace {

// For each alpha, the sums where a wrong reciprocal shows first: every
// multiple of the divisor and the sum just below it, up to the largest sum
// three samples can give.
TEST(ReciprocalDivision, AgreesWithIntegerDivisionUpToTheLargestSum) {
  constexpr uint32_t kLargestSum = 3u * 255 * 255 * 255;
  for (uint32_t alpha = 1; alpha <= 255; ++alpha) {
    const uint32_t d = alpha * 255;
    for (uint32_t multiple = 0; multiple <= kLargestSum + d; multiple += d) {
      for (const uint32_t sum : {multiple, multiple + d - 1}) {
        if (sum > kLargestSum) continue;
        ASSERT_EQ(kReciprocalOf255Multiples.Divide(sum, alpha), sum / d)
            << "sum " << sum << ", alpha " << alpha;
      }
    }
  }
}

TEST(ReciprocalDivision, NormalisedChannelHeldAt255) {
  // Mode 3 colours that do not add up to white push the quotient past 255.
  EXPECT_EQ(Depth8::Normalise(3 * 255 * 255 * 255, 255), 255);
  EXPECT_EQ(Depth8::Normalise(3 * 255 * 255 * 255, 1), 255);
  EXPECT_EQ(Depth8::Normalise(255 * 200 * 255, 255), 200);
  EXPECT_EQ(Depth8::Normalise(0, 7), 0);
}

// The same bits, or NaN on both sides (a NaN's payload may come from either
// operand of a product).
bool SameFloat(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(FloatMix, ChannelsSideBySideGiveTheBitsOfOneAtATime) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float odd[] = {0.0f, -0.0f, 1.0f, inf, -inf, nan, 1e-40f, -1e-45f, 3e38f, -3e38f, 255.0f};
  std::mt19937 random(5);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f), wide(-2.0f, 300.0f);
  std::uniform_int_distribution<int> pick(0, 9), special(0, std::size(odd) - 1), byte(0, 255);
  auto value = [&] {
    const int kind = pick(random);
    return kind < 5 ? unit(random) : kind < 8 ? wide(random) : odd[special(random)];
  };
  auto color = [&] {
    return PF_Pixel{255, static_cast<A_u_char>(byte(random)), static_cast<A_u_char>(byte(random)),
                    static_cast<A_u_char>(byte(random))};
  };
  for (int set = 0; set < 200; ++set) {
    const ColorWeights colors =
        set == 0 ? ColorWeights{{255, 255, 0, 0}, {255, 0, 255, 0}, {255, 0, 0, 255}}
                 : ColorWeights{color(), color(), color()};
    for (const bool third : {true, false}) {
      const MixWeights<DepthFloat> weights(colors);
      for (int i = 0; i < 500; ++i) {
        PixelSamples<DepthFloat> samples;
        for (PF_PixelFloat& p : samples.at) p = PF_PixelFloat{value(), value(), value(), value()};
        if (i % 7 == 0) samples.at[i % 3].alpha = 0.0f;
        Mix<DepthFloat> mix(samples.at[0], weights.a);
        mix.Add(samples.at[1], weights.b);
        if (third) mix.Add(samples.at[2], weights.c);
        const PF_PixelFloat want = mix.Result();
        const PF_PixelFloat got = MixSamples(third, weights, samples);
        ASSERT_TRUE(SameFloat(got.alpha, want.alpha) && SameFloat(got.red, want.red) &&
                    SameFloat(got.green, want.green) && SameFloat(got.blue, want.blue))
            << "set " << set << ", sample " << i << (third ? "" : ", two samples") << ": got "
            << got.red << " " << got.green << " " << got.blue << ", want " << want.red << " "
            << want.green << " " << want.blue;
      }
    }
  }
}

}  // namespace
}  // namespace prismora
