#include "progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>

#include "imageio/image_file.h"

#if defined(_WIN32)
#include <io.h>
#define PRISMORA_ISATTY _isatty
#else
#include <unistd.h>
#define PRISMORA_ISATTY isatty
#endif

namespace prismora::cli {

ProgressBar::ProgressBar(bool wanted, int64_t total_frames)
    : shown_(wanted && PRISMORA_ISATTY(2) != 0),
      total_(std::max<int64_t>(total_frames, 1)),
      start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { Clear(); }

namespace {

// "1:05", or "1:02:05" from an hour on.
std::string Clock(double seconds) {
  const auto s = static_cast<long long>(std::max(0.0, std::min(seconds, 359999.0)));
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  }
  return text;
}

}  // namespace

std::string ProgressLine(double share, int64_t frames_done, int64_t total, double elapsed) {
  constexpr int kCells = 30;
  share = std::clamp(share, 0.0, 1.0);
  const bool whole = frames_done >= total;
  // The last frame rendered is not yet the last one in place.
  const int percent = whole ? 100 : std::min(static_cast<int>(share * 100.0), 99);
  const int filled = whole ? kCells : std::min(static_cast<int>(share * kCells), kCells - 1);
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kCells - filled), '.');
  char counts[96];
  std::snprintf(counts, sizeof counts, "] %3d%%  %lld/%lld %s  ", percent,
                static_cast<long long>(frames_done), static_cast<long long>(total),
                total == 1 ? "frame" : "frames");
  line += counts;
  line += Clock(elapsed);
  // Too early to tell until some of the work is done.
  if (!whole && share >= 0.01 && elapsed >= 1.0) {
    line += ", " + Clock(elapsed * (1.0 - share) / share + 0.5) + " left";
  }
  return line;
}

void ProgressBar::Show(double work, int64_t frames_done) {
  if (!shown_) return;
  share_ = std::max(share_, std::clamp(work / static_cast<double>(total_), 0.0, 1.0));
  frames_done_ = std::max(frames_done_, frames_done);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string line = ProgressLine(share_, frames_done_, total_, elapsed);
  std::lock_guard lock(imageio::ConsoleLock());
  // Cleared to the end: the line can grow shorter (the time left goes).
  std::fprintf(stderr, "\r%s \033[K", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::lock_guard lock(imageio::ConsoleLock());
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace prismora::cli
