// What the render benchmarks share: the real plug-in loaded once, noise
// images of every depth, and the effect applied with its defaults ("Amount"
// 1, "Power" 2, the centre in the middle, "Mode" 2 Colors, limiter on) to a
// layer and rendered one frame at a time through the emulated host.
//
// A render's progress reports carry the time each arrived, so that a frame
// splits into its main pass (from the command's start to report H - 1) and
// its blur pass (to report 2H - 1). Times are the thread's processor time
// where the system offers it, so that other work on the machine counts less.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "minihost/driver/frame.h"
#include "minihost/loading/plugin_library.h"
#include "minihost/params/params.h"
#include "minihost/suites/parameter_suites.h"
#include "minihost/suites/render_services.h"
#include "minihost/suites/sampling.h"
#include "minihost/suites/worlds.h"
#include "params/param_table.h"

namespace prismora_bench {

using minihost::World;
using Position = std::pair<PF_Fixed, PF_Fixed>;

inline double Now() {
#if defined(CLOCK_THREAD_CPUTIME_ID)
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#else
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
#endif
}

inline std::shared_ptr<const minihost::PluginLibrary> Plugin() {
  static const auto library = minihost::PluginLibrary::Load(PRISMORA_PLUGIN_PATH);
  return library;
}

inline PF_PixelFormat FormatOf(int64_t bits) {
  return bits == 32 ? PF_PixelFormat_ARGB128
                    : bits == 16 ? PF_PixelFormat_ARGB64 : PF_PixelFormat_ARGB32;
}

// Noise of every depth: no two neighbours alike, some transparency.
inline std::unique_ptr<World> NoisyImage(A_long w, A_long h, PF_PixelFormat format) {
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

// The host's subpixel sampler of a depth, as the render calls it.
template <class Pixel>
using SampleFunction = PF_Err (*)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, Pixel*);

// Progress reports with their times, and, while a recording is wanted, the
// positions the plug-in samples: all of the main pass, and of the blur pass
// only every eighth row (its runs are long).
struct Timeline {
  std::vector<double> marks;
  std::vector<Position> main_positions;
  std::vector<Position> blur_positions;
  A_long height = 0;
  bool recording = false;

  static Timeline& Get() {
    static Timeline timeline;
    return timeline;
  }
  static PF_Err (*&Forward())(PF_ProgPtr, A_long, A_long) {
    static PF_Err (*forward)(PF_ProgPtr, A_long, A_long) = nullptr;
    return forward;
  }
  static PF_Err Progress(PF_ProgPtr ref, A_long current, A_long total) {
    Get().marks.push_back(Now());
    return Forward()(ref, current, total);
  }
  void Note(PF_Fixed x, PF_Fixed y) {
    const auto row = static_cast<A_long>(marks.size());  // rows reported so far
    if (row < height) {
      main_positions.emplace_back(x, y);
    } else if ((row - height) % 8 == 0) {
      blur_positions.emplace_back(x, y);
    }
  }
};

// The effect applied with its defaults to a W x H layer of noise.
class Applied {
 public:
  Applied(A_long w, A_long h, PF_PixelFormat format, bool blur)
      : width_(w),
        height_(h),
        params_(minihost::InstallParameterSuites(host_)),
        render_(minihost::RenderService::Install(host_)) {
    host_.faults().set_recording(false);
    params_.SetLayerSize(w, h);
    host_.GlobalSetup();
    params_.ParamsSetup();
    instance_ = &host_.NewInstance();
    host_.SequenceSetup(*instance_);
    params_.Params(*instance_)[prismora::PARAM_BLUR_ON].def.u.bd.value = blur ? 1 : 0;
    Timeline::Forward() = host_.interact_callbacks().progress;
    host_.interact_callbacks().progress = Timeline::Progress;
    input_ = NoisyImage(w, h, format);
    output_ = std::make_unique<World>(w, h, format);
  }

  A_long width() const { return width_; }
  A_long height() const { return height_; }
  double pixels() const { return static_cast<double>(width_) * height_; }
  const World& input() const { return *input_; }
  const World& output() const { return *output_; }
  minihost::Host& host() { return host_; }

