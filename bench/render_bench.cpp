// The render's cost through the real plug-in, loaded by the emulated host,
// at the default settings ("Amount" 1, "Power" 2, the centre in the middle,
// two colours, limiter on) on a noisy image:
//
// - BM_MainPass: the main pass of a frame, from the render command's start
//   to its last main-pass progress report (snapshot lock, checkouts and
//   profile table included; they are tiny).
// - BM_BlurPass: the blur pass ("Blur Amount" 1), from the main pass's last
//   progress report to the blur's last (temporary world and copy included).
// - BM_SamplerMain / BM_SamplerBlur: the host's subpixel sampler alone on the
//   positions the passes ask for, computed with the render's own geometry:
//   the floor the passes can reach through the host's sampler. The blur's
//   positions are taken on every eighth row.
//
// Every figure is reported as ns_per_px: time per pixel of the frame, in
// the thread's processor time where the system offers it, so that other
// work on the machine does not count.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "minihost/frame.h"
#include "minihost/params.h"
#include "minihost/plugin_library.h"
#include "minihost/render_services.h"
#include "minihost/sampling.h"
#include "minihost/worlds.h"
#include "params/param_table.h"
#include "render/blur_pass.h"
#include "render/radial_geometry.h"

namespace {

using minihost::World;

// Seconds of processor time of this thread (of the wall clock without one).
double Now() {
#if defined(CLOCK_THREAD_CPUTIME_ID)
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#else
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
#endif
}

std::shared_ptr<const minihost::PluginLibrary> Plugin() {
  static const auto library = minihost::PluginLibrary::Load(PRISMORA_PLUGIN_PATH);
  return library;
}

PF_PixelFormat FormatOf(int64_t bits) {
  return bits == 32 ? PF_PixelFormat_ARGB128
                    : bits == 16 ? PF_PixelFormat_ARGB64 : PF_PixelFormat_ARGB32;
}

// Progress reports with the time each arrived: the main pass ends at report
// H - 1, the blur pass at 2H - 1.
struct Timeline {
  using Callback = PF_Err (*)(PF_ProgPtr, A_long, A_long);
  static std::vector<double>& marks() {
    static std::vector<double> m;
    return m;
  }
  static Callback& forward() {
    static Callback f = nullptr;
    return f;
  }
  static PF_Err Progress(PF_ProgPtr ref, A_long current, A_long total) {
    marks().push_back(Now());
    return forward()(ref, current, total);
  }
};

// Noise of every depth: no two neighbours alike, some transparency.
std::unique_ptr<World> NoisyImage(A_long w, A_long h, PF_PixelFormat format) {
  auto world = std::make_unique<World>(w, h, format);
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 24;
  };
  for (A_long y = 0; y < h; ++y) {
    for (A_long x = 0; x < w; ++x) {
      const uint32_t a = (x + y) % 7 == 0 ? next() : 255, r = next() * a / 255,
                     g = next() * a / 255, b = next() * a / 255;
      if (format == PF_PixelFormat_ARGB32) {
        world->Set(x, y, PF_Pixel{static_cast<A_u_char>(a), static_cast<A_u_char>(r),
                                  static_cast<A_u_char>(g), static_cast<A_u_char>(b)});
      } else if (format == PF_PixelFormat_ARGB64) {
        auto c = [](uint32_t v) { return static_cast<A_u_short>(v * 32768 / 255); };
        world->Set(x, y, PF_Pixel16{c(a), c(r), c(g), c(b)});
      } else {
        auto c = [](uint32_t v) { return v / 255.0f; };
        world->Set(x, y, PF_PixelFloat{c(a), c(r), c(g), c(b)});
      }
    }
  }
  return world;
}

