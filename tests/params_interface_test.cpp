// The controls follow the switches and modes: which records are sent, in
// which order, greyed or enabled, which streams are hidden, and the
// parameter-state snapshot in the sequence data.
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "entry/sequence_data.h"
#include "params/interface_state.h"
#include "params_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using minihost::PopupValue;
using Records = std::vector<std::string>;

enum class Command { kUpdateParamsUI, kUserChangedParam };

const char* Name(Command c) {
  return c == Command::kUpdateParamsUI ? "UpdateParamsUI" : "UserChangedParam";
}

PF_Err Send(Applied& a, Command c) {
  return c == Command::kUpdateParamsUI ? a.session.UpdateParamsUI()
                                       : a.session.UserChangedParam(PARAM_RANDOM_ON);
}

struct Switches {
  bool blur, random, vignetting, same;
  A_long random_mode, colour_mode;
};

// The records of each section, as the rules give them.
Records Expected(const Switches& s, Command c) {
  const std::map<bool, Records> blur = {{true, {"7E"}}, {false, {"7D"}}};
  const std::map<std::pair<bool, A_long>, Records> random = {
      {{true, 1}, {"11E", "12E", "18E", "13E"}},
      {{true, 2}, {"11E", "14E", "15E", "16E", "17E", "18E"}},
      {{false, 1}, {"11D", "12D", "18D", "13D"}},
      {{false, 2}, {"11D", "14D", "15D", "16D", "17D", "18D"}}};
  const std::map<A_long, Records> colour = {{1, {"22E", "23E", "24D", "25D"}},
                                            {2, {"22E", "23E", "24E", "25D"}},
                                            {3, {"22E", "23E", "24E", "25E"}}};
  const Records vignetting_on = {"31E", "29E", "30E", "32E", "33E", "34E"};
  const Records vignetting_off = {"31D", "29D", "30D", "32D", "33D", "34D", "35D"};

  Records out = blur.at(s.blur);
  for (const auto& part : {random.at({s.random, s.random_mode}), colour.at(s.colour_mode)}) {
    out.insert(out.end(), part.begin(), part.end());
  }
  Records vignetting = s.vignetting ? vignetting_on : vignetting_off;
  if (s.vignetting) vignetting.push_back(s.same ? "35D" : "35E");
  for (const std::string& r : vignetting) {
    // The limits are sent by the interface update only.
    if (c == Command::kUserChangedParam && (r.rfind("32", 0) == 0 || r.rfind("33", 0) == 0)) {
      continue;
    }
    out.push_back(r);
  }
  return out;
}

std::string ExpectedExpression(const Switches& s) {
  if (!s.random) return "";
  return s.random_mode == 1 ? "posterizeTime(30.00000);seedRandom(0);random(-1,1) * 1.00000"
                            : "seedRandom(0);wiggle(1.00000,1.00000,1.00000,0.50000,time)";
}

std::vector<Switches> AllSwitches() {
  std::vector<Switches> out;
  for (bool blur : {false, true})
    for (bool random : {false, true})
      for (bool vignetting : {false, true})
        for (bool same : {false, true})
          for (A_long random_mode : {1, 2})
            for (A_long colour_mode : {1, 2, 3})
              out.push_back({blur, random, vignetting, same, random_mode, colour_mode});
  return out;
}

std::string Describe(const Switches& s) {
  return "blur " + std::to_string(s.blur) + ", random " + std::to_string(s.random) +
         ", vignetting " + std::to_string(s.vignetting) + ", same " + std::to_string(s.same) +
         ", random mode " + std::to_string(s.random_mode) + ", colour mode " +
         std::to_string(s.colour_mode);
}

// Every combination of switches and modes, through both commands.
TEST(InterfaceState, RecordsVisibilityAndExpressionFollowEverySwitchAndMode) {
  for (Command c : {Command::kUpdateParamsUI, Command::kUserChangedParam}) {
    for (const Switches& s : AllSwitches()) {
      SCOPED_TRACE(std::string(Name(c)) + ": " + Describe(s));
      Applied a;
      a.Set(PARAM_BLUR_ON, s.blur);
      a.Set(PARAM_RANDOM_ON, s.random);
      a.Set(PARAM_VIGNETTING_ON, s.vignetting);
      a.Set(PARAM_VIGNETTING_SAME, s.same);
      a.Set(PARAM_RANDOM_MODE, PopupValue{s.random_mode});
      a.Set(PARAM_COLOR_MODE, PopupValue{s.colour_mode});
      a.Mark();
      ASSERT_EQ(Send(a, c), PF_Err_NONE);
      EXPECT_THAT(a.problems(), IsEmpty());
      EXPECT_EQ(a.host.out_data().out_flags, PF_OutFlag_REFRESH_UI);

      const Records expected = Expected(s, c);
      EXPECT_THAT(SentRecords(a.host), ElementsAreArray(expected));
      // The host's interface state now shows what was sent.
      for (const std::string& r : expected) {
        const auto index = static_cast<ParamIndex>(std::stoi(r));
        EXPECT_EQ(a.param(index).disabled(), r.back() == 'D') << r;
      }

      const bool random = s.random_mode == 1;
      for (int i = 1; i < PARAM_NUM_PARAMS; ++i) {
        bool hidden = false;
        if (i == PARAM_RANDOM_AMPLITUDE || i == PARAM_RANDOM_FPS) hidden = !random;
        if (i >= PARAM_WIGGLE_FREQ && i <= PARAM_WIGGLE_AMPMULT) hidden = random;
        if (i == PARAM_RANDOM_VALUE || i == PARAM_BLUR_MODE) hidden = true;
        EXPECT_EQ(a.param(static_cast<ParamIndex>(i)).hidden, hidden) << "parameter " << i;
      }

      if (c == Command::kUserChangedParam) {
        EXPECT_THAT(Calls(a.host, "AEGP_SetExpression"), ElementsAre("AEGP_SetExpression(19)"));
        EXPECT_EQ(a.param(PARAM_RANDOM_VALUE).expression, ExpectedExpression(s));
      } else {
        EXPECT_THAT(Calls(a.host, "AEGP_SetExpression"), IsEmpty())
            << "the interface update never touches the expression";
      }
      EXPECT_EQ(a.global().ui_updated, 1);
    }
  }
}

