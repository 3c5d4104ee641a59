// prismora farm on a real one-node Slurm cluster: started once for the
// suite, as root, inside private network and process namespaces under a
// deadline (tests/slurm_one_node.sh), so that nothing outlives it: no
// daemon, job, port or file. Clients reach it through nsenter. A movie with
// audio in four chunks (one shorter) equals a single render, an image
// sequence is written in place, a chunk cancelled midway is completed by
// resume, and usage errors submit nothing. Clips are tiny.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"
#include "test_support.h"

#if defined(PRISMORA_HAVE_MOVIES) && defined(PRISMORA_HAVE_IMAGE_FILES) && !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#define PRISMORA_CLUSTER_TESTS 1
#endif

namespace prismora::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

#ifdef PRISMORA_CLUSTER_TESTS

// The whole cluster's life, whatever becomes of the tests.
constexpr int kClusterSeconds = 300;

std::string Q(const fs::path& path) { return "'" + path.string() + "'"; }

bool Have(const char* program) {
  return RunShell(std::string("command -v ") + program + " >/dev/null").exit_code == 0;
}

// Frames (and audio packets) as checksums, and the streams' description:
// equal for two movies that hold the same pictures, sound and tags.
std::string Contents(const fs::path& movie) {
  return RunShell("ffmpeg -nostdin -v error -i " + Q(movie) + " -map 0 -f framemd5 - | grep -v '^#'")
             .out +
         RunShell("ffprobe -v error -show_entries stream=codec_name,pix_fmt,width,height,"
               "color_space,color_range,color_transfer,color_primaries,r_frame_rate,"
               "sample_rate,channels:stream_tags=language,title,handler_name -of compact " +
               Q(movie))
             .out;
}

std::string FileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class FarmCluster : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (geteuid() != 0) {
      skip_ = "the one-node Slurm cluster needs root (for its namespaces)";
      return;
    }
    for (const char* program : {"unshare", "nsenter", "slurmctld", "slurmd", "munged", "sbatch"}) {
      if (!Have(program)) {
        skip_ = std::string(program) + " is not installed (scripts/bootstrap.sh installs Slurm)";
        return;
      }
    }
    dir_ = new TempDir;
    cluster_ = dir_->path() / "cluster";
    fs::create_directories(cluster_);
    const std::string script = fs::path(PRISMORA_TESTS_DIR) / "slurm_one_node.sh";
    const std::string start_log = (dir_->path() / "start.log").string();
    const std::string deadline = std::to_string(kClusterSeconds);
    timeout_pid_ = fork();
    if (timeout_pid_ == 0) {
      // The test program's end ends the cluster: timeout passes the signal on.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      // Signals ignored by whoever started the tests would keep unshare alive.
      for (int sig : {SIGTERM, SIGINT, SIGHUP}) signal(sig, SIG_DFL);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      const int log = open(start_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(log, 1);
      dup2(log, 2);
      execlp("timeout", "timeout", "-s", "KILL", deadline.c_str(), "unshare", "--net", "--pid", "--fork",
             "--mount-proc", "--kill-child", "sh", script.c_str(), cluster_.c_str(), nullptr);
      _exit(127);
    }
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(cluster_ / "ready") && std::chrono::steady_clock::now() < give_up) {
      if (waitpid(timeout_pid_, nullptr, WNOHANG) == timeout_pid_) {
        timeout_pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // unshare is timeout's child, and holds the network namespace.
    std::ifstream children("/proc/" + std::to_string(timeout_pid_) + "/task/" +
                           std::to_string(timeout_pid_) + "/children");
    children >> unshare_pid_;
    if (!fs::exists(cluster_ / "ready") || unshare_pid_ <= 0) {
      failed_ = "the one-node cluster did not start: " + FileBytes(dir_->path() / "start.log") +
                FileBytes(cluster_ / "log" / "slurmctld.log").substr(0, 2000);
    }
  }

  static void TearDownTestSuite() {
    if (timeout_pid_ > 0) {
      // The namespace's end takes every daemon, job and step with it.
      if (unshare_pid_ > 0) kill(unshare_pid_, SIGKILL);
      kill(timeout_pid_, SIGTERM);
      waitpid(timeout_pid_, nullptr, 0);
      timeout_pid_ = -1;
    }
    delete dir_;
    dir_ = nullptr;
  }

  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
    ASSERT_TRUE(failed_.empty()) << failed_;
  }

  // A command inside the cluster's network, with its configuration.
  static std::string InCluster(const std::string& command) {
    return "nsenter --net=/proc/" + std::to_string(unshare_pid_) + "/ns/net env SLURM_CONF=" +
           Q(cluster_ / "slurm.conf") + " timeout 120 " + command;
  }
  static CommandResult Farm(const std::string& args) {
    return RunShell(InCluster(std::string("'") + PRISMORA_TOOL_PATH + "' farm " + args));
  }
  // Every job the controller knows, finished ones included.
  static std::string Queue() {
    return RunShell(InCluster("squeue --noheader --states=all --array --format='%i %T'")).out;
  }

  static fs::path File(const std::string& name) { return dir_->path() / name; }

  // testsrc2 with a sine tone: `frames` at 25 a second.
  static fs::path Clip(const std::string& name, const std::string& size, int frames) {
    const fs::path path = File(name);
    if (fs::exists(path)) return path;
    const std::string seconds = std::to_string(frames / 25.0);
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + size + ":rate=25:duration=" +
        std::to_string((frames - 0.5) / 25.0) + " -f lavfi -i sine=frequency=440:sample_rate="
        "48000:duration=" + seconds + " -c:v libx264 -pix_fmt yuv420p -c:a aac " + Q(path);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
  }

  static CommandResult Render(const std::string& args) {
    return RunShell(std::string("'") + PRISMORA_TOOL_PATH + "' render " + args + " -q");
  }

  static inline TempDir* dir_ = nullptr;
  static inline fs::path cluster_;
  static inline pid_t timeout_pid_ = -1;
  static inline pid_t unshare_pid_ = -1;
  static inline std::string skip_;
  static inline std::string failed_;
};

