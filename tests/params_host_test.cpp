// The emulated host's side of the parameters: values as a user sets them,
// the state records, and what it catches when a plug-in misuses the AEGP
// layer or the param utils.
#include <cstring>

#include "minihost/params/param_text.h"
#include "params_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using minihost::ParamValue;
using minihost::ParamValueError;
using minihost::PointValue;
using minihost::PopupValue;
using minihost::SliderValue;

std::string RefusalOf(Applied& a, std::string_view name, std::string_view text) {
  try {
    const PF_ParamIndex index = a.session.params().IndexOf(name);
    const PF_ParamDef& def = a.session.params().declared()[static_cast<std::size_t>(index)];
    a.session.params().Set(a.session.instance(), index,
                           minihost::ParseParamValue(def, index, text));
  } catch (const ParamValueError& e) {
    return e.what();
  }
  return "";
}

TEST(HostParams, ValuesByNameAndText) {
  Applied a;  // a 64 x 48 layer
  struct Case {
    const char* name;
    const char* text;
    ParamIndex index;
    std::string shown;  // the value as the host then shows it
  };
  const Case kCases[] = {
      {"Amount", "2.5", PARAM_AMOUNT, "2.5"},
      {"amount", "+3", PARAM_AMOUNT, "3"},  // case is ignored when nothing matches exactly
      {"Blur Amount", "4", PARAM_BLUR_AMOUNT, "4"},  // beyond the slider, within the range
      {"Random Fps", "100", PARAM_RANDOM_FPS, "100"},
      {"Vignetting Maximum", "2.25", PARAM_VIGNETTING_MAXIMUM, "2.25"},
      {"Blur ON", "on", PARAM_BLUR_ON, "on"},
      {"Limiter", "OFF", PARAM_LIMITER, "off"},
      {"Random Mode", "Wiggle", PARAM_RANDOM_MODE, "Wiggle"},
      {"Mode", "2 colors", PARAM_COLOR_MODE, "2 Colors"},
      {"Mode", "3", PARAM_COLOR_MODE, "3 Colors"},
      {"Color1", "#10A0ff", PARAM_COLOR1, "#10A0FF"},
      {"Color2", "1, 2, 3", PARAM_COLOR2, "#010203"},
      {"Center", "10,20", PARAM_CENTER, "10,20"},
      {"Vignetting Center", "25%,75%", PARAM_VIGNETTING_CENTER, "16,36"},
      {"random", "-2", PARAM_RANDOM_VALUE, "-2"},  // not the group "Random"
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(RefusalOf(a, c.name, c.text), "") << c.name << "=" << c.text;
    EXPECT_EQ(minihost::FormatValue(a.param(c.index).def), c.shown) << c.name << "=" << c.text;
  }
  EXPECT_EQ(a.param(PARAM_VIGNETTING_CENTER).def.u.td.x_value, 16 << 16);
  EXPECT_EQ(a.param(PARAM_RANDOM_MODE).def.u.pd.value, 2);
}

