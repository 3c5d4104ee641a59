// The plug-in driven by a host written from the published binary interface
// alone (raw_host.h), so that a record misdeclared on our side or on the
// plug-in's shows up: its frames at every depth must match the emulated
// host's to the byte, and the interface it leaves after a user's changes
// must be the one the emulated host records.
#include "abi/raw_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "entry/effect_info.h"
#include "params/param_table.h"
#include "params_support.h"
#include "render_support.h"

namespace prismora::testing {
namespace {

using ::testing::IsEmpty;
using ::testing::StartsWith;
namespace raw = rawhost;

constexpr A_long kWidth = 9;
constexpr A_long kHeight = 7;
constexpr A_long kRowPadding = 12;

std::string Text(const unsigned char* base, std::size_t offset, std::size_t size) {
  const char* begin = reinterpret_cast<const char*>(base) + offset;
  return std::string(begin, strnlen(begin, size));
}

// A world's pixels as stored, in packed rows.
std::vector<unsigned char> Packed(const World& world) {
  std::vector<unsigned char> bytes;
  const std::size_t used = static_cast<std::size_t>(world.width()) * world.pixel_bytes();
  for (A_long y = 0; y < world.height(); ++y) {
    bytes.insert(bytes.end(), world.row(y), world.row(y) + used);
  }
  return bytes;
}

std::string Channels(const std::array<unsigned char, 4>& p) {
  std::ostringstream text;
  text << int{p[0]} << "," << int{p[1]} << "," << int{p[2]} << "," << int{p[3]};
  return text.str();
}

// One declared definition against its row of the table, at the published
// offsets of PF_ParamDef and of the union member its type selects.
void ExpectDeclaredAsTable(const std::vector<unsigned char>& def, const ParamRow& row) {
  SCOPED_TRACE(std::string("parameter ") + std::to_string(row.index) + " \"" + row.name + "\"");
  ASSERT_EQ(def.size(), raw::kParamDefSize);
  const unsigned char* d = def.data();
  const unsigned char* u = d + raw::kParamDef_u;
  EXPECT_EQ(raw::Get<int32_t>(d, raw::kParamDef_param_type), row.type);
  EXPECT_EQ(raw::Get<int32_t>(d, raw::kParamDef_id), row.index);
  EXPECT_EQ(raw::Get<int32_t>(d, raw::kParamDef_flags), row.flags);
  EXPECT_EQ(Text(d, raw::kParamDef_name, raw::kParamDef_name_size), row.name);
  switch (row.type) {
    case raw::kParam_FIX_SLIDER:
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kFixed_value), ToFixed(row.dephault));
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kFixed_dephault), ToFixed(row.dephault));
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kFixed_valid_min), ToFixed(row.valid_min));
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kFixed_valid_max), ToFixed(row.valid_max));
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kFixed_slider_min), ToFixed(row.slider_min));
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kFixed_slider_max), ToFixed(row.slider_max));
      EXPECT_EQ(raw::Get<int16_t>(u, raw::kFixed_precision), row.precision);
      EXPECT_EQ(raw::Get<int16_t>(u, raw::kFixed_display_flags), 0);
      break;
    case raw::kParam_FLOAT_SLIDER:
      EXPECT_EQ(raw::Get<double>(u, raw::kFloat_value), row.dephault);
      EXPECT_EQ(raw::Get<float>(u, raw::kFloat_dephault), static_cast<float>(row.dephault));
      EXPECT_EQ(raw::Get<float>(u, raw::kFloat_valid_min), static_cast<float>(row.valid_min));
      EXPECT_EQ(raw::Get<float>(u, raw::kFloat_valid_max), static_cast<float>(row.valid_max));
      EXPECT_EQ(raw::Get<float>(u, raw::kFloat_slider_min), static_cast<float>(row.slider_min));
      EXPECT_EQ(raw::Get<float>(u, raw::kFloat_slider_max), static_cast<float>(row.slider_max));
      EXPECT_EQ(raw::Get<int16_t>(u, raw::kFloat_precision), row.precision);
      EXPECT_EQ(raw::Get<float>(u, raw::kFloat_curve_tolerance), row.curve_tolerance);
      break;
    case raw::kParam_POINT:
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kPoint_x_dephault), ToFixed(row.point_x));
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kPoint_y_dephault), ToFixed(row.point_y));
      EXPECT_EQ(u[raw::kPoint_restrict_bounds], 1);
      break;
    case raw::kParam_CHECKBOX:
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kCheckBox_value), row.dephault != 0 ? 1 : 0);
      EXPECT_EQ(u[raw::kCheckBox_dephault], row.dephault != 0 ? 1 : 0);
      break;
    case raw::kParam_POPUP: {
      EXPECT_EQ(raw::Get<int32_t>(u, raw::kPopup_value), static_cast<int32_t>(row.dephault));
      EXPECT_EQ(raw::Get<int16_t>(u, raw::kPopup_dephault), static_cast<int16_t>(row.dephault));
      const auto choices = raw::Get<int16_t>(u, raw::kPopup_num_choices);
      EXPECT_EQ(choices, row.num_choices);
      // The text is read only where the count says the pointer stands where published.
      const auto* names = raw::Get<const char*>(u, raw::kPopup_namesptr);
      if (choices == row.num_choices && names != nullptr) {
        EXPECT_STREQ(names, row.choices);
      }
      break;
    }
    case raw::kParam_COLOR: {
      const std::array<unsigned char, 4> color{row.color.alpha, row.color.red, row.color.green,
                                               row.color.blue};
      for (std::size_t at : {raw::kColor_value, raw::kColor_dephault}) {
        EXPECT_EQ((std::array<unsigned char, 4>{u[at], u[at + 1], u[at + 2], u[at + 3]}), color);
      }
      break;
    }
    default:  // groups: name, flags and id only
      break;
  }
}

