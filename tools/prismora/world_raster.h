// Rasters from image files to the host's worlds and back: the same pixel
// layout (alpha, red, green, blue at the host's three depths), copied row by
// row since worlds may pad their rows.
#pragma once

#include <memory>

#include "imageio/raster.h"
#include "minihost/suites/worlds.h"

namespace prismora::cli {

PF_PixelFormat PixelFormatOf(imageio::Depth depth);

std::unique_ptr<minihost::World> WorldFromRaster(const imageio::Raster& raster);
imageio::Raster RasterFromWorld(const minihost::World& world);

// A world's own pixels, for files to be read into and written from without
// a copy.
imageio::MutableRasterView ViewOf(minihost::World& world);
imageio::RasterView ViewOf(const minihost::World& world);

}  // namespace prismora::cli
