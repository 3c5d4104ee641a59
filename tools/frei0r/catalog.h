// The effect's controls as frei0r parameters: every control a user sets,
// under its own name, as a type all three frei0r hosts pass, with the
// mapping from the [0, 1] that frei0r hosts speak onto the control's range.
// Read once from the plug-in's own declarations, so that the list follows
// the plug-in and not a copy of its table.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "minihost/loading/plugin_library.h"
#include "minihost/params/params.h"

namespace prismora::frei0r {

// How one frei0r parameter drives one of the plug-in's controls.
enum class Kind {
  kCheckbox,  // BOOL
  kSlider,    // DOUBLE in [0, 1] onto [lo, hi]
  kPopup,     // STRING: the choice's text, or its number
  kColor,     // COLOR
  kPointX,    // DOUBLE in [0, 1] of the frame's width
  kPointY,    // DOUBLE in [0, 1] of the frame's height
};

struct Entry {
  Kind kind = Kind::kSlider;
  PF_ParamIndex index = 0;  // the plug-in's control
  std::string name;
  std::string explanation;
  int frei0r_type = 0;  // F0R_PARAM_*
  double lo = 0, hi = 1;  // sliders: the range [0, 1] maps onto
  bool whole = false;     // sliders that hold whole numbers only
  std::vector<std::string> choices;  // popups
  // The control's default as frei0r sees it.
  double default_number = 0;
  PF_Pixel default_color{};
  std::string default_text;
};

struct Catalog {
  std::vector<Entry> entries;
};

// Starts the effect once on a layer of the default size and reads its
// declarations. Controls the plug-in hides whatever the user switches (its
// own expression target, unused modes) are left out; controls it hides only
// in some modes are kept. Throws minihost::HostError when the plug-in
// cannot be set up.
Catalog ReadCatalog(std::shared_ptr<const minihost::PluginLibrary> plugin);

// --- The mapping, one function per way ------------------------------------
// A slider's value for frei0r's x: x clamped to [0, 1], then lo + x (hi - lo),
// exactly hi at 1; nullopt for a NaN, which changes nothing.
std::optional<double> SliderValue(const Entry& entry, double x);
// frei0r's x for a slider's value.
double SliderFraction(const Entry& entry, double value);
// A colour channel in [0, 1] as 0..255, rounded half away from zero.
A_u_char ChannelByte(float c);
// The choice (from 1) named by `text`: its displayed text (ignoring case) or
// its number; nullopt for neither.
std::optional<A_long> ChoiceOf(const Entry& entry, const std::string& text);

}  // namespace prismora::frei0r
