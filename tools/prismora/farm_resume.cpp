// Submitting what a job folder still needs: at first every chunk, on
// `prismora farm resume JOBDIR` only the chunks not yet whole, then the
// assembly after them (at once when every chunk is whole).
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands.h"
#include "farm_commands.h"
#include "farm_process.h"
#include "farm_slurm.h"
#include "interrupt.h"
#include "render_job.h"

namespace prismora::cli {

void SubmitMissing(const FarmJob& job, bool dry_run) {
  std::vector<int> missing;
  for (const Chunk& chunk : job.Chunks()) {
    if (!ChunkDone(job, chunk)) missing.push_back(chunk.index);
  }
  if (dry_run) {
    // As a script: the assembly names the array job's id.
    if (!missing.empty()) {
      const std::string chunks = ShellCommand(ChunkSubmission(job, missing));
      if (!job.movie_output) {
        std::printf("%s\n", chunks.c_str());
        return;
      }
      std::string assembly = ShellCommand(AssemblySubmission(job, "@CHUNKS@"));
      assembly.replace(assembly.find("@CHUNKS@"), 8, "\"$chunks\"");
      std::printf("chunks=$(%s) &&\n%s\n", chunks.c_str(), assembly.c_str());
    } else if (job.movie_output) {
      std::printf("%s\n", ShellCommand(AssemblySubmission(job, "")).c_str());
    }
    return;
  }
  std::string chunks;
  if (!missing.empty()) {
    chunks = Submit(ChunkSubmission(job, missing));
    AddSubmission(job, "chunks", chunks);
    std::printf("submitted %zu %s as job %s\n", missing.size(),
                missing.size() == 1 ? "chunk" : "chunks", chunks.c_str());
  }
  if (job.movie_output) {
    std::string assembly;
    try {
      assembly = Submit(AssemblySubmission(job, chunks));
    } catch (const std::exception&) {
      // Chunks without their assembly would only fill the folder.
      if (!chunks.empty()) Cancel({chunks});
      throw;
    }
    AddSubmission(job, "assembly", assembly);
    std::printf("submitted the assembly as job %s%s\n", assembly.c_str(),
                chunks.empty() ? "" : (", after job " + chunks).c_str());
  }
  std::fflush(stdout);
}

int RunFarmResume(std::span<const std::string_view> args) {
  bool wait = false, quiet = false;
  std::vector<std::string_view> folders;
  for (std::string_view a : args) {
    if (a == "--wait") {
      wait = true;
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"farm resume: unknown option '" + std::string(a) + "'"};
    } else {
      folders.push_back(a);
    }
  }
  if (folders.size() != 1) throw UsageError{"farm resume takes JOBDIR"};
  const FarmJob job = ReadJob(folders[0]);
  if (OutputDone(job)) {
    std::printf("%s is whole: nothing to resume\n", job.output.string().c_str());
    return kExitOk;
  }
  // Tasks of this job still in the queue would race the new ones; an
  // assembly that waits for chunks that failed never runs, and goes.
  std::vector<std::string> chunk_ids, waiting_assembly;
  for (const auto& [what, id] : Submissions(job)) {
    (what == "chunks" ? chunk_ids : waiting_assembly).push_back(id);
  }
  for (const QueuedTask& t : QueueOf(chunk_ids)) {
    if (Active(t.state)) {
      throw UsageError{"job " + t.job + " of " + Quote(job.folder) + " still has chunks " +
                       "waiting or running: wait for them (prismora farm status), or cancel "
                       "them with 'scancel " + t.job + "' first"};
    }
  }
  std::vector<std::string> stale;
  for (const QueuedTask& t : QueueOf(waiting_assembly)) {
    if (Active(t.state)) stale.push_back(t.job);
  }
  if (!Cancel(stale)) throw std::runtime_error("scancel refused to cancel the old assembly");
  InterruptScope interrupts;
  SubmitMissing(job, false);
  if (wait) return WaitForJob(job, quiet);
  return InterruptScope::Requested() ? InterruptScope::ExitCode() : kExitOk;
}

}  // namespace prismora::cli