TEST(RawHost, AboutTextIsTheEmulatedHostsText) {
  raw::RawHost host(PRISMORA_PLUGIN_PATH);
  ASSERT_TRUE(host.loaded()) << host.load_error();
  host.SetLayer(kWidth, kHeight, {}, 0);
  EXPECT_EQ(host.About(), raw::kErr_NONE);
  const std::string text =
      Text(host.out_data(), raw::kOutData_return_msg, raw::kOutData_return_msg_size);
  EXPECT_THAT(text, StartsWith(std::string(kAboutName) + ", v1.00"));

  minihost::Host emulated(Plugin());
  std::string expected;
  ASSERT_EQ(emulated.About(&expected), PF_Err_NONE);
  EXPECT_EQ(text, expected);
  EXPECT_THAT(host.problems(), IsEmpty());
  EXPECT_THAT(host.SuitesHeld(), IsEmpty());
}

// Global, parameter and sequence set-up, one 8-bit frame at the declared
// defaults, the pre-render data's deletion and sequence set-down: every value
// the plug-in hands back read at its published offset, nothing left held.
TEST(RawHost, LifecycleAndFrameAtPublishedLayouts) {
  World layer(kWidth, kHeight, PF_PixelFormat_ARGB32, kRowPadding);
  FillRandom(layer, 20240611);
  raw::RawHost host(PRISMORA_PLUGIN_PATH);
  ASSERT_TRUE(host.loaded()) << host.load_error();
  host.SetLayer(kWidth, kHeight, Packed(layer), kRowPadding);
  const unsigned char* out = host.out_data();

  {
    SCOPED_TRACE("global set-up");
    EXPECT_EQ(host.GlobalSetup(), raw::kErr_NONE);
    const minihost::PiplInfo& pipl = Plugin()->pipl();
    EXPECT_EQ(raw::Get<uint32_t>(out, raw::kOutData_my_version), pipl.version);
    EXPECT_EQ(raw::Get<uint32_t>(out, raw::kOutData_out_flags), pipl.out_flags);
    EXPECT_EQ(raw::Get<uint32_t>(out, raw::kOutData_out_flags2), pipl.out_flags2);
    EXPECT_NE(host.global_data(), nullptr) << "no live handle handed back as global data";
    EXPECT_EQ(host.registered_name(), kEffectName);
  }
  {
    SCOPED_TRACE("parameter set-up");
    EXPECT_EQ(host.ParamsSetup(), raw::kErr_NONE);
    EXPECT_EQ(host.add_param_calls(), PARAM_NUM_PARAMS - 1);
    EXPECT_EQ(raw::Get<int32_t>(out, raw::kOutData_num_params), PARAM_NUM_PARAMS);
    EXPECT_EQ(host.params().size(), kParamTable.size() + 1);
    if (host.params().size() == kParamTable.size() + 1) {
      for (const ParamRow& row : kParamTable) {
        ExpectDeclaredAsTable(host.params()[static_cast<std::size_t>(row.index)], row);
      }
    }
  }
  {
    SCOPED_TRACE("sequence set-up");
    EXPECT_EQ(host.SequenceSetup(), raw::kErr_NONE);
    EXPECT_NE(host.sequence_data(), nullptr) << "no live handle handed back as sequence data";
  }

  const raw::Rect whole{0, 0, kWidth, kHeight};
  {
    SCOPED_TRACE("pre-render");
    const int32_t err = host.SmartPreRender();
    EXPECT_EQ(err, raw::kErr_NONE);
    const unsigned char* pre = host.pre_render_output();
    EXPECT_EQ(raw::GetRect(pre, raw::kPreOutput_result_rect), whole);
    EXPECT_EQ(raw::GetRect(pre, raw::kPreOutput_max_result_rect), whole);
    EXPECT_EQ(host.layer_checkouts(), 1);
    EXPECT_EQ(raw::GetRect(host.layer_request().data(), raw::kRequest_rect), whole);
    EXPECT_EQ(raw::Get<int32_t>(host.layer_request().data(), raw::kRequest_channel_mask),
              raw::kChannelMask_ARGB);
    EXPECT_TRUE(host.IsLiveHandle(host.pre_render_data()))
        << "pre-render data is not a live handle";
    EXPECT_EQ(host.ParamsCheckedOut(), 0);
    if (err == raw::kErr_NONE) {
      SCOPED_TRACE("smart render");
      EXPECT_EQ(host.SmartRender(), raw::kErr_NONE);
      EXPECT_GT(host.samples(), 0);
      std::vector<std::pair<int32_t, int32_t>> reported, rows;
      for (const raw::ProgressReport& p : host.progress())
        reported.emplace_back(p.current, p.total);
      for (A_long y = 0; y < kHeight; ++y) rows.emplace_back(y, kHeight);
      EXPECT_EQ(reported, rows) << "progress after every row, as (row, rows)";
      EXPECT_TRUE(host.OutputPaddingIntact());
      EXPECT_TRUE(host.InputUnchanged());
    }
  }
  {
    SCOPED_TRACE("deletion of the pre-render data");
    const void* data = host.pre_render_data();
    host.DeletePreRenderData();
    EXPECT_FALSE(host.IsLiveHandle(data)) << "the deletion function left its handle alive";
  }
  {
    SCOPED_TRACE("sequence set-down");
    const void* sequence = host.sequence_data();
    EXPECT_EQ(host.SequenceSetdown(), raw::kErr_NONE);
    EXPECT_FALSE(host.IsLiveHandle(sequence)) << "sequence data outlives its instance";
  }

  // The plug-in never disposes its global data; everything else is given back.
  EXPECT_THAT(host.LiveHandlesExcept(host.global_data()), IsEmpty());
  EXPECT_EQ(host.LocksHeld(), 0);
  EXPECT_THAT(host.SuitesHeld(), IsEmpty());
  EXPECT_EQ(host.ParamsCheckedOut(), 0);
  EXPECT_THAT(host.problems(), IsEmpty());

  // The same frame through the emulated host, byte for byte.
  Effect effect(kWidth, kHeight);
  World expected(kWidth, kHeight, PF_PixelFormat_ARGB32, kRowPadding);
  ASSERT_EQ(effect.Render(layer, expected), PF_Err_NONE);
  int differing = 0, unchanged = 0;
  std::string first;
  for (A_long y = 0; y < kHeight; ++y) {
    for (A_long x = 0; x < kWidth; ++x) {
      const PF_Pixel e = expected.Get<PF_Pixel>(x, y);
      const std::array<unsigned char, 4> want{e.alpha, e.red, e.green, e.blue};
      const std::array<unsigned char, 4> got = host.OutputPixel(x, y);
      if (e == layer.Get<PF_Pixel>(x, y)) ++unchanged;
      if (got == want) continue;
      if (differing++ == 0) {
        std::ostringstream where;
        where << "(" << x << "," << y << "): raw host " << Channels(got) << ", emulated host "
              << Channels(want);
        first = where.str();
      }
    }
  }
  EXPECT_EQ(differing, 0) << "pixels differ from the emulated host's frame, the first at " << first;
  EXPECT_LT(unchanged, kWidth * kHeight) << "the default frame should not be the input";
}

