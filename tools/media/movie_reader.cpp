#include "media/movie_reader.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "media/av_support.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace prismora::media {
namespace {

using imageio::Depth;

// A frame asked for this far beyond the next one to decode is reached by
// seeking instead of decoding everything between.
constexpr int64_t kSeekAhead = 64;

std::string FrameText(int64_t n) { return "frame " + std::to_string(n); }

bool IsImageFormat(std::string_view name) {
  return name == "image2" ||
         (name.size() > 5 && name.substr(name.size() - 5) == "_pipe");
}

// One thread's conversion from decoded frames to the host's layout.
struct Converter {
  SwsPtr context;
  std::vector<uint16_t> wide;  // RGBA at 16 bits, for deep worlds
};

}  // namespace

struct MovieReader::State {
  std::filesystem::path path;
  MovieInfo info;
  imageio::InputAlpha alpha = imageio::InputAlpha::kAsStored;

  std::mutex decode_mutex;
  InputPtr input;
  CodecPtr decoder;
  AVStream* stream = nullptr;
  PacketPtr packet = NewPacket();
  int64_t next = 0;           // the index of the next frame decoded
  bool index_from_time = false;  // after a seek: the next frame's index is its time's
  bool draining = false;
  int64_t first = 0, last = INT64_MAX;  // the frames that will be asked for
  std::map<int64_t, FramePtr> ready;    // decoded, waiting for their threads

  std::mutex converter_mutex;
  std::vector<std::unique_ptr<Converter>> converters;

  [[noreturn]] void Fail(int64_t n, const std::string& why) const {
    throw MovieFrameError("cannot read " + FrameText(n) + " of " + Quote(path) + ": " + why);
  }

  int64_t StartTime() const {
    return stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  }

  void Seek(int64_t n) {
    const AVRational frame_time{static_cast<int>(info.rate.den), static_cast<int>(info.rate.num)};
    const int64_t target = StartTime() + av_rescale_q(n, frame_time, stream->time_base);
    const bool far = n > 0;
    int err = av_seek_frame(input.get(), stream->index, far ? target : StartTime(),
                            AVSEEK_FLAG_BACKWARD);
    if (err < 0 && far) {
      // Streams that cannot seek to a time are read again from the start.
      err = av_seek_frame(input.get(), stream->index, StartTime(), AVSEEK_FLAG_BACKWARD);
      index_from_time = false;
    } else {
      index_from_time = far;
    }
    if (err < 0) Fail(n, "cannot seek back in the movie: " + AvErrorText(err));
    avcodec_flush_buffers(decoder.get());
    draining = false;
    next = 0;
  }

