// Keyframes, expressions and settings files through the prismora tool, run as
// a user runs it: values at a time, every usage error with its exit code,
// the warning once per parameter, and renders that must equal their
// constant-valued or command-line equivalents.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image_fixtures.h"
#include "temp_dir.h"
#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace prismora::testing {
namespace {

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::string Q(const std::filesystem::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(CliAnimation, ParamsShowsValuesAtATimeAndMarksWhatIsAnimated) {
  const CommandResult r = RunTool(
      "params -p Amount@f0=0 -p Amount@f30=10 -e 'Power=value * 2' -p 'Blur ON@0=off' "
      "-p 'Blur ON@0.5s=on' --time f15");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("\ntime     0.5 s\n"));
  EXPECT_THAT(r.out, HasSubstr("  interface   animation\n"));
  EXPECT_THAT(ParamTableLine(r.out, "Amount"),
              AllOf(HasSubstr(" 1         5 "), EndsWith(" keyframes")));
  EXPECT_THAT(ParamTableLine(r.out, "Power"),
              AllOf(HasSubstr(" 2         4 "), EndsWith(" expression")));
  // The supervised checkbox is on at 0.5 s, so the interface enables its slider.
  EXPECT_THAT(ParamTableLine(r.out, "Blur ON"), HasSubstr(" on "));
  EXPECT_THAT(ParamTableLine(r.out, "Blur Amount"), EndsWith(" enabled"));
  EXPECT_THAT(ParamTableLine(r.out, "Limiter"), EndsWith(" enabled"));  // nothing animated: no mark
  EXPECT_THAT(r.out, HasSubstr("expression on \"Power\" (2): value * 2\n  value at time 0.5: 4\n"));
  EXPECT_THAT(r.err, IsEmpty());

  // --fps counts the frames of both the keyframes and --time.
  const CommandResult fast = RunTool("params -p Amount@f0=0 -p Amount@f30=10 --time f15 --fps 60");
  ASSERT_EQ(fast.exit_code, 0) << fast.err;
  EXPECT_THAT(ParamTableLine(fast.out, "Amount"), HasSubstr(" 1         5 "));
  const CommandResult later =
      RunTool("params -p Amount@f0=0 -p Amount@f30=10 --time 0.25 --fps 60");
  EXPECT_THAT(ParamTableLine(later.out, "Amount"), HasSubstr(" 1         5 "));
}

TEST(CliAnimation, WithoutAnimationTheTableKeepsItsColumns) {
  const CommandResult r = RunTool("params -p Amount=2");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, Not(HasSubstr("animation")));
  EXPECT_THAT(r.out, Not(HasSubstr("\ntime ")));
  EXPECT_THAT(r.out, HasSubstr("  visibility  interface\n"));
}

TEST(CliAnimation, AClampedExpressionWarnsOnceOnStderr) {
  const CommandResult r = RunTool("params -e 'Amount=time * 20' --time 2");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(ParamTableLine(r.out, "Amount"), HasSubstr(" 1         10 "));
  EXPECT_EQ(r.err,
            "prismora: warning: the expression on \"Amount\" gives 40 at 2 s, outside the valid "
            "range 0 to 10: clamped to 10\n");
}

