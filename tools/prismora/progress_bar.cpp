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

void ProgressBar::Show(double work, int64_t frames_done) {
  if (!shown_) return;
  constexpr int kCells = 30;
  share_ = std::max(share_, std::clamp(work / static_cast<double>(total_), 0.0, 1.0));
  frames_done_ = std::max(frames_done_, frames_done);
  const double share = share_;
  const int filled = static_cast<int>(share * kCells);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kCells - filled), '.');
  std::lock_guard lock(imageio::ConsoleLock());
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now() - start_)
                           .count();
  std::fprintf(stderr, "\r[%s] %3d%%  %lld/%lld %s  %lld:%02lld ", bar.c_str(),
               static_cast<int>(share * 100.0), static_cast<long long>(frames_done_),
               static_cast<long long>(total_), total_ == 1 ? "frame" : "frames",
               static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
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
