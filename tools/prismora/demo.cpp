// prismora demo: a test chart drawn in code, rendered through the plug-in,
// and written as one picture with the chart before (left) and after (right).
// Needs no input file: the first thing to run on a fresh machine.
#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "demo_chart.h"
#include "effect_renderer.h"
#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "interrupt.h"
#include "minihost/params/params.h"
#include "progress_bar.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

namespace fs = std::filesystem;
using imageio::Argb8;

constexpr int kDefaultWidth = 1920;
constexpr int kDefaultHeight = 1080;
constexpr int kSmallest = 16;
constexpr int kLargest = 8192;

struct Size {
  int width = kDefaultWidth;
  int height = kDefaultHeight;
};

// Straight colour over a checkerboard, as compositing programs show
// transparency.
Argb8 OverChecker(const Argb8& p, int x, int y, int cell) {
  const bool light = ((x / cell) + (y / cell)) % 2 == 0;
  const int back = light ? 204 : 153;
  auto mix = [&](int c) {
    return static_cast<uint8_t>((c * p.alpha + back * (255 - p.alpha) + 127) / 255);
  };
  return {255, mix(p.red), mix(p.green), mix(p.blue)};
}

imageio::Raster SideBySide(const imageio::Raster& before, const imageio::Raster& after) {
  const int w = before.width(), h = before.height();
  const int cell = std::max(4, h / 60);
  imageio::Raster both(2 * w, h, imageio::Depth::k8);
  for (int y = 0; y < h; ++y) {
    Argb8* row = both.Row<uint8_t>(y);
    for (int x = 0; x < w; ++x) {
      row[x] = OverChecker(before.Row<uint8_t>(y)[x], x, y, cell);
      row[w + x] = OverChecker(after.Row<uint8_t>(y)[x], x, y, cell);
    }
  }
  return both;
}

}  // namespace

int RunDemo(std::span<const std::string_view> args) {
  fs::path plugin = minihost::DefaultPluginPath();
  fs::path output = "prismora-demo.png";
  bool output_given = false;
  Size size;
  bool quiet = false;
  // A setting that shows the effect clearly; the user's come after it.
  std::vector<minihost::ParamSetting> settings = {{"Amount", "3"}};
  settings.back().layer = kDefaultsLayer;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (TakePluginOption(args, i, plugin) || TakeParamOption(args, i, settings) ||
        TakeSettingsOption(args, i, settings)) {
      continue;
    }
    if (a == "--size") {
      const auto [w, h] = ParseSize(TakeValue(args, i), a, kSmallest, kLargest);
      size = {w, h};
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"demo: unknown option '" + std::string(a) + "'"};
    } else if (output_given) {
      throw UsageError{"demo takes one OUTPUT, not '" + std::string(a) + "' as well"};
    } else {
      output = std::string(a);
      output_given = true;
    }
  }
  RefuseUnfollowedAnimation(settings);
  if (!imageio::HaveImageFiles()) {
    throw imageio::ImageError("this build of prismora cannot write image files "
                              "(built without OpenImageIO)");
  }
  try {
    imageio::CheckWritableFormat(output);
  } catch (const imageio::ImageError& e) {
    throw UsageError{e.what()};
  }
  // From the temporary file on, a signal leaves none.
  InterruptScope interrupts;
  imageio::PendingFile pending(output);

  const auto start = std::chrono::steady_clock::now();
  const imageio::Raster chart = DrawDemoChart(size.width, size.height, imageio::Depth::k8);
  std::unique_ptr<EffectRenderer> renderer;
  try {
    renderer = std::make_unique<EffectRenderer>(minihost::PluginLibrary::Load(plugin), size.width,
                                                size.height, settings);
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }

  imageio::Raster after;
  {
    ProgressBar bar(!quiet, 1);
    const RowObserver observer = [&](const RenderProgress& progress) {
      bar.Show(progress.share, 0);
      return !InterruptScope::Requested();
    };
    try {
      after = renderer->Render(*WorldFromRaster(chart), HostTime{}, observer);
    } catch (const RenderStopped&) {
      bar.Clear();
      std::fprintf(stderr, "prismora: %s: nothing written\n", InterruptScope::Verb());
      return InterruptScope::ExitCode();
    }
  }

  imageio::ImageMetadata metadata;
  metadata.has_alpha = false;  // transparency is shown over a checkerboard
  imageio::WriteImage(pending, SideBySide(chart, after).view(), metadata);
  pending.Commit();
  if (!quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string changes;
    for (const minihost::ParamSetting& s : renderer->user_settings()) {
      changes += (changes.empty() ? "" : ", ") + Describe(s);
    }
    std::printf("wrote %s (%dx%d): the test chart before (left) and after (right) Prismora "
                "with %s, in %.2f s\n",
                output.string().c_str(), 2 * size.width, size.height, changes.c_str(), seconds);
  }
  return kExitOk;
}

}  // namespace prismora::cli
