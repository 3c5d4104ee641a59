// Ctrl-C (SIGINT), termination requests (SIGTERM) and a closed terminal
// (SIGHUP) while prismora works. The first asks the work to stop: Requested()
// turns true, running renders stop at their next progress report and no new
// frame starts, and what is finished is kept. The second ends the program at
// once, after removing the temporary files of outputs still being written.
// Either way the exit code is the shell's for that signal, 128 + its number.
// A signal that was ignored when the program started (nohup) stays ignored.
#pragma once

namespace prismora::cli {

class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();  // the previous handlers again, unless a signal came
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  static bool Requested();
  // The exit code for the first signal: 130 for Ctrl-C, 143 for SIGTERM.
  static int ExitCode();
  // "interrupted" (Ctrl-C) or "terminated" (anything else), for messages.
  static const char* Verb();
};

}  // namespace prismora::cli
