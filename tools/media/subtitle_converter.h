// Text subtitles rewritten in a text codec the output's container takes
// (SubRip from .mkv as mov_text into .mp4), each packet timed as it was.
#pragma once

#include <cstdint>
#include <vector>

#include "media/av_support.h"

namespace prismora::media {

class SubtitleConverter {
 public:
  // Throws MovieError when either codec is missing from this FFmpeg.
  SubtitleConverter(const AVStream& input, AVCodecID to);

  // The output stream's parameters and time base (the input's).
  void Describe(AVStream& output) const;

  // `in`'s text in the output's codec, into `out` with `in`'s times; false
  // when it holds no text to show.
  bool Convert(AVPacket& in, AVPacket& out);

 private:
  CodecPtr decoder_;
  CodecPtr encoder_;
  std::vector<uint8_t> text_;  // what the encoder writes, before it is a packet
};

}  // namespace prismora::media
