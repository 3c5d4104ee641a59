// prismora render with movies: movies in (any FFmpeg reads) and out (H.264,
// ProRes 4444, FFV1), frames at the movie's exact rate, audio copied, and
// everything a movie output cannot hold refused before rendering. Fixture
// movies are tiny (64x48, a dozen frames) and made by the ffmpeg program
// from its own test sources; outputs are checked through libavformat.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imageio/image_file.h"
#include "media/movie_names.h"
#include "temp_dir.h"
#include "test_support.h"

#if defined(PRISMORA_HAVE_MOVIES) && defined(PRISMORA_HAVE_IMAGE_FILES) && !defined(_WIN32)
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}
#define PRISMORA_MOVIE_TESTS 1
#endif

namespace prismora::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

#ifdef PRISMORA_MOVIE_TESTS

// What libavformat finds in a movie: its video stream, and its audio
// packets counted and timed.
struct Probe {
  bool opened = false;
  std::string codec;
  std::string pixel_format;
  int width = 0, height = 0;
  AVRational rate{0, 1};
  int64_t frames = 0;  // video packets
  bool alpha = false;
  int bits = 0;        // per component
  int64_t audio_packets = 0;
  double audio_seconds = 0;
  std::string audio_codec;
};

Probe ProbeMovie(const fs::path& path) {
  Probe p;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return p;
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
      raw, [](AVFormatContext* c) { avformat_close_input(&c); });
  if (avformat_find_stream_info(raw, nullptr) < 0) return p;
  const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0) return p;
  p.opened = true;
  const AVStream* v = raw->streams[video];
  p.codec = avcodec_get_name(v->codecpar->codec_id);
  const auto format = static_cast<AVPixelFormat>(v->codecpar->format);
  p.pixel_format = av_get_pix_fmt_name(format) != nullptr ? av_get_pix_fmt_name(format) : "";
  if (const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format)) {
    p.alpha = (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    p.bits = d->comp[0].depth;
  }
  p.width = v->codecpar->width;
  p.height = v->codecpar->height;
  p.rate = v->avg_frame_rate;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(raw, packet) >= 0) {
    const AVStream* s = raw->streams[packet->stream_index];
    if (packet->stream_index == video) {
      ++p.frames;
    } else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      ++p.audio_packets;
      p.audio_seconds += static_cast<double>(packet->duration) * av_q2d(s->time_base);
      p.audio_codec = avcodec_get_name(s->codecpar->codec_id);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  return p;
}

