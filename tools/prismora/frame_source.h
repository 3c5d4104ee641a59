// Where the frames of prismora render come from: "frame N in", whatever
// holds it. A still is read once and serves every frame; an image sequence
// reads one file per frame; a movie decodes its frames in order for the
// threads that ask for them. Each kind is a file of its own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imageio/image_file.h"
#include "media/movie_reader.h"
#include "minihost/suites/worlds.h"
#include "render_job.h"

namespace prismora::cli {

// A thread's own room for the frames it reads.
struct FrameScratch {
  std::unique_ptr<minihost::World> world;
  imageio::ImageMetadata metadata;
};

// A frame ready to render, and what describes it to the outputs.
struct SourceFrame {
  const minihost::World* world = nullptr;
  const imageio::ImageMetadata* metadata = nullptr;
};

struct SourceOptions {
  std::optional<imageio::Depth> depth;
  imageio::InputAlpha alpha = imageio::InputAlpha::kAsStored;
  std::string compression;  // asked for the outputs
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;

  int width() const { return width_; }
  int height() const { return height_; }
  // The depth of the worlds it gives, when known before the first frame is
  // read (a sequence's first file tells), and whether they carry an alpha of
  // the input's.
  imageio::Depth depth() const { return depth_; }
  bool has_alpha() const { return has_alpha_; }
  // The shape of its pixels (width over height).
  media::Fraction pixel_aspect() const { return pixel_aspect_; }

  // The frame of `job`: in `scratch`, or in a world the source keeps. Safe
  // on several threads at once, each with its own scratch. Throws
  // imageio::ImageError or media::MovieError naming the file.
  virtual SourceFrame Read(const Job& job, FrameScratch& scratch) = 0;

 protected:
  int width_ = 0;
  int height_ = 0;
  imageio::Depth depth_ = imageio::Depth::k8;
  bool has_alpha_ = false;
  media::Fraction pixel_aspect_;
};

// One image file, read now.
std::unique_ptr<FrameSource> OpenStill(const std::filesystem::path& path,
                                       const SourceOptions& options);
// The files of `jobs`, checked now to be there and of one size.
std::unique_ptr<FrameSource> OpenSequence(const std::vector<Job>& jobs,
                                          const SourceOptions& options);
// A movie already opened, of which `frames` are rendered (a frame repeated
// as often as it is shown).
std::unique_ptr<FrameSource> OpenMovieSource(std::unique_ptr<media::MovieReader> movie,
                                             const SourceOptions& options,
                                             const std::vector<int64_t>& frames);

// A world for `depth` pixels of width x height: `world` itself when it
// already is one, else a new one in its place.
minihost::World& WorldFor(std::unique_ptr<minihost::World>& world, int width, int height,
                          imageio::Depth depth);

}  // namespace prismora::cli
