// prismora farm assemble JOBDIR: what the assembly job runs once every
// chunk is whole. The chunks' lossless movies are read in order and handed
// to the writer `prismora render` uses, set up as a render of the whole
// shot would set it up (codec, rate, colour, the input's audio over the
// shot's span), so that the movie equals a single render frame for frame.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "commands.h"
#include "farm_commands.h"
#include "frame_source.h"
#include "interrupt.h"
#include "media/movie_reader.h"
#include "media/movie_writer.h"
#include "movie_timeline.h"
#include "render_job.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

namespace fs = std::filesystem;

media::MovieOutput OutputOf(const FarmJob& job, const media::MovieInfo& first) {
  media::MovieOutput o;
  o.target = job.output;
  if (job.codec) o.codec = media::ParseCodec(*job.codec);
  o.crf = job.crf;
  if (job.depth) o.depth = static_cast<imageio::Depth>(*job.depth);
  o.rate = *media::ParseFrameRate(job.rate);
  o.width = first.width;
  o.height = first.height;
  o.world_depth = static_cast<imageio::Depth>(job.world_depth);
  o.alpha = first.has_alpha;
  o.alpha_source = Quote(job.input);
  if (job.audio) {
    // The shot's frames at the times, with the audio and tags, that a single
    // render of it gives them.
    const media::MovieReader input(job.input, imageio::InputAlpha::kAsStored);
    const MovieTimeline timeline = PlanMovie(
        input.info(), job.conform ? std::optional(o.rate) : std::nullopt, job.shot);
    DescribeOutput(timeline, job.input, input.info().rate, o);
    o.pixel_aspect = input.info().pixel_aspect;
    // The choices the chunks were given for the streams, which only the
    // assembly writes.
    for (std::size_t i = 0; i + 1 < job.render_args.size(); ++i) {
      if (job.render_args[i] == "--audio") {
        o.audio = media::ParseAudioChoice(job.render_args[i + 1]).value_or(o.audio);
      } else if (job.render_args[i] == "--subtitles") {
        o.subtitles = job.render_args[i + 1] != "none";
      }
    }
  }
  o.frames = job.shot.count();
  const int cpus = TaskCpus();
  o.threads = cpus > 0 ? cpus : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return o;
}

}  // namespace

int RunFarmAssemble(std::span<const std::string_view> args) {
  if (args.size() != 1) throw UsageError{"farm assemble takes JOBDIR"};
  const FarmJob job = ReadJob(args[0]);
  if (!job.movie_output) throw UsageError{"the job writes an image sequence: nothing to assemble"};
  CheckSameVersions(job, false);
  const auto start = std::chrono::steady_clock::now();
  const std::vector<Chunk> chunks = job.Chunks();
  for (const Chunk& chunk : chunks) {
    if (!ChunkDone(job, chunk)) {
      throw std::runtime_error("chunk " + std::to_string(chunk.index) + " (" +
                               FramesText(chunk.frames) + ") is not whole: see 'prismora farm "
                               "status " + job.folder.string() + "'");
    }
  }
  InterruptScope interrupts;
  const auto stop = [] { return InterruptScope::Requested(); };
  auto reader = std::make_unique<media::MovieReader>(job.Result(0), imageio::InputAlpha::kAsStored);
  const media::MovieOutput output = OutputOf(job, reader->info());
  media::MovieWriter writer(output, nullptr);
  std::unique_ptr<minihost::World> world;
  int64_t index = 0;
  try {
    for (const Chunk& chunk : chunks) {
      if (chunk.index > 0) {
        reader = std::make_unique<media::MovieReader>(job.Result(chunk.index),
                                                      imageio::InputAlpha::kAsStored);
      }
      const media::MovieInfo& info = reader->info();
      if (info.frames != chunk.frames.count() || info.width != output.width ||
          info.height != output.height) {
        throw std::runtime_error(Quote(job.Result(chunk.index)) + " holds " +
                                 std::to_string(info.frames) + " frames of " +
                                 std::to_string(info.width) + "x" + std::to_string(info.height) +
                                 ", not the chunk's " + std::to_string(chunk.frames.count()) +
                                 " of " + std::to_string(output.width) + "x" +
                                 std::to_string(output.height) + ": render it again (remove " +
                                 Quote(job.DoneMark(chunk.index)) + " and resume)");
      }
      std::vector<int64_t> all(static_cast<std::size_t>(info.frames));
      for (int64_t n = 0; n < info.frames; ++n) all[static_cast<std::size_t>(n)] = n;
      reader->SetFrames(all);
      for (int64_t n = 0; n < info.frames; ++n) {
        // Read back at the depth the chunks rendered in, so that every value
        // reaches the writer as the render handed it over.
        minihost::World& frame =
            WorldFor(world, info.width, info.height, output.world_depth);
        reader->ReadFrame(n, ViewOf(frame));
        if (!writer.Put(index++, ViewOf(static_cast<const minihost::World&>(frame)), stop)) break;
      }
      if (InterruptScope::Requested()) break;
    }
    if (InterruptScope::Requested()) {
      writer.Abandon();
      std::fprintf(stderr, "prismora: %s: nothing written\n", InterruptScope::Verb());
      return InterruptScope::ExitCode();
    }
    writer.Finish();
  } catch (...) {
    writer.Abandon();
    throw;
  }
  WriteWholeFile(job.AssembledMark(), job.output.string() + "\n");
  // The lossless chunks have served their purpose.
  for (const Chunk& chunk : chunks) {
    std::error_code ec;
    fs::remove(job.Result(chunk.index), ec);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("prismora farm: assembled %lld frames from %zu chunks in %.2f s: %s\n",
              static_cast<long long>(index), chunks.size(), seconds,
              job.output.string().c_str());
  return kExitOk;
}

}  // namespace prismora::cli
