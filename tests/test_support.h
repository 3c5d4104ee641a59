// Shared helpers of the tests: the real plug-in, loaded once per test run.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "minihost/host/host.h"
#include "minihost/loading/plugin_library.h"

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

// Runs the prismora tool with `args`, quoted as for a POSIX shell (blanks
// separate words, '...' and "..." quote), and collects what it prints.
CommandResult RunTool(const std::string& args);
#if !defined(_WIN32)
// A command line of the POSIX shell, likewise.
CommandResult RunShell(const std::string& command);
#endif

// The line of `prismora params`' table for the parameter with this
// displayed name.
inline std::string ParamTableLine(const std::string& out, const std::string& name) {
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("  " + name + "  ") != std::string::npos) return line;
  }
  return "(no line for " + name + ")";
}

}  // namespace prismora::testing
