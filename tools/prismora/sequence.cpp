#include "sequence.h"

#include <charconv>

#include "commands.h"

namespace prismora::cli {
namespace {

constexpr int kMaxDigits = 18;

[[noreturn]] void BadPattern(std::string_view text, const std::string& why) {
  throw UsageError{"bad sequence pattern '" + std::string(text) + "': " + why};
}

bool ParseCount(std::string_view text, int64_t& value) {
  if (text.empty() || text.size() > kMaxDigits) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

}  // namespace

PathPattern PathPattern::Parse(std::string_view text) {
  PathPattern p;
  p.text_ = std::string(text);
  std::string* part = &p.prefix_;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '#') {
      std::size_t run = 0;
      while (i + run < text.size() && text[i + run] == '#') ++run;
      if (p.width_ > 0) BadPattern(text, "it holds more than one frame number");
      if (run > kMaxDigits) BadPattern(text, "too many digits");
      p.width_ = static_cast<int>(run);
      part = &p.suffix_;
      i += run;
      continue;
    }
    if (c == '%' && i + 1 < text.size()) {
      if (text[i + 1] == '%') {
        *part += '%';
        i += 2;
        continue;
      }
      // %d, %0Nd.
      std::size_t j = i + 1;
      while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
      if (j < text.size() && text[j] == 'd') {
        const std::string_view digits = text.substr(i + 1, j - i - 1);
        int width = 1;
        if (!digits.empty()) {
          if (digits[0] != '0' || digits.size() < 2) {
            BadPattern(text, "say %0" + std::string(digits) + "d for " +
                                 std::string(digits) + " digits");
          }
          int64_t n = 0;
          if (!ParseCount(digits.substr(1), n) || n < 1 || n > kMaxDigits) {
            BadPattern(text, "the number of digits must be 1 to 18");
          }
          width = static_cast<int>(n);
        }
        if (p.width_ > 0) BadPattern(text, "it holds more than one frame number");
        p.width_ = width;
        part = &p.suffix_;
        i = j + 1;
        continue;
      }
    }
    *part += c;
    ++i;
  }
  return p;
}

std::string PathPattern::Frame(int64_t n) const {
  if (width_ == 0) return prefix_;
  std::string digits = std::to_string(n);
  if (digits.size() < static_cast<std::size_t>(width_)) {
    digits.insert(0, static_cast<std::size_t>(width_) - digits.size(), '0');
  }
  return prefix_ + digits + suffix_;
}

FrameRange ParseFrameRange(std::string_view text) {
  const std::string shown = "bad frame range '" + std::string(text) + "': ";
  FrameRange r;
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    if (!ParseCount(text, r.first)) {
      throw UsageError{shown + "give A-B or N with whole numbers from 0"};
    }
    r.last = r.first;
    return r;
  }
  if (!ParseCount(text.substr(0, dash), r.first) || !ParseCount(text.substr(dash + 1), r.last)) {
    throw UsageError{shown + "give A-B or N with whole numbers from 0"};
  }
  if (r.last < r.first) throw UsageError{shown + "the last frame comes before the first"};
  return r;
}

}  // namespace prismora::cli
