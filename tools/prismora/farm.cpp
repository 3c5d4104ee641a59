// prismora farm IN OUT --chunk N [render options]: a shot split into chunks
// of N frames, rendered as a Slurm array job, one task per chunk, and for a
// movie joined by one assembly job after them. Everything `prismora render`
// would refuse is refused here before anything is submitted.
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "farm_commands.h"
#include "farm_script.h"
#include "farm_slurm.h"
#include "imageio/image_file.h"
#include "interrupt.h"
#include "media/movie_names.h"
#include "media/movie_reader.h"
#include "minihost/driver/session.h"
#include "movie_timeline.h"
#include "render_job.h"
#include "settings_file.h"
#include "version.h"

namespace prismora::cli {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMaxChunks = 100'000;  // far beyond what a scheduler takes in one array

struct FarmOptions {
  std::string input, output;
  int64_t chunk = 0;
  bool wait = false, dry_run = false, quiet = false;
  std::optional<fs::path> job_dir;
  std::string partition;
  std::optional<int> cpus_per_task, assembly_cpus, max_running;
  std::vector<std::string> sbatch_args;
  int max_retries = 2;
  // The render's, as given: checked by render itself, then carried to the
  // chunks.
  std::vector<std::string> render_args;
  std::vector<minihost::ParamSetting> settings;
  std::optional<FrameRange> frames;
  std::optional<media::FrameRate> fps;
  std::optional<int> depth;
  std::optional<std::string> codec;
  std::optional<int> crf;
  fs::path plugin = minihost::DefaultPluginPath();
};

int PositiveOption(std::span<const std::string_view> args, std::size_t& i, int64_t most) {
  const std::string_view option = args[i];
  const int64_t n = ParseInteger(TakeValue(args, i), option);
  if (n < 1 || n > most) {
    throw UsageError{std::string(option) + " takes 1 to " + std::to_string(most)};
  }
  return static_cast<int>(n);
}

FarmOptions ParseFarmOptions(std::span<const std::string_view> args) {
  FarmOptions o;
  std::vector<std::string_view> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const std::size_t from = i;
    // The render's options: kept as given for render's own checks.
    auto keep = [&] {
      for (std::size_t k = from; k <= i; ++k) o.render_args.emplace_back(args[k]);
    };
    if (TakeParamOption(args, i, o.settings) || TakeSettingsOption(args, i, o.settings)) {
      keep();
    } else if (TakePluginOption(args, i, o.plugin)) {
      keep();
    } else if (a == "--chunk") {
      o.chunk = PositiveOption(args, i, 1'000'000);
    } else if (a == "--wait") {
      o.wait = true;
    } else if (a == "--dry-run") {
      o.dry_run = true;
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a == "-v" || a == "--verbose") {
      keep();
    } else if (a == "--job-dir") {
      o.job_dir = fs::path(std::string(TakeValue(args, i)));
    } else if (a == "--partition") {
      o.partition = std::string(TakeValue(args, i));
    } else if (a == "--cpus-per-task") {
      o.cpus_per_task = PositiveOption(args, i, 4096);
    } else if (a == "--assembly-cpus") {
      o.assembly_cpus = PositiveOption(args, i, 4096);
    } else if (a == "--max-running") {
      o.max_running = PositiveOption(args, i, 1'000'000);
    } else if (a == "--max-retries") {
      const int64_t n = ParseInteger(TakeValue(args, i), a);
      if (n < 0 || n > 100) throw UsageError{"--max-retries takes 0 to 100"};
      o.max_retries = static_cast<int>(n);
    } else if (a == "--sbatch-arg") {
      o.sbatch_args.emplace_back(TakeValue(args, i));
    } else if (a.starts_with("--sbatch-arg=")) {
      o.sbatch_args.emplace_back(a.substr(a.find('=') + 1));
    } else if (a == "--frames") {
      o.frames = ParseFrameRange(TakeValue(args, i));
      keep();
    } else if (a == "--fps") {
      o.fps = media::ParseFrameRate(TakeValue(args, i));
      keep();
    } else if (a == "--depth") {
      const std::string_view d = TakeValue(args, i);
      o.depth = d == "8" ? 8 : d == "16" ? 16 : 32;
      keep();
    } else if (a == "--codec") {
      o.codec = std::string(TakeValue(args, i));
      keep();
    } else if (a == "--crf") {
      o.crf = static_cast<int>(ParseInteger(TakeValue(args, i), a));
      keep();
    } else if (a == "--alpha" || a == "--compression" || a == "--threads" || a == "--audio" ||
               a == "--subtitles") {
      TakeValue(args, i);
      keep();
    } else if (a == "--frame" || a == "--time") {
      throw UsageError{"farm renders a frame range: give --frames A-B (or nothing for a whole "
                       "movie), not " + std::string(a)};
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"farm: unknown option '" + std::string(a) + "'"};
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    throw UsageError{"farm needs INPUT and OUTPUT (" + std::to_string(positional.size()) +
                     (positional.size() == 1 ? " path" : " paths") + " given)"};
  }
  if (o.chunk == 0) throw UsageError{"farm needs --chunk N: the frames each task renders"};
  o.input = std::string(positional[0]);
  o.output = std::string(positional[1]);
  return o;
}