// --- Interface ------------------------------------------------------------------

constexpr A_long kSessionWidth = 64;  // Applied's layer
constexpr A_long kSessionHeight = 48;

constexpr const char* kRandomText = "posterizeTime(30.00000);seedRandom(0);random(-1,1) * 1.00000";
constexpr const char* kWiggleText = "seedRandom(7);wiggle(1.00000,1.00000,1.00000,0.50000,time)";

// One change a user makes, given to both hosts.
struct UserChange {
  const char* what;
  ParamIndex index;
  int32_t raw;  // the first 32 bits of the union: checkbox, popup choice, 16.16
  minihost::ParamValue value;
  const char* expression;  // on "random" afterwards
};

// Random Mode is not supervised: switching it changes what is shown, but the
// text stays the other mode's until the next supervised change.
const UserChange kUserChanges[] = {
    {"Random ON switched on", PARAM_RANDOM_ON, 1, true, kRandomText},
    {"Random Mode set to Wiggle", PARAM_RANDOM_MODE, kRandomModeWiggle,
     minihost::PopupValue{kRandomModeWiggle}, kRandomText},
    {"Random Seed set to 7", PARAM_RANDOM_SEED, 7 << 16, minihost::SliderValue{7}, kWiggleText},
    {"Vignetting ON switched on", PARAM_VIGNETTING_ON, 1, true, kWiggleText},
};

