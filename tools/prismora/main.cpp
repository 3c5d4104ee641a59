// prismora: applies and inspects the Prismora effect through the emulated host.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "help.h"
#include "version.h"
#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "minihost/base/error.h"

namespace {

using namespace prismora::cli;

// "prismora help [COMMAND]", and "prismora --help COMMAND" alike; a further
// "--help" changes nothing.
int RunHelp(std::span<const std::string_view> all) {
  std::vector<std::string_view> args;
  for (std::string_view a : all) {
    if (a != "--help" && a != "-h") args.push_back(a);
  }
  if (args.empty()) {
    std::fputs(OverviewHelp().c_str(), stdout);
    return kExitOk;
  }
  if (!IsCommand(args[0])) {
    std::string names;
    for (std::string_view name : CommandNames()) {
      names += (names.empty() ? "" : ", ") + std::string(name);
    }
    throw UsageError{"help: no command '" + std::string(args[0]) + "'; the commands are " +
                     names};
  }
  if (args.size() > 1) {
    throw UsageError{"help takes one COMMAND, not '" + std::string(args[1]) + "' as well"};
  }
  std::fputs(CommandHelp(args[0]).c_str(), stdout);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A reader of stdout that goes away (`prismora render ... | head -1`) must
  // not end the program: the files it writes are the work, and once they are
  // in place the run has succeeded whatever becomes of what it prints.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // A format library that ends the program itself (libjpeg on a failed
  // write) still takes the temporary files with it.
  std::atexit(prismora::imageio::RemovePendingFilesNow);
#ifdef SIGXFSZ
  // A write past a limit on file sizes (ulimit -f) then fails like any
  // other, and is reported with the temporary file removed.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(OverviewHelp().c_str(), stderr);
    return kExitUsage;
  }
  const std::string_view verb = args[0];
  const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
  // Usage errors point to the help of the command they come from.
  std::string_view help_topic;
  try {
    if (verb == "help" || verb == "--help" || verb == "-h") return RunHelp(rest);
    if (verb == "--version" || verb == "-V" || verb == "--plugin") {
      // "--help" among them still shows the overview.
      if (AsksForHelp("", args)) return RunHelp({});
      return RunVersion(args);
    }
    if (IsCommand(verb) && AsksForHelp(verb, rest)) {
      std::fputs(CommandHelp(verb).c_str(), stdout);
      return kExitOk;
    }
    help_topic = verb;
    if (verb == "info") return RunInfo(rest);
    if (verb == "params") return RunParams(rest);
    if (verb == "render") return RunRender(rest);
    if (verb == "demo") return RunDemo(rest);
    if (verb == "farm") return RunFarm(rest);
    help_topic = {};
    if (verb.size() > 1 && verb[0] == '-') {
      throw UsageError{"unknown option '" + std::string(verb) + "'"};
    }
    throw UsageError{"unknown command '" + std::string(verb) + "'"};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "prismora: %s\n(%s)\n", e.message.c_str(),
                 HelpPointer(help_topic).c_str());
    return kExitUsage;
  } catch (const minihost::HostError& e) {
    std::fprintf(stderr, "prismora: %s\n", e.what());
    return kExitFailure;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "prismora: %s\n", e.what());
    return kExitFailure;
  }
}
