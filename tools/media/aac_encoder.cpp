#include "media/aac_encoder.h"

#include <algorithm>
#include <cmath>

#include "media/movie_names.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace prismora::media {
namespace {

constexpr int kBitsPerChannel = 64000;

// The encoder's rate nearest the input's (it takes the usual ones).
int RateFor(const AVCodec& codec, int wanted) {
  if (codec.supported_samplerates == nullptr || wanted <= 0) return wanted > 0 ? wanted : 48000;
  int best = codec.supported_samplerates[0];
  for (const int* r = codec.supported_samplerates; *r != 0; ++r) {
    if (std::abs(*r - wanted) < std::abs(best - wanted)) best = *r;
  }
  return best;
}

// The input's channel layout where the encoder takes it, else its plain
// layout of as many channels, else stereo (downmixed).
AVChannelLayout LayoutFor(const AVCodec& codec, const AVChannelLayout& wanted) {
  AVChannelLayout plain{};
  av_channel_layout_default(&plain, std::max(1, wanted.nb_channels));
  if (codec.ch_layouts == nullptr) return plain;
  for (const AVChannelLayout* l = codec.ch_layouts; l->nb_channels != 0; ++l) {
    if (av_channel_layout_compare(l, &wanted) == 0) return *l;
  }
  for (const AVChannelLayout* l = codec.ch_layouts; l->nb_channels != 0; ++l) {
    if (av_channel_layout_compare(l, &plain) == 0) return *l;
  }
  AVChannelLayout stereo{};
  av_channel_layout_default(&stereo, 2);
  return stereo;
}

int SampleIndex(double seconds, double rate, int samples) {
  const double at = std::ceil(seconds * rate - 1e-6);
  if (!(at > 0)) return 0;
  return at >= samples ? samples : static_cast<int>(at);
}

}  // namespace

AacEncoder::AacEncoder(const AVStream& input, const AudioSpan& span, bool global_header)
    : span_(span), input_time_base_(input.time_base) {
  const AVCodecParameters& p = *input.codecpar;
  const std::string name = std::string(avcodec_get_name(p.codec_id)) + " audio";
  const AVCodec* decoder = avcodec_find_decoder(p.codec_id);
  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (decoder == nullptr || encoder == nullptr) {
    throw MovieError("this build of FFmpeg cannot convert " + name + " to AAC");
  }
  decoder_.reset(avcodec_alloc_context3(decoder));
  encoder_.reset(avcodec_alloc_context3(encoder));
  if (!decoder_ || !encoder_) throw std::bad_alloc();
  avcodec_parameters_to_context(decoder_.get(), &p);
  decoder_->pkt_timebase = input.time_base;
  if (const int err = avcodec_open2(decoder_.get(), decoder, nullptr); err < 0) {
    throw MovieError("cannot decode the " + name + ": " + AvErrorText(err));
  }
  AVCodecContext& e = *encoder_;
  e.sample_fmt = AV_SAMPLE_FMT_FLTP;
  e.sample_rate = RateFor(*encoder, p.sample_rate);
  const AVChannelLayout layout = LayoutFor(*encoder, p.ch_layout);
  av_channel_layout_copy(&e.ch_layout, &layout);
  e.bit_rate = int64_t{kBitsPerChannel} * e.ch_layout.nb_channels;
  e.time_base = {1, e.sample_rate};
  if (global_header) e.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (const int err = avcodec_open2(&e, encoder, nullptr); err < 0) {
    throw MovieError("cannot encode the " + name + " as AAC: " + AvErrorText(err));
  }
  fifo_ = av_audio_fifo_alloc(e.sample_fmt, e.ch_layout.nb_channels, e.frame_size);
  if (fifo_ == nullptr) throw std::bad_alloc();
}

AacEncoder::~AacEncoder() {
  swr_free(&resampler_);
  if (fifo_ != nullptr) av_audio_fifo_free(fifo_);
}

void AacEncoder::Describe(AVStream& output) const {
  avcodec_parameters_from_context(output.codecpar, encoder_.get());
  output.time_base = encoder_->time_base;
}

AVRational AacEncoder::time_base() const { return encoder_->time_base; }

