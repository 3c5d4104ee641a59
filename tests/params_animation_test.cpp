// Keyframes and the user's expressions in the emulated host, through the
// real plug-in: the values a frame checks out at its time, the warnings, the
// state records and the interface at the session's time, and every refusal.
#include <cmath>
#include <string>
#include <vector>

#include "minihost/params/animation.h"
#include "minihost/params/param_text.h"
#include "params_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;
using minihost::ParamSetting;

ParamSetting Value(const char* name, const char* value) { return {name, value}; }

ParamSetting Key(const char* name, const char* time, const char* value, double fps = 30) {
  ParamSetting s{name, value};
  s.kind = ParamSetting::Kind::kKeyframe;
  s.time = minihost::ParseKeyTime(time);
  s.time.SetRate(fps);
  return s;
}

ParamSetting Expr(const char* name, const char* text) {
  ParamSetting s{name, text};
  s.kind = ParamSetting::Kind::kExpression;
  return s;
}

// The value a frame at `seconds` (30 frames a second) checks out, as text.
std::string At(Applied& a, ParamIndex index, double seconds) {
  PF_ParamDef def{};
  EXPECT_EQ(a.session.params().Checkout(a.session.instance(), index,
                                        static_cast<A_long>(std::lround(seconds * 30000)), 1000,
                                        30000, &def),
            PF_Err_NONE);
  return minihost::FormatValue(def);
}

TEST(Animation, KeyframesInterpolateOrHoldAtEachFrameTime) {
  struct Case {
    std::vector<ParamSetting> settings;
    ParamIndex index;
    double seconds;
    std::string expected;
  };
  const std::vector<Case> cases = {
      // Sliders: linear between keyframes, held before the first and after the last.
      {{Key("Amount", "1", "2"), Key("Amount", "3", "4")}, PARAM_AMOUNT, 0, "2"},
      {{Key("Amount", "1", "2"), Key("Amount", "3", "4")}, PARAM_AMOUNT, 2.5, "3.5"},
      {{Key("Amount", "1", "2"), Key("Amount", "3", "4")}, PARAM_AMOUNT, 9, "4"},
      // Given in any order.
      {{Key("Amount", "4", "2"), Key("Amount", "0", "0"), Key("Amount", "2", "10")},
       PARAM_AMOUNT, 3, "6"},
      {{Key("Vignetting Maximum", "0", "1"), Key("Vignetting Maximum", "2s", "3")},
       PARAM_VIGNETTING_MAXIMUM, 0.5, "1.5"},
      // Points in pixels, percent of the 64 x 48 layer resolved first.
      {{Key("Center", "0", "0,0"), Key("Center", "2", "100%,100%")}, PARAM_CENTER, 0.5, "16,12"},
      // Each colour channel, rounded.
      {{Key("Color1", "0", "#000000"), Key("Color1", "1", "#FF8000")}, PARAM_COLOR1, 0.5,
       "#804000"},
      // Popups and checkboxes hold until the next keyframe.
      {{Key("Random Mode", "0", "Random"), Key("Random Mode", "1", "Wiggle")}, PARAM_RANDOM_MODE,
       0.9, "Random"},
      {{Key("Limiter", "0", "off"), Key("Limiter", "1", "on")}, PARAM_LIMITER, 0.96, "off"},
      {{Key("Limiter", "0", "off"), Key("Limiter", "1", "on")}, PARAM_LIMITER, 1, "on"},
      {{Key("Mode", "0", "1 Color"), Key("Mode", "f30", "3 Colors")}, PARAM_COLOR_MODE, 29.0 / 30,
       "1 Color"},
      {{Key("Mode", "0", "1 Color"), Key("Mode", "f30", "3 Colors")}, PARAM_COLOR_MODE, 1,
       "3 Colors"},
      // Frames count at the rate given: f30 is 1 s at 30, 0.5 s at 60.
      {{Key("Amount", "f0", "0"), Key("Amount", "f30", "10")}, PARAM_AMOUNT, 0.5, "5"},
      {{Key("Amount", "f0", "0", 60), Key("Amount", "f30", "10", 60)}, PARAM_AMOUNT, 0.5, "10"},
      // One keyframe is a constant at every time.
      {{Key("Power", "5", "3")}, PARAM_POWER, 0, "3"},
  };
  for (const Case& c : cases) {
    Applied a;
    ASSERT_EQ(a.session.ApplySettings(c.settings), PF_Err_NONE);
    EXPECT_EQ(At(a, c.index, c.seconds), c.expected)
        << c.settings.front().name << " at " << c.seconds;
    EXPECT_THAT(a.session.problems(), IsEmpty());
  }
}