TEST(CliAnimation, UsageErrorsNameTheProblem) {
  TempDir dir;
  struct File {
    const char* name;
    const char* text;
  };
  const File files[] = {
      {"range.json",
       R"({"prismora-settings": 1, "params": {"Amount": {"keyframes": [)"
       R"({"time": 0, "value": 1}, {"time": "f36", "value": 30}]}}})"},
      {"broken.json",
       "{\"prismora-settings\": 1,\n \"params\": {\"Amount\": 3,\n   \"Power\": [1, 2 }\n}\n"},
      {"type.json", R"({"prismora-settings": 1, "params": {"Blur ON": 3}})"},
      {"null.json", R"({"prismora-settings": 1, "params": {"Center": null}})"},
      {"time.json",
       R"({"prismora-settings": 1, "params": {"Amount": {"keyframes": [)"
       R"({"time": true, "value": 1}]}}})"},
      {"key.json", R"({"prismora-settings": 1, "params": {"Amount": {"valeu": 1}}})"},
      {"name.json", R"({"prismora-settings": 1, "params": {"Amout": 2}})"},
      {"newer.json", R"({"prismora-settings": 2, "params": {}})"},
      {"noversion.json", R"({"params": {}})"},
      {"hidden.json", R"({"prismora-settings": 1, "params": {"random": {"expression": "1"}}})"},
      {"overflow.json", R"({"prismora-settings": 1, "params": {"Amount": 1e999}})"},
      {"huge.json",
       R"({"prismora-settings": 1, "params": {"Amount": {"keyframes": [)"
       R"({"time": 123456789012345678901234567890, "value": 1}]}}})"},
      {"unsigned.json", R"({"prismora-settings": 18446744073709551615, "params": {}})"},
      {"mode.json",
       R"({"prismora-settings": 1, "params": {"Random Mode": {"keyframes": [)"
       R"({"time": 0, "value": "Random"}, {"time": 1, "value": "Wiggle"}]}}})"},
  };
  for (const File& f : files) WriteText(dir / f.name, f.text);
  // Nested far deeper than any settings: refused in a line, not a crash.
  const std::string deep(70'000, '[');
  WriteText(dir / "deep.json", R"({"prismora-settings": 1, "params": {"Amount": )" + deep +
                                   std::string(70'000, ']') + "}}");
  WriteText(dir / "open.json", "{\"params\": " + deep);
  std::filesystem::create_directory(dir / "folder.json");
  const std::string d = dir.path().string() + "/";
  // A path through nested lists, "/0/0/0".
  const auto zeros = [](int n) {
    std::string path;
    for (int i = 0; i < n; ++i) path += "/0";
    return path;
  };
  struct Case {
    std::string args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"-p Amount=1 -p Amount@1=2", "\"Amount\" has both a constant value and keyframes"},
      {"-p Amount@1=2 -p Amount@f30=3", "\"Amount\" has two keyframes at 1 s (1 and f30)"},
      {"-p Amount@soon=2", "a keyframe of \"Amount\": the time \"soon\" is no time"},
      {"-p Amount@f2.5=2", "the time \"f2.5\" is no frame number"},
      {"-p Amount@1=11", "\"Amount\": 11 is outside the valid range 0 to 10"},
      {"-p Amout@1=2", "no parameter named \"Amout\"; did you mean \"Amount\"?"},
      {"-e random=5", "\"random\" is hidden by the plug-in"},
      {"-e 'Amount=value +'", "the expression on \"Amount\" does not parse"},
      {"-e Amount=", "needs an expression"},
      {"--time later", "--time: the time \"later\" is no time"},
      {"--settings " + d + "range.json",
       "range.json: /params/Amount/keyframes/1/value: \"Amount\": 30 is outside the valid range"},
      {"--settings " + d + "broken.json", "broken.json: invalid JSON at line 3, column 19: "},
      {"--settings " + d + "type.json", "type.json: /params/Blur ON: \"Blur ON\" takes on or off"},
      {"--settings " + d + "null.json", "null.json: /params/Center: expected a value"},
      {"--settings " + d + "time.json", "time.json: /params/Amount/keyframes/0/time: expected"},
      {"--settings " + d + "key.json", "key.json: /params/Amount/valeu: unknown key"},
      {"--settings " + d + "name.json", "name.json: /params/Amout: no parameter named \"Amout\""},
      {"--settings " + d + "newer.json", "format 2 is newer than this prismora reads"},
      {"--settings " + d + "noversion.json", "no \"prismora-settings\" version"},
      {"--settings " + d + "hidden.json",
       "hidden.json: /params/random/expression: \"random\" is hidden"},
      {"--settings " + d + "missing.json",
       "the settings file '" + d + "missing.json' does not exist"},
      {"--settings " + d + "folder.json",
       "the settings file '" + d + "folder.json' is a directory"},
      {"--settings " + d + "overflow.json",
       "overflow.json: /params/Amount: the number 1e999 is too large to be held"},
      {"--settings " + d + "huge.json",
       "huge.json: /params/Amount/keyframes/0/time: the number 123456789012345678901234567890 "
       "is too large to be held"},
      {"--settings " + d + "unsigned.json", "unsigned.json: /prismora-settings: the number"},
      {"--settings " + d + "deep.json",
       "deep.json: /params/Amount" + zeros(21) + "/..." + zeros(28) +
           ": nested deeper than 64 levels"},
      {"--settings " + d + "open.json", "open.json: /params/0/0/0/"},
      // Keyframes or an expression on the switch the plug-in's jitter does
      // not follow.
      {"-p 'Random Mode@0=Random' -p 'Random Mode@1=Wiggle'",
       "\"Random Mode\" takes no keyframes and no expression: the plug-in writes"},
      {"-e 'Random Mode=1 + (time > 1)'", "render its parts separately with different settings"},
      {"--settings " + d + "mode.json",
       "mode.json: /params/Random Mode/keyframes/0/value: \"Random Mode\" takes no keyframes"},
      // One form of time and rate.
      {"--time -1", "--time: the time \"-1\" is no time"},
      {"--fps 0", "--fps takes a frame rate above 0 and up to 10000 (30, 29.97, 24000/1001), "
                  "not '0'"},
      {"--fps 24/0", "--fps takes a frame rate above 0"},
      {"--size 640", "--size takes WIDTHxHEIGHT from 1x1 to 30000x30000, not '640'"},
      {"--size 0x360", "--size takes WIDTHxHEIGHT"},
      {"--size 8x8 --layer x.png", "give --size or --layer, not both"},
  };
  for (const Case& c : cases) {
    const CommandResult r = RunTool("params " + c.args);
    EXPECT_EQ(r.exit_code, 2) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
    EXPECT_LT(r.err.size(), 600u) << c.args;
    EXPECT_THAT(r.out, IsEmpty()) << c.args;
  }
}

#ifndef _WIN32
TEST(CliAnimation, AnUnreadableSettingsFileSaysWhy) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions are not enforced for root";
  TempDir dir;
  WriteText(dir / "locked.json", R"({"prismora-settings": 1})");
  std::filesystem::permissions(dir / "locked.json", std::filesystem::perms::none);
  const CommandResult r = RunTool("params --settings " + Q(dir / "locked.json"));
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_THAT(r.err, HasSubstr("cannot read the settings file " + Q(dir / "locked.json") +
                               ": permission denied"));
}
#endif

// Keyframes by the hundred thousand load in n log n: this must finish in
// about a second, as a few keyframes do.
TEST(CliAnimation, ManyKeyframesLoad) {
  TempDir dir;
  std::string text = R"({"prismora-settings": 1, "params": {"Amount": {"keyframes": [)";
  constexpr int kKeys = 200'000;
  for (int i = 0; i < kKeys; ++i) {
    text += i == 0 ? "" : ",";
    text += "{\"time\":\"f" + std::to_string(i) + "\",\"value\":" + std::to_string(i % 11) + "}";
  }
  text += "]}}}";
  WriteText(dir / "many.json", text);
  const CommandResult r = RunTool("params --time f5 --settings " + Q(dir / "many.json"));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(ParamTableLine(r.out, "Amount"), AllOf(HasSubstr(" 5 "), EndsWith(" keyframes")));
}

// Times (1.5, 1.5s, f36) and rates (24, 24000/1001, the NTSC decimals) read
// alike wherever they are taken.
TEST(CliAnimation, OneSyntaxForTimesAndRates) {
  struct Case {
    const char* args;
    const char* time;
  };
  const Case cases[] = {
      {"--time 1.5", "1.5"},
      {"--time 1.5s", "1.5"},
      {"--time f45", "1.5"},
      {"--time f30 --fps 29.97", "1.001"},
      {"--time f30 --fps 30000/1001", "1.001"},
      {"--time f24 --fps 23.976", "1.001"},
      {"--time f24 --fps 23.98", "1.001"},
      {"--time f60 --fps 59.94", "1.001"},
      {"--time f30 --fps 2997/100", "1.001001001001001"},
      {"--time f25 --fps 25", "1"},
      {"--time f5 --fps 12.5", "0.4"},
  };
  for (const Case& c : cases) {
    const CommandResult r = RunTool(std::string("params ") + c.args);
    ASSERT_EQ(r.exit_code, 0) << c.args << r.err;
    EXPECT_THAT(r.out, HasSubstr(std::string("\ntime     ") + c.time + " s\n")) << c.args;
  }
}

TEST(CliAnimation, ParamsLaysOutTheShotsSize) {
  const CommandResult r = RunTool("params --size 3840x2160 -p 'Center=3000,2000'");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("layer    3840 x 2160 pixels\n"));
  EXPECT_THAT(ParamTableLine(r.out, "Center"), HasSubstr(" 3000,2000 "));
  const CommandResult small = RunTool("params --size 64x36 --json");
  ASSERT_EQ(small.exit_code, 0) << small.err;
  EXPECT_EQ(nlohmann::json::parse(small.out).at("layer"),
            nlohmann::json({{"width", 64}, {"height", 36}}));
}