TEST(HostParams, RefusalsNameTheProblem) {
  Applied a;
  struct Case {
    const char* name;
    const char* text;
    const char* message;
  };
  const Case kCases[] = {
      {"Amount", "12", "\"Amount\": 12 is outside the valid range 0 to 10"},
      {"Random Fps", "0.5", "outside the valid range 1 to 100"},
      {"Power", "0.25", "outside the valid range 0.5 to 10"},
      {"Vignetting Minimum", "1.5", "outside the valid range 0 to 1"},
      {"Amount", "nan", "not a finite number"},
      {"Amount", "two", "\"Amount\" takes a number, not \"two\""},
      {"Blur ON", "maybe", "takes on or off"},
      {"Random Mode", "Wigle", "its choices are \"Random\" (1), \"Wiggle\" (2)"},
      {"Random Mode", "3", "choice 3 is outside the valid range 1 to 2"},
      {"Color1", "#12345", "six hexadecimal digits"},
      {"Color1", "1,2,256", "is not a whole number from 0 to 255"},
      {"Center", "65,1", "x 65 is outside the valid range 0 to 64"},
      {"Center", "1,101%", "y 48.48 is outside the valid range 0 to 48"},
      {"Center", "1", "takes a point as X,Y"},
      {"Blur", "on", "\"Blur\" is a group start and holds no value"},
      {"Ramdom Seed", "1", "no parameter named \"Ramdom Seed\"; did you mean \"Random Seed\"?"},
  };
  for (const Case& c : kCases) {
    EXPECT_THAT(RefusalOf(a, c.name, c.text), HasSubstr(c.message)) << c.name << "=" << c.text;
  }
  EXPECT_THAT([&] { a.Set(PARAM_AMOUNT, true); },
              ::testing::ThrowsMessage<ParamValueError>(
                  HasSubstr("\"Amount\" is a fixed slider and takes a number")));
  EXPECT_THAT(minihost::FormatValue(a.param(PARAM_AMOUNT).def), "1") << "nothing was set";
}

TEST(HostParams, AssignmentsSplitAtTheFirstEqualsSign) {
  EXPECT_EQ(minihost::SplitAssignment(" Random ON = on "),
            (std::pair<std::string, std::string>{"Random ON", "on"}));
  EXPECT_THROW(minihost::SplitAssignment("Amount"), ParamValueError);
  EXPECT_THROW(minihost::SplitAssignment("=3"), ParamValueError);
}

// Equal values give equal states; any change of a value or an expression
// gives another, and the state tells which parameter changed.
TEST(HostParams, StateRecordsFollowValuesAndExpressions) {
  Applied a;
  minihost::ParamService& params = a.session.params();
  minihost::Instance& instance = a.session.instance();
  const PF_State start = params.CurrentState(instance);
  EXPECT_EQ(std::memcmp(&start, &Contents<PF_State>(instance.sequence_data), sizeof start), 0);
  auto same = [](const PF_State& x, const PF_State& y) {
    return std::memcmp(&x, &y, sizeof x) == 0;
  };

  a.Set(PARAM_COLOR2, PF_Pixel{255, 1, 2, 3});
  const PF_State changed = params.CurrentState(instance);
  EXPECT_FALSE(same(changed, start));
  EXPECT_EQ(params.ChangedSince(instance, start, PF_ParamIndex_CHECK_ALL_EXCEPT_LAYER_PARAMS),
            true);
  EXPECT_EQ(params.ChangedSince(instance, start, PARAM_COLOR2), true);
  EXPECT_EQ(params.ChangedSince(instance, start, PARAM_COLOR1), false);

  a.Set(PARAM_COLOR2, PF_Pixel{255, 0, 0, 255});
  EXPECT_TRUE(same(params.CurrentState(instance), start)) << "back to the start";

  params.SetExpression(instance, PARAM_RANDOM_VALUE, "1");
  EXPECT_FALSE(same(params.CurrentState(instance), start));
  EXPECT_EQ(params.ChangedSince(instance, start, PARAM_RANDOM_VALUE), true);

  PF_State forged = start;
  forged.reservedAL[2] ^= 1;
  EXPECT_EQ(params.ChangedSince(instance, forged, PARAM_AMOUNT), std::nullopt);
}

// --- Misuse the host catches ---------------------------------------------------------

template <class Suite>
const Suite* SuiteOf(minihost::Host& host, const char* name, A_long version) {
  return static_cast<const Suite*>(host.suites().Find(name, version));
}

