// Frame rates as users write them: whole, as a ratio, as a decimal, and the
// NTSC rates as editors round them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "media/movie_names.h"

namespace prismora::media {
namespace {

TEST(FrameRate, ReadsEveryFormAUserWrites) {
  struct Case {
    const char* text;
    std::optional<FrameRate> rate;
  };
  const Case cases[] = {
      {"24", FrameRate{24, 1}},
      {"24000/1001", FrameRate{24000, 1001}},
      {"48/2", FrameRate{24, 1}},
      {"12.5", FrameRate{25, 2}},
      {"30.00", FrameRate{30, 1}},
      // The NTSC family, n / 1.001, to the places written.
      {"23.976", FrameRate{24000, 1001}},
      {"23.98", FrameRate{24000, 1001}},
      {"29.97", FrameRate{30000, 1001}},
      {"29.970", FrameRate{30000, 1001}},
      {"47.952", FrameRate{48000, 1001}},
      {"59.94", FrameRate{60000, 1001}},
      {"119.88", FrameRate{120000, 1001}},
      // Near them but not them: to the thousandth, as written.
      {"29.9", FrameRate{299, 10}},
      {"29.96", FrameRate{749, 25}},
      {"23.977", FrameRate{23977, 1000}},
      {"0", std::nullopt},
      {"-24", std::nullopt},
      {"24/0", std::nullopt},
      {"fast", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<FrameRate> rate = ParseFrameRate(c.text);
    ASSERT_EQ(rate.has_value(), c.rate.has_value()) << c.text;
    if (rate) {
      EXPECT_EQ(RateText(*rate), RateText(*c.rate)) << c.text;
    }
  }
}

}  // namespace
}  // namespace prismora::media
