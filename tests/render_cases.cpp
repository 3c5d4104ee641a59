// prismora_render_cases: renders a fixed set of small frames through the
// emulated host and writes every output pixel to a file, so that two builds
// of the plug-in (Linux, and Windows under Wine) can be compared bit for bit.
//
//   prismora_render_cases write FILE [--plugin PATH]
//   prismora_render_cases compare FILE_A FILE_B [--float-tolerance T]
//
// compare demands identical 8- and 16-bit outputs; float outputs may differ
// by at most T (0 by default: to the last bit). It prints, per case, how many
// channels differ and by how much, and exits 1 when a case fails.
//
// The plug-in's own arithmetic is the same code on both systems; what may
// differ is the host's: the ANSI pow and hypot that the emulated host hands
// the plug-in come from the GNU C library on Linux, and on Windows from
// mingw-w64's own pow (linked in) and msvcrt.dll's _hypot (Wine's under Wine).
// A last-bit difference there would show at float depth first.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "minihost/base/error.h"
#include "minihost/driver/frame.h"
#include "minihost/driver/session.h"
#include "minihost/host/host.h"
#include "minihost/loading/plugin_library.h"
#include "minihost/suites/worlds.h"

namespace {

using minihost::ParamSetting;
using minihost::World;

constexpr A_long kWidth = 48;
constexpr A_long kHeight = 32;
constexpr char kMagic[] = "prismora-render-cases 1\n";

struct Setup {
  const char* name;
  std::vector<ParamSetting> settings;
};

// Displacement alone; blur and vignette on with three colours; one colour
// with a darkening vignette about its own centre, a strong blur and no
// limiter.
const std::vector<Setup>& Setups() {
  static const std::vector<Setup> setups = {
      {"fringe", {{"Amount", "3"}}},
      {"blur_vignette",
       {{"Amount", "5"},
        {"Power", "3"},
        {"Center", "30%,40%"},
        {"Mode", "3 Colors"},
        {"Blur ON", "on"},
        {"Blur Amount", "2"},
        {"Vignetting ON", "on"},
        {"Vignetting Amount", "30"}}},
      {"one_color_dark_vignette",
       {{"Amount", "8"},
        {"Power", "1.5"},
        {"Mode", "1 Color"},
        {"Color1", "#20C0FF"},
        {"Blur ON", "on"},
        {"Blur Amount", "4.5"},
        {"Vignetting ON", "on"},
        {"Vignetting Amount", "-25"},
        {"Vignetting Power", "3.5"},
        {"Vignetting Same", "off"},
        {"Vignetting Center", "70%,60%"},
        {"Limiter", "off"}}},
  };
  return setups;
}

struct Depth {
  const char* name;
  PF_PixelFormat format;
};
constexpr Depth kDepths[] = {
    {"8", PF_PixelFormat_ARGB32}, {"16", PF_PixelFormat_ARGB64}, {"32", PF_PixelFormat_ARGB128}};

// A frame with hard edges, gradients and partly transparent areas; the same
// 8-bit values at every depth.
PF_Pixel InputPixel(A_long x, A_long y) {
  const bool square = (x / 8 + y / 8) % 2 == 0;
  const auto r = static_cast<A_u_char>(square ? 240 : (x * 255) / (kWidth - 1));
  const auto g = static_cast<A_u_char>((y * 255) / (kHeight - 1));
  const auto b = static_cast<A_u_char>(x == y || x == kWidth - 1 - y ? 255 : 40);
  const auto a = static_cast<A_u_char>(x < 4 ? 0 : y > kHeight - 6 ? 128 : 255);
  return PF_Pixel{a, r, g, b};
}

std::unique_ptr<World> Input(PF_PixelFormat format) {
  auto world = std::make_unique<World>(kWidth, kHeight, format);
  for (A_long y = 0; y < kHeight; ++y) {
    for (A_long x = 0; x < kWidth; ++x) {
      const PF_Pixel p = InputPixel(x, y);
      if (format == PF_PixelFormat_ARGB64) {
        auto c = [](A_u_char v) { return static_cast<A_u_short>((v * 32768 + 127) / 255); };
        world->Set(x, y, PF_Pixel16{c(p.alpha), c(p.red), c(p.green), c(p.blue)});
      } else if (format == PF_PixelFormat_ARGB128) {
        // Above white too at the right edge: float images are not clamped.
        const float over = x > kWidth - 8 ? 1.5f : 1.0f;
        auto c = [](A_u_char v, float scale) { return scale * static_cast<float>(v) / 255.0f; };
        world->Set(
            x, y,
            PF_PixelFloat{c(p.alpha, 1.0f), c(p.red, over), c(p.green, over), c(p.blue, over)});
      } else {
        world->Set(x, y, p);
      }
    }
  }
  return world;
}

struct CaseOutput {
  std::string name;
  std::string depth;
  A_long width = 0;
  A_long height = 0;
  std::vector<unsigned char> pixels;  // rows without padding
};

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

CaseOutput Render(const std::shared_ptr<const minihost::PluginLibrary>& plugin, const Setup& setup,
                  const Depth& depth) {
  const std::string label = std::string(setup.name) + " at " + depth.name + " bits";
  minihost::Host host(plugin);
  minihost::Session session(host, kWidth, kHeight);
  if (const PF_Err err = session.Start(); err != PF_Err_NONE) {
    Fail(label + ": applying the effect failed with error " + std::to_string(err));
  }
  if (const PF_Err err = session.ApplySettings(setup.settings); err != PF_Err_NONE) {
    Fail(label + ": the settings failed with error " + std::to_string(err));
  }
  const auto input = Input(depth.format);
  World output(kWidth, kHeight, depth.format);
  if (const PF_Err err = minihost::RenderFrame(host, session.instance(), 0, *input, output)) {
    Fail(label + ": the render failed with error " + std::to_string(err));
  }
  std::vector<std::string> problems = session.problems();
  problems.insert(problems.end(), host.problems().begin(), host.problems().end());
  if (!problems.empty()) Fail(label + ": the host found: " + problems.front());

  CaseOutput out{setup.name, depth.name, kWidth, kHeight, {}};
  const std::size_t row = static_cast<std::size_t>(kWidth) * output.pixel_bytes();
  for (A_long y = 0; y < kHeight; ++y) {
    out.pixels.insert(out.pixels.end(), output.row(y), output.row(y) + row);
  }
  return out;
}

void Write(const std::filesystem::path& path, const std::filesystem::path& plugin_path) {
  const auto plugin = minihost::PluginLibrary::Load(plugin_path);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) Fail("cannot write " + path.string());
  file << kMagic;
  for (const Setup& setup : Setups()) {
    for (const Depth& depth : kDepths) {
      const CaseOutput c = Render(plugin, setup, depth);
      file << c.name << ' ' << c.depth << ' ' << c.width << ' ' << c.height << ' '
           << c.pixels.size() << '\n';
      file.write(reinterpret_cast<const char*>(c.pixels.data()),
                 static_cast<std::streamsize>(c.pixels.size()));
    }
  }
  if (!file.flush()) Fail("cannot write " + path.string());
}

