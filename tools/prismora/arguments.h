// Options shared by the verbs that render: values that follow an option,
// numbers read strictly, and the user's settings ("-p NAME=VALUE",
// "-p NAME@TIME=VALUE", "-e NAME=EXPRESSION", "--settings FILE.json")
// through the same reader as prismora params.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "media/movie_names.h"
#include "minihost/driver/session.h"

namespace prismora::cli {

// The value after the option at position i (i moves onto it). Throws
// UsageError when there is none.
std::string_view TakeValue(std::span<const std::string_view> args, std::size_t& i);

// A whole finite number / a whole integer, or UsageError naming the option.
double ParseReal(std::string_view text, std::string_view option);
int64_t ParseInteger(std::string_view text, std::string_view option);

// "WIDTHxHEIGHT" with each side from `smallest` to `largest`, or
// UsageError naming the option and the bounds.
std::pair<int, int> ParseSize(std::string_view text, std::string_view option, int smallest,
                              int largest);

// The one form of a time wherever one is taken: seconds (1.5, 1.5s) or a
// frame (f36), its rate set later (KeyTime::rate_num). Throws UsageError
// naming the option.
minihost::KeyTime ParseTime(std::string_view text, std::string_view option);
// The one form of a frame rate: 24, 24000/1001, 25.5, and the NTSC rates
// as editors write them (23.976, 29.97, 59.94 are 24000/1001, 30000/1001,
// 60000/1001). Above 0 and up to 10000, or UsageError naming the option.
media::FrameRate ParseRate(std::string_view text, std::string_view option);

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

// Refuses keyframes and expressions on "Random Mode" (those that count: of
// the highest layer given for it) with UsageError. The plug-in writes its
// jitter expression only when a control it watches changes, and "Random
// Mode" is none of them: a host animating it would switch the controls
// shown but never the jitter, so a render could not follow what the
// controls show.
void RefuseUnfollowedAnimation(const std::vector<minihost::ParamSetting>& settings);

// A setting for people: "Amount" 3, "Amount" at f36 3, "Amount" = value*2.
std::string Describe(const minihost::ParamSetting& setting);

}  // namespace prismora::cli
