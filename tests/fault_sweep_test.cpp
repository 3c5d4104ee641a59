// Every host call of every command made to fail in turn, in every form it
// can fail in, under every combination of the switches and modes that
// changes what the command asks of the host: the code returned must be the
// one the table below gives, nothing may be left with the plug-in, nothing
// written outside the output's rows or into the input, and a command that
// still succeeds must give the result it gives without faults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "minihost/testing/fault_sweep.h"
#include "params/param_table.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

using ::testing::HasSubstr;
using minihost::FailureForm;
using minihost::ParamSetting;
using minihost::SweepCase;
using minihost::SweepExpectation;
using minihost::SweepResult;
using minihost::SweepRule;

const std::vector<PF_Cmd> kInterface = {PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_USER_CHANGED_PARAM};
// These show the user nothing, whatever fails.
const std::vector<PF_Cmd> kLifecycle = {PF_Cmd_GLOBAL_SETUP, PF_Cmd_SEQUENCE_SETUP,
                                        PF_Cmd_SEQUENCE_RESETUP, PF_Cmd_SEQUENCE_SETDOWN};
const std::vector<PF_Cmd> kSequenceSetup = {PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_RESETUP};
const std::vector<PF_Cmd> kRender = {PF_Cmd_SMART_RENDER};
const std::vector<PF_Cmd> kPreRender = {PF_Cmd_SMART_PRE_RENDER};
constexpr PF_OutFlags kRedraw = PF_OutFlag_REFRESH_UI;

using Expect = SweepExpectation;

// What each command returns when a host call fails, first match first.
const std::vector<SweepRule>& Rules() {
  static const std::vector<SweepRule> rules = {
      // The render asks for "PF World Suite" 2 itself and says so when it
      // cannot have it; a suite handed out with an error still serves.
      {kRender, "AcquireSuite(PF World Suite,2)", FailureForm::kErrorWithResult,
       Expect::Unchanged()},
      {kRender, "AcquireSuite(PF World Suite,2)", {},
       Expect::Exact(PF_Err_BAD_CALLBACK_PARAM).Shown("Couldn't load suite.").Untouched()},
      // Any other suite that cannot be had ends the command at once with 512:
      // the interface commands do not even ask for a redraw.
      {kInterface, "AcquireSuite", {}, Expect::Exact(PF_Err_INTERNAL_STRUCT_DAMAGED).Flags(0)},
      {kLifecycle, "AcquireSuite", {}, Expect::Exact(PF_Err_INTERNAL_STRUCT_DAMAGED).Shown("")},
      {{}, "AcquireSuite", {}, Expect::Exact(PF_Err_INTERNAL_STRUCT_DAMAGED)},
      // A suite the host will not take back is not reported.
      {{}, "ReleaseSuite", {}, Expect::Unchanged()},

      {{PF_Cmd_GLOBAL_SETUP}, "host_new_handle", {},
       Expect::Exact(PF_Err_INTERNAL_STRUCT_DAMAGED).Shown("")},
      // No global data is handed over, and that is no error.
      {{PF_Cmd_GLOBAL_SETUP}, "host_lock_handle", {}, Expect::Exact(PF_Err_NONE).Shown("")},
      {{PF_Cmd_GLOBAL_SETUP}, "AEGP_RegisterWithAEGP", {}, Expect::Injected().Shown("")},
      {kSequenceSetup, "host_new_handle", {}, Expect::Exact(PF_Err_OUT_OF_MEMORY).Shown("")},
      {kSequenceSetup, "host_lock_handle", {}, Expect::Exact(PF_Err_NONE).Shown("")},
      {{PF_Cmd_PARAMS_SETUP}, "add_param", {}, Expect::Injected()},

      // Failures before anything is sent, and in giving back, are returned
      // without the "ERROR" text.
      {kInterface, "AEGP_GetNewEffectForEffect", {}, Expect::Injected().Shown("").Flags(kRedraw)},
      {kInterface, "AEGP_GetNewEffectStreamByIndex", {},
       Expect::Injected().Shown("").Flags(kRedraw)},
      {kInterface, "AEGP_SetDynamicStreamFlag", {}, Expect::Injected().Shown("").Flags(kRedraw)},
      {kInterface, "AEGP_DisposeEffect", {}, Expect::Injected().Shown("").Flags(kRedraw)},
      {kInterface, "AEGP_DisposeStream", {}, Expect::Injected().Shown("").Flags(kRedraw)},
      // No memory for a snapshot: no snapshot, no error.
      {kInterface, "host_new_handle", {}, Expect::Unchanged()},
      {kInterface, "", {}, Expect::Injected()},

      {kPreRender, "host_new_handle", {}, Expect::Exact(PF_Err_OUT_OF_MEMORY)},
      {kPreRender, "host_lock_handle", {}, Expect::Exact(PF_Err_OUT_OF_MEMORY)},
      // A checkout that succeeds without a result is a success.
      {kPreRender, "checkout_layer", FailureForm::kNull, Expect::Unchanged()},
      {kPreRender, "", {}, Expect::Injected()},

      {kRender, "host_lock_handle", {}, Expect::Exact(PF_Err_BAD_CALLBACK_PARAM).Untouched()},
      {kRender, "checkout_layer_pixels", {},
       Expect::Exact(PF_Err_BAD_CALLBACK_PARAM).Untouched()},
      {kRender, "checkout_output", {}, Expect::Exact(PF_Err_BAD_CALLBACK_PARAM).Untouched()},
      // A failed query that names no format leaves it unknown.
      {kRender, "PF_GetPixelFormat", FailureForm::kErrorWithResult,
       Expect::Injected().Untouched()},
      {kRender, "PF_GetPixelFormat", {}, Expect::Exact(PF_Err_BAD_CALLBACK_PARAM).Untouched()},
      {kRender, "host_new_handle", {},
       Expect::Exact(PF_Err_INTERNAL_STRUCT_DAMAGED).Shown("Memory Error!").Untouched()},
      // A temporary world without pixels.
      {kRender, "new_world", FailureForm::kNull, Expect::AnError()},
      {kRender, "PF_NewWorld", FailureForm::kNull, Expect::AnError()},
      // Samples, progress, abort, the copy, the temporary world's disposal.
      {kRender, "", {}, Expect::Injected()},
  };
  return rules;
}

