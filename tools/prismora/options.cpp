#include "commands.h"

namespace prismora::cli {

bool TakePluginOption(std::span<const std::string_view> args, std::size_t& i,
                      std::filesystem::path& plugin) {
  if (args[i] != "--plugin") return false;
  if (i + 1 >= args.size()) throw UsageError{"--plugin needs a path"};
  plugin = std::filesystem::path(std::string(args[++i]));
  return true;
}

}  // namespace prismora::cli