TEST(HostChecks, ParamUtilsRefuseWrongTypesAndShortStates) {
  Applied a;
  const auto* utils = SuiteOf<PF_ParamUtilsSuite1>(a.host, kPFParamUtilsSuite, 2);
  PF_ProgPtr ref = a.session.instance().effect_ref();
  PF_Err wrong_type = PF_Err_NONE, short_state = PF_Err_NONE, forged = PF_Err_NONE;
  a.host.CallPlugin("a test", &a.session.instance(), [&] {
    PF_ParamDef def = a.param(PARAM_BLUR_AMOUNT).def;
    def.param_type = PF_Param_FLOAT_SLIDER;
    def.ui_flags = 0;  // would enable it
    wrong_type = utils->PF_UpdateParamUI(ref, PARAM_BLUR_AMOUNT, &def);
    PF_Handle one_byte = a.host.handles().New(1);
    PF_Boolean changed = false;
    short_state = utils->PF_HasParamChangedObsolete(ref, static_cast<const PF_State*>(*one_byte),
                                            PF_ParamIndex_CHECK_ALL, &changed);
    a.host.handles().Dispose(one_byte);
    const PF_State zero{};
    forged = utils->PF_HasParamChangedObsolete(ref, &zero, PF_ParamIndex_CHECK_ALL, &changed);
  });
  EXPECT_EQ(wrong_type, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(short_state, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(forged, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_THAT(a.host.problems(),
              ElementsAre(HasSubstr("with type 10, declared as 2"),
                          HasSubstr("(1 bytes), shorter than a 16-byte PF_State"),
                          HasSubstr("PF_GetCurrentState did not give")));
  EXPECT_TRUE(a.param(PARAM_BLUR_AMOUNT).disabled()) << "a refused record changes nothing";
}

TEST(HostChecks, PluginIdsAndReferencesAreAccountedFor) {
  Applied a;
  const auto* pf = SuiteOf<AEGP_PFInterfaceSuite1>(a.host, kAEGPPFInterfaceSuite, 1);
  const auto* streams = SuiteOf<AEGP_StreamSuite2>(a.host, kAEGPStreamSuite, 7);
  const auto* effects = SuiteOf<AEGP_EffectSuite2>(a.host, kAEGPEffectSuite, 2);
  PF_ProgPtr ref = a.session.instance().effect_ref();
  const AEGP_PluginID id = a.host.plugin_id();

  AEGP_EffectRefH effect = nullptr;
  AEGP_StreamRefH stream = nullptr;
  a.host.CallPlugin("taking", &a.session.instance(), [&] {
    EXPECT_EQ(pf->AEGP_GetNewEffectForEffect(id + 1, ref, &effect), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(pf->AEGP_GetNewEffectForEffect(id, ref, &effect), PF_Err_NONE);
    EXPECT_EQ(streams->AEGP_GetNewEffectStreamByIndex(id, effect, 19, &stream), PF_Err_NONE);
    EXPECT_EQ(streams->AEGP_SetExpression(id + 1, stream, "1"), PF_Err_BAD_CALLBACK_PARAM);
  });
  EXPECT_THAT(a.host.problems(),
              ElementsAre(HasSubstr("AEGP_GetNewEffectForEffect with plug-in id"),
                          HasSubstr("AEGP_SetExpression with plug-in id"),
                          "1 effect reference(s) not disposed",
                          "stream reference(s) not disposed, of parameter(s) 19"));
  EXPECT_EQ(a.param(PARAM_RANDOM_VALUE).expression, "");

  a.host.CallPlugin("giving back", &a.session.instance(), [&] {
    EXPECT_EQ(effects->AEGP_DisposeEffect(effect), PF_Err_NONE);
    EXPECT_EQ(streams->AEGP_DisposeStream(stream), PF_Err_NONE);
    EXPECT_EQ(streams->AEGP_DisposeStream(stream), PF_Err_BAD_CALLBACK_PARAM);
  });
  EXPECT_THAT(a.host.problems(), ElementsAre(HasSubstr("AEGP_DisposeStream with a disposed")));
  EXPECT_EQ(a.outstanding_references(), 0);
}

}  // namespace
}  // namespace prismora::testing
