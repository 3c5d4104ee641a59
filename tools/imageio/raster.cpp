#include "imageio/raster.h"

#include <cstring>

namespace prismora::imageio {

int BytesPerPixel(Depth depth) {
  return VisitDepth(depth, [](auto t) {
    return static_cast<int>(sizeof(Argb<typename decltype(t)::type>));
  });
}

std::string DepthName(Depth depth) {
  switch (depth) {
    case Depth::k8: return "8-bit";
    case Depth::k16: return "16-bit";
    case Depth::k32: break;
  }
  return "32-bit float";
}

Raster::Raster(int width, int height, Depth depth)
    : width_(width < 0 ? 0 : width),
      height_(height < 0 ? 0 : height),
      depth_(depth),
      row_bytes_(static_cast<std::ptrdiff_t>(width_) * BytesPerPixel(depth)),
      pixels_(static_cast<std::size_t>(row_bytes_) * static_cast<std::size_t>(height_)) {}

bool Raster::SamePixels(const Raster& other) const {
  if (width_ != other.width_ || height_ != other.height_ || depth_ != other.depth_) return false;
  const auto bytes =
      static_cast<std::size_t>(width_) * static_cast<std::size_t>(BytesPerPixel(depth_));
  for (int y = 0; y < height_; ++y) {
    if (std::memcmp(data() + y * row_bytes_, other.data() + y * other.row_bytes_, bytes) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace prismora::imageio
