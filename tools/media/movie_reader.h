// Frames of a movie, decoded once each in order and handed to whichever
// thread asks for them.
//
// Frames are numbered from 0 at the movie's frame rate. Decoding is
// sequential: a thread asking for frame n decodes up to it, keeping the
// frames before n that are in the range it was told of for the threads
// that will ask for them, so that threads working on neighbouring frames
// never decode a frame twice. Only a frame asked for far ahead (or again,
// behind) makes the reader seek. The conversion to RGB (through libswscale,
// with the stream's colour matrix and range) runs on the asking thread.
//
// Builds without FFmpeg keep the interface; opening a movie throws
// MovieError saying so.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "imageio/image_file.h"
#include "imageio/raster.h"
#include "media/movie_names.h"

namespace prismora::media {

struct MovieInfo {
  int width = 0;
  int height = 0;
  FrameRate rate;
  int64_t frames = 0;
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

  // The frames that will be asked for, each once; frames decoded on the way
  // and outside them are dropped at once.
  void SetRange(int64_t first, int64_t last);

  // Frame n into `pixels`, which have the movie's size and any depth (16-bit
  // worlds hold 0..32768, floats 0..1). Safe on several threads at once.
  // Throws MovieError naming the file and the frame.
  void ReadFrame(int64_t n, const imageio::MutableRasterView& pixels);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace prismora::media
