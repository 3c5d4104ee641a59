// The frei0r module in the real hosts (ffmpeg, melt, gst-launch-1.0), each
// on a short lossless clip, against `prismora render` of the same frames
// with the same settings, compared as raw RGBA byte for byte.
#ifdef PRISMORA_FREI0R_MODULE_PATH

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "frei0r_support.h"
#include "temp_dir.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

constexpr int kFrames = 3;

struct ShellResult {
  int exit_code = -1;
  std::string err;
};

// Runs `command` through the shell in `dir`, stdout dropped, stderr kept.
ShellResult Shell(const std::filesystem::path& dir, const std::string& command) {
  const std::filesystem::path err = dir / "stderr.txt";
  const std::string line =
      "cd '" + dir.string() + "' && (" + command + ") >/dev/null 2>'" + err.string() + "'";
  ShellResult r;
  const int status = std::system(line.c_str());
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = ReadBytes(err);
  return r;
}

bool Installed(const char* program) {
  const std::string line = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

std::string ModuleDir() {
  return std::filesystem::path(PRISMORA_FREI0R_MODULE_PATH).parent_path().string();
}

// "frame 1, pixel (3, 4): ..." for the first difference, or "".
std::string FirstDifference(const std::string& got, const std::string& want, int width,
                            int height) {
  if (got.size() != want.size()) {
    return std::to_string(got.size()) + " bytes, not " + std::to_string(want.size());
  }
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (got[i] == want[i]) continue;
    const std::size_t pixel = i / 4;
    const std::size_t frame_pixels = static_cast<std::size_t>(width) * height;
    return "frame " + std::to_string(pixel / frame_pixels) + ", pixel (" +
           std::to_string(pixel % frame_pixels % width) + ", " +
           std::to_string(pixel % frame_pixels / width) + ") channel " + std::to_string(i % 4) +
           ": " + std::to_string(static_cast<unsigned char>(got[i])) + ", not " +
           std::to_string(static_cast<unsigned char>(want[i]));
  }
  return "";
}

struct HostCase {
  const char* label;
  const char* program;  // the host's program, to skip where it is absent
  int width, height;
  // The host's run from in.rgba (or in.mov) into out.rgba; W and H replaced.
  std::string host;
  // The same settings for `prismora render`.
  std::string render;
};

class Frei0rHosts : public ::testing::TestWithParam<HostCase> {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a host program cannot load a module built with sanitizers (the release "
                    "build runs these tests)";
#endif
  }

