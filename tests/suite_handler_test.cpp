// The suite handler on its own, against a recording basic suite.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "host/suite_handler.h"

namespace prismora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A basic suite that serves every suite except those listed as missing, and
// records what it is asked. Plain functions need a place for their state;
// each test owns one recorder and installs it.
struct Recorder {
  std::vector<std::string> calls;
  std::set<std::string> missing;
  SPErr acquire_code = 0;  // returned even when the suite is handed out
  int dummy_table = 0;
};
thread_local Recorder* t_recorder = nullptr;

std::string Key(const char* name, A_long version) {
  return std::string(name) + "/" + std::to_string(version);
}

SPErr Acquire(const char* name, A_long version, const void** suite) {
  t_recorder->calls.push_back("acquire " + Key(name, version));
  if (t_recorder->missing.count(name) == 0) *suite = &t_recorder->dummy_table;
  return t_recorder->acquire_code;
}

SPErr Release(const char* name, A_long version) {
  t_recorder->calls.push_back("release " + Key(name, version));
  return 0;
}

class SuiteHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override { t_recorder = &recorder_; }
  void TearDown() override { t_recorder = nullptr; }

  Recorder recorder_;
  SPBasicSuite basic_{Acquire, Release, nullptr, nullptr, nullptr, nullptr, nullptr};
};

TEST_F(SuiteHandlerTest, AcquiresOnceAndReleasesOnce) {
  {
    SuiteHandler suites(&basic_);
    for (int i = 0; i < 5; ++i) suites.StreamSuite7();
  }
  EXPECT_THAT(recorder_.calls,
              ElementsAre("acquire AEGP Stream Suite/7", "release AEGP Stream Suite/7"));
}

TEST_F(SuiteHandlerTest, UnusedHandlerTouchesNothing) {
  { SuiteHandler suites(&basic_); }
  EXPECT_THAT(recorder_.calls, IsEmpty());
}

TEST_F(SuiteHandlerTest, ReleasesInTableOrderWhateverTheAcquisitionOrder) {
  {
    SuiteHandler suites(&basic_);
    suites.SamplingFloatSuite1();
    suites.HandleSuite2();
    suites.UtilitySuite7();
    suites.ParamUtilsSuite2();
    suites.WorldSuite1();
    suites.StreamSuite7();
  }
  EXPECT_THAT(recorder_.calls,
              ElementsAre("acquire PF SamplingFloat Suite/1", "acquire PF Handle Suite/2",
                          "acquire AEGP Utility Suite/7", "acquire PF Param Utils Suite/2",
                          "acquire PF World Suite/1", "acquire AEGP Stream Suite/7",
                          "release AEGP Stream Suite/7", "release PF Param Utils Suite/2",
                          "release AEGP Utility Suite/7", "release PF Handle Suite/2",
                          "release PF World Suite/1", "release PF SamplingFloat Suite/1"));
}

TEST_F(SuiteHandlerTest, MissingSuiteThrowsAndHeldSuitesAreReleasedOnce) {
  recorder_.missing = {"AEGP Effect Suite"};
  try {
    SuiteHandler suites(&basic_);
    suites.DynamicStreamSuite2();
    suites.PFInterfaceSuite1();
    suites.EffectSuite2();
    FAIL() << "no exception";
  } catch (PF_Err err) {
    EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
  }
  EXPECT_THAT(recorder_.calls,
              ElementsAre("acquire AEGP Dynamic Stream Suite/2", "acquire AEGP PF Interface Suite/1",
                          "acquire AEGP Effect Suite/2", "release AEGP Dynamic Stream Suite/2",
                          "release AEGP PF Interface Suite/1"));
}

TEST_F(SuiteHandlerTest, AnErrorCodeFailsTheAccessorEvenWithATable) {
  recorder_.acquire_code = 3;
  SuiteHandler suites(&basic_);
  EXPECT_THROW(suites.WorldSuite1(), PF_Err);
  // The half-given suite goes back at once, so the host's balance holds.
  EXPECT_THAT(recorder_.calls,
              ElementsAre("acquire PF World Suite/1", "release PF World Suite/1"));
}

TEST_F(SuiteHandlerTest, NullBasicSuiteThrows) {
  EXPECT_THROW(SuiteHandler(nullptr), PF_Err);
}

// The non-throwing pair, with the host's sprintf for the message.
class SuiteOrReport : public SuiteHandlerTest {
 protected:
  static A_long Sprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsprintf(buffer, format, args);
    va_end(args);
    return n;
  }
  void SetUp() override {
    SuiteHandlerTest::SetUp();
    utils_.ansi.sprintf = Sprintf;
    in_.utils = &utils_;
    in_.pica_basicP = &basic_;
    out_.out_flags = PF_OutFlag_REFRESH_UI;
  }
  PF_UtilCallbacks utils_{};
  PF_InData in_{};
  PF_OutData out_{};
  const void* suite_ = nullptr;
};

TEST_F(SuiteOrReport, ErrorCodeWithTableIsSuccess) {
  recorder_.acquire_code = 5;
  EXPECT_EQ(AcquireSuiteOrReport(&in_, &out_, "PF World Suite", 2, "Couldn't load suite.", &suite_),
            PF_Err_NONE);
  EXPECT_NE(suite_, nullptr);
  EXPECT_EQ(out_.out_flags, PF_OutFlag_REFRESH_UI);
  EXPECT_STREQ(out_.return_msg, "");
}

TEST_F(SuiteOrReport, FailureKeepsFlagsAddsMessageAndReturns516) {
  recorder_.missing = {"PF World Suite"};
  EXPECT_EQ(AcquireSuiteOrReport(&in_, &out_, "PF World Suite", 2, "Couldn't load suite.", &suite_),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(out_.out_flags, PF_OutFlag_REFRESH_UI | PF_OutFlag_DISPLAY_ERROR_MESSAGE);
  EXPECT_STREQ(out_.return_msg, "Couldn't load suite.");
}

TEST_F(SuiteOrReport, DefaultMessagesWithoutABasicSuite) {
  in_.pica_basicP = nullptr;
  EXPECT_EQ(AcquireSuiteOrReport(&in_, &out_, "PF World Suite", 2, nullptr, &suite_),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_STREQ(out_.return_msg, "Not able to acquire AEFX Suite.");
  EXPECT_EQ(ReleaseSuiteOrReport(&in_, &out_, "PF World Suite", 2, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_STREQ(out_.return_msg, "Not able to release AEFX Suite.");
  EXPECT_THAT(recorder_.calls, IsEmpty());
}

TEST_F(SuiteOrReport, ReleaseIgnoresTheHostsAnswer) {
  EXPECT_EQ(ReleaseSuiteOrReport(&in_, &out_, "PF World Suite", 2, "Couldn't release suite."),
            PF_Err_NONE);
  EXPECT_THAT(recorder_.calls, ElementsAre("release PF World Suite/2"));
  EXPECT_EQ(out_.out_flags, PF_OutFlag_REFRESH_UI);
}

TEST_F(SuiteOrReport, APercentInAMessageIsPrintedAsIs) {
  recorder_.missing = {"PF World Suite"};
  AcquireSuiteOrReport(&in_, &out_, "PF World Suite", 2, "100% %s %n", &suite_);
  EXPECT_STREQ(out_.return_msg, "100% %s %n");
}

}  // namespace
}  // namespace prismora
