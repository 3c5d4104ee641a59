// The job folder of `prismora farm`: everything a shot on the farm needs,
// on a file system every node shares, so that any node running the same
// installed prismora can render any chunk:
//
//   job.json          the shot, the render's options, the tool and plug-in
//                     versions, the chunks and the scheduler's options;
//                     written once (its time tells this job's frames apart)
//   settings.json     the look, as `prismora params --save` writes it, with
//                     keyframes at frames counted at the shot's rate
//   chunk.sh          the array job's script: one chunk per task
//   assemble.sh       the assembly's script (movie outputs)
//   submitted         the scheduler's job ids, one submission a line
//   logs/             one log per chunk, and the assembly's
//   chunks/           the chunks' results (lossless movies for a movie
//                     output) and a mark for each chunk that is whole
//   assembled         the mark of a movie output in place
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "farm_plan.h"

namespace prismora::cli {

inline constexpr int kFarmJobFormat = 1;

struct FarmJob {
  std::filesystem::path folder;  // absolute, as every path here
  std::filesystem::path tool;
  std::string tool_version;
  std::filesystem::path plugin;
  std::string plugin_version;
  std::filesystem::path input;
  std::filesystem::path output;
  bool movie_output = false;
  FrameRange shot;
  int64_t chunk_size = 1;
  std::string rate;                      // "24000/1001": the render's, pinned
  std::vector<std::string> render_args;  // for every chunk's render
  // A movie output: what the assembly gives the writer.
  std::optional<std::string> codec;  // h264, prores, ffv1
  std::optional<int> crf;
  std::optional<int> depth;  // asked for with --depth
  int world_depth = 8;       // of the rendered frames
  bool audio = false;        // the input is a movie whose audio is copied
  bool conform = true;        // frames at `rate`, not a movie's own times
  // The scheduler.
  std::string partition;
  std::optional<int> cpus_per_task;
  std::optional<int> assembly_cpus;  // the encoder's threads: by default cpus_per_task
  std::optional<int> max_running;
  std::vector<std::string> sbatch_args;
  int max_retries = 2;

  std::vector<Chunk> Chunks() const { return PlanChunks(shot, chunk_size); }

  std::filesystem::path JobFile() const { return folder / "job.json"; }
  std::filesystem::path Settings() const { return folder / "settings.json"; }
  std::filesystem::path ChunkScript() const { return folder / "chunk.sh"; }
  std::filesystem::path AssemblyScript() const { return folder / "assemble.sh"; }
  std::filesystem::path Submitted() const { return folder / "submitted"; }
  std::filesystem::path Log(int chunk) const;
  std::filesystem::path AssemblyLog() const { return folder / "logs" / "assemble.log"; }
  std::filesystem::path Result(int chunk) const;  // a movie output's chunk
  std::filesystem::path DoneMark(int chunk) const;
  std::filesystem::path AssembledMark() const { return folder / "assembled"; }
};

// The job folder for OUTPUT when none is given: beside it, named after it.
std::filesystem::path DefaultJobFolder(const std::filesystem::path& output);

// Makes the folder with its logs/ and chunks/, and writes job.json.
// Throws UsageError when the folder already holds a job.
void CreateJobFolder(const FarmJob& job);

// Reads the job in `folder`. Throws UsageError when it holds none.
FarmJob ReadJob(const std::filesystem::path& folder);

// `text` into `file`, whole or not at all.
void WriteWholeFile(const std::filesystem::path& file, const std::string& text,
                    bool executable = false);

// The scheduler's job ids of every submission, in order: (what, id), what
// being "chunks" or "assembly".
std::vector<std::pair<std::string, std::string>> Submissions(const FarmJob& job);
void AddSubmission(const FarmJob& job, const std::string& what, const std::string& id);

// Whether a chunk / the whole output is done.
bool ChunkDone(const FarmJob& job, const Chunk& chunk);
bool OutputDone(const FarmJob& job);

// The frames of a chunk of an image sequence output not yet written whole
// by this job: missing, or older than the job.
std::vector<int64_t> FramesToRender(const FarmJob& job, const Chunk& chunk);

// The last `lines` lines of a file, or empty.
std::string LastLines(const std::filesystem::path& file, int lines);

}  // namespace prismora::cli
