// Movies written by the render: frames handed over on several threads in
// any order, converted on the handing thread, encoded and muxed in order on
// a thread of the writer's own, into a hidden temporary file (a PendingFile,
// whose checked writes every byte goes through) that is renamed into place
// only once the movie is whole.
//
// Codecs and pixel formats:
//   H.264        libx264, yuv420p (8 bits, BT.709, limited range), --crf (18)
//   ProRes 4444  prores_ks, yuv444p10le, or yuva444p10le with alpha
//   FFV1         8-bit worlds bgr0 / bgra, deeper ones gbrp16le / gbrap16le:
//                lossless both ways (16-bit worlds through FileFromWorld16)
// Frames keep the times they are given (a variable rate, a start offset).
// Audio and subtitle streams of a movie input are copied unchanged, cut to
// the rendered frames' time span; those the container cannot hold are
// converted (audio to AAC, text subtitles to a text codec it takes) or
// named before rendering. The title, languages, timecode (advanced to the
// first rendered frame) and an interlaced picture's field order are kept.
//
// Builds without FFmpeg keep the interface; every call throws MovieError
// saying so.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imageio/raster.h"
#include "media/movie_names.h"

namespace prismora::media {

// What becomes of a movie input's audio (--audio): by default copied, or
// converted to AAC where the container cannot hold its codec.
enum class AudioChoice { kDefault, kCopy, kAac, kNone };

// --audio's words: copy, aac, none.
inline std::optional<AudioChoice> ParseAudioChoice(std::string_view text) {
  if (text == "copy") return AudioChoice::kCopy;
  if (text == "aac") return AudioChoice::kAac;
  if (text == "none") return AudioChoice::kNone;
  return std::nullopt;
}

struct MovieOutput {
  std::filesystem::path target;
  std::optional<Codec> codec;          // by default by the extension: see DefaultCodec
  std::optional<int> crf;              // H.264 only
  std::optional<imageio::Depth> depth; // asked for with --depth
  FrameRate rate;
  int width = 0;
  int height = 0;
  imageio::Depth world_depth = imageio::Depth::k8;  // of the rendered frames
  bool alpha = false;                  // the frames carry an alpha to keep
  std::string alpha_source;            // what has that alpha, for messages
  // Each frame's presentation time in `time_base` units (a variable rate, a
  // start offset); none: frame n at n / rate.
  std::vector<int64_t> times;
  Fraction time_base;
  bool variable_rate = false;  // the times are not evenly spaced
  Fraction pixel_aspect;  // of the frames' pixels, kept on the stream
  // The movie whose audio, subtitles and tags are kept, the span of its
  // clock (in seconds; open at an end of the movie) that the frames cover,
  // and how far that span moves back on the output, as the frames do.
  std::filesystem::path audio_from;
  AudioChoice audio = AudioChoice::kDefault;
  bool subtitles = true;  // false: --subtitles none
  double audio_start = 0;
  double audio_end = 0;
  double audio_shift = 0;
  // The movie's timecode moves on by this many frames at this rate: from its
  // first frame to the first one rendered.
  FrameRate timecode_rate;
  int64_t timecode_frames = 0;
  int64_t frames = 0;
  // The threads that hand frames over: as many frames again may wait to be
  // encoded. Also the encoder's threads (0: as many as it likes).
  int threads = 0;
};

// The codec that an extension calls for when none is asked: .mp4, .m4v and
// MPEG-TS (.ts, .m2ts, .mts) H.264, .mov ProRes 4444, .mkv and others FFV1.
Codec DefaultCodec(const std::filesystem::path& target);

// Throws MovieUsageError naming the problem when the output cannot be
// written as asked: an extension no muxer takes, a container that cannot
// hold the codec, or the input's audio or subtitles in a way asked (with
// the option that drops or converts them), a variable rate into a container
// without one, a depth above the codec's, an
// alpha into a codec without one, --crf for a codec without it, a size the
// codec's pixel format cannot take. Returns a line for each stream that
// will be converted without being asked.
std::vector<std::string> CheckMovieOutput(const MovieOutput& output);

class MovieWriter {
 public:
  // Sets up the muxer and the encoder into a new temporary file beside the
  // target and starts the encoding thread; `written` is told of each frame
  // (0-based) once it is encoded. Throws MovieError.
  MovieWriter(const MovieOutput& output, std::function<void(int64_t)> written);
  // Discards the temporary file unless Finish() committed it.
  ~MovieWriter();
  MovieWriter(const MovieWriter&) = delete;
  MovieWriter& operator=(const MovieWriter&) = delete;

  // Frame `index` (0-based) of the movie, in the output's size and world
  // depth. Safe on several threads at once; waits while the frame is too
  // far ahead of the one being encoded, so that memory stays bounded.
  // Returns false when `stop` turned true while waiting. Throws MovieError
  // once the writer has failed.
  bool Put(int64_t index, const imageio::RasterView& pixels, const std::function<bool()>& stop);

  // Once every frame was put: flushes the encoder, finishes the file and
  // renames it into place. Throws MovieError or imageio::ImageError naming
  // the target.
  void Finish();
  // Stops the encoding thread; the temporary file goes with the writer.
  void Abandon();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace prismora::media