  // The next decoded frame, or nothing at the end of the movie.
  FramePtr DecodeNext() {
    FramePtr frame = NewFrame();
    while (true) {
      int err = avcodec_receive_frame(decoder.get(), frame.get());
      if (err == 0) {
        if ((frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame->decode_error_flags != 0) {
          Fail(next, "the frame is damaged");
        }
        if (frame->width != info.width || frame->height != info.height) {
          Fail(next, "the frame is " + std::to_string(frame->width) + "x" +
                         std::to_string(frame->height) + ", unlike the movie's " +
                         std::to_string(info.width) + "x" + std::to_string(info.height));
        }
        return frame;
      }
      if (err == AVERROR_EOF) return nullptr;
      if (err != AVERROR(EAGAIN)) Fail(next, "the video is damaged (" + AvErrorText(err) + ")");
      if (draining) return nullptr;
      err = av_read_frame(input.get(), packet.get());
      if (err == AVERROR_EOF) {
        draining = true;
        err = avcodec_send_packet(decoder.get(), nullptr);
        if (err < 0 && err != AVERROR_EOF) Fail(next, AvErrorText(err));
        continue;
      }
      if (err < 0) Fail(next, "the file is damaged (" + AvErrorText(err) + ")");
      if (packet->stream_index == stream->index) {
        err = avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (err < 0 && err != AVERROR(EAGAIN)) {
          Fail(next, "the video is damaged (" + AvErrorText(err) + ")");
        }
      } else {
        av_packet_unref(packet.get());
      }
    }
  }

  int64_t IndexOf(const AVFrame& frame) {
    if (index_from_time) {
      index_from_time = false;
      const int64_t t = frame.best_effort_timestamp;
      if (t != AV_NOPTS_VALUE) {
        const AVRational frame_time{static_cast<int>(info.rate.den),
                                    static_cast<int>(info.rate.num)};
        next = av_rescale_q_rnd(t - StartTime(), stream->time_base, frame_time,
                                AV_ROUND_NEAR_INF);
        next = std::max<int64_t>(next, 0);
      }
    }
    return next++;
  }

  // Frame n, decoded on the way from where the decoder stands.
  FramePtr Take(int64_t n) {
    std::lock_guard lock(decode_mutex);
    if (auto it = ready.find(n); it != ready.end()) {
      FramePtr frame = std::move(it->second);
      ready.erase(it);
      return frame;
    }
    if (n < next || n > next + kSeekAhead) Seek(n);
    while (true) {
      FramePtr frame = DecodeNext();
      if (!frame) {
        if (next == 0) Fail(n, "the movie holds no frame there");
        throw MovieFrameError(Quote(path) + " ends at frame " + std::to_string(next - 1) +
                              ": " + FrameText(n) + " is not in it (the file is cut short)");
      }
      const int64_t index = IndexOf(*frame);
      if (index == n) return frame;
      if (index > n) {
        // A seek that landed past the frame: read again from the start.
        Seek(0);
        continue;
      }
      if (index >= first && index <= last && !ready.contains(index)) {
        ready.emplace(index, std::move(frame));
      }
    }
  }

  std::unique_ptr<Converter> Borrow() {
    std::lock_guard lock(converter_mutex);
    if (converters.empty()) return std::make_unique<Converter>();
    auto c = std::move(converters.back());
    converters.pop_back();
    return c;
  }
  void Return(std::unique_ptr<Converter> c) {
    std::lock_guard lock(converter_mutex);
    converters.push_back(std::move(c));
  }

  void Convert(int64_t n, const AVFrame& frame, const imageio::MutableRasterView& pixels) {
    auto converter = Borrow();
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const bool narrow = pixels.depth == Depth::k8;
    const AVPixelFormat to = narrow ? AV_PIX_FMT_ARGB : AV_PIX_FMT_RGBA64;
    converter->context.reset(sws_getCachedContext(
        converter->context.release(), frame.width, frame.height, format, frame.width,
        frame.height, to,
        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr,
        nullptr, nullptr));
    if (!converter->context) {
      const char* name = av_get_pix_fmt_name(format);
      Fail(n, std::string("its pixel format ") + (name != nullptr ? name : "(unknown)") +
                  " cannot be converted to RGB");
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (desc != nullptr && (desc->flags & AV_PIX_FMT_FLAG_RGB) == 0) {
      const bool full = frame.color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
                        format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
                        format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
      sws_setColorspaceDetails(converter->context.get(),
                               sws_getCoefficients(SwsMatrix(frame.colorspace, frame.height)),
                               full ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                               1 << 16);
    }
    uint8_t* planes[4] = {};
    int strides[4] = {};
    if (narrow) {
      planes[0] = reinterpret_cast<uint8_t*>(pixels.data);
      strides[0] = static_cast<int>(pixels.row_bytes);
    } else {
      converter->wide.resize(static_cast<std::size_t>(frame.width) * frame.height * 4);
      planes[0] = reinterpret_cast<uint8_t*>(converter->wide.data());
      strides[0] = frame.width * 8;
    }
    const int rows = sws_scale(converter->context.get(), frame.data, frame.linesize, 0,
                               frame.height, planes, strides);
    if (rows != frame.height) Fail(n, "its pixels could not be converted to RGB");
    const bool opaque = !info.has_alpha || alpha == imageio::InputAlpha::kIgnore;
    const bool divide = info.has_alpha && alpha == imageio::InputAlpha::kPremultiplied;
    imageio::VisitDepth(pixels.depth, [&]<class T>(std::type_identity<T>) {
      for (int y = 0; y < pixels.height; ++y) {
        imageio::Argb<T>* row = pixels.Row<T>(y);
        if constexpr (!std::is_same_v<T, uint8_t>) {
          const uint16_t* src = converter->wide.data() + static_cast<std::size_t>(y) * frame.width * 4;
          for (int x = 0; x < pixels.width; ++x, src += 4) {
            if constexpr (std::is_same_v<T, uint16_t>) {
              row[x] = {imageio::WorldFromFile16(src[3]), imageio::WorldFromFile16(src[0]),
                        imageio::WorldFromFile16(src[1]), imageio::WorldFromFile16(src[2])};
            } else {
              row[x] = {src[3] / 65535.0f, src[0] / 65535.0f, src[1] / 65535.0f,
                        src[2] / 65535.0f};
            }
          }
        }
        for (int x = 0; x < pixels.width; ++x) {
          imageio::Argb<T>& p = row[x];
          const float white = imageio::ChannelTraits<T>::kWhite;
          if (opaque) {
            p.alpha = static_cast<T>(white);
          } else if (divide && p.alpha > 0 && p.alpha < static_cast<T>(white)) {
            const float a = imageio::ToUnit(p.alpha);
            p.red = imageio::FromUnit<T>(std::min(1.0f, imageio::ToUnit(p.red) / a));
            p.green = imageio::FromUnit<T>(std::min(1.0f, imageio::ToUnit(p.green) / a));
            p.blue = imageio::FromUnit<T>(std::min(1.0f, imageio::ToUnit(p.blue) / a));
          }
        }
      }
    });
    Return(std::move(converter));
  }
};

namespace {

// Frames by counting the stream's packets, for containers whose header
// does not say (Matroska); one packet is one frame for every codec
// prismora meets.
int64_t CountFrames(const std::filesystem::path& path, int stream) {
  InputPtr input = OpenMovie(path);
  PacketPtr packet = NewPacket();
  int64_t count = 0;
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == stream) ++count;
    av_packet_unref(packet.get());
  }
  return count;
}

}  // namespace

