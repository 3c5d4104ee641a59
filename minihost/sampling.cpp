#include "minihost/sampling.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace minihost {
namespace {

thread_local int64_t t_samples = 0;

// Counts the call and asks the fault injector, but only while a rule is
// armed: the map lookups of a full check would dominate a render.
PF_Err Gate(const char* name, const char* qualified) {
  ++t_samples;
  Host* host = Host::Current();
  if (host != nullptr && host->faults().armed()) [[unlikely]] {
    if (auto failure = host->faults().Check(name, qualified)) return failure->code;
  }
  return PF_Err_NONE;
}

struct Source {
  const unsigned char* base;
  std::ptrdiff_t row_bytes;
  A_long width;
  A_long height;

  bool Inside(int64_t x, int64_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  template <class Pixel>
  Pixel Load(A_long x, A_long y) const {
    Pixel p;
    std::memcpy(&p,
                base + static_cast<std::ptrdiff_t>(y) * row_bytes +
                    static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(sizeof(Pixel)),
                sizeof p);
    return p;
  }
};

PF_Err SourceOf(const PF_SampPB* params, const void* dst, Source& source) {
  if (params == nullptr || params->src == nullptr || dst == nullptr) {
    if (Host* host = Host::Current()) host->Problem("sample without a block, a source or a destination");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const PF_EffectWorld& world = *params->src;
  source = Source{reinterpret_cast<const unsigned char*>(world.data), world.rowbytes, world.width,
                  world.height};
  if (source.base == nullptr && source.width > 0 && source.height > 0) {
    if (Host* host = Host::Current()) host->Problem("sample of a world without pixels");
    return PF_Err_BAD_CALLBACK_PARAM;
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

// All four taps inside the world, none of weight zero at float depth: the
// common case, without per-tap checks.
template <class Pixel>
Pixel Interior(const Source& s, A_long ix, A_long iy, uint64_t fx, uint64_t fy) {
  const unsigned char* top = s.base + static_cast<std::ptrdiff_t>(iy) * s.row_bytes +
                             static_cast<std::ptrdiff_t>(ix) * static_cast<std::ptrdiff_t>(sizeof(Pixel));
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
    auto mix = [&](uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
      return static_cast<Channel>((w00 * a + w10 * b + w01 * c + w11 * d + (uint64_t{1} << 31)) >> 32);
    };
    return Pixel{mix(p00.alpha, p10.alpha, p01.alpha, p11.alpha),
                 mix(p00.red, p10.red, p01.red, p11.red),
                 mix(p00.green, p10.green, p01.green, p11.green),
                 mix(p00.blue, p10.blue, p01.blue, p11.blue)};
  }
}

template <class Pixel>
Pixel Bilinear(const Source& s, PF_Fixed x, PF_Fixed y) {
  const A_long ix = x >> 16;
  const A_long iy = y >> 16;
  const uint64_t fx = static_cast<uint32_t>(x) & 0xFFFFu;
  const uint64_t fy = static_cast<uint32_t>(y) & 0xFFFFu;
  if (fx == 0 && fy == 0) return s.Inside(ix, iy) ? s.Load<Pixel>(ix, iy) : Pixel{};

  const bool interior = ix >= 0 && iy >= 0 && ix < s.width - 1 && iy < s.height - 1;
  // At float depth a tap of weight zero is skipped, so that an infinite value
  // there cannot turn the result into NaN: only the general path does that.
  if (interior && (!kIsFloat<Pixel> || (fx != 0 && fy != 0))) {
    return Interior<Pixel>(s, ix, iy, fx, fy);
  }
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

template <class Pixel>
PF_Err Subpixel(const char* qualified, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                Pixel* dst) {
  if (PF_Err err = Gate("subpixel_sample", qualified)) return err;
  Source s;
  if (PF_Err err = SourceOf(params, dst, s)) return err;
  *dst = Bilinear<Pixel>(s, x, y);
  return PF_Err_NONE;
}

template <class Pixel>
PF_Err Nearest(const char* name, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) {
  if (PF_Err err = Gate(name, "")) return err;
  Source s;
  if (PF_Err err = SourceOf(params, dst, s)) return err;
  const int64_t ix = (int64_t{x} + 0x8000) >> 16;
  const int64_t iy = (int64_t{y} + 0x8000) >> 16;
  *dst = s.Inside(ix, iy) ? s.Load<Pixel>(static_cast<A_long>(ix), static_cast<A_long>(iy))
                          : Pixel{};
  return PF_Err_NONE;
}

template <class Pixel>
PF_Err Area(const char* name, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) {
  if (PF_Err err = Gate(name, "")) return err;
  Source s;
  if (PF_Err err = SourceOf(params, dst, s)) return err;
  *dst = Bilinear<Pixel>(s, x, y);
  return PF_Err_NONE;
}

// No second key: at 8 bits the call's own name is the shared one.
constexpr const char* kNone = "";

constexpr PF_Sampling8Suite1 kSampling8 = {
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_Pixel* d) {
      return Nearest("nn_sample", x, y, p, d);
    },
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_Pixel* d) {
      return Subpixel(kNone, x, y, p, d);
    },
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_Pixel* d) {
      return Area("area_sample", x, y, p, d);
    }};

constexpr PF_Sampling16Suite1 kSampling16 = {
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_Pixel16* d) {
      return Nearest("nn_sample16", x, y, p, d);
    },
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_Pixel16* d) {
      return Subpixel("subpixel_sample16", x, y, p, d);
    },
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_Pixel16* d) {
      return Area("area_sample16", x, y, p, d);
    }};

constexpr PF_SamplingFloatSuite1 kSamplingFloat = {
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_PixelFloat* d) {
      return Nearest("nn_sample_float", x, y, p, d);
    },
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_PixelFloat* d) {
      return Subpixel("subpixel_sample_float", x, y, p, d);
    },
    [](PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* p, PF_PixelFloat* d) {
      return Area("area_sample_float", x, y, p, d);
    }};

}  // namespace

void InstallSamplingSuites(Host& host) {
  host.suites().Register(kPFSampling8Suite, kPFSamplingSuiteVersion1, &kSampling8);
  host.suites().Register(kPFSampling16Suite, kPFSamplingSuiteVersion1, &kSampling16);
  host.suites().Register(kPFSamplingFloatSuite, kPFSamplingSuiteVersion1, &kSamplingFloat);
}

const PF_Sampling8Suite1& Sampling8Suite() { return kSampling8; }
const PF_Sampling16Suite1& Sampling16Suite() { return kSampling16; }
const PF_SamplingFloatSuite1& SamplingFloatSuite() { return kSamplingFloat; }

int64_t SamplesTaken() { return t_samples; }
void ResetSamplesTaken() { t_samples = 0; }

}  // namespace minihost
