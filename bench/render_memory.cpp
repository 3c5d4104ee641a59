// Peak memory of rendering through the emulated host: the growth of the
// process's peak resident set from just before the worlds are made to the
// end of the last frame, against what a render must hold (input, output and,
// with blur, the blur pass's temporary world) plus 64 MiB.
//
//   prismora_render_memory [--size WxH] [--bits 8|16|32] [--blur on|off] [--frames N]
//
// Defaults: 3840x2160, 32 bits, blur on, one frame. The last line is the
// figures as key=value pairs, for scripts. Also a plain driver for profilers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "render_fixture.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// A "Vm...:  N kB" line of /proc/self/status in bytes; -1 where there is none.
double StatusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t key_length = std::strlen(key);
  while (std::getline(status, line)) {
    if (line.compare(0, key_length, key) == 0 && line.size() > key_length &&
        line[key_length] == ':') {
      return std::strtod(line.c_str() + key_length + 1, nullptr) * 1024.0;
    }
  }
  return -1;
}

int Usage(const char* message) {
  std::fprintf(stderr,
               "prismora_render_memory: %s\n"
               "usage: prismora_render_memory [--size WxH] [--bits 8|16|32] [--blur on|off] "
               "[--frames N]\n",
               message);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long width = 3840, height = 2160, bits = 32, frames = 1;
  bool blur = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage(("no value after " + arg).c_str());
    const char* value = argv[++i];
    char* end = nullptr;
    if (arg == "--size") {
      width = std::strtol(value, &end, 10);
      if (end == value || *end != 'x') return Usage("the size is not WxH");
      const char* second = end + 1;
      height = std::strtol(second, &end, 10);
      if (end == second || *end != '\0') return Usage("the size is not WxH");
    } else if (arg == "--bits") {
      bits = std::strtol(value, &end, 10);
      if (*end != '\0' || (bits != 8 && bits != 16 && bits != 32)) {
        return Usage("the bits are not 8, 16 or 32");
      }
    } else if (arg == "--blur") {
      if (std::strcmp(value, "on") != 0 && std::strcmp(value, "off") != 0) {
        return Usage("blur is not on or off");
      }
      blur = std::strcmp(value, "on") == 0;
    } else if (arg == "--frames") {
      frames = std::strtol(value, &end, 10);
      if (*end != '\0' || frames < 1) return Usage("the frames are not a positive number");
    } else {
      return Usage(("unknown option " + arg).c_str());
    }
  }
  if (width < 1 || height < 1 || width > 32767 || height > 32767) {
    return Usage("the size is not within 1x1 to 32767x32767");
  }

  prismora_bench::Plugin();
  const double before = StatusBytes("VmRSS");
  if (before < 0) {
    std::fprintf(stderr, "prismora_render_memory: no VmRSS in /proc/self/status\n");
    return 1;
  }
  prismora_bench::Applied applied(static_cast<A_long>(width), static_cast<A_long>(height),
                                  prismora_bench::FormatOf(bits), blur);
  const double world =
      static_cast<double>(applied.input().row_bytes()) * static_cast<double>(height);
  const double worlds = world * (blur ? 3 : 2);
  double main_seconds = 0, blur_seconds = 0;
  for (long frame = 0; frame < frames; ++frame) {
    std::string error;
    if (!applied.Render(main_seconds, blur_seconds, error)) {
      std::fprintf(stderr, "prismora_render_memory: %s\n", error.c_str());
      return 1;
    }
  }
  const double peak = StatusBytes("VmHWM");
  const double growth = peak - before;
  const double budget = worlds + 64 * kMiB;

  std::printf("render %ldx%ld, %ld bits, blur %s, %ld frame(s)\n", width, height, bits,
              blur ? "on" : "off", frames);
  std::printf("  %-24s %8.1f MiB\n", "one world", world / kMiB);
  std::printf("  %-24s %8.1f MiB\n", blur ? "worlds (in, out, temp)" : "worlds (in, out)",
              worlds / kMiB);
  std::printf("  %-24s %8.1f MiB\n", "budget (worlds + 64 MiB)", budget / kMiB);
  std::printf("  %-24s %8.1f MiB  (%.3f of the budget; %.1f MiB above the worlds)\n",
              "peak RSS growth",
              growth / kMiB, growth / budget, (growth - worlds) / kMiB);
  std::printf("  last frame: main pass %.3f s, blur pass %.3f s\n", main_seconds, blur_seconds);
  std::printf("peak_growth_mib=%.1f worlds_mib=%.1f budget_mib=%.1f growth_over_budget=%.3f\n",
              growth / kMiB, worlds / kMiB, budget / kMiB, growth / budget);
  return 0;
}