TEST(CliAnimation, JsonReportsAnExpressionThatFailsAtTheTime) {
  // A slider, and a point whose every part goes through the expression.
  const std::string set = " -e 'Amount=value / (time - 1)' -e 'Center=value / (time - 1)'";
  auto expression = [](const CommandResult& r, const std::string& name) {
    const nlohmann::json document = nlohmann::json::parse(r.out);
    for (const nlohmann::json& p : document.at("params")) {
      if (p.at("name") == name) return p.at("expression");
    }
    return nlohmann::json();
  };
  const nlohmann::json division = {{"message", "division by zero"}, {"position", 6}};
  const CommandResult r = RunTool("params --json --time 1" + set);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(expression(r, "Amount").at("error"), division);
  EXPECT_EQ(expression(r, "Center").at("error"), division);
  const CommandResult text = RunTool("params --time 1" + set);
  EXPECT_THAT(text.out, HasSubstr("(the value without it: division by zero at byte 6)"));
  const CommandResult fine = RunTool("params --json --time 2" + set);
  ASSERT_EQ(fine.exit_code, 0) << fine.err;
  EXPECT_FALSE(expression(fine, "Amount").contains("error"));
  EXPECT_FALSE(expression(fine, "Center").contains("error"));
}

// What a file sets, the command line replaces parameter by parameter; --save
// writes what is in effect, so that reading it back shows the same.
TEST(CliAnimation, SettingsFilesRoundTripAndGiveWayToTheCommandLine) {
  TempDir dir;
  const std::string set =
      "-p Amount@0=1 -p Amount@f36=3 -e 'Power=value * 2' -p 'Center@0=10,20' "
      "-p 'Center@2=25%,50%' -p 'Mode=3 Colors' -p 'Color1=#FFA000' -p 'Blur ON=on' ";
  const CommandResult saved =
      RunTool("params " + set + "--time 0.6 --save " + Q(dir / "look.json"));
  ASSERT_EQ(saved.exit_code, 0) << saved.err;
  EXPECT_THAT(dir.Entries(), ::testing::ElementsAre("look.json"));  // no temporary left
  const CommandResult read = RunTool("params --time 0.6 --settings " + Q(dir / "look.json"));
  ASSERT_EQ(read.exit_code, 0) << read.err;
  EXPECT_EQ(read.out, saved.out);

  std::ifstream in(dir / "look.json");
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_THAT(text, HasSubstr("\"prismora-settings\": 1"));
  EXPECT_THAT(text, HasSubstr("\"time\": \"f36\""));
  EXPECT_THAT(text, HasSubstr("\"Blur ON\": true"));
  EXPECT_THAT(text, HasSubstr("\"Mode\": \"3 Colors\""));

  const CommandResult over =
      RunTool("params --settings " + Q(dir / "look.json") + " -p Amount=7 --time 0.6");
  ASSERT_EQ(over.exit_code, 0) << over.err;
  EXPECT_THAT(ParamTableLine(over.out, "Amount"),
              AllOf(HasSubstr(" 7 "), Not(HasSubstr("keyframes"))));
  EXPECT_THAT(ParamTableLine(over.out, "Power"), EndsWith(" expression"));
}

