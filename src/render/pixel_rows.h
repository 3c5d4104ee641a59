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
  explicit PixelRows(const PF_EffectWorld& world)
      : base_(reinterpret_cast<unsigned char*>(world.data)), row_bytes_(world.rowbytes) {}

  void Store(A_long x, A_long y, const Pixel& pixel) const {
    std::memcpy(base_ + static_cast<std::ptrdiff_t>(y) * row_bytes_ +
                    static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(sizeof(Pixel)),
                &pixel, sizeof pixel);
  }

 private:
  unsigned char* base_;
  std::ptrdiff_t row_bytes_;
};

}  // namespace prismora