void Ffmpeg(const std::string& args) {
  const std::string command = "ffmpeg -nostdin -v error -y " + args;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string Q(const fs::path& path) { return "'" + path.string() + "'"; }

class CliMovie : public ::testing::Test {
 protected:
  fs::path File(const std::string& name) const { return dir_ / name; }

  // testsrc2 (moving colour bars) with a sine tone, `frames` at `rate`.
  fs::path MakeMovie(const std::string& name, const std::string& rate, int frames,
                     const std::string& codec_args, const std::string& audio_args = "-c:a aac",
                     const std::string& filter = "") {
    const fs::path path = File(name);
    // Both sources end on their own (the video half a frame after its last
    // one), so that ffmpeg writes all of the tone's packets.
    const std::size_t slash = rate.find('/');
    const double fps = slash == std::string::npos
                           ? std::stod(rate)
                           : std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
    std::string video = "testsrc2=size=64x48:rate=" + rate +
                        ":duration=" + std::to_string((frames - 0.5) / fps);
    if (!filter.empty()) video += "," + filter;
    Ffmpeg("-f lavfi -i \"" + video + "\" -f lavfi -i sine=frequency=440:sample_rate=48000:" +
           "duration=" + std::to_string(frames / fps) + " " + codec_args + " " + audio_args +
           " " + Q(path));
    return path;
  }

  CommandResult Render(const std::string& args) { return RunTool("render " + args); }

  // Hidden temporaries and partial files left in the folder.
  std::vector<std::string> Hidden() const {
    std::vector<std::string> names;
    for (const std::string& n : dir_.Entries()) {
      if (n[0] == '.') names.push_back(n);
    }
    return names;
  }

  TempDir dir_;
};

// The movie path renders exactly what the still path renders: each frame
// of a lossless movie rendered as a still at its time (24000/1001 frames a
// second, jitter on, so that the time shows) equals the frame of the FFV1
// movie rendered from the movie, and the PNG sequence rendered from it.
TEST_F(CliMovie, MovieFramesMatchStillsRenderedAtTheirTimes) {
  const fs::path in = MakeMovie("in.mkv", "24000/1001", 12, "-c:v ffv1 -pix_fmt bgr0",
                                "-c:a flac");
  Ffmpeg("-i " + Q(in) + " -start_number 0 -pix_fmt rgb24 " + Q(File("in.%02d.png")));
  const std::string effect = " -p 'Random ON=on' -p 'Random Amplitude=4' -p Amount=3 -q";

  const CommandResult movie = Render(Q(in) + " " + Q(File("out.mkv")) + " --threads 3" + effect);
  ASSERT_EQ(movie.exit_code, 0) << movie.err;
  const CommandResult frames =
      Render(Q(in) + " " + Q(File("seq.%02d.png")) + " --threads 2" + effect);
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  Ffmpeg("-i " + Q(File("out.mkv")) + " -start_number 0 -pix_fmt rgb24 " +
         Q(File("out.%02d.png")));

  std::vector<imageio::Raster> stills;
  for (int n = 0; n < 12; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "%02d.png", n);
    char time[64];
    std::snprintf(time, sizeof time, "%.17g", n * 1001.0 / 24000.0);
    const CommandResult still = Render(Q(File(std::string("in.") + name)) + " " +
                                       Q(File(std::string("still.") + name)) + " --time " +
                                       time + " --fps 24000/1001" + effect);
    ASSERT_EQ(still.exit_code, 0) << still.err;
    stills.push_back(imageio::ReadImage(File(std::string("still.") + name)).raster);
    SCOPED_TRACE(name);
    EXPECT_TRUE(stills.back().SamePixels(
        imageio::ReadImage(File(std::string("out.") + name)).raster));
    EXPECT_TRUE(stills.back().SamePixels(
        imageio::ReadImage(File(std::string("seq.") + name)).raster));
  }
  EXPECT_FALSE(stills[0].SamePixels(stills[5])) << "the jitter does not move: times untested";
  const Probe out = ProbeMovie(File("out.mkv"));
  EXPECT_EQ(out.frames, 12);
  EXPECT_EQ(out.rate.num * 1001, out.rate.den * 24000) << out.rate.num << "/" << out.rate.den;
}

// A shot as users make one: an H.264 clip with audio, "Amount" keyframed
// from 0 at 0 s to 4 at 3 s and an expression on "Power". The movie keeps
// the clip's length, rate and audio, and each of its frames is the decoded
// frame rendered alone as a still at its time with the same animation
// (compared through a lossless FFV1 output; "Amount" 0 renders the decoded
// frames unchanged, which gives the stills' inputs).
TEST_F(CliMovie, AnimatedShotEqualsItsFramesRenderedAsStills) {
  const fs::path in = MakeMovie("in.mp4", "30", 120, "-c:v libx264 -pix_fmt yuv420p");
  const std::string animation =
      " -p 'Amount@f0=0' -p 'Amount@3s=4' -e 'Power=value + time*1.5' -q";
  for (const char* out : {"out.mkv", "out.mp4"}) {
    const CommandResult r = Render(Q(in) + " " + Q(File(out)) + " --threads 3" + animation);
    ASSERT_EQ(r.exit_code, 0) << out << ": " << r.err;
    const Probe source = ProbeMovie(in), result = ProbeMovie(File(out));
    EXPECT_EQ(result.frames, 120) << out;
    EXPECT_EQ(result.rate.num, 30 * result.rate.den) << out;
    EXPECT_EQ(result.audio_codec, "aac") << out;
    EXPECT_EQ(result.audio_packets, source.audio_packets) << out;
    // Matroska keeps times in milliseconds: each packet's duration may
    // round by up to one.
    EXPECT_NEAR(result.audio_seconds, source.audio_seconds, 0.001 * source.audio_packets) << out;
  }
  EXPECT_EQ(ProbeMovie(File("out.mkv")).codec, "ffv1");
  EXPECT_EQ(ProbeMovie(File("out.mp4")).codec, "h264");

  const CommandResult decoded = Render(Q(in) + " " + Q(File("in.%03d.png")) + " -p Amount=0 -q");
  ASSERT_EQ(decoded.exit_code, 0) << decoded.err;
  // Every frame as it is stored: the audio's priming starts the video a
  // little after 0, which a constant-rate extraction would fill with a copy.
  Ffmpeg("-i " + Q(File("out.mkv")) + " -fps_mode passthrough -start_number 0 -pix_fmt rgb24 " +
         Q(File("out.%03d.png")));
  EXPECT_FALSE(fs::exists(File("out.120.png")));
  std::vector<imageio::Raster> stills;
  for (int n : {0, 1, 45, 89, 90, 91, 119}) {
    char name[16];
    std::snprintf(name, sizeof name, "%03d.png", n);
    SCOPED_TRACE(name);
    char time[32];
    std::snprintf(time, sizeof time, "%.17g", n / 30.0);
    const CommandResult still = Render(Q(File(std::string("in.") + name)) + " " +
                                       Q(File(std::string("still.") + name)) + " --time " +
                                       time + animation);
    ASSERT_EQ(still.exit_code, 0) << still.err;
    stills.push_back(imageio::ReadImage(File(std::string("still.") + name)).raster);
    EXPECT_TRUE(stills.back().SamePixels(
        imageio::ReadImage(File(std::string("out.") + name)).raster));
  }
  // Frame 0 has "Amount" 0 and so shows the clip itself; later frames must
  // differ from it, or the keyframes were never seen.
  EXPECT_TRUE(stills[0].SamePixels(imageio::ReadImage(File("in.000.png")).raster));
  EXPECT_FALSE(stills[3].SamePixels(imageio::ReadImage(File("in.089.png")).raster));
}

