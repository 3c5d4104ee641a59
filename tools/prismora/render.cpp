// prismora render: the effect applied to image files, a still or a frame
// range, on as many threads as asked, each frame through its own host
// context on the one loaded plug-in.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "effect_renderer.h"
#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "interrupt.h"
#include "minihost/error.h"
#include "minihost/params.h"
#include "progress_bar.h"
#include "sequence.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

namespace fs = std::filesystem;
using imageio::Depth;

constexpr int64_t kMaxThreads = 256;
constexpr int64_t kMaxFrames = 1'000'000;

struct RenderOptions {
  std::string input;
  std::string output;
  std::vector<minihost::ParamSetting> settings;
  std::optional<double> seconds;
  std::optional<int64_t> frame;
  std::optional<FrameRange> frames;
  double fps = 30.0;
  std::optional<Depth> depth;
  int threads = 0;  // 0: one per core
  fs::path plugin = minihost::DefaultPluginPath();
  bool quiet = false;
};

Depth ParseDepth(std::string_view text) {
  if (text == "8") return Depth::k8;
  if (text == "16") return Depth::k16;
  if (text == "32" || text == "float") return Depth::k32;
  throw UsageError{"--depth takes 8, 16 or 32, not '" + std::string(text) + "'"};
}

RenderOptions ParseOptions(std::span<const std::string_view> args) {
  RenderOptions o;
  std::vector<std::string_view> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (TakePluginOption(args, i, o.plugin) || TakeParamOption(args, i, o.settings)) continue;
    if (a == "--time") {
      o.seconds = ParseReal(TakeValue(args, i), a);
    } else if (a == "--frame") {
      o.frame = ParseInteger(TakeValue(args, i), a);
      if (*o.frame < 0) throw UsageError{"--frame takes a frame number from 0"};
    } else if (a == "--frames") {
      o.frames = ParseFrameRange(TakeValue(args, i));
    } else if (a == "--fps") {
      o.fps = ParseReal(TakeValue(args, i), a);
      if (o.fps <= 0.0 || o.fps > 10000.0) {
        throw UsageError{"--fps takes a frame rate above 0 and up to 10000"};
      }
    } else if (a == "--depth") {
      o.depth = ParseDepth(TakeValue(args, i));
    } else if (a == "--threads") {
      const int64_t n = ParseInteger(TakeValue(args, i), a);
      if (n < 1 || n > kMaxThreads) throw UsageError{"--threads takes 1 to 256"};
      o.threads = static_cast<int>(n);
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"render: unknown option '" + std::string(a) + "'"};
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    throw UsageError{"render needs INPUT and OUTPUT (" + std::to_string(positional.size()) +
                     (positional.size() == 1 ? " path" : " paths") + " given)"};
  }
  o.input = std::string(positional[0]);
  o.output = std::string(positional[1]);
  if (o.seconds && o.frame) throw UsageError{"give --time or --frame, not both"};
  if (o.frames && (o.seconds || o.frame)) {
    throw UsageError{"--frames renders a range: it takes neither --time nor --frame"};
  }
  return o;
}

// One output frame.
struct Job {
  int64_t frame;
  HostTime time;
  fs::path input;
  fs::path output;
};

