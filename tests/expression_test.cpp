#include "minihost/params/expression.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace minihost {
namespace {

// The texts the plug-in writes: its defaults and its worked examples.
constexpr char kRandomDefault[] = "posterizeTime(30.00000);seedRandom(0);random(-1,1) * 1.00000";
constexpr char kRandomExample[] = "posterizeTime(12.50000);seedRandom(7);random(-1,1) * 0.75000";
constexpr char kWiggleDefault[] = "seedRandom(0);wiggle(1.00000,1.00000,1.00000,0.50000,time)";
constexpr char kWiggleExample[] = "seedRandom(7);wiggle(2.00000,1.50000,3.00000,0.50000,time)";

ExpressionContext At(double time, double static_value = 0.0, double lo = -100.0,
                     double hi = 100.0) {
  return ExpressionContext{time, static_value, lo, hi};
}

// The value of a text that must evaluate.
double ValueOf(const ParsedExpression& parsed, const ExpressionContext& ctx) {
  const ExpressionResult result = parsed.Evaluate(ctx);
  EXPECT_TRUE(result.ok) << result.error << " at " << result.error_position;
  return result.value;
}

double ValueOf(std::string_view text, const ExpressionContext& ctx) {
  const ExpressionResult result = EvaluateExpression(text, ctx);
  EXPECT_TRUE(result.ok) << text << ": " << result.error << " at " << result.error_position;
  return result.value;
}

TEST(ExpressionPluginTexts, EvaluateWithinTheirBoundsDeterministicallyAndVary) {
  struct Case {
    const char* text;
    double lo, hi;  // the range the value must stay in
    bool half_open;
  };
  const Case cases[] = {
      {kRandomDefault, -1.0, 1.0, true},
      {kRandomExample, -0.75, 0.75, false},
      {kWiggleDefault, -1.0, 1.0, false},
      {kWiggleExample, -1.5 * (1 + 0.5 + 0.25), 1.5 * (1 + 0.5 + 0.25), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ParsedExpression parsed = ParsedExpression::Parse(c.text);
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    double low = 1e9, high = -1e9;
    for (int frame = 0; frame < 600; ++frame) {
      const double t = frame / 30.0;
      const double v = ValueOf(parsed, At(t));
      EXPECT_GE(v, c.lo) << "t=" << t;
      if (c.half_open) {
        EXPECT_LT(v, c.hi) << "t=" << t;
      } else {
        EXPECT_LE(v, c.hi) << "t=" << t;
      }
      EXPECT_EQ(v, ValueOf(c.text, At(t))) << "t=" << t;  // a fresh parse agrees
      low = std::min(low, v);
      high = std::max(high, v);
    }
    EXPECT_GT(high - low, 0.25 * (c.hi - c.lo));
  }
}

TEST(ExpressionRandom, ConstantWithinAPosterizedStepAndChangingAcrossSteps) {
  const ParsedExpression parsed = ParsedExpression::Parse(kRandomExample);  // 12.5 steps/s
  const double step = 1.0 / 12.5;
  for (int k = 0; k < 200; ++k) {
    const double first = ValueOf(parsed, At(k * step));
    for (double within : {0.25, 0.5, 0.99}) {
      EXPECT_EQ(ValueOf(parsed, At((k + within) * step)), first) << "step " << k;
    }
    EXPECT_NE(ValueOf(parsed, At((k + 1) * step)), first) << "step " << k;
  }
}

TEST(ExpressionRandom, FrameTimesOnStepBoundariesStayInTheirOwnStep) {
  // A host computes frame times as frame / rate; floor(t * 30) alone would
  // put some of them one step early.
  const ParsedExpression parsed = ParsedExpression::Parse(kRandomDefault);
  for (int frame = 0; frame < 5000; ++frame) {
    const double mid = ValueOf(parsed, At((frame + 0.5) / 30.0));
    EXPECT_EQ(ValueOf(parsed, At(frame / 30.0)), mid) << "frame " << frame;
    EXPECT_EQ(ValueOf(parsed, At(frame * (1.0 / 30.0))), mid) << "frame " << frame;
  }
}

TEST(ExpressionRandom, SeedsCallsAndTimelessness) {
  const auto seed0 = ParsedExpression::Parse("posterizeTime(30);seedRandom(0);random()");
  const auto seed7 = ParsedExpression::Parse("posterizeTime(30);seedRandom(7);random()");
  const ParsedExpression unseeded = ParsedExpression::Parse("posterizeTime(30);random()");
  const ParsedExpression two_calls = ParsedExpression::Parse("seedRandom(1);random() - random()");
  const ParsedExpression reseeded =
      ParsedExpression::Parse("seedRandom(1);random();seedRandom(1);random()");
  const ParsedExpression once = ParsedExpression::Parse("seedRandom(1);random()");
  const ParsedExpression timeless = ParsedExpression::Parse("seedRandom(5,1);random()");
  const ParsedExpression timed = ParsedExpression::Parse("seedRandom(5,0);random()");
  const double timeless_value = ValueOf(timeless, At(0.0));
  for (int frame = 0; frame < 100; ++frame) {
    const ExpressionContext ctx = At(frame / 30.0);
    EXPECT_NE(ValueOf(seed0, ctx), ValueOf(seed7, ctx)) << "frame " << frame;
    EXPECT_EQ(ValueOf(seed0, ctx), ValueOf(unseeded, ctx)) << "the initial seed is 0";
    EXPECT_NE(ValueOf(two_calls, ctx), 0.0) << "frame " << frame;
    EXPECT_EQ(ValueOf(reseeded, ctx), ValueOf(once, ctx)) << "frame " << frame;
    EXPECT_EQ(ValueOf(timeless, ctx), timeless_value) << "frame " << frame;
    if (frame > 0) {
      EXPECT_NE(ValueOf(timed, ctx), ValueOf(timed, At(0.0))) << "frame " << frame;
    }
  }
}

TEST(ExpressionRandom, FillsItsRangeUniformly) {
  struct Case {
    const char* text;
    double lo, hi;
  };
  const Case cases[] = {
      {"random()", 0.0, 1.0},
      {"random(5)", 0.0, 5.0},
      {"random(-1,1)", -1.0, 1.0},
      {"random(10, 12)", 10.0, 12.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ParsedExpression parsed = ParsedExpression::Parse(c.text);
    const int n = 4000;
    double low = c.hi, high = c.lo, sum = 0.0;
    for (int i = 0; i < n; ++i) {
      const double v = ValueOf(parsed, At(i * 0.01));
      ASSERT_GE(v, c.lo);
      ASSERT_LT(v, c.hi);
      low = std::min(low, v);
      high = std::max(high, v);
      sum += v;
    }
    const double span = c.hi - c.lo;
    EXPECT_LT(low, c.lo + 0.01 * span);
    EXPECT_GT(high, c.hi - 0.01 * span);
    EXPECT_NEAR(sum / n, c.lo + 0.5 * span, 0.03 * span);
  }
  EXPECT_EQ(ValueOf("random(3,3)", At(1.0)), 3.0);
}

// A number as a literal that reads back exactly.
std::string Num(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

struct WiggleArgs {
  double freq, amp, octaves, amp_mult;
};

std::string WiggleText(const WiggleArgs& w) {
  return "wiggle(" + Num(w.freq) + "," + Num(w.amp) + "," + Num(w.octaves) + "," +
         Num(w.amp_mult) + ")";
}

// The octave weights: amp_mult^k, the fractional last one by its fraction.
std::vector<double> OctaveWeights(const WiggleArgs& w) {
  std::vector<double> weights;
  double weight = 1.0;
  for (int k = 0; k < w.octaves; ++k) {
    weights.push_back(weight * std::min(1.0, w.octaves - k));
    weight *= w.amp_mult;
  }
  return weights;
}

TEST(ExpressionWiggle, ContinuousAndBoundedByTheOctaveAmplitudes) {
  const WiggleArgs cases[] = {
      {1, 1, 1, 0.5}, {2, 1.5, 3, 0.5}, {5, 2, 2.5, 2}, {0.5, -3, 4, 0.7}, {3, 1, 0.4, 0.5},
  };
  const double base = 10.0;
  for (const WiggleArgs& w : cases) {
    const std::string text = WiggleText(w);
    SCOPED_TRACE(text);
    const ParsedExpression parsed = ParsedExpression::Parse(text);
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    double bound = 0.0, slope = 0.0;
    const std::vector<double> weights = OctaveWeights(w);
    for (std::size_t k = 0; k < weights.size(); ++k) {
      bound += std::fabs(w.amp) * weights[k];
      slope += std::fabs(w.amp) * weights[k] * w.freq * std::ldexp(1.0, static_cast<int>(k));
    }
    // Gradient noise scaled to [-1, 1] has slope below 6 per lattice cell.
    // Consecutive samples: a jump anywhere in the span shows between two.
    const double dt = 2e-4;
    const double max_step = 6.0 * slope * dt + 1e-12;
    double peak = 0.0;
    double before = ValueOf(parsed, At(0.0, base));
    for (int i = 1; i < 20000; ++i) {
      const double t = i * dt;
      const double v = ValueOf(parsed, At(t, base));
      ASSERT_LE(std::fabs(v - base), bound + 1e-12) << "t=" << t;
      ASSERT_LE(std::fabs(v - before), max_step) << "t=" << t;
      peak = std::max(peak, std::fabs(v - base));
      before = v;
    }
    EXPECT_GT(peak, 0.2 * bound);
  }
}

TEST(ExpressionWiggle, ArgumentsDefaultsAndLimits) {
  struct Case {
    const char* a;
    double time_a;
    const char* b;
    double time_b;
  };
  const Case same[] = {
      {"wiggle(2,1)", 3.3, "wiggle(2,1,1,0.5,time)", 3.3},
      {"wiggle(2,1,1,0.5,2.7)", 0.0, "wiggle(2,1)", 2.7},
      {"wiggle(2,1,3)", 1.7, "wiggle(2,1,3,0.5)", 1.7},
      {"wiggle(2,1,0)", 1.7, "value", 0.0},
      {"wiggle(2,1,-3)", 1.7, "value", 0.0},
      {"wiggle(2,0,3)", 1.7, "value", 0.0},
      {"wiggle(2,1,1000)", 1.7, "wiggle(2,1,100)", 1.7},
      {"posterizeTime(4);wiggle(2,1)", 1.74, "wiggle(2,1)", 1.5},
      {"wiggle(1,1,100,0.5)", 1e15, "wiggle(1,1,100,0.5)", 1e15},
  };
  for (const Case& c : same) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(ValueOf(c.a, At(c.time_a, 4.0)), ValueOf(c.b, At(c.time_b, 4.0)));
  }
  // The fractional last octave fades in from nothing.
  for (double octaves : {1.0, 2.0, 5.0}) {
    const std::string below = "wiggle(3,1," + Num(octaves - 1e-9) + ")";
    const std::string above = "wiggle(3,1," + Num(octaves + 1e-9) + ")";
    EXPECT_NEAR(ValueOf(below, At(0.37)), ValueOf(above, At(0.37)), 1e-8) << octaves;
  }
  // Seed and call count pick the noise.
  EXPECT_NE(ValueOf("seedRandom(3);wiggle(2,1)", At(0.3)),
            ValueOf("seedRandom(4);wiggle(2,1)", At(0.3)));
  EXPECT_NE(ValueOf("wiggle(2,1) - wiggle(2,1)", At(0.3)), 0.0);
  EXPECT_LE(std::fabs(ValueOf("wiggle(1,1,100,0.5)", At(1e15))), 2.0);
}

TEST(ExpressionValue, ClampedToTheValidRange) {
  struct Case {
    const char* text;
    double static_value, lo, hi, expected;
  };
  const Case cases[] = {
      {"500", 0, -100, 100, 100},        {"-500", 0, -100, 100, -100},
      {"value*2", 60, -100, 100, 100},   {"3", 0, -100, 100, 3},
      {"random(200,300)", 0, -100, 100, 100}, {"0.5", 0, 1, 1, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValueOf(c.text, At(0.0, c.static_value, c.lo, c.hi)), c.expected) << c.text;
  }
  const double v = ValueOf("wiggle(1,1000)", At(0.3, 0.0, -1, 1));
  EXPECT_TRUE(v == -1.0 || v == 1.0) << v;
}

TEST(ExpressionArithmetic, PrecedenceStatementsAndNames) {
  struct Case {
    const char* text;
    double time, static_value, expected;
  };
  const Case cases[] = {
      {"1+2*3", 0, 0, 7},
      {"(1+2)*3", 0, 0, 9},
      {"10-4-3", 0, 0, 3},
      {"8/4/2", 0, 0, 1},
      {"2*3%4", 0, 0, 2},
      {"7%3", 0, 0, 1},
      {"-7%3", 0, 0, -1},
      {"7.5%2", 0, 0, 1.5},
      {"-2*-3", 0, 0, 6},
      {"- -1", 0, 0, 1},
      {"-(2+3)", 0, 0, -5},
      {"+3", 0, 0, 3},
      {"2*-3+1", 0, 0, -5},
      {"2*(3+(4-1))", 0, 0, 12},
      {"1e3", 0, 0, 1000},
      {".5", 0, 0, 0.5},
      {"1.", 0, 0, 1},
      {"2.5E-1", 0, 0, 0.25},
      {" \t1 +\r\n 2 ", 0, 0, 3},
      {"time*2", 1.5, 0, 3},
      {"value/2", 0, 4, 2},
      {"value - -value", 0, 2, 4},
      {"1;2;3", 0, 0, 3},
      {"1;2;", 0, 0, 2},
      {";;4;;", 0, 0, 4},
      {"1 /* 5 */ + 2 // + 9", 0, 0, 3},
      {"1\n2", 0, 0, 2},
      {"1\n+2", 0, 0, 3},
      {"1 /*\n*/ 2", 0, 0, 2},
      {"seedRandom(1)\nrandom(4, 4)", 0, 0, 4},
      {"posterizeTime(2);time", 0.9, 0, 0.5},
      {"time;posterizeTime(1);time", 1.5, 0, 1},
      {"posterizeTime(1);posterizeTime(4);time", 1.3, 0, 1.25},
      {"posterizeTime(1+1);time*10", 0.9, 0, 5},
      {"posterizeTime(10);time", -0.05, 0, -0.1},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(ValueOf(c.text, At(c.time, c.static_value, -1e9, 1e9)), c.expected)
        << c.text;
  }
}

TEST(ExpressionErrors, NamePositionAndProblemAndFallBackToTheStaticValue) {
  struct Case {
    std::string text;
    std::size_t position;
    const char* message;  // a part of the message
  };
  const Case cases[] = {
      {"seedRandom(0);wigle(1,1)", 14, "unknown name 'wigle'"},
      {"Math.sin(1)", 0, "unknown name 'Math'"},
      {"", 0, "empty"},
      {"  ; // nothing", 0, "empty"},
      {"1 +", 3, "found the end of the text"},
      {"(1", 2, "expected ')' to close the '(' at 0"},
      {"1 2", 2, "expected ';' or an operator before '2'"},
      {"1 + 2)", 5, "unmatched ')'"},
      {"random(1,2,3)", 0, "'random' takes 0 to 2 arguments, got 3"},
      {"wiggle(1)", 0, "'wiggle' takes 2 to 5 arguments, got 1"},
      {"posterizeTime();1", 0, "'posterizeTime' takes 1 argument, got 0"},
      {"time()", 0, "'time' is not a function"},
      {"random + 1", 0, "'random' must be called"},
      {"seedRandom 1", 0, "'seedRandom' must be called"},
      {"1 + seedRandom(1)", 4, "must stand alone as a statement"},
      {"seedRandom(1)", 0, "the last statement gives no value: 'seedRandom(1)'"},
      {"1;posterizeTime(3);", 2, "gives no value"},
      {"random(1,2", 10, "expected ',' or ')' in the arguments of 'random'"},
      {"random(,)", 7, "found ','"},
      {"1e", 0, "malformed number '1e'"},
      {"1e+", 0, "malformed number"},
      {"1.2.3", 0, "malformed number '1.2.3'"},
      {"12px", 0, "malformed number '12px'"},
      {"1e999", 0, "number out of range"},
      {"1 # 2", 2, "unexpected character '#'"},
      {"\xC3\xA9", 0, "unexpected byte 0xC3"},
      {std::string("1\0", 2), 1, "unexpected byte 0x00"},
      {"1 /* 2", 2, "unterminated comment"},
      // Evaluation
      {"1/0", 1, "division by zero"},
      {"5 % (2-2)", 2, "division by zero"},
      {"wiggle(1,1,1,0.5,1/0)", 18, "division by zero"},
      {"posterizeTime(0);1", 0, "frame rate above 0, got 0"},
      {"1;posterizeTime(-30);1", 2, "got -30"},
      {"1e300*1e300", 5, "number overflow in '*'"},
      {"-1e308-1e308", 6, "number overflow in '-'"},
      {"wiggle(1e308,1e308,3,1e308,0)", 0, "wiggle() gives a non-finite number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ExpressionResult result = EvaluateExpression(c.text, At(0.0, 42.0));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.value, 42.0);
    EXPECT_EQ(result.error_position, c.position);
    EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
  }
}

TEST(ExpressionErrors, ContextThatCannotBeEvaluated) {
  const double nan = std::nan("");
  const double inf = INFINITY;
  EXPECT_FALSE(EvaluateExpression("time", At(nan)).ok);
  EXPECT_FALSE(EvaluateExpression("1", At(inf)).ok);
  EXPECT_FALSE(EvaluateExpression("1", At(0.0, 0.0, 5.0, 4.0)).ok);
  EXPECT_FALSE(EvaluateExpression("1", At(0.0, 0.0, nan, 4.0)).ok);
  // A non-finite static value matters only where it is used.
  EXPECT_TRUE(EvaluateExpression("1", At(0.0, nan)).ok);
  EXPECT_FALSE(EvaluateExpression("value", At(0.0, nan)).ok);
  EXPECT_FALSE(EvaluateExpression("wiggle(1,1)", At(0.0, inf)).ok);
}

TEST(ExpressionLimits, PathologicalInputsGiveErrors) {
  const auto repeat = [](std::string_view piece, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += piece;
    return text;
  };
  struct Case {
    std::string text;
    std::size_t position;
    const char* message;
  };
  const Case cases[] = {
      {repeat("(", 30000) + "1" + repeat(")", 30000), 201, "nested too deeply"},
      {repeat("random(", 5000), 7 * 201, "nested too deeply"},
      {repeat(" ", 70000) + "1", kMaxExpressionLength, "too long: 70001 bytes"},
      {repeat("1+", 20000) + "1", 16383, "too complex"},
      {repeat("1;", 5000), 8192, "too many statements"},
      {repeat("a", 60000), 0, "unknown name 'aaaa"},
      {std::string(1000, '\0'), 0, "unexpected byte 0x00"},
      {"1 /*" + repeat("*", 60000), 2, "unterminated comment"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    const ExpressionResult result = EvaluateExpression(c.text, At(0.0, 42.0));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.value, 42.0);
    EXPECT_EQ(result.error_position, c.position);
    EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
    EXPECT_LT(result.error.size(), 120u);
  }
  // Nesting up to the limit is fine; signs are not nesting.
  EXPECT_EQ(ValueOf(repeat("(", 200) + "1" + repeat(")", 200), At(0.0)), 1.0);
  EXPECT_EQ(ValueOf(repeat("-", 60001) + "1", At(0.0)), -1.0);
}

TEST(ExpressionLimits, ArbitraryTextNeverBreaksTheEvaluator) {
  const char* const pieces[] = {
      "wiggle(", "random(", "posterizeTime(", "seedRandom(", "time", "value", "1e308", "0",
      ".5", "7", "(", ")", ",", ";", "+", "-", "*", "/", "%", "\n", "/*", "*/", "//", " ",
  };
  std::mt19937 rng(20240601);  // fixed, so a failure replays
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(pieces)));
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_real_distribution<double> time(-100.0, 100.0);
  int evaluated = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int n = length(rng); n > 0; --n) {
      const int p = pick(rng);
      if (p == static_cast<int>(std::size(pieces))) {
        text += static_cast<char>(byte(rng));
      } else {
        text += pieces[p];
      }
    }
    const ExpressionResult result = EvaluateExpression(text, At(time(rng), 1.0, -50.0, 50.0));
    if (result.ok) {
      ++evaluated;
      ASSERT_TRUE(result.error.empty()) << text;
      ASSERT_GE(result.value, -50.0) << text;
      ASSERT_LE(result.value, 50.0) << text;
    } else {
      ASSERT_FALSE(result.error.empty()) << text;
      ASSERT_LE(result.error_position, text.size()) << text;
      ASSERT_EQ(result.value, 1.0) << text;
    }
  }
  EXPECT_GT(evaluated, 0);
}

TEST(ParsedExpressionTest, ParsedOnceEvaluatesLikeTheOneShotCall) {
  const ParsedExpression parsed = ParsedExpression::Parse(kWiggleExample);
  for (double t : {0.0, 0.4, 7.25}) {
    EXPECT_EQ(ValueOf(parsed, At(t)), ValueOf(kWiggleExample, At(t)));
  }
  const ParsedExpression broken = ParsedExpression::Parse("wiggle(1,");
  EXPECT_FALSE(broken.ok());
  for (double t : {0.0, 1.0}) {
    const ExpressionResult result = broken.Evaluate(At(t, 3.0));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.value, 3.0);
    EXPECT_EQ(result.error, broken.error());
    EXPECT_EQ(result.error_position, 9u);
  }
}

}  // namespace
}  // namespace minihost