TEST_F(FarmCluster, UsageErrorsSubmitNothing) {
  const fs::path clip = Clip("clip.mp4", "64x36", 14);
  const std::string before = Queue();
  struct Case {
    std::string args;
    const char* message;
  };
  for (const Case& c : {
           Case{Q(clip) + " " + Q(File("u1.mkv")), "farm needs --chunk N"},
           Case{Q(clip) + " " + Q(File("u2.mkv")) + " --chunk 4 -p Amount=30", "outside the valid range"},
           Case{Q(clip) + " " + Q(File("u3.mkv")) + " --chunk 4 --frames 10-20", "ends at frame 13"},
           Case{Q(clip) + " " + Q(File("u4.webm")) + " --chunk 4", "cannot hold"},
           Case{Q(File("missing.mp4")) + " " + Q(File("u5.mkv")) + " --chunk 4", "missing.mp4"},
           Case{Q(clip) + " " + Q(File("u6.mkv")) + " --chunk 4 --bogus", "unknown option '--bogus'"},
           Case{Q(clip) + " " + Q(File("u7/out.####.png")) + " --chunk 4 --codec ffv1", "--codec is for movie outputs"},
       }) {
    const CommandResult r = Farm(c.args);
    EXPECT_NE(r.exit_code, 0) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
  }
  EXPECT_EQ(Queue(), before);
  // Neither a job folder nor an output folder is left.
  for (const std::string& name : dir_->Entries()) {
    EXPECT_EQ(name.find(".farm"), std::string::npos) << name;
    EXPECT_NE(name, "u7");
  }
}

TEST_F(FarmCluster, AMovieWithAudioInFourChunksEqualsASingleRender) {
  const fs::path clip = Clip("clip.mp4", "64x36", 14);
  const fs::path out = File("farmed.mkv");
  const CommandResult r = Farm(Q(clip) + " " + Q(out) + " --chunk 4 -p Amount@f0=3 -p Amount@f13=5 --wait");
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_THAT(r.out, HasSubstr("in 4 chunks of 4 frames (the last 2)"));
  ASSERT_EQ(Render(Q(clip) + " " + Q(File("single.mkv")) + " -p Amount@f0=3 -p Amount@f13=5").exit_code, 0);
  const std::string single = Contents(File("single.mkv"));
  EXPECT_THAT(single, HasSubstr("codec_name=aac"));
  EXPECT_EQ(Contents(out), single);
  for (int chunk = 0; chunk < 4; ++chunk) {
    EXPECT_TRUE(fs::exists(File("farmed.mkv.farm") / "logs" /
                           ("chunk-000" + std::to_string(chunk) + ".log")));
  }
  const CommandResult status = Farm("status " + Q(File("farmed.mkv.farm")));
  EXPECT_EQ(status.exit_code, 0);
  EXPECT_THAT(status.out, HasSubstr("4 of 4 chunks whole (the output is whole); assembled"));
}

TEST_F(FarmCluster, AnImageSequenceIsWrittenInPlace) {
  const fs::path clip = Clip("clip.mp4", "64x36", 14);
  const CommandResult r =
      Farm(Q(clip) + " " + Q(File("seq/f.####.png")) + " --chunk 5 --frames 1-12 --wait -q");
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  fs::create_directories(File("one"));
  ASSERT_EQ(Render(Q(clip) + " " + Q(File("one/f.####.png")) + " --frames 1-12").exit_code, 0);
  std::vector<std::string> frames;
  for (const auto& e : fs::directory_iterator(File("seq"))) {
    if (e.is_regular_file()) frames.push_back(e.path().filename().string());
  }
  EXPECT_EQ(frames.size(), 12u);
  for (const std::string& name : frames) {
    EXPECT_EQ(FileBytes(File("seq") / name), FileBytes(File("one") / name)) << name;
  }
}

