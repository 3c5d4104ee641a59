// Options shared by the verbs that render: values that follow an option,
// numbers read strictly, and "-p NAME=VALUE" through the same reader as
// prismora params.
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

// Takes "-p NAME=VALUE" (or "--param NAME=VALUE") at position i, if it is
// there. Throws UsageError for a setting that is no NAME=VALUE.
bool TakeParamOption(std::span<const std::string_view> args, std::size_t& i,
                     std::vector<minihost::ParamSetting>& settings);

}  // namespace prismora::cli
