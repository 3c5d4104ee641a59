// The effect's parameters: their indices and the table from which they are
// declared. The order fixes the indices that the host, stored projects and
// every other part of the effect use, so rows are only ever appended.
//
// Data only, and all of it constant: the declaration, the emulated host and
// the tests read the same rows.
#pragma once

#include <array>

#include "host/ae_effect.h"

namespace prismora {

enum ParamIndex : PF_ParamIndex {
  PARAM_INPUT = 0,  // the host's input layer, not declared by the effect
  PARAM_AMOUNT,
  PARAM_POWER,
  PARAM_CENTER,
  PARAM_BLUR_GROUP_START,
  PARAM_BLUR_ON,
  PARAM_BLUR_MODE,
  PARAM_BLUR_AMOUNT,
  PARAM_BLUR_GROUP_END,
  PARAM_RANDOM_GROUP_START,
  PARAM_RANDOM_ON,
  PARAM_RANDOM_MODE,
  PARAM_RANDOM_AMPLITUDE,
  PARAM_RANDOM_FPS,
  PARAM_WIGGLE_FREQ,
  PARAM_WIGGLE_AMP,
  PARAM_WIGGLE_OCTAVES,
  PARAM_WIGGLE_AMPMULT,
  PARAM_RANDOM_SEED,
  PARAM_RANDOM_VALUE,  // "random": the target of the random and wiggle expressions
  PARAM_RANDOM_GROUP_END,
  PARAM_COLOR_GROUP_START,
  PARAM_COLOR_MODE,
  PARAM_COLOR1,
  PARAM_COLOR2,
  PARAM_COLOR3,
  PARAM_COLOR_GROUP_END,
  PARAM_VIGNETTING_GROUP_START,
  PARAM_VIGNETTING_ON,
  PARAM_VIGNETTING_AMOUNT,
  PARAM_VIGNETTING_POWER,
  PARAM_VIGNETTING_BRIGHTNESS,
  PARAM_VIGNETTING_MAXIMUM,
  PARAM_VIGNETTING_MINIMUM,
  PARAM_VIGNETTING_SAME,
  PARAM_VIGNETTING_CENTER,
  PARAM_VIGNETTING_GROUP_END,
  PARAM_LIMITER,
  PARAM_NUM_PARAMS
};

// Popup choices count from 1.
inline constexpr A_long kRandomModeRandom = 1;
inline constexpr A_long kRandomModeWiggle = 2;
inline constexpr A_long kColorModeOne = 1;
inline constexpr A_long kColorModeTwo = 2;
inline constexpr A_long kColorModeThree = 3;

// One declared parameter. Which members matter depends on `type`; the rest
// stay zero.
struct ParamRow {
  ParamIndex index;
  const char* name;  // displayed name; "" for group ends
  PF_ParamType type;
  PF_ParamFlags flags;
  // Sliders, in the slider's own unit (fixed sliders become 16.16 when
  // declared): valid range (what may be typed), slider range, default, and
  // the decimal places shown.
  double valid_min = 0, valid_max = 0;
  double slider_min = 0, slider_max = 0;
  double dephault = 0;  // also the checkbox state (0 or 1) and the popup choice
  A_short precision = 0;
  // Popups: the choices, separated by '|'.
  A_short num_choices = 0;
  const char* choices = nullptr;
  PF_Pixel color{};        // colours: the default, alpha first
  double point_x = 0;      // points: the default, percent of the layer
  double point_y = 0;
  float curve_tolerance = 0;  // float sliders
};

// 16.16 of a number, rounded half away from zero.
constexpr PF_Fixed ToFixed(double value) {
  return static_cast<PF_Fixed>(value * 65536.0 + (value < 0 ? -0.5 : 0.5));
}

namespace param_rows {

constexpr ParamRow FixedSlider(ParamIndex index, const char* name, double valid_min,
                               double valid_max, double slider_min, double slider_max,
                               double dephault, A_short precision, PF_ParamFlags flags) {
  ParamRow row{index, name, PF_Param_FIX_SLIDER, flags};
  row.valid_min = valid_min;
  row.valid_max = valid_max;
  row.slider_min = slider_min;
  row.slider_max = slider_max;
  row.dephault = dephault;
  row.precision = precision;
  return row;
}

constexpr ParamRow FloatSlider(ParamIndex index, const char* name, double valid_min,
                               double valid_max, double dephault, PF_ParamFlags flags) {
  ParamRow row{index, name, PF_Param_FLOAT_SLIDER, flags};
  row.valid_min = row.slider_min = valid_min;
  row.valid_max = row.slider_max = valid_max;
  row.dephault = dephault;
  row.precision = 2;
  row.curve_tolerance = 0.05f;
  return row;
}

constexpr ParamRow Point(ParamIndex index, const char* name) {
  ParamRow row{index, name, PF_Param_POINT, 0};
  row.point_x = 50.0;
  row.point_y = 50.0;
  return row;
}

constexpr ParamRow Checkbox(ParamIndex index, const char* name, bool on, PF_ParamFlags flags) {
  ParamRow row{index, name, PF_Param_CHECKBOX, flags};
  row.dephault = on ? 1 : 0;
  return row;
}

constexpr ParamRow Popup(ParamIndex index, const char* name, A_short num_choices,
                         const char* choices, A_short dephault, PF_ParamFlags flags) {
  ParamRow row{index, name, PF_Param_POPUP, flags};
  row.num_choices = num_choices;
  row.choices = choices;
  row.dephault = dephault;
  return row;
}

constexpr ParamRow Color(ParamIndex index, const char* name, A_u_char red, A_u_char green,
                         A_u_char blue) {
  ParamRow row{index, name, PF_Param_COLOR, 0};
  row.color = PF_Pixel{255, red, green, blue};
  return row;
}

constexpr ParamRow GroupStart(ParamIndex index, const char* name) {
  return ParamRow{index, name, PF_Param_GROUP_START, PF_ParamFlag_START_COLLAPSED};
}

constexpr ParamRow GroupEnd(ParamIndex index) {
  return ParamRow{index, "", PF_Param_GROUP_END, 0};
}

inline constexpr PF_ParamFlags kTwirly = PF_ParamFlag_COLLAPSE_TWIRLY;
inline constexpr PF_ParamFlags kSupervise = PF_ParamFlag_SUPERVISE;
inline constexpr PF_ParamFlags kTwirlySupervise = kTwirly | kSupervise;

}  // namespace param_rows

// Rows 1 to 37, in declaration order.
inline constexpr std::array<ParamRow, PARAM_NUM_PARAMS - 1> kParamTable = [] {
  using namespace param_rows;
  return std::array<ParamRow, PARAM_NUM_PARAMS - 1>{{
      FixedSlider(PARAM_AMOUNT, "Amount", 0, 10, 0, 10, 1, 1, 0),
      FixedSlider(PARAM_POWER, "Power", 0.5, 10, 0.5, 10, 2, 2, 0),
      Point(PARAM_CENTER, "Center"),
      GroupStart(PARAM_BLUR_GROUP_START, "Blur"),
      Checkbox(PARAM_BLUR_ON, "Blur ON", false, kSupervise),
      Popup(PARAM_BLUR_MODE, "Blur Mode", 1, "test", 1, 0),
      // Typed values may go beyond what the slider reaches.
      FixedSlider(PARAM_BLUR_AMOUNT, "Blur Amount", 0, 5, 0, 3, 1, 2, kTwirly),
      GroupEnd(PARAM_BLUR_GROUP_END),
      GroupStart(PARAM_RANDOM_GROUP_START, "Random"),
      Checkbox(PARAM_RANDOM_ON, "Random ON", false, kSupervise),
      Popup(PARAM_RANDOM_MODE, "Random Mode", 2, "Random|Wiggle", kRandomModeRandom, 0),
      FixedSlider(PARAM_RANDOM_AMPLITUDE, "Random Amplitude", 0, 5, 0, 5, 1, 2,
                  kTwirlySupervise),
      // The slider range 0 to 1 and the default 30 outside it are what
      // stored projects were made with.
      FixedSlider(PARAM_RANDOM_FPS, "Random Fps", 1, 100, 0, 1, 30, 2, kTwirlySupervise),
      FixedSlider(PARAM_WIGGLE_FREQ, "Wiggle Freq", 0, 100, 0, 100, 1, 2, kTwirlySupervise),
      FixedSlider(PARAM_WIGGLE_AMP, "Wiggle Amp", 0, 5, 0, 5, 1, 2, kTwirlySupervise),
      FixedSlider(PARAM_WIGGLE_OCTAVES, "Wiggle Octaves", 0, 100, 0, 100, 1, 2,
                  kTwirlySupervise),
      FixedSlider(PARAM_WIGGLE_AMPMULT, "Wiggle AmpMult", 0, 5, 0, 5, 0.5, 2, kTwirlySupervise),
      FixedSlider(PARAM_RANDOM_SEED, "Random Seed", 0, 999, 0, 999, 0, 0, kTwirlySupervise),
      FixedSlider(PARAM_RANDOM_VALUE, "random", -100, 100, -100, 100, 0, 1, 0),
      GroupEnd(PARAM_RANDOM_GROUP_END),
      GroupStart(PARAM_COLOR_GROUP_START, "Color"),
      Popup(PARAM_COLOR_MODE, "Mode", 3, "1 Color|2 Colors|3 Colors", kColorModeTwo,
            kSupervise | PF_ParamFlag_CANNOT_INTERP),
      Color(PARAM_COLOR1, "Color1", 255, 0, 0),
      Color(PARAM_COLOR2, "Color2", 0, 0, 255),
      Color(PARAM_COLOR3, "Color3", 0, 255, 0),
      GroupEnd(PARAM_COLOR_GROUP_END),
      GroupStart(PARAM_VIGNETTING_GROUP_START, "Vignetting"),
      Checkbox(PARAM_VIGNETTING_ON, "Vignetting ON", false, kSupervise),
      FixedSlider(PARAM_VIGNETTING_AMOUNT, "Vignetting Amount", -50, 50, -50, 50, 0, 2, kTwirly),
      FixedSlider(PARAM_VIGNETTING_POWER, "Vignetting Power", 1, 10, 1, 10, 2, 2, kTwirly),
      // Raw 0x13333, the 16.16 value nearest 1.2, as stored projects hold it.
      FixedSlider(PARAM_VIGNETTING_BRIGHTNESS, "Vignetting Brightness", 1, 3, 1, 3,
                  78643.0 / 65536.0, 2, kTwirly),
      FloatSlider(PARAM_VIGNETTING_MAXIMUM, "Vignetting Maximum", 1, 3, 1.0, kTwirly),
      FloatSlider(PARAM_VIGNETTING_MINIMUM, "Vignetting Minimum", 0, 1, 0.0, kTwirly),
      Checkbox(PARAM_VIGNETTING_SAME, "Vignetting Same", true, kSupervise),
      Point(PARAM_VIGNETTING_CENTER, "Vignetting Center"),
      GroupEnd(PARAM_VIGNETTING_GROUP_END),
      Checkbox(PARAM_LIMITER, "Limiter", true, 0),
  }};
}();

// The row of a declared parameter (index 1 to 37).
constexpr const ParamRow& RowOf(ParamIndex index) { return kParamTable[index - 1]; }

namespace param_table_checks {
constexpr bool RowsInOrder() {
  for (std::size_t i = 0; i < kParamTable.size(); ++i) {
    if (kParamTable[i].index != static_cast<PF_ParamIndex>(i + 1)) return false;
  }
  return true;
}
static_assert(RowsInOrder(), "every row stands at its own index");
static_assert(ToFixed(RowOf(PARAM_VIGNETTING_BRIGHTNESS).dephault) == 0x13333);
}  // namespace param_table_checks

}  // namespace prismora
