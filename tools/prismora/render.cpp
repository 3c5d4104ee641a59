// prismora render: the effect applied to image files, a still or a frame
// range, on as many threads as asked, each frame through its own host
// context on the one loaded plug-in.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
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
#include "commit_queue.h"
#include "effect_renderer.h"
#include "finished_rows.h"
#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "interrupt.h"
#include "minihost/base/error.h"
#include "minihost/params/params.h"
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
  imageio::InputAlpha alpha = imageio::InputAlpha::kAsStored;
  std::string compression;  // empty: the default for the output
  int threads = 0;  // 0: one per core
  fs::path plugin = minihost::DefaultPluginPath();
  bool quiet = false;
  bool timing = false;
};

Depth ParseDepth(std::string_view text) {
  if (text == "8") return Depth::k8;
  if (text == "16") return Depth::k16;
  if (text == "32" || text == "float") return Depth::k32;
  throw UsageError{"--depth takes 8, 16 or 32, not '" + std::string(text) + "'"};
}

imageio::InputAlpha ParseAlpha(std::string_view text) {
  if (text == "straight") return imageio::InputAlpha::kStraight;
  if (text == "premultiplied") return imageio::InputAlpha::kPremultiplied;
  if (text == "ignore") return imageio::InputAlpha::kIgnore;
  throw UsageError{"--alpha takes straight, premultiplied or ignore, not '" + std::string(text) +
                   "'"};
}

RenderOptions ParseOptions(std::span<const std::string_view> args) {
  RenderOptions o;
  std::vector<std::string_view> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (TakePluginOption(args, i, o.plugin) || TakeParamOption(args, i, o.settings) ||
        TakeSettingsOption(args, i, o.settings)) {
      continue;
    }
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
    } else if (a == "--alpha") {
      o.alpha = ParseAlpha(TakeValue(args, i));
    } else if (a == "--compression") {
      o.compression = std::string(TakeValue(args, i));
      if (o.compression.empty()) throw UsageError{"--compression needs a value"};
    } else if (a == "--threads") {
      const int64_t n = ParseInteger(TakeValue(args, i), a);
      if (n < 1 || n > kMaxThreads) throw UsageError{"--threads takes 1 to 256"};
      o.threads = static_cast<int>(n);
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a == "--timing") {
      o.timing = true;
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
  // Keyframes at frame numbers count at the render's rate.
  minihost::ResolveFrames(o.settings, o.fps);
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
    // Every output a plain write could not replace is refused before any
    // work is done, and every folder is proved to take new files.
    const fs::path folder = imageio::OutputFolder(imageio::CheckReplaceable(job.output));
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
    folders.push_back(folder);
    imageio::PendingFile probe(job.output);
  }
}

std::string FramePrefix(int64_t frame, bool sequence) {
  return sequence ? "frame " + std::to_string(frame) + ": " : std::string();
}

// Time spent in one stage of the work, summed over frames and threads: by
// the clock, and the processor time of the threads doing it (which a busy
// machine disturbs less).
struct StageTime {
  std::atomic<int64_t> wall_ns{0};
  std::atomic<int64_t> cpu_ns{0};
};
struct StageTimes {
  StageTime read, render, write;
  std::atomic<int64_t> commit_ns{0};
};

int64_t ThreadCpuNs() {
#ifdef CLOCK_THREAD_CPUTIME_ID
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
#else
  return 0;  // unknown here: shown as 0
#endif
}

// Adds the time from its creation to its end, on this thread, to a stage.
class StageTimer {
 public:
  explicit StageTimer(StageTime& stage)
      : stage_(stage), start_(std::chrono::steady_clock::now()), cpu_start_(ThreadCpuNs()) {}
  ~StageTimer() {
    stage_.cpu_ns.fetch_add(ThreadCpuNs() - cpu_start_);
    stage_.wall_ns.fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now() - start_)
                                 .count());
  }
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

 private:
  StageTime& stage_;
  std::chrono::steady_clock::time_point start_;
  int64_t cpu_start_;
};

