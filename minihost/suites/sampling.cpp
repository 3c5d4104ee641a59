#include "minihost/suites/sampling.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define MINIHOST_SAMPLING_SSE2 1
#endif

namespace minihost {
namespace {

thread_local int64_t t_samples = 0;

// No second key for a call.
constexpr char kNoName[] = "";

// The rare ways out of a sample, kept apart from the common path: out of
// line, so that their calls weigh nothing on it.
[[gnu::noinline, gnu::cold]] PF_Err InjectedFault(Host& host, const char* name,
                                                   const char* qualified) {
  if (auto failure = host.faults().Check(name, qualified)) return failure->code;
  return PF_Err_NONE;
}

[[gnu::noinline, gnu::cold]] PF_Err Refuse(const char* problem) {
  if (Host* host = Host::Current()) host->Problem(problem);
  return PF_Err_BAD_CALLBACK_PARAM;
}

// Counts the call and asks the fault injector, but only while a rule is
// armed: the map lookups of a full check would dominate a render.
inline PF_Err Gate(const char* name, const char* qualified) {
  ++t_samples;
  Host* host = Host::Current();
  if (host != nullptr && host->faults().armed()) [[unlikely]] {
    return InjectedFault(*host, name, qualified);
  }
  return PF_Err_NONE;
}

struct Source {
  const unsigned char* base;
  std::ptrdiff_t row_bytes;
  A_long width;
  A_long height;