std::vector<CaseOutput> Read(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) Fail("cannot read " + path.string());
  std::string magic(sizeof kMagic - 1, '\0');
  if (!file.read(magic.data(), static_cast<std::streamsize>(magic.size())) || magic != kMagic) {
    Fail(path.string() + " is not a file of rendered cases");
  }
  std::vector<CaseOutput> cases;
  CaseOutput c;
  std::size_t size = 0;
  while (file >> c.name >> c.depth >> c.width >> c.height >> size) {
    if (file.get() != '\n' || size > (std::size_t{1} << 26)) Fail(path.string() + " is damaged");
    c.pixels.assign(size, 0);
    if (!file.read(reinterpret_cast<char*>(c.pixels.data()), static_cast<std::streamsize>(size))) {
      Fail(path.string() + " ends inside case " + c.name);
    }
    cases.push_back(c);
  }
  if (!file.eof())
    Fail(path.string() + " is damaged after " + std::to_string(cases.size()) + " cases");
  return cases;
}

// Distance in representable floats between two finite values.
int64_t Ulps(float a, float b) {
  auto ordered = [](float f) {
    int32_t i;
    std::memcpy(&i, &f, sizeof i);
    return i < 0 ? int64_t{std::numeric_limits<int32_t>::min()} - i : int64_t{i};
  };
  return std::llabs(ordered(a) - ordered(b));
}