#ifdef PRISMORA_HAVE_IMAGE_FILES

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

class CliAnimationRender : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<float> v;
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 32; ++x) {
        const bool square = x > 4 && x < 14 && y > 3 && y < 12;
        v.insert(v.end(), {square ? 1.0f : 0.1f, x / 31.0f, square ? 0.8f : 0.3f});
      }
    }
    WriteRawImage(dir_ / "in.png", 32, 24, 3, OIIO::TypeDesc::UINT8, v);
  }
  CommandResult Render(const std::string& out, const std::string& more) {
    return RunTool("render " + Q(dir_ / "in.png") + " " + Q(dir_ / out) + " -q " + more);
  }
  RawImage Read(const std::string& name) { return ReadRawImage(dir_ / name); }
  TempDir dir_;
};

// Frame 1 of keyframes from frame 0 to 2 is the still rendered with the
// values half way.
TEST_F(CliAnimationRender, AKeyframedFrameEqualsTheStillWithItsValues) {
  const CommandResult keyed =
      Render("k.#.png", "--frames 0-2 -p Amount@f0=1 -p Amount@f2=3 -p 'Color1@f0=#000000' "
                        "-p 'Color1@f2=#FF8000' -p 'Center@f0=0,0' -p 'Center@f2=32,24'");
  ASSERT_EQ(keyed.exit_code, 0) << keyed.err;
  const CommandResult still =
      Render("still.png", "-p Amount=2 -p 'Color1=#804000' -p 'Center=16,12'");
  ASSERT_EQ(still.exit_code, 0) << still.err;
  EXPECT_EQ(Read("k.1.png").values, Read("still.png").values);
  EXPECT_NE(Read("k.0.png").values, Read("still.png").values);
}

