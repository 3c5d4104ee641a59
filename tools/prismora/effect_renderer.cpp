#include "effect_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <set>
#include <stdexcept>

#include "commands.h"
#include "imageio/image_file.h"
#include "minihost/driver/frame.h"
#include "minihost/params/param_text.h"
#include "minihost/suites/render_services.h"
#include "world_raster.h"

#if defined(_WIN32)
#include <io.h>
#define PRISMORA_ISATTY _isatty
#else
#include <unistd.h>
#define PRISMORA_ISATTY isatty
#endif

namespace prismora::cli {
namespace {

// The host's progress and abort, as the render service installs them, and
// the observer of the render running on this thread. The plug-in reports
// progress on the thread that sent it the command.
struct ProgressHook {
  PF_Err (*progress)(PF_ProgPtr, A_long, A_long) = nullptr;
  PF_Err (*abort)(PF_ProgPtr) = nullptr;
  const RowObserver* observer = nullptr;
  A_long height = 0;  // of the frame's output
  bool stop = false;
};

RenderProgress ProgressOf(A_long current, A_long total, A_long height) {
  RenderProgress p;
  p.share = static_cast<double>(current) / total;
  // Rows reported by the last pass, the only ones no later pass rewrites.
  const A_long earlier_passes = total - height;
  p.final_rows = static_cast<int>(std::clamp<A_long>(current + 1 - earlier_passes, 0, height));
  return p;
}
thread_local ProgressHook* t_hook = nullptr;

PF_Err ObservedProgress(PF_ProgPtr ref, A_long current, A_long total) {
  ProgressHook* hook = t_hook;
  if (hook == nullptr || hook->progress == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const PF_Err err = hook->progress(ref, current, total);
  if (hook->observer != nullptr && *hook->observer && total > 0 &&
      !(*hook->observer)(ProgressOf(current, total, hook->height))) {
    hook->stop = true;
  }
  return hook->stop ? PF_Interrupt_CANCEL : err;
}

PF_Err ObservedAbort(PF_ProgPtr ref) {
  ProgressHook* hook = t_hook;
  if (hook == nullptr || hook->abort == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const PF_Err err = hook->abort(ref);
  return hook->stop ? PF_Interrupt_CANCEL : err;
}

class HookScope {
 public:
  explicit HookScope(ProgressHook& hook) : previous_(t_hook) { t_hook = &hook; }
  ~HookScope() { t_hook = previous_; }
  HookScope(const HookScope&) = delete;
  HookScope& operator=(const HookScope&) = delete;

 private:
  ProgressHook* previous_;
};

// A frame rate as the host's time scale: frames `step` ticks apart, 1000
// when the rate is whole in thousandths (30 fps: 30000 ticks a second), the
// rate's own denominator otherwise (24000/1001: 24000 ticks a second, 1001
// a frame), so that every frame falls on a whole tick.
struct TimeScale {
  A_u_long scale;
  A_long step;
};
TimeScale ScaleOf(const media::FrameRate& rate) {
  if (1000 % rate.den == 0) {
    return {static_cast<A_u_long>(rate.num * (1000 / rate.den)), 1000};
  }
  return {static_cast<A_u_long>(rate.num), static_cast<A_long>(rate.den)};
}

HostTime TimeAt(double ticks, TimeScale scale, const std::string& what) {
  if (!(std::fabs(ticks) <= std::numeric_limits<A_long>::max())) {
    throw UsageError{what + " lies beyond the host's time (at most " +
                     std::to_string(std::numeric_limits<A_long>::max() / scale.scale) +
                     " seconds at this frame rate)"};
  }
  return HostTime{static_cast<A_long>(std::llround(ticks)), scale.step, scale.scale};
}

void CheckCommand(minihost::Host& host, const char* what, PF_Err err) {
  std::string problem;
  for (const std::string& p : host.problems()) problem += (problem.empty() ? "" : "; ") + p;
  if (err != PF_Err_NONE) {
    std::string message = "the plug-in's " + std::string(what) + " failed with error " +
                          std::to_string(err) + " (" + ErrorName(err) + ")";
    const std::string said = host.return_msg();
    if (!said.empty()) message += ": \"" + said + "\"";
    if (!problem.empty()) message += "; the host also found: " + problem;
    throw RenderFailure(message);
  }
  if (!problem.empty()) {
    throw RenderFailure("after the plug-in's " + std::string(what) + " the host found: " + problem);
  }
}

}  // namespace

const bool kStderrIsTerminal = PRISMORA_ISATTY(2) != 0;

void ReportWarnings(const std::vector<minihost::ParamWarning>& warnings,
                    const std::vector<PF_ParamDef>& declared) {
  static std::mutex mutex;
  static std::set<std::string> told;  // parameters warned of
  for (const minihost::ParamWarning& w : warnings) {
    const auto i = static_cast<std::size_t>(w.index);
    const std::string name = i < declared.size() ? minihost::DisplayName(declared[i], w.index) : "";
    std::lock_guard lock(mutex);
    if (!told.insert(name).second) continue;
    // On a line of its own, the progress bar's line cleared first; the bar
    // is drawn again below it.
    std::lock_guard console(imageio::ConsoleLock());
    std::fprintf(stderr, "%sprismora: warning: %s\n", kStderrIsTerminal ? "\r\033[K" : "",
                 w.message.c_str());
  }
}

std::string ErrorName(PF_Err err) {
  switch (err) {
    case PF_Err_NONE: return "PF_Err_NONE";
    case PF_Err_OUT_OF_MEMORY: return "PF_Err_OUT_OF_MEMORY";
    case PF_Err_INTERNAL_STRUCT_DAMAGED: return "PF_Err_INTERNAL_STRUCT_DAMAGED";
    case PF_Err_INVALID_INDEX: return "PF_Err_INVALID_INDEX";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE: return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
    case PF_Err_INVALID_CALLBACK: return "PF_Err_INVALID_CALLBACK";
    case PF_Err_BAD_CALLBACK_PARAM: return "PF_Err_BAD_CALLBACK_PARAM";
    case PF_Interrupt_CANCEL: return "PF_Interrupt_CANCEL";
    case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT: return "PF_Err_CANNOT_PARSE_KEYFRAME_TEXT";
    case PF_Err_BAD_GEOMETRY: return "the render's code for a geometry that does not fit";
    default: return "no error code the host knows";
  }
}

HostTime TimeOfFrame(int64_t frame, const media::FrameRate& rate) {
  const TimeScale scale = ScaleOf(rate);
  return TimeAt(static_cast<double>(frame) * scale.step, scale, "frame " + std::to_string(frame));
}

HostTime TimeOfSeconds(double seconds, const media::FrameRate& rate) {
  const TimeScale scale = ScaleOf(rate);
  return TimeAt(seconds * scale.scale, scale, "time " + minihost::FormatNumber(seconds) + " s");
}

HostTime TimeOf(const minihost::KeyTime& time, const media::FrameRate& rate) {
  if (!time.frames) return TimeOfSeconds(time.value, rate);
  // Frame numbers this large lie beyond the host's time at any rate.
  return TimeOfFrame(static_cast<int64_t>(std::min(time.value, 1e18)), rate);
}

EffectRenderer::EffectRenderer(std::shared_ptr<const minihost::PluginLibrary> plugin, int width,
                               int height, const std::vector<minihost::ParamSetting>& settings,
                               media::Fraction pixel_aspect)
    : host_(std::move(plugin)), session_(host_, width, height) {
  host_.SetPixelAspectRatio({static_cast<A_long>(pixel_aspect.num),
                             static_cast<A_u_long>(pixel_aspect.den)});
  if (const PF_Err err = session_.Start(); err != PF_Err_NONE) {
    std::string message = "applying the effect failed with error " + std::to_string(err) + " (" +
                          ErrorName(err) + ")";
    if (!host_.return_msg().empty()) message += ": \"" + host_.return_msg() + "\"";
    throw RenderFailure(message);
  }
  const PF_Err err = session_.ApplySettings(settings);
  if (err != PF_Err_NONE) {
    std::string message = "the plug-in answered a change of its settings with error " +
                          std::to_string(err) + " (" + ErrorName(err) + ")";
    if (!host_.return_msg().empty()) message += ": \"" + host_.return_msg() + "\"";
    throw RenderFailure(message);
  }
  if (!session_.problems().empty()) {
    throw RenderFailure("applying the effect, the host found: " + session_.problems().front());
  }
  // Progress and abort pass through this renderer, so that a render can be
  // followed and stopped.
  minihost::RenderService::Install(host_);
}

imageio::Raster EffectRenderer::Render(const minihost::World& input, HostTime time,
                                       const RowObserver& observer) {
  minihost::World output(input.width(), input.height(), input.format());
  Render(input, output, time, observer);
  return RasterFromWorld(output);
}

void EffectRenderer::Render(const minihost::World& input, minihost::World& output, HostTime time,
                            const RowObserver& observer) {
  if (output.width() != input.width() || output.height() != input.height() ||
      output.format() != input.format()) {
    throw std::invalid_argument("EffectRenderer::Render: the output world does not fit the input");
  }
  ProgressHook hook;
  PF_InteractCallbacks& inter = host_.interact_callbacks();
  hook.progress = inter.progress;
  hook.abort = inter.abort;
  hook.observer = &observer;
  hook.height = output.height();
  inter.progress = ObservedProgress;
  inter.abort = ObservedAbort;
  struct Restore {
    PF_InteractCallbacks& inter;
    ProgressHook& hook;
    ~Restore() {
      inter.progress = hook.progress;
      inter.abort = hook.abort;
    }
  } restore{inter, hook};
  HookScope scope(hook);

  // The interface at the frame's time: keyframed switches and the controls
  // the plug-in writes into its own expression reach it as a user's changes
  // (no command at all without keyframes on them).
  CheckCommand(host_, "update of its controls",
               session_.SetTime(static_cast<double>(time.value) / time.scale));
  minihost::Frame frame(host_, session_.instance(), input, output);
  frame.set_time(time.value, time.step, time.scale);
  PF_Err err = frame.PreRender();
  if (hook.stop && err != PF_Err_NONE) throw RenderStopped{};
  CheckCommand(host_, "pre-render", err);
  err = frame.Render();
  if (hook.stop && err != PF_Err_NONE) throw RenderStopped{};
  CheckCommand(host_, "render", err);
  frame.DeletePreRenderData();
  CheckCommand(host_, "deletion of its pre-render data", PF_Err_NONE);
  ReportWarnings(session_.params().TakeWarnings(), session_.params().declared());
}

}  // namespace prismora::cli