// The effect applied with its defaults to a W x H layer.
struct Applied {
  Applied(A_long w, A_long h, PF_PixelFormat format, bool blur)
      : params(minihost::ParamService::Install(host)),
        render(minihost::RenderService::Install(host)) {
    host.faults().set_recording(false);
    params.SetLayerSize(w, h);
    host.GlobalSetup();
    params.ParamsSetup();
    instance = &host.NewInstance();
    host.SequenceSetup(*instance);
    params.Params(*instance)[prismora::PARAM_BLUR_ON].def.u.bd.value = blur ? 1 : 0;
    Timeline::forward() = host.interact_callbacks().progress;
    host.interact_callbacks().progress = Timeline::Progress;
    input = NoisyImage(w, h, format);
    output = std::make_unique<World>(w, h, format);
  }

  // Renders one frame and returns the time between two marks (-1 for the
  // render command's start).
  double Render(benchmark::State& state, int from_mark, int to_mark) {
    minihost::Frame frame(host, *instance, *input, *output);
    if (frame.PreRender() != PF_Err_NONE) state.SkipWithError("pre-render failed");
    Timeline::marks().clear();
    const double start = Now();
    if (frame.Render() != PF_Err_NONE) state.SkipWithError("render failed");
    const auto& m = Timeline::marks();
    if (static_cast<int>(m.size()) <= to_mark) {
      state.SkipWithError("too few progress reports");
      return 0;
    }
    const double begin = from_mark < 0 ? start : m[static_cast<std::size_t>(from_mark)];
    return m[static_cast<std::size_t>(to_mark)] - begin;
  }

  minihost::Host host{Plugin()};
  minihost::ParamService& params;
  minihost::RenderService& render;
  minihost::Instance* instance = nullptr;
  std::unique_ptr<World> input, output;
};

void PerPixel(benchmark::State& state, A_long w, A_long h) {
  state.counters["ns_per_px"] =
      benchmark::Counter(static_cast<double>(w) * h * 1e-9,
                         benchmark::Counter::kIsIterationInvariantRate |
                             benchmark::Counter::kInvert);
}

void BM_MainPass(benchmark::State& state) {
  const auto w = static_cast<A_long>(state.range(0)), h = static_cast<A_long>(state.range(1));
  Applied applied(w, h, FormatOf(state.range(2)), false);
  for (auto _ : state) state.SetIterationTime(applied.Render(state, -1, h - 1));
  PerPixel(state, w, h);
}

void BM_BlurPass(benchmark::State& state) {
  const auto w = static_cast<A_long>(state.range(0)), h = static_cast<A_long>(state.range(1));
  Applied applied(w, h, FormatOf(state.range(2)), true);
  for (auto _ : state) state.SetIterationTime(applied.Render(state, h - 1, 2 * h - 1));
  PerPixel(state, w, h);
}

// The render's geometry at the default settings of a W x H layer.
struct Geometry {
  Geometry(A_long w, A_long h) {
    const double r = std::hypot(w * 0.5, h * 0.5);
    const auto last = static_cast<int64_t>(std::sqrt(double(w) * w + double(h) * h));
    table.push_back(0.0);
    for (int64_t i = 1; i <= last; ++i) table.push_back(std::pow(static_cast<double>(i) / r, 2.0));
    radial.center_x = int64_t{w / 2} * 65536;
    radial.center_y = int64_t{h / 2} * 65536;
    radial.half_diagonal = r;
    radial.limiter = true;
    radial.profile = prismora::RadialProfile{table.data(), last, r, 2.0,
                                             [](double a, double b) { return std::pow(a, b); }};
    radial.hypot = [](double a, double b) { return std::hypot(a, b); };
    displace_scale = 0.025 * r;
  }
  std::vector<double> table;
  prismora::RadialValues radial;
  double displace_scale;
};

