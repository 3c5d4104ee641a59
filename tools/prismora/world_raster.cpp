#include "world_raster.h"

#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace prismora::cli {
namespace {

template <class A, class P>
constexpr bool kSameLayout = sizeof(A) == sizeof(P) && offsetof(A, alpha) == offsetof(P, alpha) &&
                             offsetof(A, red) == offsetof(P, red) &&
                             offsetof(A, green) == offsetof(P, green) &&
                             offsetof(A, blue) == offsetof(P, blue);
static_assert(kSameLayout<imageio::Argb8, PF_Pixel>);
static_assert(kSameLayout<imageio::Argb16, PF_Pixel16>);
static_assert(kSameLayout<imageio::Argb32, PF_PixelFloat>);

imageio::Depth DepthOf(PF_PixelFormat format) {
  if (format == PF_PixelFormat_ARGB32) return imageio::Depth::k8;
  if (format == PF_PixelFormat_ARGB64) return imageio::Depth::k16;
  if (format == PF_PixelFormat_ARGB128) return imageio::Depth::k32;
  throw std::invalid_argument("a world of pixel format " + minihost::FormatName(format) +
                              " has no image depth");
}

// Rows padded to other than whole pixels would leave pixels unaligned.
void CheckWholePixelRows(const minihost::World& world) {
  if (world.row_bytes() % static_cast<A_long>(world.pixel_bytes()) != 0) {
    throw std::invalid_argument("a world whose rows are not whole pixels apart has no view");
  }
}

}  // namespace

PF_PixelFormat PixelFormatOf(imageio::Depth depth) {
  switch (depth) {
    case imageio::Depth::k8: return PF_PixelFormat_ARGB32;
    case imageio::Depth::k16: return PF_PixelFormat_ARGB64;
    case imageio::Depth::k32: break;
  }
  return PF_PixelFormat_ARGB128;
}

std::unique_ptr<minihost::World> WorldFromRaster(const imageio::Raster& raster) {
  auto world = std::make_unique<minihost::World>(raster.width(), raster.height(),
                                                 PixelFormatOf(raster.depth()));
  const auto bytes = static_cast<std::size_t>(raster.width()) *
                     static_cast<std::size_t>(imageio::BytesPerPixel(raster.depth()));
  for (int y = 0; y < raster.height(); ++y) {
    std::memcpy(world->row(y), raster.data() + y * raster.row_bytes(), bytes);
  }
  return world;
}

imageio::Raster RasterFromWorld(const minihost::World& world) {
  imageio::Raster raster(world.width(), world.height(), DepthOf(world.format()));
  const auto bytes = static_cast<std::size_t>(raster.width()) *
                     static_cast<std::size_t>(imageio::BytesPerPixel(raster.depth()));
  for (int y = 0; y < raster.height(); ++y) {
    std::memcpy(raster.data() + y * raster.row_bytes(), world.row(y), bytes);
  }
  return raster;
}

imageio::MutableRasterView ViewOf(minihost::World& world) {
  CheckWholePixelRows(world);
  return {reinterpret_cast<std::byte*>(world.row(0)), world.row_bytes(), world.width(),
          world.height(), DepthOf(world.format())};
}

imageio::RasterView ViewOf(const minihost::World& world) {
  CheckWholePixelRows(world);
  return {reinterpret_cast<const std::byte*>(world.row(0)), world.row_bytes(), world.width(),
          world.height(), DepthOf(world.format())};
}

}  // namespace prismora::cli