  bool Inside(int64_t x, int64_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  const unsigned char* At(A_long x, A_long y, std::size_t pixel_bytes) const {
    return base + static_cast<std::ptrdiff_t>(y) * row_bytes +
           static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(pixel_bytes);
  }
  template <class Pixel>
  Pixel Load(A_long x, A_long y) const {
    Pixel p;
    std::memcpy(&p, At(x, y, sizeof(Pixel)), sizeof p);
    return p;
  }
};

inline PF_Err SourceOf(const PF_SampPB* params, const void* dst, Source& source) {
  if (params == nullptr || params->src == nullptr || dst == nullptr) [[unlikely]] {
    return Refuse("sample without a block, a source or a destination");
  }
  const PF_EffectWorld& world = *params->src;
  source = Source{reinterpret_cast<const unsigned char*>(world.data), world.rowbytes, world.width,
                  world.height};
  if (source.base == nullptr && source.width > 0 && source.height > 0) [[unlikely]] {
    return Refuse("sample of a world without pixels");
  }
  return PF_Err_NONE;
}

template <class Pixel>
constexpr bool kIsFloat = std::is_same_v<Pixel, PF_PixelFloat>;

struct Tap {
  A_long x, y;
  uint64_t weight;
};

// Weighted sum of the taps, per channel, in the order given.
template <class Pixel>
Pixel Blend(const Source& s, const Tap* taps, int count) {
  if constexpr (kIsFloat<Pixel>) {
    double a = 0.0, r = 0.0, g = 0.0, b = 0.0;
    for (int i = 0; i < count; ++i) {
      const Pixel p = s.Load<Pixel>(taps[i].x, taps[i].y);
      const double w = static_cast<double>(taps[i].weight) * 0x1p-32;
      a += w * p.alpha;
      r += w * p.red;
      g += w * p.green;
      b += w * p.blue;
    }
    return Pixel{static_cast<float>(a), static_cast<float>(r), static_cast<float>(g),
                 static_cast<float>(b)};
  } else {
    using Channel = decltype(Pixel::alpha);
    constexpr uint64_t kHalf = uint64_t{1} << 31;
    uint64_t a = kHalf, r = kHalf, g = kHalf, b = kHalf;
    for (int i = 0; i < count; ++i) {
      const Pixel p = s.Load<Pixel>(taps[i].x, taps[i].y);
      const uint64_t w = taps[i].weight;
      a += w * p.alpha;
      r += w * p.red;
      g += w * p.green;
      b += w * p.blue;
    }
    return Pixel{static_cast<Channel>(a >> 32), static_cast<Channel>(r >> 32),
                 static_cast<Channel>(g >> 32), static_cast<Channel>(b >> 32)};
  }
}

// A position near or beyond the world's edges: only the taps inside, and at
// float depth only those of non-zero weight. The source comes by value: a
// reference would keep it in memory on the common path too.
template <class Pixel>
[[gnu::noinline]] Pixel Edge(Source s, A_long ix, A_long iy, uint64_t fx, uint64_t fy) {
  const uint64_t gx = 65536 - fx;
  const uint64_t gy = 65536 - fy;
  Tap taps[4];
  int count = 0;
  auto add = [&](A_long cx, A_long cy, uint64_t weight) {
    if (weight != 0 && s.Inside(cx, cy)) taps[count++] = Tap{cx, cy, weight};
  };
  add(ix, iy, gx * gy);
  add(ix + 1, iy, fx * gy);
  add(ix, iy + 1, gx * fy);
  add(ix + 1, iy + 1, fx * fy);
  return Blend<Pixel>(s, taps, count);
}

// All four taps inside the world, none of weight zero at float depth: the
// common case, each pixel read once and without per-tap checks. The integer
// sums are exact, so their order does not matter; the float sum keeps the
// tap order of the definition, starting from 0.0.
template <class Pixel>
inline Pixel Interior(const Source& s, A_long ix, A_long iy, uint64_t fx, uint64_t fy) {
  const unsigned char* top = s.At(ix, iy, sizeof(Pixel));
  const unsigned char* bottom = top + s.row_bytes;
  Pixel p00, p10, p01, p11;
  std::memcpy(&p00, top, sizeof(Pixel));
  std::memcpy(&p10, top + sizeof(Pixel), sizeof(Pixel));
  std::memcpy(&p01, bottom, sizeof(Pixel));
  std::memcpy(&p11, bottom + sizeof(Pixel), sizeof(Pixel));
  const uint64_t gx = 65536 - fx, gy = 65536 - fy;
  const uint64_t w00 = gx * gy, w10 = fx * gy, w01 = gx * fy, w11 = fx * fy;
  if constexpr (kIsFloat<Pixel>) {
    const double d00 = static_cast<double>(w00) * 0x1p-32, d10 = static_cast<double>(w10) * 0x1p-32,
                 d01 = static_cast<double>(w01) * 0x1p-32, d11 = static_cast<double>(w11) * 0x1p-32;
    auto mix = [&](float a, float b, float c, float d) {
      return static_cast<float>(0.0 + d00 * a + d10 * b + d01 * c + d11 * d);
    };
    return Pixel{mix(p00.alpha, p10.alpha, p01.alpha, p11.alpha),
                 mix(p00.red, p10.red, p01.red, p11.red),
                 mix(p00.green, p10.green, p01.green, p11.green),
                 mix(p00.blue, p10.blue, p01.blue, p11.blue)};
  } else {
    using Channel = decltype(Pixel::alpha);
    constexpr uint64_t kHalf = uint64_t{1} << 31;
    auto mix = [&](uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
      return static_cast<Channel>((w00 * a + w10 * b + w01 * c + w11 * d + kHalf) >> 32);
    };
    return Pixel{mix(p00.alpha, p10.alpha, p01.alpha, p11.alpha),
                 mix(p00.red, p10.red, p01.red, p11.red),
                 mix(p00.green, p10.green, p01.green, p11.green),
                 mix(p00.blue, p10.blue, p01.blue, p11.blue)};
  }
}

#ifdef MINIHOST_SAMPLING_SSE2
// The integer Interior two taps at a time. gy x (gx x a + fx x b) +
// fy x (gx x c + fx x d) is the same whole number as the sum of the four
// weighted taps: each row's sum is at most 65536 x 65535 and fits a 32-bit
// lane, the column's at most 2^48 a 64-bit one. Both fractions must be
// non-zero, so that gx and gy fit 16 bits.
template <class Pixel>
inline Pixel InteriorTwoByTwo(const Source& s, A_long ix, A_long iy, uint32_t fx, uint32_t fy) {
  const unsigned char* top = s.At(ix, iy, sizeof(Pixel));
  const unsigned char* bottom = top + s.row_bytes;
  // Two neighbouring pixels, a channel in each 16-bit lane.
  __m128i upper, lower;
  if constexpr (sizeof(Pixel) == 4) {
    const __m128i zero = _mm_setzero_si128();
    upper = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top)), zero);
    lower = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom)), zero);
  } else {
    upper = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top));
    lower = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom));
  }
  const auto gx = static_cast<short>(65536 - fx), f = static_cast<short>(fx);
  const __m128i across = _mm_set_epi16(f, f, f, f, gx, gx, gx, gx);
  auto row = [across](__m128i pixels) {
    const __m128i low = _mm_mullo_epi16(pixels, across);
    const __m128i high = _mm_mulhi_epu16(pixels, across);
    return _mm_add_epi32(_mm_unpacklo_epi16(low, high), _mm_unpackhi_epi16(low, high));
  };
  const __m128i up = row(upper), down = row(lower);
  const __m128i gy = _mm_set1_epi32(static_cast<int>(65536 - fy));
  const __m128i fy_ = _mm_set1_epi32(static_cast<int>(fy));
  const __m128i half = _mm_set1_epi64x(int64_t{1} << 31);
  // Channels 0 and 2 in the even 32-bit lanes, 1 and 3 moved down to them.
  const __m128i even = _mm_add_epi64(
      _mm_add_epi64(_mm_mul_epu32(up, gy), _mm_mul_epu32(down, fy_)), half);
  const __m128i odd = _mm_add_epi64(
      _mm_add_epi64(_mm_mul_epu32(_mm_srli_epi64(up, 32), gy),
                    _mm_mul_epu32(_mm_srli_epi64(down, 32), fy_)),
      half);
  const __m128i channels = _mm_or_si128(
      _mm_srli_epi64(even, 32), _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0)));
  Pixel out;
  if constexpr (sizeof(Pixel) == 4) {
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(channels, channels), channels);
    const int packed = _mm_cvtsi128_si32(bytes);
    std::memcpy(&out, &packed, sizeof out);
  } else {
    // The low 16 bits of each lane, in order (a lane may hold up to 65535).
    const __m128i words = _mm_shuffle_epi32(
        _mm_shufflehi_epi16(_mm_shufflelo_epi16(channels, 0x88), 0x88), 0x08);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&out), words);
  }
  return out;
}
#endif

