// Everything that differs between the three pixel depths, so that each pass
// is written once: the pixel and channel types, the arithmetic of the main
// pass's mix, the vignette's application, the blur's average, the host's
// sampling function and the creation of a temporary world.
//
//            mix (largest alpha, sums)   normalised channel          vignette
//   8-bit    int32, integer terms        sum / (A x 255), <= 255     trunc(c x v), <= 255
//   16-bit   double (see below)          sum / (A x 255.0), <= 32768  trunc(c x v), <= 32768
//   float    float                       sum / A / 255, unclamped    float(c x v), unclamped
//
// The 16-bit terms and sums are whole numbers below 2^42, which double holds
// exactly, so they are formed in 64-bit integers, the same values without a
// conversion per term, and become doubles for the division. A weight is
// converted to the mix's type once per pass (a float at float depth).
//
// Blur sums are 64-bit at 8 and 16 bits (a long run of 16-bit channels does
// not fit in 32) and float at float depth.
#pragma once

#include <cstdint>
#include <limits>

#include "host/ae_effect.h"
#include "host/suite_handler.h"

namespace prismora {

// How many samples a blur run averages. A run too long to count in 64 bits
// is vast: it averages every integer sum to 0, and at float depth divides by
// its length as a double.
struct RunLength {
  uint64_t count = 1;
  double as_double = 1;
  bool vast = false;
};

// A product for an integer channel: truncated toward zero and held within
// 0..ceiling (a NaN or negative product is 0).
inline double HeldTruncated(double value, double ceiling) {
  if (!(value > 0)) return 0;
  if (value >= ceiling) return ceiling;
  return static_cast<double>(static_cast<int64_t>(value));
}

// sum / (alpha x 255) for the 8-bit mix without a division: with d the
// divisor and m = ceil(2^42 / d) = (2^42 + e) / d, where 0 <= e < d < 2^16,
// sum x m / 2^42 exceeds sum / d by sum x e / (d x 2^42), less than 1 / d for
// every sum below 2^26 (three terms of at most 255^3 stay below it). A
// quotient's fraction is at most (d - 1) / d, so the floor is the same.
struct ReciprocalOf255Multiples {
  static constexpr int kShift = 42;
  uint64_t factor[256] = {};
  constexpr ReciprocalOf255Multiples() {
    for (uint64_t alpha = 1; alpha < 256; ++alpha) {
      const uint64_t d = alpha * 255;
      factor[alpha] = ((uint64_t{1} << kShift) + d - 1) / d;
    }
  }
  // alpha 1..255, sum below 2^26.
  constexpr uint32_t Divide(uint32_t sum, uint32_t alpha) const {
    return static_cast<uint32_t>((uint64_t{sum} * factor[alpha]) >> kShift);
  }
};
inline constexpr ReciprocalOf255Multiples kReciprocalOf255Multiples{};

struct Depth8 {
  using Pixel = PF_Pixel8;
  using Channel = A_u_char;
  using Mix = int32_t;
  using RunSum = uint64_t;
  using SampleFunction = PF_Err (*)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, Pixel*);
  static constexpr PF_PixelFormat kFormat = PF_PixelFormat_ARGB32;

  static SampleFunction Sampling(SuiteHandler& suites) {
    return suites.Sampling8Suite1()->subpixel_sample;
  }
  static PF_Err NewWorld(SuiteHandler& suites, const PF_WorldSuite2*, PF_ProgPtr ref,
                         A_long width, A_long height, PF_EffectWorld* world) {
    return suites.WorldSuite1()->new_world(ref, width, height, PF_NewWorldFlag_NONE, world);
  }

