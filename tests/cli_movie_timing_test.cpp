// prismora render with footage as cameras and phones make it: frames keep
// their presentation times (a variable rate, a start offset), the host is
// told each frame's layer time, --fps conforms to a constant rate, movies
// with a display matrix are turned upright and the pixel aspect is kept.
// Each clip is tiny (64x36, two seconds at most) and made by the test with
// ffmpeg's own sources; outputs are checked through libavformat, and frames
// of lossless outputs against stills rendered at the same times.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imageio/image_file.h"
#include "temp_dir.h"
#include "test_support.h"

#if defined(PRISMORA_HAVE_MOVIES) && defined(PRISMORA_HAVE_IMAGE_FILES) && !defined(_WIN32)
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}
#define PRISMORA_MOVIE_TIMING_TESTS 1
#endif

namespace prismora::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

#ifdef PRISMORA_MOVIE_TIMING_TESTS

using InputPtr = std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)>;

InputPtr Open(const fs::path& path) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(raw, nullptr) < 0) {
    avformat_close_input(&raw);
  }
  return InputPtr(raw, [](AVFormatContext* c) { avformat_close_input(&c); });
}

// What a movie's video stream holds, and how long its audio runs.
struct Timing {
  int width = 0, height = 0;
  AVRational aspect{0, 1};
  bool display_matrix = false;
  std::vector<double> times;  // of the video frames, in order, in seconds
  double audio_start = 0, audio_seconds = 0;
};

Timing ProbeTiming(const fs::path& path) {
  Timing t;
  InputPtr input = Open(path);
  if (!input) return t;
  const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0) return t;
  AVStream* v = input->streams[video];
  t.width = v->codecpar->width;
  t.height = v->codecpar->height;
  t.aspect = av_guess_sample_aspect_ratio(input.get(), v, nullptr);
  t.display_matrix = av_stream_get_side_data(v, AV_PKT_DATA_DISPLAYMATRIX, nullptr) != nullptr;
  bool audio_seen = false;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input.get(), packet) >= 0) {
    const AVStream* s = input->streams[packet->stream_index];
    const double tb = av_q2d(s->time_base);
    if (packet->stream_index == video) {
      t.times.push_back(static_cast<double>(packet->pts) * tb);
    } else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      if (!audio_seen) t.audio_start = static_cast<double>(packet->pts) * tb;
      audio_seen = true;
      t.audio_seconds += static_cast<double>(packet->duration) * tb;
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  std::sort(t.times.begin(), t.times.end());
  // Packets without durations (AVI's): the stream's.
  const int audio = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (t.audio_seconds == 0 && audio >= 0 && input->streams[audio]->duration > 0) {
    t.audio_seconds = static_cast<double>(input->streams[audio]->duration) *
                      av_q2d(input->streams[audio]->time_base);
  }
  return t;
}

// `in` copied into `out` with a display matrix turning it `degrees`
// anticlockwise, as a phone held upright writes its clips.
bool WithRotation(const fs::path& in, const fs::path& out, double degrees) {
  InputPtr input = Open(in);
  if (!input) return false;
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, nullptr, out.c_str()) < 0) return false;
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> output(
      raw, [](AVFormatContext* c) {
        avio_closep(&c->pb);
        avformat_free_context(c);
      });
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    AVStream* s = avformat_new_stream(raw, nullptr);
    avcodec_parameters_copy(s->codecpar, input->streams[i]->codecpar);
    s->codecpar->codec_tag = 0;
    s->time_base = input->streams[i]->time_base;
    if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      auto* matrix = reinterpret_cast<int32_t*>(
          av_stream_new_side_data(s, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
      av_display_rotation_set(matrix, degrees);
    }
  }
  if (avio_open(&raw->pb, out.c_str(), AVIO_FLAG_WRITE) < 0 ||
      avformat_write_header(raw, nullptr) < 0) {
    return false;
  }
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input.get(), packet) >= 0) {
    av_packet_rescale_ts(packet, input->streams[packet->stream_index]->time_base,
                         raw->streams[packet->stream_index]->time_base);
    packet->pos = -1;
    av_interleaved_write_frame(raw, packet);
  }
  av_packet_free(&packet);
  return av_write_trailer(raw) >= 0;
}

