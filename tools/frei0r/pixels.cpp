#include "frei0r/pixels.h"

#include <bit>
#include <cstring>

namespace prismora::frei0r {
namespace {

// As 32-bit words on a little-endian machine, RGBA bytes are
// A<<24 | B<<16 | G<<8 | R and ARGB bytes B<<24 | G<<16 | R<<8 | A: one
// rotation apart. A big-endian machine rotates the other way.
constexpr bool kLittle = std::endian::native == std::endian::little;

inline uint32_t ToArgb(uint32_t rgba) { return kLittle ? std::rotl(rgba, 8) : std::rotr(rgba, 8); }
inline uint32_t ToRgba(uint32_t argb) { return kLittle ? std::rotr(argb, 8) : std::rotl(argb, 8); }

}  // namespace

void ArgbFromRgba(const uint32_t* rgba, unsigned char* argb, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t word = ToArgb(rgba[i]);
    std::memcpy(argb + i * 4, &word, 4);
  }
}

void RgbaFromArgb(const unsigned char* argb, uint32_t* rgba, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    uint32_t word;
    std::memcpy(&word, argb + i * 4, 4);
    rgba[i] = ToRgba(word);
  }
}

}  // namespace prismora::frei0r
