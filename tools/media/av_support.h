// What the movie reader and writer share over FFmpeg's libraries: owners
// for its objects, its errors in words, colour matrices by name, and an
// AVIOContext that writes through a PendingFile's checked writes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace prismora::imageio {
class PendingFile;
}

namespace prismora::media {

struct InputCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputFreer {
  void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
  void operator()(SwsContext* c) const { sws_freeContext(c); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;

FramePtr NewFrame();
PacketPtr NewPacket();

// FFmpeg's text for an error code.
std::string AvErrorText(int error);
std::string Quote(const std::filesystem::path& path);

// Routes FFmpeg's log to where SetLibraryLogs says (nowhere unless asked)
// before the first library call that may print.
void QuietLibraries();

// Opens `path` for reading, its libraries' logs quiet unless asked for.
// Throws MovieError.
InputPtr OpenMovie(const std::filesystem::path& path);

// libswscale's colour matrix for a stream's colour space; an unspecified
// one is BT.709 from 720 rows up and BT.601 below, as players take it.
int SwsMatrix(AVColorSpace space, int height);

// An AVIOContext writing, seeking and reading back through `file`'s
// checked writes. Freed with FreeFileIo.
AVIOContext* NewFileIo(imageio::PendingFile& file);
// One that writes nowhere but seeks, for a muxer set up on trial.
AVIOContext* NewDiscardingIo();
void FreeFileIo(AVIOContext*& io);

}  // namespace prismora::media
