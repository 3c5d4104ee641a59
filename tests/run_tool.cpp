// Runs the prismora tool as a user runs it: through the shell on POSIX
// systems, through CreateProcess (no shell, whose quoting differs) on Windows.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "test_support.h"

namespace prismora::testing {
namespace {

#if defined(_WIN32)

// Words of `args` as a POSIX shell splits them, so that tests quote alike on
// every platform.
std::vector<std::string> SplitWords(const std::string& args) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (char c : args) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      in_word = true;
    } else if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

// One argument quoted for the C runtime's command-line parser: backslashes
// are literal except before a quote, where they and the quote are escaped.
std::string Quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

// Reads a pipe to its end. Lines end as on POSIX systems, so that tests
// compare texts alike everywhere (the C runtime writes CR LF to text streams).
std::string Drain(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  return lines;
}

class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : h_(h) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE* out() { return &h_; }
  HANDLE get() const { return h_; }
  void Close() {
    if (h_ != nullptr) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

#endif

}  // namespace

#if defined(_WIN32)

CommandResult RunTool(const std::string& args) {
  CommandResult result;
  std::string command_line = Quote(PRISMORA_TOOL_PATH);
  for (const std::string& word : SplitWords(args)) {
    command_line += ' ';
    command_line += Quote(word);
  }

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  OwnedHandle out_read, out_write, err_read, err_write;
  if (!CreatePipe(out_read.out(), out_write.out(), &inherit, 0) ||
      !CreatePipe(err_read.out(), err_write.out(), &inherit, 0)) {
    return result;
  }
  // Only the child's ends are inherited.
  SetHandleInformation(out_read.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write.get();
  startup.hStdError = err_write.get();
  PROCESS_INFORMATION process{};
  std::vector<char> writable(command_line.begin(), command_line.end());
  writable.push_back('\0');
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    result.err = "CreateProcess failed with error " + std::to_string(GetLastError());
    return result;
  }
  OwnedHandle child(process.hProcess), thread(process.hThread);
  // Our copies of the write ends must go, or the reads never see the end.
  out_write.Close();
  err_write.Close();
  std::thread err_reader([&] { result.err = Drain(err_read.get()); });
  result.out = Drain(out_read.get());
  err_reader.join();
  WaitForSingleObject(child.get(), INFINITE);
  DWORD code = 0;
  if (GetExitCodeProcess(child.get(), &code)) result.exit_code = static_cast<int>(code);
  return result;
}

#else

CommandResult RunTool(const std::string& args) {
  return RunShell(std::string("'") + PRISMORA_TOOL_PATH + "' " + args);
}

CommandResult RunShell(const std::string& shell_command) {
  static int counter = 0;
  const auto err_path =
      std::filesystem::temp_directory_path() /
      ("prismora-test-stderr-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
  const std::string command = shell_command + " 2>'" + err_path.string() + "'";
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(err_path);
  std::stringstream text;
  text << err.rdbuf();
  result.err = text.str();
  std::filesystem::remove(err_path);
  return result;
}

#endif

}  // namespace prismora::testing
