// How a shot is split for the farm: chunks of N frames covering exactly the
// shot's frames, the last one shorter when N does not divide them, and the
// scheduler's array of tasks that renders a set of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sequence.h"

namespace prismora::cli {

struct Chunk {
  int index = 0;  // the array task that renders it
  FrameRange frames;
};

// Chunks of `size` frames (size >= 1) over `shot`, in order.
std::vector<Chunk> PlanChunks(const FrameRange& shot, int64_t size);

// The scheduler's array for tasks `indices` (ascending): runs as ranges,
// "0-9", "1,3,5-7", with "%M" when at most M may run at once.
std::string ArraySpec(const std::vector<int>& indices, std::optional<int> max_running);

// "frames 10-19" or "frame 10".
std::string FramesText(const FrameRange& frames);

}  // namespace prismora::cli