// Every codec, from 8-bit video and from 10-bit video with alpha: the
// output decodes with the right frame count, rate, size, alpha and depth,
// and the audio comes across packet for packet.
TEST_F(CliMovie, EachCodecWritesWhatItHolds) {
  const fs::path plain = MakeMovie("plain.mov", "25", 12, "-c:v libx264 -pix_fmt yuv420p");
  const fs::path alpha =
      MakeMovie("alpha.mov", "30000/1001", 12, "-c:v prores_ks -profile:v 4444 "
                "-pix_fmt yuva444p10le", "-c:a pcm_s16le",
                "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='4*X'");
  struct Case {
    fs::path input;
    std::string output;
    std::string options;
    std::string codec;
    std::string pixel_format;
    AVRational rate;
    std::string depth_said;  // in the summary: the worlds rendered through
  };
  const std::vector<Case> cases = {
      {plain, "h264.mp4", "", "h264", "yuv420p", {25, 1}, "8-bit"},
      {plain, "crf.mkv", "--codec h264 --crf 30", "h264", "yuv420p", {25, 1}, "8-bit"},
      {plain, "prores.mov", "", "prores", "yuv444p10le", {25, 1}, "8-bit"},
      {plain, "ffv1.mkv", "", "ffv1", "bgr0", {25, 1}, "8-bit"},
      {plain, "deep.mkv", "--depth 16", "ffv1", "gbrp16le", {25, 1}, "16-bit"},
      {alpha, "alpha-out.mov", "", "prores", "yuva444p10le", {30000, 1001}, "16-bit"},
      {alpha, "alpha.mkv", "", "ffv1", "gbrap16le", {30000, 1001}, "16-bit"},
      {alpha, "alpha8.mkv", "--depth 8", "ffv1", "bgra", {30000, 1001}, "8-bit"},
      {alpha, "opaque.mkv", "--alpha ignore --codec h264", "h264", "yuv420p", {30000, 1001},
       "16-bit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const CommandResult r = Render(Q(c.input) + " " + Q(File(c.output)) + " " + c.options);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("wrote 12 frames (0-11), 64x48, " + c.depth_said));
    const Probe out = ProbeMovie(File(c.output));
    const Probe in = ProbeMovie(c.input);
    EXPECT_EQ(out.codec, c.codec);
    EXPECT_EQ(out.frames, 12);
    EXPECT_EQ(out.width, 64);
    EXPECT_EQ(out.height, 48);
    EXPECT_EQ(out.rate.num * c.rate.den, out.rate.den * c.rate.num)
        << out.rate.num << "/" << out.rate.den;
    // ProRes decodes at 12 bits whatever was encoded.
    if (c.codec != "prores") {
      EXPECT_EQ(out.pixel_format, c.pixel_format);
    }
    EXPECT_EQ(out.alpha, c.pixel_format == "yuva444p10le" || c.pixel_format == "gbrap16le" ||
                             c.pixel_format == "bgra");
    EXPECT_EQ(out.audio_packets, in.audio_packets);
    // Matroska keeps times in milliseconds, and no duration on its last
    // block.
    if (c.output.ends_with(".mkv")) {
      EXPECT_NEAR(out.audio_seconds, in.audio_seconds, 0.05);
    } else {
      EXPECT_NEAR(out.audio_seconds, in.audio_seconds, 1e-6);
    }
    EXPECT_EQ(out.audio_codec, in.audio_codec);
  }
  EXPECT_GT(ProbeMovie(File("alpha-out.mov")).bits, 8);
  EXPECT_GE(ProbeMovie(plain).audio_packets, 20);
}

// ProRes 4444 with alpha renders through 16-bit worlds and keeps its alpha,
// which varies across the picture, into 16-bit PNG files; a range of frames
// takes the audio of its span only.
TEST_F(CliMovie, DeepAlphaMovieToSequenceAndRanges) {
  const fs::path in =
      MakeMovie("alpha.mov", "25", 12, "-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le",
                "-c:a pcm_s16le", "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='4*X'");
  const CommandResult r = Render(Q(in) + " " + Q(File("f.%02d.png")) + " --frames 3-5");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("wrote 3 frames (3-5), 64x48, 16-bit"));
  EXPECT_FALSE(fs::exists(File("f.02.png")));
  const imageio::Image frame = imageio::ReadImage(File("f.04.png"));
  EXPECT_EQ(frame.metadata.pixel_type, "uint16");
  ASSERT_TRUE(frame.metadata.has_alpha);
  const auto* row = frame.raster.Row<uint16_t>(24);
  EXPECT_LT(row[2].alpha, 2000);  // about 8/255 of 32768
  EXPECT_GT(row[60].alpha, row[30].alpha);

  const CommandResult part = Render(Q(in) + " " + Q(File("part.mkv")) + " --frames 4-9");
  ASSERT_EQ(part.exit_code, 0) << part.err;
  const Probe p = ProbeMovie(File("part.mkv"));
  EXPECT_EQ(p.frames, 6);
  // The span of frames 4-9, 0.16 s to 0.40 s, as far as the input's audio
  // reaches (ffmpeg ends a fixture's audio where its last frame is muxed).
  const double audio_end = ProbeMovie(in).audio_seconds;
  ASSERT_GT(audio_end, 0.2);
  EXPECT_NEAR(p.audio_seconds, std::min(audio_end, 0.40) - 0.16, 0.03);
}

