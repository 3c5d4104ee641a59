// prismora: applies and inspects the Prismora effect through the emulated host.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "minihost/base/error.h"

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
    "  render INPUT OUTPUT [-p NAME=VALUE]... [--time SECONDS | --frame N]\n"
    "         [--frames A-B] [--fps F] [--depth 8|16|32] [--threads N]\n"
    "         [--alpha straight|premultiplied|ignore] [--compression C]\n"
    "         [--plugin PATH] [-q] [--timing]\n"
    "                         apply the effect to an image file, or to frames A to B\n"
    "                         of a sequence (INPUT and OUTPUT as shot.####.exr or\n"
    "                         shot.%04d.exr; a still INPUT is rendered at every\n"
    "                         frame's time, N / F seconds, F 30 by default), on N\n"
    "                         threads (default: all cores). Any format OpenImageIO\n"
    "                         reads and writes; the depth follows the input's pixels.\n"
    "                         --alpha: how to take the input's alpha (by default as\n"
    "                         the file says; ignore: opaque, colour as stored).\n"
    "                         --compression: the output's, in its format's terms\n"
    "                         (OpenEXR zip, piz, dwaa:45...; TIFF lzw, zip...; PNG a\n"
    "                         zlib level 0-9; JPEG a quality 1-100); by default the\n"
    "                         input's when the format is the same.\n"
    "                         --timing: the seconds spent reading, rendering and\n"
    "                         writing, on stderr\n"
    "  demo [OUTPUT] [-p NAME=VALUE]... [--size WxH] [--plugin PATH] [-q]\n"
    "                         render a built-in test chart with \"Amount\" 3 and\n"
    "                         write it before and after, side by side (default\n"
    "                         prismora-demo.png, 1920x1080 a side)\n"
    "\n"
    "Values are given by displayed name: numbers for sliders, on/off for\n"
    "checkboxes, the choice or its number for popups (\"2 Colors\" or 2), #RRGGBB\n"
    "or R,G,B for colours, X,Y in pixels or X%,Y% for points.\n"
    "The plug-in defaults to the Prismora(64bit).aex built next to this program.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace prismora::cli;
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
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::FILE* out = args.empty() ? stderr : stdout;
    std::fputs(kUsage, out);
    if (!prismora::imageio::HaveImageFiles()) {
      // Builds without OpenImageIO, such as the Windows one (none for mingw-w64).
      std::fputs(
          "\nThis build reads and writes no image files (built without OpenImageIO):\n"
          "render and demo are not available; info and params are.\n",
          out);
    }
    return args.empty() ? kExitUsage : kExitOk;
  }
  const std::string_view verb = args[0];
  const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
  try {
    if (verb == "info") return RunInfo(rest);
    if (verb == "params") return RunParams(rest);
    if (verb == "render") return RunRender(rest);
    if (verb == "demo") return RunDemo(rest);
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
