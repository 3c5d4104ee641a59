#include "arguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <optional>
#include <tuple>

#include "commands.h"
#include "minihost/params/param_text.h"
#include "settings_file.h"

namespace prismora::cli {

std::string_view TakeValue(std::span<const std::string_view> args, std::size_t& i) {
  if (i + 1 >= args.size()) throw UsageError{std::string(args[i]) + " needs a value"};
  return args[++i];
}

double ParseReal(std::string_view text, std::string_view option) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    throw UsageError{std::string(option) + " takes a number, not '" + std::string(text) + "'"};
  }
  return value;
}

int64_t ParseInteger(std::string_view text, std::string_view option) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    throw UsageError{std::string(option) + " takes a whole number, not '" + std::string(text) +
                     "'"};
  }
  return value;
}

std::pair<int, int> ParseSize(std::string_view text, std::string_view option, int smallest,
                              int largest) {
  const std::string bounds = std::to_string(smallest) + "x" + std::to_string(smallest) + " to " +
                             std::to_string(largest) + "x" + std::to_string(largest);
  const std::string bad = std::string(option) + " takes WIDTHxHEIGHT from " + bounds +
                          ", not '" + std::string(text) + "'";
  const std::size_t x = text.find('x');
  if (x == std::string_view::npos) throw UsageError{bad};
  int64_t w = 0, h = 0;
  try {
    w = ParseInteger(text.substr(0, x), option);
    h = ParseInteger(text.substr(x + 1), option);
  } catch (const UsageError&) {
    throw UsageError{bad};
  }
  if (w < smallest || h < smallest || w > largest || h > largest) throw UsageError{bad};
  return {static_cast<int>(w), static_cast<int>(h)};
}

minihost::KeyTime ParseTime(std::string_view text, std::string_view option) {
  try {
    return minihost::ParseKeyTime(text);
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{std::string(option) + ": " + e.what()};
  }
}

media::FrameRate ParseRate(std::string_view text, std::string_view option) {
  const std::optional<media::FrameRate> rate = media::ParseFrameRate(text);
  if (!rate || rate->value() > 10000.0) {
    throw UsageError{std::string(option) + " takes a frame rate above 0 and up to 10000 (30, " +
                     "29.97, 24000/1001), not '" + std::string(text) + "'"};
  }
  return *rate;
}

bool TakeParamOption(std::span<const std::string_view> args, std::size_t& i,
                     std::vector<minihost::ParamSetting>& settings) {
  using Kind = minihost::ParamSetting::Kind;
  const bool expression = args[i] == "-e" || args[i] == "--expression";
  if (!expression && args[i] != "-p" && args[i] != "--param") return false;
  if (i + 1 >= args.size()) {
    throw UsageError{expression ? "-e needs NAME=EXPRESSION" : "-p needs NAME=VALUE"};
  }
  try {
    minihost::ParamSetting s;
    std::tie(s.name, s.value) = minihost::SplitAssignment(args[++i]);
    s.layer = kCommandLineLayer;
    if (expression) {
      s.kind = Kind::kExpression;
      if (s.value.empty()) throw UsageError{"-e \"" + s.name + "=\" needs an expression"};
    } else if (const std::size_t at = s.name.rfind('@'); at != std::string::npos) {
      s.kind = Kind::kKeyframe;
      const std::string time = s.name.substr(at + 1);
      s.name.erase(at);
      while (!s.name.empty() && s.name.back() == ' ') s.name.pop_back();
      if (s.name.empty()) {
        throw UsageError{"no parameter name before '@' in '" + std::string(args[i]) + "'"};
      }
      try {
        s.time = minihost::ParseKeyTime(time);
      } catch (const minihost::ParamValueError& e) {
        throw UsageError{"a keyframe of \"" + s.name + "\": " + e.what()};
      }
    }
    settings.push_back(std::move(s));
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }
  return true;
}

bool TakeSettingsOption(std::span<const std::string_view> args, std::size_t& i,
                        std::vector<minihost::ParamSetting>& settings) {
  if (args[i] != "--settings") return false;
  const std::filesystem::path file = std::string(TakeValue(args, i));
  std::vector<minihost::ParamSetting> read = ReadSettingsFile(file, kFileLayer);
  settings.insert(settings.end(), std::make_move_iterator(read.begin()),
                  std::make_move_iterator(read.end()));
  return true;
}

namespace {

constexpr std::string_view kRandomMode = "Random Mode";

bool IsRandomMode(std::string_view name) {
  return name.size() == kRandomMode.size() &&
         std::equal(name.begin(), name.end(), kRandomMode.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

}  // namespace

void RefuseUnfollowedAnimation(const std::vector<minihost::ParamSetting>& settings) {
  int top = -1;
  for (const minihost::ParamSetting& s : settings) {
    if (IsRandomMode(s.name)) top = std::max(top, s.layer);
  }
  for (const minihost::ParamSetting& s : settings) {
    if (!IsRandomMode(s.name) || s.layer != top ||
        s.kind == minihost::ParamSetting::Kind::kValue) {
      continue;
    }
    throw UsageError{
        (s.origin.empty() ? "" : s.origin + ": ") +
        "\"Random Mode\" takes no keyframes and no expression: the plug-in writes its random "
        "or wiggle expression only when a control it watches changes, and \"Random Mode\" is "
        "not one of them, so animated it would switch the controls shown but never the "
        "jitter. Keep one mode for a render; to change modes within a shot, render its parts "
        "separately with different settings"};
  }
}

std::string Describe(const minihost::ParamSetting& setting) {
  std::string text = "\"";
  text += setting.name;
  text += "\" ";
  switch (setting.kind) {
    case minihost::ParamSetting::Kind::kValue: break;
    case minihost::ParamSetting::Kind::kKeyframe: text += "at " + setting.time.Text() + " "; break;
    case minihost::ParamSetting::Kind::kExpression: text += "= "; break;
  }
  text += setting.value;
  return text;
}

}  // namespace prismora::cli
