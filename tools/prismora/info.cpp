// prismora info: the PiPL properties, the version and flags the plug-in
// reports at global set-up, and its About text.
#include <cstdio>
#include <string>

#include "commands.h"
#include "json_output.h"
#include "minihost/base/error.h"
#include "minihost/host/host.h"

namespace prismora::cli {
namespace {

void PrintFlags(const char* label, uint32_t flags, const std::vector<std::string>& names) {
  std::printf("%-16s 0x%08X\n", label, flags);
  for (const std::string& name : names) std::printf("%-16s   %s\n", "", name.c_str());
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// Global set-up, then About, as a host sends them; false (with a message)
// when the plug-in fails either.
bool ReadAbout(minihost::Host& host, std::string& about) {
  if (const PF_Err err = host.GlobalSetup(); err != PF_Err_NONE) {
    std::fprintf(stderr, "prismora: global set-up failed with error %d\n", err);
    return false;
  }
  if (const PF_Err err = host.About(&about); err != PF_Err_NONE) {
    std::fprintf(stderr, "prismora: About failed with error %d\n", err);
    return false;
  }
  return true;
}

}  // namespace

int RunInfo(std::span<const std::string_view> args) {
  std::filesystem::path plugin = minihost::DefaultPluginPath();
  bool json = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (TakePluginOption(args, i, plugin)) continue;
    if (args[i] == "--json") {
      json = true;
      continue;
    }
    throw UsageError{"info: unknown option '" + std::string(args[i]) + "'"};
  }

  auto library = minihost::PluginLibrary::Load(plugin);
  if (json) {
    // Whole or not at all: nothing on stdout when the plug-in fails.
    minihost::Host host(library);
    std::string about;
    if (!ReadAbout(host, about)) return kExitFailure;
    PrintInfoJson(*library, about);
    return kExitOk;
  }
  const minihost::PiplInfo& pipl = library->pipl();
  std::printf("%-16s %s\n", "plug-in", library->path().string().c_str());
  std::printf("%-16s %s\n", "name", pipl.name.c_str());
  std::printf("%-16s %s\n", "category", pipl.category.c_str());
  std::printf("%-16s %s\n", "match name", pipl.match_name.c_str());
  std::printf("%-16s %s\n", "entry point", pipl.entry_point.c_str());
  std::printf("%-16s %u.%u\n", "PiPL version", pipl.pipl_version_major, pipl.pipl_version_minor);
  std::printf("%-16s %u.%u\n", "API version", pipl.spec_version_major, pipl.spec_version_minor);
  std::printf("%-16s %s\n", "effect version", minihost::VersionText(pipl.version).c_str());
  PrintFlags("out_flags", pipl.out_flags, minihost::OutFlagNames(pipl.out_flags));
  PrintFlags("out_flags2", pipl.out_flags2, minihost::OutFlag2Names(pipl.out_flags2));

  minihost::Host host(library);
  std::string about;
  if (!ReadAbout(host, about)) return kExitFailure;
  std::printf("%-16s %s\n", "about", Printable(about).c_str());
  return kExitOk;
}

}  // namespace prismora::cli
