// prismora render and prismora demo, run as a user runs them, on small
// image files made for each test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "image_fixtures.h"
#include "imageio/raster.h"
#include "temp_dir.h"
#include "test_support.h"

#if defined(PRISMORA_HAVE_IMAGE_FILES) && !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace prismora::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

#ifdef PRISMORA_HAVE_IMAGE_FILES

// A path quoted for the shell.
std::string Q(const std::filesystem::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A small picture with hard edges away from the centre (where the fringes
// show), a ramp, and alpha from transparent to opaque. `channels` 1 to 4.
std::vector<float> TestPicture(int width, int height, int channels) {
  std::vector<float> v;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool square = x > width / 8 && x < width * 3 / 8 && y > height / 8 && y < height / 2;
      const float ramp = static_cast<float>(x) / static_cast<float>(width - 1);
      const float colour[3] = {square ? 1.0f : 0.1f, square ? 0.9f : ramp, square ? 0.8f : 0.3f};
      const float alpha = y < height / 4 ? 0.25f + 0.75f * ramp : 1.0f;
      if (channels <= 2) {
        v.push_back(colour[1]);
      } else {
        v.insert(v.end(), colour, colour + 3);
      }
      if (channels == 2 || channels == 4) v.push_back(alpha);
    }
  }
  return v;
}

bool SameValues(const RawImage& a, const RawImage& b) {
  return a.spec.width == b.spec.width && a.spec.height == b.spec.height &&
         a.spec.nchannels == b.spec.nchannels && a.values == b.values;
}

class CliRender : public ::testing::Test {
 protected:
  std::filesystem::path File(const std::string& name) const { return dir_ / name; }
  CommandResult Render(const std::string& in, const std::string& out,
                       const std::string& more = "") {
    return RunTool("render " + Q(File(in)) + " " + Q(File(out)) + " -q " + more);
  }
  TempDir dir_;
};

TEST_F(CliRender, EightBitPngWithoutChangeIsExactAndWithAmountFringes) {
  WriteRawImage(File("in.png"), 48, 32, 4, OIIO::TypeDesc::UINT8, TestPicture(48, 32, 4), 3);
  const CommandResult still = Render("in.png", "same.png", "-p Amount=0");
  ASSERT_EQ(still.exit_code, 0) << still.err;
  EXPECT_THAT(still.out + still.err, IsEmpty());  // -q
  const RawImage in = ReadRawImage(File("in.png"));
  const RawImage same = ReadRawImage(File("same.png"));
  EXPECT_EQ(same.spec.format, OIIO::TypeDesc::UINT8);
  EXPECT_TRUE(SameValues(in, same));

  ASSERT_EQ(Render("in.png", "fringed.png", "-p Amount=8").exit_code, 0);
  const RawImage fringed = ReadRawImage(File("fringed.png"));
  EXPECT_EQ(fringed.spec.nchannels, 4);
  EXPECT_FALSE(SameValues(in, fringed));
}

TEST_F(CliRender, SixteenBitPngKeepsEveryValue) {
  // Values a 16-bit world holds (0..32768), as a 16-bit file stores them.
  std::vector<float> values = TestPicture(40, 30, 3);
  for (float& v : values) {
    const auto world = static_cast<uint16_t>(std::lround(v * 32768.0f));
    v = static_cast<float>(imageio::FileFromWorld16(world)) / 65535.0f;
  }
  WriteRawImage(File("in.png"), 40, 30, 3, OIIO::TypeDesc::UINT16, values);
  ASSERT_EQ(Render("in.png", "same.png", "-p Amount=0").exit_code, 0);
  const RawImage in = ReadRawImage(File("in.png"));
  const RawImage same = ReadRawImage(File("same.png"));
  EXPECT_EQ(same.spec.format, OIIO::TypeDesc::UINT16);
  EXPECT_EQ(same.spec.nchannels, 3);  // no alpha in, none out
  EXPECT_TRUE(SameValues(in, same));

  ASSERT_EQ(Render("in.png", "fringed.png", "-p Amount=8").exit_code, 0);
  EXPECT_FALSE(SameValues(in, ReadRawImage(File("fringed.png"))));
}

