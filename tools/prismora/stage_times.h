// Time spent in each stage of a render (reading, rendering, writing,
// committing), summed over frames and threads, for --timing.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>

namespace prismora::cli {

// By the clock, and the processor time of the threads doing it (which a
// busy machine disturbs less).
struct StageTime {
  std::atomic<int64_t> wall_ns{0};
  std::atomic<int64_t> cpu_ns{0};
};
struct StageTimes {
  StageTime read, render, write;
  std::atomic<int64_t> commit_ns{0};
};

inline int64_t ThreadCpuNs() {
#ifdef CLOCK_THREAD_CPUTIME_ID
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
#else
  return 0;  // unknown here: shown as 0
#endif
}

// Adds the time from its creation to its end, on this thread, to a stage.
class StageTimer {
 public:
  explicit StageTimer(StageTime& stage)
      : stage_(stage), start_(std::chrono::steady_clock::now()), cpu_start_(ThreadCpuNs()) {}
  ~StageTimer() {
    stage_.cpu_ns.fetch_add(ThreadCpuNs() - cpu_start_);
    stage_.wall_ns.fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now() - start_)
                                 .count());
  }
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

 private:
  StageTime& stage_;
  std::chrono::steady_clock::time_point start_;
  int64_t cpu_start_;
};

}  // namespace prismora::cli