// The whole command in order: references, visibility, snapshot, sections,
// the always hidden streams, releases, suites in table order.
TEST(InterfaceState, UserChangedParamCallsInOrder) {
  Applied a;
  a.Set(PARAM_RANDOM_ON, true);
  a.Mark();
  ASSERT_EQ(a.session.UserChangedParam(PARAM_RANDOM_ON), PF_Err_NONE);
  EXPECT_THAT(a.problems(), IsEmpty());
  EXPECT_THAT(
      a.host.faults().log(),
      ElementsAre(
          "AcquireSuite(AEGP PF Interface Suite,1)", "AEGP_GetNewEffectForEffect",
          "AcquireSuite(AEGP Stream Suite,7)", "AEGP_GetNewEffectStreamByIndex(19)",
          "AEGP_GetNewEffectStreamByIndex(12)", "AEGP_GetNewEffectStreamByIndex(13)",
          "AEGP_GetNewEffectStreamByIndex(14)", "AEGP_GetNewEffectStreamByIndex(15)",
          "AEGP_GetNewEffectStreamByIndex(16)", "AEGP_GetNewEffectStreamByIndex(17)",
          "AEGP_GetNewEffectStreamByIndex(6)", "AcquireSuite(AEGP Dynamic Stream Suite,2)",
          "AEGP_SetDynamicStreamFlag(12,shown)", "AEGP_SetDynamicStreamFlag(13,shown)",
          "AEGP_SetDynamicStreamFlag(14,hidden)", "AEGP_SetDynamicStreamFlag(15,hidden)",
          "AEGP_SetDynamicStreamFlag(16,hidden)", "AEGP_SetDynamicStreamFlag(17,hidden)",
          "AcquireSuite(PF Handle Suite,2)", "host_get_handle_size",
          "AcquireSuite(PF Param Utils Suite,2)", "PF_HasParamChanged", "host_new_handle(16)",
          "PF_GetCurrentState", "host_dispose_handle", "PF_UpdateParamUI(7,D)",
          "PF_UpdateParamUI(11,E)", "PF_UpdateParamUI(12,E)", "PF_UpdateParamUI(18,E)",
          "PF_UpdateParamUI(13,E)", "AEGP_SetExpression(19)", "PF_UpdateParamUI(22,E)",
          "PF_UpdateParamUI(23,E)", "PF_UpdateParamUI(24,E)", "PF_UpdateParamUI(25,D)",
          "PF_UpdateParamUI(31,D)", "PF_UpdateParamUI(29,D)", "PF_UpdateParamUI(30,D)",
          "PF_UpdateParamUI(34,D)", "PF_UpdateParamUI(35,D)",
          "AEGP_SetDynamicStreamFlag(19,hidden)", "AEGP_SetDynamicStreamFlag(6,hidden)",
          "AcquireSuite(AEGP Effect Suite,2)", "AEGP_DisposeEffect", "AEGP_DisposeStream(19)",
          "AEGP_DisposeStream(12)", "AEGP_DisposeStream(13)", "AEGP_DisposeStream(14)",
          "AEGP_DisposeStream(15)", "AEGP_DisposeStream(16)", "AEGP_DisposeStream(17)",
          "AEGP_DisposeStream(6)", "ReleaseSuite(AEGP Stream Suite,7)",
          "ReleaseSuite(AEGP Dynamic Stream Suite,2)", "ReleaseSuite(AEGP PF Interface Suite,1)",
          "ReleaseSuite(PF Param Utils Suite,2)", "ReleaseSuite(AEGP Effect Suite,2)",
          "ReleaseSuite(PF Handle Suite,2)"));
}

