#include "media/movie_writer.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "media/aac_encoder.h"
#include "media/av_support.h"
#include "media/movie_streams.h"
#include "media/subtitle_converter.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace prismora::media {
namespace {

using imageio::Depth;

constexpr int kDefaultCrf = 18;

struct CodecTraits {
  const char* encoder;
  AVCodecID id;
  Depth max_depth;  // the deepest worlds whose values it keeps
  bool alpha;
  bool crf;
};

CodecTraits TraitsOf(Codec codec) {
  switch (codec) {
    case Codec::kH264: return {"libx264", AV_CODEC_ID_H264, Depth::k8, false, true};
    case Codec::kProRes: return {"prores_ks", AV_CODEC_ID_PRORES, Depth::k16, true, false};
    case Codec::kFfv1: break;
  }
  return {"ffv1", AV_CODEC_ID_FFV1, Depth::k16, true, false};
}

AVPixelFormat PixelFormatOf(Codec codec, Depth world, bool alpha) {
  switch (codec) {
    case Codec::kH264: return AV_PIX_FMT_YUV420P;
    case Codec::kProRes: return alpha ? AV_PIX_FMT_YUVA444P10LE : AV_PIX_FMT_YUV444P10LE;
    case Codec::kFfv1: break;
  }
  if (world == Depth::k8) return alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
  return alpha ? AV_PIX_FMT_GBRAP16LE : AV_PIX_FMT_GBRP16LE;
}

const AVOutputFormat* MuxerFor(const std::filesystem::path& target) {
  if (!IsMovieName(target)) return nullptr;
  return av_guess_format(nullptr, target.filename().string().c_str(), nullptr);
}

std::string Extension(const std::filesystem::path& target) { return target.extension().string(); }

bool Holds(const AVOutputFormat* muxer, AVCodecID id) {
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  if (parameters == nullptr) throw std::bad_alloc();
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = id;
  parameters->width = parameters->height = 16;
  const bool held = MuxerHolds(*muxer, *parameters);
  avcodec_parameters_free(&parameters);
  return held;
}

// Whether frames keep the times they are given: AVI, and containers
// without times, space them at the frame rate.
bool HoldsTimes(const AVOutputFormat* muxer) {
  return (muxer->flags & AVFMT_NOTIMESTAMPS) == 0 && std::string_view(muxer->name) != "avi";
}

uint16_t Wide(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 65535;
  return static_cast<uint16_t>(v * 65535.0f + 0.5f);
}

// A world's channel at 16 bits (0..65535): 16-bit worlds exactly as their
// files hold them, so that FFV1 gives back every value.
template <class T>
uint16_t WideOf(T v) {
  if constexpr (std::is_same_v<T, uint16_t>) {
    return imageio::FileFromWorld16(v);
  } else if constexpr (std::is_same_v<T, float>) {
    return Wide(v);
  } else {
    return static_cast<uint16_t>(v * 257);
  }
}

template <class T>
uint8_t NarrowOf(T v) {
  if constexpr (std::is_same_v<T, uint8_t>) {
    return v;
  } else {
    return imageio::FromUnit<uint8_t>(imageio::ToUnit(v));
  }
}

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v & 0xff);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

Codec DefaultCodec(const std::filesystem::path& target) {
  std::string ext = Extension(target);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".mp4" || ext == ".m4v" || ext == ".ts" || ext == ".m2ts" || ext == ".mts") {
    return Codec::kH264;
  }
  if (ext == ".mov" || ext == ".qt") return Codec::kProRes;
  return Codec::kFfv1;
}

