// prismora render: the effect applied to footage (a still, an image
// sequence, a movie) into image files or a movie, a frame or a frame range,
// on as many threads as asked, each frame through its own host context on
// the one loaded plug-in. Frames come from a FrameSource and go to a
// FrameSink, so that the loop here is the same for every kind of file.
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
#include "effect_renderer.h"
#include "frame_sink.h"
#include "frame_source.h"
#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "interrupt.h"
#include "media/movie_reader.h"
#include "media/movie_writer.h"
#include "movie_timeline.h"
#include "minihost/base/error.h"
#include "minihost/params/params.h"
#include "progress_bar.h"
#include "render_job.h"
#include "sequence.h"
#include "stage_times.h"
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
  std::optional<minihost::KeyTime> time;  // a still's, in seconds or a frame at the rate
  std::optional<int64_t> frame;
  std::optional<FrameRange> frames;
  std::optional<media::FrameRate> fps;  // default: the movie's, or 30
  std::optional<Depth> depth;
  imageio::InputAlpha alpha = imageio::InputAlpha::kAsStored;
  std::string compression;  // empty: the default for the output
  std::optional<media::Codec> codec;  // movie outputs
  std::optional<int> crf;
  media::AudioChoice audio = media::AudioChoice::kDefault;
  bool subtitles = true;
  int threads = 0;  // 0: one per core
  fs::path plugin = minihost::DefaultPluginPath();
  bool quiet = false;
  bool verbose = false;  // the libraries' own logs
  bool timing = false;
  bool check_only = false;  // everything checked, nothing rendered (prismora farm)
};

Depth ParseDepth(std::string_view text) {
  if (text == "8") return Depth::k8;
  if (text == "16") return Depth::k16;
  if (text == "32" || text == "float") return Depth::k32;
  throw UsageError{"--depth takes 8, 16 or 32, not '" + std::string(text) + "'"};
}

media::AudioChoice ParseAudio(std::string_view text) {
  if (const auto choice = media::ParseAudioChoice(text)) return *choice;
  throw UsageError{"--audio takes copy, aac or none, not '" + std::string(text) + "'"};
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
      o.time = ParseTime(TakeValue(args, i), a);
    } else if (a == "--frame") {
      o.frame = ParseInteger(TakeValue(args, i), a);
      if (*o.frame < 0) throw UsageError{"--frame takes a frame number from 0"};
    } else if (a == "--frames") {
      o.frames = ParseFrameRange(TakeValue(args, i));
    } else if (a == "--fps") {
      o.fps = ParseRate(TakeValue(args, i), a);
    } else if (a == "--codec") {
      const std::string_view name = TakeValue(args, i);
      o.codec = media::ParseCodec(name);
      if (!o.codec) {
        throw UsageError{"--codec takes h264, prores or ffv1, not '" + std::string(name) + "'"};
      }
    } else if (a == "--crf") {
      const int64_t crf = ParseInteger(TakeValue(args, i), a);
      if (crf < 0 || crf > 51) throw UsageError{"--crf takes 0 (lossless) to 51"};
      o.crf = static_cast<int>(crf);
    } else if (a == "--audio") {
      o.audio = ParseAudio(TakeValue(args, i));
    } else if (a == "--subtitles") {
      const std::string_view choice = TakeValue(args, i);
      if (choice != "copy" && choice != "none") {
        throw UsageError{"--subtitles takes copy or none, not '" + std::string(choice) + "'"};
      }
      o.subtitles = choice == "copy";
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
    } else if (a == "-v" || a == "--verbose") {
      o.verbose = true;
    } else if (a == "--timing") {
      o.timing = true;
    } else if (a == "--check-only") {
      o.check_only = true;
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
  RefuseUnfollowedAnimation(o.settings);
  o.input = std::string(positional[0]);
  o.output = std::string(positional[1]);
  if (o.time && o.frame) throw UsageError{"give --time or --frame, not both"};
  if (o.frames && (o.time || o.frame)) {
    throw UsageError{"--frames renders a range: it takes neither --time nor --frame"};
  }
  return o;
}

