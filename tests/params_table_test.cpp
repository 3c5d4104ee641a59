// The parameters as the host receives them at PF_Cmd_PARAMS_SETUP.
#include <cmath>
#include <cstring>
#include <set>

#include "minihost/params/params.h"
#include "minihost/suites/parameter_suites.h"
#include "params_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using minihost::Failure;
using minihost::FailureForm;
using minihost::Host;
using minihost::ParamService;

struct Declared {
  Declared() {
    EXPECT_EQ(host.GlobalSetup(), PF_Err_NONE);
    host.faults().ResetCounts();
    EXPECT_EQ(service.ParamsSetup(), PF_Err_NONE);
    EXPECT_THAT(host.problems(), IsEmpty());
  }
  const PF_ParamDef& def(ParamIndex index) const {
    return service.declared()[static_cast<std::size_t>(index)];
  }
  Host host{Plugin()};
  ParamService& service = minihost::InstallParameterSuites(host);
};

TEST(ParamsSetup, DeclaresThirtySevenParametersInOrderAndReportsThirtyEight) {
  Declared d;
  EXPECT_EQ(d.host.faults().Count("add_param"), 37);
  EXPECT_EQ(d.host.out_data().num_params, 38);
  ASSERT_EQ(d.service.declared().size(), 38u);

  const char* const kNames[] = {
      "Amount", "Power", "Center", "Blur", "Blur ON", "Blur Mode", "Blur Amount", "",
      "Random", "Random ON", "Random Mode", "Random Amplitude", "Random Fps", "Wiggle Freq",
      "Wiggle Amp", "Wiggle Octaves", "Wiggle AmpMult", "Random Seed", "random", "", "Color",
      "Mode", "Color1", "Color2", "Color3", "", "Vignetting", "Vignetting ON",
      "Vignetting Amount", "Vignetting Power", "Vignetting Brightness", "Vignetting Maximum",
      "Vignetting Minimum", "Vignetting Same", "Vignetting Center", "", "Limiter"};
  std::vector<std::string> names;
  std::set<int> supervised;
  for (int i = 1; i < 38; ++i) {
    const PF_ParamDef& def = d.def(static_cast<ParamIndex>(i));
    names.emplace_back(def.name_do_not_use_directly);
    EXPECT_EQ(def.uu.id, i) << "the id is the index";
    EXPECT_EQ(def.ui_flags, 0) << i;
    EXPECT_EQ(def.ui_width, 0) << i;
    EXPECT_EQ(def.ui_height, 0) << i;
    if ((def.flags & PF_ParamFlag_SUPERVISE) != 0) supervised.insert(i);
  }
  EXPECT_THAT(names, ElementsAreArray(kNames));
  EXPECT_EQ(supervised, (std::set<int>{5, 10, 12, 13, 14, 15, 16, 17, 18, 22, 28, 34}));
}

// Every member the table sets arrives as the table gives it, and nothing
// else is set: the record was cleared before it was filled.
TEST(ParamsSetup, EveryRowArrivesAsTabled) {
  Declared d;
  for (const ParamRow& row : kParamTable) {
    SCOPED_TRACE(row.name);
    const PF_ParamDef& def = d.def(row.index);
    PF_ParamDef expected;
    std::memset(&expected, 0, sizeof expected);
    expected.uu.id = row.index;
    expected.param_type = row.type;
    expected.flags = row.flags;
    std::strcpy(expected.name_do_not_use_directly, row.name);
    switch (row.type) {
      case PF_Param_FIX_SLIDER:
        expected.u.fd.value = expected.u.fd.dephault = ToFixed(row.dephault);
        expected.u.fd.valid_min = ToFixed(row.valid_min);
        expected.u.fd.valid_max = ToFixed(row.valid_max);
        expected.u.fd.slider_min = ToFixed(row.slider_min);
        expected.u.fd.slider_max = ToFixed(row.slider_max);
        expected.u.fd.precision = row.precision;
        break;
      case PF_Param_FLOAT_SLIDER:
        expected.u.fs_d.value = row.dephault;
        expected.u.fs_d.dephault = static_cast<float>(row.dephault);
        expected.u.fs_d.valid_min = expected.u.fs_d.slider_min = static_cast<float>(row.valid_min);
        expected.u.fs_d.valid_max = expected.u.fs_d.slider_max = static_cast<float>(row.valid_max);
        expected.u.fs_d.precision = 2;
        expected.u.fs_d.curve_tolerance = 0.05f;
        break;
      case PF_Param_POINT:
        expected.u.td.x_value = expected.u.td.x_dephault = 50 << 16;
        expected.u.td.y_value = expected.u.td.y_dephault = 50 << 16;
        expected.u.td.restrict_bounds = 1;
        break;
      case PF_Param_CHECKBOX:
        expected.u.bd.value = expected.u.bd.dephault = row.dephault != 0;
        ASSERT_NE(def.u.bd.u.nameptr, nullptr);
        EXPECT_STREQ(def.u.bd.u.nameptr, "") << "no text beside the box";
        expected.u.bd.u.nameptr = def.u.bd.u.nameptr;  // a host copy
        break;
      case PF_Param_POPUP:
        expected.u.pd.num_choices = row.num_choices;
        expected.u.pd.value = expected.u.pd.dephault = static_cast<A_short>(row.dephault);
        ASSERT_NE(def.u.pd.u.namesptr, nullptr);
        EXPECT_STREQ(def.u.pd.u.namesptr, row.choices);
        expected.u.pd.u.namesptr = def.u.pd.u.namesptr;
        break;
      case PF_Param_COLOR:
        expected.u.cd.value = expected.u.cd.dephault = row.color;
        break;
      default:
        break;
    }
    EXPECT_EQ(std::memcmp(&def, &expected, sizeof def), 0);
  }
}

