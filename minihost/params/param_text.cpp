#include "minihost/params/param_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace minihost {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  out += s;
  out += '"';
  return out;
}

bool HoldsValue(PF_ParamType type) {
  switch (type) {
    case PF_Param_FIX_SLIDER:
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER:
    case PF_Param_CHECKBOX:
    case PF_Param_POPUP:
    case PF_Param_COLOR:
    case PF_Param_POINT:
      return true;
    default:
      return false;
  }
}

// A whole text read as a number, or false.
bool ReadNumber(std::string_view text, double& out) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ReadInteger(std::string_view text, long& out) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t comma = text.find(',');
    parts.push_back(Trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

std::string Hex(const PF_Pixel& p) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", p.red, p.green, p.blue);
  return buf;
}

std::string FormatFloat(float value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : "?";
}

std::string ChoiceText(const PF_ParamDef& def, A_long choice) {
  const std::vector<std::string> choices = PopupChoices(def);
  if (choice >= 1 && static_cast<std::size_t>(choice) <= choices.size()) {
    return choices[static_cast<std::size_t>(choice) - 1];
  }
  return std::to_string(choice);
}

}  // namespace

PF_Fixed FixedFromDouble(double value) {
  if (std::isnan(value)) return 0;
  const double scaled = value * 65536.0;
  const double rounded = scaled < 0 ? std::ceil(scaled - 0.5) : std::floor(scaled + 0.5);
  constexpr double kMin = std::numeric_limits<PF_Fixed>::min();
  constexpr double kMax = std::numeric_limits<PF_Fixed>::max();
  return static_cast<PF_Fixed>(std::clamp(rounded, kMin, kMax));
}

std::string FormatNumber(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : "?";
}

std::string FormatFixed(PF_Fixed value) {
  char buf[64];
  for (int decimals = 0; decimals <= 16; ++decimals) {
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value / 65536.0);
    if (FixedFromDouble(std::strtod(buf, nullptr)) == value) break;
  }
  return buf;
}

std::string TypeName(PF_ParamType type) {
  switch (type) {
    case PF_Param_LAYER: return "layer";
    case PF_Param_SLIDER: return "slider";
    case PF_Param_FIX_SLIDER: return "fixed slider";
    case PF_Param_ANGLE: return "angle";
    case PF_Param_CHECKBOX: return "checkbox";
    case PF_Param_COLOR: return "colour";
    case PF_Param_POINT: return "point";
    case PF_Param_POPUP: return "popup";
    case PF_Param_FLOAT_SLIDER: return "float slider";
    case PF_Param_GROUP_START: return "group start";
    case PF_Param_GROUP_END: return "group end";
    default: return "parameter of type " + std::to_string(type);
  }
}

PF_ParamIndex FindParam(const std::vector<PF_ParamDef>& declared, std::string_view name) {
  name = Trim(name);
  const auto name_of = [&](std::size_t i) { return DisplayName(declared[i], PF_ParamIndex(i)); };
  // Exact first: a group and a parameter may differ only in case.
  for (std::size_t i = 1; i < declared.size(); ++i) {
    if (name_of(i) != name) continue;
    if (!HoldsValue(declared[i].param_type)) {
      throw ParamValueError(Quote(name) + " is a " + TypeName(declared[i].param_type) +
                            " and holds no value");
    }
    return static_cast<PF_ParamIndex>(i);
  }
  const std::string lower = Lower(name);
  std::vector<std::size_t> matches;
  for (std::size_t i = 1; i < declared.size(); ++i) {
    if (HoldsValue(declared[i].param_type) && Lower(name_of(i)) == lower) matches.push_back(i);
  }
  if (matches.size() == 1) return static_cast<PF_ParamIndex>(matches.front());
  if (matches.size() > 1) {
    throw ParamValueError(Quote(name) + " names more than one parameter when case is ignored; " +
                          "give it as " + Quote(name_of(matches[0])) + " or " +
                          Quote(name_of(matches[1])));
  }
  std::size_t best = 0;
  std::size_t best_distance = std::numeric_limits<std::size_t>::max();
  for (std::size_t i = 1; i < declared.size(); ++i) {
    if (!HoldsValue(declared[i].param_type)) continue;
    const std::size_t d = EditDistance(lower, Lower(name_of(i)));
    if (d < best_distance) {
      best = i;
      best_distance = d;
    }
  }
  std::string message = "no parameter named " + Quote(name);
  if (best != 0) message += "; did you mean " + Quote(name_of(best)) + "?";
  throw ParamValueError(message);
}

std::pair<std::string, std::string> SplitAssignment(std::string_view text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) {
    throw ParamValueError("expected NAME=VALUE, got " + Quote(text));
  }
  const std::string_view name = Trim(text.substr(0, eq));
  if (name.empty()) throw ParamValueError("no parameter name before '=' in " + Quote(text));
  return {std::string(name), std::string(Trim(text.substr(eq + 1)))};
}