bool SamePath(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// What the input is, found before the frames are planned: a movie gives the
// frame rate and the frames there are.
enum class InputKind { kStill, kSequence, kMovie };

InputKind KindOf(const PathPattern& in) {
  if (in.is_sequence()) return InputKind::kSequence;
  if (media::IsMovieName(in.text())) return InputKind::kMovie;
  return InputKind::kStill;
}

// The frames to render; for a movie, `timeline` gets where they lie.
std::vector<Job> PlanJobs(const RenderOptions& o, const PathPattern& in, const PathPattern& out,
                          const media::MovieReader* movie, bool movie_out,
                          const media::FrameRate& rate, MovieTimeline& timeline) {
  const int64_t movie_frames = movie != nullptr ? RenderedFrames(movie->info(), o.fps) : 0;
  FrameRange range{0, 0};
  if (o.frames) {
    range = *o.frames;
  } else if (o.frame) {
    range = {*o.frame, *o.frame};
  } else if (movie != nullptr) {
    range = {0, movie_frames - 1};
  } else if (in.is_sequence() || out.is_sequence()) {
    throw UsageError{std::string(in.is_sequence() ? "INPUT" : "OUTPUT") +
                     " is a sequence pattern: give the frames with --frames A-B or --frame N"};
  }
  if (range.count() > kMaxFrames) {
    throw UsageError{"--frames covers " + std::to_string(range.count()) +
                     " frames; at most 1000000 at once"};
  }
  if (range.count() > 1 && !out.is_sequence() && !movie_out) {
    throw UsageError{"OUTPUT must be a sequence pattern (like out.####.png or out.%04d.png) or a "
                     "movie (out.mov, out.mp4, out.mkv) to hold " +
                     std::to_string(range.count()) + " frames"};
  }
  if (movie != nullptr && range.last >= movie_frames) {
    throw media::MovieError(Quote(movie->path()) + " ends at frame " +
                            std::to_string(movie_frames - 1) +
                            (o.fps ? " at " + media::RateText(*o.fps) + " frames a second" : "") +
                            ": frame " + std::to_string(range.last) + " is not in it");
  }
  std::vector<Job> jobs;
  if (movie != nullptr) {
    timeline = PlanMovie(movie->info(), o.fps, range);
    for (const MovieFrame& f : timeline.frames) {
      const int64_t n = range.first + static_cast<int64_t>(jobs.size());
      jobs.push_back({n, f.time, in.Frame(n), out.Frame(n), f.input});
    }
    return jobs;
  }
  for (int64_t n = range.first; n <= range.last; ++n) {
    const HostTime time = o.time ? TimeOf(*o.time, rate) : TimeOfFrame(n, rate);
    jobs.push_back({n, time, in.Frame(n), out.Frame(n), n});
  }
  return jobs;
}

// Everything that can be known to be wrong with image outputs before
// rendering starts.
void CheckImageOutputs(const std::vector<Job>& jobs) {
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

// The same for a movie output, of which only the format can be checked
// before the input is open.
void CheckMovieTarget(const std::vector<Job>& jobs, const fs::path& output) {
  for (const Job& job : jobs) {
    if (SamePath(job.input, output)) {
      throw UsageError{"the output " + Quote(output) +
                       " is the input: write the result to another file"};
    }
  }
  imageio::CheckReplaceable(output);
}

std::string FramePrefix(int64_t frame, bool sequence) {
  return sequence ? "frame " + std::to_string(frame) + ": " : std::string();
}

// The work of all threads, and what the main thread shows of it.
struct SharedState {
  std::atomic<std::size_t> next{0};
  std::atomic<int64_t> handed{0};  // frames rendered and handed to the output
  std::atomic<int64_t> done{0};    // frames in place
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

// Each thread takes frame after frame and reads, renders and hands it to
// the output, keeping its worlds from one frame to the next. Threads at
// different stages of their frames keep reading, rendering and writing
// going at once.
void Work(int worker, const std::vector<Job>& jobs, FrameSource& source, FrameSink& sink,
          std::unique_ptr<EffectRenderer> renderer,
          const std::shared_ptr<const minihost::PluginLibrary>& plugin,
          const std::vector<minihost::ParamSetting>& settings, SharedState& state) {
  std::atomic<double>& partial = state.partial[static_cast<std::size_t>(worker)];
  const RowObserver observer = [&](const RenderProgress& progress) {
    partial.store(progress.share);
    return !state.ShouldStop();
  };
  FrameScratch scratch;
  std::unique_ptr<minihost::World> output;
  const Job* job = nullptr;
  try {
    if (!renderer) {
      renderer = std::make_unique<EffectRenderer>(plugin, source.width(), source.height(),
                                                  settings, source.pixel_aspect());
    }
    while (!state.ShouldStop()) {
      const std::size_t i = state.next.fetch_add(1);
      if (i >= jobs.size()) break;
      job = &jobs[i];
      partial.store(0.0);
      SourceFrame input;
      {
        StageTimer timer(state.times.read);
        input = source.Read(*job, scratch);
      }
      const imageio::Depth frame_depth = ViewOf(*input.world).depth;
      minihost::World& result = WorldFor(output, source.width(), source.height(), frame_depth);
      sink.Take(*job, result, *input.metadata, [&](const RowObserver& rows) {
        StageTimer timer(state.times.render);
        if (!rows) {
          renderer->Render(*input.world, result, job->time, observer);
        } else {
          renderer->Render(*input.world, result, job->time, [&](const RenderProgress& p) {
            return rows(p) && observer(p);
          });
        }
      });
      state.depth.store(static_cast<int>(frame_depth));
      state.handed.fetch_add(1);
      partial.store(0.0);
    }
  } catch (const RenderStopped&) {
  } catch (const media::MovieFrameError& e) {
    state.Fail(e.what());  // names the frame itself
  } catch (const std::bad_alloc&) {
    const std::string prefix = job != nullptr ? FramePrefix(job->frame, jobs.size() > 1) : "";
    state.Fail(prefix + "not enough memory for a " + std::to_string(source.width()) + "x" +
               std::to_string(source.height()) + " image on " +
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

template <class F>
auto AsUsage(F&& f) {
  try {
    return f();
  } catch (const media::MovieUsageError& e) {
    throw UsageError{e.what()};
  }
}

}  // namespace

int RunRender(std::span<const std::string_view> args) {
  RenderOptions o = ParseOptions(args);
  const PathPattern in = PathPattern::Parse(o.input);
  const PathPattern out = PathPattern::Parse(o.output);
  InputKind kind = KindOf(in);
  const bool movie_out = media::IsMovieName(o.output);
  media::SetLibraryLogs(o.verbose);
  if (movie_out && out.is_sequence()) {
    throw UsageError{"a movie holds every frame: OUTPUT " + Quote(o.output) +
                     " takes no frame number"};
  }
  if (!movie_out && (o.codec || o.crf || o.audio != media::AudioChoice::kDefault ||
                     !o.subtitles)) {
    const char* option = o.codec ? "--codec"
                         : o.crf ? "--crf"
                         : o.audio != media::AudioChoice::kDefault ? "--audio"
                                                                    : "--subtitles";
    throw UsageError{std::string(option) + " is for movie outputs (.mov, .mp4, .mkv)"};
  }
  if ((kind != InputKind::kMovie || !movie_out) && !imageio::HaveImageFiles()) {
    throw imageio::ImageError("this build of prismora cannot read or write image files "
                              "(built without OpenImageIO)");
  }
  // A still that image readers take for a movie is one.
  if (kind == InputKind::kStill && imageio::ReadsAsMovie(in.text())) kind = InputKind::kMovie;
  std::unique_ptr<media::MovieReader> movie;
  if (kind == InputKind::kMovie) {
    if (o.time) {
      throw UsageError{"a movie's frames are chosen with --frame N or --frames A-B, not --time"};
    }
    movie = std::make_unique<media::MovieReader>(in.text(), o.alpha);
  }
  const media::FrameRate movie_rate = movie ? movie->info().rate : media::FrameRate{};
  const media::FrameRate rate = o.fps.value_or(movie_rate);
  // Keyframes at frame numbers count at the render's rate (a variable-rate
  // movie's nominal one).
  minihost::ResolveFrames(o.settings, rate.num, rate.den);
  MovieTimeline timeline;
  const std::vector<Job> jobs = PlanJobs(o, in, out, movie.get(), movie_out, rate, timeline);
  // From the first temporary file on (the probes), a signal leaves none.
  InterruptScope interrupts;
  if (movie_out) {
    CheckMovieTarget(jobs, o.output);
    // The format, codec and options before any input is read.
    media::MovieOutput probe;
    probe.target = o.output;
    probe.codec = o.codec;
    probe.crf = o.crf;
    probe.depth = o.depth;
    probe.width = probe.height = 2;
    AsUsage([&] { media::CheckMovieOutput(probe); });
  } else {
    CheckImageOutputs(jobs);
    if (!o.compression.empty()) {
      try {
        imageio::CheckCompression(jobs.front().output, o.compression);
      } catch (const imageio::ImageError& e) {
        throw UsageError{e.what()};
      }
    }
  }
  if (movie_out && !o.compression.empty()) {
    throw UsageError{"--compression is for image outputs: movies take --codec and --crf"};
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

  // The input: one file read now, a sequence whose frames must all be there
  // and of one size, or the movie.
  const SourceOptions source_options{o.depth, o.alpha, o.compression};
  std::unique_ptr<FrameSource> source;
  switch (kind) {
    case InputKind::kSequence: source = OpenSequence(jobs, source_options); break;
    case InputKind::kMovie: {
      std::vector<int64_t> shown;
      for (const Job& job : jobs) shown.push_back(job.input_frame);
      source = OpenMovieSource(std::move(movie), source_options, shown);
      break;
    }
    case InputKind::kStill: {
      StageTimer timer(state.times.read);
      source = OpenStill(jobs.front().input, source_options);
      // Known to be unwritable before any rendering is done.
      if (!movie_out) imageio::CheckWritableFormat(jobs.front().output, source->depth());
      break;
    }
  }

  // The output, set up before any rendering, so that what it cannot hold
  // is said first.
  SinkContext context;
  context.done = [&](int64_t frame, const std::string* error) {
    if (error != nullptr) {
      state.Fail(FramePrefix(frame, jobs.size() > 1) + *error);
    } else {
      std::lock_guard lock(state.mutex);
      state.committed.push_back(frame);
      state.done.fetch_add(1);
    }
    std::lock_guard lock(state.mutex);
    state.changed.notify_all();
  };
  context.should_stop = [&] { return state.ShouldStop(); };
  context.times = &state.times;
  std::unique_ptr<FrameSink> sink;
  if (movie_out) {
    media::MovieOutput output;
    output.target = o.output;
    output.codec = o.codec;
    output.crf = o.crf;
    output.depth = o.depth;
    output.rate = rate;
    output.width = source->width();
    output.height = source->height();
    output.pixel_aspect = source->pixel_aspect();
    output.world_depth = source->depth();
    output.alpha = source->has_alpha();
    output.alpha_source = Quote(in.is_sequence() ? jobs.front().input : fs::path(o.input));
    if (kind == InputKind::kMovie) {
      DescribeOutput(timeline, o.input, movie_rate, output);
      output.audio = o.audio;
      output.subtitles = o.subtitles;
    }
    output.frames = static_cast<int64_t>(jobs.size());
    output.threads = workers;
    for (const std::string& notice : AsUsage([&] { return media::CheckMovieOutput(output); })) {
      std::fprintf(stderr, "prismora: note: %s\n", notice.c_str());
    }
    sink = MovieSink(context, output, jobs.front().frame);
  } else {
    sink = ImageFilesSink(context, budget >= 2 * workers);
  }

  // The settings are checked once, before any thread starts.
  const auto plugin = minihost::PluginLibrary::Load(o.plugin);
  std::unique_ptr<EffectRenderer> first;
  try {
    first = std::make_unique<EffectRenderer>(plugin, source->width(), source->height(),
                                             o.settings, source->pixel_aspect());
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }
  if (o.check_only) {
    sink->Finish(false);
    return kExitOk;
  }

  if (InterruptScope::Requested()) {
    std::fprintf(stderr, "prismora: %s: nothing written\n", InterruptScope::Verb());
    return InterruptScope::ExitCode();
  }
  {
    ProgressBar bar(!o.quiet, static_cast<int64_t>(jobs.size()));
    std::vector<std::thread> threads;
    state.running = workers;
    for (int w = 0; w < workers; ++w) {
      threads.emplace_back(Work, w, std::cref(jobs), std::ref(*source), std::ref(*sink),
                           w == 0 ? std::move(first) : nullptr, std::cref(plugin),
                           std::cref(o.settings), std::ref(state));
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
    const bool complete = !state.error && !InterruptScope::Requested() &&
                          state.handed.load() == static_cast<int64_t>(jobs.size());
    try {
      sink->Finish(complete);
    } catch (const std::exception& e) {
      state.Fail(e.what());
    }
    bar.Clear();
    if (InterruptScope::Requested()) {
      if (sink->whole_only()) {
        std::fprintf(stderr, "prismora: %s: nothing written\n", InterruptScope::Verb());
      } else {
        std::fprintf(stderr, "prismora: %s: %lld of %zu %s written\n", InterruptScope::Verb(),
                     static_cast<long long>(state.done.load()), jobs.size(),
                     jobs.size() == 1 ? "frame" : "frames");
      }
      return InterruptScope::ExitCode();
    }
  }
  if (state.error) {
    std::string message = *state.error;
    if (sink->whole_only()) {
      message += "; nothing was written";
    } else if (jobs.size() > 1) {
      message += "; " + WrittenFrames(state.committed);
    }
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
    std::printf("wrote %s, %dx%d, %s, in %s on %d %s: %s\n", frames.c_str(), source->width(),
                source->height(), imageio::DepthName(depth).c_str(), Seconds(seconds).c_str(),
                workers, workers == 1 ? "thread" : "threads", o.output.c_str());
  }
  return kExitOk;
}

}  // namespace prismora::cli
