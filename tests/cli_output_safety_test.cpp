// prismora render where the system stands in the way of its outputs: a full
// disk, a limit on file sizes, outputs through symbolic links, outputs the
// user may not write, names as long as the folder takes, signals, a reader
// of stdout that went away, and the progress bar on a terminal. Whatever
// happens, an output is either whole or as it was, no temporary file is
// left, and the exit code says what happened.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "image_fixtures.h"
#include "temp_dir.h"
#include "test_support.h"

#if defined(PRISMORA_HAVE_IMAGE_FILES) && !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#define PRISMORA_POSIX_TOOL_TESTS 1
#endif

namespace prismora::testing {
namespace {

#ifdef PRISMORA_POSIX_TOOL_TESTS

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spill(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Noise leaves a compressor nothing to take out: files as large as their
// pixels.
void WriteNoise(const fs::path& path, int width, int height) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<float> values(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (float& v : values) v = unit(random);
  WriteRawImage(path, width, height, 3, OIIO::TypeDesc::UINT8, values);
}

bool IsWholeImage(const fs::path& path, int width) {
  auto in = OIIO::ImageInput::open(path.string());
  if (!in) {
    (void)OIIO::geterror();
    return false;
  }
  std::vector<float> values(static_cast<std::size_t>(in->spec().image_pixels()) *
                            static_cast<std::size_t>(in->spec().nchannels));
  return in->spec().width == width &&
         in->read_image(0, 0, 0, in->spec().nchannels, OIIO::TypeDesc::FLOAT, values.data()) &&
         in->geterror().empty();
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  return names;
}

struct Outcome {
  int exit_code = -1;  // -1 when ended by a signal
  int signal = 0;
  std::string err;
};

// The tool in a child process, with stdin and stdout on the null device and
// stderr into a file; `prepare` runs in the child just before the tool
// starts (descriptors, limits, another user). Returns the child's id.
pid_t Spawn(const std::vector<std::string>& args, const fs::path& err_path,
            const std::function<void()>& prepare = {}) {
  std::vector<std::string> words = {"prismora"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(err, 2);
    if (prepare) prepare();
    ::execv(PRISMORA_TOOL_PATH, argv.data());
    ::_exit(127);
  }
  ::close(err);
  return pid;
}

fs::path ErrPath() {
  static int counter = 0;
  return fs::temp_directory_path() / ("prismora-test-stderr-" + std::to_string(::getpid()) +
                                      "-" + std::to_string(++counter));
}

Outcome Finish(pid_t pid, const fs::path& err_path) {
  Outcome outcome;
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid) {
    if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  }
  outcome.err = Slurp(err_path);
  fs::remove(err_path);
  return outcome;
}

Outcome RunChild(const std::vector<std::string>& args, const std::function<void()>& prepare = {}) {
  const fs::path err = ErrPath();
  return Finish(Spawn(args, err, prepare), err);
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// The frames a failed sequence says are whole ("frames 1-4, 7 were written
// whole", "frame 1 was written whole", "no frame was written").
std::set<int> FramesSaidWhole(const std::string& err) {
  std::set<int> frames;
  std::smatch m;
  if (!std::regex_search(err, m, std::regex("frames? ([0-9, -]+) (was|were) written whole"))) {
    return frames;
  }
  const std::string list = m[1];
  std::smatch r;
  for (auto it = list.cbegin();
       std::regex_search(it, list.cend(), r, std::regex("([0-9]+)(-([0-9]+))?"));
       it = r.suffix().first) {
    const int first = std::stoi(r[1]);
    const int last = r[3].matched ? std::stoi(r[3]) : first;
    for (int f = first; f <= last; ++f) frames.insert(f);
  }
  return frames;
}

// A render whose writing fails, run by `run` on its own: outputs in `folder`
// named `output` (a pattern "o.#.EXT" for a sequence), with more arguments.
struct FailingWrite {
  std::string output;
  std::string more;
};

// What a failed write must leave: exit 1; our message, naming the file and
// `cause`; the output that was there before, as it was; no temporary file;
// and in a sequence, the frames said to be whole (and only those) there and
// whole.
void ExpectCleanFailure(const FailingWrite& c, const fs::path& in, int width,
                        const fs::path& folder, const std::string& cause,
                        const std::function<Outcome(const std::vector<std::string>&)>& run) {
  for (const std::string& name : Entries(folder)) fs::remove_all(folder / name);
  const bool sequence = c.output.find('#') != std::string::npos;
  const std::string ext = fs::path(c.output).extension().string();
  // The output that is there before: the last frame's in a sequence.
  const std::string kept = sequence ? "o.12" + ext : c.output;
  Spill(folder / kept, "an output that must survive");
  std::vector<std::string> args = {"render", in.string(), (folder / c.output).string(), "-q"};
  for (const std::string& w : Words(c.more)) args.push_back(w);
  const Outcome r = run(args);
  SCOPED_TRACE(c.output + " " + c.more + "\n" + r.err);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(Slurp(folder / kept) == "an output that must survive");  // not printed: may be large
  if (!sequence) {
    EXPECT_EQ(r.err, "prismora: cannot write '" + (folder / c.output).string() + "': " + cause +
                         "\n");
    EXPECT_THAT(Entries(folder), ::testing::ElementsAre(kept));
    return;
  }
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      r.err, m, std::regex("^prismora: frame ([0-9]+): cannot write '([^']+)': ([^;]+); ")));
  const int failed = std::stoi(m[1]);
  EXPECT_EQ(m[2].str(), (folder / ("o." + std::to_string(failed) + ext)).string());
  EXPECT_EQ(m[3].str(), cause);
  const std::set<int> whole = FramesSaidWhole(r.err);
  EXPECT_EQ(whole.empty(), r.err.find("no frame was written") != std::string::npos);
  EXPECT_EQ(whole.count(failed), 0u);
  std::vector<std::string> expected = {kept};
  for (int f : whole) {
    const std::string name = "o." + std::to_string(f) + ext;
    expected.push_back(name);
    EXPECT_TRUE(IsWholeImage(folder / name, width)) << name;
  }
  EXPECT_THAT(Entries(folder), UnorderedElementsAreArray(expected));
}

class CliOutputSafety : public ::testing::Test {
 protected:
  fs::path File(const std::string& name) const { return dir_ / name; }
  TempDir dir_;
};

// --- A full disk -------------------------------------------------------------

// A 1 MiB tmpfs stands in for a full disk. Mounting one needs root (as in
// CI); elsewhere these tests are skipped with the reason.
class FullDisk : public CliOutputSafety {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) {
      GTEST_SKIP() << "a full disk is a 1 MiB tmpfs mounted for the test, which needs root";
    }
    disk_ = dir_ / "disk";
    fs::create_directory(disk_);
    if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a 1 MiB tmpfs on " << disk_ << " (" << std::strerror(errno)
                   << "), which stands in for a full disk";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
  }