SweepCase Case(PF_Cmd cmd, std::vector<ParamSetting> settings = {}) {
  SweepCase c;
  c.cmd = cmd;
  c.settings = std::move(settings);
  return c;
}

ParamSetting On(const char* name, bool on) { return {name, on ? "on" : "off"}; }

// Sweeps, prints the totals and fails with the first findings.
void Sweep(const std::vector<SweepCase>& cases) {
  const SweepResult result = RunFaultSweep(Plugin(), cases, Rules());
  std::cout << result;
  ::testing::Test::RecordProperty("cases", result.totals.cases);
  ::testing::Test::RecordProperty("calls", std::to_string(result.totals.calls));
  ::testing::Test::RecordProperty("runs", std::to_string(result.totals.runs));
  EXPECT_EQ(result.totals.cases, static_cast<int>(cases.size()));
  EXPECT_GT(result.totals.runs, result.totals.cases);
  EXPECT_EQ(result.totals.failures, 0);
  constexpr std::size_t kShown = 40;
  for (std::size_t i = 0; i < result.findings.size() && i < kShown; ++i) {
    ADD_FAILURE() << result.findings[i];
  }
  if (result.findings.size() > kShown) {
    ADD_FAILURE() << result.findings.size() - kShown << " more findings";
  }
}

TEST(FaultSweep, LifecycleCommands) {
  Sweep({
      Case(PF_Cmd_GLOBAL_SETUP),
      Case(PF_Cmd_PARAMS_SETUP),
      Case(PF_Cmd_SEQUENCE_SETUP),
      // The instance holds a snapshot by then.
      Case(PF_Cmd_SEQUENCE_RESETUP),
      Case(PF_Cmd_SEQUENCE_SETDOWN),
  });
}

