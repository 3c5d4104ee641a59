#include "farm_script.h"

#include "farm_process.h"

namespace prismora::cli {

std::string ChunkScript(const FarmJob& job) {
  const std::string retries = std::to_string(job.max_retries);
  return "#!/bin/sh\n"
         "# prismora farm: one chunk of " + job.output.filename().string() +
         " per task of the array (chunks in job.json).\n" +
         ShellCommand({job.tool.string(), "farm", "chunk", job.folder.string()}) +
         " \"$SLURM_ARRAY_TASK_ID\"\n"
         "status=$?\n"
         "# Killed from outside (137: out of memory) or a transient failure (75): again,\n"
         "# up to " + retries + " times. A task cancelled with scancel ends this script too.\n"
         "if [ \"$status\" -eq 137 ] || [ \"$status\" -eq " + std::to_string(kExitRetry) + " ]; then\n"
         "  if [ \"${SLURM_RESTART_COUNT:-0}\" -lt " + retries + " ]; then\n"
         "    echo \"prismora farm: chunk $SLURM_ARRAY_TASK_ID ended with $status: back in the queue\"\n"
         "    scontrol requeue \"${SLURM_ARRAY_JOB_ID}_${SLURM_ARRAY_TASK_ID}\" && exit 0\n"
         "  fi\n"
         "fi\n"
         "exit \"$status\"\n";
}

std::string AssemblyScript(const FarmJob& job) {
  return "#!/bin/sh\n"
         "# prismora farm: the chunks joined into " + job.output.filename().string() + ".\n"
         "exec " + ShellCommand({job.tool.string(), "farm", "assemble", job.folder.string()}) + "\n";
}

}  // namespace prismora::cli