// Video is turned into RGB by its own colour matrix and range: one colour
// stored as Y'CbCr by each (computed here, exactly) comes back as itself to
// within the rounding of the stored values. Taking any of them by another
// matrix or range would miss by several levels.
TEST_F(CliMovie, ColourMatrixAndRangeAreHonoured) {
  struct Case {
    const char* space;
    const char* range;
    double kr, kb;
  };
  const Case cases[] = {{"bt709", "tv", 0.2126, 0.0722},   {"bt470bg", "tv", 0.299, 0.114},
                        {"bt709", "pc", 0.2126, 0.0722},   {"bt2020nc", "tv", 0.2627, 0.0593},
                        {"smpte170m", "pc", 0.299, 0.114}};
  const double rgb[3] = {51 / 255.0, 102 / 255.0, 204 / 255.0};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.space) + " " + c.range);
    const double y = c.kr * rgb[0] + (1 - c.kr - c.kb) * rgb[1] + c.kb * rgb[2];
    const double pb = (rgb[2] - y) / (2 * (1 - c.kb));
    const double pr = (rgb[0] - y) / (2 * (1 - c.kr));
    const bool limited = std::string(c.range) == "tv";
    const int planes[3] = {static_cast<int>(std::lround(limited ? 16 + 219 * y : 255 * y)),
                           static_cast<int>(std::lround(128 + (limited ? 224 : 255) * pb)),
                           static_cast<int>(std::lround(128 + (limited ? 224 : 255) * pr))};
    {
      std::ofstream raw(File("raw.yuv"), std::ios::binary);
      for (int plane : planes) raw << std::string(64 * 48, static_cast<char>(plane));
    }
    Ffmpeg("-f rawvideo -pix_fmt yuv444p -s 64x48 -r 25 -i " + Q(File("raw.yuv")) +
           " -c:v ffv1 -colorspace " + c.space + " -color_range " + c.range + " " +
           Q(File("tagged.mkv")));
    const CommandResult r =
        Render(Q(File("tagged.mkv")) + " " + Q(File("rgb.png")) + " -p Amount=0 -q");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const imageio::Raster out = imageio::ReadImage(File("rgb.png")).raster;
    const imageio::Argb8 p = out.Row<uint8_t>(24)[32];
    EXPECT_NEAR(p.red, 51, 1);
    EXPECT_NEAR(p.green, 102, 1);
    EXPECT_NEAR(p.blue, 204, 1);
  }
}

