// Settings files: the user's values, keyframes and expressions by displayed
// name, in JSON, for `--settings FILE.json` and `prismora params --save`:
//
//   {
//     "prismora-settings": 1,
//     "params": {
//       "Amount": 3,
//       "Mode": "3 Colors",
//       "Blur ON": true,
//       "Color1": "#FFA000",
//       "Power": {"expression": "value * 2"},
//       "Center": {"keyframes": [{"time": 0, "value": [960, 540]},
//                                {"time": "f36", "value": "25%,50%"}]}
//     }
//   }
//
// A parameter takes a value directly, or an object with "value" or
// "keyframes" (a list of {"time", "value"}) and an optional "expression".
// Values take their natural JSON type (numbers for sliders, true/false for
// checkboxes, the choice's text for popups, "#RRGGBB" for colours, [X, Y] in
// pixels for points) or the text `-p` takes ("50%,50%", "on", "2").
// Times are seconds (a number, "1.5s") or a frame ("f36"). Anything else is
// refused with the file's name and the JSON path of the fault.
#pragma once

#include <filesystem>
#include <vector>

#include "minihost/driver/session.h"

namespace prismora::cli {

inline constexpr int kSettingsFormat = 1;

// The settings in the file, in its order, on `layer`; each carries the file
// and its JSON path as origin. Throws UsageError for a file that cannot be
// read, is no JSON (line and column named) or holds anything of a wrong
// form (its path named).
std::vector<minihost::ParamSetting> ReadSettingsFile(const std::filesystem::path& file, int layer);

// Writes `settings` (as Session::user_settings() holds them) so that
// ReadSettingsFile gives them back; the file appears whole or not at all.
// Throws what imageio::PendingFile throws when it cannot be written.
void WriteSettingsFile(const std::filesystem::path& file,
                       const std::vector<minihost::ParamSetting>& settings,
                       const std::vector<PF_ParamDef>& declared);

}  // namespace prismora::cli
