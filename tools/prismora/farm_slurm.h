// Slurm, through its client programs: submitting the job scripts, the state
// of their tasks, cancelling. Every program runs under a deadline.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "farm_job.h"

namespace prismora::cli {

// The sbatch command of the array job that renders chunks `indices`.
std::vector<std::string> ChunkSubmission(const FarmJob& job, const std::vector<int>& indices);
// The sbatch command of the assembly, after the array job `after` ends
// with every task done (empty: at once).
std::vector<std::string> AssemblySubmission(const FarmJob& job, const std::string& after);

// Submits; returns the job id. Throws std::runtime_error with sbatch's own
// words when it refuses.
std::string Submit(const std::vector<std::string>& command);

// Whether the scheduler's client programs are there; else why not.
std::optional<std::string> SchedulerMissing();

// A task of the queue: the job (an array's own id), the array task or -1,
// and Slurm's state name (PENDING, RUNNING, COMPLETED, FAILED, ...).
struct QueuedTask {
  std::string job;
  int task = -1;
  std::string state;
};

// The tasks of `jobs` that the scheduler still knows (finished ones for a
// few minutes after).
std::vector<QueuedTask> QueueOf(const std::vector<std::string>& jobs);

// A state a task can still leave (pending, running, requeued, ...).
bool Active(const std::string& state);

// Cancels `jobs` (whole arrays); false when scancel refuses.
bool Cancel(const std::vector<std::string>& jobs);

}  // namespace prismora::cli
