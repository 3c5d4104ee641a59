#include "media/subtitle_converter.h"

#include <cstring>

#include "media/movie_names.h"

namespace prismora::media {
namespace {

constexpr int kLargestText = 1 << 20;

}  // namespace

SubtitleConverter::SubtitleConverter(const AVStream& input, AVCodecID to) {
  const AVCodecParameters& p = *input.codecpar;
  const AVCodec* decoder = avcodec_find_decoder(p.codec_id);
  const AVCodec* encoder = avcodec_find_encoder(to);
  const std::string what =
      std::string(avcodec_get_name(p.codec_id)) + " subtitles as " + avcodec_get_name(to);
  if (decoder == nullptr || encoder == nullptr) {
    throw MovieError("this build of FFmpeg cannot convert " + what);
  }
  decoder_.reset(avcodec_alloc_context3(decoder));
  encoder_.reset(avcodec_alloc_context3(encoder));
  if (!decoder_ || !encoder_) throw std::bad_alloc();
  avcodec_parameters_to_context(decoder_.get(), &p);
  decoder_->pkt_timebase = input.time_base;
  int err = avcodec_open2(decoder_.get(), decoder, nullptr);
  if (err >= 0) {
    encoder_->time_base = input.time_base;
    // The styles the decoder reads its text into.
    if (decoder_->subtitle_header != nullptr) {
      encoder_->subtitle_header = static_cast<uint8_t*>(
          av_mallocz(static_cast<std::size_t>(decoder_->subtitle_header_size) + 1));
      if (encoder_->subtitle_header == nullptr) throw std::bad_alloc();
      std::memcpy(encoder_->subtitle_header, decoder_->subtitle_header,
                  static_cast<std::size_t>(decoder_->subtitle_header_size));
      encoder_->subtitle_header_size = decoder_->subtitle_header_size;
    }
    err = avcodec_open2(encoder_.get(), encoder, nullptr);
  }
  if (err < 0) throw MovieError("cannot convert " + what + ": " + AvErrorText(err));
}

void SubtitleConverter::Describe(AVStream& output) const {
  avcodec_parameters_from_context(output.codecpar, encoder_.get());
  output.time_base = encoder_->time_base;
}

bool SubtitleConverter::Convert(AVPacket& in, AVPacket& out) {
  AVSubtitle subtitle{};
  int got = 0;
  if (avcodec_decode_subtitle2(decoder_.get(), &subtitle, &got, &in) < 0 || got == 0) {
    return false;
  }
  text_.resize(kLargestText);
  const int size = avcodec_encode_subtitle(encoder_.get(), text_.data(),
                                           static_cast<int>(text_.size()), &subtitle);
  avsubtitle_free(&subtitle);
  if (size <= 0) return false;
  if (av_new_packet(&out, size) < 0) throw std::bad_alloc();
  std::memcpy(out.data, text_.data(), static_cast<std::size_t>(size));
  out.pts = in.pts;
  out.dts = in.dts;
  out.duration = in.duration;
  out.stream_index = in.stream_index;
  return true;
}

}  // namespace prismora::media