TEST_F(CliRender, FloatExrWithAssociatedAlpha) {
  // Premultiplied half floats, some above 1: a float world, straight inside,
  // premultiplied again on the way out.
  std::vector<float> values = TestPicture(32, 32, 4);
  for (std::size_t i = 0; i < values.size(); i += 4) {
    for (int c = 0; c < 3; ++c) values[i + c] *= 1.5f * values[i + 3];
  }
  WriteRawImage(File("in.exr"), 32, 32, 4, OIIO::TypeDesc::HALF, values, 3);
  const CommandResult r = RunTool("render " + Q(File("in.exr")) + " " + Q(File("same.exr")) +
                                  " -p Amount=0");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("32-bit float"));
  const RawImage in = ReadRawImage(File("in.exr"));
  const RawImage same = ReadRawImage(File("same.exr"));
  EXPECT_EQ(same.spec.format, OIIO::TypeDesc::HALF);
  ASSERT_EQ(same.values.size(), in.values.size());
  for (std::size_t i = 0; i < in.values.size(); ++i) {
    ASSERT_NEAR(same.values[i], in.values[i], 2e-3) << i;
  }

  ASSERT_EQ(Render("in.exr", "fringed.exr", "-p Amount=8").exit_code, 0);
  EXPECT_FALSE(SameValues(in, ReadRawImage(File("fringed.exr"))));
}

TEST_F(CliRender, GreyImagesComeOutInColour) {
  WriteRawImage(File("g.png"), 24, 16, 1, OIIO::TypeDesc::UINT8, TestPicture(24, 16, 1));
  WriteRawImage(File("ga.tif"), 24, 16, 2, OIIO::TypeDesc::UINT16, TestPicture(24, 16, 2), 1);
  ASSERT_EQ(Render("g.png", "g-same.png", "-p Amount=0").exit_code, 0);
  const RawImage grey = ReadRawImage(File("g.png"));
  const RawImage same = ReadRawImage(File("g-same.png"));
  ASSERT_EQ(same.spec.nchannels, 3);
  for (std::size_t i = 0; i < grey.values.size(); ++i) {
    for (int c = 0; c < 3; ++c) ASSERT_EQ(same.values[3 * i + c], grey.values[i]) << i;
  }
  ASSERT_EQ(Render("ga.tif", "ga.png", "-p Amount=8").exit_code, 0);
  EXPECT_EQ(ReadRawImage(File("ga.png")).spec.nchannels, 4);
}

TEST_F(CliRender, SequenceOnTwoThreadsEqualsOneThread) {
  for (int f = 1; f <= 4; ++f) {
    std::vector<float> v = TestPicture(40, 24, 3);
    for (float& x : v) x *= 0.6f + 0.1f * f;
    WriteRawImage(File("in." + std::to_string(1000 + f).substr(1) + ".png"), 40, 24, 3,
                  OIIO::TypeDesc::UINT8, v);
  }
  const std::string settings = " --frames 1-4 -p 'Random ON=on' -p 'Blur ON=on'";
  const CommandResult one = Render("in.###.png", "one.%03d.png", "--threads 1" + settings);
  ASSERT_EQ(one.exit_code, 0) << one.err;
  const CommandResult two = RunTool("render " + Q(File("in.###.png")) + " " +
                                    Q(File("two.###.png")) + " --threads 2" + settings);
  ASSERT_EQ(two.exit_code, 0) << two.err;
  EXPECT_THAT(two.out, AllOf(StartsWith("wrote 4 frames (1-4), 40x24, 8-bit"),
                             HasSubstr("on 2 threads")));
  for (const char* f : {"001", "002", "003", "004"}) {
    EXPECT_TRUE(SameValues(ReadRawImage(File(std::string("one.") + f + ".png")),
                           ReadRawImage(File(std::string("two.") + f + ".png"))))
        << f;
  }
}

// A single frame with a thread to spare is written while it renders, strip
// by strip as its rows are finished (with blur on, only once the blur pass
// has reached them): the file is the one a single thread writes.
TEST_F(CliRender, FrameWrittenWhileItRendersEqualsOneThread) {
  // Tall enough for several strips of the writer.
  WriteRawImage(File("in.png"), 1024, 700, 3, OIIO::TypeDesc::UINT8, TestPicture(1024, 700, 3));
  for (const std::string settings : {" -p Amount=6", " -p Amount=6 -p 'Blur ON=on'"}) {
    const CommandResult one = Render("in.png", "one.png", "--threads 1" + settings);
    ASSERT_EQ(one.exit_code, 0) << one.err;
    const CommandResult two = Render("in.png", "two.png", "--threads 2" + settings);
    ASSERT_EQ(two.exit_code, 0) << two.err;
    EXPECT_TRUE(SameValues(ReadRawImage(File("one.png")), ReadRawImage(File("two.png"))))
        << settings;
  }
}

