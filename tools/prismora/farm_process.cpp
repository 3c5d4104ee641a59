#include "farm_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace prismora::cli {

std::string ShellQuote(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789_-+=./:,%@") == std::string::npos;
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ShellCommand(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& word : argv) {
    if (!line.empty()) line += ' ';
    line += ShellQuote(word);
  }
  return line;
}

#if defined(_WIN32)

ProgramResult RunProgram(const std::vector<std::string>& argv, double) {
  ProgramResult result;
  result.exit_code = 127;
  result.err = argv.empty() ? "" : argv[0] + ": not available in this build";
  return result;
}

#else

namespace {

// Reads what is there on `fd` into `text`; false at its end.
bool Drain(int fd, std::string& text) {
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, double seconds) {
  ProgramResult result;
  int out[2], err[2];
  if (argv.empty() || pipe(out) != 0) return result;
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    return result;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    close(out[1]);
    close(err[1]);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
  bool out_open = true, err_open = true, killed = false;
  while (out_open || err_open) {
    pollfd fds[2] = {{out_open ? out[0] : -1, POLLIN, 0}, {err_open ? err[0] : -1, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds, 2, static_cast<int>(std::min<int64_t>(left.count(), 200))) < 0 &&
        errno != EINTR) {
      break;
    }
    if (out_open && (fds[0].revents & (POLLIN | POLLHUP)) != 0) out_open = Drain(out[0], result.out);
    if (err_open && (fds[1].revents & (POLLIN | POLLHUP)) != 0) err_open = Drain(err[0], result.err);
  }
  close(out[0]);
  close(err[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (killed) {
    result.exit_code = 124;
  } else if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_code = 128 + WTERMSIG(status);
  }
  return result;
}

#endif

}  // namespace prismora::cli
