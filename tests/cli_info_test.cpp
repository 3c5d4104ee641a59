// prismora info, run as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace prismora::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(CliInfo, ShowsWhatTheHostLearns) {
  const CommandResult r = RunTool("info --plugin '" PRISMORA_PLUGIN_PATH "'");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.err, IsEmpty());
  EXPECT_THAT(r.out, AllOf(HasSubstr("Prismora"), HasSubstr("Norvik"),
                           HasSubstr("Prismora by Tolvane"), HasSubstr("EntryPointFunc"),
                           HasSubstr("1.00"), HasSubstr("PF_OutFlag_USE_OUTPUT_EXTENT"),
                           HasSubstr("PF_OutFlag_PIX_INDEPENDENT"),
                           HasSubstr("PF_OutFlag_DEEP_COLOR_AWARE"),
                           HasSubstr("PF_OutFlag_SEND_UPDATE_PARAMS_UI"),
                           HasSubstr("PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG"),
                           HasSubstr("PF_OutFlag2_SUPPORTS_SMART_RENDER"),
                           HasSubstr("PF_OutFlag2_FLOAT_COLOR_AWARE"),
                           HasSubstr("Norvikmade, v1.00\\rDuzezoruruv!")));
}

TEST(CliInfo, FindsThePluginBuiltAlongside) {
  EXPECT_EQ(RunTool("info").exit_code, 0);
}

TEST(CliInfo, Errors) {
  struct Case {
    const char* args;
    int exit_code;
    const char* message;
  };
  for (const Case& c : {Case{"info --plugin /nonexistent.aex", 1, "/nonexistent.aex"},
                        Case{"info --plugin", 2, "--plugin needs a path"},
                        Case{"info --bogus", 2, "unknown option '--bogus'"},
                        Case{"frobnicate", 2, "unknown command 'frobnicate'"},
                        Case{"", 2, "usage"}}) {
    const CommandResult r = RunTool(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
    EXPECT_THAT(r.out, IsEmpty()) << c.args;
  }
}

}  // namespace
}  // namespace prismora::testing
