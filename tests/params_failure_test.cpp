// What the interface handlers do when the host refuses something: the code
// returned, the "ERROR" text and out_flags, what is no longer sent, and that
// everything taken is given back whatever fails.
#include <cstring>

#include "params_support.h"

namespace prismora::testing {
namespace {

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using minihost::Failure;
using minihost::FailureForm;
using minihost::PopupValue;

constexpr PF_Err kHostCode = 7;
constexpr Failure kRefused{FailureForm::kError, kHostCode};
constexpr PF_OutFlags kErrorShown = PF_OutFlag_DISPLAY_ERROR_MESSAGE | PF_OutFlag_REFRESH_UI;

enum class Command { kUpdateParamsUI, kUserChangedParam };
constexpr Command kCommands[] = {Command::kUpdateParamsUI, Command::kUserChangedParam};

PF_Err Send(Applied& a, Command c) {
  return c == Command::kUpdateParamsUI ? a.session.UpdateParamsUI()
                                       : a.session.UserChangedParam(PARAM_RANDOM_ON);
}

// After any failure: nothing left with the plug-in, and the streams that are
// hidden last were not touched after it.
void ExpectCleanFailure(Applied& a) {
  EXPECT_THAT(a.problems(), IsEmpty());
  EXPECT_EQ(a.outstanding_references(), 0);
  EXPECT_THAT(Calls(a.host, "AEGP_SetDynamicStreamFlag(19"), IsEmpty());
  EXPECT_THAT(Calls(a.host, "AEGP_SetDynamicStreamFlag(6"), IsEmpty());
}

void ExpectShown(Applied& a, bool error_shown) {
  EXPECT_EQ(a.host.out_data().out_flags, error_shown ? kErrorShown : PF_OutFlag_REFRESH_UI);
  EXPECT_EQ(a.host.return_msg(), error_shown ? "ERROR" : "");
}

TEST(InterfaceFailure, EffectReferenceRefused) {
  for (Command c : kCommands) {
    Applied a;
    a.Set(PARAM_RANDOM_ON, true);
    a.global().ui_updated = 0;
    a.Mark();
    a.host.faults().FailNth("AEGP_GetNewEffectForEffect", 1, kRefused);
    EXPECT_EQ(Send(a, c), kHostCode);
    ExpectCleanFailure(a);
    EXPECT_THAT(Calls(a.host, "AEGP_GetNewEffectStreamByIndex"), IsEmpty());
    EXPECT_THAT(SentRecords(a.host), IsEmpty());
    EXPECT_THAT(Calls(a.host, "AEGP_SetExpression"), IsEmpty());
    ExpectShown(a, false);
    EXPECT_EQ(a.global().ui_updated, 0) << "not brought into line";
  }
}

// A reference handed out together with an error is still given back, and
// no later call is made.
TEST(InterfaceFailure, ReferencesHandedOutWithAnErrorAreGivenBack) {
  for (const char* call : {"AEGP_GetNewEffectForEffect", "AEGP_GetNewEffectStreamByIndex"}) {
    SCOPED_TRACE(call);
    Applied a;
    a.Mark();
    a.host.faults().FailNth(call, 1, Failure{FailureForm::kErrorWithResult, kHostCode});
    EXPECT_EQ(a.session.UpdateParamsUI(), kHostCode);
    ExpectCleanFailure(a);
    EXPECT_THAT(SentRecords(a.host), IsEmpty());
  }
}

struct RecordFailure {
  const char* name;
  bool blur, random, vignetting;
  int nth;           // which PF_UpdateParamUI fails
  bool error_shown;  // reported at a later report point
};

// Records with everything off: 7D | 11D 12D 18D 13D | 22E 23E 24E 25D | 31D ...
constexpr RecordFailure kRecordFailures[] = {
    // Reported by the Random section's disabled branch, which sends nothing.
    {"blur_amount_enabled", true, false, false, 1, true},
    {"blur_amount_greyed", false, false, false, 1, true},
    // The enabled Random branch has no report point: Colour reports it.
    {"random_mode_enabled", false, true, false, 2, true},
    {"random_seed_enabled", false, true, false, 4, true},
    {"color1", false, false, false, 7, true},
    // The enabled Vignetting branch is last and has no report point.
    {"vignetting_brightness_enabled", false, false, true, 10, false},
    {"vignetting_brightness_greyed", false, false, false, 10, true},
};

TEST(InterfaceFailure, UpdateParamUIFailingAtAChosenRecord) {
  for (Command c : kCommands) {
    for (const RecordFailure& f : kRecordFailures) {
      SCOPED_TRACE(std::string(f.name) +
                   (c == Command::kUpdateParamsUI ? " (update)" : " (user change)"));
      Applied a;
      a.Set(PARAM_BLUR_ON, f.blur);
      a.Set(PARAM_RANDOM_ON, f.random);
      a.Set(PARAM_VIGNETTING_ON, f.vignetting);
      a.Mark();
      a.host.faults().FailNth("PF_UpdateParamUI", f.nth, kRefused);
      EXPECT_EQ(Send(a, c), kHostCode);
      EXPECT_EQ(SentRecords(a.host).size(), static_cast<std::size_t>(f.nth))
          << "nothing is sent after the failure";
      ExpectShown(a, f.error_shown);
      ExpectCleanFailure(a);
      if (f.random && c == Command::kUserChangedParam) {
        EXPECT_THAT(Calls(a.host, "AEGP_SetExpression"), IsEmpty());
      }
    }
  }
}

TEST(InterfaceFailure, SetExpressionRefused) {
  // Written by the enabled Random branch: Colour sends nothing and shows
  // the error, Vignetting takes its disabled branch without sending.
  {
    Applied a;
    a.Set(PARAM_RANDOM_ON, true);
    a.Mark();
    a.host.faults().FailNth("AEGP_SetExpression", 1, kRefused);
    EXPECT_EQ(a.session.UserChangedParam(PARAM_RANDOM_ON), kHostCode);
    EXPECT_THAT(SentRecords(a.host), ElementsAre("7D", "11E", "12E", "18E", "13E"));
    EXPECT_EQ(a.param(PARAM_RANDOM_VALUE).expression, "");
    ExpectShown(a, true);
    ExpectCleanFailure(a);
  }
  // Cleared by the disabled branch, which shows the error itself.
  {
    Applied a;
    a.Mark();
    a.host.faults().FailNth("AEGP_SetExpression", 1, kRefused);
    EXPECT_EQ(a.session.UserChangedParam(PARAM_RANDOM_ON), kHostCode);
    EXPECT_THAT(SentRecords(a.host), ElementsAre("7D", "11D", "12D", "18D", "13D"));
    ExpectShown(a, true);
    ExpectCleanFailure(a);
  }
}

// --- The snapshot step ----------------------------------------------------------

TEST(InterfaceFailure, CurrentStateRefusedKeepsTheOldSnapshotAndDisposesTheNewHandle) {
  for (Command c : kCommands) {
    Applied a;
    PF_Handle old = a.session.instance().sequence_data;
    const PF_State before = Contents<PF_State>(old);
    a.Set(PARAM_AMOUNT, minihost::SliderValue{3});
    a.Mark();
    a.host.faults().FailNth("PF_GetCurrentState", 1, kRefused);
    EXPECT_EQ(Send(a, c), kHostCode);
    EXPECT_EQ(a.session.instance().sequence_data, old);
    EXPECT_EQ(std::memcmp(&Contents<PF_State>(old), &before, sizeof before), 0);
    EXPECT_THAT(Calls(a.host, "host_dispose_handle"), ElementsAre("host_dispose_handle"))
        << "the new handle, not the old one";
    // Reported by the Blur section (off), before any record is sent.
    EXPECT_THAT(SentRecords(a.host), IsEmpty());
    ExpectShown(a, true);
    ExpectCleanFailure(a);
  }
}

TEST(InterfaceFailure, HasParamChangedRefusedTakesNoSnapshot) {
  Applied a;
  PF_Handle old = a.session.instance().sequence_data;
  a.Mark();
  a.host.faults().FailNth("PF_HasParamChanged", 1, kRefused);
  EXPECT_EQ(a.session.UpdateParamsUI(), kHostCode);
  EXPECT_EQ(a.session.instance().sequence_data, old);
  EXPECT_THAT(Calls(a.host, "host_new_handle"), IsEmpty());
  ExpectShown(a, true);
  ExpectCleanFailure(a);
}

// No memory for a snapshot is no error: the controls are still updated.
TEST(InterfaceFailure, NoHandleForTheSnapshotIsNoError) {
  Applied a;
  PF_Handle old = a.session.instance().sequence_data;
  a.Set(PARAM_AMOUNT, minihost::SliderValue{3});
  a.Mark();
  a.host.faults().FailNth("host_new_handle", 1, Failure{FailureForm::kNull, 0});
  EXPECT_EQ(a.session.UpdateParamsUI(), PF_Err_NONE);
  EXPECT_EQ(a.session.instance().sequence_data, old);
  EXPECT_THAT(Calls(a.host, "PF_GetCurrentState"), IsEmpty());
  EXPECT_EQ(SentRecords(a.host).size(), 16u);
  ExpectShown(a, false);
  EXPECT_THAT(a.problems(), IsEmpty());
}

// --- Missing data and missing suites ---------------------------------------------

// Global or sequence data that set-up could not hand over (its lock
// failed): the commands ask the host for nothing and say so.
TEST(InterfaceFailure, MissingGlobalOrSequenceDataIsRefusedWithoutAnyCall) {
  for (int failing_lock : {1 /* global set-up */, 2 /* sequence set-up */}) {
    SCOPED_TRACE(failing_lock == 1 ? "global data" : "sequence data");
    Applied a{[&](minihost::Host& host) {
      host.faults().FailNth("host_lock_handle", failing_lock, Failure{FailureForm::kNull, 0});
    }};
    EXPECT_EQ(a.start_result, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_THAT(a.session.problems(), IsEmpty());
    for (Command c : kCommands) {
      a.Mark();
      EXPECT_EQ(Send(a, c), PF_Err_BAD_CALLBACK_PARAM);
      EXPECT_THAT(a.host.faults().log(), IsEmpty());
      EXPECT_THAT(a.problems(), IsEmpty());
    }
  }
}

TEST(InterfaceFailure, ASuiteThatCannotBeHadGives512AndLeavesNothingBehind) {
  const char* const kSuites[] = {
      "AcquireSuite(AEGP PF Interface Suite,1)", "AcquireSuite(AEGP Stream Suite,7)",
      "AcquireSuite(AEGP Dynamic Stream Suite,2)", "AcquireSuite(PF Handle Suite,2)",
      "AcquireSuite(PF Param Utils Suite,2)",
      // Needed only to give the effect back, when everything else is held.
      "AcquireSuite(AEGP Effect Suite,2)"};
  for (Command c : kCommands) {
    for (const char* suite : kSuites) {
      SCOPED_TRACE(suite);
      Applied a;
      a.Set(PARAM_RANDOM_ON, true);
      a.Mark();
      a.host.faults().FailNth(suite, 1, Failure{FailureForm::kError, 1});
      EXPECT_EQ(Send(a, c), PF_Err_INTERNAL_STRUCT_DAMAGED);
      EXPECT_THAT(a.problems(), IsEmpty());
      EXPECT_EQ(a.outstanding_references(), 0);
      EXPECT_EQ(a.host.out_data().out_flags & PF_OutFlag_REFRESH_UI, 0)
          << "the command stopped at once";
    }
  }
}

// Every host call of both commands made to fail in turn, in every form:
// the host must find nothing left behind, and a success must be complete.
TEST(InterfaceFailure, EveryHostCallFailingInTurnLeavesNothingBehind) {
  const Failure kForms[] = {kRefused, Failure{FailureForm::kNull, kHostCode},
                            Failure{FailureForm::kErrorWithResult, kHostCode}};
  for (Command c : kCommands) {
    int64_t calls = 0;
    {
      Applied a;
      a.Set(PARAM_RANDOM_ON, true);
      a.Set(PARAM_VIGNETTING_ON, true);
      const int64_t before = a.host.faults().TotalCalls();
      ASSERT_EQ(Send(a, c), PF_Err_NONE);
      calls = a.host.faults().TotalCalls() - before;
    }
    ASSERT_GT(calls, 40);
    for (const Failure& form : kForms) {
      for (int n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + ", " + minihost::ToString(form));
        Applied a;
        a.Set(PARAM_RANDOM_ON, true);
        a.Set(PARAM_VIGNETTING_ON, true);
        a.Mark();
        a.host.faults().FailAnyNth(n, form);
        const PF_Err err = Send(a, c);
        EXPECT_THAT(err, AnyOf(PF_Err_NONE, kHostCode, PF_Err_INTERNAL_STRUCT_DAMAGED));
        EXPECT_THAT(a.problems(), IsEmpty());
        EXPECT_EQ(a.outstanding_references(), 0);
        if (err == PF_Err_NONE) {
          EXPECT_EQ(a.host.out_data().out_flags, PF_OutFlag_REFRESH_UI);
        }
      }
    }
  }
}

}  // namespace
}  // namespace prismora::testing
