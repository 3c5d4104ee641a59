// An image in the host's pixel layout, independent of any file library:
// four channels per pixel in the order alpha, red, green, blue, straight
// (unassociated) colour, rows `row_bytes` apart. Channels run 0..255 at 8
// bits, 0..32768 at 16 bits (the host's deep-colour range) and are unclamped
// floats at 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace prismora::imageio {

enum class Depth : int { k8 = 8, k16 = 16, k32 = 32 };

template <class T>
struct Argb {
  T alpha, red, green, blue;
  bool operator==(const Argb&) const = default;
};
using Argb8 = Argb<uint8_t>;
using Argb16 = Argb<uint16_t>;
using Argb32 = Argb<float>;

// What differs between the depths, for code written once over all three.
template <class T>
struct ChannelTraits;
template <>
struct ChannelTraits<uint8_t> {
  static constexpr Depth kDepth = Depth::k8;
  static constexpr float kWhite = 255.0f;
};
template <>
struct ChannelTraits<uint16_t> {
  static constexpr Depth kDepth = Depth::k16;
  static constexpr float kWhite = 32768.0f;
};
template <>
struct ChannelTraits<float> {
  static constexpr Depth kDepth = Depth::k32;
  static constexpr float kWhite = 1.0f;
};

// A channel value from a float in white units (1.0 = white): rounded and
// clamped to the channel's range at 8 and 16 bits, as it is at 32.
template <class T>
T FromUnit(float v) {
  if constexpr (std::is_same_v<T, float>) {
    return v;
  } else {
    const float scaled = v * ChannelTraits<T>::kWhite + 0.5f;
    if (!(scaled > 0.0f)) return 0;  // also NaN
    if (scaled >= ChannelTraits<T>::kWhite) return static_cast<T>(ChannelTraits<T>::kWhite);
    return static_cast<T>(scaled);
  }
}
template <class T>
float ToUnit(T v) {
  return static_cast<float>(v) / ChannelTraits<T>::kWhite;
}

// 16-bit files use 0..65535, worlds 0..32768. Both directions round to the
// nearest value, so every world value survives a write and a read exactly
// (the file scale is finer than the world's). World values above 32768 are
// not valid and write as white.
constexpr uint16_t FileFromWorld16(uint16_t w) {
  if (w >= 32768) return 65535;
  return static_cast<uint16_t>((uint32_t{w} * 65535u + 16384u) / 32768u);
}
constexpr uint16_t WorldFromFile16(uint16_t f) {
  return static_cast<uint16_t>((uint32_t{f} * 32768u + 32767u) / 65535u);
}

int BytesPerPixel(Depth depth);
std::string DepthName(Depth depth);  // "8-bit", "16-bit", "32-bit float"

// Calls f(std::type_identity<T>{}) with T the channel type of `depth`.
template <class F>
decltype(auto) VisitDepth(Depth depth, F&& f) {
  switch (depth) {
    case Depth::k8: return f(std::type_identity<uint8_t>{});
    case Depth::k16: return f(std::type_identity<uint16_t>{});
    case Depth::k32: break;
  }
  return f(std::type_identity<float>{});
}

// Pixels in a Raster's layout that live elsewhere (a host world, say):
// `height` rows of `width` pixels of `depth`, `row_bytes` apart from `data`.
// Byte is const std::byte for pixels that are only read.
template <class Byte>
struct BasicRasterView {
  Byte* data = nullptr;
  std::ptrdiff_t row_bytes = 0;
  int width = 0;
  int height = 0;
  Depth depth = Depth::k8;

  BasicRasterView() = default;
  BasicRasterView(Byte* pixels, std::ptrdiff_t bytes_per_row, int w, int h, Depth d)
      : data(pixels), row_bytes(bytes_per_row), width(w), height(h), depth(d) {}
  // Pixels that may be written may also just be read.
  template <class Other>
    requires(std::is_const_v<Byte> && !std::is_const_v<Other>)
  BasicRasterView(const BasicRasterView<Other>& other)
      : BasicRasterView(other.data, other.row_bytes, other.width, other.height, other.depth) {}

  // Row y as pixels of channel type T, which must match depth.
  template <class T>
  auto* Row(int y) const {
    using Pixel = std::conditional_t<std::is_const_v<Byte>, const Argb<T>, Argb<T>>;
    return reinterpret_cast<Pixel*>(data + y * row_bytes);
  }
};
using RasterView = BasicRasterView<const std::byte>;
using MutableRasterView = BasicRasterView<std::byte>;

// EXIF and TIFF orientation: how stored pixels are turned to be seen
// upright (1 as they are, 2 mirrored, 3 turned half way, 4 flipped, 5
// transposed, 6 turned a quarter clockwise, 7 transversed, 8 turned a
// quarter anticlockwise). From 5 on, width and height swap.
constexpr bool Transposes(int orientation) { return orientation >= 5; }

// `stored` turned upright into `upright` (its size turned likewise).
template <class T>
void Reorient(const RasterView& stored, int orientation, const MutableRasterView& upright) {
  const int w = stored.width, h = stored.height;
  for (int y = 0; y < h; ++y) {
    const Argb<T>* src = stored.Row<T>(y);
    for (int x = 0; x < w; ++x) {
      int ux = x, uy = y;
      switch (orientation) {
        case 2: ux = w - 1 - x; break;
        case 3: ux = w - 1 - x; uy = h - 1 - y; break;
        case 4: uy = h - 1 - y; break;
        case 5: ux = y; uy = x; break;
        case 6: ux = h - 1 - y; uy = x; break;
        case 7: ux = h - 1 - y; uy = w - 1 - x; break;
        case 8: ux = y; uy = w - 1 - x; break;
        default: break;
      }
      upright.Row<T>(uy)[ux] = src[x];
    }
  }
}

class Raster {
 public:
  Raster() = default;
  // All channels zero; rows packed. Throws std::bad_alloc when too large.
  Raster(int width, int height, Depth depth);

  int width() const { return width_; }
  int height() const { return height_; }
  Depth depth() const { return depth_; }
  std::ptrdiff_t row_bytes() const { return row_bytes_; }
  bool empty() const { return width_ == 0 || height_ == 0; }

  std::byte* data() { return pixels_.data(); }
  const std::byte* data() const { return pixels_.data(); }

  // Row y as pixels of channel type T, which must match depth().
  template <class T>
  Argb<T>* Row(int y) {
    return reinterpret_cast<Argb<T>*>(pixels_.data() + y * row_bytes_);
  }
  template <class T>
  const Argb<T>* Row(int y) const {
    return reinterpret_cast<const Argb<T>*>(pixels_.data() + y * row_bytes_);
  }

  MutableRasterView view() { return {data(), row_bytes_, width_, height_, depth_}; }
  RasterView view() const { return {data(), row_bytes_, width_, height_, depth_}; }

  // Same size, depth and channel values (bit for bit at 32 bits).
  bool SamePixels(const Raster& other) const;

 private:
  int width_ = 0;
  int height_ = 0;
  Depth depth_ = Depth::k8;
  std::ptrdiff_t row_bytes_ = 0;
  std::vector<std::byte> pixels_;
};

}  // namespace prismora::imageio
