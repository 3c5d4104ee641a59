// Entry point, About, global set-up and the sequence commands, driven through
// the real plug-in library by the emulated host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "entry/global_data.h"
#include "minihost/base/error.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using minihost::Failure;
using minihost::FailureForm;
using minihost::Host;

constexpr Failure kNull{FailureForm::kNull, 0};

TEST(EntryPoint, UnhandledSelectorsReturnNoneAndTouchNothing) {
  Host host(Plugin());
  for (PF_Cmd cmd : {2, 3, 7, 9, 10, 11, 12, 15, 16, 17, 18, 19, 20, 21, 22, 25, 1000, -1}) {
    PF_InData in = host.MakeInData(nullptr);
    PF_OutData out = host.MakeOutData(nullptr);
    std::memset(&out, 0x5C, sizeof out);
    PF_OutData before = out;
    EXPECT_EQ(host.SendRaw(cmd, nullptr, in, out, nullptr, nullptr, nullptr), PF_Err_NONE)
        << "selector " << cmd;
    EXPECT_EQ(std::memcmp(&before, &out, sizeof out), 0) << "selector " << cmd;
    EXPECT_THAT(host.faults().log(), IsEmpty()) << "selector " << cmd;
  }
}

TEST(EntryPoint, AboutTextIsExact) {
  Host host(Plugin());
  std::string about;
  ASSERT_EQ(host.About(&about), PF_Err_NONE);
  EXPECT_EQ(about, std::string("Norvikmade, v1.00\rDuzezoruruv!"));
  EXPECT_EQ(host.out_data().out_flags, 0);
  EXPECT_THAT(host.faults().log(), IsEmpty()) << "About needs no suite";
}