template <class Pixel>
inline Pixel Bilinear(const Source& s, PF_Fixed x, PF_Fixed y) {
  const A_long ix = x >> 16;
  const A_long iy = y >> 16;
  const uint64_t fx = static_cast<uint32_t>(x) & 0xFFFFu;
  const uint64_t fy = static_cast<uint32_t>(y) & 0xFFFFu;
  // A whole-number position is the pixel itself.
  if ((fx | fy) == 0) return s.Inside(ix, iy) ? s.Load<Pixel>(ix, iy) : Pixel{};
  // ix and iy are at most 32767, so the sums cannot overflow. At float depth
  // a tap of weight zero is never read, so that an infinite value there
  // cannot turn the result into NaN: only the edge path skips taps.
  if (ix >= 0 && iy >= 0 && ix + 1 < s.width && iy + 1 < s.height &&
      (!kIsFloat<Pixel> || (fx != 0 && fy != 0))) [[likely]] {
#ifdef MINIHOST_SAMPLING_SSE2
    if constexpr (!kIsFloat<Pixel>) {
      if (fx != 0 && fy != 0) [[likely]] {
        return InteriorTwoByTwo<Pixel>(s, ix, iy, static_cast<uint32_t>(fx),
                                       static_cast<uint32_t>(fy));
      }
    }
#endif
    return Interior<Pixel>(s, ix, iy, fx, fy);
  }
  return Edge<Pixel>(s, ix, iy, fx, fy);
}

// A sample the common path leaves: the fault check (while a rule is
// armed), the block's checks and any position, as the common path would.
template <class Pixel, const char* kName, const char* kQualified>
[[gnu::noinline]] PF_Err SubpixelInFull(PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                                        Pixel* dst, bool armed) {
  if (armed) {
    if (PF_Err err = InjectedFault(*Host::Current(), kName, kQualified)) return err;
  }
  Source s{};
  if (PF_Err err = SourceOf(params, dst, s)) [[unlikely]] return err;
  *dst = Bilinear<Pixel>(s, x, y);
  return PF_Err_NONE;
}

