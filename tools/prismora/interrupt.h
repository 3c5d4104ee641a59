// Ctrl-C (SIGINT) and termination requests (SIGTERM) while prismora works.
// The first asks the work to stop: Requested() turns true, running renders
// stop at their next progress report and no new frame starts, and what is
// finished is kept. The second ends the program at once, after removing the
// temporary files of outputs still being written.
#pragma once

namespace prismora::cli {

class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();  // the previous handlers again
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  static bool Requested();
};

// The exit code of a program stopped by Ctrl-C, as shells report it.
inline constexpr int kExitInterrupted = 130;

}  // namespace prismora::cli
