// prismora render keeps what a pipeline needs of a movie besides its
// picture: timecode (tag and timecode track), subtitles, title and
// languages, field order; audio copied, converted to AAC or dropped;
// MPEG-TS written; what a container cannot hold named before rendering;
// the libraries' own logs only with -v. Clips are tiny (64x36, 1 s), made
// once by the ffmpeg program and checked with ffprobe.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "test_support.h"

#if defined(PRISMORA_HAVE_MOVIES) && defined(PRISMORA_HAVE_IMAGE_FILES) && !defined(_WIN32)
#define PRISMORA_MOVIE_TESTS 1
#endif

namespace prismora::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;

#ifdef PRISMORA_MOVIE_TESTS

std::string Q(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

void Ffmpeg(const std::string& args) {
  const std::string command = "ffmpeg -nostdin -v error -y " + args;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string OutputOf(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string text;
  char buffer[4096];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) text += buffer;
  return text;
}

// What ffprobe shows of a file: by default its streams and format.
json Ffprobe(const fs::path& path, const std::string& show = "-show_streams -show_format") {
  return json::parse(OutputOf("ffprobe -v error -of json " + show + " " + Q(path)), nullptr,
                     false);
}

// When the first sound after silence starts, as a player decodes it.
double SoundStart(const fs::path& path) {
  const std::string log = OutputOf("ffmpeg -nostdin -i " + Q(path) +
                                   " -af silencedetect=n=-30dB:d=0.05 -f null - 2>&1");
  const std::size_t at = log.find("silence_end: ");
  return at == std::string::npos ? -1.0 : std::stod(log.substr(at + 13));
}

std::string TagOf(const json& object, const std::string& key) {
  if (!object.contains("tags")) return "";
  for (const auto& [name, value] : object["tags"].items()) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == key) return value.get<std::string>();
  }
  return "";
}

// "video h264, audio aac, subtitle mov_text, data tmcd": the streams in order.
std::string Streams(const json& probe) {
  std::string text;
  for (const json& s : probe["streams"]) {
    if (!text.empty()) text += ", ";
    const std::string type = s.value("codec_type", "");
    const char* name = type == "data" ? "codec_tag_string" : "codec_name";
    text += type + " " + s.value(name, "");
  }
  return text;
}

const json* StreamOf(const json& probe, const std::string& type) {
  for (const json& s : probe["streams"]) {
    if (s.value("codec_type", "") == type) return &s;
  }
  return nullptr;
}

// The timecode wherever the container keeps it: a stream's tag (.mov,
// .mp4) or the file's (.mkv).
std::string Timecode(const json& probe) {
  if (std::string t = TagOf(probe["format"], "timecode"); !t.empty()) return t;
  for (const json& s : probe["streams"]) {
    if (std::string t = TagOf(s, "timecode"); !t.empty()) return t;
  }
  return "";
}

double Seconds(const json& value) {
  return value.is_string() ? std::stod(value.get<std::string>()) : -1.0;
}

