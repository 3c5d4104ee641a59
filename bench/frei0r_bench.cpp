// What the frei0r module costs beside the effect, per 1920x1080 frame: the
// module's whole f0r_update (conversions, copies, parameter check, the
// render) against the same render through the emulated host alone, as
// `prismora render` drives it, and the two pixel conversions on their own.
// bench/frei0r_ffmpeg.sh prints the share.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "frei0r/pixels.h"
#include "minihost/driver/frame.h"
#include "minihost/driver/session.h"
#include "minihost/host/host.h"
#include "minihost/suites/worlds.h"

namespace {

constexpr unsigned kWidth = 1920;
constexpr unsigned kHeight = 1080;

std::vector<uint32_t> Picture() {
  std::vector<uint32_t> px(std::size_t{kWidth} * kHeight);
  uint32_t state = 12345;
  for (uint32_t& p : px) {
    state = state * 1664525u + 1013904223u;
    p = state | 0xFF000000u;  // opaque noise
  }
  return px;
}

template <class F>
F Symbol(void* so, const char* name) {
  void* f = dlsym(so, name);
  if (f == nullptr) throw std::runtime_error(std::string("no ") + name);
  return reinterpret_cast<F>(f);
}

void BM_Frei0rUpdate(benchmark::State& state) {
  void* so = dlopen(PRISMORA_FREI0R_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  if (so == nullptr) throw std::runtime_error(dlerror());
  auto construct = Symbol<f0r_instance_t (*)(unsigned, unsigned)>(so, "f0r_construct");
  auto destruct = Symbol<void (*)(f0r_instance_t)>(so, "f0r_destruct");
  auto set = Symbol<void (*)(f0r_instance_t, f0r_param_t, int)>(so, "f0r_set_param_value");
  auto update =
      Symbol<void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*)>(so, "f0r_update");
  f0r_instance_t instance = construct(kWidth, kHeight);
  double amount = 0.3;  // "Amount" 3, the first parameter
  const std::vector<uint32_t> in = Picture();
  std::vector<uint32_t> out(in.size());
  int frame = 0;
  for (auto _ : state) {
    set(instance, &amount, 0);  // as MLT re-sends every value before a frame
    update(instance, frame++ / 25.0, in.data(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  destruct(instance);
}

void BM_HostRender(benchmark::State& state) {
  minihost::Host host(minihost::PluginLibrary::Load(PRISMORA_PLUGIN_PATH));
  minihost::Session session(host, kWidth, kHeight);
  session.Start();
  session.ApplySettings({{"Amount", "3"}});
  minihost::World input(kWidth, kHeight, PF_PixelFormat_ARGB32);
  minihost::World output(kWidth, kHeight, PF_PixelFormat_ARGB32);
  const std::vector<uint32_t> picture = Picture();
  prismora::frei0r::ArgbFromRgba(picture.data(), input.row(0), picture.size());
  int frame = 0;
  for (auto _ : state) {
    const A_long time = 1000 * frame++;
    session.SetTime(time / 25000.0);
    minihost::Frame f(host, session.instance(), input, output);
    f.set_time(time, 1000, 25000);
    f.Run();
    benchmark::DoNotOptimize(output.row(0));
  }
}

void BM_Conversions(benchmark::State& state) {
  const std::vector<uint32_t> in = Picture();
  std::vector<uint32_t> out(in.size());
  minihost::World world(kWidth, kHeight, PF_PixelFormat_ARGB32);
  for (auto _ : state) {
    prismora::frei0r::ArgbFromRgba(in.data(), world.row(0), in.size());
    prismora::frei0r::RgbaFromArgb(world.row(0), out.data(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
}

BENCHMARK(BM_Frei0rUpdate)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_HostRender)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Conversions)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