  // The clip as raw RGBA, as PNG frames and as PNG in a .mov; the frames
  // rendered by `prismora render` as raw RGBA in ref.rgba.
  void MakeClip(const HostCase& c, const std::string& render_args) {
    std::string raw;
    for (int f = 0; f < kFrames; ++f) {
      const std::vector<uint32_t> frame = TestFrame(c.width, c.height, f);
      raw.append(reinterpret_cast<const char*>(frame.data()), frame.size() * 4);
    }
    WriteBytes(dir_ / "in.rgba", raw.data(), raw.size());
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    const std::string raw_in = "ffmpeg -nostdin -v error -f rawvideo -pix_fmt rgba -s " + size +
                               " -r 25 -i in.rgba ";
    ASSERT_EQ(Shell(dir_.path(), raw_in + "-start_number 0 in.%04d.png").exit_code, 0);
    ASSERT_EQ(Shell(dir_.path(), raw_in + "-c:v png in.mov").exit_code, 0);
    const CommandResult r = RunTool("render '" + (dir_ / "in.%04d.png").string() + "' '" +
                                    (dir_ / "ref.%04d.png").string() + "' --frames 0-" +
                                    std::to_string(kFrames - 1) + " --fps 25 -q " + render_args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_EQ(Shell(dir_.path(), "ffmpeg -nostdin -v error -start_number 0 -i ref.%04d.png -f "
                                 "rawvideo -pix_fmt rgba ref.rgba")
                  .exit_code,
              0);
  }

  ShellResult RunHost(const HostCase& c, const std::string& env = "") {
    std::string command = c.host;
    for (const auto& [key, value] :
         {std::pair{std::string("W"), std::to_string(c.width)},
          std::pair{std::string("H"), std::to_string(c.height)},
          std::pair{std::string("BYTES"), std::to_string(c.width * c.height * 4)}}) {
      const std::string token = "{" + key + "}";
      for (auto at = command.find(token); at != std::string::npos; at = command.find(token)) {
        command.replace(at, token.size(), value);
      }
    }
    return Shell(dir_.path(), "FREI0R_PATH='" + ModuleDir() + "' GST_REGISTRY='" +
                                  (dir_ / "registry.bin").string() + "' " + env + " " + command);
  }

  TempDir dir_;
};

const char* const kFfmpeg =
    "ffmpeg -nostdin -v error -f rawvideo -pix_fmt rgba -s {W}x{H} -r 25 -i in.rgba ";
const char* const kMelt =
    "melt -silent -quiet in.mov -filter frei0r.prismora ";
const char* const kMeltOut = " -consumer avformat:out.rgba f=rawvideo vcodec=rawvideo pix_fmt=rgba";
const char* const kGst =
    "gst-launch-1.0 -q filesrc location=in.rgba blocksize={BYTES} ! rawvideoparse width={W} "
    "height={H} format=rgba framerate=25/1 ! frei0r-filter-prismora ";
const char* const kGstOut = " ! filesink location=out.rgba";

TEST_P(Frei0rHosts, WriteTheFramesPrismoraRenderWrites) {
  const HostCase& c = GetParam();
  if (!Installed(c.program)) GTEST_SKIP() << c.program << " is not installed (scripts/bootstrap.sh installs it)";
  MakeClip(c, c.render);
  if (HasFatalFailure()) return;
  const ShellResult r = RunHost(c);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(FirstDifference(ReadBytes(dir_ / "out.rgba"), ReadBytes(dir_ / "ref.rgba"), c.width,
                            c.height),
            "")
      << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Frei0r, Frei0rHosts,
    ::testing::Values(
        // Positional: Amount, Power, Center X, Center Y, Blur ON (y/n).
        HostCase{"ffmpeg", "ffmpeg", 64, 48,
                 std::string(kFfmpeg) +
                     "-vf 'frei0r=prismora:0.3|0.5|0.25|0.75|y' -f rawvideo -pix_fmt rgba out.rgba",
                 "-p Amount=3 -p Power=5.25 -p Center=16,36 -p 'Blur ON=on'"},
        // Random jitter: the time arrives in seconds.
        HostCase{"melt", "melt", 63, 47,
                 std::string(kMelt) +
                     "Amount=0.3 'Mode=3 Colors' 'Random ON=1' 'Random Amplitude=0.4' "
                     "'Center X=0.25'" + kMeltOut,
                 "-p Amount=3 -p 'Mode=3 Colors' -p 'Random ON=on' -p 'Random Amplitude=2' "
                 "-p Center=15.75,23.5"},
        HostCase{"gstreamer", "gst-launch-1.0", 63, 47,
                 std::string(kGst) +
                     "amount=0.3 blur-on=true color1-r=1 color1-g=0.5 color1-b=0 "
                     "vignetting-on=true vignetting-amount=0.8 random-on=true "
                     "random-mode=Wiggle wiggle-freq=0.05" + kGstOut,
                 "-p Amount=3 -p 'Blur ON=on' -p 'Color1=#FF8000' -p 'Vignetting ON=on' "
                 "-p 'Vignetting Amount=30' -p 'Random ON=on' -p 'Random Mode=Wiggle' "
                 "-p 'Wiggle Freq=5'"}),
    [](const ::testing::TestParamInfo<HostCase>& info) { return std::string(info.param.label); });

// Keyframes in MLT reach the module as values re-sent before each frame:
// the first and last frames equal `prismora render`'s keyframes there.
TEST_F(Frei0rHosts, MeltKeyframesAnimateAsPrismoraRenders) {
  const HostCase c{"melt", "melt", 63, 47,
                   std::string(kMelt) + "'Amount=0=0;2=0.4' 'Vignetting ON=1'" + kMeltOut, ""};
  if (!Installed(c.program)) GTEST_SKIP() << "melt is not installed (scripts/bootstrap.sh installs it)";
  MakeClip(c, "-p Amount@f0=0 -p Amount@f2=4 -p 'Vignetting ON=on'");
  if (HasFatalFailure()) return;
  const ShellResult r = RunHost(c);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string got = ReadBytes(dir_ / "out.rgba");
  const std::string want = ReadBytes(dir_ / "ref.rgba");
  ASSERT_EQ(got.size(), want.size());
  const std::size_t frame = static_cast<std::size_t>(c.width) * c.height * 4;
  EXPECT_EQ(got.substr(0, frame), want.substr(0, frame)) << "frame 0, Amount 0";
  EXPECT_EQ(got.substr(2 * frame), want.substr(2 * frame)) << "frame 2, Amount 4";
  EXPECT_NE(got.substr(0, frame), got.substr(2 * frame));
}

// A render the plug-in refuses passes the frame through and says why, once.
TEST_F(Frei0rHosts, ARefusedFramePassesThroughAndIsSaidOnce) {
  const HostCase c{"ffmpeg", "ffmpeg", 64, 48,
                   std::string(kFfmpeg) + "-vf frei0r=prismora -f rawvideo -pix_fmt rgba out.rgba",
                   ""};
  if (!Installed(c.program)) GTEST_SKIP() << "ffmpeg is not installed (scripts/bootstrap.sh installs it)";
  MakeClip(c, "");
  if (HasFatalFailure()) return;
  const ShellResult r =
      RunHost(c, std::string("PRISMORA_FREI0R_PLUGIN='") + PRISMORA_FAILING_PLUGIN_PATH + "'");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(FirstDifference(ReadBytes(dir_ / "out.rgba"), ReadBytes(dir_ / "in.rgba"), c.width,
                            c.height),
            "");
  const auto said = r.err.find("Out of tea.");
  EXPECT_NE(said, std::string::npos) << r.err;
  EXPECT_EQ(said, r.err.rfind("Out of tea.")) << r.err;
}

// MLT's threads=N hands one instance strips of each frame on N threads at
// once: the module sees it, passes the frames through and says why, rather
// than rendering strips as frames (or racing on one instance). The first
// strip may be rendered before the second shows what is going on.
TEST_F(Frei0rHosts, MeltStripsPassThroughAndSayWhy) {
  const HostCase c{"melt", "melt", 64, 48,
                   std::string(kMelt) + "threads=2 Amount=0.5" + kMeltOut, ""};
  if (!Installed(c.program)) GTEST_SKIP() << "melt is not installed (scripts/bootstrap.sh installs it)";
  MakeClip(c, "");
  if (HasFatalFailure()) return;
  const ShellResult r = RunHost(c);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::size_t frame = static_cast<std::size_t>(c.width) * c.height * 4;
  const std::string got = ReadBytes(dir_ / "out.rgba");
  const std::string want = ReadBytes(dir_ / "in.rgba");
  ASSERT_EQ(got.size(), want.size());
  EXPECT_EQ(FirstDifference(got.substr(frame), want.substr(frame), c.width, c.height), "")
      << "after the first frame";
  EXPECT_NE(r.err.find("remove threads= from the filter"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace prismora::testing

#endif  // PRISMORA_FREI0R_MODULE_PATH
