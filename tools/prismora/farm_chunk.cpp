// prismora farm chunk JOBDIR INDEX: what a task of the array runs. Renders
// the chunk's frames through `prismora render` (in this process), skipping
// what this job already wrote whole, then marks the chunk whole.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "farm_commands.h"
#include "version.h"

namespace prismora::cli {
namespace {

}  // namespace

int TaskCpus() {
  for (const char* name : {"SLURM_CPUS_PER_TASK", "SLURM_CPUS_ON_NODE"}) {
    if (const char* value = std::getenv(name); value != nullptr && std::atoi(value) > 0) {
      return std::atoi(value);
    }
  }
  return 0;
}

namespace {

int RenderFrames(const FarmJob& job, const std::string& output, int64_t first, int64_t last,
                 bool movie) {
  std::vector<std::string> words = {job.input.string(), output, "--frames",
                                    std::to_string(first) + "-" + std::to_string(last)};
  if (movie) {
    words.push_back("--codec");
    words.push_back("ffv1");
  }
  words.insert(words.end(), job.render_args.begin(), job.render_args.end());
  bool threads = false;
  for (const std::string& w : job.render_args) threads = threads || w == "--threads";
  // The task's processors, not the node's, unless the render was given its
  // threads.
  if (const int cpus = TaskCpus(); !threads && cpus > 0) {
    words.push_back("--threads");
    words.push_back(std::to_string(std::min(cpus, 256)));
  }
  const std::vector<std::string_view> args(words.begin(), words.end());
  return RunRender(args);
}

}  // namespace

void CheckSameVersions(const FarmJob& job, bool plugin) {
  if (ToolVersion() != job.tool_version) {
    throw std::runtime_error("this node runs prismora " + std::string(ToolVersion()) +
                             ", the job was made with prismora " + job.tool_version +
                             ": every node needs the same installed prismora");
  }
  if (plugin) {
    const std::string version = PluginVersion(job.plugin);
    if (version != job.plugin_version) {
      throw std::runtime_error("the plug-in here is " + version + ", the job was made with " +
                               job.plugin_version + ": every node needs the same plug-in");
    }
  }
}

int RunFarmChunk(std::span<const std::string_view> args) {
  if (args.size() != 2) throw UsageError{"farm chunk takes JOBDIR and a chunk's INDEX"};
  const FarmJob job = ReadJob(args[0]);
  const int64_t index = ParseInteger(args[1], "farm chunk");
  const std::vector<Chunk> chunks = job.Chunks();
  if (index < 0 || index >= static_cast<int64_t>(chunks.size())) {
    throw UsageError{"the job has chunks 0 to " + std::to_string(chunks.size() - 1) + ", not " +
                     std::to_string(index)};
  }
  const Chunk& chunk = chunks[static_cast<std::size_t>(index)];
  std::printf("prismora farm: chunk %d, %s of '%s'\n", chunk.index,
              FramesText(chunk.frames).c_str(), job.output.string().c_str());
  std::fflush(stdout);
  CheckSameVersions(job, true);
  if (ChunkDone(job, chunk)) {
    std::printf("prismora farm: chunk %d was done whole already\n", chunk.index);
    return kExitOk;
  }
  if (job.movie_output) {
    const int code = RenderFrames(job, job.Result(chunk.index).string(), chunk.frames.first,
                                  chunk.frames.last, true);
    if (code != kExitOk) return code;
  } else {
    // Frames this job wrote whole are kept; the rest, run by run.
    const std::vector<int64_t> frames = FramesToRender(job, chunk);
    if (frames.size() < static_cast<std::size_t>(chunk.frames.count())) {
      std::printf("prismora farm: %zu of %lld frames were written whole already\n",
                  static_cast<std::size_t>(chunk.frames.count()) - frames.size(),
                  static_cast<long long>(chunk.frames.count()));
    }
    for (std::size_t i = 0; i < frames.size();) {
      std::size_t j = i;
      while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1) ++j;
      std::fflush(stdout);
      const int code = RenderFrames(job, job.output.string(), frames[i], frames[j], false);
      if (code != kExitOk) return code;
      i = j + 1;
    }
  }
  WriteWholeFile(job.DoneMark(chunk.index), FramesText(chunk.frames) + "\n");
  return kExitOk;
}

}  // namespace prismora::cli