// Keyframes on the controls the plug-in writes into its own expression
// reach it at each frame's time: frame 2 jitters as a still with those
// values at frame 2's time does.
TEST_F(CliAnimationRender, KeyframedRandomControlsReachThePluginsExpression) {
  const std::string fixed = "-p 'Random Seed=7' -p 'Random Fps=100' ";
  const CommandResult keyed =
      Render("r.#.png", "--frames 0-2 --threads 2 " + fixed +
                            "-p 'Random ON@f0=off' -p 'Random ON@f2=on' "
                            "-p 'Random Amplitude@f0=0' -p 'Random Amplitude@f2=4'");
  ASSERT_EQ(keyed.exit_code, 0) << keyed.err;
  ASSERT_EQ(Render("on.png", "--frame 2 " + fixed + "-p 'Random ON=on' -p 'Random Amplitude=4'")
                .exit_code,
            0);
  ASSERT_EQ(Render("off.png", "--frame 0 " + fixed).exit_code, 0);
  EXPECT_EQ(Read("r.2.png").values, Read("on.png").values);
  EXPECT_EQ(Read("r.0.png").values, Read("off.png").values);
  EXPECT_NE(Read("on.png").values, Read("off.png").values);
}

// A keyframed control of the jitter renders at a frame what params shows at
// that frame's time.
TEST_F(CliAnimationRender, AKeyframedRandomAmplitudeRendersWhatParamsShows) {
  const std::string set = "-p 'Random ON=on' -p 'Random Seed=7' -p 'Random Fps=100' "
                          "-p 'Random Amplitude@f0=0' -p 'Random Amplitude@f2=4'";
  const CommandResult params = RunTool("params --time f1 " + set);
  ASSERT_EQ(params.exit_code, 0) << params.err;
  EXPECT_THAT(ParamTableLine(params.out, "Random Amplitude"), HasSubstr(" 2 "));
  ASSERT_EQ(Render("a.#.png", "--frames 0-2 " + set).exit_code, 0);
  const CommandResult still = Render(
      "a.png", "--frame 1 -p 'Random ON=on' -p 'Random Seed=7' -p 'Random Fps=100' "
               "-p 'Random Amplitude=2'");
  ASSERT_EQ(still.exit_code, 0) << still.err;
  EXPECT_EQ(Read("a.1.png").values, Read("a.png").values);
  EXPECT_NE(Read("a.2.png").values, Read("a.png").values);
}

// "Random Mode" animated would switch the controls but not the jitter: the
// render refuses it as params does, before writing anything; a constant
// mode over a file's keyframes is taken.
TEST_F(CliAnimationRender, AnimatedRandomModeIsRefused) {
  const CommandResult keyed = Render(
      "m.#.png", "--frames 0-2 -p 'Random ON=on' -p 'random mode@f0=Random' "
                 "-p 'Random Mode@f2=Wiggle'");
  EXPECT_EQ(keyed.exit_code, 2);
  EXPECT_THAT(keyed.err, HasSubstr("\"Random Mode\" takes no keyframes and no expression"));
  EXPECT_THAT(dir_.Entries(), ::testing::ElementsAre("in.png"));
  const CommandResult expression = Render("m.png", "-e 'Random Mode=2'");
  EXPECT_EQ(expression.exit_code, 2);
  EXPECT_THAT(expression.err, HasSubstr("\"Random Mode\" takes no keyframes"));

  WriteText(dir_ / "mode.json",
            R"({"prismora-settings": 1, "params": {"Random Mode": {"keyframes": [)"
            R"({"time": 0, "value": "Random"}, {"time": 1, "value": "Wiggle"}]}}})");
  const CommandResult file = Render("m.png", "--settings " + Q(dir_ / "mode.json"));
  EXPECT_EQ(file.exit_code, 2);
  EXPECT_THAT(file.err, HasSubstr("mode.json: /params/Random Mode/keyframes/0/value: "));
  const CommandResult over = Render(
      "m.png", "--settings " + Q(dir_ / "mode.json") + " -p 'Random Mode=Wiggle'");
  EXPECT_EQ(over.exit_code, 0) << over.err;
}