// The work of all threads, and what the main thread shows of it.
struct SharedState {
  // Each worker has a thread to spare, which writes a frame's file while
  // the worker renders it.
  bool write_alongside = false;
  std::atomic<std::size_t> next{0};
  std::atomic<int64_t> handed{0};  // frames rendered, written and handed to be committed
  std::atomic<int64_t> done{0};    // frames committed
  std::atomic<bool> stop{false};
  std::atomic<int> depth{0};  // of the rendered worlds, once known
  std::vector<std::atomic<double>> partial;  // per worker: share of its current frame
  std::mutex mutex;
  std::condition_variable changed;
  int running = 0;
  std::optional<std::string> error;  // the first failure
  std::vector<int64_t> committed;     // the frames in place, in the order committed
  StageTimes times;

  explicit SharedState(int workers) : partial(static_cast<std::size_t>(workers)) {}

  void Fail(std::string message) {
    std::lock_guard lock(mutex);
    if (!error) error = std::move(message);
    stop = true;
  }
  bool ShouldStop() const { return stop.load() || InterruptScope::Requested(); }
};

struct Source {
  imageio::InputAlpha alpha = imageio::InputAlpha::kAsStored;
  std::string compression;                 // asked for the outputs
  bool sequence = false;                   // one file per frame
  std::unique_ptr<minihost::World> still;  // the input when it is one file, shared
  imageio::ImageMetadata still_metadata;
  int width = 0;
  int height = 0;
};

// A world for `depth` pixels of width x height: `world` itself when it
// already is one, else a new one in its place.
minihost::World& WorldFor(std::unique_ptr<minihost::World>& world, int width, int height,
                          Depth depth) {
  const PF_PixelFormat format = PixelFormatOf(depth);
  if (!world || world->width() != width || world->height() != height ||
      world->format() != format) {
    world.reset();  // the old one goes first
    world = std::make_unique<minihost::World>(width, height, format);
  }
  return *world;
}

// Renders a frame on this thread while another writes its finished rows to
// the file; returns the written file. A render that fails or is stopped
// takes the file with it; a finished frame is written whole even when a stop
// comes meanwhile.
std::unique_ptr<imageio::PendingFile> RenderWhileWriting(
    EffectRenderer& renderer, const minihost::World& input, minihost::World& result,
    const Job& job, const imageio::ImageMetadata& metadata, const RowObserver& observer,
    SharedState& state) {
  auto pending = std::make_unique<imageio::PendingFile>(job.output);
  FinishedRows finished;
  std::exception_ptr write_failure;
  std::atomic<bool> write_failed{false};
  std::thread writer([&] {
    try {
      StageTimer timer(state.times.write);
      imageio::WriteImage(*pending, ViewOf(result), metadata,
                          [&](int rows) { return finished.WaitFor(rows); });
    } catch (...) {
      write_failure = std::current_exception();
      write_failed.store(true);
    }
  });
  try {
    StageTimer timer(state.times.render);
    renderer.Render(input, result, job.time, [&](const RenderProgress& progress) {
      finished.Publish(progress.final_rows);
      // A file that cannot be written ends its render.
      return !write_failed.load() && observer(progress);
    });
  } catch (const RenderStopped&) {
    finished.Abandon();
    writer.join();
    if (write_failure) std::rethrow_exception(write_failure);
    throw;
  } catch (...) {
    finished.Abandon();
    writer.join();
    throw;
  }
  finished.Publish(result.height());
  writer.join();
  if (write_failure) std::rethrow_exception(write_failure);
  return pending;
}

