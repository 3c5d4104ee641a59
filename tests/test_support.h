// Shared helpers of the tests: the real plug-in, loaded once per test run.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "minihost/host.h"
#include "minihost/plugin_library.h"

namespace prismora::testing {

inline std::shared_ptr<const minihost::PluginLibrary> Plugin() {
  static const auto library = minihost::PluginLibrary::Load(PRISMORA_PLUGIN_PATH);
  return library;
}

// Contents of a live handle, read without locking (as the plug-in may).
template <class T>
const T& Contents(PF_Handle handle) {
  return *static_cast<const T*>(*handle);
}

struct CommandResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs the prismora tool with `args` (already quoted for the shell).
inline CommandResult RunTool(const std::string& args) {
  static int counter = 0;
  const auto err_path = std::filesystem::temp_directory_path() /
                        ("prismora-test-stderr-" + std::to_string(getpid()) + "-" +
                         std::to_string(++counter));
  const std::string command = std::string("'") + PRISMORA_TOOL_PATH + "' " + args + " 2>'" +
                              err_path.string() + "'";
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

}  // namespace prismora::testing