std::vector<std::string> CheckMovieOutput(const MovieOutput& o) {
  QuietLibraries();
  const AVOutputFormat* muxer = MuxerFor(o.target);
  if (muxer == nullptr) {
    throw MovieUsageError("no movie format is known for the extension '" + Extension(o.target) +
                          "' of " + Quote(o.target));
  }
  const Codec codec = o.codec.value_or(DefaultCodec(o.target));
  const CodecTraits traits = TraitsOf(codec);
  const std::string name = CodecName(codec);
  const std::string container = "a " + Extension(o.target) + " file (" + muxer->long_name + ")";
  if (!Holds(muxer, traits.id)) {
    std::string held;
    for (Codec c : {Codec::kH264, Codec::kProRes, Codec::kFfv1}) {
      if (!Holds(muxer, TraitsOf(c).id)) continue;
      held += (held.empty() ? "" : ", ") + CodecName(c);
    }
    throw MovieUsageError(container + " cannot hold " + name + " video" +
                          (held.empty() ? ", nor any codec prismora writes: use .mov, .mp4 or .mkv"
                                        : ": it takes " + held + " (--codec)"));
  }
  if (o.variable_rate && !HoldsTimes(muxer)) {
    throw MovieUsageError(container + " holds only a constant frame rate, and the frames' rate "
                          "varies: give --fps to conform them to one, or use .mkv, .mov or .mp4");
  }
  if (avcodec_find_encoder_by_name(traits.encoder) == nullptr) {
    throw MovieUsageError("this build of FFmpeg has no " + std::string(traits.encoder) +
                          " encoder for " + name);
  }
  if (o.depth && static_cast<int>(*o.depth) > static_cast<int>(traits.max_depth)) {
    throw MovieUsageError(name + " holds at most " + imageio::DepthName(traits.max_depth) +
                          " frames, not the " + imageio::DepthName(*o.depth) +
                          " asked with --depth" +
                          (codec == Codec::kH264 ? " (--codec prores or ffv1 keep more)" : ""));
  }
  if (o.alpha && !traits.alpha) {
    throw MovieUsageError(o.alpha_source + " has an alpha channel, which " + name +
                          " cannot hold: use --alpha ignore to drop it, or --codec prores or "
                          "ffv1 to keep it");
  }
  if (o.crf && !traits.crf) {
    throw MovieUsageError("--crf sets H.264's quality; " + name + " has none" +
                          (codec == Codec::kFfv1 ? " (it is lossless)" : ""));
  }
  if (codec == Codec::kH264 && (o.width % 2 != 0 || o.height % 2 != 0)) {
    throw MovieUsageError("H.264 in 4:2:0 takes an even width and height, not " +
                          std::to_string(o.width) + "x" + std::to_string(o.height) +
                          ": use --codec prores or ffv1");
  }
  std::vector<std::string> notices;
  if (!o.audio_from.empty()) {
    const InputPtr input = OpenMovie(o.audio_from);
    PlanStreams(*input, *muxer, o, &notices);
  }
  return notices;
}

struct MovieWriter::State {
  MovieOutput output;
  Codec codec = Codec::kFfv1;
  AVPixelFormat pixel_format = AV_PIX_FMT_NONE;
  std::function<void(int64_t)> written;

  std::unique_ptr<imageio::PendingFile> pending;
  AVIOContext* io = nullptr;
  std::unique_ptr<AVFormatContext, OutputFreer> muxer;
  CodecPtr encoder;
  AVStream* video = nullptr;

  // Audio and subtitles from the input: its streams by input index, each
  // copied or converted, and the span.
  struct Carried {
    AVStream* out = nullptr;
    std::unique_ptr<AacEncoder> aac;
    std::unique_ptr<SubtitleConverter> text;
  };
  InputPtr audio;
  std::map<int, Carried> audio_streams;
  AVFieldOrder field_order = AV_FIELD_UNKNOWN;  // of the input's picture
  // Seconds on the input's time line: how far the packets move back (as the
  // frames do), and the span of packets kept. A span from the movie's first
  // frame or to its last keeps the audio before or after (an encoder's
  // priming, a tail).
  double audio_origin = 0, audio_start = 0, audio_end = 0;
  PacketPtr held;                          // read, not yet due
  bool audio_done = false;

  std::mutex mutex;
  std::condition_variable changed;
  std::map<int64_t, FramePtr> waiting;  // converted, in line to be encoded
  int64_t next = 0;                     // the frame the encoder takes next
  int64_t capacity = 4;
  bool abandon = false;
  bool finished = false;
  std::optional<std::string> error;
  std::thread thread;

