// Movies as prismora names them: which files are movies, the codecs it
// writes, and frame rates kept exact.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace prismora::media {

// A movie that cannot be read or written; the message names the file, and
// the frame when one frame failed.
class MovieError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A frame of a movie that cannot be read; the message names it.
class MovieFrameError : public MovieError {
 public:
  using MovieError::MovieError;
};

// What was asked of a movie output cannot be done (a codec the container
// cannot hold, a depth or alpha the codec cannot keep): found before any
// rendering.
class MovieUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// False when built without FFmpeg.
bool HaveMovies();

// Whether FFmpeg's and the codecs' own log lines reach stderr (render -v);
// they are dropped by default.
void SetLibraryLogs(bool shown);

// Movie files by extension (.mov, .mp4, .mkv, .avi, .webm, .mxf, ...).
bool IsMovieName(const std::filesystem::path& path);

// A frame rate as a fraction (24000/1001), in lowest terms.
struct FrameRate {
  int64_t num = 30;
  int64_t den = 1;
  double value() const { return static_cast<double>(num) / static_cast<double>(den); }
  bool operator==(const FrameRate&) const = default;
};
FrameRate Reduced(int64_t num, int64_t den);
// "30", "24000/1001", "12.5"; the NTSC rates as editors round them ("23.976",
// "29.97", "59.94") are 24000/1001, 30000/1001, 60000/1001. Nothing when
// the text is none of these or the rate is not above 0.
std::optional<FrameRate> ParseFrameRate(std::string_view text);
std::string RateText(const FrameRate& rate);  // "25", "24000/1001"

// A ratio of whole numbers: a time base (1/90000 s), a pixel aspect.
struct Fraction {
  int64_t num = 1;
  int64_t den = 1;
  double value() const { return static_cast<double>(num) / static_cast<double>(den); }
  bool operator==(const Fraction&) const = default;
};

// The codecs prismora writes.
enum class Codec {
  kH264,     // libx264, 8-bit 4:2:0, no alpha
  kProRes,   // ProRes 4444 (prores_ks), 10-bit 4:4:4, alpha kept
  kFfv1,     // FFV1, lossless, 8 or 16 bits, alpha kept
};
// "h264", "prores" (or "prores4444"), "ffv1"; nothing for other names.
std::optional<Codec> ParseCodec(std::string_view text);
std::string CodecName(Codec codec);  // "H.264", "ProRes 4444", "FFV1"

}  // namespace prismora::media
