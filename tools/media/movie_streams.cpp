#include "media/movie_streams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/timecode.h>
}

namespace prismora::media {
namespace {

// Whether the muxer sets itself up for one stream of these parameters: .mov
// refuses FLAC and .mp4 takes it only as experimental, though both say they
// know its tag.
bool TrialAccepts(const AVOutputFormat& muxer, const AVCodecParameters& parameters) {
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, &muxer, nullptr, nullptr) < 0 || raw == nullptr) {
    return false;
  }
  std::unique_ptr<AVFormatContext, OutputFreer> trial(raw);
  AVStream* stream = avformat_new_stream(raw, nullptr);
  if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, &parameters) < 0) {
    return false;
  }
  stream->codecpar->codec_tag = 0;
  stream->time_base = {1, 90000};
  AVIOContext* io = NewDiscardingIo();
  raw->pb = io;
  const int err = avformat_init_output(raw, nullptr);
  trial.reset();
  FreeFileIo(io);
  return err >= 0;
}

// What MPEG-TS carries as its own stream types; anything else its muxer
// writes as private data that no player reads back.
bool TransportStreamHolds(AVCodecID id) {
  static constexpr std::array kHeld = {
      AV_CODEC_ID_MPEG1VIDEO,   AV_CODEC_ID_MPEG2VIDEO,  AV_CODEC_ID_MPEG4, AV_CODEC_ID_H264,
      AV_CODEC_ID_HEVC,         AV_CODEC_ID_VC1,         AV_CODEC_ID_MP2,   AV_CODEC_ID_MP3,
      AV_CODEC_ID_AAC,          AV_CODEC_ID_AAC_LATM,    AV_CODEC_ID_AC3,   AV_CODEC_ID_EAC3,
      AV_CODEC_ID_DTS,          AV_CODEC_ID_TRUEHD,      AV_CODEC_ID_OPUS,  AV_CODEC_ID_S302M,
      AV_CODEC_ID_DVB_SUBTITLE, AV_CODEC_ID_DVB_TELETEXT};
  return std::find(kHeld.begin(), kHeld.end(), id) != kHeld.end();
}

bool IsTextSubtitle(AVCodecID id) {
  const AVCodecDescriptor* d = avcodec_descriptor_get(id);
  return d != nullptr && (d->props & AV_CODEC_PROP_TEXT_SUB) != 0;
}

AVCodecParameters* Parameters(AVMediaType type, AVCodecID id) {
  AVCodecParameters* p = avcodec_parameters_alloc();
  if (p == nullptr) throw std::bad_alloc();
  p->codec_type = type;
  p->codec_id = id;
  if (type == AVMEDIA_TYPE_AUDIO) {
    p->sample_rate = 48000;
    av_channel_layout_default(&p->ch_layout, 2);
  }
  return p;
}

// Whether the container takes a stream of this codec made by its encoder.
bool HoldsEncoded(const AVOutputFormat& muxer, AVMediaType type, AVCodecID id) {
  if (avcodec_find_encoder(id) == nullptr) return false;
  AVCodecParameters* p = Parameters(type, id);
  const bool held = MuxerHolds(muxer, *p);
  avcodec_parameters_free(&p);
  return held;
}

std::string CodecText(AVCodecID id) { return avcodec_get_name(id); }

// The audio of a stream the container cannot hold: AAC unless --audio copy
// was given; a usage error when nothing converts it.
CarriedStream PlanAudio(int index, const AVCodecParameters& p, const AVOutputFormat& muxer,
                        const MovieOutput& o, const std::string& container,
                        std::vector<std::string>* notices) {
  const std::string what = "the " + CodecText(p.codec_id) + " audio of " + Quote(o.audio_from);
  const bool aac_held = HoldsEncoded(muxer, AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_AAC);
  const bool decodable = avcodec_find_decoder(p.codec_id) != nullptr;
  if (o.audio == AudioChoice::kAac) {
    if (!aac_held) {
      throw MovieUsageError(container + " cannot hold AAC audio: use --audio none to drop " + what);
    }
    if (!decodable) {
      throw MovieUsageError("this build of FFmpeg cannot decode " + what +
                            " to convert it: use --audio copy or --audio none");
    }
    return {index, true, AV_CODEC_ID_AAC};
  }
  if (MuxerHolds(muxer, p)) return {index, false, p.codec_id};
  if (o.audio == AudioChoice::kCopy || !aac_held || !decodable) {
    throw MovieUsageError(container + " cannot hold " + what +
                          (aac_held && decodable ? ": use --audio aac to convert it, or --audio "
                                                   "none to drop it"
                                                 : ": use --audio none to drop it, or another "
                                                   "container (.mkv holds most)"));
  }
  if (notices != nullptr) {
    notices->push_back(container + " cannot hold " + what +
                       ": it is converted to AAC (--audio none drops it)");
  }
  return {index, true, AV_CODEC_ID_AAC};
}

// Subtitles the container cannot hold: text ones as a text codec it takes
// (mov_text for .mov and .mp4), pictures never.
CarriedStream PlanSubtitles(int index, const AVCodecParameters& p, const AVOutputFormat& muxer,
                            const MovieOutput& o, const std::string& container,
                            std::vector<std::string>* notices) {
  if (MuxerHolds(muxer, p)) return {index, false, p.codec_id};
  const std::string what = "the " + CodecText(p.codec_id) + " subtitles of " + Quote(o.audio_from);
  if (IsTextSubtitle(p.codec_id) && avcodec_find_decoder(p.codec_id) != nullptr) {
    for (AVCodecID to :
         {AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_SUBRIP, AV_CODEC_ID_ASS, AV_CODEC_ID_WEBVTT}) {
      if (!HoldsEncoded(muxer, AVMEDIA_TYPE_SUBTITLE, to)) continue;
      if (notices != nullptr) {
        notices->push_back(container + " cannot hold " + what + ": they are converted to " +
                           CodecText(to) + " (--subtitles none drops them)");
      }
      return {index, true, to};
    }
  }
  throw MovieUsageError(container + " cannot hold " + what +
                        ": use --subtitles none to drop them, or another container (.mkv "
                        "holds most)");
}