  // Converters, and frames the encoder is done with, for the next frames:
  // a fresh frame's memory costs its first writes a page fault each.
  struct Converter {
    SwsPtr context;
    std::vector<uint16_t> wide;  // RGBA at 16 bits, for deep worlds
  };
  std::mutex converter_mutex;
  std::vector<std::unique_ptr<Converter>> converters;
  std::vector<FramePtr> spare_frames;

  ~State() {
    if (thread.joinable()) {
      {
        std::lock_guard lock(mutex);
        abandon = true;
      }
      changed.notify_all();
      thread.join();
    }
    waiting.clear();
    encoder.reset();
    muxer.reset();
    FreeFileIo(io);
  }

  std::string WriteFailure(int err) const {
    if (pending->failed()) return "cannot write " + Quote(output.target) + ": " + pending->failure();
    return "cannot write " + Quote(output.target) + ": " + AvErrorText(err);
  }

  void Setup() {
    QuietLibraries();
    if (!output.audio_from.empty()) {
      audio = OpenMovie(output.audio_from);
      field_order = FieldOrderOf(*audio);
    }
    const AVCodec* codec_ = avcodec_find_encoder_by_name(TraitsOf(codec).encoder);
    AVFormatContext* raw = nullptr;
    int err = avformat_alloc_output_context2(&raw, nullptr, nullptr,
                                             output.target.filename().string().c_str());
    if (err < 0 || raw == nullptr || codec_ == nullptr) {
      throw MovieError("cannot write " + Quote(output.target) + ": " + AvErrorText(err));
    }
    muxer.reset(raw);
    pending = std::make_unique<imageio::PendingFile>(output.target);
    io = NewFileIo(*pending);
    muxer->pb = io;

    encoder.reset(avcodec_alloc_context3(codec_));
    if (!encoder) throw std::bad_alloc();
    AVCodecContext& e = *encoder;
    e.width = output.width;
    e.height = output.height;
    e.sample_aspect_ratio = {static_cast<int>(output.pixel_aspect.num),
                             static_cast<int>(output.pixel_aspect.den)};
    e.framerate = {static_cast<int>(output.rate.num), static_cast<int>(output.rate.den)};
    // Frames given their times keep them exactly, in the input's time base,
    // where the container holds such times; elsewhere they start at 0, and
    // the audio with them.
    if (!HoldsTimes(muxer->oformat) && !output.times.empty()) {
      output.audio_shift += static_cast<double>(output.times.front()) * output.time_base.num /
                            static_cast<double>(output.time_base.den);
      output.times.clear();
    }
    e.time_base = output.times.empty()
                      ? AVRational{static_cast<int>(output.rate.den),
                                   static_cast<int>(output.rate.num)}
                      : AVRational{static_cast<int>(output.time_base.num),
                                   static_cast<int>(output.time_base.den)};
    e.pix_fmt = pixel_format;
    e.thread_count = output.threads;
    if (codec == Codec::kFfv1) {
      e.colorspace = AVCOL_SPC_RGB;
      e.color_range = AVCOL_RANGE_JPEG;
    } else {
      e.color_primaries = AVCOL_PRI_BT709;
      e.color_trc = AVCOL_TRC_BT709;
      e.colorspace = AVCOL_SPC_BT709;
      e.color_range = AVCOL_RANGE_MPEG;
    }
    if ((muxer->oformat->flags & AVFMT_GLOBALHEADER) != 0) e.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Whole frames, both fields together, are rendered as one picture and
    // coded as fields again in the input's order.
    if (Interlaced(field_order)) {
      e.field_order = field_order;
      if (codec != Codec::kFfv1) {
        e.flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
      }
    }
    AVDictionary* options = nullptr;
    switch (codec) {
      case Codec::kH264:
        av_dict_set_int(&options, "crf", output.crf.value_or(kDefaultCrf), 0);
        break;
      case Codec::kProRes:
        av_dict_set(&options, "profile", "4444", 0);
        av_dict_set(&options, "vendor", "apl0", 0);
        break;
      case Codec::kFfv1:
        av_dict_set(&options, "level", "3", 0);
        av_dict_set(&options, "slicecrc", "1", 0);
        // The coder deeper frames need anyway, named so that FFV1 does not
        // say it forces it.
        if (output.world_depth != Depth::k8) av_dict_set(&options, "coder", "range_tab", 0);
        break;
    }
    err = avcodec_open2(&e, codec_, &options);
    av_dict_free(&options);
    if (err < 0) {
      throw MovieError("cannot encode " + Quote(output.target) + " as " + CodecName(codec) +
                       ": " + AvErrorText(err));
    }
    video = avformat_new_stream(muxer.get(), nullptr);
    if (video == nullptr) throw std::bad_alloc();
    video->time_base = e.time_base;
    video->sample_aspect_ratio = e.sample_aspect_ratio;
    video->avg_frame_rate = e.framerate;
    video->r_frame_rate = e.framerate;
    avcodec_parameters_from_context(video->codecpar, &e);

    if (audio) {
      CopyTags(*audio, output, *muxer, *video);
      SetupAudio();
    }

    err = avformat_write_header(muxer.get(), nullptr);
    if (err < 0) {
      throw MovieError("cannot write " + Quote(output.target) + ": the muxer refuses its "
                       "streams (" + AvErrorText(err) + ")");
    }
  }

