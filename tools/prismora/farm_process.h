// Programs the farm commands run (the scheduler's sbatch, squeue, scancel):
// an argument list, no shell, with what they print collected and a deadline,
// so that a scheduler that does not answer cannot hang prismora.
#pragma once

#include <string>
#include <vector>

namespace prismora::cli {

struct ProgramResult {
  int exit_code = -1;  // 128 + the signal for a program a signal ended; 127 when not found
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] looked up in PATH) and waits at most `seconds`,
// after which it is killed (exit code 124, as timeout(1) reports).
ProgramResult RunProgram(const std::vector<std::string>& argv, double seconds = 60);

// `text` quoted for a POSIX shell: as it is when it needs no quoting.
std::string ShellQuote(const std::string& text);
// Words quoted and joined by blanks: a command a user can paste.
std::string ShellCommand(const std::vector<std::string>& argv);

}  // namespace prismora::cli
