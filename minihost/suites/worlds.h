// Images of the emulated host: worlds of the three depths with any row
// padding, the world suites through which a plug-in creates and disposes its
// own ("PF World Suite" 1 and 2), the pixel-format query, the utility
// callbacks' copy, and the accounting of worlds a plug-in leaves behind.
#pragma once

#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "minihost/base/error.h"
#include "minihost/host/host.h"

namespace minihost {

// Bytes of one pixel: 4, 8 or 16; 0 for a format the host does not know.
std::size_t PixelBytes(PF_PixelFormat format);
// "argb", "ae16", "ae32" or the code in hex.
std::string FormatName(PF_PixelFormat format);

// One image. Each row is followed by `row_padding` bytes holding
// kPaddingFill, so a writer that strays past the width is caught. Pixels are
// addressed by row bytes and copied in and out, since padding may leave a
// row unaligned for its pixel type.
class World {
 public:
  static constexpr unsigned char kPaddingFill = 0xCD;

  // Pixels cleared to zero.
  World(A_long width, A_long height, PF_PixelFormat format, A_long row_padding = 0);
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // The record handed to a plug-in. Never moves while the world lives.
  PF_EffectWorld& effect_world() { return world_; }
  const PF_EffectWorld& effect_world() const { return world_; }
  PF_PixelFormat format() const { return format_; }
  A_long width() const { return world_.width; }
  A_long height() const { return world_.height; }
  A_long row_bytes() const { return world_.rowbytes; }
  std::size_t pixel_bytes() const { return PixelBytes(format_); }

  unsigned char* row(A_long y) { return bytes_.get() + static_cast<std::ptrdiff_t>(y) * row_bytes(); }
  const unsigned char* row(A_long y) const {
    return bytes_.get() + static_cast<std::ptrdiff_t>(y) * row_bytes();
  }
  template <class Pixel>
  Pixel Get(A_long x, A_long y) const {
    CheckPixel(sizeof(Pixel), x, y);
    Pixel p;
    std::memcpy(&p, row(y) + static_cast<std::ptrdiff_t>(x) * sizeof(Pixel), sizeof p);
    return p;
  }
  template <class Pixel>
  void Set(A_long x, A_long y, const Pixel& p) {
    CheckPixel(sizeof(Pixel), x, y);
    std::memcpy(row(y) + static_cast<std::ptrdiff_t>(x) * sizeof(Pixel), &p, sizeof p);
  }
  // Every byte of every pixel (not the padding).
  void FillPixels(unsigned char byte);
  // True while no row's padding has been written.
  bool PaddingIntact() const;
  // Same size, format and pixels (padding aside).
  bool SamePixels(const World& other) const;

  // The live world whose pixel memory starts at `data`, or null.
  static World* Find(const void* data);

 private:
  void CheckPixel(std::size_t size, A_long x, A_long y) const;

  PF_PixelFormat format_;
  A_long row_padding_;
  struct Free {
    std::size_t alignment;  // as allocated
    void operator()(unsigned char* p) const;
  };
  std::unique_ptr<unsigned char[], Free> bytes_;
  PF_EffectWorld world_{};
};

// "PF World Suite" 1 and 2 and the utility callbacks' copy. Worlds that a
// plug-in creates and has not disposed when a command ends are reported and
// then freed; a world of the plug-in's whose row padding was written is
// reported when it goes.
class WorldService : public Service {
 public:
  // Creates the service once per host and installs its suites and callbacks;
  // later calls return the same service.
  static WorldService& Install(Host& host);
  explicit WorldService(Host&) {}

  // Row padding in bytes of the worlds the plug-in creates from now on.
  void set_row_padding(A_long bytes) { row_padding_ = bytes; }
  // Worlds created by the plug-in: ever, disposed, and alive now.
  int created() const { return created_; }
  int disposed() const { return disposed_; }
  std::size_t live() const { return worlds_.size(); }
  // The plug-in's world whose record is `world`, or null.
  World* Find(const PF_EffectWorld* world) const;

  void Audit(std::vector<std::string>& problems) override;

 private:
  friend struct WorldCalls;
  A_long row_padding_ = 0;
  std::map<const void*, std::unique_ptr<World>> worlds_;  // by pixel memory
  int created_ = 0;
  int disposed_ = 0;
};

}  // namespace minihost