  fs::path disk_;
  bool mounted_ = false;
};

// Stills larger than the disk, sequences of frames of which a few fit, each
// written after its render or while it renders (a thread to spare), in
// every common format: none reports success, leaves a temporary, or changes
// the output that was there.
TEST_F(FullDisk, NoFormatAndNoModeLeavesABrokenOrChangedFile) {
  WriteNoise(File("big.png"), 1400, 1000);  // 2 MiB and more in every format
  WriteNoise(File("frame.png"), 400, 400);  // 0.2 to 0.8 MiB
  const std::vector<FailingWrite> stills = {
      {"out.png", ""},           {"out.jpg", ""},           {"out.tif", ""},
      {"out.exr", ""},           {"out.png", "--threads 2"}, {"out.jpg", "--threads 2"},
      {"out.tif", "--threads 2"}, {"out.exr", "--threads 2"},
  };
  const std::vector<FailingWrite> sequences = {
      {"o.#.png", "--frames 1-12 --threads 1"}, {"o.#.jpg", "--frames 1-12 --threads 1"},
      {"o.#.tif", "--frames 1-12 --threads 1"}, {"o.#.exr", "--frames 1-12 --threads 1"},
      // Frames side by side, each written while it renders.
      {"o.#.png", "--frames 1-12 --threads 8"}, {"o.#.exr", "--frames 1-12 --threads 8"},
  };
  auto run = [](const std::vector<std::string>& args) { return RunChild(args); };
  for (const FailingWrite& c : stills) {
    ExpectCleanFailure(c, File("big.png"), 1400, disk_, "no space left on the device", run);
  }
  for (const FailingWrite& c : sequences) {
    ExpectCleanFailure(c, File("frame.png"), 400, disk_, "no space left on the device", run);
  }
}