bool Compare(const CaseOutput& a, const CaseOutput& b, double tolerance) {
  const std::string label = a.name + " at " + a.depth + " bits";
  if (a.name != b.name || a.depth != b.depth || a.width != b.width || a.height != b.height ||
      a.pixels.size() != b.pixels.size()) {
    std::printf("%-40s FAIL: the files hold different cases here (%s at %s bits)\n", label.c_str(),
                b.name.c_str(), b.depth.c_str());
    return false;
  }
  const std::size_t channels = a.pixels.size() / (a.depth == "8" ? 1 : a.depth == "16" ? 2 : 4);
  if (a.depth != "32") {
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) differing += a.pixels[i] != b.pixels[i];
    std::printf("%-40s %s: %zu channels, %zu bytes differ\n", label.c_str(),
                differing == 0 ? "identical" : "FAIL", channels, differing);
    return differing == 0;
  }
  std::size_t differing = 0;
  int64_t max_ulps = 0;
  double max_difference = 0;
  bool non_finite_mismatch = false;
  for (std::size_t i = 0; i < channels; ++i) {
    float x, y;
    std::memcpy(&x, a.pixels.data() + 4 * i, 4);
    std::memcpy(&y, b.pixels.data() + 4 * i, 4);
    if (std::memcmp(&x, &y, 4) == 0) continue;
    ++differing;
    if (!std::isfinite(x) || !std::isfinite(y)) {
      non_finite_mismatch = true;
      continue;
    }
    max_ulps = std::max(max_ulps, Ulps(x, y));
    max_difference = std::max(max_difference, std::fabs(static_cast<double>(x) - y));
  }
  const bool ok = !non_finite_mismatch && max_difference <= tolerance;
  std::printf("%-40s %s: %zu channels, %zu differ, at most %lld ulp / %.3g%s\n", label.c_str(),
              differing == 0 ? "identical"
              : ok           ? "within tolerance"
                             : "FAIL",
              channels, differing, static_cast<long long>(max_ulps), max_difference,
              non_finite_mismatch ? ", NaN or infinity against a number" : "");
  return ok;
}

int Main(const std::vector<std::string>& args) {
  if (args.size() >= 2 && args[0] == "write") {
    std::filesystem::path plugin = minihost::DefaultPluginPath();
    for (std::size_t i = 2; i < args.size(); ++i) {
      if (args[i] == "--plugin" && i + 1 < args.size()) {
        plugin = args[++i];
      } else {
        Fail("unknown option '" + args[i] + "'");
      }
    }
    Write(args[1], plugin);
    return 0;
  }
  if (args.size() >= 3 && args[0] == "compare") {
    double tolerance = 0;
    for (std::size_t i = 3; i < args.size(); ++i) {
      if (args[i] == "--float-tolerance" && i + 1 < args.size()) {
        tolerance = std::stod(args[++i]);
      } else {
        Fail("unknown option '" + args[i] + "'");
      }
    }
    const std::vector<CaseOutput> a = Read(args[1]);
    const std::vector<CaseOutput> b = Read(args[2]);
    if (a.size() != b.size() || a.empty()) {
      Fail("the files hold " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
           " cases");
    }
    bool ok = true;
    for (std::size_t i = 0; i < a.size(); ++i) ok = Compare(a[i], b[i], tolerance) && ok;
    return ok ? 0 : 1;
  }
  std::fputs(
      "usage: prismora_render_cases write FILE [--plugin PATH]\n"
      "       prismora_render_cases compare FILE_A FILE_B [--float-tolerance T]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "prismora_render_cases: %s\n", e.what());
    return 1;
  }
}