TEST(EntryPoint, MissingRecordsAreRefusedNotDereferenced) {
  Host host(Plugin());
  PF_OutData out{};
  EXPECT_EQ(Plugin()->entry()(PF_Cmd_GLOBAL_SETUP, nullptr, &out, nullptr, nullptr, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
  PF_InData in = host.MakeInData(nullptr);
  in.utils = nullptr;
  EXPECT_EQ(host.SendRaw(PF_Cmd_ABOUT, nullptr, in, out, nullptr, nullptr, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
}

// A basic suite whose acquisition throws something other than a PF_Err: the
// exception must still stop at the entry point.
SPErr ThrowingAcquire(const char*, A_long, const void**) { throw std::runtime_error("boom"); }
SPErr NoRelease(const char*, A_long) { return 0; }

TEST(EntryPoint, ExceptionsOfAnyTypeBecome512) {
  Host host(Plugin());
  SPBasicSuite throwing{};
  throwing.AcquireSuite = ThrowingAcquire;
  throwing.ReleaseSuite = NoRelease;
  PF_InData in = host.MakeInData(nullptr);
  in.pica_basicP = &throwing;
  PF_OutData out = host.MakeOutData(nullptr);
  EXPECT_EQ(host.SendRaw(PF_Cmd_GLOBAL_SETUP, nullptr, in, out, nullptr, nullptr, nullptr),
            PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_THAT(host.problems(), IsEmpty());
}

TEST(GlobalSetup, ReportsVersionFlagsAndRegisters) {
  Host host(Plugin());
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  EXPECT_THAT(host.problems(), IsEmpty());
  EXPECT_EQ(host.out_data().my_version, 0x00080601u);
  EXPECT_EQ(host.out_data().out_flags, 0x06000440);
  EXPECT_EQ(host.out_data().out_flags2, 0x00001408);
  EXPECT_EQ(host.registered_name(), "Prismora");
  ASSERT_NE(host.global_data(), nullptr);
  EXPECT_EQ(host.handles().Size(host.global_data()), sizeof(GlobalData));
  const auto& global = Contents<GlobalData>(host.global_data());
  EXPECT_EQ(global.ui_updated, 1);
  EXPECT_EQ(global.plugin_id, host.plugin_id());
  EXPECT_THAT(host.faults().log(),
              ElementsAre("AcquireSuite(PF Handle Suite,2)", "host_new_handle(8)",
                          "host_lock_handle", "AcquireSuite(AEGP Utility Suite,7)",
                          "AEGP_RegisterWithAEGP", "host_unlock_handle",
                          // released in table order: Utility before Handle
                          "ReleaseSuite(AEGP Utility Suite,7)",
                          "ReleaseSuite(PF Handle Suite,2)"));
}

struct GlobalFailureCase {
  const char* name;
  const char* call;
  Failure failure;
  PF_Err expected;
};

void PrintTo(const GlobalFailureCase& c, std::ostream* os) { *os << c.name; }

class GlobalSetupFailure : public ::testing::TestWithParam<GlobalFailureCase> {};

// Whatever fails, the version and flags stand, nothing is handed over that
// is not complete, and everything taken is given back.
TEST_P(GlobalSetupFailure, LeavesNothingBehind) {
  const GlobalFailureCase& c = GetParam();
  Host host(Plugin());
  host.faults().FailNth(c.call, 1, c.failure);
  EXPECT_EQ(host.GlobalSetup(), c.expected);
  EXPECT_THAT(host.problems(), IsEmpty());
  EXPECT_EQ(host.global_data(), nullptr);
  EXPECT_EQ(host.handles().LiveCount(), 0u);
  // Written before anything can fail, and no error text is shown.
  EXPECT_EQ(host.out_data().my_version, 0x00080601u);
  EXPECT_EQ(host.out_data().out_flags, 0x06000440);
  EXPECT_EQ(host.out_data().out_flags2, 0x00001408);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GlobalSetupFailure,
    ::testing::Values(
        GlobalFailureCase{"no_handle", "host_new_handle", kNull, PF_Err_INTERNAL_STRUCT_DAMAGED},
        GlobalFailureCase{"registration_refused", "AEGP_RegisterWithAEGP",
                          Failure{FailureForm::kError, 7}, 7},
        GlobalFailureCase{"lock_refused", "host_lock_handle", kNull, PF_Err_NONE},
        GlobalFailureCase{"no_handle_suite", "AcquireSuite(PF Handle Suite,2)",
                          Failure{FailureForm::kError, 1}, PF_Err_INTERNAL_STRUCT_DAMAGED},
        GlobalFailureCase{"null_handle_suite", "AcquireSuite(PF Handle Suite,2)", kNull,
                          PF_Err_INTERNAL_STRUCT_DAMAGED},
        // The Handle suite is held when this one fails: it must still be released.
        GlobalFailureCase{"no_utility_suite", "AcquireSuite(AEGP Utility Suite,7)",
                          Failure{FailureForm::kError, 1}, PF_Err_INTERNAL_STRUCT_DAMAGED},
        GlobalFailureCase{"utility_suite_with_error", "AcquireSuite(AEGP Utility Suite,7)",
                          Failure{FailureForm::kErrorWithResult, 9},
                          PF_Err_INTERNAL_STRUCT_DAMAGED}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GlobalSetup, NoBasicSuiteGives512WithoutWritingOutData) {
  Host host(Plugin());
  PF_InData in = host.MakeInData(nullptr);
  in.pica_basicP = nullptr;
  PF_OutData out = host.MakeOutData(nullptr);
  EXPECT_EQ(host.SendRaw(PF_Cmd_GLOBAL_SETUP, nullptr, in, out, nullptr, nullptr, nullptr),
            PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_EQ(out.my_version, 0u);
  EXPECT_THAT(host.problems(), IsEmpty());
}

class Sequence : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(host_.GlobalSetup(), PF_Err_NONE); }

  // A handle in the snapshot form, as the interface handlers leave it.
  PF_Handle Snapshot() {
    PF_Handle h = host_.handles().New(sizeof(PF_State));
    std::memset(*h, 0x11, sizeof(PF_State));
    return h;
  }

  Host host_{Plugin()};
  minihost::Instance& instance_ = host_.NewInstance();
};

TEST_F(Sequence, SetupCreatesOneZeroByte) {
  ASSERT_EQ(host_.SequenceSetup(instance_), PF_Err_NONE);
  EXPECT_THAT(host_.problems(), IsEmpty());
  ASSERT_NE(instance_.sequence_data, nullptr);
  EXPECT_EQ(host_.handles().Size(instance_.sequence_data), 1u);
  EXPECT_EQ(Contents<A_u_char>(instance_.sequence_data), 0);
}

TEST_F(Sequence, ResetupReplacesASnapshotWithAFreshInitialBlock) {
  PF_Handle old = Snapshot();
  instance_.sequence_data = old;
  ASSERT_EQ(host_.SequenceResetup(instance_), PF_Err_NONE);
  EXPECT_THAT(host_.problems(), IsEmpty());
  EXPECT_FALSE(host_.handles().IsLive(old));
  ASSERT_NE(instance_.sequence_data, nullptr);
  EXPECT_EQ(host_.handles().Size(instance_.sequence_data), 1u);
  EXPECT_EQ(Contents<A_u_char>(instance_.sequence_data), 0);
  EXPECT_EQ(host_.handles().LiveCount(), 2u);  // global and sequence data
}

TEST_F(Sequence, ResetupThatCannotAllocateLeavesNoDisposedHandle) {
  PF_Handle old = Snapshot();
  instance_.sequence_data = old;
  host_.faults().FailNth("host_new_handle", 1, kNull);
  EXPECT_EQ(host_.SequenceResetup(instance_), PF_Err_OUT_OF_MEMORY);
  EXPECT_THAT(host_.problems(), IsEmpty());
  EXPECT_FALSE(host_.handles().IsLive(old));
  EXPECT_EQ(host_.out_data().sequence_data, nullptr);
  EXPECT_EQ(instance_.sequence_data, nullptr);
}

TEST_F(Sequence, SetupWhoseLockFailsHandsOverNothingAndLeaksNothing) {
  host_.faults().FailNth("host_lock_handle", 1, kNull);
  EXPECT_EQ(host_.SequenceSetup(instance_), PF_Err_NONE);
  EXPECT_THAT(host_.problems(), IsEmpty());
  EXPECT_EQ(instance_.sequence_data, nullptr);
  EXPECT_EQ(host_.handles().LiveCount(), 1u);  // global data only
}

TEST_F(Sequence, SetdownDisposes) {
  ASSERT_EQ(host_.SequenceSetup(instance_), PF_Err_NONE);
  PF_Handle h = instance_.sequence_data;
  ASSERT_EQ(host_.SequenceSetdown(instance_), PF_Err_NONE);
  EXPECT_THAT(host_.problems(), IsEmpty());
  EXPECT_FALSE(host_.handles().IsLive(h));
}

TEST_F(Sequence, SetdownWithoutDataDoesNothing) {
  host_.faults().ClearLog();
  EXPECT_EQ(host_.SequenceSetdown(instance_), PF_Err_NONE);
  EXPECT_THAT(host_.faults().log(), IsEmpty()) << "no suite handler is built";
  EXPECT_THAT(host_.problems(), IsEmpty());
}

TEST_F(Sequence, MissingHandleSuiteGives512AndReleasesWhatWasTaken) {
  ASSERT_EQ(host_.SequenceSetup(instance_), PF_Err_NONE);
  // The second acquisition is set-up's own, after set-down has released its.
  host_.faults().FailNth("AcquireSuite(PF Handle Suite,2)", 2, Failure{FailureForm::kError, 1});
  EXPECT_EQ(host_.SequenceResetup(instance_), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_THAT(host_.problems(), IsEmpty());
}

TEST(HostChecks, FlagsThatDisagreeWithThePiplAreRefusedByName) {
  auto mismatched = minihost::PluginLibrary::Load(PRISMORA_MISMATCHED_PLUGIN_PATH);
  Host host(mismatched);
  try {
    host.GlobalSetup();
    FAIL() << "a plug-in whose flags disagree with its PiPL was accepted";
  } catch (const minihost::HostError& e) {
    EXPECT_THAT(e.what(), HasSubstr("PF_OutFlag_NON_PARAM_VARY"));
    EXPECT_THAT(e.what(), HasSubstr("PF_OutFlag2_FLOAT_COLOR_AWARE"));
    EXPECT_THAT(e.what(), Not(HasSubstr("version")));
  }
}

}  // namespace
}  // namespace prismora::testing