// A limit on file sizes (ulimit -f) fails writes as a full disk does, for
// anyone: through the checked writes, and for the formats written in memory
// first (TIFF; JPEG, which goes through the checked writes when sizes are
// limited). The limit holds for each file, so a sequence fails at its first
// frame.
TEST_F(CliOutputSafety, AFileSizeLimitFailsLikeAFullDisk) {
  WriteNoise(File("big.png"), 1400, 1000);
  fs::create_directory(File("out"));
  auto limited = [](const std::vector<std::string>& args) {
    return RunChild(args, [] {
      const rlimit limit{1 << 20, 1 << 20};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    });
  };
  for (const FailingWrite& c : {FailingWrite{"out.png", ""}, FailingWrite{"out.jpg", ""},
                                FailingWrite{"out.tif", ""}, FailingWrite{"out.tif", "--threads 2"}}) {
    ExpectCleanFailure(c, File("big.png"), 1400, File("out"),
                       "the file is too large for the file system", limited);
  }
  ExpectCleanFailure({"o.#.exr", "--frames 1-3 --threads 1"}, File("big.png"), 1400, File("out"),
                     "the file is too large for the file system", limited);
}

// --- Where outputs go, and which are refused ------------------------------------

// An output through a symbolic link replaces the file the link leads to, in
// that file's folder; the link stays a link. A link to nowhere yet makes
// its file.
TEST_F(CliOutputSafety, SymbolicLinksAreWrittenThrough) {
  WriteNoise(File("in.png"), 40, 30);
  fs::create_directory(File("real"));
  fs::create_directory(File("links"));
  Spill(File("real/old.png"), "old");
  struct Case {
    std::string link;
    std::vector<std::string> chain;  // the link's text, then of the links it leads through
    std::string lands;               // in real/
  };
  const std::vector<Case> cases = {
      {"relative.png", {"../real/old.png"}, "old.png"},
      {"absolute.png", {File("real/abs.png").string()}, "abs.png"},
      {"nowhere.png", {"../real/new.png"}, "new.png"},
      {"chain.png", {"hop.png", "../real/hopped.png"}, "hopped.png"},
  };
  for (const Case& c : cases) {
    fs::create_symlink(c.chain[0], File("links/" + c.link));
    if (c.chain.size() > 1) fs::create_symlink(c.chain[1], File("links/" + c.chain[0]));
    const Outcome r = RunChild({"render", File("in.png").string(), File("links/" + c.link).string(),
                           "-q"});
    EXPECT_EQ(r.exit_code, 0) << c.link << "\n" << r.err;
    EXPECT_TRUE(fs::is_symlink(File("links/" + c.link))) << c.link;
    EXPECT_EQ(fs::read_symlink(File("links/" + c.link)), c.chain[0]) << c.link;
    EXPECT_TRUE(IsWholeImage(File("real/" + c.lands), 40)) << c.link;
  }
  EXPECT_THAT(Entries(File("real")),
              UnorderedElementsAreArray({"old.png", "abs.png", "new.png", "hopped.png"}));
  EXPECT_THAT(Entries(File("links")),
              UnorderedElementsAreArray({"relative.png", "absolute.png", "nowhere.png",
                                         "chain.png", "hop.png"}));
}