  // Renders one frame; on success the times of the main pass and the blur
  // pass (0 without blur) in seconds.
  bool Render(double& main_seconds, double& blur_seconds, std::string& error) {
    minihost::Frame frame(host_, *instance_, *input_, *output_);
    if (frame.PreRender() != PF_Err_NONE) {
      error = "pre-render failed";
      return false;
    }
    Timeline& t = Timeline::Get();
    t.marks.clear();
    t.height = height_;
    const double start = Now();
    if (PF_Err err = frame.Render(); err != PF_Err_NONE) {
      error = "render failed with " + std::to_string(err);
      return false;
    }
    const auto h = static_cast<std::size_t>(height_);
    if (t.marks.size() != h && t.marks.size() != 2 * h) {
      error = "render reported " + std::to_string(t.marks.size()) + " rows of " +
              std::to_string(h);
      return false;
    }
    main_seconds = t.marks[h - 1] - start;
    blur_seconds = t.marks.size() == 2 * h ? t.marks[2 * h - 1] - t.marks[h - 1] : 0.0;
    return true;
  }

  // Renders one frame with a recording sampler in place of the host's, and
  // leaves the positions in the timeline.
  template <class Suite, class Pixel>
  bool Record(const char* suite_name, A_long suite_version, const Suite& suite,
              SampleFunction<Pixel> Suite::*subpixel, std::string& error);

 private:
  A_long width_, height_;
  minihost::Host host_{Plugin()};
  minihost::ParamService& params_;
  minihost::RenderService& render_;
  minihost::Instance* instance_ = nullptr;
  std::unique_ptr<World> input_, output_;
};

// The recording suite forwards every call to the host's own sampler.
template <class Pixel>
struct Recorder {
  static SampleFunction<Pixel>& Real() {
    static SampleFunction<Pixel> real = nullptr;
    return real;
  }
  static PF_Err Sample(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* block,
                       Pixel* out) {
    Timeline::Get().Note(x, y);
    return Real()(ref, x, y, block, out);
  }
};

template <class Suite, class Pixel>
bool Applied::Record(const char* suite_name, A_long suite_version, const Suite& suite,
                     SampleFunction<Pixel> Suite::*subpixel, std::string& error) {
  Recorder<Pixel>::Real() = suite.*subpixel;
  Suite recording = suite;
  recording.*subpixel = Recorder<Pixel>::Sample;
  host_.suites().Register(suite_name, suite_version, &recording);
  Timeline& t = Timeline::Get();
  t.main_positions.clear();
  t.blur_positions.clear();
  double main_seconds = 0, blur_seconds = 0;
  const bool ok = Render(main_seconds, blur_seconds, error);
  host_.suites().Register(suite_name, suite_version, &suite);
  return ok;
}

// Records the positions of one frame at the depth of `applied`.
inline bool RecordPositions(Applied& applied, std::string& error) {
  switch (applied.input().format()) {
    case PF_PixelFormat_ARGB32:
      return applied.Record(kPFSampling8Suite, kPFSampling8SuiteVersion1, minihost::Sampling8Suite(),
                            &PF_Sampling8Suite1::subpixel_sample, error);
    case PF_PixelFormat_ARGB64:
      return applied.Record(kPFSampling16Suite, kPFSampling16SuiteVersion1, minihost::Sampling16Suite(),
                            &PF_Sampling16Suite1::subpixel_sample16, error);
    default:
      return applied.Record(kPFSamplingFloatSuite, kPFSamplingFloatSuiteVersion1, minihost::SamplingFloatSuite(),
                            &PF_SamplingFloatSuite1::subpixel_sample_float, error);
  }
}

// Calls the host's sampler at every position, reading `world`; seconds.
template <class Pixel>
double SampleAll(SampleFunction<Pixel> sample, const World& world,
                 const std::vector<Position>& positions) {
  PF_SampPB block{};
  block.src = const_cast<PF_EffectWorld*>(&world.effect_world());
  Pixel sink{};
  const double start = Now();
  for (const auto& [x, y] : positions) {
    Pixel p;
    sample(nullptr, x, y, &block, &p);
    // Kept, so that no call can be left out.
    sink.alpha += p.alpha;
  }
  const double seconds = Now() - start;
  volatile auto keep = sink.alpha;
  (void)keep;
  return seconds;
}

inline double SampleAllAtDepth(const World& world, const std::vector<Position>& positions) {
  switch (world.format()) {
    case PF_PixelFormat_ARGB32:
      return SampleAll<PF_Pixel>(minihost::Sampling8Suite().subpixel_sample, world, positions);
    case PF_PixelFormat_ARGB64:
      return SampleAll<PF_Pixel16>(minihost::Sampling16Suite().subpixel_sample16, world,
                                   positions);
    default:
      return SampleAll<PF_PixelFloat>(minihost::SamplingFloatSuite().subpixel_sample_float,
                                      world, positions);
  }
}

}  // namespace prismora_bench
