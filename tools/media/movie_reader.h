// Frames of a movie, decoded once each in order and handed to whichever
// thread asks for them.
//
// Frames are numbered from 0 in presentation order, each with its own
// presentation time (a variable rate is kept), all found by one scan of the
// video's packets at open, without decoding. Decoding is
// sequential: a thread asking for frame n decodes up to it, keeping the
// frames before n that are in the range it was told of for the threads
// that will ask for them, so that threads working on neighbouring frames
// never decode a frame twice. Only a frame asked for far ahead (or again,
// behind) makes the reader seek. The conversion to RGB (through libswscale,
// with the stream's colour matrix and range) runs on the asking thread, and
// frames are turned upright by the stream's display matrix.
//
// Builds without FFmpeg keep the interface; opening a movie throws
// MovieError saying so.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imageio/image_file.h"
#include "imageio/raster.h"
#include "media/movie_names.h"

namespace prismora::media {

struct MovieInfo {
  int width = 0;   // upright, as the viewer sees it
  int height = 0;
  FrameRate rate;  // nominal (the average, for a variable rate)
  int64_t frames = 0;
  // Each frame's presentation time in `time_base` units, in order (frame 0
  // at the stream's start, which may lie after 0). `constant_rate` when
  // every time lies on the nominal rate's grid from frame 0, to within the
  // time base's rounding.
  std::vector<int64_t> times;
  Fraction time_base;
  bool constant_rate = true;
  // The end of the last frame, in `time_base` units.
  int64_t end_time = 0;
  Fraction pixel_aspect;  // of the upright frames
  int orientation = 1;     // how stored frames are turned upright (imageio::Reorient)
  imageio::Depth depth = imageio::Depth::k8;  // 8-bit sources 8, deeper ones 16
  bool has_alpha = false;
  std::string codec;   // the decoder's name, "h264"
  int audio_streams = 0;
};

class MovieReader {
 public:
  // Opens the movie and finds its video stream, rate and frame count.
  // Throws MovieError naming the file: not a movie, no video stream, a
  // codec this FFmpeg cannot decode, a damaged header.
  MovieReader(const std::filesystem::path& path, imageio::InputAlpha alpha);
  ~MovieReader();
  MovieReader(const MovieReader&) = delete;
  MovieReader& operator=(const MovieReader&) = delete;

  const std::filesystem::path& path() const;
  const MovieInfo& info() const;

  // The frames that will be asked for, in order, a frame repeated as often
  // as it will be asked; frames decoded on the way and not among them are
  // dropped at once.
  void SetFrames(const std::vector<int64_t>& frames);

  // Frame n into `pixels`, which have the movie's (upright) size and any depth (16-bit
  // worlds hold 0..32768, floats 0..1). Safe on several threads at once.
  // Throws MovieError naming the file and the frame.
  void ReadFrame(int64_t n, const imageio::MutableRasterView& pixels);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace prismora::media