// Everything render would refuse, found by render itself on the whole
// shot, without rendering. An output folder made for the check goes again
// when it fails.
int CheckWithRender(const FarmOptions& o) {
  std::vector<std::string> words = {o.input, o.output, "--check-only", "-q"};
  words.insert(words.end(), o.render_args.begin(), o.render_args.end());
  const std::vector<std::string_view> args(words.begin(), words.end());
  return RunRender(args);
}

struct Shot {
  FrameRange frames;
  media::FrameRate rate{30, 1};
  std::optional<media::MovieInfo> movie;
  int world_depth = 8;
};

Shot ShotOf(const FarmOptions& o) {
  Shot shot;
  const PathPattern in = PathPattern::Parse(o.input);
  const bool movie_in = !in.is_sequence() &&
                        (media::IsMovieName(o.input) || imageio::ReadsAsMovie(o.input));
  if (movie_in) {
    const media::MovieReader reader(o.input, imageio::InputAlpha::kAsStored);
    shot.movie = reader.info();
    shot.rate = shot.movie->rate;
    shot.frames = {0, RenderedFrames(*shot.movie, o.fps) - 1};
    shot.world_depth = static_cast<int>(shot.movie->depth);
  }
  if (o.fps) shot.rate = *o.fps;
  if (o.frames) shot.frames = *o.frames;
  if (!movie_in) {
    shot.world_depth =
        static_cast<int>(imageio::ReadImageSize(in.Frame(shot.frames.first)).depth);
  }
  if (o.depth) shot.world_depth = *o.depth;
  return shot;
}

// The look as one file, keyframes at frames counted at the shot's rate
// (as render counts them: at --fps, or at a movie's own rate).
void SaveSettings(const FarmJob& job, std::vector<minihost::ParamSetting> settings) {
  const media::FrameRate rate = media::ParseFrameRate(job.rate).value_or(media::FrameRate{30, 1});
  minihost::ResolveFrames(settings, rate.num, rate.den);
  minihost::Host host(minihost::PluginLibrary::Load(job.plugin));
  minihost::Session session(host);
  if (const PF_Err err = session.Start(); err != PF_Err_NONE) {
    throw std::runtime_error("applying the effect failed with error " + std::to_string(err));
  }
  try {
    session.ApplySettings(settings);
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }
  WriteSettingsFile(job.Settings(), session.user_settings(), session.params().declared());
}

