// The random and wiggle expressions: the texts written onto "random", when
// they are written, and the values the host then delivers at each time.
#include <cmath>
#include <cstring>
#include <set>

#include "minihost/params/param_text.h"
#include "params/expression_text.h"
#include "params_support.h"

namespace prismora::testing {
namespace {

using ::testing::IsEmpty;
using minihost::PopupValue;
using minihost::SliderValue;

constexpr const char* kDefaultRandom =
    "posterizeTime(30.00000);seedRandom(0);random(-1,1) * 1.00000";
constexpr const char* kDefaultWiggle =
    "seedRandom(0);wiggle(1.00000,1.00000,1.00000,0.50000,time)";

struct TextCase {
  const char* name;
  A_long mode;
  std::vector<std::pair<ParamIndex, double>> values;
  const char* expected;
};

TEST(Expression, TextsForTheWorkedValuesAndTheDefaults) {
  const TextCase kCases[] = {
      {"random_defaults", 1, {}, kDefaultRandom},
      {"wiggle_defaults", 2, {}, kDefaultWiggle},
      {"random_worked",
       1,
       {{PARAM_RANDOM_FPS, 12.5}, {PARAM_RANDOM_SEED, 7}, {PARAM_RANDOM_AMPLITUDE, 0.75}},
       "posterizeTime(12.50000);seedRandom(7);random(-1,1) * 0.75000"},
      {"wiggle_worked",
       2,
       {{PARAM_RANDOM_SEED, 7},
        {PARAM_WIGGLE_FREQ, 2},
        {PARAM_WIGGLE_AMP, 1.5},
        {PARAM_WIGGLE_OCTAVES, 3},
        {PARAM_WIGGLE_AMPMULT, 0.5}},
       "seedRandom(7);wiggle(2.00000,1.50000,3.00000,0.50000,time)"},
      {"seed_integer_part", 1, {{PARAM_RANDOM_SEED, 12.75}},
       "posterizeTime(30.00000);seedRandom(12);random(-1,1) * 1.00000"},
      {"range_ends",
       1,
       {{PARAM_RANDOM_FPS, 100}, {PARAM_RANDOM_SEED, 999}, {PARAM_RANDOM_AMPLITUDE, 5}},
       "posterizeTime(100.00000);seedRandom(999);random(-1,1) * 5.00000"},
  };
  for (const TextCase& c : kCases) {
    SCOPED_TRACE(c.name);
    Applied a;
    a.Set(PARAM_RANDOM_ON, true);
    a.Set(PARAM_RANDOM_MODE, PopupValue{c.mode});
    for (const auto& [index, value] : c.values) a.Set(index, SliderValue{value});
    ASSERT_EQ(a.session.UserChangedParam(PARAM_RANDOM_SEED), PF_Err_NONE);
    EXPECT_EQ(a.param(PARAM_RANDOM_VALUE).expression, c.expected);
    EXPECT_THAT(a.session.problems(), IsEmpty()) << "the host evaluates every text written";
  }
}

// Raw 16.16 values, as a host may hand them: a third prints rounded, a
// negative seed rounds toward minus infinity, and the widest values still
// fit the number scratch and the buffer.
TEST(Expression, NumbersPrintFromTheRaw16Point16Values) {
  minihost::Host host(Plugin());
  std::vector<PF_ParamDef> records(PARAM_NUM_PARAMS);
  std::vector<PF_ParamDef*> params;
  for (PF_ParamDef& r : records) params.push_back(&r);
  const PF_ANSICallbacksBlock& ansi = host.util_callbacks().ansi;

  records[PARAM_RANDOM_FPS].u.fd.value = 30 << 16;
  records[PARAM_RANDOM_SEED].u.fd.value = -32768;  // -0.5
  records[PARAM_RANDOM_AMPLITUDE].u.fd.value = 21845;
  ExpressionBuffer text = {};
  BuildRandomExpression(ansi, params.data(), text);
  EXPECT_STREQ(text, "posterizeTime(30.00000);seedRandom(-1);random(-1,1) * 0.33333");

  for (ParamIndex i : {PARAM_RANDOM_SEED, PARAM_WIGGLE_FREQ, PARAM_WIGGLE_AMP,
                       PARAM_WIGGLE_OCTAVES, PARAM_WIGGLE_AMPMULT}) {
    records[i].u.fd.value = std::numeric_limits<PF_Fixed>::min();
  }
  ExpressionBuffer wide = {};
  BuildWiggleExpression(ansi, params.data(), wide);
  EXPECT_STREQ(wide,
               "seedRandom(-32768);wiggle(-32768.00000,-32768.00000,-32768.00000,-32768.00000,"
               "time)");
}

TEST(Expression, AppendingStopsAtTheBuffersEnd) {
  ExpressionBuffer buffer = {};
  std::string long_text(300, 'x');
  AppendBounded(buffer, "ab");
  AppendBounded(buffer, long_text.c_str());
  EXPECT_EQ(std::strlen(buffer), kExpressionCapacity - 1);
  EXPECT_EQ(std::string(buffer, 3), "abx");
  AppendBounded(buffer, "more");  // full: nothing changes
  EXPECT_EQ(std::strlen(buffer), kExpressionCapacity - 1);
}

// Switching Random ON off clears; every supervised change writes a fresh
// text; Random Mode alone (not supervised) leaves the previous text.
TEST(Expression, WrittenOnlyWhenASupervisedParameterChanges) {
  Applied a;
  ASSERT_EQ(a.session.ChangeParam(PARAM_RANDOM_ON, true), PF_Err_NONE);
  EXPECT_EQ(a.param(PARAM_RANDOM_VALUE).expression, kDefaultRandom);

  a.Mark();
  ASSERT_EQ(a.session.ChangeParam(PARAM_RANDOM_MODE, PopupValue{2}), PF_Err_NONE);
  EXPECT_THAT(Calls(a.host, "AEGP_SetExpression"), IsEmpty());
  EXPECT_EQ(a.param(PARAM_RANDOM_VALUE).expression, kDefaultRandom) << "the previous mode's text";
  // The interface update still hides and shows by the new mode.
  EXPECT_TRUE(a.param(PARAM_RANDOM_AMPLITUDE).hidden);
  EXPECT_FALSE(a.param(PARAM_WIGGLE_FREQ).hidden);

  ASSERT_EQ(a.session.ChangeParam(PARAM_RANDOM_SEED, SliderValue{7}), PF_Err_NONE);
  EXPECT_EQ(a.param(PARAM_RANDOM_VALUE).expression,
            "seedRandom(7);wiggle(1.00000,1.00000,1.00000,0.50000,time)");

  // The same values again: the same text, written again.
  a.Mark();
  ASSERT_EQ(a.session.UserChangedParam(PARAM_RANDOM_SEED), PF_Err_NONE);
  ASSERT_EQ(a.session.UserChangedParam(PARAM_RANDOM_SEED), PF_Err_NONE);
  EXPECT_EQ(Calls(a.host, "AEGP_SetExpression").size(), 2u);

  ASSERT_EQ(a.session.ChangeParam(PARAM_RANDOM_ON, false), PF_Err_NONE);
  EXPECT_EQ(a.param(PARAM_RANDOM_VALUE).expression, "");
  EXPECT_THAT(a.session.problems(), IsEmpty());
}

// --- What the host delivers -------------------------------------------------------

PF_Fixed CheckoutRandom(Applied& a, A_long what_time, A_u_long time_scale) {
  PF_ParamDef def{};
  EXPECT_EQ(a.session.params().Checkout(a.session.instance(), PARAM_RANDOM_VALUE, what_time, 1,
                                        time_scale, &def),
            PF_Err_NONE);
  return def.u.fd.value;
}

// The written random expression jitters within the amplitude and holds its
// value for 1/fps seconds; checkout honours the time it is asked for.
TEST(Expression, CheckoutEvaluatesTheRandomExpressionAtTheAskedTime) {
  Applied a;
  a.Set(PARAM_RANDOM_FPS, SliderValue{12.5});
  a.Set(PARAM_RANDOM_AMPLITUDE, SliderValue{0.75});
  ASSERT_EQ(a.session.ChangeParam(PARAM_RANDOM_ON, true), PF_Err_NONE);
  const std::string text = a.param(PARAM_RANDOM_VALUE).expression;

  std::set<PF_Fixed> seen;
  for (A_long frame = 0; frame < 200; ++frame) {
    const PF_Fixed value = CheckoutRandom(a, frame, 100);  // frame / 100 s
    minihost::ExpressionContext ctx;
    ctx.time = frame / 100.0;
    ctx.valid_min = -100;
    ctx.valid_max = 100;
    const minihost::ExpressionResult r = minihost::EvaluateExpression(text, ctx);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(value, minihost::FixedFromDouble(r.value)) << "frame " << frame;
    EXPECT_LE(std::abs(value), minihost::FixedFromDouble(0.75)) << "frame " << frame;
    // 12.5 steps a second: frames 0..7 share a value, as do 8..15, and so on.
    EXPECT_EQ(value, CheckoutRandom(a, (frame / 8) * 8, 100)) << "frame " << frame;
    seen.insert(value);
  }
  EXPECT_GE(seen.size(), 20u) << "one value per step of 0.08 s";
  // The same time in another time scale gives the same value.
  EXPECT_EQ(CheckoutRandom(a, 50, 100), CheckoutRandom(a, 15, 30));
}

TEST(Expression, CheckoutClampsRoundsAndFallsBackToTheStaticValue) {
  struct Case {
    const char* text;
    PF_Fixed expected;
  };
  const Case kCases[] = {
      {"1000", 100 << 16},             // clamped to the valid range
      {"-1000", -100 * 65536},
      {"1/131072", 1},                 // half a step rounds away from zero
      {"-1/131072", -1},
      {"0.3", 19661},                  // 19660.8
      {"random(", 5 << 15},            // cannot be parsed: the static value 2.5
      {"", 5 << 15},                   // no expression
  };
  Applied a;
  a.Set(PARAM_RANDOM_VALUE, SliderValue{2.5});
  for (const Case& c : kCases) {
    a.session.params().SetExpression(a.session.instance(), PARAM_RANDOM_VALUE, c.text);
    EXPECT_EQ(CheckoutRandom(a, 0, 30), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace prismora::testing
