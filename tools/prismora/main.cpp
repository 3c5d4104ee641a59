// prismora: applies and inspects the Prismora effect through the emulated host.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "minihost/error.h"

namespace {

constexpr const char* kUsage =
    "usage: prismora COMMAND [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  info [--plugin PATH]   show what a host learns when it loads the plug-in\n"
    "  params [--plugin PATH] [-p NAME=VALUE]...\n"
    "                         apply the effect, make the given changes as a user\n"
    "                         would, and show its controls as the host holds them:\n"
    "                         ranges, defaults, values, hidden or greyed out, and\n"
    "                         the expression on \"random\" with its value at time 0\n"
    "\n"
    "The plug-in defaults to the Prismora(64bit).aex built next to this program.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace prismora::cli;
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kExitUsage : kExitOk;
  }
  const std::string_view verb = args[0];
  const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
  try {
    if (verb == "info") return RunInfo(rest);
    if (verb == "params") return RunParams(rest);
    throw UsageError{"unknown command '" + std::string(verb) + "'"};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "prismora: %s\n(see 'prismora --help')\n", e.message.c_str());
    return kExitUsage;
  } catch (const minihost::HostError& e) {
    std::fprintf(stderr, "prismora: %s\n", e.what());
    return kExitFailure;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "prismora: %s\n", e.what());
    return kExitFailure;
  }
}