ParamValue ParseParamValue(const PF_ParamDef& def, PF_ParamIndex index, std::string_view text) {
  text = Trim(text);
  const std::string who = Quote(DisplayName(def, index));
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER: {
      double v = 0;
      if (!ReadNumber(text, v)) throw ParamValueError(who + " takes a number, not " + Quote(text));
      return SliderValue{v};
    }
    case PF_Param_CHECKBOX: {
      const std::string t = Lower(text);
      if (t == "on" || t == "true" || t == "yes" || t == "1") return true;
      if (t == "off" || t == "false" || t == "no" || t == "0") return false;
      throw ParamValueError(who + " takes on or off, not " + Quote(text));
    }
    case PF_Param_POPUP: {
      const std::vector<std::string> choices = PopupChoices(def);
      for (std::size_t i = 0; i < choices.size(); ++i) {
        if (Lower(choices[i]) == Lower(text)) return PopupValue{static_cast<A_long>(i + 1)};
      }
      long n = 0;
      if (ReadInteger(text, n) && n >= std::numeric_limits<A_long>::min() &&
          n <= std::numeric_limits<A_long>::max()) {
        return PopupValue{static_cast<A_long>(n)};
      }
      std::string list;
      for (std::size_t i = 0; i < choices.size(); ++i) {
        list += (i == 0 ? "" : ", ") + Quote(choices[i]) + " (" + std::to_string(i + 1) + ")";
      }
      throw ParamValueError(who + " has no choice " + Quote(text) + "; its choices are " + list);
    }
    case PF_Param_COLOR: {
      PF_Pixel pixel{255, 0, 0, 0};
      if (!text.empty() && text.front() == '#') {
        const std::string_view hex = text.substr(1);
        unsigned long rgb = 0;
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), rgb, 16);
        if (hex.size() != 6 || ec != std::errc() || end != hex.data() + hex.size()) {
          throw ParamValueError(who + " takes #RRGGBB with six hexadecimal digits, not " +
                                Quote(text));
        }
        pixel.red = static_cast<A_u_char>(rgb >> 16);
        pixel.green = static_cast<A_u_char>(rgb >> 8);
        pixel.blue = static_cast<A_u_char>(rgb);
        return pixel;
      }
      const std::vector<std::string_view> parts = SplitCommas(text);
      if (parts.size() != 3) {
        throw ParamValueError(who + " takes a colour as #RRGGBB or R,G,B, not " + Quote(text));
      }
      A_u_char* channels[] = {&pixel.red, &pixel.green, &pixel.blue};
      for (std::size_t i = 0; i < 3; ++i) {
        long c = 0;
        if (!ReadInteger(parts[i], c) || c < 0 || c > 255) {
          throw ParamValueError(who + ": colour channel " + Quote(parts[i]) +
                                " is not a whole number from 0 to 255");
        }
        *channels[i] = static_cast<A_u_char>(c);
      }
      return pixel;
    }
    case PF_Param_POINT: {
      const std::vector<std::string_view> parts = SplitCommas(text);
      if (parts.size() != 2) {
        throw ParamValueError(who + " takes a point as X,Y in pixels or X%,Y%, not " + Quote(text));
      }
      PointValue point{};
      double* coords[] = {&point.x, &point.y};
      bool* percents[] = {&point.x_percent, &point.y_percent};
      for (std::size_t i = 0; i < 2; ++i) {
        std::string_view part = parts[i];
        if (!part.empty() && part.back() == '%') {
          *percents[i] = true;
          part.remove_suffix(1);
        }
        if (!ReadNumber(part, *coords[i])) {
          throw ParamValueError(who + ": " + Quote(parts[i]) +
                                " is not a number of pixels or a percentage");
        }
      }
      return point;
    }
    default:
      throw ParamValueError(who + " is a " + TypeName(def.param_type) + " and holds no value");
  }
}

std::string FormatValue(const PF_ParamDef& def) {
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: return FormatFixed(def.u.fd.value);
    case PF_Param_FLOAT_SLIDER: return FormatNumber(def.u.fs_d.value);
    case PF_Param_SLIDER: return std::to_string(def.u.sd.value);
    case PF_Param_CHECKBOX: return def.u.bd.value != 0 ? "on" : "off";
    case PF_Param_POPUP: return ChoiceText(def, def.u.pd.value);
    case PF_Param_COLOR: return Hex(def.u.cd.value);
    case PF_Param_POINT: return FormatFixed(def.u.td.x_value) + "," + FormatFixed(def.u.td.y_value);
    default: return {};
  }
}

std::string FormatDefault(const PF_ParamDef& def) {
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: return FormatFixed(def.u.fd.dephault);
    case PF_Param_FLOAT_SLIDER: return FormatFloat(def.u.fs_d.dephault);
    case PF_Param_SLIDER: return std::to_string(def.u.sd.dephault);
    case PF_Param_CHECKBOX: return def.u.bd.dephault != 0 ? "on" : "off";
    case PF_Param_POPUP: return ChoiceText(def, def.u.pd.dephault);
    case PF_Param_COLOR: return Hex(def.u.cd.dephault);
    case PF_Param_POINT:
      return FormatFixed(def.u.td.x_dephault) + "%," + FormatFixed(def.u.td.y_dephault) + "%";
    default: return {};
  }
}

std::string FormatValidRange(const PF_ParamDef& def) {
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
      return FormatFixed(def.u.fd.valid_min) + " to " + FormatFixed(def.u.fd.valid_max);
    case PF_Param_FLOAT_SLIDER:
      return FormatFloat(def.u.fs_d.valid_min) + " to " + FormatFloat(def.u.fs_d.valid_max);
    case PF_Param_SLIDER:
      return std::to_string(def.u.sd.valid_min) + " to " + std::to_string(def.u.sd.valid_max);
    case PF_Param_POPUP: return "1 to " + std::to_string(def.u.pd.num_choices);
    case PF_Param_POINT: return def.u.td.restrict_bounds != 0 ? "on the layer" : "";
    default: return {};
  }
}

std::string FormatSliderRange(const PF_ParamDef& def) {
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
      return FormatFixed(def.u.fd.slider_min) + " to " + FormatFixed(def.u.fd.slider_max);
    case PF_Param_FLOAT_SLIDER:
      return FormatFloat(def.u.fs_d.slider_min) + " to " + FormatFloat(def.u.fs_d.slider_max);
    case PF_Param_SLIDER:
      return std::to_string(def.u.sd.slider_min) + " to " + std::to_string(def.u.sd.slider_max);
    default: return {};
  }
}

}  // namespace minihost
