#include "media/movie_names.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "imageio/image_file.h"

namespace prismora::media {

bool IsMovieName(const std::filesystem::path& path) { return imageio::IsMovieName(path); }

FrameRate Reduced(int64_t num, int64_t den) {
  const int64_t g = std::gcd(num, den);
  if (g > 1) {
    num /= g;
    den /= g;
  }
  return {num, den};
}

namespace {

std::optional<int64_t> Whole(std::string_view text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The rates of the NTSC family, n / 1.001, as editors write them rounded
// (23.976 or 23.98, 29.97, 59.94): a plain decimal of two places or more
// that n * 1000 / 1001 gives when printed to as many places.
std::optional<FrameRate> NtscRate(std::string_view text, double value) {
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos ||
      text.find_first_not_of("0123456789.") != std::string_view::npos) {
    return std::nullopt;
  }
  const int places = static_cast<int>(text.size() - point - 1);
  if (places < 2 || places > 6) return std::nullopt;
  const int64_t n = std::llround(value * 1.001);
  if (n < 1) return std::nullopt;
  char given[48], ntsc[48];
  std::snprintf(given, sizeof given, "%.*f", places, value);
  std::snprintf(ntsc, sizeof ntsc, "%.*f", places, static_cast<double>(n) * 1000.0 / 1001.0);
  if (std::string_view(given) != ntsc || n * 1000 % 1001 == 0) return std::nullopt;
  return Reduced(n * 1000, 1001);
}

}  // namespace

std::optional<FrameRate> ParseFrameRate(std::string_view text) {
  if (const std::size_t slash = text.find('/'); slash != std::string_view::npos) {
    const auto num = Whole(text.substr(0, slash));
    const auto den = Whole(text.substr(slash + 1));
    if (!num || !den || *num <= 0 || *den <= 0 || *num > 10'000'000 || *den > 10'000'000) {
      return std::nullopt;
    }
    return Reduced(*num, *den);
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value) || value <= 0.0 || value > 1e7) {
    return std::nullopt;
  }
  if (const std::optional<FrameRate> ntsc = NtscRate(text, value)) return ntsc;
  // Decimal rates to the thousandth, as the host's time scale takes them.
  const int64_t thousandths = std::llround(value * 1000.0);
  if (thousandths <= 0) return std::nullopt;
  return Reduced(thousandths, 1000);
}

std::string RateText(const FrameRate& rate) {
  if (rate.den == 1) return std::to_string(rate.num);
  return std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

std::optional<Codec> ParseCodec(std::string_view text) {
  if (text == "h264" || text == "libx264" || text == "avc") return Codec::kH264;
  if (text == "prores" || text == "prores4444" || text == "prores_ks") return Codec::kProRes;
  if (text == "ffv1") return Codec::kFfv1;
  return std::nullopt;
}

std::string CodecName(Codec codec) {
  switch (codec) {
    case Codec::kH264: return "H.264";
    case Codec::kProRes: return "ProRes 4444";
    case Codec::kFfv1: break;
  }
  return "FFV1";
}

}  // namespace prismora::media