void AacEncoder::Send(const AVPacket* packet, const std::function<void(AVPacket&)>& emit) {
  int err = avcodec_send_packet(decoder_.get(), packet);
  // A damaged packet is left out, as a player skips it.
  if (err < 0 && err != AVERROR_INVALIDDATA && err != AVERROR_EOF) {
    throw MovieError("cannot decode the audio: " + AvErrorText(err));
  }
  FramePtr frame = NewFrame();
  while ((err = avcodec_receive_frame(decoder_.get(), frame.get())) >= 0) {
    Keep(*frame, emit);
    av_frame_unref(frame.get());
  }
  if (err != AVERROR(EAGAIN) && err != AVERROR_EOF && err != AVERROR_INVALIDDATA) {
    throw MovieError("cannot decode the audio: " + AvErrorText(err));
  }
  if (packet != nullptr) return;
  if (resampler_ != nullptr) Keep(AVFrame{}, emit);  // what the resampler holds back
  const int frame_size = encoder_->frame_size;
  while (av_audio_fifo_size(fifo_) > 0) {
    Encode(std::min(frame_size, av_audio_fifo_size(fifo_)), emit);
  }
  avcodec_send_frame(encoder_.get(), nullptr);
  Drain(emit);
}

void AacEncoder::Keep(const AVFrame& frame, const std::function<void(AVPacket&)>& emit) {
  const uint8_t* const* planes = nullptr;
  int first = 0, count = 0;
  const uint8_t* offset[AV_NUM_DATA_POINTERS] = {};
  if (frame.nb_samples > 0) {
    const double rate = frame.sample_rate;
    const double start =
        frame.best_effort_timestamp != AV_NOPTS_VALUE
            ? static_cast<double>(frame.best_effort_timestamp) * av_q2d(input_time_base_)
            : static_cast<double>(decoded_) / rate;
    decoded_ += frame.nb_samples;
    first = SampleIndex(span_.start - start, rate, frame.nb_samples);
    const int last = SampleIndex(span_.end - start, rate, frame.nb_samples);
    if (first >= last) return;
    count = last - first;
    if (next_pts_ == AV_NOPTS_VALUE) {
      next_pts_ = std::llround((start + first / rate - span_.origin) * encoder_->sample_rate);
    }
    if (resampler_ == nullptr) {
      AVChannelLayout in{};
      if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&in, frame.ch_layout.nb_channels);
      } else {
        av_channel_layout_copy(&in, &frame.ch_layout);
      }
      const int err = swr_alloc_set_opts2(
          &resampler_, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate, &in,
          static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
      av_channel_layout_uninit(&in);
      if (err < 0 || swr_init(resampler_) < 0) {
        throw MovieError("cannot convert the audio's samples for AAC");
      }
    }
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const int bytes = av_get_bytes_per_sample(format);
    const int channels = frame.ch_layout.nb_channels;
    if (av_sample_fmt_is_planar(format) != 0) {
      for (int c = 0; c < channels && c < AV_NUM_DATA_POINTERS; ++c) {
        offset[c] = frame.extended_data[c] + static_cast<std::ptrdiff_t>(first) * bytes;
      }
    } else {
      offset[0] = frame.extended_data[0] + static_cast<std::ptrdiff_t>(first) * bytes * channels;
    }
    planes = offset;
  }
  FramePtr out = NewFrame();
  out->format = encoder_->sample_fmt;
  out->nb_samples = swr_get_out_samples(resampler_, count);
  if (out->nb_samples <= 0) return;
  av_channel_layout_copy(&out->ch_layout, &encoder_->ch_layout);
  if (av_frame_get_buffer(out.get(), 0) < 0) throw std::bad_alloc();
  const int made = swr_convert(resampler_, out->extended_data, out->nb_samples,
                               const_cast<const uint8_t**>(planes), count);
  if (made < 0) throw MovieError("cannot convert the audio's samples for AAC");
  if (av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out->extended_data), made) < made) {
    throw std::bad_alloc();
  }
  while (av_audio_fifo_size(fifo_) >= encoder_->frame_size) Encode(encoder_->frame_size, emit);
}

void AacEncoder::Encode(int samples, const std::function<void(AVPacket&)>& emit) {
  FramePtr frame = NewFrame();
  frame->format = encoder_->sample_fmt;
  frame->nb_samples = samples;
  frame->sample_rate = encoder_->sample_rate;
  av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout);
  if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
  av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame->extended_data), samples);
  frame->pts = next_pts_;
  next_pts_ += samples;
  if (const int err = avcodec_send_frame(encoder_.get(), frame.get()); err < 0) {
    throw MovieError("cannot encode the audio as AAC: " + AvErrorText(err));
  }
  Drain(emit);
}

void AacEncoder::Drain(const std::function<void(AVPacket&)>& emit) {
  PacketPtr packet = NewPacket();
  int err = 0;
  while ((err = avcodec_receive_packet(encoder_.get(), packet.get())) >= 0) {
    emit(*packet);
    av_packet_unref(packet.get());
  }
  if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) {
    throw MovieError("cannot encode the audio as AAC: " + AvErrorText(err));
  }
}

}  // namespace prismora::media
