// Image sequences on the command line: file name patterns with a frame
// number (shot.####.exr, shot.%04d.exr) and frame ranges (A-B).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace prismora::cli {

// A path that may hold one frame number: a run of '#' (as many digits as
// there are '#') or a printf-style %d / %0Nd. "%%" is a literal '%', as is a
// '%' that starts no number. Paths without a frame number name one file.
class PathPattern {
 public:
  // Throws UsageError for a path with more than one frame number or with a
  // number form it does not take (%4d: say %04d).
  static PathPattern Parse(std::string_view text);

  bool is_sequence() const { return width_ > 0; }
  const std::string& text() const { return text_; }
  // The path of frame n (n >= 0); the text itself, "%%" unescaped, when the
  // path holds no frame number.
  std::string Frame(int64_t n) const;

 private:
  std::string text_;
  std::string prefix_;
  std::string suffix_;
  int width_ = 0;  // digits at least; 0 when the path holds no frame number
};

struct FrameRange {
  int64_t first = 0;
  int64_t last = 0;
  int64_t count() const { return last - first + 1; }
};

// "A-B" or "N", with 0 <= A <= B. Throws UsageError naming the problem.
FrameRange ParseFrameRange(std::string_view text);

}  // namespace prismora::cli