// An output the user could not write with a plain write (a read-only file,
// or any file in a folder without write permission) is refused before the
// render, and left as it was. Root may write anything, so as root the tool
// runs as the user "nobody" here.
TEST_F(CliOutputSafety, OutputsTheUserMayNotWriteAreRefused) {
  const uid_t nobody = 65534;
  const bool as_root = ::geteuid() == 0;
  WriteNoise(File("in.png"), 40, 30);
  fs::create_directory(File("open"));
  fs::create_directory(File("closed"));
  Spill(File("open/read-only.png"), "keep");
  Spill(File("closed/writable.png"), "keep");
  fs::permissions(File("open"), fs::perms::all);
  fs::permissions(File("open/read-only.png"), fs::perms::owner_read | fs::perms::group_read |
                                                  fs::perms::others_read);
  fs::permissions(File("closed/writable.png"), fs::perms::all);
  fs::permissions(File("closed"), fs::perms::owner_read | fs::perms::owner_exec |
                                      fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
  if (as_root) {
    // Owned by the user who runs the tool, as a user's own files are.
    ::chown(File("open/read-only.png").c_str(), nobody, nobody);
    ::chown(File("closed/writable.png").c_str(), nobody, nobody);
  }
  auto as_user = [&] {
    if (as_root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ::_exit(126);
  };
  struct Case {
    std::string output;
    std::string more;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"open/read-only.png", "", "cannot write '" + File("open/read-only.png").string() +
                                     "': permission denied"},
      {"closed/writable.png", "", "cannot write '" + File("closed/writable.png").string() +
                                      "': permission denied in the folder '" +
                                      File("closed").string() + "'"},
      {"closed/new.png", "", "permission denied in the folder"},
      {"closed/o.#.png", "--frames 1-2", "permission denied in the folder"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"render", File("in.png").string(),
                                     File(c.output).string(), "-q"};
    for (const std::string& w : Words(c.more)) args.push_back(w);
    const Outcome r = RunChild(args, as_user);
    if (r.exit_code == 126 || r.exit_code == 127) {
      fs::permissions(File("closed"), fs::perms::all);
      GTEST_SKIP() << "the tool cannot be run as the user nobody here (" << r.err << ")";
    }
    EXPECT_EQ(r.exit_code, 1) << c.output << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.output;
  }
  EXPECT_EQ(Slurp(File("open/read-only.png")), "keep");
  EXPECT_EQ(Slurp(File("closed/writable.png")), "keep");
  EXPECT_THAT(Entries(File("open")), ::testing::ElementsAre("read-only.png"));
  EXPECT_THAT(Entries(File("closed")), ::testing::ElementsAre("writable.png"));
  fs::permissions(File("closed"), fs::perms::all);  // for the clean-up without root
}

// Names as long as the folder takes work: the temporary file beside an
// output never needs more room than the output's own name.
TEST_F(CliOutputSafety, NamesAsLongAsTheFolderTakes) {
  WriteNoise(File("in.png"), 40, 30);
  const long name_max = ::pathconf(dir_.path().c_str(), _PC_NAME_MAX);
  ASSERT_GT(name_max, 16);
  const auto n = static_cast<std::size_t>(name_max);
  std::string accents;  // two bytes a character
  while (accents.size() + 2 + 4 <= n) accents += "\xC3\xA9";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {std::string(n - 4, 'n') + ".png", {std::string(n - 4, 'n') + ".png"}},
      {accents + ".png", {accents + ".png"}},
      {std::string(n - 6, 's') + ".#.exr --frames 1-2",
       {std::string(n - 6, 's') + ".1.exr", std::string(n - 6, 's') + ".2.exr"}},
  };
  std::vector<std::string> expected = {"in.png"};
  for (const auto& [output, files] : cases) {
    const std::vector<std::string> words = Words(output);
    std::vector<std::string> args = {"render", File("in.png").string(), File(words[0]).string(),
                                     "-q"};
    args.insert(args.end(), words.begin() + 1, words.end());
    const Outcome r = RunChild(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    for (const std::string& f : files) {
      EXPECT_LE(f.size(), n);
      EXPECT_TRUE(IsWholeImage(File(f), 40)) << f.size() << " bytes";
      expected.push_back(f);
    }
  }
  EXPECT_THAT(dir_.Entries(), UnorderedElementsAreArray(expected));
}

// --- Signals, stdout and the terminal ------------------------------------------

// Whether the process has a handler for `signal` (Linux's view of it).
bool Catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) == 0) {
      return ((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1) != 0;
    }
  }
  return false;
}

