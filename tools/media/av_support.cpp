#include "media/av_support.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "imageio/pending_file.h"
#include "media/movie_names.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace prismora::media {

bool HaveMovies() { return true; }

namespace {

std::atomic<bool> library_logs{false};

// FFmpeg's and the codecs' own lines (libx264 prints its settings and
// statistics at every file) only when asked for: prismora says what went
// wrong once, in its own words.
void LibraryLog(void* context, int level, const char* format, va_list args) {
  if (library_logs.load(std::memory_order_relaxed)) {
    av_log_default_callback(context, level, format, args);
  }
}

}  // namespace

void SetLibraryLogs(bool shown) {
  library_logs.store(shown);
  QuietLibraries();
}

void QuietLibraries() {
  static std::once_flag routed;
  std::call_once(routed, [] { av_log_set_callback(LibraryLog); });
}

FramePtr NewFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  return frame;
}

PacketPtr NewPacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  return packet;
}

std::string AvErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  std::string s = text;
  if (!s.empty()) s[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
  return s;
}

std::string Quote(const std::filesystem::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

InputPtr OpenMovie(const std::filesystem::path& path) {
  QuietLibraries();
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) throw MovieError(Quote(path) + " does not exist");
  if (!std::filesystem::is_regular_file(status)) {
    throw MovieError(Quote(path) + " is not a regular file");
  }
  if (std::filesystem::file_size(path, ec) == 0 && !ec) throw MovieError(Quote(path) + " is empty");
  AVFormatContext* raw = nullptr;
  if (const int err = avformat_open_input(&raw, path.string().c_str(), nullptr, nullptr);
      err < 0) {
    throw MovieError("cannot read " + Quote(path) + " as a movie: " + AvErrorText(err));
  }
  InputPtr input(raw);
  if (const int err = avformat_find_stream_info(input.get(), nullptr); err < 0) {
    throw MovieError("cannot read " + Quote(path) + ": " + AvErrorText(err));
  }
  return input;
}

int SwsMatrix(AVColorSpace space, int height) {
  switch (space) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: break;
  }
  return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
}

namespace {

constexpr int kIoBuffer = 1 << 18;

// Writes into the file, or (without one) nowhere, keeping only the size.
struct FileIo {
  imageio::PendingFile* file = nullptr;
  int64_t position = 0;
  int64_t discarded = 0;  // the size written nowhere
};

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WriteBuffer = const uint8_t*;
#else
using WriteBuffer = uint8_t*;
#endif

int WritePacket(void* opaque, WriteBuffer data, int size) {
  auto* io = static_cast<FileIo*>(opaque);
  if (io->file != nullptr && !io->file->WriteAt(data, static_cast<std::size_t>(size),
                                                static_cast<uint64_t>(io->position))) {
    return AVERROR(EIO);
  }
  io->position += size;
  io->discarded = std::max(io->discarded, io->position);
  return size;
}

int ReadPacket(void* opaque, uint8_t* data, int size) {
  auto* io = static_cast<FileIo*>(opaque);
  if (io->file == nullptr) return AVERROR_EOF;
  const std::size_t got =
      io->file->ReadAt(data, static_cast<std::size_t>(size), static_cast<uint64_t>(io->position));
  if (got == 0) return AVERROR_EOF;
  io->position += static_cast<int64_t>(got);
  return static_cast<int>(got);
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
  auto* io = static_cast<FileIo*>(opaque);
  const auto size = io->file != nullptr ? static_cast<int64_t>(io->file->size()) : io->discarded;
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: io->position = offset; break;
    case SEEK_CUR: io->position += offset; break;
    case SEEK_END: io->position = size + offset; break;
    default: return AVERROR(EINVAL);
  }
  if (io->position < 0) return AVERROR(EINVAL);
  return io->position;
}

AVIOContext* NewIo(imageio::PendingFile* file) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
  if (buffer == nullptr) throw std::bad_alloc();
  auto* opaque = new FileIo{file, 0, 0};
  AVIOContext* io =
      avio_alloc_context(buffer, kIoBuffer, 1, opaque, ReadPacket, WritePacket, Seek);
  if (io == nullptr) {
    av_free(buffer);
    delete opaque;
    throw std::bad_alloc();
  }
  return io;
}

}  // namespace

AVIOContext* NewFileIo(imageio::PendingFile& file) { return NewIo(&file); }

AVIOContext* NewDiscardingIo() { return NewIo(nullptr); }

void FreeFileIo(AVIOContext*& io) {
  if (io == nullptr) return;
  delete static_cast<FileIo*>(io->opaque);
  av_freep(&io->buffer);
  avio_context_free(&io);
}

}  // namespace prismora::media
