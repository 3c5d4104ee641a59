// prismora params, run as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

namespace prismora::testing {
namespace {

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(CliParams, RandomOnWritesTheRandomExpressionAndShowsItsControls) {
  const CommandResult r = RunTool("params -p 'Random ON=on'");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.err, IsEmpty());
  EXPECT_THAT(r.out, HasSubstr("expression on \"random\" (19): "
                               "posterizeTime(30.00000);seedRandom(0);random(-1,1) * 1.00000\n"
                               "  value at time 0: "));
  for (const char* name : {"Wiggle Freq", "Wiggle Amp", "Wiggle Octaves", "Wiggle AmpMult"}) {
    EXPECT_THAT(ParamTableLine(r.out, name), HasSubstr(" hidden ")) << name;
  }
  for (const char* name : {"Random Mode", "Random Amplitude", "Random Seed", "Random Fps"}) {
    EXPECT_THAT(ParamTableLine(r.out, name), AllOf(HasSubstr(" shown "), EndsWith(" enabled")))
        << name;
  }
  EXPECT_THAT(ParamTableLine(r.out, "Random ON"), HasSubstr(" off  "));  // the default column
  EXPECT_THAT(ParamTableLine(r.out, "random"), HasSubstr("-100 to 100"));
}

// Whatever the order on the command line, the expression is the one of the
// final settings, although Random Mode alone does not rewrite it.
TEST(CliParams, TheFinalSettingsDecideTheExpressionInAnyOrder) {
  for (const char* args : {"-p 'Random ON=on' -p 'Random Mode=Wiggle' -p 'Random Seed=7'",
                           "-p 'Random Seed=7' -p 'Random Mode=Wiggle' -p 'Random ON=on'",
                           "-p 'Random ON=on' -p 'Random Seed=7' -p 'Random Mode=2'"}) {
    const CommandResult r = RunTool(std::string("params ") + args);
    ASSERT_EQ(r.exit_code, 0) << args << ": " << r.err;
    EXPECT_THAT(r.out, HasSubstr("\"random\" (19): "
                                 "seedRandom(7);wiggle(1.00000,1.00000,1.00000,0.50000,time)\n"))
        << args;
    EXPECT_THAT(ParamTableLine(r.out, "Random Amplitude"), HasSubstr(" hidden ")) << args;
  }
}

TEST(CliParams, ShowsTheDeclaredControlsWithoutChanges) {
  const CommandResult r = RunTool("params --plugin '" PRISMORA_PLUGIN_PATH "'");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("expressions: none"));
  EXPECT_THAT(ParamTableLine(r.out, "Random Fps"),
              AllOf(HasSubstr("fixed slider"), HasSubstr("1 to 100"), HasSubstr("0 to 1 "),
                    HasSubstr(" 30 ")));
  EXPECT_THAT(ParamTableLine(r.out, "Center"), AllOf(HasSubstr("50%,50%"), HasSubstr("960,540")));
  EXPECT_THAT(ParamTableLine(r.out, "Mode"), HasSubstr("2 Colors"));
  EXPECT_THAT(ParamTableLine(r.out, "Color3"), EndsWith("greyed out"));
  EXPECT_THAT(ParamTableLine(r.out, "Blur Mode"), HasSubstr(" hidden "));
}

TEST(CliParams, ErrorsAreOneClearLineAndExit2) {
  struct Case {
    const char* args;
    const char* message;
  };
  for (const Case& c : {
           Case{"params -p 'Ramdom ON=on'",
                "no parameter named \"Ramdom ON\"; did you mean \"Random ON\"?"},
           Case{"params -p 'Amount=12'", "\"Amount\": 12 is outside the valid range 0 to 10"},
           Case{"params -p 'Mode=4 Colors'", "its choices are"},
           Case{"params -p Amount", "expected NAME=VALUE"},
           Case{"params -p", "-p needs NAME=VALUE"},
           Case{"params --frobnicate", "unknown option '--frobnicate'"},
       }) {
    const CommandResult r = RunTool(c.args);
    EXPECT_EQ(r.exit_code, 2) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
    EXPECT_THAT(r.out, IsEmpty()) << c.args;
  }
}

}  // namespace
}  // namespace prismora::testing
