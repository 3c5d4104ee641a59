// Parameter values as text, the way a user types them and a host shows
// them: names looked up by displayed name, values parsed by the parameter's
// type, numbers and ranges printed for people.
//
// Values by type:
//   fixed and float sliders  a number: 2, -0.5, 1e-3
//   checkbox                 on, off (also true/false, yes/no, 1/0)
//   popup                    the choice's text ("2 Colors") or its number (2)
//   colour                   #RRGGBB, or R,G,B with each channel 0 to 255
//   point                    X,Y in pixels of the layer, or X%,Y% of its size
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "minihost/params/params.h"

namespace minihost {

// 16.16 of a number, rounded half away from zero, saturated to what 16.16
// holds.
PF_Fixed FixedFromDouble(double value);

// The shortest text that reads back as the same double ("0.5", "10",
// "-100", "1e-05").
std::string FormatNumber(double value);
// The shortest decimal text that reads back as the same 16.16 value.
std::string FormatFixed(PF_Fixed value);

// "fixed slider", "popup", "group start", ...
std::string TypeName(PF_ParamType type);

// The index of the parameter holding a value whose displayed name is
// `name`: an exact match first, else one ignoring case. Throws
// ParamValueError naming the nearest displayed name when none matches.
PF_ParamIndex FindParam(const std::vector<PF_ParamDef>& declared, std::string_view name);

// "NAME=VALUE" split at the first '=', blanks around both parts removed.
// Throws ParamValueError for a text without '=' or with an empty name.
std::pair<std::string, std::string> SplitAssignment(std::string_view text);

// Reads `text` as a value for `def` (its type decides the form). Throws
// ParamValueError for text that is no value of that form; whether the value
// lies in the parameter's range is for ParamService::Set to check.
ParamValue ParseParamValue(const PF_ParamDef& def, PF_ParamIndex index, std::string_view text);

// The current value of a parameter as a user reads it ("on", "2 Colors",
// "#FF0000", "960,540" in pixels); empty for groups and layers.
std::string FormatValue(const PF_ParamDef& def);
// The declared default ("50%,50%" for points, which are declared in percent).
std::string FormatDefault(const PF_ParamDef& def);
// "0 to 10" for sliders and popups; empty for the rest.
std::string FormatValidRange(const PF_ParamDef& def);
std::string FormatSliderRange(const PF_ParamDef& def);

}  // namespace minihost
