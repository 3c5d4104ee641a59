// Output for scripts: what prismora info and params show, as JSON on stdout
// with stable snake_case keys, numbers as numbers, and a top-level
// "format_version". New keys may come; a key changes meaning or goes away
// only with a new format version.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "minihost/driver/session.h"
#include "minihost/loading/plugin_library.h"

namespace prismora::cli {

inline constexpr int kJsonFormatVersion = 1;

// The plug-in's PiPL properties and the About text it gave after global
// set-up.
void PrintInfoJson(const minihost::PluginLibrary& library, const std::string& about);

// Every control of the applied effect as the host holds it at `seconds`:
// `value_at` checks out an animated parameter's value at that time; the
// expression on any that has one with its value then.
void PrintParamsJson(minihost::Session& session, const std::filesystem::path& plugin,
                     double seconds,
                     const std::function<PF_ParamDef(PF_ParamIndex)>& value_at);

}  // namespace prismora::cli