// The raw host's calls of the last command(s) in the form of the emulated
// host's log, so that the two sequences compare entry by entry.
std::vector<std::string> RawParamUICalls(const raw::RawHost& host) {
  std::vector<std::string> out;
  for (const raw::ParamUICall& c : host.param_ui_calls()) {
    out.push_back(std::to_string(c.index) + ((c.ui_flags & raw::kPUI_DISABLED) != 0 ? "D" : "E"));
  }
  return out;
}
std::vector<std::string> RawStreamFlagCalls(const raw::RawHost& host) {
  std::vector<std::string> out;
  for (const raw::StreamFlagCall& c : host.stream_flag_calls()) {
    const char* state = c.flag != raw::kDynStreamFlag_HIDDEN ? ",?" : c.set ? ",hidden" : ",shown";
    out.push_back("AEGP_SetDynamicStreamFlag(" + std::to_string(c.index) + state + ")");
  }
  return out;
}
std::vector<std::string> RawExpressionCalls(const raw::RawHost& host) {
  std::vector<std::string> out;
  for (const raw::ExpressionCall& c : host.expression_calls()) {
    out.push_back("AEGP_SetExpression(" + std::to_string(c.index) + ")");
  }
  return out;
}

// Both hosts after the same commands: the same calls in the same order, and
// per parameter the same text, hidden flag, greying and name.
void ExpectSameInterface(raw::RawHost& host, Applied& a) {
  EXPECT_THAT(RawParamUICalls(host), ::testing::ElementsAreArray(SentRecords(a.host)));
  EXPECT_THAT(RawStreamFlagCalls(host),
              ::testing::ElementsAreArray(Calls(a.host, "AEGP_SetDynamicStreamFlag")));
  EXPECT_THAT(RawExpressionCalls(host),
              ::testing::ElementsAreArray(Calls(a.host, "AEGP_SetExpression")));
  for (int i = 1; i < PARAM_NUM_PARAMS; ++i) {
    SCOPED_TRACE("parameter " + std::to_string(i));
    const minihost::HostParam& want = a.param(static_cast<ParamIndex>(i));
    const unsigned char* def = host.Value(i);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(host.Expression(i), want.expression);
    EXPECT_EQ((host.StreamFlags(i) & raw::kDynStreamFlag_HIDDEN) != 0, want.hidden);
    EXPECT_EQ((raw::Get<int32_t>(def, raw::kParamDef_ui_flags) & raw::kPUI_DISABLED) != 0,
              want.disabled());
    EXPECT_EQ(Text(def, raw::kParamDef_name, raw::kParamDef_name_size),
              Text(reinterpret_cast<const unsigned char*>(want.def.name_do_not_use_directly), 0,
                   raw::kParamDef_name_size));
  }
}

