// A movie as the source: its frames decoded once each, in order, for the
// threads that render them (see media::MovieReader), into 8-bit worlds for
// 8-bit video and 16-bit worlds for deeper video unless --depth says.
#include "frame_source.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

class MovieSource : public FrameSource {
 public:
  MovieSource(std::unique_ptr<media::MovieReader> movie, const SourceOptions& options,
              const std::vector<int64_t>& frames)
      : movie_(std::move(movie)) {
    const media::MovieInfo& info = movie_->info();
    width_ = info.width;
    height_ = info.height;
    pixel_aspect_ = info.pixel_aspect;
    depth_ = options.depth.value_or(info.depth);
    has_alpha_ = info.has_alpha && options.alpha != imageio::InputAlpha::kIgnore;
    movie_->SetFrames(frames);
    // Outputs see the frames as images of the movie's depth.
    metadata_.format.clear();
    metadata_.file_depth = info.depth;
    metadata_.pixel_type = info.depth == imageio::Depth::k8 ? "uint8" : "uint16";
    metadata_.has_alpha = info.has_alpha;
    metadata_.channels = info.has_alpha ? 4 : 3;
    metadata_.output_compression = options.compression;
  }

  SourceFrame Read(const Job& job, FrameScratch& scratch) override {
    movie_->ReadFrame(job.input_frame, ViewOf(WorldFor(scratch.world, width_, height_, depth_)));
    return {scratch.world.get(), &metadata_};
  }

 private:
  std::unique_ptr<media::MovieReader> movie_;
  imageio::ImageMetadata metadata_;
};

}  // namespace

std::unique_ptr<FrameSource> OpenMovieSource(std::unique_ptr<media::MovieReader> movie,
                                             const SourceOptions& options,
                                             const std::vector<int64_t>& frames) {
  return std::make_unique<MovieSource>(std::move(movie), options, frames);
}

}  // namespace prismora::cli