// What the interface commands ask of the host depends on Blur ON, Random ON,
// Random Mode, Mode, Vignetting ON and Vignetting Same; neither command reads
// which parameter changed, so the changed parameter goes round the
// supervised ones. Settings away from the defaults make the host report a
// change since the last snapshot, the defaults none.
TEST(FaultSweep, InterfaceCommands) {
  const ParamIndex kSupervised[] = {
      PARAM_BLUR_ON,     PARAM_RANDOM_ON,  PARAM_RANDOM_AMPLITUDE, PARAM_RANDOM_FPS,
      PARAM_WIGGLE_FREQ, PARAM_WIGGLE_AMP, PARAM_WIGGLE_OCTAVES,   PARAM_WIGGLE_AMPMULT,
      PARAM_RANDOM_SEED, PARAM_COLOR_MODE, PARAM_VIGNETTING_ON,    PARAM_VIGNETTING_SAME};
  std::vector<SweepCase> cases;
  std::size_t combination = 0;
  for (bool blur : {false, true}) {
    for (bool random : {false, true}) {
      for (const char* random_mode : {"Random", "Wiggle"}) {
        for (const char* mode : {"1 Color", "2 Colors", "3 Colors"}) {
          for (bool vignetting : {false, true}) {
            for (bool same : {false, true}) {
              const std::vector<ParamSetting> settings = {On("Blur ON", blur),
                                                          On("Random ON", random),
                                                          {"Random Mode", random_mode},
                                                          {"Mode", mode},
                                                          On("Vignetting ON", vignetting),
                                                          On("Vignetting Same", same)};
              cases.push_back(Case(PF_Cmd_UPDATE_PARAMS_UI, settings));
              cases.push_back(Case(PF_Cmd_USER_CHANGED_PARAM, settings));
              cases.back().changed = kSupervised[combination % std::size(kSupervised)];
              ++combination;
            }
          }
        }
      }
    }
  }
  // The first command after a re-set-up finds no snapshot.
  for (PF_Cmd cmd : kInterface) {
    cases.push_back(Case(cmd));
    cases.back().changed = PARAM_RANDOM_ON;
    cases.back().after_resetup = true;
  }
  Sweep(cases);
}

// What the render phases are given: a displacement, the random amount from
// its expression ("Random ON" is switched on as a user does, so the
// expression is written), and blur and vignette as asked.
std::vector<ParamSetting> RenderSettings(bool blur, bool vignetting, const char* mode) {
  return {{"Amount", "3"},
          On("Blur ON", blur),
          {"Blur Amount", "2"},
          On("Random ON", true),
          On("Vignetting ON", vignetting),
          {"Vignetting Amount", "20"},
          {"Mode", mode}};
}

// Pre-render asks the same of the host whatever the settings; the render
// differs by depth, the number of samples (Mode), blur and vignette.
TEST(FaultSweep, RenderCommands) {
  std::vector<SweepCase> cases;
  cases.push_back(Case(PF_Cmd_SMART_PRE_RENDER));
  cases.push_back(Case(PF_Cmd_SMART_PRE_RENDER, RenderSettings(true, true, "3 Colors")));
  cases.back().settings_as_user = true;
  const struct {
    PF_PixelFormat format;
    const char* mode;
  } kDepths[] = {{PF_PixelFormat_ARGB32, "1 Color"},
                 {PF_PixelFormat_ARGB64, "2 Colors"},
                 {PF_PixelFormat_ARGB128, "3 Colors"}};
  for (const auto& depth : kDepths) {
    for (bool blur : {false, true}) {
      for (bool vignetting : {false, true}) {
        cases.push_back(Case(PF_Cmd_SMART_RENDER, RenderSettings(blur, vignetting, depth.mode)));
        cases.back().settings_as_user = true;
        cases.back().format = depth.format;
      }
    }
  }
  Sweep(cases);
}

// The sweep is only as good as its judging: a table that allows a code the
// plug-in does not return is reported, call by call.
TEST(FaultSweep, ReportsACodeTheTableDoesNotAllow) {
  const std::vector<SweepRule> wrong = {
      {{}, "host_lock_handle", {}, Expect::Exact(PF_Err_OUT_OF_MEMORY)},
      {{}, "", {}, Expect::AnError()},
  };
  const SweepResult result = RunFaultSweep(Plugin(), {Case(PF_Cmd_GLOBAL_SETUP)}, wrong);
  ASSERT_GT(result.totals.runs, 0);
  std::vector<std::string> lock_findings;
  for (const std::string& f : result.findings) {
    if (f.find("host_lock_handle") != std::string::npos) lock_findings.push_back(f);
  }
  ASSERT_EQ(lock_findings.size(), 1u);
  EXPECT_THAT(lock_findings[0], HasSubstr("returned 0, not the code 4"));
  // Giving a suite back cannot fail the command, so the default "an error"
  // is wrong for both releases.
  EXPECT_EQ(result.totals.failures, 3);
}

}  // namespace
}  // namespace prismora::testing
