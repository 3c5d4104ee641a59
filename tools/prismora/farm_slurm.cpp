#include "farm_slurm.h"

#include <sstream>
#include <stdexcept>

#include "farm_process.h"

namespace prismora::cli {
namespace {

// The scheduler answers within seconds; a minute means it is not answering.
constexpr double kClientSeconds = 60;

std::vector<std::string> CommonOptions(const FarmJob& job, std::optional<int> cpus) {
  std::vector<std::string> options;
  if (!job.partition.empty()) options.push_back("--partition=" + job.partition);
  if (cpus) options.push_back("--cpus-per-task=" + std::to_string(*cpus));
  options.insert(options.end(), job.sbatch_args.begin(), job.sbatch_args.end());
  return options;
}

std::string Name(const FarmJob& job) { return "prismora:" + job.output.filename().string(); }

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::vector<std::string> ChunkSubmission(const FarmJob& job, const std::vector<int>& indices) {
  std::vector<std::string> command = {
      "sbatch", "--parsable", "--job-name=" + Name(job),
      "--array=" + ArraySpec(indices, job.max_running),
      // %4a: the task's index in four digits, as the job folder names chunks.
      "--output=" + (job.folder / "logs" / "chunk-%4a.log").string(), "--open-mode=append",
      "--requeue"};
  const std::vector<std::string> common = CommonOptions(job, job.cpus_per_task);
  command.insert(command.end(), common.begin(), common.end());
  command.push_back(job.ChunkScript().string());
  return command;
}

std::vector<std::string> AssemblySubmission(const FarmJob& job, const std::string& after) {
  std::vector<std::string> command = {"sbatch", "--parsable", "--job-name=" + Name(job) + ":assemble"};
  if (!after.empty()) {
    // A chunk that fails ends the assembly too, rather than leaving it
    // waiting for ever.
    command.push_back("--dependency=afterok:" + after);
    command.push_back("--kill-on-invalid-dep=yes");
  }
  command.push_back("--output=" + job.AssemblyLog().string());
  command.push_back("--open-mode=append");
  command.push_back("--requeue");
  const std::vector<std::string> common =
      CommonOptions(job, job.assembly_cpus ? job.assembly_cpus : job.cpus_per_task);
  command.insert(command.end(), common.begin(), common.end());
  command.push_back(job.AssemblyScript().string());
  return command;
}

std::string Submit(const std::vector<std::string>& command) {
  const ProgramResult r = RunProgram(command, kClientSeconds);
  // --parsable: "ID" or "ID;CLUSTER".
  std::string id = Trimmed(r.out);
  if (const std::size_t semicolon = id.find(';'); semicolon != std::string::npos) id.erase(semicolon);
  if (r.exit_code != 0 || id.empty() || id.find_first_not_of("0123456789") != std::string::npos) {
    std::string why = Trimmed(r.err);
    if (why.empty()) why = r.exit_code == 124 ? "no answer within a minute" : "exit code " + std::to_string(r.exit_code);
    throw std::runtime_error("sbatch refused the job: " + why);
  }
  return id;
}

std::optional<std::string> SchedulerMissing() {
  const ProgramResult r = RunProgram({"sbatch", "--version"}, kClientSeconds);
  if (r.exit_code == 0) return std::nullopt;
  if (r.exit_code == 127) return "sbatch is not found: submit from a machine with Slurm's client programs (or use --dry-run)";
  return "sbatch does not work here: " + Trimmed(r.err);
}

std::vector<QueuedTask> QueueOf(const std::vector<std::string>& jobs) {
  std::vector<QueuedTask> tasks;
  // One job at a time: squeue answers nothing at all when one of several
  // is no longer known. One line per array task.
  for (const std::string& job : jobs) {
    const ProgramResult r = RunProgram({"squeue", "--noheader", "--array", "--states=all",
                                        "--jobs=" + job, "--format=%F %K %T"},
                                       kClientSeconds);
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream words(line);
      QueuedTask t;
      std::string task;
      if (!(words >> t.job >> task >> t.state)) continue;
      if (!task.empty() && task.find_first_not_of("0123456789") == std::string::npos) {
        t.task = std::stoi(task);
      }
      tasks.push_back(std::move(t));
    }
  }
  return tasks;
}

bool Active(const std::string& state) {
  for (const char* finished : {"COMPLETED", "FAILED", "CANCELLED", "TIMEOUT", "NODE_FAIL",
                               "OUT_OF_MEMORY", "BOOT_FAIL", "DEADLINE", "PREEMPTED",
                               "SPECIAL_EXIT"}) {
    if (state.rfind(finished, 0) == 0) return false;
  }
  return true;
}

bool Cancel(const std::vector<std::string>& jobs) {
  if (jobs.empty()) return true;
  std::vector<std::string> command = {"scancel"};
  command.insert(command.end(), jobs.begin(), jobs.end());
  return RunProgram(command, kClientSeconds).exit_code == 0;
}

}  // namespace prismora::cli
