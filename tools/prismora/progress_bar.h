// A one-line progress bar on stderr, redrawn in place, shown only when
// stderr is a terminal (not when it goes to a file or a pipe) and not asked
// to be quiet. It only moves forward: work reported as less than before
// (frames between their render and their commit, threads between frames)
// leaves the bar where it was. It reaches 100% only once every frame is in
// place, and says how long the rest should take once there is work done to
// tell from.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace prismora::cli {

// The bar's line: `share` of the work done (0..1), `frames_done` of `total`
// frames in place, `elapsed` seconds spent. The share shows at most 99%
// until the last frame is in place; the time left is the time spent scaled
// by the share still to do.
std::string ProgressLine(double share, int64_t frames_done, int64_t total, double elapsed);

class ProgressBar {
 public:
  ProgressBar(bool wanted, int64_t total_frames);
  ~ProgressBar();  // clears the line
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool shown() const { return shown_; }
  // `work` counts frames, finished ones whole and those being rendered by the
  // share of their rows done.
  void Show(double work, int64_t frames_done);
  void Clear();

 private:
  bool shown_;
  bool drawn_ = false;
  int64_t total_;
  double share_ = 0;        // the most shown so far
  int64_t frames_done_ = 0;  // likewise
  std::chrono::steady_clock::time_point start_;
};

}  // namespace prismora::cli
