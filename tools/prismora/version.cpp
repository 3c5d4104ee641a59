#include "version.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "commands.h"
#include "minihost/base/error.h"
#include "minihost/host/host.h"

#ifndef PRISMORA_VERSION
#error "the build passes the project's version as PRISMORA_VERSION"
#endif

namespace prismora::cli {

std::string_view ToolVersion() { return PRISMORA_VERSION; }

std::string PluginVersion(const std::filesystem::path& plugin) {
  auto library = minihost::PluginLibrary::Load(plugin);
  minihost::Host host(library);
  if (const PF_Err err = host.GlobalSetup(); err != PF_Err_NONE) {
    throw minihost::HostError("global set-up failed with error " + std::to_string(err));
  }
  return library->pipl().name + " " + minihost::VersionText(host.out_data().my_version);
}

int RunVersion(std::span<const std::string_view> args) {
  std::filesystem::path plugin = minihost::DefaultPluginPath();
  bool asked = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (TakePluginOption(args, i, plugin)) continue;
    if (args[i] == "--version" || args[i] == "-V") {
      asked = true;
      continue;
    }
    throw UsageError{"--version takes only --plugin PATH, not '" + std::string(args[i]) + "'"};
  }
  if (!asked) {
    throw UsageError{"--plugin goes after a command (prismora info --plugin PATH) or with "
                     "--version"};
  }

  std::printf("prismora %s\n", PRISMORA_VERSION);
  std::fflush(stdout);
  // The version a host goes by: the PiPL's, which global set-up must report
  // again (the host refuses the plug-in otherwise).
  try {
    const std::string version = PluginVersion(plugin);
    std::printf("plug-in  %s\n", version.c_str());
    std::printf("         %s\n", minihost::PluginLibrary::Load(plugin)->path().string().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "prismora: the plug-in could not be loaded: %s\n", e.what());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace prismora::cli
