// prismora farm without a cluster: the job folder and the sbatch commands
// of --dry-run, and the chunks and the assembly run by hand as the
// scheduler's tasks would run them (a chunk run again redoes nothing whole;
// the assembled movie equals a single render), status, and what is refused
// before anything is submitted. Clips are tiny.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "temp_dir.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

#if defined(PRISMORA_HAVE_MOVIES) && defined(PRISMORA_HAVE_IMAGE_FILES) && !defined(_WIN32)

std::string Q(const fs::path& path) { return "'" + path.string() + "'"; }

std::string Text(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class CliFarm : public ::testing::Test {
 protected:
  void SetUp() override {
    clip_ = dir_ / "clip.mkv";
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=64x36:rate=25:duration=0.38 "
        "-f lavfi -i sine=sample_rate=48000:duration=0.4 -c:v ffv1 -c:a pcm_s16le " + Q(clip_);
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  // The movie's frames and audio as checksums, and its streams' description.
  static std::string Contents(const fs::path& movie) {
    return RunShell("ffmpeg -nostdin -v error -i " + Q(movie) +
                    " -map 0 -f framemd5 - | grep -v '^#'").out +
           RunShell("ffprobe -v error -show_entries stream=codec_name,pix_fmt,color_space,"
                    "color_range,color_transfer,color_primaries,r_frame_rate -of compact " +
                    Q(movie)).out;
  }

  TempDir dir_;
  fs::path clip_;
};

TEST_F(CliFarm, DryRunWritesTheJobFolderAndPrintsTheCommands) {
  const fs::path job = dir_ / "out.mov.farm";
  const CommandResult r =
      RunTool("farm " + Q(clip_) + " " + Q(dir_ / "out.mov") + " --chunk 4 --dry-run "
              "-p Amount@f0=1 -p Amount@f9=3 --max-running 2 --partition gpu --cpus-per-task 3 "
              "--sbatch-arg=--time=5 --sbatch-arg --exclusive --assembly-cpus 7");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // 10 frames: 4, 4 and 2.
  EXPECT_THAT(r.out, HasSubstr("frames 0-9 in 3 chunks of 4 frames (the last 2) at 25 fps"));
  for (const char* word : {"chunks=$(sbatch --parsable", "--array=0-2%2", "--partition=gpu",
                           "--cpus-per-task=3", "--time=5", "--exclusive", "--requeue",
                           "logs/chunk-%4a.log", "--dependency=afterok:\"$chunks\"",
                           "--kill-on-invalid-dep=yes", "--cpus-per-task=7", "assemble.sh"}) {
    EXPECT_THAT(r.out, HasSubstr(word));
  }
  for (const char* name : {"job.json", "settings.json", "chunk.sh", "assemble.sh", "logs", "chunks"}) {
    EXPECT_TRUE(fs::exists(job / name)) << name;
  }
  EXPECT_FALSE(fs::exists(job / "submitted"));
  // Keyframes at frames stay frames, and the chunks render at the shot's rate.
  EXPECT_THAT(Text(job / "settings.json"), HasSubstr("\"f9\""));
  EXPECT_THAT(Text(job / "job.json"), HasSubstr("\"rate\": \"25\""));
  EXPECT_THAT(Text(job / "chunk.sh"), HasSubstr("farm chunk " + job.string()));

  // Again into the same folder: refused, the job kept.
  const CommandResult again =
      RunTool("farm " + Q(clip_) + " " + Q(dir_ / "out.mov") + " --chunk 4 --dry-run");
  EXPECT_EQ(again.exit_code, 2);
  EXPECT_THAT(again.err, HasSubstr("already holds a job"));

  const CommandResult status = RunTool("farm status " + Q(job));
  EXPECT_EQ(status.exit_code, 1);
  EXPECT_THAT(status.out, HasSubstr("0 of 3 chunks whole"));
  EXPECT_THAT(status.out, HasSubstr("chunk 2 (frames 8-9): never ran"));
  EXPECT_THAT(status.out, HasSubstr("prismora farm resume"));
}

// What the tasks run, run by hand: the assembled movie (ProRes, tagged
// BT.709, with the audio) equals a single render of the shot.
TEST_F(CliFarm, ChunksAndTheAssemblyEqualASingleRender) {
  const fs::path job = dir_ / "out.mov.farm";
  const std::string look = " -p Amount@f0=1 -p Amount@f9=4 -p \"Mode=3 Colors\"";
  ASSERT_EQ(RunTool("farm " + Q(clip_) + " " + Q(dir_ / "out.mov") + " --chunk 4 --dry-run -q" +
                    look).exit_code, 0);
  const CommandResult early = RunTool("farm assemble " + Q(job));
  EXPECT_EQ(early.exit_code, 1);
  EXPECT_THAT(early.err, HasSubstr("chunk 0 (frames 0-3) is not whole"));
  for (int chunk = 0; chunk < 3; ++chunk) {
    const CommandResult r = RunTool("farm chunk " + Q(job) + " " + std::to_string(chunk));
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  const CommandResult rerun = RunTool("farm chunk " + Q(job) + " 1");
  EXPECT_EQ(rerun.exit_code, 0);
  EXPECT_THAT(rerun.out, HasSubstr("chunk 1 was done whole already"));
  const CommandResult assembled = RunTool("farm assemble " + Q(job));
  ASSERT_EQ(assembled.exit_code, 0) << assembled.err;
  ASSERT_EQ(RunTool("render " + Q(clip_) + " " + Q(dir_ / "single.mov") + " -q" + look).exit_code, 0);
  const std::string single = Contents(dir_ / "single.mov");
  EXPECT_THAT(single, HasSubstr("codec_name=pcm_s16le"));
  EXPECT_THAT(single, HasSubstr("color_primaries=bt709"));
  EXPECT_EQ(Contents(dir_ / "out.mov"), single);
  // The lossless chunks go once the movie is whole.
  EXPECT_FALSE(fs::exists(job / "chunks" / "chunk-0000.mkv"));
  const CommandResult status = RunTool("farm status " + Q(job));
  EXPECT_EQ(status.exit_code, 0);
  EXPECT_THAT(status.out, HasSubstr("3 of 3 chunks whole (the output is whole); assembled"));
  EXPECT_THAT(RunTool("farm resume " + Q(job)).out, HasSubstr("nothing to resume"));
}

// A chunk of an image sequence run again renders only the frames it lacks.
TEST_F(CliFarm, AChunkRunAgainRendersOnlyWhatIsMissing) {
  const fs::path job = dir_ / "job";
  ASSERT_EQ(RunTool("farm " + Q(clip_) + " " + Q(dir_ / "out/f.%02d.png") +
                    " --chunk 6 --frames 2-9 --dry-run -q --job-dir " + Q(job)).exit_code, 0);
  ASSERT_EQ(RunTool("farm chunk " + Q(job) + " 0").exit_code, 0);
  const std::string kept = Text(dir_ / "out/f.03.png");
  fs::remove(dir_ / "out/f.05.png");
  fs::remove(job / "chunks" / "chunk-0000.done");
  const CommandResult r = RunTool("farm chunk " + Q(job) + " 0");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("5 of 6 frames were written whole already"));
  EXPECT_THAT(r.out, HasSubstr("wrote 1 frame"));
  EXPECT_TRUE(fs::exists(dir_ / "out/f.05.png"));
  EXPECT_EQ(Text(dir_ / "out/f.03.png"), kept);
  EXPECT_FALSE(fs::exists(dir_ / "out/f.08.png")) << "chunk 1's frames are its own";
}

// Whatever would fail is found before anything is written or submitted.
TEST_F(CliFarm, RefusedBeforeAnythingIsSubmitted) {
  struct Case {
    std::string args;
    int code;
    const char* message;
  };
  for (const Case& c : {
           Case{"farm " + Q(clip_) + " " + Q(dir_ / "a/b.mkv") + " --chunk 0", 2, "--chunk takes 1 to"},
           Case{"farm " + Q(clip_) + " " + Q(dir_ / "a/b.mkv") + " --chunk 2 --frame 3", 2, "give --frames A-B"},
           Case{"farm " + Q(clip_) + " " + Q(dir_ / "a/b.mp4") + " --chunk 2 --codec prores", 2, "cannot hold"},
           Case{"farm " + Q(clip_) + " " + Q(dir_ / "a/b.mkv") + " --chunk 2 -p Nosuch=1", 2, "Nosuch"},
           Case{"farm status " + Q(dir_.path()), 2, "no job folder of prismora farm"},
           Case{"farm chunk " + Q(dir_.path()), 2, "farm chunk takes JOBDIR"},
       }) {
    const CommandResult r = RunTool(c.args);
    EXPECT_EQ(r.exit_code, c.code) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
  }
  // Without Slurm's programs: a failure, and no folder left.
  const CommandResult r = RunShell("PATH=/nonexistent '" + std::string(PRISMORA_TOOL_PATH) +
                                   "' farm " + Q(clip_) + " " + Q(dir_ / "a/b.mkv") + " --chunk 2");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("sbatch is not found"));
  EXPECT_FALSE(fs::exists(dir_ / "a"));
}

#endif

}  // namespace
}  // namespace prismora::testing
