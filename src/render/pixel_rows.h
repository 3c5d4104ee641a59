// Direct access to a world's pixel memory by row bytes. Rows are addressed
// in ptrdiff_t from the world's own row bytes, and pixels are copied in and
// out, so any row padding the host chooses is honoured.
#pragma once

#include <cstddef>
#include <cstring>

#include "host/ae_effect.h"

namespace prismora {

template <class Pixel>
class PixelRows {
 public:
  // One row's pixels.
  class Line {
   public:
    explicit Line(unsigned char* start) : start_(start) {}
    void Store(A_long x, const Pixel& pixel) const {
      constexpr auto kBytes = static_cast<std::ptrdiff_t>(sizeof(Pixel));
      std::memcpy(start_ + static_cast<std::ptrdiff_t>(x) * kBytes, &pixel, sizeof pixel);
    }

   private:
    unsigned char* start_;
  };

  explicit PixelRows(const PF_EffectWorld& world)
      : base_(reinterpret_cast<unsigned char*>(world.data)), row_bytes_(world.rowbytes) {}

  Line Row(A_long y) const { return Line(base_ + static_cast<std::ptrdiff_t>(y) * row_bytes_); }

 private:
  unsigned char* base_;
  std::ptrdiff_t row_bytes_;
};

}  // namespace prismora
