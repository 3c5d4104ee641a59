// What animation costs a frame before any pixel: every parameter checked out
// at the frame's time, as the plug-in's pre-render does, with static values
// against keyframes and the user's expressions on the parameters that take
// them. Figures are per frame (all 37 parameters).
//
// - BM_FrameCheckouts/0: static values only.
// - BM_FrameCheckouts/1: "Amount", "Center" and "Color1" with three keyframes each.
// - BM_FrameCheckouts/2: the same keyframes, and expressions on "Amount",
//   "Power", "Center" and "Color1" (each evaluated part by part).
#include <benchmark/benchmark.h>

#include <vector>

#include "minihost/driver/session.h"
#include "minihost/loading/plugin_library.h"
#include "minihost/params/animation.h"

namespace {

minihost::ParamSetting Key(const char* name, double seconds, const char* value) {
  minihost::ParamSetting s{name, value};
  s.kind = minihost::ParamSetting::Kind::kKeyframe;
  s.time.value = seconds;
  return s;
}

minihost::ParamSetting Expr(const char* name, const char* text) {
  minihost::ParamSetting s{name, text};
  s.kind = minihost::ParamSetting::Kind::kExpression;
  return s;
}

void BM_FrameCheckouts(benchmark::State& state) {
  static const auto plugin = minihost::PluginLibrary::Load(PRISMORA_PLUGIN_PATH);
  minihost::Host host(plugin);
  minihost::Session session(host, 1920, 1080);
  if (session.Start() != PF_Err_NONE) {
    state.SkipWithError("the effect did not start");
    return;
  }
  std::vector<minihost::ParamSetting> settings = {{"Amount", "2"}};
  if (state.range(0) >= 1) {
    settings.clear();
    for (const char* name : {"Amount", "Center", "Color1"}) {
      const bool point = name[1] == 'e', colour = name[1] == 'o';
      settings.push_back(Key(name, 0, point ? "0,0" : colour ? "#000000" : "1"));
      settings.push_back(Key(name, 1, point ? "50%,50%" : colour ? "#FF8000" : "3"));
      settings.push_back(Key(name, 2, point ? "100%,100%" : colour ? "#00FF00" : "2"));
    }
  }
  if (state.range(0) >= 2) {
    settings.push_back(Expr("Amount", "value * 2"));
    settings.push_back(Expr("Power", "wiggle(2, 0.5)"));
    settings.push_back(Expr("Center", "value + time * 10"));
    settings.push_back(Expr("Color1", "255 - value"));
  }
  session.ApplySettings(settings);
  const auto count = static_cast<PF_ParamIndex>(session.Params().size());
  A_long frame = 0;
  for (auto _ : state) {
    for (PF_ParamIndex i = 1; i < count; ++i) {
      PF_ParamDef def{};
      session.params().Checkout(session.instance(), i, frame * 1000, 1000, 30000, &def);
      benchmark::DoNotOptimize(def);
    }
    frame = (frame + 1) % 90;
  }
  session.params().TakeWarnings();
}
BENCHMARK(BM_FrameCheckouts)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
