// The job scripts of a farm job: small shell scripts that run the installed
// prismora on the job folder, so that every node does the same.
#pragma once

#include <string>

#include "farm_job.h"

namespace prismora::cli {

// The array job's script: chunk $SLURM_ARRAY_TASK_ID. A render killed from
// outside (the kernel's out-of-memory killer) or a transient failure (exit
// code 75) puts the task back in the queue, at most max_retries times; a
// task cancelled with scancel is not retried (the script ends with it).
std::string ChunkScript(const FarmJob& job);

// The assembly's script: the chunks joined into the output.
std::string AssemblyScript(const FarmJob& job);

// Exit code of a chunk that may succeed when run again.
inline constexpr int kExitRetry = 75;  // EX_TEMPFAIL

}  // namespace prismora::cli