// A frame far into a movie is reached by seeking, and is the very frame
// that decoding from the start gives: H.264 with B-frames and keyframes 12
// apart, in MP4 (which starts its times after the encoder's delay) and in
// Matroska (which keeps them in milliseconds).
TEST_F(CliMovie, FramesFarAheadAreFoundBySeeking) {
  for (const char* name : {"long.mp4", "long.mkv"}) {
    SCOPED_TRACE(name);
    const fs::path in = MakeMovie(name, "30000/1001", 90, "-c:v libx264 -g 12 -bf 2", "-an");
    ASSERT_EQ(Render(Q(in) + " " + Q(File("run.##.png")) + " --frames 60-79 -q").exit_code, 0);
    for (int frame : {75, 89}) {
      const CommandResult r = Render(Q(in) + " " + Q(File("one.png")) + " --frame " +
                                     std::to_string(frame) + " -q");
      ASSERT_EQ(r.exit_code, 0) << r.err;
      const imageio::Raster one = imageio::ReadImage(File("one.png")).raster;
      if (frame == 75) {
        EXPECT_TRUE(one.SamePixels(imageio::ReadImage(File("run.75.png")).raster));
        EXPECT_FALSE(one.SamePixels(imageio::ReadImage(File("run.74.png")).raster));
      }
    }
    // The last frame, by seeking, and the first beyond it.
    EXPECT_THAT(Render(Q(in) + " " + Q(File("one.png")) + " --frame 90").err,
                HasSubstr("ends at frame 89"));
  }
}

// An image sequence and a still become movies at --fps (30 by default).
TEST_F(CliMovie, SequenceAndStillIntoMovies) {
  const fs::path in = MakeMovie("in.mkv", "25", 6, "-c:v ffv1 -pix_fmt bgr0", "-an");
  Ffmpeg("-i " + Q(in) + " -start_number 10 " + Q(File("in.%04d.png")));
  const CommandResult seq = Render(Q(File("in.####.png")) + " " + Q(File("seq.mp4")) +
                                   " --frames 10-15 --fps 24000/1001 -q");
  ASSERT_EQ(seq.exit_code, 0) << seq.err;
  Probe p = ProbeMovie(File("seq.mp4"));
  EXPECT_EQ(p.codec, "h264");
  EXPECT_EQ(p.frames, 6);
  EXPECT_EQ(p.rate.num * 1001, p.rate.den * 24000);
  EXPECT_EQ(p.audio_packets, 0);

  const CommandResult still = Render(Q(File("in.0010.png")) + " " + Q(File("still.mkv")) +
                                     " --frames 0-9 -p 'Random ON=on' -q");
  ASSERT_EQ(still.exit_code, 0) << still.err;
  p = ProbeMovie(File("still.mkv"));
  EXPECT_EQ(p.frames, 10);
  EXPECT_EQ(p.rate.num, 30 * p.rate.den);
}