class CliMovieStreams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    clips_ = new TempDir();
    const TempDir& d = *clips_;
    const std::string video = "-f lavfi -i testsrc2=size=64x36:rate=25:duration=1 ";
    const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 ";
    // A camera file: timecode track, title, languages.
    Ffmpeg(video + tone + "-c:v libx264 -c:a aac -timecode 01:00:00:00 -metadata title=Shot " +
           "-metadata:s:v:0 language=eng -metadata:s:a:0 language=jpn " + Q(d / "camera.mov"));
    // Subtitles (two cues) and FLAC audio in Matroska.
    std::ofstream(d / "cues.srt") << "1\n00:00:00,200 --> 00:00:00,600\nfirst\n\n"
                                     "2\n00:00:00,700 --> 00:00:00,900\nsecond\n";
    Ffmpeg(video + tone + "-i " + Q(d / "cues.srt") + " -map 0 -map 1 -map 2 -c:v libx264 " +
           "-c:a flac -c:s srt -metadata:s:s:0 language=ita " + Q(d / "subs.mkv"));
    // The same cues as mov_text, in MP4.
    Ffmpeg(video + tone + "-i " + Q(d / "cues.srt") + " -map 0 -map 1 -map 2 -c:v libx264 " +
           "-c:a aac -c:s mov_text -metadata:s:s:0 language=ita " + Q(d / "text.mp4"));
    // Silence, then a tone from 0.6 s, as FLAC.
    Ffmpeg(video + "-f lavfi -i \"aevalsrc='if(gte(t,0.6),sin(2*PI*440*t),0)':s=48000:d=1\" " +
           "-c:v libx264 -c:a flac " + Q(d / "beep.mkv"));
    // Interlaced, top field first, coded as fields.
    Ffmpeg(video + "-vf setfield=tff -c:v libx264 -flags +ildct+ilme -x264-params tff=1 " +
           Q(d / "fields.mkv"));
    // Stills: 8-bit (into H.264) and 16-bit (into FFV1).
    Ffmpeg("-f lavfi -i testsrc2=size=64x36 -frames:v 1 " + Q(d / "still.png"));
    Ffmpeg("-f lavfi -i testsrc2=size=64x36 -frames:v 1 -pix_fmt rgb48be " + Q(d / "deep.png"));
  }
  static void TearDownTestSuite() {
    delete clips_;
    clips_ = nullptr;
  }

  static fs::path Clip(const std::string& name) { return *clips_ / name; }
  fs::path File(const std::string& name) const { return dir_ / name; }
  CommandResult Render(const std::string& args) { return RunTool("render " + args + " -q"); }

  static TempDir* clips_;
  TempDir dir_;
};

TempDir* CliMovieStreams::clips_ = nullptr;

// Each container keeps the streams and tags it can hold, converting what it
// cannot (FLAC and SubRip into .mp4 and .ts) with a note.
TEST_F(CliMovieStreams, StreamsAndTagsAreKept) {
  struct Case {
    std::string input;
    std::string output;
    std::string options;
    std::string streams;
    std::string timecode;
    std::vector<std::string> notes;  // on stderr, a line each
  };
  const std::vector<Case> cases = {
      {"camera.mov", "camera.mov", "", "video prores, audio aac, data tmcd", "01:00:00:00", {}},
      {"camera.mov", "later.mov", "--frames 10-24", "video prores, audio aac, data tmcd",
       "01:00:00:10", {}},
      {"camera.mov", "camera.mkv", "--codec h264", "video h264, audio aac", "01:00:00:00", {}},
      {"camera.mov", "camera.mp4", "--frames 5-9", "video h264, audio aac, data tmcd",
       "01:00:00:05", {}},
      {"subs.mkv", "subs.mkv", "--codec h264", "video h264, audio flac, subtitle subrip", "", {}},
      {"subs.mkv", "subs.mp4", "", "video h264, audio aac, subtitle mov_text", "",
       {"cannot hold the flac audio of '" + Clip("subs.mkv").string() +
            "': it is converted to AAC (--audio none drops it)",
        "cannot hold the subrip subtitles of '" + Clip("subs.mkv").string() +
            "': they are converted to mov_text (--subtitles none drops them)"}},
      {"subs.mkv", "none.mp4", "--audio none --subtitles none", "video h264", "", {}},
      {"subs.mkv", "subs.ts", "--codec h264 --subtitles none", "video h264, audio aac", "",
       {"(MPEG-TS (MPEG-2 Transport Stream)) cannot hold the flac audio"}},
      {"camera.mov", "camera.ts", "", "video h264, audio aac", "", {}},
      {"text.mp4", "text.mkv", "--codec h264", "video h264, audio aac, subtitle subrip", "",
       {"cannot hold the mov_text subtitles of '" + Clip("text.mp4").string() +
            "': they are converted to subrip"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " -> " + c.output + " " + c.options);
    const CommandResult r = Render(Q(Clip(c.input)) + " " + Q(File(c.output)) + " " + c.options);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.notes.size()) << r.err;
    for (const std::string& note : c.notes) {
      EXPECT_THAT(r.err, HasSubstr("prismora: note: a " + fs::path(c.output).extension().string()));
      EXPECT_THAT(r.err, HasSubstr(note));
    }
    const json out = Ffprobe(File(c.output));
    EXPECT_EQ(Streams(out), c.streams);
    EXPECT_EQ(Timecode(out), c.timecode);
    if (c.input == "camera.mov" && !c.output.ends_with(".ts")) {
      EXPECT_EQ(TagOf(out["format"], "title"), "Shot");
      EXPECT_EQ(TagOf(*StreamOf(out, "video"), "language"), "eng");
      EXPECT_EQ(TagOf(*StreamOf(out, "audio"), "language"), "jpn");
    }
    if (const json* s = StreamOf(out, "subtitle")) {
      EXPECT_EQ(TagOf(*s, "language"), "ita");
    }
  }
}

