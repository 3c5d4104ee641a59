#include "farm_plan.h"

#include <algorithm>

namespace prismora::cli {

std::vector<Chunk> PlanChunks(const FrameRange& shot, int64_t size) {
  std::vector<Chunk> chunks;
  for (int64_t first = shot.first; first <= shot.last; first += size) {
    const int64_t last = std::min(shot.last, first + size - 1);
    chunks.push_back({static_cast<int>(chunks.size()), {first, last}});
  }
  return chunks;
}

std::string ArraySpec(const std::vector<int>& indices, std::optional<int> max_running) {
  std::string spec;
  for (std::size_t i = 0; i < indices.size();) {
    std::size_t j = i;
    while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1) ++j;
    if (!spec.empty()) spec += ',';
    spec += std::to_string(indices[i]);
    if (j > i) spec += '-' + std::to_string(indices[j]);
    i = j + 1;
  }
  if (max_running) spec += '%' + std::to_string(*max_running);
  return spec;
}

std::string FramesText(const FrameRange& frames) {
  if (frames.count() == 1) return "frame " + std::to_string(frames.first);
  return "frames " + std::to_string(frames.first) + "-" + std::to_string(frames.last);
}

}  // namespace prismora::cli