// The host's "cannot interpolate" flag holds any type, sliders included.
TEST(Animation, ParametersFlaggedNotToInterpolateHold) {
  PF_ParamDef def{};
  def.param_type = PF_Param_FIX_SLIDER;
  minihost::Keyframe first{0.0, {}}, second{1.0, {}};
  first.value.fd.value = 0;
  second.value.fd.value = 10 << 16;
  EXPECT_EQ(minihost::ValueAt(def, {first, second}, 0.5).fd.value, 5 << 16);
  def.flags = PF_ParamFlag_CANNOT_INTERP;
  EXPECT_EQ(minihost::ValueAt(def, {first, second}, 0.5).fd.value, 0);
  EXPECT_EQ(minihost::ValueAt(def, {first, second}, 1.0).fd.value, 10 << 16);
}

TEST(Animation, ExpressionsSeeTheValueAndTimeAndAreClampedWithOneWarning) {
  struct Case {
    std::vector<ParamSetting> settings;
    ParamIndex index;
    double seconds;
    std::string expected;
    std::string warning;  // empty: none
  };
  const std::vector<Case> cases = {
      {{Value("Amount", "3"), Expr("Amount", "value * 2")}, PARAM_AMOUNT, 0, "6", ""},
      {{Key("Amount", "0", "0"), Key("Amount", "4", "4"), Expr("Amount", "value + 1")},
       PARAM_AMOUNT, 0.5, "1.5", ""},
      {{Expr("Amount", "time * 20")}, PARAM_AMOUNT, 1, "10",
       "the expression on \"Amount\" gives 20 at 1 s, outside the valid range 0 to 10: "
       "clamped to 10"},
      {{Expr("Center", "value + 1000")}, PARAM_CENTER, 0, "64,48",
       "the expression on \"Center\" gives x 1032 at 0 s, outside the valid range 0 to 64"},
      {{Expr("Color1", "255 - value")}, PARAM_COLOR1, 0, "#00FFFF", ""},
      {{Expr("Limiter", "1 - value")}, PARAM_LIMITER, 0, "off", ""},
      {{Expr("Mode", "3")}, PARAM_COLOR_MODE, 0, "3 Colors", ""},
      {{Expr("Mode", "7")}, PARAM_COLOR_MODE, 0, "3 Colors", "gives 7 at 0 s"},
      // Failing at some time: the value without the expression, and a warning.
      {{Value("Amount", "2"), Expr("Amount", "1 / (time - 1)")}, PARAM_AMOUNT, 1, "2",
       "the expression on \"Amount\" fails at 1 s: division by zero"},
  };
  for (const Case& c : cases) {
    Applied a;
    ASSERT_EQ(a.session.ApplySettings(c.settings), PF_Err_NONE);
    const std::string where = c.settings.back().name + " = " + c.settings.back().value;
    EXPECT_EQ(At(a, c.index, c.seconds), c.expected) << where;
    At(a, c.index, c.seconds);  // a second frame warns no more
    const std::vector<minihost::ParamWarning> warnings = a.session.params().TakeWarnings();
    if (c.warning.empty()) {
      EXPECT_THAT(warnings, IsEmpty()) << where;
    } else {
      ASSERT_THAT(warnings, SizeIs(1)) << where;
      EXPECT_EQ(warnings[0].index, c.index);
      EXPECT_THAT(warnings[0].message, HasSubstr(c.warning));
    }
  }
}

TEST(Animation, StateRecordsChangeWithKeyframesAndExpressions) {
  Applied a;
  minihost::ParamService& params = a.session.params();
  minihost::Instance& instance = a.session.instance();
  const PF_State before = params.CurrentState(instance);
  // Keyframes that start at the static value still change what later frames see.
  ASSERT_EQ(a.session.ApplySettings({Key("Amount", "0", "1"), Key("Amount", "1", "5")}),
            PF_Err_NONE);
  EXPECT_EQ(params.ChangedSince(instance, before, PARAM_AMOUNT), true);
  EXPECT_EQ(params.ChangedSince(instance, before, PARAM_POWER), false);
  const PF_State keyed = params.CurrentState(instance);
  ASSERT_EQ(a.session.ApplySettings({Expr("Power", "value")}), PF_Err_NONE);
  EXPECT_EQ(params.ChangedSince(instance, keyed, PARAM_POWER), true);
  // A later constant replaces the keyframes.
  ASSERT_EQ(a.session.ApplySettings({Value("Amount", "5")}), PF_Err_NONE);
  EXPECT_EQ(At(a, PARAM_AMOUNT, 0), "5");
  EXPECT_EQ(params.ChangedSince(instance, keyed, PARAM_AMOUNT), true);
}