// Each suite function is one of these: the count, the fault check, the
// block's checks and the pixel. The common positions (a pixel's centre, or
// four pixels inside the world) are answered here with no call; every other
// sample goes on in SubpixelInFull, to the same result.
template <class Pixel, const char* kName, const char* kQualified>
PF_Err Subpixel(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) {
  ++t_samples;
  Host* host = Host::Current();
  const bool armed = host != nullptr && host->faults().armed();
  if (!armed && params != nullptr && params->src != nullptr && dst != nullptr &&
      params->src->data != nullptr) [[likely]] {
    const PF_EffectWorld& world = *params->src;
    const Source s{reinterpret_cast<const unsigned char*>(world.data), world.rowbytes, world.width,
                   world.height};
    const A_long ix = x >> 16;
    const A_long iy = y >> 16;
    const auto fx = static_cast<uint32_t>(x) & 0xFFFFu;
    const auto fy = static_cast<uint32_t>(y) & 0xFFFFu;
    if (fx != 0 && fy != 0) {
      if (ix >= 0 && iy >= 0 && ix + 1 < s.width && iy + 1 < s.height) [[likely]] {
#ifdef MINIHOST_SAMPLING_SSE2
        if constexpr (!kIsFloat<Pixel>) {
          *dst = InteriorTwoByTwo<Pixel>(s, ix, iy, fx, fy);
          return PF_Err_NONE;
        }
#endif
        *dst = Interior<Pixel>(s, ix, iy, fx, fy);
        return PF_Err_NONE;
      }
    } else if ((fx | fy) == 0 && s.Inside(ix, iy)) {
      *dst = s.Load<Pixel>(ix, iy);
      return PF_Err_NONE;
    }
  }
  return SubpixelInFull<Pixel, kName, kQualified>(x, y, params, dst, armed);
}

template <class Pixel, const char* kName>
PF_Err Nearest(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) {
  if (PF_Err err = Gate(kName, kNoName)) return err;
  Source s{};
  if (PF_Err err = SourceOf(params, dst, s)) return err;
  const int64_t ix = (int64_t{x} + 0x8000) >> 16;
  const int64_t iy = (int64_t{y} + 0x8000) >> 16;
  *dst = s.Inside(ix, iy) ? s.Load<Pixel>(static_cast<A_long>(ix), static_cast<A_long>(iy))
                          : Pixel{};
  return PF_Err_NONE;
}

// The area function is the subpixel one under its own name.
template <class Pixel, const char* kName>
PF_Err Area(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) {
  return Subpixel<Pixel, kName, kNoName>(ref, x, y, params, dst);
}

// The names a call is counted under; at 8 bits the subpixel call's own name
// is the shared one, with no second key.
constexpr char kSubpixel[] = "subpixel_sample";
constexpr char kSubpixel16[] = "subpixel_sample16";
constexpr char kSubpixelFloat[] = "subpixel_sample_float";
constexpr char kNearest8[] = "nn_sample";
constexpr char kNearest16[] = "nn_sample16";
constexpr char kNearestFloat[] = "nn_sample_float";
constexpr char kArea8[] = "area_sample";
constexpr char kArea16[] = "area_sample16";
constexpr char kAreaFloat[] = "area_sample_float";

constexpr PF_Sampling8Suite1 kSampling8 = {Nearest<PF_Pixel, kNearest8>,
                                           Subpixel<PF_Pixel, kSubpixel, kNoName>,
                                           Area<PF_Pixel, kArea8>};

constexpr PF_Sampling16Suite1 kSampling16 = {Nearest<PF_Pixel16, kNearest16>,
                                             Subpixel<PF_Pixel16, kSubpixel, kSubpixel16>,
                                             Area<PF_Pixel16, kArea16>};

constexpr PF_SamplingFloatSuite1 kSamplingFloat = {
    Nearest<PF_PixelFloat, kNearestFloat>, Subpixel<PF_PixelFloat, kSubpixel, kSubpixelFloat>,
    Area<PF_PixelFloat, kAreaFloat>};

}  // namespace

void InstallSamplingSuites(Host& host) {
  host.suites().Register(kPFSampling8Suite, kPFSampling8SuiteVersion1, &kSampling8);
  host.suites().Register(kPFSampling16Suite, kPFSampling16SuiteVersion1, &kSampling16);
  host.suites().Register(kPFSamplingFloatSuite, kPFSamplingFloatSuiteVersion1, &kSamplingFloat);
}

const PF_Sampling8Suite1& Sampling8Suite() { return kSampling8; }
const PF_Sampling16Suite1& Sampling16Suite() { return kSampling16; }
const PF_SamplingFloatSuite1& SamplingFloatSuite() { return kSamplingFloat; }

int64_t SamplesTaken() { return t_samples; }
void ResetSamplesTaken() { t_samples = 0; }

}  // namespace minihost
