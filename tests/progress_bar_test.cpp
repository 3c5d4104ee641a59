// The progress bar's line: 100% only once the last frame is in place, and
// the time left scaled from the time spent.
#include <gtest/gtest.h>

#include <string>

#include "progress_bar.h"

namespace prismora::cli {
namespace {

TEST(ProgressLine, ShowsShareFramesAndTimeLeft) {
  struct Case {
    double share;
    int64_t done, total;
    double elapsed;
    std::string line;
  };
  const std::string empty(30, '.');
  const Case cases[] = {
      // Nothing done yet: no estimate.
      {0.0, 0, 10, 0.2, "[" + empty + "]   0%  0/10 frames  0:00"},
      // A quarter in 10 s: 30 s to go.
      {0.25, 2, 10, 10.0, "[#######" + std::string(23, '.') + "]  25%  2/10 frames  0:10, 0:30 left"},
      // Every frame rendered but the last not yet in place: not 100%.
      {1.0, 9, 10, 60.0, "[" + std::string(29, '#') + ".]  99%  9/10 frames  1:00, 0:00 left"},
      {1.0, 10, 10, 61.0, "[" + std::string(30, '#') + "] 100%  10/10 frames  1:01"},
      {1.0, 1, 1, 3.0, "[" + std::string(30, '#') + "] 100%  1/1 frame  0:03"},
      // Long renders count hours.
      {0.5, 50, 100, 3725.0, "[" + std::string(15, '#') + std::string(15, '.') +
                                 "]  50%  50/100 frames  1:02:05, 1:02:05 left"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressLine(c.share, c.done, c.total, c.elapsed), c.line) << c.share;
  }
}

}  // namespace
}  // namespace prismora::cli