// Each thread takes frame after frame and reads, renders and writes it,
// keeping its worlds from one frame to the next; the finished file goes to
// the commit queue while the thread goes on. Threads at different stages of
// their frames keep reading, rendering and writing going at once.
void Work(int worker, const std::vector<Job>& jobs, const Source& source,
          std::optional<Depth> depth, std::unique_ptr<EffectRenderer> renderer,
          const std::shared_ptr<const minihost::PluginLibrary>& plugin,
          const std::vector<minihost::ParamSetting>& settings, CommitQueue& commits,
          SharedState& state) {
  std::atomic<double>& partial = state.partial[static_cast<std::size_t>(worker)];
  const RowObserver observer = [&](const RenderProgress& progress) {
    partial.store(progress.share);
    return !state.ShouldStop();
  };
  const bool write_alongside = state.write_alongside;
  std::unique_ptr<minihost::World> input_world;  // frames of a sequence
  std::unique_ptr<minihost::World> output;
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
      const minihost::World* input = source.still.get();
      const imageio::ImageMetadata* metadata = &source.still_metadata;
      imageio::ImageMetadata frame_metadata;
      if (source.sequence) {
        StageTimer timer(state.times.read);
        frame_metadata = imageio::ReadImage(job->input, depth, [&](int w, int h, Depth d) {
          if (w != source.width || h != source.height) {
            throw imageio::ImageError(Quote(job->input) + " is " + std::to_string(w) + "x" +
                                      std::to_string(h) + ", unlike the sequence's first frame");
          }
          return ViewOf(WorldFor(input_world, w, h, d));
        }, source.alpha);
        frame_metadata.output_compression = source.compression;
        input = input_world.get();
        metadata = &frame_metadata;
      }
      const Depth frame_depth = ViewOf(*input).depth;
      minihost::World& result = WorldFor(output, source.width, source.height, frame_depth);
      std::unique_ptr<imageio::PendingFile> pending;
      if (write_alongside) {
        pending = RenderWhileWriting(*renderer, *input, result, *job, *metadata, observer, state);
      } else {
        {
          StageTimer timer(state.times.render);
          renderer->Render(*input, result, job->time, observer);
        }
        // A finished frame is written whole even when a stop comes meanwhile.
        pending = std::make_unique<imageio::PendingFile>(job->output);
        StageTimer timer(state.times.write);
        imageio::WriteImage(*pending, ViewOf(result), *metadata);
      }
      state.depth.store(static_cast<int>(frame_depth));
      state.handed.fetch_add(1);
      partial.store(0.0);
      commits.Commit(job->frame, std::move(pending));
    }
  } catch (const RenderStopped&) {
  } catch (const std::bad_alloc&) {
    const std::string prefix = job != nullptr ? FramePrefix(job->frame, jobs.size() > 1) : "";
    state.Fail(prefix + "not enough memory for a " + std::to_string(source.width) + "x" +
               std::to_string(source.height) + " image on " +
               std::to_string(state.partial.size()) + " threads (try fewer --threads)");
  } catch (const std::exception& e) {
    const std::string prefix = job != nullptr ? FramePrefix(job->frame, jobs.size() > 1) : "";
    state.Fail(prefix + e.what());
  }
  partial.store(0.0);
  std::lock_guard lock(state.mutex);
  --state.running;
  state.changed.notify_all();
}

// For benchmarks: where the time went, on stderr.
void PrintTiming(const StageTimes& times, std::size_t frames, int workers,
                 std::chrono::steady_clock::time_point start) {
  auto s = [](const std::atomic<int64_t>& ns) { return static_cast<double>(ns.load()) * 1e-9; };
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr,
               "prismora: timing: read %.4f s, render %.4f s, write %.4f s, commit %.4f s "
               "(summed over %zu %s on %d %s; processor time: read %.4f s, render %.4f s, "
               "write %.4f s); %.4f s from the first read to the last commit\n",
               s(times.read.wall_ns), s(times.render.wall_ns), s(times.write.wall_ns),
               s(times.commit_ns), frames, frames == 1 ? "frame" : "frames", workers,
               workers == 1 ? "thread" : "threads", s(times.read.cpu_ns), s(times.render.cpu_ns),
               s(times.write.cpu_ns), wall);
}