// A chunk cancelled while it renders leaves the movie unwritten; status
// names it with its frames, and resume renders only what is missing.
TEST_F(FarmCluster, AChunkCancelledMidwayIsCompletedByResume) {
  const fs::path clip = Clip("big.mp4", "640x360", 12);
  const fs::path out = File("cut.mkv");
  const fs::path job = File("cut.mkv.farm");
  const std::string look = " -p \"Blur ON=on\" -p \"Blur Amount=5\" -p Amount=4 --threads 1";
  const CommandResult r =
      Farm(Q(clip) + " " + Q(out) + " --chunk 6 --max-running 1" + look);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  std::string id;
  std::ifstream(job / "submitted") >> id >> id;
  // Chunk 0 runs first, alone: cancelled as soon as its log shows it started.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (FileBytes(job / "logs" / "chunk-0000.log").find("chunk 0") == std::string::npos &&
         std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(RunShell(InCluster("scancel " + id + "_0")).exit_code, 0);
  // Chunk 1 runs on; the assembly, which needed chunk 0, goes.
  while (RunShell(InCluster("squeue --noheader --format=%T --jobs=" + id)).out.find("ING") !=
         std::string::npos) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_FALSE(fs::exists(job / "chunks" / "chunk-0000.done")) << "chunk 0 ended before it was cancelled";
  EXPECT_FALSE(fs::exists(out));
  const CommandResult status = Farm("status " + Q(job));
  EXPECT_EQ(status.exit_code, 1) << status.out;
  EXPECT_THAT(status.out, HasSubstr("1 of 2 chunks whole"));
  EXPECT_THAT(status.out, HasSubstr("chunk 0 (frames 0-5): failed (CANCELLED)"));
  EXPECT_THAT(status.out, HasSubstr("prismora farm resume"));

  const CommandResult resumed = Farm("resume " + Q(job) + " --wait");
  ASSERT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
  EXPECT_THAT(resumed.out, HasSubstr("submitted 1 chunk as job"));
  ASSERT_EQ(Render(Q(clip) + " " + Q(File("uncut.mkv")) + look).exit_code, 0);
  EXPECT_EQ(Contents(out), Contents(File("uncut.mkv")));
}

// The pid of `prismora farm chunk JOB INDEX`, as the host sees it, or -1.
pid_t ChunkProcess(const fs::path& job, int index) {
  const std::string wanted = std::string("farm") + '\0' + "chunk" + '\0' + job.string() + '\0' +
                             std::to_string(index) + '\0';
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (FileBytes(entry.path() / "cmdline").find(wanted) != std::string::npos) return std::stoi(name);
  }
  return -1;
}

// A render killed from outside (as the out-of-memory killer does) puts its
// task back in the queue, which then finishes the shot.
TEST_F(FarmCluster, AChunkKilledFromOutsideIsRetried) {
  const fs::path clip = Clip("big.mp4", "640x360", 12);
  const fs::path job = File("retried.mkv.farm");
  const CommandResult r = Farm(Q(clip) + " " + Q(File("retried.mkv")) +
                               " --chunk 12 -p \"Blur ON=on\" -p \"Blur Amount=5\" --threads 1");
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  pid_t chunk = -1;
  while ((chunk = ChunkProcess(job, 0)) < 0 && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_GT(chunk, 0);
  kill(chunk, SIGKILL);
  while (!fs::exists(job / "assembled") && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_THAT(FileBytes(job / "logs" / "chunk-0000.log"), HasSubstr("ended with 137: back in the queue"));
  EXPECT_TRUE(fs::exists(File("retried.mkv"))) << FileBytes(job / "logs" / "chunk-0000.log");
}

// Ctrl-C while following a job stops the following, not the job.
TEST_F(FarmCluster, CtrlCDuringWaitLeavesTheJobRunning) {
  const fs::path clip = Clip("clip.mp4", "64x36", 14);
  const fs::path job = File("followed.mkv.farm");
  const std::string conf = "SLURM_CONF=" + (cluster_ / "slurm.conf").string();
  const std::string net = "--net=/proc/" + std::to_string(unshare_pid_) + "/ns/net";
  const std::string err = File("followed.err").string();
  const pid_t farm = fork();
  if (farm == 0) {
    signal(SIGINT, SIG_DFL);
    const int log = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(log, 1);
    dup2(log, 2);
    execlp("nsenter", "nsenter", net.c_str(), "env", conf.c_str(), PRISMORA_TOOL_PATH, "farm",
           clip.c_str(), File("followed.mkv").c_str(), "--chunk", "7", "--wait", nullptr);
    _exit(127);
  }
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (FileBytes(job / "submitted").find("assembly") == std::string::npos &&
         std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(farm, SIGINT);
  int status = 0;
  waitpid(farm, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << FileBytes(err);
  EXPECT_THAT(FileBytes(err), HasSubstr("interrupted: the job goes on"));
  EXPECT_THAT(FileBytes(err), HasSubstr("prismora farm status"));
  EXPECT_THAT(FileBytes(err), HasSubstr("scancel"));
  while (!fs::exists(job / "assembled") && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(fs::exists(File("followed.mkv")));
}

#endif

}  // namespace
}  // namespace prismora::testing
