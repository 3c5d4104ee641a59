// frei0r's pixels (8-bit straight RGBA, rows top first, width * 4 bytes a
// row) to and from the host's 8-bit worlds (alpha, red, green, blue). The
// channels move and nothing else: no host premultiplies.
#pragma once

#include <cstddef>
#include <cstdint>

namespace prismora::frei0r {

// `count` pixels; `rgba` and `argb` must not overlap.
void ArgbFromRgba(const uint32_t* rgba, unsigned char* argb, std::size_t count);
void RgbaFromArgb(const unsigned char* argb, uint32_t* rgba, std::size_t count);

}  // namespace prismora::frei0r
