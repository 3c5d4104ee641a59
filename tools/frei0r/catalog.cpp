#include "frei0r/catalog.h"

#include "frei0r/frei0r_api.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <set>

#include "minihost/base/error.h"
#include "minihost/driver/session.h"
#include "minihost/host/host.h"
#include "minihost/params/params.h"
#include "minihost/params/param_text.h"

namespace prismora::frei0r {
namespace {

// For people: six significant digits ("3", not 3.0000000000000004).
std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

Entry MakeEntry(Kind kind, PF_ParamIndex index, const std::string& name, int frei0r_type) {
  Entry e;
  e.kind = kind;
  e.index = index;
  e.name = name;
  e.frei0r_type = frei0r_type;
  return e;
}

Entry SliderEntry(const PF_ParamDef& def, PF_ParamIndex index, const std::string& name) {
  Entry e = MakeEntry(Kind::kSlider, index, name, F0R_PARAM_DOUBLE);
  const minihost::SliderNumbers n = minihost::SliderNumbersOf(def);
  const double valid_lo = n.valid_min, valid_hi = n.valid_max;
  const double slider_lo = n.slider_min, slider_hi = n.slider_max;
  // The slider's range, which is what a user drags over; a slider whose
  // range is not a part of the valid one (one that would reach only its
  // lowest value) maps onto the valid range instead.
  const bool slider_fits = slider_lo < slider_hi && slider_lo >= valid_lo && slider_hi <= valid_hi;
  e.lo = slider_fits ? slider_lo : valid_lo;
  e.hi = slider_fits ? slider_hi : valid_hi;
  e.whole = def.param_type == PF_Param_SLIDER;
  e.default_number = SliderFraction(e, n.value);
  const double span = e.hi - e.lo;
  e.explanation = name + " from " + Number(e.lo) + " to " + Number(e.hi) + ": " +
                  (e.lo == 0 ? "" : Number(e.lo) + " + ") + "value x " + Number(span) + " (" +
                  Number(0.3) + " is " + Number(*SliderValue(e, 0.3)) + "); default " +
                  Number(n.value);
  return e;
}

std::vector<Entry> EntriesOf(const PF_ParamDef& def, PF_ParamIndex index) {
  const std::string name = minihost::DisplayName(def, index);
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER:
      return {SliderEntry(def, index, name)};
    case PF_Param_CHECKBOX: {
      Entry e = MakeEntry(Kind::kCheckbox, index, name, F0R_PARAM_BOOL);
      e.default_number = def.u.bd.value != 0 ? 1.0 : 0.0;
      e.explanation = name + ": on or off; default " + (def.u.bd.value != 0 ? "on" : "off");
      return {e};
    }
    case PF_Param_POPUP: {
      Entry e = MakeEntry(Kind::kPopup, index, name, F0R_PARAM_STRING);
      e.choices = minihost::PopupChoices(def);
      const auto at = static_cast<std::size_t>(def.u.pd.value - 1);
      e.default_text = at < e.choices.size() ? e.choices[at] : "";
      std::string list;
      for (std::size_t i = 0; i < e.choices.size(); ++i) {
        list += (i == 0 ? "" : ", ") + e.choices[i] + " (" + std::to_string(i + 1) + ")";
      }
      e.explanation = name + ": one of " + list + "; default " + e.default_text;
      return {e};
    }
    case PF_Param_COLOR: {
      Entry e = MakeEntry(Kind::kColor, index, name, F0R_PARAM_COLOR);
      e.default_color = def.u.cd.value;
      e.explanation = name + ": red, green and blue from 0 to 1 (0..255 in 8 bits); default " +
                      minihost::FormatValue(def);
      return {e};
    }
    case PF_Param_POINT: {
      // MLT never sets a position parameter: a point is two numbers.
      std::vector<Entry> xy(2);
      const double percent[2] = {def.u.td.x_value / 65536.0, def.u.td.y_value / 65536.0};
      const char* axis[2] = {"X", "Y"};
      const char* side[2] = {"width", "height"};
      for (int i = 0; i < 2; ++i) {
        Entry& e = xy[static_cast<std::size_t>(i)];
        e = MakeEntry(i == 0 ? Kind::kPointX : Kind::kPointY, index, name + " " + axis[i],
                      F0R_PARAM_DOUBLE);
        e.default_number = percent[i] / 100.0;
        e.explanation = e.name + ": 0 to 1 of the frame's " + side[i] + " (0.5 is the middle); default " +
                        Number(e.default_number);
      }
      return xy;
    }
    default:
      return {};  // the layer, groups
  }
}

// The controls shown with the defaults, or with any one switch (checkbox or
// popup) at any of its other values: those the user can ever see.
std::set<PF_ParamIndex> EverShown(minihost::Session& session) {
  std::set<PF_ParamIndex> shown;
  auto note = [&] {
    const std::vector<minihost::HostParam>& params = session.Params();
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (!params[i].hidden) shown.insert(static_cast<PF_ParamIndex>(i));
    }
  };
  note();
  const std::vector<PF_ParamDef> declared = session.params().declared();
  for (std::size_t i = 1; i < declared.size(); ++i) {
    const auto index = static_cast<PF_ParamIndex>(i);
    const PF_ParamDef& def = declared[i];
    if (def.param_type == PF_Param_CHECKBOX) {
      session.ChangeParam(index, minihost::ParamValue{def.u.bd.value == 0});
      note();
      session.ChangeParam(index, minihost::ParamValue{def.u.bd.value != 0});
    } else if (def.param_type == PF_Param_POPUP) {
      for (A_long choice = 1; choice <= def.u.pd.num_choices; ++choice) {
        if (choice == def.u.pd.value) continue;
        session.ChangeParam(index, minihost::ParamValue{minihost::PopupValue{choice}});
        note();
      }
      session.ChangeParam(index, minihost::ParamValue{minihost::PopupValue{def.u.pd.value}});
    }
  }
  return shown;
}

}  // namespace

