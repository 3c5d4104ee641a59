// Audio decoded and encoded again with FFmpeg's own AAC encoder, for a
// container that cannot hold the input's codec (FLAC or PCM into .mp4) or
// when asked. The samples kept are cut to the span to the sample, and
// timed from the output's 0 as copied audio is.
#pragma once

#include <functional>

#include "media/av_support.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

namespace prismora::media {

// Seconds on the input's time line: where the output's 0 lies, and the
// samples kept, [start, end).
struct AudioSpan {
  double origin = 0;
  double start = 0;
  double end = 0;
};

class AacEncoder {
 public:
  // Throws MovieError when the stream cannot be decoded or the encoder set
  // up.
  AacEncoder(const AVStream& input, const AudioSpan& span, bool global_header);
  ~AacEncoder();
  AacEncoder(const AacEncoder&) = delete;
  AacEncoder& operator=(const AacEncoder&) = delete;

  // The output stream's parameters and time base.
  void Describe(AVStream& output) const;
  AVRational time_base() const;

  // Decodes a packet of the input stream (nullptr: there are no more) and
  // hands each encoded packet, timed in time_base(), to `emit`.
  void Send(const AVPacket* packet, const std::function<void(AVPacket&)>& emit);

 private:
  void Keep(const AVFrame& frame, const std::function<void(AVPacket&)>& emit);
  void Encode(int samples, const std::function<void(AVPacket&)>& emit);
  void Drain(const std::function<void(AVPacket&)>& emit);

  AudioSpan span_;
  AVRational input_time_base_;
  CodecPtr decoder_;
  CodecPtr encoder_;
  SwrContext* resampler_ = nullptr;
  AVAudioFifo* fifo_ = nullptr;
  int64_t next_pts_ = AV_NOPTS_VALUE;  // of the next encoded frame, in samples
  int64_t decoded_ = 0;                // samples decoded, for frames without a time
};

}  // namespace prismora::media