void Ffmpeg(const std::string& args) {
  const std::string command = "ffmpeg -nostdin -v error -y " + args;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string Q(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

std::string Number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

// Moving colour bars, 64x36 at 24 frames a second for `seconds`; `vfr`
// keeps the first second whole and every other frame after (12 a second),
// as phones drop their rate in low light.
std::string Bars(double seconds, bool vfr = false) {
  std::string source = "-f lavfi -i \"testsrc2=size=64x36:rate=24:duration=" + Number(seconds);
  if (vfr) source += R"(,select='lt(t\,1)+not(mod(n\,2))')";
  return source + "\" ";
}
std::string Tone(double seconds) {
  return "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=" + Number(seconds) + " ";
}
const std::string kLossless = "-c:v ffv1 -pix_fmt bgr0 ";
const std::string kVariable = "-vsync vfr ";

// Jitter on, so that each frame shows the time it is rendered at.
const std::string kEffect = " -p 'Random ON=on' -p 'Random Amplitude=4' -p Amount=3 -q";

// An output frame compared with the input frame it shows, rendered as a
// still at a layer time.
struct Shown {
  int output;
  int input;
  double seconds;
};

struct Clip {
  std::string name;
  std::string make;   // ffmpeg's arguments before the file
  double rotate = 0;  // a display matrix added after
  std::string args;   // render's, beside the effect
  std::string output;
  int frames = 0;
  int width = 64, height = 36;
  AVRational aspect{1, 1};
  std::optional<double> start;  // the first frame's time (the others count from it)
  std::vector<std::pair<int, double>> times;  // output frame, seconds after the first
  double audio_seconds = 0;                   // 0: no audio
  std::vector<Shown> shown;
};

class CliMovieTiming : public ::testing::TestWithParam<Clip> {
 protected:
  fs::path File(const std::string& name) const { return dir_ / name; }

  // The frames ffmpeg decodes, turned upright as players turn them, one
  // PNG each in presentation order.
  void Decode(const fs::path& movie, const std::string& prefix) {
    Ffmpeg("-i " + Q(movie) + " -vsync passthrough -start_number 0 -pix_fmt rgb24 " +
           Q(File(prefix + ".%02d.png")));
  }
  fs::path Png(const std::string& prefix, int n) const {
    char name[32];
    std::snprintf(name, sizeof name, ".%02d.png", n);
    return File(prefix + name);
  }

  TempDir dir_;
};

TEST_P(CliMovieTiming, FramesKeepTheirTimesShapeAndOrientation) {
  const Clip& clip = GetParam();
  fs::path in = File(clip.name);
  if (clip.rotate != 0) {
    const fs::path plain = File("plain" + in.extension().string());
    Ffmpeg(clip.make + Q(plain));
    ASSERT_TRUE(WithRotation(plain, in, clip.rotate));
  } else {
    Ffmpeg(clip.make + Q(in));
  }
  const fs::path out = File(clip.output);
  const CommandResult r = RunTool("render " + Q(in) + " " + Q(out) + " " + clip.args + kEffect);
  ASSERT_EQ(r.exit_code, 0) << r.err;

  const Timing t = ProbeTiming(out);
  EXPECT_EQ(static_cast<int>(t.times.size()), clip.frames);
  EXPECT_EQ(t.width, clip.width);
  EXPECT_EQ(t.height, clip.height);
  EXPECT_EQ(av_cmp_q(t.aspect, clip.aspect), 0) << t.aspect.num << ":" << t.aspect.den;
  EXPECT_FALSE(t.display_matrix);
  ASSERT_FALSE(t.times.empty());
  if (clip.start) {
    EXPECT_NEAR(t.times.front(), *clip.start, 0.0006);
  }
  for (const auto& [frame, seconds] : clip.times) {
    ASSERT_LT(frame, static_cast<int>(t.times.size()));
    EXPECT_NEAR(t.times[static_cast<std::size_t>(frame)] - t.times.front(), seconds, 0.0011)
        << "frame " << frame;
  }
  if (clip.audio_seconds > 0) {
    EXPECT_NEAR(t.audio_seconds, clip.audio_seconds, 0.03);
    // In sync: the audio starts where the video does (an encoder's priming
    // aside).
    EXPECT_NEAR(t.audio_start, t.times.front(), 0.03);
  }

  if (clip.shown.empty()) return;
  Decode(in, "in");
  Decode(out, "out");
  for (const Shown& s : clip.shown) {
    SCOPED_TRACE("output frame " + std::to_string(s.output));
    const fs::path still = Png("still", s.output);
    const CommandResult one = RunTool("render " + Q(Png("in", s.input)) + " " + Q(still) +
                                      " --time " + Number(s.seconds) + " --fps 24" + kEffect);
    ASSERT_EQ(one.exit_code, 0) << one.err;
    EXPECT_TRUE(imageio::ReadImage(still).raster.SamePixels(
        imageio::ReadImage(Png("out", s.output)).raster));
  }
}

const std::string kVfrWithAac = Bars(2, true) + Tone(2) + kVariable +
                                "-c:v libx264 -pix_fmt yuv420p -c:a aac ";
const std::string kVfrMkv = Bars(2, true) + Tone(2) + kVariable + kLossless + "-c:a flac ";
const std::string kPng = Bars(0.25) + "-c:v png -pix_fmt rgb24 ";

INSTANTIATE_TEST_SUITE_P(
    Clips, CliMovieTiming,
    ::testing::Values(
        // A phone's clip: 24 frames in the first second, then 12 a second.
        Clip{"phone.mp4", kVfrWithAac, 0, "", "out.mp4", 36, 64, 36, {1, 1}, 0.0,
             {{23, 23 / 24.0}, {24, 1.0}, {35, 1 + 11 / 12.0}}, 2.0, {}},
        Clip{"vfr.mkv", kVfrMkv, 0, "", "out.mkv", 36, 64, 36, {1, 1}, 0.0,
             {{24, 1.0}, {25, 1.083}}, 2.0,
             {{0, 0, 0.0}, {24, 24, 1.0}, {25, 25, 1.083}, {35, 35, 1.917}}},
        // A range starts where the movie does (a cut audio packet may move
        // both on in Matroska, which holds no time below 0).
        Clip{"vfr.mkv", kVfrMkv, 0, "--frames 20-30", "out.mkv", 11, 64, 36, {1, 1}, {},
             {{4, 1 / 6.0}, {5, 0.25}}, 0, {{5, 25, 1.083}}},
        // Conformed to a constant rate on the input's clock: frames repeated
        // or dropped, as many as cover the clip (whose last frame lasts 1/24
        // s by the file).
        Clip{"vfr.mkv", kVfrMkv, 0, "--fps 24", "out.mkv", 47, 64, 36, {1, 1}, 0.0,
             {{46, 46 / 24.0}}, 2.0, {{24, 24, 1.0}, {25, 24, 25 / 24.0}, {46, 35, 46 / 24.0}}},
        Clip{"vfr.mkv", kVfrMkv, 0, "--fps 12 --frames 0-5", "out.mkv", 6, 64, 36, {1, 1}, 0.0,
             {{5, 5 / 12.0}}, 0, {{3, 6, 0.25}}},
        Clip{"rot90.mov", kPng, 90, "", "out.mkv", 6, 36, 64, {1, 1}, {}, {}, 0,
             {{0, 0, 0.0}, {5, 5, 5 / 24.0}}},
        Clip{"rot180.mov", kPng, 180, "", "out.mkv", 6, 64, 36, {1, 1}, {}, {}, 0,
             {{3, 3, 0.125}}},
        Clip{"rot270.mov", kPng, 270, "", "out.mkv", 6, 36, 64, {1, 1}, {}, {}, 0,
             {{3, 3, 0.125}}},
        Clip{"rot90.mov", kPng, 90, "--codec h264", "out.mp4", 6, 36, 64, {1, 1}, {}, {}, 0, {}},
        Clip{"sar.mkv", Bars(0.25) + "-vf setsar=4/3 " + kLossless, 0, "", "out.mkv", 6, 64, 36,
             {4, 3}, {}, {}, 0, {{2, 2, 2 / 24.0}}},
        Clip{"sar.mkv", Bars(0.25) + "-vf setsar=4/3 " + kLossless, 0, "", "out.mp4", 6, 64, 36,
             {4, 3}, {}, {}, 0, {}},
        // A start offset is kept; the host's time is the layer's, from 0.
        Clip{"offset.mkv", Bars(1) + Tone(1) + kLossless + "-c:a flac -output_ts_offset 10 ", 0,
             "", "out.mkv", 24, 64, 36, {1, 1}, 10.0, {{5, 5 / 24.0}}, 1.0, {{5, 5, 5 / 24.0}}},
        Clip{"offset.mkv", Bars(1) + Tone(1) + kLossless + "-c:a flac -output_ts_offset 10 ", 0,
             "--frames 3-13", "out.mkv", 11, 64, 36, {1, 1}, 10.0, {}, 0, {{0, 3, 0.125}}},
        // AVI holds no start offset: frames and audio start at 0 together.
        Clip{"offset.mkv", Bars(1) + Tone(1) + kLossless + "-c:a flac -output_ts_offset 10 ", 0,
             "", "out.avi", 24, 64, 36, {1, 1}, 0.0, {{5, 5 / 24.0}}, 1.0, {{5, 5, 5 / 24.0}}},
        // Audio that runs on after the video is no sign of a file cut short.
        Clip{"long.mkv", Bars(1) + Tone(2) + kLossless + "-c:a flac ", 0, "", "out.mkv", 24, 64,
             36, {1, 1}, 0.0, {{23, 23 / 24.0}}, 2.0, {}},
        Clip{"long.mkv", Bars(1) + Tone(2) + kLossless + "-c:a flac ", 0, "--frames 0-10",
             "out.mkv", 11, 64, 36, {1, 1}, 0.0, {}, 0, {}}),
    [](const ::testing::TestParamInfo<Clip>& info) {
      std::string name = info.param.name + "_" + info.param.args + "_" + info.param.output;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST(CliMovieTimingErrors, AnEmptyMovieIsNamedEmpty) {
  TempDir dir;
  std::ofstream(dir / "empty.mp4").close();
  const CommandResult r =
      RunTool("render " + Q(dir / "empty.mp4") + " " + Q(dir / "out.mkv") + " -q");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr(Q(dir / "empty.mp4") + " is empty"));
  EXPECT_FALSE(fs::exists(dir / "out.mkv"));
}

// AVI holds one rate only: a variable one is refused before rendering,
// and conformed with --fps it goes in.
TEST(CliMovieTimingErrors, AVariableRateIntoAConstantRateContainerIsAUsageError) {
  TempDir dir;
  const fs::path in = dir / "vfr.mkv";
  Ffmpeg(kVfrMkv + Q(in));
  const CommandResult refused = RunTool("render " + Q(in) + " " + Q(dir / "out.avi") + " -q");
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_THAT(refused.err, HasSubstr("holds only a constant frame rate"));
  EXPECT_THAT(refused.err, HasSubstr("--fps"));
  EXPECT_FALSE(fs::exists(dir / "out.avi"));
  const CommandResult conformed =
      RunTool("render " + Q(in) + " " + Q(dir / "out.avi") + " --fps 24 -q");
  ASSERT_EQ(conformed.exit_code, 0) << conformed.err;
  EXPECT_EQ(ProbeTiming(dir / "out.avi").times.size(), 47u);
}

// A still's stated pixel aspect reaches a movie made from it.
TEST(CliMovieTimingShape, AStillsPixelAspectIsKeptInAMovie) {
  TempDir dir;
  imageio::Raster raster(64, 36, imageio::Depth::k32);
  imageio::ImageMetadata metadata;
  const float aspect = 4.0f / 3.0f;
  imageio::Attribute attribute{"PixelAspectRatio", "float", {}, {}};
  attribute.data.resize(sizeof aspect);
  std::memcpy(attribute.data.data(), &aspect, sizeof aspect);
  metadata.attributes.push_back(attribute);
  imageio::WriteImage(dir / "in.exr", raster, metadata);
  const CommandResult r = RunTool("render " + Q(dir / "in.exr") + " " + Q(dir / "out.mkv") +
                                  " --frames 0-1 -q");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const Timing t = ProbeTiming(dir / "out.mkv");
  EXPECT_EQ(av_cmp_q(t.aspect, AVRational{4, 3}), 0) << t.aspect.num << ":" << t.aspect.den;
}

#endif  // PRISMORA_MOVIE_TIMING_TESTS

}  // namespace
}  // namespace prismora::testing