// What cannot be read or written is a clear error with the right exit code,
// and no output is left; what a codec or container cannot hold is refused
// before rendering.
TEST_F(CliMovie, ErrorsNameTheProblemAndLeaveNothing) {
  const fs::path in = MakeMovie("in.mp4", "25", 12, "-c:v libx264 -pix_fmt yuv420p -g 4 "
                                "-movflags +faststart");
  const fs::path pcm = MakeMovie("pcm.mov", "25", 12, "-c:v libx264", "-c:a pcm_s16le");
  const fs::path odd = File("odd.mkv");
  Ffmpeg("-f lavfi -i \"color=c=red:size=65x49:rate=25,format=bgr0\" -frames:v 3 -c:v ffv1 " +
         Q(odd));
  Ffmpeg("-f lavfi -i sine -t 0.3 " + Q(File("audio.mkv")));
  Ffmpeg("-f lavfi -i testsrc2=size=64x48 -frames:v 1 -pix_fmt rgba " + Q(File("rgba.png")));
  {
    std::ifstream src(in, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(src), {}};
    std::ofstream(File("cut.mp4"), std::ios::binary) << bytes.substr(0, bytes.size() * 6 / 10);
    for (std::size_t i = bytes.size() * 7 / 10; i < bytes.size() * 7 / 10 + 300; ++i) {
      bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
    }
    std::ofstream(File("damaged.mp4"), std::ios::binary) << bytes;
    std::ofstream(File("junk.mov"), std::ios::binary) << "not a movie at all";
  }
  const std::string out = Q(File("out.mkv"));
  struct Case {
    std::string args;
    int exit_code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {Q(File("damaged.mp4")) + " " + out, 1, "of '" + File("damaged.mp4").string() + "'"},
      {Q(File("cut.mp4")) + " " + out, 1, "cut.mp4"},
      {Q(File("junk.mov")) + " " + out, 1, "cannot read '" + File("junk.mov").string()},
      {Q(File("audio.mkv")) + " " + out, 1, "audio.mkv' holds no video stream"},
      {Q(in) + " " + out + " --frames 8-20", 1, "in.mp4' ends at frame 11: frame 20"},
      {Q(in) + " " + out + " --frame 12", 1, "ends at frame 11"},
      {Q(in) + " " + Q(File("out.webm")), 2, "cannot hold FFV1 video"},
      {Q(in) + " " + Q(File("out.mp4")) + " --codec prores", 2,
       "cannot hold ProRes 4444 video: it takes H.264"},
      {Q(in) + " " + Q(File("out.mov")) + " --codec ffv2", 2, "--codec takes h264, prores"},
      {Q(in) + " " + Q(File("out.mp4")) + " --depth 16", 2, "H.264 holds at most 8-bit"},
      {Q(in) + " " + out + " --depth 32", 2, "FFV1 holds at most 16-bit"},
      {Q(File("rgba.png")) + " " + Q(File("out.mp4")), 2,
       "rgba.png' has an alpha channel, which H.264 cannot hold: use --alpha ignore"},
      {Q(in) + " " + out + " --crf 20", 2, "FFV1 has none"},
      {Q(in) + " " + Q(File("out.mp4")) + " --crf 52", 2, "--crf takes 0"},
      {Q(pcm) + " " + Q(File("out.mp4")) + " --audio copy", 2,
       "cannot hold the pcm_s16le audio"},
      {Q(odd) + " " + Q(File("out.mp4")), 2, "even width and height, not 65x49"},
      {Q(in) + " " + out + " --time 0.2", 2, "not --time"},
      {Q(in) + " " + Q(File("out.%04d.mkv")), 2, "takes no frame number"},
      {Q(in) + " " + Q(File("out.png")) + " --codec h264", 2, "--codec is for movie outputs"},
      {Q(in) + " " + Q(File("out.png")), 2, "OUTPUT must be a sequence pattern"},
      {Q(in) + " " + Q(in), 2, "is the input"},
  };
  for (const Case& c : cases) {
    const CommandResult r = Render(c.args);
    SCOPED_TRACE(c.args + "\n" + r.err);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.exit_code == 2 ? 2 : 1);
    for (const char* name : {"out.mkv", "out.mp4", "out.mov", "out.webm", "out.png"}) {
      EXPECT_FALSE(fs::exists(File(name))) << name;
    }
    EXPECT_THAT(Hidden(), ::testing::IsEmpty());
  }
}