MovieReader::MovieReader(const std::filesystem::path& path, imageio::InputAlpha alpha)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  s.alpha = alpha;
  s.input = OpenMovie(path);
  const std::string_view demuxer = s.input->iformat->name;
  if (IsImageFormat(demuxer)) {
    throw MovieError(Quote(path) + " is not a movie but a single image (" +
                     std::string(demuxer) + "): give it a name with its image format's extension");
  }
  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(s.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (index == AVERROR_STREAM_NOT_FOUND) {
    throw MovieError(Quote(path) + " holds no video stream");
  }
  if (index < 0 || codec == nullptr) {
    const AVCodecID id = s.input->streams[std::max(index, 0)]->codecpar->codec_id;
    const char* name = avcodec_get_name(id);
    throw MovieError("cannot read " + Quote(path) + ": its video codec (" +
                     std::string(name != nullptr ? name : "unknown") +
                     ") is not one this build of FFmpeg decodes");
  }
  s.stream = s.input->streams[index];
  for (unsigned i = 0; i < s.input->nb_streams; ++i) {
    if (s.input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) ++s.info.audio_streams;
  }
  s.decoder.reset(avcodec_alloc_context3(codec));
  if (!s.decoder) throw std::bad_alloc();
  if (const int err = avcodec_parameters_to_context(s.decoder.get(), s.stream->codecpar);
      err < 0) {
    throw MovieError("cannot read " + Quote(path) + ": " + AvErrorText(err));
  }
  // Damage is an error, not a frame patched up from its neighbours.
  s.decoder->err_recognition |= AV_EF_EXPLODE | AV_EF_CRCCHECK;
  s.decoder->thread_count = 0;
  if (const int err = avcodec_open2(s.decoder.get(), codec, nullptr); err < 0) {
    throw MovieError("cannot decode " + Quote(path) + " (" + codec->name + "): " +
                     AvErrorText(err));
  }
  MovieInfo& info = s.info;
  info.codec = codec->name;
  info.width = s.decoder->width;
  info.height = s.decoder->height;
  if (info.width <= 0 || info.height <= 0 || s.decoder->pix_fmt == AV_PIX_FMT_NONE) {
    throw MovieError("cannot read " + Quote(path) + ": its video stream has no picture size or "
                     "pixel format (the file is damaged or cut short)");
  }
  AVRational rate = s.stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = s.stream->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) {
    throw MovieError("cannot read " + Quote(path) + ": its video stream has no frame rate");
  }
  info.rate = Reduced(rate.num, rate.den);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(s.decoder->pix_fmt);
  if (desc == nullptr) throw MovieError("cannot read " + Quote(path) + ": unknown pixel format");
  info.has_alpha = (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  info.depth = desc->comp[0].depth > 8 ? Depth::k16 : Depth::k8;
  if (s.stream->nb_frames > 0) {
    info.frames = s.stream->nb_frames;
  } else {
    info.frames = CountFrames(path, index);
    // A file cut short holds fewer frames than its header's duration says.
    double seconds = -1;
    if (s.stream->duration != AV_NOPTS_VALUE && s.stream->duration > 0) {
      seconds = static_cast<double>(s.stream->duration) * av_q2d(s.stream->time_base);
    } else if (s.input->duration != AV_NOPTS_VALUE && s.input->duration > 0) {
      seconds = static_cast<double>(s.input->duration) / AV_TIME_BASE;
    }
    const auto said = static_cast<int64_t>(std::floor(seconds * info.rate.value() + 1e-6));
    if (seconds > 0 && said > info.frames + 1) {
      throw MovieError("cannot read " + Quote(path) + ": the file is cut short (it lasts " +
                       std::to_string(said) + " frames by its header, but holds " +
                       std::to_string(info.frames) + ")");
    }
  }
  if (info.frames <= 0) throw MovieError(Quote(path) + " holds no video frames");
}

MovieReader::~MovieReader() = default;

const std::filesystem::path& MovieReader::path() const { return state_->path; }
const MovieInfo& MovieReader::info() const { return state_->info; }

void MovieReader::SetRange(int64_t first, int64_t last) {
  std::lock_guard lock(state_->decode_mutex);
  state_->first = first;
  state_->last = last;
}

void MovieReader::ReadFrame(int64_t n, const imageio::MutableRasterView& pixels) {
  if (pixels.width != state_->info.width || pixels.height != state_->info.height) {
    throw std::invalid_argument("MovieReader::ReadFrame: pixels of another size");
  }
  FramePtr frame = state_->Take(n);
  state_->Convert(n, *frame, pixels);
}

}  // namespace prismora::media