// The values stored projects rely on, stated independently of the table.
TEST(ParamsSetup, ValuesThatProjectsRelyOn) {
  Declared d;
  const auto& brightness = d.def(PARAM_VIGNETTING_BRIGHTNESS).u.fd;
  EXPECT_EQ(brightness.dephault, 0x13333) << "78643/65536, not an exact 1.2";
  EXPECT_EQ(brightness.value, 0x13333);

  const auto& fps = d.def(PARAM_RANDOM_FPS).u.fd;
  EXPECT_EQ(fps.valid_min, 1 << 16);
  EXPECT_EQ(fps.valid_max, 100 << 16);
  EXPECT_EQ(fps.slider_min, 0);
  EXPECT_EQ(fps.slider_max, 1 << 16);
  EXPECT_EQ(fps.dephault, 30 << 16) << "outside its own slider range";

  const auto& blur = d.def(PARAM_BLUR_AMOUNT).u.fd;
  EXPECT_EQ(blur.valid_max, 5 << 16);
  EXPECT_EQ(blur.slider_max, 3 << 16);

  EXPECT_EQ(d.def(PARAM_RANDOM_VALUE).u.fd.valid_min, -100 * 65536);
  EXPECT_EQ(d.def(PARAM_RANDOM_SEED).u.fd.precision, 0);
  EXPECT_EQ(d.def(PARAM_WIGGLE_AMPMULT).u.fd.dephault, 1 << 15);
  EXPECT_EQ(d.def(PARAM_POWER).u.fd.valid_min, 1 << 15);

  const auto& maximum = d.def(PARAM_VIGNETTING_MAXIMUM).u.fs_d;
  EXPECT_EQ(maximum.value, 1.0);
  EXPECT_EQ(maximum.dephault, 1.0f);
  EXPECT_EQ(maximum.curve_tolerance, 0.05f);
  EXPECT_EQ(d.def(PARAM_VIGNETTING_MINIMUM).u.fs_d.value, 0.0);

  EXPECT_EQ(d.def(PARAM_COLOR_MODE).flags, 0x44);
  EXPECT_EQ(d.def(PARAM_COLOR_MODE).u.pd.dephault, 2);
  EXPECT_STREQ(d.def(PARAM_RANDOM_MODE).u.pd.u.namesptr, "Random|Wiggle");
  EXPECT_STREQ(d.def(PARAM_BLUR_MODE).u.pd.u.namesptr, "test");
  const PF_Pixel red = d.def(PARAM_COLOR1).u.cd.dephault;
  EXPECT_EQ(std::memcmp(&red, "\xFF\xFF\x00\x00", 4), 0) << "alpha, red, green, blue";
  EXPECT_EQ(d.def(PARAM_VIGNETTING_SAME).u.bd.value, 1);
  EXPECT_EQ(d.def(PARAM_LIMITER).u.bd.value, 1);
  for (ParamIndex group : {PARAM_BLUR_GROUP_START, PARAM_RANDOM_GROUP_START,
                           PARAM_COLOR_GROUP_START, PARAM_VIGNETTING_GROUP_START}) {
    EXPECT_EQ(d.def(group).flags, PF_ParamFlag_START_COLLAPSED) << group;
  }
}

TEST(ParamsSetup, ARefusedParameterEndsTheCommandWithTheHostsCode) {
  Host host(Plugin());
  ParamService& service = minihost::InstallParameterSuites(host);
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  host.faults().FailNth("add_param", 10, Failure{FailureForm::kError, 7});
  PF_InData in = host.MakeInData(nullptr);
  PF_OutData out = host.MakeOutData(nullptr);
  out.num_params = 99;
  EXPECT_EQ(host.SendRaw(PF_Cmd_PARAMS_SETUP, nullptr, in, out, nullptr, nullptr, nullptr), 7);
  EXPECT_EQ(host.faults().Count("add_param"), 10);
  EXPECT_EQ(out.num_params, 99) << "not written";
  EXPECT_EQ(service.declared().size(), 9u) << "the nine before the refused one";
  EXPECT_THAT(host.problems(), IsEmpty());
}

// Points are declared in percent; the host hands out the layer's centre.
TEST(ParamsSetup, PointsStartAtTheLayersCentre) {
  Applied a;
  for (ParamIndex point : {PARAM_CENTER, PARAM_VIGNETTING_CENTER}) {
    const PF_PointDef& td = a.param(point).def.u.td;
    EXPECT_EQ(td.x_value, 32 << 16) << point;
    EXPECT_EQ(td.y_value, 24 << 16) << point;
    EXPECT_EQ(td.x_dephault, 50 << 16) << point;
    EXPECT_EQ(td.restrict_bounds, 1) << point;
  }
}

}  // namespace
}  // namespace prismora::testing
