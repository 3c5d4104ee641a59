// prismora farm status JOBDIR, and following a job with --wait: which
// chunks are whole, which are queued or running, and which failed, named
// with their frames and their log's last lines.
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "farm_commands.h"
#include "farm_process.h"
#include "farm_slurm.h"
#include "interrupt.h"
#include "render_job.h"

#if defined(_WIN32)
#include <io.h>
#define PRISMORA_FARM_ISATTY(fd) (_isatty(fd) != 0)
#else
#include <unistd.h>
#define PRISMORA_FARM_ISATTY(fd) (isatty(fd) != 0)
#endif

namespace prismora::cli {
namespace {

// How often a waiting farm asks the scheduler.
constexpr auto kPollInterval = std::chrono::milliseconds(500);
constexpr int kLogLines = 5;

// The state the scheduler last gave each chunk's task and the assembly's,
// from the latest submission that has them.
struct JobStates {
  std::map<int, std::string> chunks;
  std::string assembly;
  bool active = false;         // anything still to run
  bool chunks_active = false;  // a chunk's task still to run
  std::vector<std::string> ids;
};

JobStates StatesOf(const FarmJob& job) {
  JobStates states;
  std::map<std::string, std::string> what;
  for (const auto& [kind, id] : Submissions(job)) {
    what[id] = kind;
    states.ids.push_back(id);
  }
  for (const QueuedTask& t : QueueOf(states.ids)) {
    if (what[t.job] == "assembly") {
      states.assembly = t.state;
    } else if (t.task >= 0) {
      states.chunks[t.task] = t.state;
      states.chunks_active = states.chunks_active || Active(t.state);
    }
    states.active = states.active || Active(t.state);
  }
  return states;
}

std::string Indented(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    out += "    " + text.substr(start, end - start) + "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::string Count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool PrintStatus(const FarmJob& job) {
  const JobStates states = StatesOf(job);
  const std::vector<Chunk> chunks = job.Chunks();
  std::size_t whole = 0;
  std::string details;
  bool failed = false;
  for (const Chunk& chunk : chunks) {
    if (ChunkDone(job, chunk)) {
      ++whole;
      continue;
    }
    const auto it = states.chunks.find(chunk.index);
    const std::string state = it != states.chunks.end() ? it->second : std::string();
    std::string line = "chunk " + std::to_string(chunk.index) + " (" + FramesText(chunk.frames) + "): ";
    if (!state.empty() && Active(state)) {
      details += line + (state == "PENDING" ? "waiting" : state == "RUNNING" ? "running" : state) + "\n";
      continue;
    }
    failed = true;
    std::error_code ec;
    const bool ran = std::filesystem::exists(job.Log(chunk.index), ec);
    line += state.empty() ? (ran ? "not whole" : "never ran") : "failed (" + state + ")";
    const std::string tail = ran ? LastLines(job.Log(chunk.index), kLogLines) : "";
    details += line + (tail.empty() ? "\n" : "; its log ends:\n" + Indented(tail));
  }
  // A chunk that failed leaves the assembly waiting for nothing: the job
  // cannot finish without a resume.
  std::string assembly;
  if (job.movie_output) {
    if (OutputDone(job)) {
      assembly = "; assembled";
    } else if (failed) {
      assembly = "; no assembly before a resume";
    } else if (!states.assembly.empty() && Active(states.assembly)) {
      assembly = states.assembly == "PENDING" ? "; the assembly waits" : "; the assembly runs";
    } else if (whole == chunks.size()) {
      failed = true;
      assembly = "; the assembly " + (states.assembly.empty() ? std::string("did not run")
                                                               : "failed (" + states.assembly + ")");
      const std::string tail = LastLines(job.AssemblyLog(), kLogLines);
      if (!tail.empty()) assembly += "; its log ends:\n" + Indented(tail);
    }
  }
  std::printf("%s: %s of %s whole%s%s\n", job.output.string().c_str(),
              std::to_string(whole).c_str(), Count(chunks.size(), "chunk", "chunks").c_str(),
              OutputDone(job) ? " (the output is whole)" : "", assembly.c_str());
  std::fputs(details.c_str(), stdout);
  if (failed && !states.chunks_active) {
    std::printf("resume with: prismora farm resume %s\n", ShellQuote(job.folder.string()).c_str());
  }
  std::fflush(stdout);
  return !failed;
}

int RunFarmStatus(std::span<const std::string_view> args) {
  if (args.size() != 1) throw UsageError{"farm status takes JOBDIR"};
  const FarmJob job = ReadJob(args[0]);
  return PrintStatus(job) ? kExitOk : kExitFailure;
}

int WaitForJob(const FarmJob& job, bool quiet) {
  const std::vector<Chunk> chunks = job.Chunks();
  const bool bar = !quiet && PRISMORA_FARM_ISATTY(2);
  const auto start = std::chrono::steady_clock::now();
  while (true) {
    if (OutputDone(job)) break;
    const JobStates states = StatesOf(job);
    if (!states.active && !OutputDone(job)) {
      if (bar) std::fputs("\r\033[K", stderr);
      std::fprintf(stderr, "prismora: the job ended without the output whole\n");
      PrintStatus(job);
      return kExitFailure;
    }
    for (int i = 0; i < 5 && !InterruptScope::Requested(); ++i) {
      std::this_thread::sleep_for(kPollInterval / 5);
    }
    if (InterruptScope::Requested()) {
      if (bar) std::fputs("\r\033[K", stderr);
      std::string ids;
      for (const std::string& id : states.ids) ids += " " + id;
      std::fprintf(stderr,
                   "prismora: %s: the job goes on; follow it with 'prismora farm status %s', "
                   "or cancel it with 'scancel%s'\n",
                   InterruptScope::Verb(), ShellQuote(job.folder.string()).c_str(), ids.c_str());
      return InterruptScope::ExitCode();
    }
    if (bar) {
      std::size_t whole = 0;
      for (const Chunk& c : chunks) whole += ChunkDone(job, c) ? 1 : 0;
      constexpr std::size_t kCells = 30;
      const std::size_t filled = whole * kCells / chunks.size();
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "\r[%s%s] %zu/%zu chunks  %lld:%02lld ", std::string(filled, '#').c_str(),
                   std::string(kCells - filled, '.').c_str(), whole, chunks.size(),
                   static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
      std::fflush(stderr);
    }
  }
  if (bar) std::fputs("\r\033[K", stderr);
  if (!quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("prismora farm: %s whole in %.1f s: %s\n", FramesText(job.shot).c_str(), seconds,
                job.output.string().c_str());
  }
  return kExitOk;
}

}  // namespace prismora::cli
