// An image sequence as the source: one file per frame, all there and of one
// size before anything is rendered, each read by the thread that renders it.
#include <system_error>

#include "frame_source.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

namespace fs = std::filesystem;

class SequenceSource : public FrameSource {
 public:
  SequenceSource(const std::vector<Job>& jobs, const SourceOptions& options)
      : options_(options) {
    for (const Job& job : jobs) {
      std::error_code ec;
      if (!fs::exists(job.input, ec)) {
        throw imageio::ImageError("frame " + std::to_string(job.frame) +
                                  " of the input sequence is missing: " + Quote(job.input));
      }
      const imageio::ImageSize size = imageio::ReadImageSize(job.input);
      if (&job == &jobs.front()) {
        width_ = size.width;
        height_ = size.height;
        depth_ = options.depth.value_or(size.depth);
        has_alpha_ = size.has_alpha && options.alpha != imageio::InputAlpha::kIgnore;
      } else if (size.width != width_ || size.height != height_) {
        throw imageio::ImageError(
            "frame " + std::to_string(job.frame) + " (" + Quote(job.input) + ") is " +
            std::to_string(size.width) + "x" + std::to_string(size.height) + " but frame " +
            std::to_string(jobs.front().frame) + " is " + std::to_string(width_) + "x" +
            std::to_string(height_) + ": a sequence keeps one size");
      }
    }
  }

  SourceFrame Read(const Job& job, FrameScratch& scratch) override {
    scratch.metadata =
        imageio::ReadImage(job.input, options_.depth, [&](int w, int h, imageio::Depth d) {
          if (w != width_ || h != height_) {
            throw imageio::ImageError(Quote(job.input) + " is " + std::to_string(w) + "x" +
                                      std::to_string(h) + ", unlike the sequence's first frame");
          }
          return ViewOf(WorldFor(scratch.world, w, h, d));
        }, options_.alpha);
    scratch.metadata.output_compression = options_.compression;
    return {scratch.world.get(), &scratch.metadata};
  }

 private:
  SourceOptions options_;
};

}  // namespace

std::unique_ptr<FrameSource> OpenSequence(const std::vector<Job>& jobs,
                                          const SourceOptions& options) {
  return std::make_unique<SequenceSource>(jobs, options);
}

}  // namespace prismora::cli