TEST_F(CliRender, RandomMovesBetweenFramesAndAFixedSeedRepeats) {
  WriteRawImage(File("in.png"), 32, 24, 3, OIIO::TypeDesc::UINT8, TestPicture(32, 24, 3));
  const std::string random = " --frames 0-2 -p 'Random ON=on' -p 'Random Amplitude=5'";
  ASSERT_EQ(Render("in.png", "a.#.png", "-p 'Random Seed=7'" + random).exit_code, 0);
  ASSERT_EQ(Render("in.png", "b.#.png", "-p 'Random Seed=7'" + random).exit_code, 0);
  ASSERT_EQ(Render("in.png", "c.#.png", "-p 'Random Seed=8'" + random).exit_code, 0);
  const RawImage a0 = ReadRawImage(File("a.0.png")), a1 = ReadRawImage(File("a.1.png")),
                 a2 = ReadRawImage(File("a.2.png"));
  EXPECT_FALSE(SameValues(a0, a1));
  EXPECT_FALSE(SameValues(a1, a2));
  EXPECT_TRUE(SameValues(a1, ReadRawImage(File("b.1.png"))));
  EXPECT_TRUE(SameValues(a2, ReadRawImage(File("b.2.png"))));
  EXPECT_FALSE(SameValues(a1, ReadRawImage(File("c.1.png"))));
  // Frame n is at n / fps seconds, whichever way it is asked for.
  const std::string seed = " -p 'Random Seed=7' -p 'Random ON=on' -p 'Random Amplitude=5'";
  ASSERT_EQ(Render("in.png", "f.png", "--frame 2 --fps 40" + seed).exit_code, 0);
  ASSERT_EQ(Render("in.png", "t.png", "--time 0.05" + seed).exit_code, 0);
  EXPECT_TRUE(SameValues(ReadRawImage(File("f.png")), ReadRawImage(File("t.png"))));
  // "Random Fps" 30 holds the value for a 30th of a second: 0.05 s is in
  // the step of frame 1.
  EXPECT_TRUE(SameValues(a1, ReadRawImage(File("t.png"))));
}

TEST_F(CliRender, DepthCanBeAsked) {
  WriteRawImage(File("in.png"), 16, 16, 3, OIIO::TypeDesc::UINT8, TestPicture(16, 16, 3));
  const CommandResult r = RunTool("render " + Q(File("in.png")) + " " + Q(File("out.tif")) +
                                  " --depth 16");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("16-bit"));
  EXPECT_EQ(ReadRawImage(File("out.tif")).spec.format, OIIO::TypeDesc::UINT16);
}