Catalog ReadCatalog(std::shared_ptr<const minihost::PluginLibrary> plugin) {
  minihost::Host host(std::move(plugin));
  minihost::Session session(host);
  if (const PF_Err err = session.Start(); err != PF_Err_NONE) {
    throw minihost::HostError("the plug-in's set-up failed with error " + std::to_string(err) +
                              (host.return_msg().empty() ? "" : ": " + host.return_msg()));
  }
  const std::set<PF_ParamIndex> shown = EverShown(session);
  Catalog catalog;
  const std::vector<PF_ParamDef>& declared = session.params().declared();
  for (std::size_t i = 1; i < declared.size(); ++i) {
    const auto index = static_cast<PF_ParamIndex>(i);
    if (!shown.contains(index)) continue;
    for (Entry& e : EntriesOf(declared[i], index)) catalog.entries.push_back(std::move(e));
  }
  return catalog;
}

std::optional<double> SliderValue(const Entry& entry, double x) {
  if (std::isnan(x)) return std::nullopt;
  x = std::clamp(x, 0.0, 1.0);
  const double v = x == 1.0 ? entry.hi : entry.lo + x * (entry.hi - entry.lo);
  return entry.whole ? std::round(v) : v;
}

double SliderFraction(const Entry& entry, double value) {
  return entry.hi > entry.lo ? (value - entry.lo) / (entry.hi - entry.lo) : 0.0;
}

A_u_char ChannelByte(float c) {
  if (!(c > 0.0f)) return 0;  // NaN too
  if (c >= 1.0f) return 255;
  return static_cast<A_u_char>(std::lround(static_cast<double>(c) * 255.0));
}

std::optional<A_long> ChoiceOf(const Entry& entry, const std::string& text) {
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  };
  const std::string wanted = lower(text);
  for (std::size_t i = 0; i < entry.choices.size(); ++i) {
    if (lower(entry.choices[i]) == wanted) return static_cast<A_long>(i + 1);
  }
  if (wanted.empty() || wanted.size() > 3 ||
      !std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return std::nullopt;
  }
  const A_long n = std::stol(wanted);
  if (n < 1 || static_cast<std::size_t>(n) > entry.choices.size()) return std::nullopt;
  return n;
}

}  // namespace prismora::frei0r
