// prismora --version: the tool's version and the plug-in's as a host learns
// it when it loads the library.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace prismora::cli {

// The version of prismora itself (the project's version).
std::string_view ToolVersion();

// The plug-in's name and version as a host learns them ("Prismora 1.2.0");
// throws what loading it throws.
std::string PluginVersion(const std::filesystem::path& plugin);

// `args` from "--version" or "-V" on, with an optional "--plugin PATH".
// Prints the tool's version, then the plug-in's name, version and path, or
// says on stderr why the plug-in could not be loaded and returns 1.
int RunVersion(std::span<const std::string_view> args);

}  // namespace prismora::cli
