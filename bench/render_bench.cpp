// The render's cost through the real plug-in, loaded by the emulated host,
// at the default settings on a noisy image (render_fixture.h). Every figure
// is a time per pixel of the frame, ns_per_px.
//
// - BM_MainPass: the main pass of a frame, from the render command's start
//   to its last main-pass progress report (snapshot lock, checkouts and
//   profile table included; they are tiny).
// - BM_BlurPass: the blur pass ("Blur Amount" 1), from the main pass's last
//   progress report to the blur's last (temporary world and copy included).
// - BM_SamplerMain / BM_SamplerBlur: the host's subpixel sampler alone at
//   the positions the passes asked for, recorded from a render of the same
//   frame: the floor the passes can reach through the host's sampler. The
//   blur's positions are those of every eighth row.
//
// The targets, each measured side by side in one run, alternating, and
// reported as medians and ratios:
// - BM_RenderVsSampler: the main pass against the sampler alone at exactly
//   the positions that render asked for, on the same 3840x2160 frame.
// - BM_LinearCost: the main pass at 1920x1080, 3840x2160 and 7680x4320; the
//   spread is the largest time per pixel over the smallest.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "render_fixture.h"

namespace {

using prismora_bench::Applied;
using prismora_bench::FormatOf;
using prismora_bench::Timeline;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0.0 : n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

benchmark::Counter PerPixel(double pixels) {
  return benchmark::Counter(pixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                               benchmark::Counter::kInvert);
}

// Renders the frame repeatedly and times one of its passes: the main pass,
// or (with blur on) the blur pass.
void TimePass(benchmark::State& state, bool blur_pass) {
  const auto w = static_cast<A_long>(state.range(0)), h = static_cast<A_long>(state.range(1));
  Applied applied(w, h, FormatOf(state.range(2)), blur_pass);
  std::string error;
  for (auto _ : state) {
    double main = 0, blur = 0;
    if (!applied.Render(main, blur, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    state.SetIterationTime(blur_pass ? blur : main);
  }
  state.counters["ns_per_px"] = PerPixel(applied.pixels());
}

void BM_MainPass(benchmark::State& state) { TimePass(state, false); }

void BM_BlurPass(benchmark::State& state) { TimePass(state, true); }

// The sampler alone at the positions one pass of a frame asked for.
void SamplerAlone(benchmark::State& state, bool blur) {
  const auto w = static_cast<A_long>(state.range(0)), h = static_cast<A_long>(state.range(1));
  Applied applied(w, h, FormatOf(state.range(2)), blur);
  std::string error;
  if (!prismora_bench::RecordPositions(applied, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  Timeline& t = Timeline::Get();
  const std::vector<prismora_bench::Position> positions =
      blur ? std::move(t.blur_positions) : std::move(t.main_positions);
  // The blur's positions are those of every eighth row.
  const double pixels = blur ? static_cast<double>(w) * ((h + 7) / 8) : applied.pixels();
  for (auto _ : state) {
    state.SetIterationTime(prismora_bench::SampleAllAtDepth(applied.input(), positions));
  }
  state.counters["ns_per_px"] = PerPixel(pixels);
  state.counters["samples_per_px"] = static_cast<double>(positions.size()) / pixels;
}

void BM_SamplerMain(benchmark::State& state) { SamplerAlone(state, false); }
void BM_SamplerBlur(benchmark::State& state) { SamplerAlone(state, true); }

void BM_RenderVsSampler(benchmark::State& state) {
  const A_long w = 3840, h = 2160;
  Applied applied(w, h, FormatOf(state.range(0)), false);
  std::string error;
  if (!prismora_bench::RecordPositions(applied, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::vector<prismora_bench::Position> positions =
      std::move(Timeline::Get().main_positions);
  std::vector<double> render_times, sampler_times;
  for (auto _ : state) {
    double main = 0, blur = 0;
    if (!applied.Render(main, blur, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    const double sampler = prismora_bench::SampleAllAtDepth(applied.input(), positions);
    render_times.push_back(main);
    sampler_times.push_back(sampler);
    state.SetIterationTime(main + sampler);
  }
  const double render = Median(render_times), sampler = Median(sampler_times);
  state.counters["render_ns_per_px"] = render * 1e9 / applied.pixels();
  state.counters["sampler_ns_per_px"] = sampler * 1e9 / applied.pixels();
  state.counters["ratio"] = sampler > 0 ? render / sampler : 0.0;
  state.counters["samples_per_px"] = static_cast<double>(positions.size()) / applied.pixels();
}

void BM_LinearCost(benchmark::State& state) {
  const PF_PixelFormat format = FormatOf(state.range(0));
  const A_long sizes[3][2] = {{1920, 1080}, {3840, 2160}, {7680, 4320}};
  std::vector<std::unique_ptr<Applied>> frames;
  for (const auto& size : sizes) {
    frames.push_back(std::make_unique<Applied>(size[0], size[1], format, false));
  }
  std::vector<double> per_pixel[3];
  std::string error;
  for (auto _ : state) {
    double total = 0;
    for (int i = 0; i < 3; ++i) {
      double main = 0, blur = 0;
      if (!frames[i]->Render(main, blur, error)) {
        state.SkipWithError(error.c_str());
        return;
      }
      per_pixel[i].push_back(main * 1e9 / frames[i]->pixels());
      total += main;
    }
    state.SetIterationTime(total);
  }
  double low = 0, high = 0;
  const char* names[3] = {"ns_per_px_1080p", "ns_per_px_2160p", "ns_per_px_4320p"};
  for (int i = 0; i < 3; ++i) {
    const double m = Median(per_pixel[i]);
    state.counters[names[i]] = m;
    low = i == 0 ? m : std::min(low, m);
    high = i == 0 ? m : std::max(high, m);
  }
  state.counters["spread"] = low > 0 ? high / low : 0.0;
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"w", "h", "bits"});
  for (auto [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    for (int bits : {8, 16, 32}) b->Args({w, h, bits});
  }
  b->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
}

void Depths(benchmark::internal::Benchmark* b) {
  b->ArgNames({"bits"});
  for (int bits : {8, 16, 32}) b->Args({bits});
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
}

BENCHMARK(BM_MainPass)->Apply(Sizes);
BENCHMARK(BM_SamplerMain)->Apply(Sizes);
BENCHMARK(BM_BlurPass)->Apply(Sizes);
BENCHMARK(BM_SamplerBlur)->Apply(Sizes);
BENCHMARK(BM_RenderVsSampler)->Apply(Depths);
BENCHMARK(BM_LinearCost)->Apply(Depths);

}  // namespace

BENCHMARK_MAIN();