// Every bad input: its message, its exit code, nothing left behind, and an
// output that was already there untouched.
TEST_F(CliRender, ErrorsNameTheProblemAndLeaveNoFile) {
  WriteRawImage(File("in.png"), 16, 12, 4, OIIO::TypeDesc::UINT8, TestPicture(16, 12, 4), 3);
  for (int f : {1, 3}) {
    WriteRawImage(File("seq." + std::to_string(f) + ".png"), 16, 12, 3, OIIO::TypeDesc::UINT8,
                  TestPicture(16, 12, 3));
  }
  const std::string whole = Slurp(File("in.png"));
  std::ofstream(File("cut.png"), std::ios::binary) << whole.substr(0, whole.size() * 2 / 3);
  std::ofstream(File("noise.png"), std::ios::binary) << std::string(300, 'z');
  std::ofstream(File("file"), std::ios::binary) << "not a folder";
  WriteRawImage(File("five.exr"), 2, 2, 5, OIIO::TypeDesc::HALF, std::vector<float>(20, 0.5f), 3,
                {"R", "G", "B", "A", "Z"});
  // Wider than the render's 16.16 positions reach: the plug-in refuses it.
  WriteRawImage(File("wide.png"), 32768, 1, 3, OIIO::TypeDesc::UINT8,
                std::vector<float>(3 * 32768, 0.5f));
  std::ofstream(File("out.png"), std::ios::binary) << "precious";

  const std::string in = Q(File("in.png")), out = Q(File("out.png"));
  struct Case {
    std::string args;
    int exit_code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {Q(File("missing.png")) + " " + out, 1, "missing.png' does not exist"},
      {Q(File("noise.png")) + " " + out, 1, "cannot read '" + File("noise.png").string()},
      {Q(File("cut.png")) + " " + out, 1, "cannot read '" + File("cut.png").string()},
      {Q(File("five.exr")) + " " + out, 1,
       "unsupported channel layout: 5 channels (R, G, B, A, Z)"},
      {in + " " + out + " -p Amout=3", 2, "did you mean \"Amount\""},
      {in + " " + out + " -p Amount=much", 2, "\"Amount\" takes a number"},
      {in + " " + out + " -p Amount=11", 2, "outside the valid range 0 to 10"},
      {in + " " + out + " -p Amount", 2, "="},
      {in + " " + Q(File("o.#.png")) + " --frames 3-1", 2, "the last frame comes before the first"},
      {in + " " + Q(File("o.#.png")) + " --frames x", 2, "bad frame range 'x'"},
      {in + " " + Q(File("o.#.%02d.png")) + " --frames 1-2", 2, "more than one frame number"},
      {in + " " + out + " --frames 1-2", 2, "OUTPUT must be a sequence pattern"},
      {Q(File("seq.#.png")) + " " + out, 2, "give the frames with --frames"},
      {Q(File("seq.#.png")) + " " + Q(File("o.#.png")) + " --frames 1-3", 1,
       "frame 2 of the input sequence is missing: '" + File("seq.2.png").string() + "'"},
      {in + " " + Q(File("nowhere/out.png")), 1, "the folder '" + File("nowhere").string() +
                                                       "' does not exist"},
      {in + " " + Q(File("file/out.png")), 1, "is not a folder"},
      {in + " " + in, 2, "is the input"},
      {in + " " + Q(File("out.nosuchformat")), 2, "no image format is known for the extension"},
      {in + " " + Q(File("out.ppm")) + " --depth 16", 1, "cannot write 16-bit pixels to"},
      {in + " " + out + " --plugin " + Q(File("missing.aex")), 1, "missing.aex"},
      {in + " " + out + " --plugin '" PRISMORA_MISMATCHED_PLUGIN_PATH "'", 1,
       "refused at global set-up"},
      {in + " " + out + " --plugin '" PRISMORA_FAILING_PLUGIN_PATH "'", 1,
       "the plug-in's pre-render failed with error 4 (PF_Err_OUT_OF_MEMORY): \"Out of tea.\""},
      {Q(File("wide.png")) + " " + out, 1, "the plug-in's render failed with error 255"},
      {in, 2, "render needs INPUT and OUTPUT"},
      {in + " " + out + " --bogus", 2, "unknown option '--bogus'"},
      {in + " " + out + " --threads 0", 2, "--threads takes 1 to 256"},
      {in + " " + out + " --depth 12", 2, "--depth takes 8, 16 or 32"},
      {in + " " + out + " --time soon", 2, "--time: the time \"soon\" is no time"},
      {in + " " + out + " --time 1 --frame 2", 2, "not both"},
      {in + " " + out + " --fps 0", 2, "--fps takes a frame rate above 0"},
  };
  const std::vector<std::string> before = dir_.Entries();
  for (const Case& c : cases) {
    const CommandResult r = RunTool("render " + c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args << "\n" << r.err;
    EXPECT_THAT(r.err, AllOf(StartsWith("prismora: "), HasSubstr(c.message))) << c.args;
    EXPECT_THAT(r.out, IsEmpty()) << c.args;
    EXPECT_EQ(dir_.Entries(), before) << c.args;
    EXPECT_EQ(Slurp(File("out.png")), "precious") << c.args;
  }
}

TEST_F(CliRender, SummaryLineUnlessQuiet) {
  WriteRawImage(File("in.png"), 20, 10, 3, OIIO::TypeDesc::UINT8, TestPicture(20, 10, 3));
  const CommandResult r = RunTool("render " + Q(File("in.png")) + " " + Q(File("out.jpg")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, StartsWith("wrote 1 frame, 20x10, 8-bit, in "));
  EXPECT_THAT(r.out, HasSubstr("out.jpg\n"));
  EXPECT_THAT(r.err, IsEmpty());  // no progress bar when stderr is no terminal
  EXPECT_EQ(ReadRawImage(File("out.jpg")).spec.width, 20);
}

// --timing tells where the time went, on stderr, after the frames are
// written; the output and the summary are those of a run without it.
TEST_F(CliRender, TimingTellsTheStagesOnStderr) {
  WriteRawImage(File("in.png"), 40, 30, 3, OIIO::TypeDesc::UINT8, TestPicture(40, 30, 3));
  const CommandResult r = RunTool("render " + Q(File("in.png")) + " " + Q(File("o.#.png")) +
                                  " --frames 1-3 --threads 2 --timing -p Amount=4");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, StartsWith("wrote 3 frames (1-3), 40x30, 8-bit, in "));
  EXPECT_THAT(r.err, ::testing::MatchesRegex(
                         "prismora: timing: read [0-9.]+ s, render [0-9.]+ s, write [0-9.]+ s, "
                         "commit [0-9.]+ s \\(summed over 3 frames on 2 threads; processor "
                         "time: read [0-9.]+ s, render [0-9.]+ s, write [0-9.]+ s\\); [0-9.]+ s "
                         "from the first read to the last commit\n"));
  ASSERT_EQ(Render("in.png", "plain.png", "-p Amount=4").exit_code, 0);
  for (const char* frame : {"o.1.png", "o.2.png", "o.3.png"}) {
    EXPECT_TRUE(SameValues(ReadRawImage(File(frame)), ReadRawImage(File("plain.png")))) << frame;
  }
}

#ifndef _WIN32
// Ctrl-C in the middle of a long sequence: finished frames stay, whole; no
// temporary file is left; the exit code says interrupted.
TEST_F(CliRender, InterruptKeepsFinishedFramesOnly) {
  WriteRawImage(File("in.png"), 256, 256, 3, OIIO::TypeDesc::UINT8, TestPicture(256, 256, 3));
  const std::string in = File("in.png").string(), out = File("o.####.png").string();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execl(PRISMORA_TOOL_PATH, "prismora", "render", in.c_str(), out.c_str(), "--frames",
          "1-2000", "--threads", "1", "-p", "Blur ON=on", "-p", "Blur Amount=5", "-p",
          "Amount=10", static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(File("o.0002.png")) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::vector<std::string> entries = dir_.Entries();
  ASSERT_GE(entries.size(), 3u);       // in.png and at least two frames
  ASSERT_LT(entries.size(), 2001u);    // stopped before the end
  for (const std::string& name : entries) {
    EXPECT_THAT(name, ::testing::MatchesRegex("in\\.png|o\\.[0-9]{4}\\.png")) << name;
    if (name != "in.png") {
      EXPECT_EQ(ReadRawImage(File(name)).spec.width, 256) << name;
    }
  }
}
#endif

TEST(CliDemo, WritesTheChartBeforeAndAfter) {
  TempDir dir;
  const auto out = dir / "demo.png";
  const CommandResult r = RunTool("demo " + Q(out) + " --size 96x54");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, AllOf(StartsWith("wrote " + out.string() + " (192x54)"),
                           HasSubstr("\"Amount\" 3")));
  const RawImage image = ReadRawImage(out);
  ASSERT_EQ(image.spec.width, 192);
  ASSERT_EQ(image.spec.height, 54);
  ASSERT_EQ(image.spec.nchannels, 3);
  // The two halves differ: the right one has the fringes.
  const auto row_half = static_cast<std::ptrdiff_t>(96 * 3);
  int differing = 0;
  for (int y = 0; y < 54; ++y) {
    const float* row = image.values.data() + y * 2 * row_half;
    differing += !std::equal(row, row + row_half, row + row_half);
  }
  EXPECT_GT(differing, 27);
  EXPECT_THAT(dir.Entries(), ::testing::ElementsAre("demo.png"));
}

TEST(CliDemo, Errors) {
  TempDir dir;
  struct Case {
    std::string args;
    int exit_code;
    const char* message;
  };
  for (const Case& c : {Case{"--size 10x10", 2, "--size takes WIDTHxHEIGHT"},
                        Case{"--size big", 2, "--size takes WIDTHxHEIGHT"},
                        Case{Q(dir / "a.png") + " " + Q(dir / "b.png"), 2, "one OUTPUT"},
                        Case{Q(dir / "demo.nosuchformat"), 2, "no image format"},
                        Case{Q(dir / "no" / "demo.png"), 1, "does not exist"},
                        Case{Q(dir / "demo.png") + " -p Colour=red", 2, "no parameter named"}}) {
    const CommandResult r = RunTool("demo " + c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
    EXPECT_THAT(dir.Entries(), IsEmpty()) << c.args;
  }
}

#endif  // PRISMORA_HAVE_IMAGE_FILES

TEST(CliUsage, NamesTheRenderVerbs) {
  const CommandResult r = RunTool("--help");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_THAT(r.out, AllOf(HasSubstr("render INPUT OUTPUT"), HasSubstr("demo [OUTPUT]")));
  EXPECT_THAT(r.out, Not(IsEmpty()));
}

}  // namespace
}  // namespace prismora::testing
