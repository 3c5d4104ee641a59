#include "media/movie_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "media/av_support.h"

extern "C" {
#include <libavutil/display.h>
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
  imageio::Raster sideways;    // the stored frame, for a movie turned upright
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
  int stored_width = 0, stored_height = 0;  // before turning upright
  bool timed = true;          // info.times are the packets' own (else a grid)
  int64_t next = 0;           // the index of the next frame decoded
  bool index_from_time = false;  // after a seek: the next frame's index is its time's
  bool draining = false;
  int64_t first = 0;               // the first frame that will be asked for
  std::vector<int> wanted;         // from `first` on: how often each will be asked
  std::map<int64_t, FramePtr> ready;  // decoded, waiting for their threads

  std::mutex converter_mutex;
  std::vector<std::unique_ptr<Converter>> converters;

  [[noreturn]] void Fail(int64_t n, const std::string& why) const {
    throw MovieFrameError("cannot read " + FrameText(n) + " of " + Quote(path) + ": " + why);
  }

  int64_t StartTime() const { return info.times.front(); }

  // How often frame n will still be asked for (none when out of the range).
  int* Wanted(int64_t n) {
    if (n < first || n - first >= static_cast<int64_t>(wanted.size())) return nullptr;
    return &wanted[static_cast<std::size_t>(n - first)];
  }

  void Seek(int64_t n) {
    const bool far = n > 0;
    int err = av_seek_frame(input.get(), stream->index, far ? info.times[n] : StartTime(),
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
        if (frame->width != stored_width || frame->height != stored_height) {
          Fail(next, "the frame is " + std::to_string(frame->width) + "x" +
                         std::to_string(frame->height) + ", unlike the movie's " +
                         std::to_string(stored_width) + "x" + std::to_string(stored_height));
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

  // A decoded frame's index: by its time among the packets' times, else
  // counted on from the last; after a seek, the frame nearest its time.
  int64_t IndexOf(const AVFrame& frame) {
    const int64_t t =
        frame.pts != AV_NOPTS_VALUE ? frame.pts : frame.best_effort_timestamp;
    const bool after_seek = std::exchange(index_from_time, false);
    if (t != AV_NOPTS_VALUE && (timed || after_seek)) {
      const std::vector<int64_t>& times = info.times;
      auto it = std::lower_bound(times.begin(), times.end(), t);
      if (after_seek) {
        if (it == times.end() || (it != times.begin() && t - *(it - 1) < *it - t)) --it;
        next = it - times.begin();
      } else if (it != times.end() && *it == t) {
        next = it - times.begin();
      }
    }
    return next++;
  }

  // Frame n for its thread, a copy kept while another thread will ask again.
  FramePtr Hand(int64_t n, FramePtr frame) {
    int* count = Wanted(n);
    if (count != nullptr && *count > 0) --*count;
    if (count != nullptr && *count > 0) {
      FramePtr copy(av_frame_clone(frame.get()));
      if (!copy) throw std::bad_alloc();
      ready.insert_or_assign(n, std::move(copy));
    }
    return frame;
  }

  // Frame n, decoded on the way from where the decoder stands.
  FramePtr Take(int64_t n) {
    std::lock_guard lock(decode_mutex);
    if (auto it = ready.find(n); it != ready.end()) {
      FramePtr frame = std::move(it->second);
      ready.erase(it);
      return Hand(n, std::move(frame));
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
      if (index == n) return Hand(n, std::move(frame));
      if (index > n) {
        // A seek that landed past the frame: read again from the start.
        Seek(0);
        continue;
      }
      if (const int* count = Wanted(index);
          count != nullptr && *count > 0 && !ready.contains(index)) {
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

  // Frame n into `upright`: converted to RGB where it is stored, then turned.
  void Convert(int64_t n, const AVFrame& frame, const imageio::MutableRasterView& upright) {
    auto converter = Borrow();
    imageio::MutableRasterView pixels = upright;
    if (info.orientation != 1) {
      imageio::Raster& sideways = converter->sideways;
      if (sideways.width() != frame.width || sideways.height() != frame.height ||
          sideways.depth() != upright.depth) {
        sideways = imageio::Raster(frame.width, frame.height, upright.depth);
      }
      pixels = sideways.view();
    }
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
      if (info.orientation != 1) imageio::Reorient<T>(pixels, info.orientation, upright);
    });
    Return(std::move(converter));
  }
};

namespace {

// What the packets of a movie hold, read without decoding: the video's
// presentation times in order, and where the last packet of any stream
// ends (in seconds), to tell a file cut short from a whole one.
struct PacketIndex {
  std::vector<int64_t> times;
  bool timed = true;  // every video packet has a presentation time
  int64_t frames = 0;
  int64_t packets = 0;        // of the video, shown or not
  int64_t last_duration = 0;  // of the latest video packet
  double end = 0;
};

PacketIndex ScanPackets(const std::filesystem::path& path, int stream) {
  InputPtr input = OpenMovie(path);
  PacketPtr packet = NewPacket();
  PacketIndex index;
  int64_t latest = INT64_MIN;
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    const AVStream* s = input->streams[packet->stream_index];
    const int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (t != AV_NOPTS_VALUE) {
      index.end = std::max(index.end, static_cast<double>(t + std::max<int64_t>(
                                                                  packet->duration, 0)) *
                                          av_q2d(s->time_base));
    }
    if (packet->stream_index == stream) ++index.packets;
    // Packets an edit list cuts are decoded but not shown.
    if (packet->stream_index == stream && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
      ++index.frames;
      if (packet->pts == AV_NOPTS_VALUE) {
        index.timed = false;
      } else {
        index.times.push_back(packet->pts);
        if (packet->pts > latest) {
          latest = packet->pts;
          index.last_duration = packet->duration;
        }
      }
    }
    av_packet_unref(packet.get());
  }
  std::sort(index.times.begin(), index.times.end());
  return index;
}

// How the display matrix turns stored frames upright, as an EXIF
// orientation; as players turn them (quarter turns, and flips).
int OrientationOf(const AVStream& stream) {
  const auto* matrix = reinterpret_cast<const int32_t*>(
      av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
  if (matrix == nullptr) return 1;
  const double angle = -av_display_rotation_get(matrix);
  if (std::isnan(angle)) return 1;
  const double turn = angle - 360.0 * std::floor(angle / 360.0 + 0.9 / 360.0);
  if (std::fabs(turn - 90) < 1.0) return matrix[3] > 0 ? 5 : 6;
  if (std::fabs(turn - 270) < 1.0) return matrix[3] < 0 ? 7 : 8;
  const bool mirrored = matrix[0] < 0, flipped = matrix[4] < 0;
  if (std::fabs(turn - 180) < 1.0 || std::fabs(turn) < 1.0) {
    if (mirrored && flipped) return 3;
    if (mirrored) return 2;
    if (flipped) return 4;
  }
  return 1;
}

// Whether every time lies on the nominal rate's grid from the first, to
// within the time base's rounding.
bool OnGrid(const std::vector<int64_t>& times, AVRational time_base, const FrameRate& rate) {
  const AVRational frame{static_cast<int>(rate.den), static_cast<int>(rate.num)};
  for (std::size_t n = 0; n < times.size(); ++n) {
    const int64_t grid = times.front() + av_rescale_q(static_cast<int64_t>(n), frame, time_base);
    if (std::llabs(times[n] - grid) > 1) return false;
  }
  return true;
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
  const int video = av_find_best_stream(s.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (video == AVERROR_STREAM_NOT_FOUND) {
    throw MovieError(Quote(path) + " holds no video stream");
  }
  if (video < 0 || codec == nullptr) {
    const AVCodecID id = s.input->streams[std::max(video, 0)]->codecpar->codec_id;
    const char* name = avcodec_get_name(id);
    throw MovieError("cannot read " + Quote(path) + ": its video codec (" +
                     std::string(name != nullptr ? name : "unknown") +
                     ") is not one this build of FFmpeg decodes");
  }
  s.stream = s.input->streams[video];
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
  s.stored_width = s.decoder->width;
  s.stored_height = s.decoder->height;
  if (s.stored_width <= 0 || s.stored_height <= 0 || s.decoder->pix_fmt == AV_PIX_FMT_NONE) {
    throw MovieError("cannot read " + Quote(path) + ": its video stream has no picture size or "
                     "pixel format (the file is damaged or cut short)");
  }
  // Frames as the viewer sees them: turned upright, with their pixels'
  // shape turned too.
  info.orientation = OrientationOf(*s.stream);
  const bool turned = imageio::Transposes(info.orientation);
  info.width = turned ? s.stored_height : s.stored_width;
  info.height = turned ? s.stored_width : s.stored_height;
  const AVRational aspect = av_guess_sample_aspect_ratio(s.input.get(), s.stream, nullptr);
  if (aspect.num > 0 && aspect.den > 0) {
    const AVRational reduced = av_mul_q(aspect, AVRational{1, 1});
    info.pixel_aspect = turned ? Fraction{reduced.den, reduced.num}
                               : Fraction{reduced.num, reduced.den};
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
  const PacketIndex index = ScanPackets(path, video);
  if (index.frames <= 0) throw MovieError(Quote(path) + " holds no video frames");
  info.frames = index.frames;
  info.time_base = {s.stream->time_base.num, s.stream->time_base.den};
  const AVRational frame_time{static_cast<int>(info.rate.den), static_cast<int>(info.rate.num)};
  s.timed = index.timed;
  if (index.timed) {
    info.times = index.times;
  } else {
    // No times of their own (a raw stream): frames on the nominal grid.
    const int64_t start = s.stream->start_time != AV_NOPTS_VALUE ? s.stream->start_time : 0;
    for (int64_t n = 0; n < info.frames; ++n) {
      info.times.push_back(start + av_rescale_q(n, frame_time, s.stream->time_base));
    }
  }
  info.constant_rate = OnGrid(info.times, s.stream->time_base, info.rate);
  const int64_t nominal = std::max<int64_t>(1, av_rescale_q(1, frame_time, s.stream->time_base));
  info.end_time = info.times.back() + (index.timed && index.last_duration > 0
                                           ? index.last_duration
                                           : nominal);
  // A file cut short holds fewer frames than its header lists (MP4,
  // QuickTime), or less than its header says it lasts; a stream
  // shorter than the others, a variable rate or a start offset does not,
  // nor a last frame that lasts longer than its container says (give or
  // take the longest frame).
  if (s.stream->nb_frames > index.packets) {
    throw MovieError("cannot read " + Quote(path) + ": the file is cut short (its header lists " +
                     std::to_string(s.stream->nb_frames) + " frames, but it holds " +
                     std::to_string(index.packets) + ")");
  }
  if (s.input->duration != AV_NOPTS_VALUE && s.input->duration > 0) {
    const double said = static_cast<double>(s.input->duration) / AV_TIME_BASE;
    int64_t longest = nominal;
    for (std::size_t n = 1; n < info.times.size(); ++n) {
      longest = std::max(longest, info.times[n] - info.times[n - 1]);
    }
    const double slack = 1.5 * static_cast<double>(longest) * av_q2d(s.stream->time_base) + 1e-3;
    if (index.end + slack < said) {
      char text[128];
      std::snprintf(text, sizeof text, " (it lasts %.2f s by its header, but holds %.2f s)",
                    said, index.end);
      throw MovieError("cannot read " + Quote(path) + ": the file is cut short" + text);
    }
  }
}

MovieReader::~MovieReader() = default;

const std::filesystem::path& MovieReader::path() const { return state_->path; }
const MovieInfo& MovieReader::info() const { return state_->info; }

void MovieReader::SetFrames(const std::vector<int64_t>& frames) {
  std::lock_guard lock(state_->decode_mutex);
  State& s = *state_;
  s.wanted.clear();
  if (frames.empty()) return;
  const auto [low, high] = std::minmax_element(frames.begin(), frames.end());
  s.first = *low;
  s.wanted.assign(static_cast<std::size_t>(*high - *low + 1), 0);
  for (const int64_t n : frames) ++s.wanted[static_cast<std::size_t>(n - *low)];
}

void MovieReader::ReadFrame(int64_t n, const imageio::MutableRasterView& pixels) {
  if (pixels.width != state_->info.width || pixels.height != state_->info.height) {
    throw std::invalid_argument("MovieReader::ReadFrame: pixels of another size");
  }
  FramePtr frame = state_->Take(n);
  state_->Convert(n, *frame, pixels);
}

}  // namespace prismora::media
