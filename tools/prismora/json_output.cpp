#include "json_output.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

#include "minihost/params/param_text.h"

namespace prismora::cli {
namespace {

using json = nlohmann::ordered_json;

void Print(const json& document) {
  // Names and texts come from the plug-in's bytes: anything that is not
  // UTF-8 is replaced rather than allowed to end the output half-written.
  const std::string text = document.dump(2, ' ', false, json::error_handler_t::replace);
  std::fputs((text + "\n").c_str(), stdout);
}

// The number the text output shows, so that both read the same: 16.16
// values by their shortest decimal (1.2, not 1.19999695), float values by
// the float's shortest (1.2, not 1.2000000476837158).
double Number(PF_Fixed value) { return std::strtod(minihost::FormatFixed(value).c_str(), nullptr); }
double Number(float value) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  double out = 0;
  std::from_chars(buf, result.ptr, out);
  return out;
}

json Version(uint32_t word) {
  const minihost::VersionParts p = minihost::SplitVersion(word);
  return {{"text", minihost::VersionText(word)},
          {"major", p.major},
          {"minor", p.minor},
          {"bug", p.bug},
          {"stage", p.stage_name},
          {"build", p.build},
          {"packed", word}};
}

json Flags(uint32_t word, const std::vector<std::string>& names) {
  return {{"value", word}, {"names", names}};
}

json Popup(const PF_ParamDef& def, A_long choice) {
  const std::vector<std::string> choices = minihost::PopupChoices(def);
  json out = {{"choice", choice}};
  if (choice >= 1 && static_cast<std::size_t>(choice) <= choices.size()) {
    out["text"] = choices[static_cast<std::size_t>(choice) - 1];
  }
  return out;
}

json Colour(const PF_Pixel& p) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%02X%02X%02X", p.red, p.green, p.blue);
  return {{"hex", hex}, {"rgb", {p.red, p.green, p.blue}}};
}

// Type-specific keys of one control: value, default and ranges.
void AddValues(json& out, const PF_ParamDef& def, int layer_width, int layer_height) {
  const auto& u = def.u;
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
      out["value"] = Number(u.fd.value);
      out["default"] = Number(u.fd.dephault);
      out["valid_range"] = {Number(u.fd.valid_min), Number(u.fd.valid_max)};
      out["slider_range"] = {Number(u.fd.slider_min), Number(u.fd.slider_max)};
      break;
    case PF_Param_FLOAT_SLIDER:
      out["value"] = u.fs_d.value;
      out["default"] = Number(u.fs_d.dephault);
      out["valid_range"] = {Number(u.fs_d.valid_min), Number(u.fs_d.valid_max)};
      out["slider_range"] = {Number(u.fs_d.slider_min), Number(u.fs_d.slider_max)};
      break;
    case PF_Param_SLIDER:
      out["value"] = u.sd.value;
      out["default"] = u.sd.dephault;
      out["valid_range"] = {u.sd.valid_min, u.sd.valid_max};
      out["slider_range"] = {u.sd.slider_min, u.sd.slider_max};
      break;
    case PF_Param_CHECKBOX:
      out["value"] = u.bd.value != 0;
      out["default"] = u.bd.dephault != 0;
      break;
    case PF_Param_POPUP:
      out["value"] = Popup(def, u.pd.value);
      out["default"] = Popup(def, u.pd.dephault);
      out["valid_range"] = {1, u.pd.num_choices};
      out["choices"] = minihost::PopupChoices(def);
      break;
    case PF_Param_COLOR:
      out["value"] = Colour(u.cd.value);
      out["default"] = Colour(u.cd.dephault);
      break;
    case PF_Param_POINT: {
      // Declared in percent of the layer, held in pixels: the default in
      // both, placed as the host places it.
      auto pixels = [](PF_Fixed percent, int size) {
        return Number(static_cast<PF_Fixed>(static_cast<int64_t>(percent) * size / 100));
      };
      out["value"] = {Number(u.td.x_value), Number(u.td.y_value)};
      out["default"] = {pixels(u.td.x_dephault, layer_width),
                        pixels(u.td.y_dephault, layer_height)};
      out["default_percent"] = {Number(u.td.x_dephault), Number(u.td.y_dephault)};
      out["restricted_to_layer"] = u.td.restrict_bounds != 0;
      break;
    }
    default:
      break;  // layers and groups hold no value
  }
}

}  // namespace

void PrintInfoJson(const minihost::PluginLibrary& library, const std::string& about) {
  const minihost::PiplInfo& pipl = library.pipl();
  Print({{"format_version", kJsonFormatVersion},
         {"plugin", library.path().string()},
         {"name", pipl.name},
         {"category", pipl.category},
         {"match_name", pipl.match_name},
         {"entry_point", pipl.entry_point},
         {"pipl_version", {{"major", pipl.pipl_version_major}, {"minor", pipl.pipl_version_minor}}},
         {"api_version", {{"major", pipl.spec_version_major}, {"minor", pipl.spec_version_minor}}},
         {"effect_version", Version(pipl.version)},
         {"out_flags", Flags(pipl.out_flags, minihost::OutFlagNames(pipl.out_flags))},
         {"out_flags2", Flags(pipl.out_flags2, minihost::OutFlag2Names(pipl.out_flags2))},
         {"about", about}});
}

void PrintParamsJson(minihost::Session& session, const std::filesystem::path& plugin,
                     double seconds,
                     const std::function<PF_ParamDef(PF_ParamIndex)>& value_at) {
  const int width = session.params().layer_width();
  const int height = session.params().layer_height();
  json params = json::array();
  const std::vector<minihost::HostParam>& all = session.Params();
  for (std::size_t i = 0; i < all.size(); ++i) {
    const minihost::HostParam& p = all[i];
    const auto index = static_cast<PF_ParamIndex>(i);
    json out = {{"index", i},
                {"name", minihost::DisplayName(p.def, index)},
                {"type", minihost::TypeName(p.def.param_type)},
                {"hidden", p.hidden},
                {"greyed_out", p.disabled()}};
    // An animated control's value is the one a frame at `seconds` checks out.
    AddValues(out, p.animated() ? value_at(index) : p.def, width, height);
    if (p.animated()) {
      out["animation"] = {{"keyframes", p.keyframes.size()},
                          {"expression", p.user_expression}};
    }
    if (!p.expression.empty() && !p.user_expression) {
      const minihost::ExpressionResult r =
          session.params().Evaluate(session.instance(), index, seconds);
      json expression = {{"text", p.expression}, {"time", seconds}, {"value", r.value}};
      // On an error the value is the static one, as the host falls back to.
      if (!r.ok) expression["error"] = {{"message", r.error}, {"position", r.error_position}};
      out["expression"] = std::move(expression);
    } else if (p.user_expression) {
      // The user's expression gives "value" above, clamped as the host does;
      // where it fails, the value without it.
      json expression = {{"text", p.expression}, {"time", seconds}};
      const minihost::ExpressionResult r =
          session.params().ExpressionFailure(session.instance(), index, seconds);
      if (!r.ok) expression["error"] = {{"message", r.error}, {"position", r.error_position}};
      out["expression"] = std::move(expression);
    }
    params.push_back(std::move(out));
  }
  Print({{"format_version", kJsonFormatVersion},
         {"plugin", plugin.string()},
         {"layer", {{"width", width}, {"height", height}}},
         {"time", seconds},
         {"params", std::move(params)}});
}

}  // namespace prismora::cli
