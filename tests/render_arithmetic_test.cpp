// The 8-bit mix divides by alpha x 255 through a table of reciprocals; it
// must agree with the integer division for every sum the mix can form.
#include <gtest/gtest.h>

#include <cstdint>

#include "render/depth_traits.h"

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

}  // namespace
}  // namespace prismora