// A render that fails (a plug-in failing every frame) or is interrupted
// leaves no movie, no temporary, and the old output as it was.
TEST_F(CliMovie, FailedAndInterruptedRendersLeaveNoMovie) {
  const fs::path in = MakeMovie("in.mkv", "25", 12, "-c:v ffv1", "-an");
  std::ofstream(File("out.mkv")) << "an output that must survive";
  const CommandResult failed = Render(Q(in) + " " + Q(File("out.mkv")) +
                                      " --plugin " + Q(PRISMORA_FAILING_PLUGIN_PATH));
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_THAT(failed.err, HasSubstr("nothing was written"));
  EXPECT_THAT(Hidden(), ::testing::IsEmpty());

  Ffmpeg("-f lavfi -i testsrc2=size=640x480 -frames:v 1 " + Q(File("big.png")));
  for (int signal : {SIGINT, SIGTERM}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const std::string input = File("big.png").string(), output = File("out.mkv").string();
      ::execl(PRISMORA_TOOL_PATH, "prismora", "render", input.c_str(), output.c_str(),
              "--frames", "0-100000", "--threads", "2", "-q", "-p", "Blur ON=on",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Once the movie's temporary file has frames in it.
    for (int i = 0; i < 600; ++i) {
      const std::vector<std::string> hidden = Hidden();
      if (!hidden.empty() && fs::file_size(File(hidden.front())) > 100'000) break;
      ::usleep(50'000);
    }
    ASSERT_FALSE(Hidden().empty());
    ::kill(pid, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
    EXPECT_THAT(Hidden(), ::testing::IsEmpty());
  }
  std::ifstream kept(File("out.mkv"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}),
            "an output that must survive");
}

// A movie larger than the room it has fails with our message, whatever
// stops its writes: a limit on file sizes (for anyone), and a full disk (a
// 1 MiB tmpfs, as root). Nothing is left and the old output stays.
TEST_F(CliMovie, AFullDiskOrAFileSizeLimitFailsCleanly) {
  Ffmpeg("-f lavfi -i \"nullsrc=size=640x480,geq=random(1)*255:128:128\" -frames:v 1 " +
         Q(File("noise.png")));
  struct Case {
    fs::path folder;
    bool limit_size;
    std::string message;
  };
  std::vector<Case> cases = {{File("limited"), true, "the file is too large for the file system"}};
  fs::create_directory(File("limited"));
  fs::create_directory(File("disk"));
  const bool mounted =
      ::geteuid() == 0 && ::mount("tmpfs", File("disk").c_str(), "tmpfs", 0, "size=1m") == 0;
  if (mounted) cases.push_back({File("disk"), false, "no space left on the device"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::ofstream(c.folder / "out.mkv") << "an output that must survive";
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (c.limit_size) {
        const rlimit limit{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::freopen("/dev/null", "w", stdout);
      ::freopen((c.folder.parent_path() / "err.txt").c_str(), "w", stderr);
      const std::string input = File("noise.png").string();
      const std::string output = (c.folder / "out.mkv").string();
      ::execl(PRISMORA_TOOL_PATH, "prismora", "render", input.c_str(), output.c_str(),
              "--frames", "0-11", "-p", "Amount=0", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream err(File("err.txt"));
    EXPECT_THAT(std::string(std::istreambuf_iterator<char>(err), {}),
                HasSubstr("cannot write '" + (c.folder / "out.mkv").string() + "': " + c.message));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(c.folder)) left.push_back(e.path().filename());
    EXPECT_THAT(left, ::testing::ElementsAre("out.mkv"));
    std::ifstream kept(c.folder / "out.mkv");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}),
              "an output that must survive");
  }
  if (mounted) ::umount2(File("disk").c_str(), MNT_DETACH);
}

#endif  // PRISMORA_MOVIE_TESTS

// A build without FFmpeg says so for any movie, in or out.
TEST(CliMovieAbsent, BuildsWithoutFfmpegSaySo) {
  if (media::HaveMovies()) GTEST_SKIP() << "this build has movies";
  TempDir dir;
  std::ofstream(dir / "in.mov") << "movie";
  const CommandResult r = RunTool("render '" + (dir / "in.mov").string() + "' '" +
                                  (dir / "out.mov").string() + "'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, ::testing::AnyOf(HasSubstr("movies are not available in this build"),
                                      HasSubstr("image files")));
}

}  // namespace
}  // namespace prismora::testing
