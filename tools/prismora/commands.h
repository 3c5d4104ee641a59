// The verbs of the prismora command-line program.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace prismora::cli {

// Exit codes: 0 success, 1 a failure while working, 2 a usage error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A usage error: the message is printed with a pointer to --help.
struct UsageError {
  std::string message;
};

int RunInfo(std::span<const std::string_view> args);
int RunParams(std::span<const std::string_view> args);
int RunRender(std::span<const std::string_view> args);
int RunDemo(std::span<const std::string_view> args);
int RunFarm(std::span<const std::string_view> args);

// Takes "--plugin PATH" out of the arguments at position i, if it is there.
bool TakePluginOption(std::span<const std::string_view> args, std::size_t& i,
                      std::filesystem::path& plugin);

}  // namespace prismora::cli
