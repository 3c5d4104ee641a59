// The plug-in property list (PiPL), built at compile time from the effect's
// own constants. The Linux library carries these bytes in its ".pipl"
// section; the Windows build writes them to a file that the resource script
// embeds as resource type "PiPL", id 16000.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "entry/effect_info.h"

namespace prismora::pipl {

inline constexpr int kResourceId = 16000;
inline constexpr int kResourceLanguage = 1033;
inline constexpr uint16_t kPiPLVersion = 1;
inline constexpr uint32_t kPropertyCount = 12;
inline constexpr uint32_t kAeReservedFlags = 8;

constexpr uint32_t FourCC(std::string_view code) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

constexpr std::size_t Pad4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// Little-endian writer over a fixed buffer; `size` tells how much was used.
template <std::size_t N>
struct Writer {
  std::array<uint8_t, N> bytes{};
  std::size_t size = 0;

  constexpr void U8(uint8_t v) { bytes[size++] = v; }
  constexpr void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  constexpr void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  constexpr void Zeros(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) U8(0);
  }
  constexpr void PropertyHeader(std::string_view key, uint32_t length) {
    U32(FourCC("8BIM"));
    U32(FourCC(key));
    U32(0);
    U32(length);
  }
  constexpr void Word(std::string_view key, uint32_t value) {
    PropertyHeader(key, 4);
    U32(value);
  }
  constexpr void PascalString(std::string_view key, std::string_view text) {
    const std::size_t length = Pad4(1 + text.size());
    PropertyHeader(key, static_cast<uint32_t>(length));
    U8(static_cast<uint8_t>(text.size()));
    for (char c : text) U8(static_cast<uint8_t>(c));
    Zeros(length - 1 - text.size());
  }
  constexpr void CString(std::string_view key, std::string_view text) {
    const std::size_t length = Pad4(text.size() + 1);
    PropertyHeader(key, static_cast<uint32_t>(length));
    for (char c : text) U8(static_cast<uint8_t>(c));
    Zeros(length - text.size());
  }
};

template <std::size_t N>
constexpr Writer<N> Write() {
  Writer<N> w;
  w.U16(kPiPLVersion);
  w.U32(0);
  w.U32(kPropertyCount);
  w.Word("kind", FourCC("eFKT"));
  w.PascalString("name", kEffectName);
  w.PascalString("catg", kEffectCategory);
  w.CString("8664", kEntryPointName);
  w.Word("ePVR", 2);   // PiPL version 2.0: 16-bit 2, 16-bit 0
  w.Word("eSVR", 13);  // effect API version 13.0
  w.Word("eVER", kMyVersion);
  w.PropertyHeader("eINF", 2);
  w.U16(0);
  w.Zeros(2);
  w.Word("eGLO", static_cast<uint32_t>(kOutFlags));
  w.Word("eGL2", static_cast<uint32_t>(kOutFlags2));
  w.PascalString("eMNA", kEffectMatchName);
  w.Word("aeFL", kAeReservedFlags);
  return w;
}

inline constexpr std::size_t kSize = Write<512>().size;

constexpr std::array<uint8_t, kSize> Bytes() {
  const auto w = Write<kSize>();
  return w.bytes;
}

}  // namespace prismora::pipl
