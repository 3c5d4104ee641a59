// A still image as the source of every frame: read once, shared by all
// threads.
#include <cmath>
#include <cstring>

#include "frame_source.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

// The pixel aspect a file states (OpenEXR's, DPX's "PixelAspectRatio"), as
// the nearest fraction with a denominator up to 1000 (4/3, 10/11); square
// when it states none that makes sense.
media::Fraction PixelAspectOf(const imageio::ImageMetadata& metadata) {
  for (const imageio::Attribute& a : metadata.attributes) {
    if (a.name != "PixelAspectRatio" || a.type != "float" || a.data.size() != sizeof(float)) {
      continue;
    }
    float value = 0;
    std::memcpy(&value, a.data.data(), sizeof value);
    if (!(value >= 0.001f && value <= 1000.0f)) break;
    media::Fraction best{1, 1};
    double error = INFINITY;
    for (int64_t den = 1; den <= 1000 && error > 1e-6 * value; ++den) {
      const int64_t num = std::llround(value * static_cast<double>(den));
      const double e = std::fabs(static_cast<double>(num) / static_cast<double>(den) - value);
      if (num > 0 && e < error) {
        error = e;
        best = {num, den};
      }
    }
    return best;
  }
  return {};
}

class StillSource : public FrameSource {
 public:
  StillSource(const std::filesystem::path& path, const SourceOptions& options) {
    metadata_ = imageio::ReadImage(path, options.depth, [&](int w, int h, imageio::Depth d) {
      width_ = w;
      height_ = h;
      return ViewOf(WorldFor(world_, w, h, d));
    }, options.alpha);
    metadata_.output_compression = options.compression;
    depth_ = ViewOf(*world_).depth;
    has_alpha_ = metadata_.has_alpha && options.alpha != imageio::InputAlpha::kIgnore;
    pixel_aspect_ = PixelAspectOf(metadata_);
  }

  SourceFrame Read(const Job&, FrameScratch&) override { return {world_.get(), &metadata_}; }

 private:
  std::unique_ptr<minihost::World> world_;
  imageio::ImageMetadata metadata_;
};

}  // namespace

minihost::World& WorldFor(std::unique_ptr<minihost::World>& world, int width, int height,
                          imageio::Depth depth) {
  const PF_PixelFormat format = PixelFormatOf(depth);
  if (!world || world->width() != width || world->height() != height ||
      world->format() != format) {
    world.reset();  // the old one goes first
    world = std::make_unique<minihost::World>(width, height, format);
  }
  return *world;
}

std::unique_ptr<FrameSource> OpenStill(const std::filesystem::path& path,
                                       const SourceOptions& options) {
  return std::make_unique<StillSource>(path, options);
}

}  // namespace prismora::cli
