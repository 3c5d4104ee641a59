// One output frame of prismora render: its number, the host time it is
// rendered at, and the files it comes from and goes to (for a movie, the
// movie itself).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "effect_renderer.h"

namespace prismora::cli {

struct Job {
  int64_t frame;
  HostTime time;
  std::filesystem::path input;
  std::filesystem::path output;
  int64_t input_frame = 0;  // of a movie: the frame shown (repeated when conforming)
};

// 'path', for messages.
inline std::string Quote(const std::filesystem::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

}  // namespace prismora::cli
