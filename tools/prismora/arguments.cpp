#include "arguments.h"

#include <charconv>
#include <cmath>

#include "commands.h"
#include "minihost/params/param_text.h"

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

bool TakeParamOption(std::span<const std::string_view> args, std::size_t& i,
                     std::vector<minihost::ParamSetting>& settings) {
  if (args[i] != "-p" && args[i] != "--param") return false;
  if (i + 1 >= args.size()) throw UsageError{"-p needs NAME=VALUE"};
  try {
    auto [name, value] = minihost::SplitAssignment(args[++i]);
    settings.push_back({std::move(name), std::move(value)});
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }
  return true;
}

}  // namespace prismora::cli
