#include "farm_job.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>

#include "commands.h"
#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "render_job.h"

namespace prismora::cli {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

std::string ChunkName(int chunk) {
  char name[32];
  std::snprintf(name, sizeof name, "chunk-%04d", chunk);
  return name;
}

template <class T>
Json Optional(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

template <class T>
std::optional<T> OptionalOf(const Json& value) {
  if (value.is_null()) return std::nullopt;
  return value.get<T>();
}

Json ToJson(const FarmJob& job) {
  Json j = Json::object();
  j["prismora-farm"] = kFarmJobFormat;
  j["tool"] = job.tool.string();
  j["tool_version"] = job.tool_version;
  j["plugin"] = job.plugin.string();
  j["plugin_version"] = job.plugin_version;
  j["input"] = job.input.string();
  j["output"] = job.output.string();
  j["movie_output"] = job.movie_output;
  j["frames"] = {job.shot.first, job.shot.last};
  j["chunk"] = job.chunk_size;
  j["rate"] = job.rate;
  j["render_args"] = job.render_args;
  j["codec"] = Optional(job.codec);
  j["crf"] = Optional(job.crf);
  j["depth"] = Optional(job.depth);
  j["world_depth"] = job.world_depth;
  j["audio"] = job.audio;
  j["conform"] = job.conform;
  j["partition"] = job.partition;
  j["cpus_per_task"] = Optional(job.cpus_per_task);
  j["assembly_cpus"] = Optional(job.assembly_cpus);
  j["max_running"] = Optional(job.max_running);
  j["sbatch_args"] = job.sbatch_args;
  j["max_retries"] = job.max_retries;
  return j;
}

FarmJob FromJson(const Json& j, const fs::path& folder) {
  FarmJob job;
  job.folder = folder;
  job.tool = j.at("tool").get<std::string>();
  job.tool_version = j.at("tool_version").get<std::string>();
  job.plugin = j.at("plugin").get<std::string>();
  job.plugin_version = j.at("plugin_version").get<std::string>();
  job.input = j.at("input").get<std::string>();
  job.output = j.at("output").get<std::string>();
  job.movie_output = j.at("movie_output").get<bool>();
  job.shot = {j.at("frames").at(0).get<int64_t>(), j.at("frames").at(1).get<int64_t>()};
  job.chunk_size = j.at("chunk").get<int64_t>();
  job.rate = j.at("rate").get<std::string>();
  job.render_args = j.at("render_args").get<std::vector<std::string>>();
  job.codec = OptionalOf<std::string>(j.at("codec"));
  job.crf = OptionalOf<int>(j.at("crf"));
  job.depth = OptionalOf<int>(j.at("depth"));
  job.world_depth = j.at("world_depth").get<int>();
  job.audio = j.at("audio").get<bool>();
  job.conform = j.at("conform").get<bool>();
  job.partition = j.at("partition").get<std::string>();
  job.cpus_per_task = OptionalOf<int>(j.at("cpus_per_task"));
  job.assembly_cpus = OptionalOf<int>(j.value("assembly_cpus", Json(nullptr)));
  job.max_running = OptionalOf<int>(j.at("max_running"));
  job.sbatch_args = j.at("sbatch_args").get<std::vector<std::string>>();
  job.max_retries = j.at("max_retries").get<int>();
  if (job.chunk_size < 1 || job.shot.first < 0 || job.shot.last < job.shot.first) {
    throw std::out_of_range("frames or chunk out of range");
  }
  return job;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

fs::path FarmJob::Log(int chunk) const { return folder / "logs" / (ChunkName(chunk) + ".log"); }
fs::path FarmJob::Result(int chunk) const { return folder / "chunks" / (ChunkName(chunk) + ".mkv"); }
fs::path FarmJob::DoneMark(int chunk) const {
  return folder / "chunks" / (ChunkName(chunk) + ".done");
}

fs::path DefaultJobFolder(const fs::path& output) {
  std::string name = output.filename().string();
  for (char& c : name) {
    if (c == '#' || c == '%') c = '_';
  }
  return output.parent_path() / (name + ".farm");
}

void WriteWholeFile(const fs::path& file, const std::string& text, bool executable) {
  imageio::PendingFile pending(file);
  pending.WriteAt(text.data(), text.size(), 0);
  if (executable) {
    std::error_code ec;
    fs::permissions(pending.path(), fs::perms::owner_exec | fs::perms::group_exec,
                    fs::perm_options::add, ec);
  }
  pending.Commit();
}

void CreateJobFolder(const FarmJob& job) {
  std::error_code ec;
  if (fs::exists(job.JobFile(), ec)) {
    throw UsageError{"the job folder " + Quote(job.folder) + " already holds a job: resume it "
                     "with 'prismora farm resume " + job.folder.string() + "', or give another "
                     "with --job-dir"};
  }
  for (const fs::path& folder : {job.folder, job.folder / "logs", job.folder / "chunks"}) {
    fs::create_directories(folder, ec);
    if (ec) {
      throw UsageError{"cannot make the job folder " + Quote(folder) + ": " + ec.message()};
    }
  }
  WriteWholeFile(job.JobFile(), ToJson(job).dump(2) + "\n");
}

FarmJob ReadJob(const fs::path& folder) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(folder, ec);
  const fs::path file = absolute / "job.json";
  if (!fs::is_regular_file(file, ec)) {
    throw UsageError{Quote(folder) + " is no job folder of prismora farm (it has no job.json)"};
  }
  try {
    const Json j = Json::parse(ReadText(file));
    if (j.at("prismora-farm").get<int>() > kFarmJobFormat) {
      throw UsageError{Quote(file) + " is of a newer prismora: run that one"};
    }
    return FromJson(j, absolute);
  } catch (const Json::exception& e) {
    throw UsageError{Quote(file) + " is damaged: " + e.what()};
  } catch (const std::out_of_range& e) {
    throw UsageError{Quote(file) + " is damaged: " + e.what()};
  }
}

std::vector<std::pair<std::string, std::string>> Submissions(const FarmJob& job) {
  std::vector<std::pair<std::string, std::string>> ids;
  std::istringstream lines(ReadText(job.Submitted()));
  std::string what, id;
  while (lines >> what >> id) ids.emplace_back(what, id);
  return ids;
}

void AddSubmission(const FarmJob& job, const std::string& what, const std::string& id) {
  std::string text = ReadText(job.Submitted());
  text += what + " " + id + "\n";
  WriteWholeFile(job.Submitted(), text);
}

bool ChunkDone(const FarmJob& job, const Chunk& chunk) {
  std::error_code ec;
  return fs::exists(job.DoneMark(chunk.index), ec);
}

bool OutputDone(const FarmJob& job) {
  std::error_code ec;
  if (job.movie_output) return fs::exists(job.AssembledMark(), ec);
  for (const Chunk& chunk : job.Chunks()) {
    if (!ChunkDone(job, chunk)) return false;
  }
  return true;
}

std::vector<int64_t> FramesToRender(const FarmJob& job, const Chunk& chunk) {
  const PathPattern out = PathPattern::Parse(job.output.string());
  std::error_code ec;
  const auto since = fs::last_write_time(job.JobFile(), ec);
  std::vector<int64_t> frames;
  for (int64_t n = chunk.frames.first; n <= chunk.frames.last; ++n) {
    const auto written = fs::last_write_time(out.Frame(n), ec);
    if (ec || written < since) frames.push_back(n);
  }
  return frames;
}

std::string LastLines(const fs::path& file, int lines) {
  std::istringstream in(ReadText(file));
  std::vector<std::string> kept;
  std::string line;
  while (std::getline(in, line)) {
    // A progress bar's redraws leave only their last state.
    if (const std::size_t cr = line.rfind('\r'); cr != std::string::npos) line.erase(0, cr + 1);
    if (line.empty()) continue;
    kept.push_back(line);
    if (kept.size() > static_cast<std::size_t>(lines)) kept.erase(kept.begin());
  }
  std::string text;
  for (const std::string& l : kept) text += l + "\n";
  return text;
}

}  // namespace prismora::cli
