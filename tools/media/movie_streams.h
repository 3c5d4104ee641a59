// What of a movie input, besides its picture, goes into a movie output:
// its audio and subtitle streams (copied, or converted where the container
// cannot hold them), its title, languages and timecode, and its field
// order. Everything the container cannot hold is found here, before any
// rendering, and named with the option that drops or converts it.
#pragma once

#include <string>
#include <vector>

#include "media/av_support.h"
#include "media/movie_writer.h"

namespace prismora::media {

// A stream of the input that the output takes: copied packet by packet, or
// decoded and encoded again as `codec`.
struct CarriedStream {
  int input = 0;  // the stream's index in the input
  bool encode = false;
  AVCodecID codec = AV_CODEC_ID_NONE;  // the output's
};

// Which of `input`'s audio and subtitle streams the output takes, and how,
// as `output`'s --audio and --subtitles say. Throws MovieUsageError for a
// stream the container cannot hold and that no choice converts; each
// conversion nobody asked for adds a line to `notices`.
std::vector<CarriedStream> PlanStreams(const AVFormatContext& input, const AVOutputFormat& muxer,
                                       const MovieOutput& output,
                                       std::vector<std::string>* notices);

// Whether `muxer` really writes a stream of these parameters: its own
// answer, a table where it gives none (MPEG-TS), and a trial set-up.
bool MuxerHolds(const AVOutputFormat& muxer, const AVCodecParameters& parameters);

// The input's title and other file tags, its video stream's language and
// title, and its timecode advanced to the first rendered frame (which
// .mov and .mp4 muxers make a timecode track of).
void CopyTags(const AVFormatContext& input, const MovieOutput& output, AVFormatContext& muxer,
              AVStream& video);

// The field order of the input's picture: AV_FIELD_PROGRESSIVE or
// unknown for whole frames.
AVFieldOrder FieldOrderOf(const AVFormatContext& input);
bool Interlaced(AVFieldOrder order);
// Marks a frame as interlaced, with its top or bottom field first.
void MarkFields(AVFrame& frame, AVFieldOrder order);

}  // namespace prismora::media