// Interface update after set-up, then each change the way a host follows
// it up: the expression on "random", the hidden flags and the greyed
// controls equal the emulated host's after every step; every reference
// handed out is given back, and every snapshot handle of the sequence data.
TEST(RawHost, InterfaceAfterUserChangesIsTheEmulatedHosts) {
  raw::RawHost host(PRISMORA_PLUGIN_PATH);
  ASSERT_TRUE(host.loaded()) << host.load_error();
  host.SetLayer(kSessionWidth, kSessionHeight, {}, 0);
  ASSERT_EQ(host.GlobalSetup(), raw::kErr_NONE);
  ASSERT_EQ(host.ParamsSetup(), raw::kErr_NONE);
  ASSERT_EQ(host.SequenceSetup(), raw::kErr_NONE);
  Applied a;  // the same commands, the first interface update included

  auto after = [&](int32_t err) {
    EXPECT_EQ(err, raw::kErr_NONE);
    EXPECT_NE(
        raw::Get<int32_t>(host.out_data(), raw::kOutData_out_flags) & raw::kOutFlag_REFRESH_UI, 0);
    ExpectSameInterface(host, a);
    EXPECT_THAT(host.LiveReferences(), IsEmpty());
    EXPECT_THAT(host.SuitesHeld(), IsEmpty());
    EXPECT_EQ(host.LocksHeld(), 0);
    EXPECT_THAT(host.problems(), IsEmpty());
    EXPECT_THAT(a.problems(), IsEmpty());
    host.ClearCalls();
    a.Mark();
  };
  {
    SCOPED_TRACE("interface update after set-up");
    after(host.UpdateParamsUI());
    EXPECT_GT(host.references_given(), 0);
  }
  for (const UserChange& change : kUserChanges) {
    SCOPED_TRACE(change.what);
    const int32_t err = host.ChangeParam(change.index, change.raw);
    ASSERT_EQ(a.session.ChangeParam(change.index, change.value), PF_Err_NONE);
    after(err);
    EXPECT_EQ(host.Expression(PARAM_RANDOM_VALUE), change.expression);
  }

  const void* sequence = host.sequence_data();
  EXPECT_EQ(host.SequenceSetdown(), raw::kErr_NONE);
  EXPECT_FALSE(host.IsLiveHandle(sequence));
  EXPECT_THAT(host.LiveHandlesExcept(host.global_data()), IsEmpty());
  EXPECT_THAT(host.problems(), IsEmpty());
}

// --- Frames at every depth ------------------------------------------------------

struct FrameCase {
  const char* name;
  int32_t format;
  bool blur;
};

// Wide fringes, and with blur runs of several pixels.
constexpr double kFrameAmount = 10;
constexpr double kFrameBlurAmount = 5;

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class RawHostFrame : public ::testing::TestWithParam<FrameCase> {};

std::string Hex(const unsigned char* bytes, std::size_t size) {
  std::string out;
  char digits[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
    out += digits;
  }
  return out;
}