// Which frames of a sequence that stopped are in place: "frames 1-4, 7
// were written whole" or "no frame was written".
std::string WrittenFrames(std::vector<int64_t> frames) {
  if (frames.empty()) return "no frame was written";
  std::sort(frames.begin(), frames.end());
  std::string ranges;
  for (std::size_t i = 0; i < frames.size();) {
    std::size_t j = i;
    while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1) ++j;
    if (!ranges.empty()) ranges += ", ";
    ranges += std::to_string(frames[i]);
    if (j > i) {
      ranges += '-';
      ranges += std::to_string(frames[j]);
    }
    i = j + 1;
  }
  std::string text = frames.size() == 1 ? "frame " : "frames ";
  text += ranges;
  text += frames.size() == 1 ? " was written whole" : " were written whole";
  return text;
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
  // From the first temporary file on (the probes), a signal leaves none.
  InterruptScope interrupts;
  CheckOutputs(jobs);
  if (!o.compression.empty()) {
    try {
      imageio::CheckCompression(jobs.front().output, o.compression);
    } catch (const imageio::ImageError& e) {
      throw UsageError{e.what()};
    }
  }
  const auto start = std::chrono::steady_clock::now();

  // Each thread renders whole frames; a single frame leaves the other cores
  // to the format libraries.
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int budget = o.threads > 0 ? o.threads : cores;
  const int workers =
      static_cast<int>(std::min<int64_t>(budget, static_cast<int64_t>(jobs.size())));
  imageio::SetFileThreads(std::max(1, budget / workers));
  SharedState state(workers);
  state.write_alongside = budget >= 2 * workers;

  // The input: one file read now, or a sequence whose frames must all be
  // there and of one size.
  Source source;
  source.alpha = o.alpha;
  source.compression = o.compression;
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
    StageTimer timer(state.times.read);
    source.still_metadata =
        imageio::ReadImage(jobs.front().input, o.depth, [&](int w, int h, Depth d) {
          source.width = w;
          source.height = h;
          return ViewOf(WorldFor(source.still, w, h, d));
        }, o.alpha);
    source.still_metadata.output_compression = o.compression;
    // Known to be unwritable before any rendering is done.
    imageio::CheckWritableFormat(jobs.front().output, ViewOf(*source.still).depth);
  }

  // The settings are checked once, before any thread starts.
  const auto plugin = minihost::PluginLibrary::Load(o.plugin);
  std::unique_ptr<EffectRenderer> first;
  try {
    first = std::make_unique<EffectRenderer>(plugin, source.width, source.height, o.settings);
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }

  if (InterruptScope::Requested()) {
    std::fprintf(stderr, "prismora: %s: nothing written\n", InterruptScope::Verb());
    return InterruptScope::ExitCode();
  }
  {
    ProgressBar bar(!o.quiet, static_cast<int64_t>(jobs.size()));
    CommitQueue commits([&](int64_t frame, const std::string* error) {
      if (error != nullptr) {
        state.Fail(FramePrefix(frame, jobs.size() > 1) + *error);
      } else {
        std::lock_guard lock(state.mutex);
        state.committed.push_back(frame);
        state.done.fetch_add(1);
      }
      std::lock_guard lock(state.mutex);
      state.changed.notify_all();
    });
    std::vector<std::thread> threads;
    state.running = workers;
    for (int w = 0; w < workers; ++w) {
      threads.emplace_back(Work, w, std::cref(jobs), std::cref(source), o.depth,
                           w == 0 ? std::move(first) : nullptr, std::cref(plugin),
                           std::cref(o.settings), std::ref(commits), std::ref(state));
    }
    {
      std::unique_lock lock(state.mutex);
      while (state.running > 0) {
        state.changed.wait_for(lock, std::chrono::milliseconds(100));
        double work = static_cast<double>(state.handed.load());
        for (const auto& p : state.partial) work += p.load();
        bar.Show(work, state.done.load());
      }
    }
    for (std::thread& t : threads) t.join();
    commits.Finish();
    state.times.commit_ns.store(commits.busy_ns());
    bar.Clear();
    if (InterruptScope::Requested()) {
      std::fprintf(stderr, "prismora: %s: %lld of %zu %s written\n", InterruptScope::Verb(),
                   static_cast<long long>(state.done.load()), jobs.size(),
                   jobs.size() == 1 ? "frame" : "frames");
      return InterruptScope::ExitCode();
    }
  }
  if (state.error) {
    std::string message = *state.error;
    if (jobs.size() > 1) message += "; " + WrittenFrames(state.committed);
    std::fprintf(stderr, "prismora: %s\n", message.c_str());
    return kExitFailure;
  }
  if (o.timing) PrintTiming(state.times, jobs.size(), workers, start);

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