// Records keep their own type and name; the colour mode popup keeps the
// name it was copied with.
TEST(InterfaceState, SentRecordsCarryTheirOwnTypeAndName) {
  Applied a;
  std::strcpy(a.param(PARAM_COLOR_MODE).def.name_do_not_use_directly, "Renamed");
  std::strcpy(a.param(PARAM_BLUR_AMOUNT).def.name_do_not_use_directly, "Renamed");
  a.param(PARAM_BLUR_AMOUNT).def.param_type = PF_Param_SLIDER;
  ASSERT_EQ(a.session.UpdateParamsUI(), PF_Err_NONE);
  EXPECT_THAT(a.session.problems(), IsEmpty()) << "a wrong type would be refused by the host";
  EXPECT_STREQ(a.param(PARAM_COLOR_MODE).def.name_do_not_use_directly, "Renamed");
  EXPECT_STREQ(a.param(PARAM_BLUR_AMOUNT).def.name_do_not_use_directly, "Blur Amount");
}

TEST(InterfaceState, CopyParamDefsFillsOnlyTheTwentyRecordsItSends) {
  std::vector<PF_ParamDef> records(PARAM_NUM_PARAMS);
  std::vector<PF_ParamDef*> params;
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::memset(&records[i], static_cast<int>(0x40 + i), sizeof(PF_ParamDef));
    params.push_back(&records[i]);
  }
  ParamCopies copies;
  std::memset(copies.data(), 0x77, sizeof(PF_ParamDef) * copies.size());
  EXPECT_EQ(CopyParamDefs(params.data(), copies), PF_Err_NONE);
  const std::set<int> copied = {7, 11, 12, 13, 14, 15, 16, 17, 18, 22, 23, 24, 25,
                                29, 30, 31, 32, 33, 34, 35};
  const PF_ParamDef zero{};
  for (int i = 0; i < PARAM_NUM_PARAMS; ++i) {
    const auto& expected = copied.count(i) != 0 ? records[static_cast<std::size_t>(i)] : zero;
    EXPECT_EQ(std::memcmp(&copies[static_cast<std::size_t>(i)], &expected, sizeof expected), 0)
        << "entry " << i;
  }
}

// --- The snapshot -------------------------------------------------------------

PF_Handle SequenceData(Applied& a) { return a.session.instance().sequence_data; }

TEST(Snapshot, TheInitialBlockCountsAsChangedAndIsNeverHandedToTheHost) {
  minihost::Host host(Plugin());
  minihost::Session session(host);
  ASSERT_EQ(session.Start(), PF_Err_NONE);
  EXPECT_THAT(session.problems(), IsEmpty());
  EXPECT_THAT(Calls(host, "PF_HasParamChanged"), IsEmpty());
  EXPECT_THAT(Calls(host, "PF_GetCurrentState"), ElementsAre("PF_GetCurrentState"));
  PF_Handle snapshot = session.instance().sequence_data;
  ASSERT_EQ(host.handles().Size(snapshot), sizeof(PF_State));
  const PF_State now = session.params().CurrentState(session.instance());
  EXPECT_EQ(std::memcmp(*snapshot, &now, sizeof now), 0);
}

TEST(Snapshot, KeptWhileNothingChangesAndRenewedAfterAChange) {
  Applied a;
  PF_Handle first = SequenceData(a);
  a.Mark();
  ASSERT_EQ(a.session.UpdateParamsUI(), PF_Err_NONE);
  EXPECT_EQ(SequenceData(a), first);
  EXPECT_THAT(Calls(a.host, "PF_GetCurrentState"), IsEmpty());
  EXPECT_THAT(Calls(a.host, "host_new_handle"), IsEmpty());

  a.Set(PARAM_AMOUNT, minihost::SliderValue{2.5});
  ASSERT_EQ(a.session.UpdateParamsUI(), PF_Err_NONE);
  EXPECT_NE(SequenceData(a), first);
  EXPECT_FALSE(a.host.handles().IsLive(first)) << "the old snapshot is disposed";
  EXPECT_EQ(a.host.out_data().sequence_data, SequenceData(a));

  // A changed expression is a change too.
  PF_Handle second = SequenceData(a);
  a.Set(PARAM_RANDOM_ON, true);
  ASSERT_EQ(a.session.UserChangedParam(PARAM_RANDOM_ON), PF_Err_NONE);
  PF_Handle third = SequenceData(a);
  EXPECT_NE(third, second);
  ASSERT_EQ(a.session.UpdateParamsUI(), PF_Err_NONE);
  EXPECT_NE(SequenceData(a), third) << "taken before the expression was written";
  EXPECT_THAT(a.session.problems(), IsEmpty());
}

TEST(Snapshot, RenewedOnEveryCallWhileTheControlsWereNeverBroughtInLine) {
  Applied a;
  a.global().ui_updated = 0;
  PF_Handle first = SequenceData(a);
  ASSERT_EQ(a.session.UpdateParamsUI(), PF_Err_NONE);
  EXPECT_NE(SequenceData(a), first);
  EXPECT_EQ(a.global().ui_updated, 1);
  EXPECT_THAT(a.session.problems(), IsEmpty());
}

}  // namespace
}  // namespace prismora::testing
