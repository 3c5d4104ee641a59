// The plug-in driven by a host written from the published binary interface
// alone (raw_host.h), so that a record misdeclared on our side or on the
// plug-in's shows up; its frame must match the emulated host's to the byte.
#include "abi/raw_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "entry/effect_info.h"
#include "params/param_table.h"
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

// Non-trivial premultiplied pixels, packed (alpha, red, green, blue).
std::vector<unsigned char> Packed(const World& layer) {
  std::vector<unsigned char> bytes;
  for (A_long y = 0; y < layer.height(); ++y) {
    for (A_long x = 0; x < layer.width(); ++x) {
      const PF_Pixel p = layer.Get<PF_Pixel>(x, y);
      bytes.insert(bytes.end(), {p.alpha, p.red, p.green, p.blue});
    }
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

}  // namespace
}  // namespace prismora::testing