  void SetupAudio() {
    audio_origin = output.audio_shift;
    audio_start = output.audio_start;
    audio_end = output.audio_end;
    const bool global_header = (muxer->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    for (unsigned i = 0; i < audio->nb_streams; ++i) audio->streams[i]->discard = AVDISCARD_ALL;
    for (const CarriedStream& c : PlanStreams(*audio, *muxer->oformat, output, nullptr)) {
      AVStream* in = audio->streams[c.input];
      in->discard = AVDISCARD_DEFAULT;
      Carried carried;
      carried.out = avformat_new_stream(muxer.get(), nullptr);
      if (carried.out == nullptr) throw std::bad_alloc();
      AVStream* out = carried.out;
      if (!c.encode) {
        avcodec_parameters_copy(out->codecpar, in->codecpar);
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
      } else if (in->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
        carried.aac = std::make_unique<AacEncoder>(
            *in, AudioSpan{audio_origin, audio_start, audio_end}, global_header);
        carried.aac->Describe(*out);
      } else {
        carried.text = std::make_unique<SubtitleConverter>(*in, c.codec);
        carried.text->Describe(*out);
      }
      out->disposition = in->disposition;
      av_dict_copy(&out->metadata, in->metadata, 0);
      av_dict_set(&out->metadata, "encoder", nullptr, 0);
      audio_streams.emplace(c.input, std::move(carried));
    }
    if (audio_streams.empty()) {
      audio.reset();
      return;
    }
    if (std::isfinite(audio_start)) {
      av_seek_frame(audio.get(), -1, static_cast<int64_t>(audio_start * AV_TIME_BASE),
                    AVSEEK_FLAG_BACKWARD);
    }
    held = NewPacket();
    held->size = -1;  // nothing held
  }

  // Copies (or converts) the input's audio and subtitle packets that start
  // before `until` seconds (on the input's time line), cut to the rendered
  // span.
  void CopyAudio(double until) {
    if (!audio || audio_done) return;
    while (true) {
      if (held->size < 0) {
        const int err = av_read_frame(audio.get(), held.get());
        if (err < 0) {
          audio_done = true;
          return;
        }
        if (!audio_streams.contains(held->stream_index) || held->pts == AV_NOPTS_VALUE) {
          av_packet_unref(held.get());
          held->size = -1;
          continue;
        }
      }
      const AVStream* in = audio->streams[held->stream_index];
      const double tb = av_q2d(in->time_base);
      const double t = static_cast<double>(held->pts) * tb;
      if (t >= until) return;
      const double length = static_cast<double>(held->duration) * tb;
      Carried& carried = audio_streams.at(held->stream_index);
      // A decoder takes the packets before the span too: they lead into it.
      if (t >= audio_end - 1e-9 || (!carried.aac && t + length <= audio_start + 1e-9)) {
        av_packet_unref(held.get());
        held->size = -1;
        continue;
      }
      if (carried.aac) {
        carried.aac->Send(held.get(), [&](AVPacket& p) { WriteConverted(p, carried); });
      } else if (in->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        CutToSpan(*held, tb);
        if (!carried.text) {
          Shift(*held, tb);
          Write(*held, in->time_base, carried.out);
        } else if (PacketPtr text = NewPacket(); carried.text->Convert(*held, *text)) {
          Shift(*text, tb);
          Write(*text, in->time_base, carried.out);
        }
      } else {
        Shift(*held, tb);
        Write(*held, in->time_base, carried.out);
      }
      av_packet_unref(held.get());
      held->size = -1;
    }
  }

  // The end of the input's streams: what converters hold back.
  void FlushConverted() {
    for (auto& [index, carried] : audio_streams) {
      if (carried.aac) carried.aac->Send(nullptr, [&](AVPacket& p) { WriteConverted(p, carried); });
    }
  }

  void WriteConverted(AVPacket& packet, const Carried& carried) {
    Write(packet, carried.aac->time_base(), carried.out);
  }

  // A subtitle shown across the span's start or end is shown within it.
  void CutToSpan(AVPacket& packet, double tb) const {
    if (packet.duration <= 0) return;
    const double t = static_cast<double>(packet.pts) * tb;
    const double from = std::max(t, audio_start);
    const double to = std::min(t + static_cast<double>(packet.duration) * tb, audio_end);
    packet.pts = std::llround(from / tb);
    packet.dts = packet.pts;
    packet.duration = std::max<int64_t>(1, std::llround(to / tb) - packet.pts);
  }

  // From the input's time line to the output's.
  void Shift(AVPacket& packet, double tb) const {
    const int64_t shift = std::llround(audio_origin / tb);
    packet.pts -= shift;
    if (packet.dts != AV_NOPTS_VALUE) packet.dts -= shift;
  }

  void Write(AVPacket& packet, AVRational from, AVStream* out) {
    av_packet_rescale_ts(&packet, from, out->time_base);
    packet.stream_index = out->index;
    packet.pos = -1;
    if (const int err = av_interleaved_write_frame(muxer.get(), &packet); err < 0) {
      throw MovieError(WriteFailure(err));
    }
  }

  void WritePackets() {
    PacketPtr packet = NewPacket();
    while (true) {
      int err = avcodec_receive_packet(encoder.get(), packet.get());
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
      if (err < 0) {
        throw MovieError("cannot encode " + Quote(output.target) + ": " + AvErrorText(err));
      }
      const double time = static_cast<double>(packet->dts) * av_q2d(encoder->time_base);
      CopyAudio(audio_origin + time + 0.5);
      av_packet_rescale_ts(packet.get(), encoder->time_base, video->time_base);
      packet->stream_index = video->index;
      err = av_interleaved_write_frame(muxer.get(), packet.get());
      if (err < 0) throw MovieError(WriteFailure(err));
    }
  }

  void Encode() {
    try {
      for (int64_t index = 0; index < output.frames; ++index) {
        FramePtr frame;
        {
          std::unique_lock lock(mutex);
          changed.wait(lock, [&] { return abandon || waiting.contains(index); });
          if (abandon) return;
          auto it = waiting.find(index);
          frame = std::move(it->second);
          waiting.erase(it);
          next = index + 1;
        }
        changed.notify_all();
        frame->pts = output.times.empty() ? index : output.times[static_cast<std::size_t>(index)];
        const int err = avcodec_send_frame(encoder.get(), frame.get());
        if (err < 0) {
          throw MovieError("cannot encode frame " + std::to_string(index) + " of " +
                           Quote(output.target) + ": " + AvErrorText(err));
        }
        Recycle(std::move(frame));
        WritePackets();
        if (written) written(index);
      }
      avcodec_send_frame(encoder.get(), nullptr);
      WritePackets();
      CopyAudio(1e300);
      FlushConverted();
      int err = av_write_trailer(muxer.get());
      avio_flush(io);
      if (err >= 0 && io->error < 0) err = io->error;
      if (err < 0 || pending->failed()) throw MovieError(WriteFailure(err));
      std::lock_guard lock(mutex);
      finished = true;
    } catch (const std::bad_alloc&) {
      Fail("not enough memory to encode " + Quote(output.target));
    } catch (const std::exception& e) {
      Fail(e.what());
    }
    changed.notify_all();
  }

  void Fail(std::string message) {
    std::lock_guard lock(mutex);
    if (!error) error = std::move(message);
  }

  std::unique_ptr<Converter> BorrowConverter() {
    std::lock_guard lock(converter_mutex);
    if (converters.empty()) return std::make_unique<Converter>();
    auto c = std::move(converters.back());
    converters.pop_back();
    return c;
  }
  void ReturnConverter(std::unique_ptr<Converter> c) {
    std::lock_guard lock(converter_mutex);
    converters.push_back(std::move(c));
  }

  // A frame the encoder has sent on, kept while as many wait as can be in
  // line; one it still holds a reference to is not written again.
  void Recycle(FramePtr frame) {
    std::lock_guard lock(converter_mutex);
    if (static_cast<int64_t>(spare_frames.size()) < capacity) {
      spare_frames.push_back(std::move(frame));
    }
  }
  FramePtr SpareFrame() {
    std::lock_guard lock(converter_mutex);
    while (!spare_frames.empty()) {
      FramePtr frame = std::move(spare_frames.back());
      spare_frames.pop_back();
      if (av_frame_is_writable(frame.get()) != 0) return frame;
    }
    return nullptr;
  }

  FramePtr Convert(const imageio::RasterView& pixels) {
    FramePtr frame = SpareFrame();
    if (!frame) {
      frame = NewFrame();
      frame->format = pixel_format;
      frame->width = pixels.width;
      frame->height = pixels.height;
      // Encoders that tag each frame (ProRes) take the colour from it.
      frame->color_primaries = encoder->color_primaries;
      frame->color_trc = encoder->color_trc;
      frame->colorspace = encoder->colorspace;
      frame->color_range = encoder->color_range;
      if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
    }
    MarkFields(*frame, field_order);
    if (codec == Codec::kFfv1) {
      PackLossless(pixels, *frame);
      return frame;
    }
    // Through libswscale: 8-bit worlds as they are (ARGB bytes), deeper
    // ones at 16 bits.
    auto converter = BorrowConverter();
    const uint8_t* source[4] = {};
    int strides[4] = {};
    AVPixelFormat from = AV_PIX_FMT_ARGB;
    if (pixels.depth == Depth::k8) {
      source[0] = reinterpret_cast<const uint8_t*>(pixels.data);
      strides[0] = static_cast<int>(pixels.row_bytes);
    } else {
      from = AV_PIX_FMT_RGBA64;
      std::vector<uint16_t>& wide = converter->wide;
      wide.resize(static_cast<std::size_t>(pixels.width) * pixels.height * 4);
      imageio::VisitDepth(pixels.depth, [&]<class T>(std::type_identity<T>) {
        for (int y = 0; y < pixels.height; ++y) {
          const imageio::Argb<T>* row = pixels.Row<T>(y);
          uint16_t* out = wide.data() + static_cast<std::size_t>(y) * pixels.width * 4;
          for (int x = 0; x < pixels.width; ++x, out += 4) {
            out[0] = WideOf(row[x].red);
            out[1] = WideOf(row[x].green);
            out[2] = WideOf(row[x].blue);
            out[3] = WideOf(row[x].alpha);
          }
        }
      });
      source[0] = reinterpret_cast<const uint8_t*>(wide.data());
      strides[0] = pixels.width * 8;
    }
    SwsPtr& context = converter->context;
    context.reset(sws_getCachedContext(
        context.release(), pixels.width, pixels.height, from, pixels.width, pixels.height,
        pixel_format, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP,
        nullptr, nullptr, nullptr));
    if (!context) throw MovieError("cannot convert frames for " + Quote(output.target));
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(context.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    sws_scale(context.get(), source, strides, 0, pixels.height, frame->data, frame->linesize);
    ReturnConverter(std::move(converter));
    return frame;
  }

  // FFV1's RGB formats filled by hand, so that every value goes in as it is.
  // The format follows the first frame's depth; a later frame of another
  // depth (a sequence of mixed files) is converted to it.
  void PackLossless(const imageio::RasterView& pixels, AVFrame& frame) const {
    const bool alpha = output.alpha;
    const bool narrow = pixel_format == AV_PIX_FMT_BGRA || pixel_format == AV_PIX_FMT_BGR0;
    imageio::VisitDepth(pixels.depth, [&]<class T>(std::type_identity<T>) {
      for (int y = 0; y < pixels.height; ++y) {
        const imageio::Argb<T>* row = pixels.Row<T>(y);
        if (narrow) {
          uint8_t* out = frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0];
          for (int x = 0; x < pixels.width; ++x, out += 4) {
            out[0] = NarrowOf(row[x].blue);
            out[1] = NarrowOf(row[x].green);
            out[2] = NarrowOf(row[x].red);
            out[3] = alpha ? NarrowOf(row[x].alpha) : 255;
          }
        } else {
          // gbrp16le / gbrap16le: planes green, blue, red, alpha.
          uint8_t* g = frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0];
          uint8_t* b = frame.data[1] + static_cast<std::ptrdiff_t>(y) * frame.linesize[1];
          uint8_t* r = frame.data[2] + static_cast<std::ptrdiff_t>(y) * frame.linesize[2];
          uint8_t* a = alpha ? frame.data[3] + static_cast<std::ptrdiff_t>(y) * frame.linesize[3]
                             : nullptr;
          for (int x = 0; x < pixels.width; ++x) {
            PutLe16(g + 2 * x, WideOf(row[x].green));
            PutLe16(b + 2 * x, WideOf(row[x].blue));
            PutLe16(r + 2 * x, WideOf(row[x].red));
            if (a != nullptr) PutLe16(a + 2 * x, WideOf(row[x].alpha));
          }
        }
      }
    });
  }
};