// The same frame through both hosts, the raw host's samplers, worlds and copy
// serving the depth: the output equal to the byte, nothing left behind.
TEST_P(RawHostFrame, IsTheEmulatedHostsFrame) {
  const FrameCase& c = GetParam();
  World layer(kWidth, kHeight, PF_PixelFormat_ARGB32);
  FillRandom(layer, 20240611);
  const std::unique_ptr<World> input = AtDepth(layer, c.format);
  const std::size_t pixel = raw::PixelBytes(c.format);
  ASSERT_EQ(input->pixel_bytes(), pixel);

  raw::RawHost host(PRISMORA_PLUGIN_PATH);
  ASSERT_TRUE(host.loaded()) << host.load_error();
  host.SetLayer(kWidth, kHeight, Packed(*input), kRowPadding, c.format);
  ASSERT_EQ(host.GlobalSetup(), raw::kErr_NONE);
  ASSERT_EQ(host.ParamsSetup(), raw::kErr_NONE);
  ASSERT_EQ(host.SequenceSetup(), raw::kErr_NONE);
  const std::size_t u = raw::kParamDef_u;
  raw::Put(host.Value(PARAM_AMOUNT), u + raw::kFixed_value, ToFixed(kFrameAmount));
  raw::Put(host.Value(PARAM_BLUR_ON), u + raw::kCheckBox_value, int32_t{c.blur ? 1 : 0});
  raw::Put(host.Value(PARAM_BLUR_AMOUNT), u + raw::kFixed_value, ToFixed(kFrameBlurAmount));

  ASSERT_EQ(host.SmartPreRender(), raw::kErr_NONE);
  EXPECT_EQ(host.SmartRender(), raw::kErr_NONE);
  host.DeletePreRenderData();
  EXPECT_EQ(host.SequenceSetdown(), raw::kErr_NONE);
  EXPECT_GT(host.samples(), 0);
  // Blur reads a copy of the main pass's result in a world of the plug-in's.
  EXPECT_EQ(host.worlds_created(), c.blur ? 1 : 0);
  EXPECT_EQ(host.world_copies(), c.blur ? 1 : 0);
  EXPECT_THAT(host.LiveWorlds(), IsEmpty());
  EXPECT_TRUE(host.OutputPaddingIntact());
  EXPECT_TRUE(host.InputUnchanged());
  EXPECT_THAT(host.LiveHandlesExcept(host.global_data()), IsEmpty());
  EXPECT_EQ(host.LocksHeld(), 0);
  EXPECT_THAT(host.SuitesHeld(), IsEmpty());
  EXPECT_EQ(host.ParamsCheckedOut(), 0);
  EXPECT_THAT(host.problems(), IsEmpty());

  auto emulated = [&](bool blur) {
    Effect effect(kWidth, kHeight);
    effect.Slider(PARAM_AMOUNT, kFrameAmount);
    effect.Check(PARAM_BLUR_ON, blur);
    effect.Slider(PARAM_BLUR_AMOUNT, kFrameBlurAmount);
    World out(kWidth, kHeight, c.format, kRowPadding);
    EXPECT_EQ(effect.Render(*input, out), PF_Err_NONE);
    return Packed(out);
  };
  const std::vector<unsigned char> expected = emulated(c.blur);
  const std::vector<unsigned char> got = host.OutputPixels();
  ASSERT_EQ(got.size(), expected.size());
  int differing = 0;
  std::string first;
  for (std::size_t at = 0; at < got.size(); at += pixel) {
    if (std::memcmp(got.data() + at, expected.data() + at, pixel) == 0) continue;
    if (differing++ == 0) {
      const std::size_t i = at / pixel;
      std::ostringstream where;
      where << "(" << i % kWidth << "," << i / kWidth << "): raw host "
            << Hex(got.data() + at, pixel) << ", emulated host "
            << Hex(expected.data() + at, pixel);
      first = where.str();
    }
  }
  EXPECT_EQ(differing, 0) << "pixels differ from the emulated host's frame, the first at " << first;
  EXPECT_NE(got, Packed(*input)) << "the frame should not be the input";
  if (c.blur) {
    EXPECT_NE(expected, emulated(false)) << "the blur should change the frame";
  }
}

INSTANTIATE_TEST_SUITE_P(RawHost, RawHostFrame,
                         ::testing::Values(FrameCase{"ae16", raw::kPixelFormat_ARGB64, false},
                                           FrameCase{"ae32", raw::kPixelFormat_ARGB128, false},
                                           FrameCase{"argb_blur", raw::kPixelFormat_ARGB32, true},
                                           FrameCase{"ae16_blur", raw::kPixelFormat_ARGB64, true},
                                           FrameCase{"ae32_blur", raw::kPixelFormat_ARGB128, true}),
                         [](const ::testing::TestParamInfo<FrameCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace prismora::testing