// Converted audio stays in sync and lasts as long as the frames, whole or
// a range; subtitles are cut to the range and timed from its start.
TEST_F(CliMovieStreams, ConvertedAudioAndSubtitlesFollowTheFrames) {
  struct Case {
    std::string frames;
    double seconds;
    std::vector<double> cues;  // start times
  };
  const std::vector<Case> cases = {
      {"", 1.0, {0.2, 0.7}},
      {"--frames 10-24", 0.6, {0.0, 0.3}},
      {"--frames 0-14", 0.6, {0.2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    const fs::path out = File("out.mp4");
    const CommandResult r = Render(Q(Clip("subs.mkv")) + " " + Q(out) + " --audio aac " + c.frames);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const json probe = Ffprobe(out);
    EXPECT_NEAR(Seconds((*StreamOf(probe, "video"))["duration"]), c.seconds, 0.001);
    EXPECT_NEAR(Seconds((*StreamOf(probe, "audio"))["duration"]), c.seconds, 0.025);
    std::vector<double> cues;
    // .mp4 fills the time between cues with empty ones.
    const json packets = Ffprobe(out, "-show_packets -select_streams s");
    for (const json& p : packets["packets"]) {
      if (std::stoi(p.value("size", "0")) > 2) cues.push_back(Seconds(p["pts_time"]));
    }
    ASSERT_EQ(cues.size(), c.cues.size()) << packets.dump();
    for (std::size_t i = 0; i < cues.size(); ++i) EXPECT_NEAR(cues[i], c.cues[i], 0.002);
  }
}

// Audio converted to AAC, or copied, is heard when the picture shows it: a
// tone that starts 0.6 s into the clip starts 0.6 s after the first frame,
// or 0.2 s after the first of frames 10 on (0.4 s).
TEST_F(CliMovieStreams, AudioStaysInSyncWithTheFrames) {
  struct Case {
    std::string output;
    std::string options;
    double tone;  // after the first frame
  };
  const std::vector<Case> cases = {
      {"sync.mp4", "", 0.6},
      {"sync.mp4", "--frames 10-24", 0.2},
      {"sync.mkv", "--frames 10-24 --audio aac --codec h264", 0.2},
      {"sync.mov", "--frames 5-24 --audio aac", 0.4},
      {"sync.mkv", "--frames 10-24 --audio copy --codec h264", 0.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output + " " + c.options);
    const fs::path out = File(c.output);
    const CommandResult r = Render(Q(Clip("beep.mkv")) + " " + Q(out) + " " + c.options);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const double video = Seconds((*StreamOf(Ffprobe(out), "video"))["start_time"]);
    EXPECT_NEAR(SoundStart(out) - video, c.tone, 0.003);
  }
}

// An interlaced input comes out interlaced in its field order, in every
// codec: coded top field first, and so marked by the container (which
// keeps the input's "tb", FFmpeg's mark for top-first frames) or the
// stream (H.264 in .mp4).
TEST_F(CliMovieStreams, FieldOrderIsKept) {
  struct Case {
    std::string output;
    std::string field_order;
  };
  for (const Case& c : {Case{"fields.mp4", "tt"}, Case{"fields.mkv", "tb"},
                        Case{"fields.mov", "tb"}}) {
    SCOPED_TRACE(c.output);
    const CommandResult r = Render(Q(Clip("fields.mkv")) + " " + Q(File(c.output)));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ((*StreamOf(Ffprobe(File(c.output)), "video")).value("field_order", ""),
              c.field_order);
    const json frames =
        Ffprobe(File(c.output), "-show_frames -select_streams v -read_intervals %+#1");
    ASSERT_FALSE(frames["frames"].empty());
    EXPECT_EQ(frames["frames"][0].value("interlaced_frame", 0), 1);
    EXPECT_EQ(frames["frames"][0].value("top_field_first", 0), 1);
  }
  const CommandResult r = Render(Q(Clip("camera.mov")) + " " + Q(File("progressive.mp4")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ((*StreamOf(Ffprobe(File("progressive.mp4")), "video")).value("field_order", ""),
            "progressive");
}

// What a container cannot hold is refused before rendering, naming the
// option that drops or converts it, and leaves no file.
TEST_F(CliMovieStreams, WhatAContainerCannotHoldIsNamedFirst) {
  struct Case {
    std::string input;
    std::string output;
    std::string options;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"subs.mkv", "out.mp4", "--audio copy",
       "a .mp4 file (MP4 (MPEG-4 Part 14)) cannot hold the flac audio of '" +
           Clip("subs.mkv").string() + "': use --audio aac to convert it, or --audio none"},
      {"subs.mkv", "out.mov", "--audio copy --subtitles none", "cannot hold the flac audio"},
      {"subs.mkv", "out.ts", "--audio none", "cannot hold the subrip subtitles of '" +
                                                 Clip("subs.mkv").string() +
                                                 "': use --subtitles none to drop them"},
      {"camera.mov", "out.ts", "--codec ffv1",
       "a .ts file (MPEG-TS (MPEG-2 Transport Stream)) cannot hold FFV1 video: it takes H.264"},
      {"subs.mkv", "out.mkv", "--audio mp3", "--audio takes copy, aac or none, not 'mp3'"},
      {"subs.mkv", "out.mkv", "--subtitles burn", "--subtitles takes copy or none"},
      {"subs.mkv", "out.png", "--frame 0 --audio none", "--audio is for movie outputs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output + " " + c.options);
    const CommandResult r = Render(Q(Clip(c.input)) + " " + Q(File(c.output)) + " " + c.options);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_THAT(dir_.Entries(), ::testing::IsEmpty());
  }
}

// libx264's settings and statistics, FFV1's "forcing range coder": only
// with -v.
TEST_F(CliMovieStreams, LibraryLogsOnlyWhenVerbose) {
  struct Case {
    std::string input;
    std::string output;
    std::string options;
    std::string verbose_says;
  };
  const std::vector<Case> cases = {
      {"still.png", "still.mp4", "--frames 0-2", "libx264"},
      {"deep.png", "deep.mkv", "--frames 0-1", ""},
      {"camera.mov", "camera.mp4", "--frames 0-2", "libx264"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const std::string args = Q(Clip(c.input)) + " " + Q(File(c.output)) + " " + c.options;
    const CommandResult quiet = Render(args);
    ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    const CommandResult verbose = Render(args + " -v");
    ASSERT_EQ(verbose.exit_code, 0) << verbose.err;
    EXPECT_THAT(verbose.err, HasSubstr(c.verbose_says));
    EXPECT_THAT(verbose.err, ::testing::Not(HasSubstr("forcing range coder")));
  }
}

#endif  // PRISMORA_MOVIE_TESTS

}  // namespace
}  // namespace prismora::testing
