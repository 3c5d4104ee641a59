// The help of prismora and of each of its commands, in one place: the
// overview, every command's usage, options with their values and defaults,
// examples and exit codes. The option tables here also say which options take
// a value, so that "--help" given as a value is not taken as a request for
// help.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace prismora::cli {

// The width every help text is wrapped to.
inline constexpr std::size_t kHelpWidth = 80;

// The commands, in the order the overview lists them ("help" included).
std::vector<std::string_view> CommandNames();
bool IsCommand(std::string_view name);

// Commands, one line each, and how to get a command's help.
std::string OverviewHelp();
// The whole help of a command from CommandNames().
std::string CommandHelp(std::string_view command);

// Whether the arguments after `command` ask for its help: "--help" or "-h"
// standing where an option may stand, not as the value of an option that
// takes one ("-p NAME=--help", "--compression -h"). An empty `command` is
// the top level ("prismora --version --plugin PATH").
bool AsksForHelp(std::string_view command, std::span<const std::string_view> args);

// "see 'prismora render --help'", or the overview's for anything else.
std::string HelpPointer(std::string_view command);

}  // namespace prismora::cli