MovieWriter::MovieWriter(const MovieOutput& output, std::function<void(int64_t)> written)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.output = output;
  s.codec = output.codec.value_or(DefaultCodec(output.target));
  s.pixel_format = PixelFormatOf(s.codec, output.world_depth, output.alpha);
  s.written = std::move(written);
  const int handing = output.threads > 0 ? output.threads
                                         : static_cast<int>(std::thread::hardware_concurrency());
  s.capacity = std::max<int64_t>(4, 2 * int64_t{handing});
  s.Setup();
  s.thread = std::thread([&s] { s.Encode(); });
}

MovieWriter::~MovieWriter() = default;

bool MovieWriter::Put(int64_t index, const imageio::RasterView& pixels,
                      const std::function<bool()>& stop) {
  State& s = *state_;
  {
    std::lock_guard lock(s.mutex);
    if (s.error) throw MovieError(*s.error);
  }
  if (pixels.width != s.output.width || pixels.height != s.output.height) {
    throw MovieError("frame " + std::to_string(index) + " of " + Quote(s.output.target) + " is " +
                     std::to_string(pixels.width) + "x" + std::to_string(pixels.height) +
                     ", unlike the movie's " + std::to_string(s.output.width) + "x" +
                     std::to_string(s.output.height));
  }
  FramePtr frame = s.Convert(pixels);
  std::unique_lock lock(s.mutex);
  while (index >= s.next + s.capacity && !s.abandon && !s.error) {
    if (stop && stop()) return false;
    s.changed.wait_for(lock, std::chrono::milliseconds(50));
  }
  if (s.error) throw MovieError(*s.error);
  if (s.abandon) return false;
  s.waiting.emplace(index, std::move(frame));
  lock.unlock();
  s.changed.notify_all();
  return true;
}

void MovieWriter::Finish() {
  State& s = *state_;
  if (s.thread.joinable()) s.thread.join();
  if (s.error) throw MovieError(*s.error);
  if (!s.finished) throw MovieError("cannot write " + Quote(s.output.target) + ": unfinished");
  s.encoder.reset();
  s.muxer.reset();
  FreeFileIo(s.io);
  s.pending->Commit();
}

void MovieWriter::Abandon() {
  State& s = *state_;
  {
    std::lock_guard lock(s.mutex);
    s.abandon = true;
  }
  s.changed.notify_all();
  if (s.thread.joinable()) s.thread.join();
}

}  // namespace prismora::media
