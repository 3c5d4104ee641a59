// A still image as the source of every frame: read once, shared by all
// threads.
#include "frame_source.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

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