// The interface follows keyframed supervised parameters at the session's time.
TEST(Animation, TheInterfaceFollowsTheSessionTime) {
  Applied a;
  ASSERT_EQ(a.session.ApplySettings({Key("Blur ON", "0", "off"), Key("Blur ON", "1", "on")}),
            PF_Err_NONE);
  EXPECT_TRUE(a.param(PARAM_BLUR_AMOUNT).disabled());
  ASSERT_EQ(a.session.SetTime(1.5), PF_Err_NONE);
  EXPECT_EQ(minihost::FormatValue(a.param(PARAM_BLUR_ON).def), "on");
  EXPECT_FALSE(a.param(PARAM_BLUR_AMOUNT).disabled());
  ASSERT_EQ(a.session.SetTime(0), PF_Err_NONE);
  EXPECT_TRUE(a.param(PARAM_BLUR_AMOUNT).disabled());
  EXPECT_THAT(a.session.problems(), IsEmpty());
}

// A later layer replaces everything an earlier one set on a parameter.
TEST(Animation, HigherLayersReplaceLowerOnesPerParameter) {
  Applied a;
  ParamSetting file_key0 = Key("Amount", "0", "1"), file_key1 = Key("Amount", "1", "5");
  ParamSetting file_power = Value("Power", "3");
  file_key0.layer = file_key1.layer = file_power.layer = 1;
  ParamSetting line = Value("amount", "7");
  line.layer = 2;
  ASSERT_EQ(a.session.ApplySettings({file_key0, file_key1, file_power, line}), PF_Err_NONE);
  EXPECT_EQ(At(a, PARAM_AMOUNT, 1), "7");
  EXPECT_EQ(At(a, PARAM_POWER, 0), "3");
  std::vector<std::string> kept;
  for (const ParamSetting& s : a.session.user_settings()) kept.push_back(s.name + "=" + s.value);
  EXPECT_THAT(kept, ElementsAre("Amount=7", "Power=3"));
}

TEST(Animation, RefusalsNameTheParameterAndTheOrigin) {
  ParamSetting from_file = Key("Amount", "1", "30");
  from_file.origin = "look.json: /params/Amount/keyframes/1/value";
  ParamSetting unknown = Value("Amout", "2");
  unknown.origin = "look.json: /params/Amout";
  struct Case {
    std::vector<ParamSetting> settings;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{Value("Amount", "2"), Key("Amount", "1", "3")},
       "\"Amount\" has both a constant value and keyframes: give one or the other"},
      {{Key("Amount", "1", "2"), Key("Amount", "f30", "3")},
       "\"Amount\" has two keyframes at 1 s (1 and f30)"},
      {{from_file}, "look.json: /params/Amount/keyframes/1/value: \"Amount\": 30 is outside "
                    "the valid range 0 to 10"},
      {{Key("Blur ON", "0", "maybe")}, "\"Blur ON\" takes on or off, not \"maybe\""},
      {{unknown}, "look.json: /params/Amout: no parameter named \"Amout\"; did you mean "
                  "\"Amount\"?"},
      {{Expr("Amount", "value *")}, "the expression on \"Amount\" does not parse: "},
      {{Expr("Amount", "valu")}, "unknown name 'valu'"},
      // The hidden parameter the plug-in writes its own expression on.
      {{Value("Random ON", "on"), Expr("random", "5")}, "\"random\" is hidden by the plug-in"},
      {{Key("random", "0", "1"), Key("random", "1", "2")}, "\"random\" is hidden by the plug-in"},
  };
  for (const Case& c : cases) {
    Applied a;
    try {
      a.session.ApplySettings(c.settings);
      ADD_FAILURE() << "accepted; expected: " << c.message;
    } catch (const minihost::ParamValueError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message));
    }
  }
}

TEST(Animation, KeyframeTimesAsWritten) {
  struct Case {
    const char* text;
    double value;
    bool frames;
  };
  for (const Case& c : {Case{"1.5", 1.5, false}, Case{" 1.5s ", 1.5, false}, Case{"0", 0, false},
                        Case{"f36", 36, true}, Case{"F0", 0, true}}) {
    const minihost::KeyTime t = minihost::ParseKeyTime(c.text);
    EXPECT_EQ(t.value, c.value) << c.text;
    EXPECT_EQ(t.frames, c.frames) << c.text;
    EXPECT_EQ(minihost::ParseKeyTime(t.Text()).value, c.value) << c.text;
  }
  for (const char* bad : {"", "x", "-1", "1.5ss", "f", "f-1", "f1.5", "1e999", "s"}) {
    EXPECT_THROW(minihost::ParseKeyTime(bad), minihost::ParamValueError) << bad;
  }
}

}  // namespace
}  // namespace prismora::testing
