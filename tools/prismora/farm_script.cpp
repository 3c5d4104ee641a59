#include "farm_script.h"

#include "farm_process.h"

namespace prismora::cli {

std::string ChunkScript(const FarmJob& job) {
  const std::string retries = std::to_string(job.max_retries);
  return "#!/bin/sh\n"
         "# prismora farm: one chunk of " + job.output.filename().string() +
         " per task of the array (chunks in job.json).\n"
         "# The render runs as a child that this script waits for, also when the task is\n"
         "# cancelled (scancel signals both), so that nothing is left behind.\n" +
         ShellCommand({job.tool.string(), "farm", "chunk", job.folder.string()}) +
         " \"$SLURM_ARRAY_TASK_ID\" &\n"
         "child=$!\n"
         "trap 'kill -TERM \"$child\" 2>/dev/null; stopped=1' TERM INT HUP\n"
         "wait \"$child\"\n"
         "status=$?\n"
         "if [ -n \"${stopped:-}\" ]; then\n"
         "  wait \"$child\" 2>/dev/null\n"
         "  code=$?\n"
         "  [ \"$code\" -ne 127 ] && status=$code\n"
         "  exit \"$status\"\n"
         "fi\n"
         "# Killed from outside (137: out of memory) or a transient failure (75): again,\n"
         "# up to " + retries + " times.\n"
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