// params --layer lays the controls out on the footage's size, so that a
// point saved there renders where it was set.
TEST_F(CliAnimationRender, ParamsTakesTheLayerFromTheFootage) {
  const CommandResult r = RunTool("params --layer " + Q(dir_ / "in.png") +
                                  " -p 'Center=30,20' --save " + Q(dir_ / "c.json"));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("layer    32 x 24 pixels\n"));
  EXPECT_THAT(ParamTableLine(r.out, "Center"), HasSubstr(" 50%,50%   30,20 "));
  // Points are bounded by this layer, not by 1920x1080.
  EXPECT_EQ(RunTool("params --layer " + Q(dir_ / "in.png") + " -p 'Center=100,20'").exit_code, 2);
  ASSERT_EQ(Render("file.png", "--settings " + Q(dir_ / "c.json")).exit_code, 0);
  ASSERT_EQ(Render("line.png", "-p 'Center=30,20'").exit_code, 0);
  EXPECT_EQ(Read("file.png").values, Read("line.png").values);
  const CommandResult missing = RunTool("params --layer " + Q(dir_ / "none.png"));
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_THAT(missing.err, HasSubstr("none.png"));
}

// --time takes what params --time and keyframes take; a frame counts at --fps.
TEST_F(CliAnimationRender, TimesReadAsInParams) {
  const std::string keys = " -p Amount@0=0 -p Amount@3=6";
  struct Case {
    const char* name;
    const char* time;
  };
  const Case cases[] = {
      {"seconds.png", "--time 1.5"},        {"suffix.png", "--time 1.5s"},
      {"frame.png", "--time f45"},          {"ntsc.png", "--time 1.001"},
      {"ntsc_frame.png", "--time f30 --fps 29.97"},
      {"ratio_frame.png", "--time f30 --fps 30000/1001"},
  };
  for (const Case& c : cases) {
    const CommandResult r = Render(c.name, std::string(c.time) + keys);
    ASSERT_EQ(r.exit_code, 0) << c.time << r.err;
  }
  EXPECT_EQ(Read("suffix.png").values, Read("seconds.png").values);
  EXPECT_EQ(Read("frame.png").values, Read("seconds.png").values);
  EXPECT_EQ(Read("ntsc_frame.png").values, Read("ntsc.png").values);
  EXPECT_EQ(Read("ratio_frame.png").values, Read("ntsc.png").values);
  EXPECT_NE(Read("ntsc.png").values, Read("seconds.png").values);
}

TEST_F(CliAnimationRender, SettingsFromAFileRenderAsTheCommandLine) {
  const std::string set = "-p Amount@0=1 -p Amount@f3=4 -e 'Power=value + time' -p 'Mode=3 Colors'";
  ASSERT_EQ(RunTool("params " + set + " --save " + Q(dir_ / "s.json")).exit_code, 0);
  ASSERT_EQ(Render("line.#.png", "--frames 0-3 " + set).exit_code, 0);
  const CommandResult file = Render("file.#.png", "--frames 0-3 --settings " + Q(dir_ / "s.json"));
  ASSERT_EQ(file.exit_code, 0) << file.err;
  for (const char* n : {"0", "1", "2", "3"}) {
    EXPECT_EQ(Read(std::string("file.") + n + ".png").values,
              Read(std::string("line.") + n + ".png").values)
        << "frame " << n;
  }
  EXPECT_NE(Read("line.0.png").values, Read("line.3.png").values);

  // The demo takes the same file; its own "Amount" gives way to the file's.
  const CommandResult demo = RunTool("demo " + Q(dir_ / "demo.png") + " --size 32x24 --settings " +
                                     Q(dir_ / "s.json") + " -e 'Limiter=0'");
  ASSERT_EQ(demo.exit_code, 0) << demo.err;
  EXPECT_THAT(demo.out, HasSubstr("with \"Amount\" at 0 1, \"Amount\" at f3 4, \"Power\" = "
                                  "value + time, \"Mode\" 3 Colors, \"Limiter\" = 0"));
}

TEST_F(CliAnimationRender, AClampedExpressionWarnsOncePerRunOnAnyNumberOfThreads) {
  const CommandResult r =
      Render("w.#.png", "--frames 0-5 --threads 3 -e 'Amount=time * 100' -e 'Power=0'");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Count(r.err, "warning: the expression on \"Amount\""), 1) << r.err;
  EXPECT_EQ(Count(r.err, "warning: the expression on \"Power\""), 1) << r.err;
  EXPECT_EQ(Count(r.err, "warning:"), 2) << r.err;
}

#endif  // PRISMORA_HAVE_IMAGE_FILES

}  // namespace
}  // namespace prismora::testing