const AVDictionaryEntry* Tag(const AVDictionary* tags, const char* key) {
  return av_dict_get(tags, key, nullptr, 0);
}

// The timecode of the input's first frame: its video stream's, the file's,
// or a timecode track's.
const char* TimecodeOf(const AVFormatContext& input, int video) {
  if (video >= 0) {
    if (const auto* t = Tag(input.streams[video]->metadata, "timecode")) return t->value;
  }
  if (const auto* t = Tag(input.metadata, "timecode")) return t->value;
  for (unsigned i = 0; i < input.nb_streams; ++i) {
    if (const auto* t = Tag(input.streams[i]->metadata, "timecode")) return t->value;
  }
  return nullptr;
}

// "01:00:00:00" moved on by `frames` at `rate`; nothing when the text is
// no timecode at that rate.
std::optional<std::string> Advanced(const char* timecode, const FrameRate& rate, int64_t frames) {
  AVTimecode tc{};
  const AVRational r{static_cast<int>(rate.num), static_cast<int>(rate.den)};
  if (av_timecode_init_from_string(&tc, r, timecode, nullptr) < 0) return std::nullopt;
  if (frames > INT32_MAX) return std::nullopt;
  char text[AV_TIMECODE_STR_SIZE] = {};
  av_timecode_make_string(&tc, text, static_cast<int>(frames));
  return std::string(text);
}

}  // namespace

bool MuxerHolds(const AVOutputFormat& muxer, const AVCodecParameters& parameters) {
  const int said = avformat_query_codec(&muxer, parameters.codec_id, FF_COMPLIANCE_NORMAL);
  // A muxer that does not say (MXF) may take a stream at first and refuse
  // its packets: only MPEG-TS's own table answers for one.
  if (said == 0) return false;
  if (said < 0 &&
      !(std::strcmp(muxer.name, "mpegts") == 0 && TransportStreamHolds(parameters.codec_id))) {
    return false;
  }
  return TrialAccepts(muxer, parameters);
}

std::vector<CarriedStream> PlanStreams(const AVFormatContext& input, const AVOutputFormat& muxer,
                                       const MovieOutput& o, std::vector<std::string>* notices) {
  const std::string container =
      "a " + o.target.extension().string() + " file (" + muxer.long_name + ")";
  std::vector<CarriedStream> carried;
  for (unsigned i = 0; i < input.nb_streams; ++i) {
    const AVCodecParameters& p = *input.streams[i]->codecpar;
    const int index = static_cast<int>(i);
    if (p.codec_type == AVMEDIA_TYPE_AUDIO && o.audio != AudioChoice::kNone) {
      carried.push_back(PlanAudio(index, p, muxer, o, container, notices));
    } else if (p.codec_type == AVMEDIA_TYPE_SUBTITLE && o.subtitles) {
      carried.push_back(PlanSubtitles(index, p, muxer, o, container, notices));
    }
  }
  return carried;
}

void CopyTags(const AVFormatContext& input, const MovieOutput& o, AVFormatContext& muxer,
              AVStream& video) {
  av_dict_copy(&muxer.metadata, input.metadata, 0);
  // Said anew by this muxer, or made from the frames written.
  for (const char* stale : {"encoder", "timecode", "duration"}) {
    av_dict_set(&muxer.metadata, stale, nullptr, 0);
  }
  const int index = av_find_best_stream(const_cast<AVFormatContext*>(&input), AVMEDIA_TYPE_VIDEO,
                                        -1, -1, nullptr, 0);
  if (index >= 0) {
    for (const char* key : {"language", "title"}) {
      if (const auto* t = Tag(input.streams[index]->metadata, key)) {
        av_dict_set(&video.metadata, key, t->value, 0);
      }
    }
  }
  if (const char* timecode = TimecodeOf(input, index)) {
    const auto moved = Advanced(timecode, o.timecode_rate, o.timecode_frames);
    if (moved) {
      av_dict_set(&muxer.metadata, "timecode", moved->c_str(), 0);
    } else if (o.timecode_frames == 0) {
      av_dict_set(&muxer.metadata, "timecode", timecode, 0);
    }
  }
}

AVFieldOrder FieldOrderOf(const AVFormatContext& input) {
  const int index = av_find_best_stream(const_cast<AVFormatContext*>(&input), AVMEDIA_TYPE_VIDEO,
                                        -1, -1, nullptr, 0);
  if (index < 0) return AV_FIELD_UNKNOWN;
  return input.streams[index]->codecpar->field_order;
}

bool Interlaced(AVFieldOrder order) {
  return order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB ||
         order == AV_FIELD_BT;
}

void MarkFields(AVFrame& frame, AVFieldOrder order) {
  if (!Interlaced(order)) return;
  // Top first for TT and TB, as FFmpeg's own tools mark top-first frames
  // (TB) and as its decoders read them back.
  const bool top_first = order == AV_FIELD_TT || order == AV_FIELD_TB;
#ifdef AV_FRAME_FLAG_INTERLACED
  frame.flags |= AV_FRAME_FLAG_INTERLACED;
  if (top_first) frame.flags |= AV_FRAME_FLAG_TOP_FIELD_FIRST;
#else
  frame.interlaced_frame = 1;
  frame.top_field_first = top_first ? 1 : 0;
#endif
}

}  // namespace prismora::media