// A signal stops the work with the shell's exit code for it (128 + its
// number); finished frames stay whole, an output being written is left as
// it was, and no temporary file remains. A second signal ends the program
// at once, with the same clean-up. A signal ignored by whoever started the
// program (nohup) stays ignored.
TEST_F(CliOutputSafety, SignalsEndTheRunWithTheShellsCodeAndNoTemporary) {
  WriteNoise(File("frame.png"), 256, 256);
  WriteNoise(File("slow.png"), 1200, 1200);
  const std::vector<std::string> heavy = {"-p", "Blur ON=on", "-p", "Blur Amount=5",
                                          "-p", "Amount=10"};
  struct Case {
    std::vector<int> signals;
    std::string input;
    std::string output;
    std::vector<std::string> more;
    int exit_code;
    bool hangups_ignored = false;
  };
  const std::vector<Case> cases = {
      {{SIGTERM}, "frame.png", "o.####.png", {"--frames", "1-2000", "--threads", "1"}, 143},
      {{SIGHUP}, "frame.png", "o.####.png", {"--frames", "1-2000", "--threads", "2"}, 129},
      {{SIGINT}, "slow.png", "out.png", {"--threads", "2"}, 130},  // written while it renders
      {{SIGTERM}, "slow.png", "out.png", {"--threads", "1"}, 143},
      {{SIGTERM, SIGTERM}, "slow.png", "out.png", {"--threads", "2"}, 143},
      {{SIGHUP, SIGTERM}, "slow.png", "out.png", {"--threads", "2"}, 143, true},
  };
  for (const Case& c : cases) {
    fs::create_directory(File("out"));
    Spill(File("out/out.png"), "an output that must survive");
    std::vector<std::string> args = {"render", File(c.input).string(),
                                     File("out/" + c.output).string()};
    args.insert(args.end(), c.more.begin(), c.more.end());
    args.insert(args.end(), heavy.begin(), heavy.end());
    const fs::path err = ErrPath();
    const pid_t pid = Spawn(args, err, [&] {
      if (c.hangups_ignored) ::signal(SIGHUP, SIG_IGN);
    });
    // Once the program catches the signal; then sequences once two frames
    // are written, and a still written while it renders once its file is
    // begun.
    const bool sequence = c.output.find('#') != std::string::npos;
    const bool alongside = !sequence && c.more.back() == "2";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto started = [&] {
      if (!Catches(pid, c.signals.back())) return false;
      if (sequence) return fs::exists(File("out/o.0002.png"));
      if (!alongside) return true;
      for (const std::string& name : Entries(File("out"))) {
        if (name[0] == '.') return true;
      }
      return false;
    };
    while (!started() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (int s : c.signals) {
      ::kill(pid, s);
      // Signals of one kind sent together may arrive as one.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const Outcome r = Finish(pid, err);
    SCOPED_TRACE(std::to_string(c.signals.size()) + " x signal " + std::to_string(c.signals[0]) +
                 " on " + c.output + "\n" + r.err);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_TRUE(Slurp(File("out/out.png")) == "an output that must survive");
    const std::vector<std::string> left = Entries(File("out"));
    if (sequence) {
      EXPECT_LT(left.size(), 2001u);  // stopped before the end
    } else {
      EXPECT_THAT(left, ::testing::ElementsAre("out.png"));
    }
    for (const std::string& name : left) {
      EXPECT_NE(name[0], '.') << name;
      if (name != "out.png") {
        EXPECT_TRUE(IsWholeImage(File("out/" + name), 256)) << name;
      }
    }
    fs::remove_all(File("out"));
  }
}

// Once the output is in place the run has succeeded, even when nobody reads
// what it prints any more.
TEST_F(CliOutputSafety, AClosedStdoutAfterTheWriteIsNoFailure) {
  WriteNoise(File("in.png"), 40, 30);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);  // no reader
  const Outcome r = RunChild({"render", File("in.png").string(), File("out.png").string()},
                        [&] { ::dup2(fds[1], 1); });
  ::close(fds[1]);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(IsWholeImage(File("out.png"), 40));
}

// On a terminal the bar is redrawn in place; its share and its count of
// frames never go back, from the first draw to the last, while frames
// render side by side and wait to be committed.
TEST_F(CliOutputSafety, TheProgressBarOnlyMovesForward) {
  WriteNoise(File("in.png"), 160, 120);
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0) << std::strerror(errno);
  ASSERT_EQ(::grantpt(terminal), 0);
  ASSERT_EQ(::unlockpt(terminal), 0);
  const std::string side = ::ptsname(terminal);
  const fs::path err = ErrPath();
  const pid_t pid = Spawn({"render", File("in.png").string(), File("o.#.png").string(),
                           "--frames", "1-60", "--threads", "2", "-p", "Blur ON=on", "-p",
                           "Blur Amount=5"},
                          err, [&] {
                            const int tty = ::open(side.c_str(), O_RDWR | O_NOCTTY);
                            ::dup2(tty, 2);
                          });
  std::string shown;
  char buffer[4096];
  ssize_t n;
  // Ends when the program has gone and its side of the terminal is closed.
  while ((n = ::read(terminal, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) shown.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(terminal);
  const Outcome r = Finish(pid, err);
  ASSERT_EQ(r.exit_code, 0) << shown;
  const std::regex bar("^\\[[#.]{30}\\] +([0-9]+)%  ([0-9]+)/60 frames");
  std::vector<std::pair<int, int>> draws;
  std::size_t at = 0;
  while ((at = shown.find('\r', at)) != std::string::npos) {
    ++at;
    std::smatch m;
    const std::string rest = shown.substr(at, 80);
    if (std::regex_search(rest, m, bar)) draws.emplace_back(std::stoi(m[1]), std::stoi(m[2]));
  }
  ASSERT_GE(draws.size(), 3u) << shown;
  for (std::size_t i = 1; i < draws.size(); ++i) {
    EXPECT_GE(draws[i].first, draws[i - 1].first) << "draw " << i << "\n" << shown;
    EXPECT_GE(draws[i].second, draws[i - 1].second) << "draw " << i << "\n" << shown;
  }
  // Cleared at the end: the summary goes to stdout alone.
  EXPECT_NE(shown.rfind("\r\033[K"), std::string::npos);
}

#endif  // PRISMORA_POSIX_TOOL_TESTS

}  // namespace
}  // namespace prismora::testing
