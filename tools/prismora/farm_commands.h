// The parts of `prismora farm`, one file each: submitting a shot, the
// status of a job folder, resuming it, and what the scheduler's tasks run
// (a chunk, the assembly).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "farm_job.h"

namespace prismora::cli {

int RunFarmSubmit(std::span<const std::string_view> args);
int RunFarmStatus(std::span<const std::string_view> args);
int RunFarmResume(std::span<const std::string_view> args);
int RunFarmChunk(std::span<const std::string_view> args);
int RunFarmAssemble(std::span<const std::string_view> args);

// The processors Slurm gave this task (--cpus-per-task, else those of the
// job on this node), or 0 outside a task.
int TaskCpus();

// Throws std::runtime_error when this node's prismora or plug-in is not
// the one the job was made with (`plugin` too when asked).
void CheckSameVersions(const FarmJob& job, bool plugin);

// Submits the chunks not yet whole, then (for a movie) the assembly after
// them; records and prints the job ids. With `dry_run`, prints the commands
// instead.
void SubmitMissing(const FarmJob& job, bool dry_run);

// Follows the job until the output is whole (0), it can no longer be (1,
// with the status), or Ctrl-C (130, leaving the job running). Signals are
// caught by an InterruptScope of the caller's, made before submitting, so
// that a Ctrl-C during the submission lets it finish first.
int WaitForJob(const FarmJob& job, bool quiet);

// The status report; returns whether the job can still finish without a
// resume.
bool PrintStatus(const FarmJob& job);

}  // namespace prismora::cli
