// The emulated host's own bookkeeping: it must catch what a plug-in fails to
// give back, and its fault injection must hit exactly the call asked for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "minihost/base/error.h"
#include "minihost/base/faults.h"
#include "minihost/base/handles.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using minihost::Failure;
using minihost::FailureForm;
using minihost::Host;

TEST(Handles, MisuseIsReportedNeverFatal) {
  minihost::HandleTable table;
  PF_Handle h = table.New(3);
  EXPECT_EQ(table.Size(h), 3u);
  EXPECT_EQ(static_cast<unsigned char*>(*h)[2], minihost::HandleTable::kFreshFill);
  table.Unlock(h);
  table.Dispose(h);
  table.Dispose(h);
  EXPECT_EQ(table.Lock(h), nullptr);
  int not_a_handle = 0;
  table.Dispose(reinterpret_cast<PF_Handle>(&not_a_handle));
  EXPECT_EQ(table.Size(h), 0u);
  EXPECT_THAT(table.TakeProblems(),
              ElementsAre(HasSubstr("not locked"), HasSubstr("already disposed"),
                          HasSubstr("lock of a disposed"), HasSubstr("unknown handle")));
}

TEST(Faults, NthUseCountsFromWhenTheRuleIsSet) {
  minihost::FaultInjector faults;
  faults.Enter("host_new_handle");
  faults.FailNth("host_new_handle", 2, Failure{FailureForm::kNull, 0});
  EXPECT_FALSE(faults.Enter("host_new_handle"));
  EXPECT_TRUE(faults.Enter("host_new_handle"));
  EXPECT_FALSE(faults.Enter("host_new_handle"));
  EXPECT_EQ(faults.Count("host_new_handle"), 4);
}

TEST(Faults, QualifiedKeysAndAnyCall) {
  minihost::FaultInjector faults;
  faults.FailNth("AcquireSuite(B,1)", 1, Failure{FailureForm::kError, 7});
  EXPECT_FALSE(faults.Enter("AcquireSuite", "AcquireSuite(A,1)"));
  auto hit = faults.Enter("AcquireSuite", "AcquireSuite(B,1)");
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->code, 7);
  EXPECT_EQ(faults.Count("AcquireSuite"), 2);

  faults.FailAnyNth(2, Failure{FailureForm::kError, 3});
  EXPECT_FALSE(faults.Enter("x"));
  EXPECT_TRUE(faults.Enter("y"));
  EXPECT_THAT(faults.log(), ElementsAre("AcquireSuite(A,1)", "AcquireSuite(B,1)", "x", "y"));
}

TEST(HostBasics, CallsOutsideACommandAreRefused) {
  Host host(Plugin());
  PF_InData in = host.MakeInData(nullptr);
  // Outside a command there is no current host: the call is refused, not fatal.
  const void* suite = nullptr;
  EXPECT_NE(in.pica_basicP->AcquireSuite("PF Handle Suite", 99, &suite), 0);
  EXPECT_EQ(suite, nullptr);
}

class LeakyPlugin : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(host_.GlobalSetup(), PF_Err_NONE); }
  std::vector<std::string> Run(PF_Cmd cmd) {
    EXPECT_EQ(host_.Send(cmd, &instance_), PF_Err_NONE);
    return host_.problems();
  }
  Host host_{minihost::PluginLibrary::Load(PRISMORA_LEAKY_PLUGIN_PATH)};
  minihost::Instance& instance_ = host_.NewInstance();
};

TEST_F(LeakyPlugin, LeakIsReportedOnce) {
  EXPECT_THAT(Run(100), ElementsAre(HasSubstr("handle #1 (24 bytes) leaked after command 100")));
  EXPECT_THAT(Run(0), IsEmpty());
}

TEST_F(LeakyPlugin, LockLeftOpenIsReported) {
  EXPECT_THAT(Run(101), ElementsAre(HasSubstr("left locked 1 time(s)")));
}

TEST_F(LeakyPlugin, SuiteKeptIsReported) {
  EXPECT_THAT(Run(102), ElementsAre(HasSubstr("\"PF Handle Suite\" version 2 not released")));
}

TEST_F(LeakyPlugin, DoubleDisposeIsReported) {
  EXPECT_THAT(Run(103), ElementsAre(HasSubstr("already disposed")));
}

TEST_F(LeakyPlugin, DisposedSequenceDataIsNotAdopted) {
  EXPECT_THAT(Run(104), ElementsAre(HasSubstr("not a live handle")));
  EXPECT_EQ(instance_.sequence_data, nullptr);
}

TEST(PluginLoading, ClearErrors) {
  for (const char* path : {"/nonexistent/Prismora(64bit).aex", "/etc/hostname"}) {
    try {
      minihost::PluginLibrary::Load(path);
      FAIL() << path << " loaded";
    } catch (const minihost::HostError& e) {
      EXPECT_THAT(e.what(), HasSubstr(path));
    }
  }
}

}  // namespace
}  // namespace prismora::testing
