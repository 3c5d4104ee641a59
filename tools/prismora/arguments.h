// Options shared by the verbs that render: values that follow an option,
// numbers read strictly, and the user's settings ("-p NAME=VALUE",
// "-p NAME@TIME=VALUE", "-e NAME=EXPRESSION", "--settings FILE.json")
// through the same reader as prismora params.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "minihost/driver/session.h"

namespace prismora::cli {

// The value after the option at position i (i moves onto it). Throws
// UsageError when there is none.
std::string_view TakeValue(std::span<const std::string_view> args, std::size_t& i);

// A whole finite number / a whole integer, or UsageError naming the option.
double ParseReal(std::string_view text, std::string_view option);
int64_t ParseInteger(std::string_view text, std::string_view option);

// Layers of settings: a later one replaces what an earlier one sets on the
// same parameter.
inline constexpr int kDefaultsLayer = 0;     // a verb's own (demo's "Amount")
inline constexpr int kFileLayer = 1;         // --settings FILE.json
inline constexpr int kCommandLineLayer = 2;  // -p and -e

// Takes "-p NAME=VALUE", "-p NAME@TIME=VALUE" (a keyframe; TIME in seconds,
// 1.5 or 1.5s, or a frame, f36) or "-e NAME=EXPRESSION" (also --param and
// --expression) at position i, if it is there. Throws UsageError for a
// setting that is none of these.
bool TakeParamOption(std::span<const std::string_view> args, std::size_t& i,
                     std::vector<minihost::ParamSetting>& settings);

// Takes "--settings FILE.json" at position i, if it is there, and adds the
// file's settings. Throws UsageError for a file that cannot be read or
// holds settings of no valid form.
bool TakeSettingsOption(std::span<const std::string_view> args, std::size_t& i,
                        std::vector<minihost::ParamSetting>& settings);

// A setting for people: "Amount" 3, "Amount" at f36 3, "Amount" = value*2.
std::string Describe(const minihost::ParamSetting& setting);

}  // namespace prismora::cli