template <class Pixel, class Suite>
void SampleAll(benchmark::State& state, const Suite& sample, const World& world,
               const std::vector<std::pair<PF_Fixed, PF_Fixed>>& positions, double pixels) {
  PF_SampPB block{};
  block.src = const_cast<PF_EffectWorld*>(&world.effect_world());
  for (auto _ : state) {
    const double start = Now();
    for (const auto& [x, y] : positions) {
      Pixel p;
      sample(nullptr, x, y, &block, &p);
      benchmark::DoNotOptimize(p);
    }
    state.SetIterationTime(Now() - start);
  }
  state.counters["ns_per_px"] = benchmark::Counter(
      pixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["samples_per_px"] = static_cast<double>(positions.size()) / pixels;
}

void RunSampler(benchmark::State& state, const World& world,
                const std::vector<std::pair<PF_Fixed, PF_Fixed>>& positions, double pixels) {
  switch (world.format()) {
    case PF_PixelFormat_ARGB32:
      SampleAll<PF_Pixel>(state, minihost::Sampling8Suite().subpixel_sample, world, positions,
                          pixels);
      break;
    case PF_PixelFormat_ARGB64:
      SampleAll<PF_Pixel16>(state, minihost::Sampling16Suite().subpixel_sample16, world,
                            positions, pixels);
      break;
    default:
      SampleAll<PF_PixelFloat>(state, minihost::SamplingFloatSuite().subpixel_sample_float,
                               world, positions, pixels);
  }
}

void BM_SamplerMain(benchmark::State& state) {
  const auto w = static_cast<A_long>(state.range(0)), h = static_cast<A_long>(state.range(1));
  const auto world = NoisyImage(w, h, FormatOf(state.range(2)));
  const Geometry geometry(w, h);
  std::vector<std::pair<PF_Fixed, PF_Fixed>> positions;
  positions.reserve(static_cast<std::size_t>(w) * h * 3);
  for (A_long y = 0; y < h; ++y) {
    for (A_long x = 0; x < w; ++x) {
      const prismora::Radial g = prismora::Measure(geometry.radial, x, y);
      const double s = geometry.displace_scale * geometry.radial.profile.At(g.index);
      const int64_t sx = prismora::FixedStep(g.ux * s), sy = prismora::FixedStep(g.uy * s);
      for (int k = 0; k < 3; ++k) {
        positions.emplace_back(prismora::ToSamplerCoordinate(g.px + k * sx),
                               prismora::ToSamplerCoordinate(g.py + k * sy));
      }
    }
  }
  RunSampler(state, *world, positions, static_cast<double>(w) * h);
}

void BM_SamplerBlur(benchmark::State& state) {
  const auto w = static_cast<A_long>(state.range(0)), h = static_cast<A_long>(state.range(1));
  const auto world = NoisyImage(w, h, FormatOf(state.range(2)));
  const Geometry geometry(w, h);
  std::vector<std::pair<PF_Fixed, PF_Fixed>> positions;
  double pixels = 0;
  for (A_long y = 0; y < h; y += 8) {
    for (A_long x = 0; x < w; ++x, ++pixels) {
      const prismora::Radial g = prismora::Measure(geometry.radial, x, y);
      const prismora::RunLength n =
          prismora::RunLengthOf(geometry.displace_scale * geometry.radial.profile.At(g.index));
      const int64_t sx = prismora::FixedStep(g.ux), sy = prismora::FixedStep(g.uy);
      const uint64_t taken = std::min({n.count, prismora::RunInside(g.px, sx, w),
                                       prismora::RunInside(g.py, sy, h)});
      for (uint64_t k = 0; k < taken; ++k) {
        const auto step = static_cast<int64_t>(k);
        positions.emplace_back(prismora::ToSamplerCoordinate(g.px + step * sx),
                               prismora::ToSamplerCoordinate(g.py + step * sy));
      }
    }
  }
  RunSampler(state, *world, positions, pixels);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"w", "h", "bits"});
  for (auto [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    for (int bits : {8, 16, 32}) b->Args({w, h, bits});
  }
  b->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
}

BENCHMARK(BM_MainPass)->Apply(Sizes);
BENCHMARK(BM_SamplerMain)->Apply(Sizes);
BENCHMARK(BM_BlurPass)->Apply(Sizes);
BENCHMARK(BM_SamplerBlur)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