FarmJob JobOf(const FarmOptions& o, const Shot& shot) {
  std::error_code ec;
  FarmJob job;
  job.output = fs::absolute(o.output, ec);
  job.input = fs::absolute(o.input, ec);
  job.folder = fs::absolute(o.job_dir.value_or(DefaultJobFolder(o.output)), ec).lexically_normal();
  job.tool = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot find this program's own path: " + ec.message());
  job.tool_version = std::string(ToolVersion());
  job.plugin = fs::absolute(o.plugin, ec);
  job.plugin_version = PluginVersion(job.plugin);
  job.movie_output = media::IsMovieName(o.output);
  job.shot = shot.frames;
  job.chunk_size = o.chunk;
  job.rate = media::RateText(shot.rate);
  job.render_args = {"--settings", job.Settings().string(), "--plugin", job.plugin.string()};
  // A movie keeps its frames' own times unless a rate was asked, which
  // conforms it; other inputs take their frames' times from the rate.
  job.conform = !shot.movie || o.fps.has_value();
  if (job.conform) {
    job.render_args.insert(job.render_args.begin(), {"--fps", job.rate});
  }
  // The rest of the render's options as given; those now in the job's own
  // form (the look, the rate, the range, the plug-in) and the movie's own
  // (the assembly's) stay out.
  for (std::size_t i = 0; i < o.render_args.size(); ++i) {
    const std::string& a = o.render_args[i];
    if (a == "-p" || a == "--param" || a == "-e" || a == "--expression" || a == "--settings" ||
        a == "--fps" || a == "--frames" || a == "--plugin" || a == "--codec" || a == "--crf") {
      ++i;
      continue;
    }
    job.render_args.push_back(a);
  }
  job.codec = o.codec;
  job.crf = o.crf;
  job.depth = o.depth;
  job.world_depth = shot.world_depth;
  job.audio = shot.movie.has_value() && job.movie_output;
  job.partition = o.partition;
  job.cpus_per_task = o.cpus_per_task;
  job.assembly_cpus = o.assembly_cpus;
  job.max_running = o.max_running;
  job.sbatch_args = o.sbatch_args;
  job.max_retries = o.max_retries;
  return job;
}

}  // namespace

int RunFarm(std::span<const std::string_view> args) {
  const std::string_view verb = args.empty() ? std::string_view() : args[0];
  const std::span<const std::string_view> rest = args.empty() ? args : args.subspan(1);
  if (verb == "status") return RunFarmStatus(rest);
  if (verb == "resume") return RunFarmResume(rest);
  // What the scheduler's tasks run.
  if (verb == "chunk") return RunFarmChunk(rest);
  if (verb == "assemble") return RunFarmAssemble(rest);
  return RunFarmSubmit(args);
}

int RunFarmSubmit(std::span<const std::string_view> args) {
  const FarmOptions o = ParseFarmOptions(args);
  // The output's folder is made for the chunks (and the job folder beside
  // it), and taken away again when the shot is refused.
  std::error_code ec;
  fs::path made;
  for (fs::path p = fs::absolute(o.output, ec).parent_path(); !p.empty() && !fs::exists(p, ec);
       p = p.parent_path()) {
    made = p;
  }
  if (!made.empty()) fs::create_directories(fs::absolute(o.output, ec).parent_path(), ec);
  auto unmake = [&] {
    if (!made.empty()) fs::remove_all(made, ec);
  };
  Shot shot;
  FarmJob job;
  try {
    if (const int code = CheckWithRender(o); code != kExitOk) {
      unmake();
      return code;
    }
    shot = ShotOf(o);
    if ((shot.frames.count() + o.chunk - 1) / o.chunk > kMaxChunks) {
      throw UsageError{"--chunk " + std::to_string(o.chunk) + " makes more than 100000 chunks"};
    }
    if (!o.dry_run) {
      if (const auto missing = SchedulerMissing()) throw std::runtime_error(*missing);
    }
    job = JobOf(o, shot);
    CreateJobFolder(job);
  } catch (...) {
    unmake();
    throw;
  }
  InterruptScope interrupts;
  SaveSettings(job, o.settings);
  WriteWholeFile(job.ChunkScript(), ChunkScript(job), true);
  if (job.movie_output) WriteWholeFile(job.AssemblyScript(), AssemblyScript(job), true);
  const std::vector<Chunk> chunks = job.Chunks();
  if (!o.quiet) {
    std::printf("prismora farm: %s in %zu %s of %lld frames (the last %lld) at %s fps; job "
                "folder %s\n",
                FramesText(job.shot).c_str(), chunks.size(), chunks.size() == 1 ? "chunk" : "chunks",
                static_cast<long long>(job.chunk_size),
                static_cast<long long>(chunks.back().frames.count()), job.rate.c_str(),
                job.folder.string().c_str());
  }
  SubmitMissing(job, o.dry_run);
  if (o.dry_run || !o.wait) {
    return InterruptScope::Requested() ? InterruptScope::ExitCode() : kExitOk;
  }
  return WaitForJob(job, o.quiet);
}

}  // namespace prismora::cli