bool SamePath(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

std::string Quote(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

std::vector<Job> PlanJobs(const RenderOptions& o, const PathPattern& in, const PathPattern& out) {
  FrameRange range{0, 0};
  if (o.frames) {
    range = *o.frames;
  } else if (o.frame) {
    range = {*o.frame, *o.frame};
  } else if (in.is_sequence() || out.is_sequence()) {
    throw UsageError{std::string(in.is_sequence() ? "INPUT" : "OUTPUT") +
                     " is a sequence pattern: give the frames with --frames A-B or --frame N"};
  }
  if (range.count() > kMaxFrames) {
    throw UsageError{"--frames covers " + std::to_string(range.count()) +
                     " frames; at most 1000000 at once"};
  }
  if (range.count() > 1 && !out.is_sequence()) {
    throw UsageError{"OUTPUT must be a sequence pattern (like out.####.png or out.%04d.png) to "
                     "hold " + std::to_string(range.count()) + " frames"};
  }
  std::vector<Job> jobs;
  for (int64_t n = range.first; n <= range.last; ++n) {
    const HostTime time = o.seconds ? TimeOfSeconds(*o.seconds, o.fps) : TimeOfFrame(n, o.fps);
    jobs.push_back({n, time, in.Frame(n), out.Frame(n)});
  }
  return jobs;
}

// Everything that can be known to be wrong before rendering starts.
void CheckOutputs(const std::vector<Job>& jobs) {
  try {
    imageio::CheckWritableFormat(jobs.front().output);
  } catch (const imageio::ImageError& e) {
    throw UsageError{e.what()};
  }
  std::vector<fs::path> folders;
  for (const Job& job : jobs) {
    if (SamePath(job.input, job.output)) {
      throw UsageError{"the output " + Quote(job.output) +
                       " is the input: write the result to another file"};
    }
    const fs::path folder = imageio::OutputFolder(job.output);
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
    folders.push_back(folder);
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (!fs::exists(status)) {
      throw imageio::ImageError("cannot write " + Quote(job.output) + ": the folder " +
                                Quote(folder) + " does not exist");
    }
    if (!fs::is_directory(status)) {
      throw imageio::ImageError("cannot write " + Quote(job.output) + ": " + Quote(folder) +
                                " is not a folder");
    }
    // Proves the folder takes new files, before any work is done.
    imageio::PendingFile probe(job.output);
  }
}

std::string FramePrefix(const Job& job, bool sequence) {
  return sequence ? "frame " + std::to_string(job.frame) + ": " : std::string();
}

// The work of all threads, and what the main thread shows of it.
struct SharedState {
  std::atomic<std::size_t> next{0};
  std::atomic<int64_t> done{0};
  std::atomic<bool> stop{false};
  std::atomic<int> depth{0};  // of the rendered worlds, once known
  std::vector<std::atomic<double>> partial;  // per worker: share of its current frame
  std::mutex mutex;
  std::condition_variable changed;
  int running = 0;
  std::optional<std::string> error;  // the first failure

  explicit SharedState(int workers) : partial(static_cast<std::size_t>(workers)) {}

  void Fail(std::string message) {
    std::lock_guard lock(mutex);
    if (!error) error = std::move(message);
    stop = true;
  }
  bool ShouldStop() const { return stop.load() || InterruptScope::Requested(); }
};

struct Source {
  bool sequence = false;            // one file per frame
  imageio::Image still;             // the input when it is one file
  int width = 0;
  int height = 0;
};

void Work(int worker, const std::vector<Job>& jobs, const Source& source,
          std::optional<Depth> depth, std::unique_ptr<EffectRenderer> renderer,
          const std::shared_ptr<const minihost::PluginLibrary>& plugin,
          const std::vector<minihost::ParamSetting>& settings, SharedState& state) {
  std::atomic<double>& partial = state.partial[static_cast<std::size_t>(worker)];
  const RowObserver observer = [&](double share) {
    partial.store(share);
    return !state.ShouldStop();
  };
  std::unique_ptr<minihost::World> still_world;
  const Job* job = nullptr;
  try {
    if (!renderer) {
      renderer = std::make_unique<EffectRenderer>(plugin, source.width, source.height, settings);
    }
    while (!state.ShouldStop()) {
      const std::size_t i = state.next.fetch_add(1);
      if (i >= jobs.size()) break;
      job = &jobs[i];
      partial.store(0.0);
      imageio::Raster result;
      const imageio::ImageMetadata* metadata = &source.still.metadata;
      imageio::Image frame_image;
      if (source.sequence) {
        frame_image = imageio::ReadImage(job->input, depth);
        if (frame_image.raster.width() != source.width ||
            frame_image.raster.height() != source.height) {
          throw imageio::ImageError(Quote(job->input) + " is " +
                                    std::to_string(frame_image.raster.width()) + "x" +
                                    std::to_string(frame_image.raster.height()) +
                                    ", unlike the sequence's first frame");
        }
        metadata = &frame_image.metadata;
        const auto world = WorldFromRaster(frame_image.raster);
        frame_image.raster = {};
        result = renderer->Render(*world, job->time, observer);
      } else {
        if (!still_world) still_world = WorldFromRaster(source.still.raster);
        result = renderer->Render(*still_world, job->time, observer);
      }
      state.depth.store(static_cast<int>(result.depth()));
      // A finished frame is written whole even when a stop comes meanwhile.
      imageio::PendingFile pending(job->output);
      imageio::WriteImage(pending.path(), result, *metadata);
      pending.Commit();
      partial.store(0.0);
      state.done.fetch_add(1);
      state.changed.notify_all();
    }
  } catch (const RenderStopped&) {
  } catch (const std::bad_alloc&) {
    const std::string prefix = job != nullptr ? FramePrefix(*job, jobs.size() > 1) : "";
    state.Fail(prefix + "not enough memory for a " + std::to_string(source.width) + "x" +
               std::to_string(source.height) + " image on " +
               std::to_string(state.partial.size()) + " threads (try fewer --threads)");
  } catch (const std::exception& e) {
    const std::string prefix = job != nullptr ? FramePrefix(*job, jobs.size() > 1) : "";
    state.Fail(prefix + e.what());
  }
  partial.store(0.0);
  std::lock_guard lock(state.mutex);
  --state.running;
  state.changed.notify_all();
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", s);
  return text;
}

}  // namespace

int RunRender(std::span<const std::string_view> args) {
  const RenderOptions o = ParseOptions(args);
  if (!imageio::HaveImageFiles()) {
    throw imageio::ImageError("this build of prismora cannot read or write image files "
                              "(built without OpenImageIO)");
  }
  const PathPattern in = PathPattern::Parse(o.input);
  const PathPattern out = PathPattern::Parse(o.output);
  const std::vector<Job> jobs = PlanJobs(o, in, out);
  CheckOutputs(jobs);

  // The input: one file read now, or a sequence whose frames must all be
  // there and of one size.
  Source source;
  source.sequence = in.is_sequence();
  if (source.sequence) {
    for (const Job& job : jobs) {
      std::error_code ec;
      if (!fs::exists(job.input, ec)) {
        throw imageio::ImageError("frame " + std::to_string(job.frame) +
                                  " of the input sequence is missing: " + Quote(job.input));
      }
      const imageio::ImageSize size = imageio::ReadImageSize(job.input);
      if (&job == &jobs.front()) {
        source.width = size.width;
        source.height = size.height;
      } else if (size.width != source.width || size.height != source.height) {
        throw imageio::ImageError(
            "frame " + std::to_string(job.frame) + " (" + Quote(job.input) + ") is " +
            std::to_string(size.width) + "x" + std::to_string(size.height) + " but frame " +
            std::to_string(jobs.front().frame) + " is " + std::to_string(source.width) + "x" +
            std::to_string(source.height) + ": a sequence keeps one size");
      }
    }
  } else {
    source.still = imageio::ReadImage(jobs.front().input, o.depth);
    source.width = source.still.raster.width();
    source.height = source.still.raster.height();
  }

  // The settings are checked once, before any thread starts.
  const auto plugin = minihost::PluginLibrary::Load(o.plugin);
  std::unique_ptr<EffectRenderer> first;
  try {
    first = std::make_unique<EffectRenderer>(plugin, source.width, source.height, o.settings);
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }

  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int workers = static_cast<int>(
      std::min<int64_t>(o.threads > 0 ? o.threads : cores, static_cast<int64_t>(jobs.size())));
  const auto start = std::chrono::steady_clock::now();
  SharedState state(workers);
  {
    InterruptScope interrupts;
    ProgressBar bar(!o.quiet, static_cast<int64_t>(jobs.size()));
    std::vector<std::thread> threads;
    state.running = workers;
    for (int w = 0; w < workers; ++w) {
      threads.emplace_back(Work, w, std::cref(jobs), std::cref(source), o.depth,
                           w == 0 ? std::move(first) : nullptr, std::cref(plugin),
                           std::cref(o.settings), std::ref(state));
    }
    {
      std::unique_lock lock(state.mutex);
      while (state.running > 0) {
        state.changed.wait_for(lock, std::chrono::milliseconds(100));
        double work = static_cast<double>(state.done.load());
        for (const auto& p : state.partial) work += p.load();
        bar.Show(work, state.done.load());
      }
    }
    for (std::thread& t : threads) t.join();
    bar.Clear();
    if (InterruptScope::Requested()) {
      std::fprintf(stderr, "prismora: interrupted: %lld of %zu %s written\n",
                   static_cast<long long>(state.done.load()), jobs.size(),
                   jobs.size() == 1 ? "frame" : "frames");
      return kExitInterrupted;
    }
  }
  if (state.error) {
    std::fprintf(stderr, "prismora: %s\n", state.error->c_str());
    return kExitFailure;
  }

  if (!o.quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto depth = static_cast<Depth>(state.depth.load());
    std::string frames = std::to_string(jobs.size()) + (jobs.size() == 1 ? " frame" : " frames");
    if (jobs.size() > 1) {
      frames += " (" + std::to_string(jobs.front().frame) + "-" +
                std::to_string(jobs.back().frame) + ")";
    }
    std::printf("wrote %s, %dx%d, %s, in %s on %d %s: %s\n", frames.c_str(), source.width,
                source.height, imageio::DepthName(depth).c_str(), Seconds(seconds).c_str(),
                workers, workers == 1 ? "thread" : "threads", o.output.c_str());
  }
  return kExitOk;
}

}  // namespace prismora::cli