  using Weight = int32_t;
  static Mix Alpha(Channel alpha) { return alpha; }
  static Mix Term(Channel alpha, Channel channel, Weight weight) {
    return Mix{alpha} * channel * weight;
  }
  static Channel ResultAlpha(Mix alpha) { return static_cast<Channel>(alpha); }
  static Channel Normalise(Mix sum, Mix alpha) {
    const uint32_t value = kReciprocalOf255Multiples.Divide(static_cast<uint32_t>(sum),
                                                            static_cast<uint32_t>(alpha));
    return static_cast<Channel>(value > 255 ? 255 : value);
  }
  static Channel Attenuate(Channel channel, double factor) {
    return static_cast<Channel>(HeldTruncated(channel * factor, 255.0));
  }
  static Channel Average(RunSum sum, const RunLength& n) {
    return static_cast<Channel>(n.vast ? 0 : sum / n.count);
  }
};

struct Depth16 {
  using Pixel = PF_Pixel16;
  using Channel = A_u_short;
  using Mix = int64_t;
  using RunSum = uint64_t;
  using SampleFunction = PF_Err (*)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, Pixel*);
  static constexpr PF_PixelFormat kFormat = PF_PixelFormat_ARGB64;

  static SampleFunction Sampling(SuiteHandler& suites) {
    return suites.Sampling16Suite1()->subpixel_sample16;
  }
  static PF_Err NewWorld(SuiteHandler& suites, const PF_WorldSuite2*, PF_ProgPtr ref,
                         A_long width, A_long height, PF_EffectWorld* world) {
    return suites.WorldSuite1()->new_world(ref, width, height, PF_NewWorldFlag_DEEP_PIXELS,
                                           world);
  }

  using Weight = int64_t;
  static Mix Alpha(Channel alpha) { return alpha; }
  static Mix Term(Channel alpha, Channel channel, Weight weight) {
    return Mix{alpha} * channel * weight;
  }
  static Channel ResultAlpha(Mix alpha) { return static_cast<Channel>(alpha); }
  static Channel Normalise(Mix sum, Mix alpha) {
    const double value = static_cast<double>(sum) / (static_cast<double>(alpha) * 255.0);
    return static_cast<Channel>(value > 32768.0 ? 32768.0 : value);
  }
  static Channel Attenuate(Channel channel, double factor) {
    return static_cast<Channel>(HeldTruncated(channel * factor, 32768.0));
  }
  static Channel Average(RunSum sum, const RunLength& n) {
    return static_cast<Channel>(n.vast ? 0 : sum / n.count);
  }
};

struct DepthFloat {
  using Pixel = PF_PixelFloat;
  using Channel = PF_FpShort;
  using Mix = float;
  using RunSum = float;
  using SampleFunction = PF_Err (*)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, Pixel*);
  static constexpr PF_PixelFormat kFormat = PF_PixelFormat_ARGB128;

  static SampleFunction Sampling(SuiteHandler& suites) {
    return suites.SamplingFloatSuite1()->subpixel_sample_float;
  }
  static PF_Err NewWorld(SuiteHandler&, const PF_WorldSuite2* world_suite2, PF_ProgPtr ref,
                         A_long width, A_long height, PF_EffectWorld* world) {
    return world_suite2->PF_NewWorld(ref, width, height, 0, PF_PixelFormat_ARGB128, world);
  }

  using Weight = float;
  static Mix Alpha(Channel alpha) { return alpha; }
  static Mix Term(Channel alpha, Channel channel, Weight weight) {
    return (alpha * channel) * weight;
  }
  static Channel ResultAlpha(Mix alpha) { return alpha; }
  static Channel Normalise(Mix sum, Mix alpha) { return sum / alpha / 255.0f; }
  static Channel Attenuate(Channel channel, double factor) {
    const double value = static_cast<double>(channel) * factor;
    // Beyond float's range, the infinity it rounds to; a plain conversion
    // would be undefined there.
    constexpr double kLargest = std::numeric_limits<float>::max();
    if (value > kLargest) return std::numeric_limits<float>::infinity();
    if (value < -kLargest) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
  }
  static Channel Average(RunSum sum, const RunLength& n) {
    return sum / (n.vast ? static_cast<float>(n.as_double) : static_cast<float>(n.count));
  }
};

}  // namespace prismora
