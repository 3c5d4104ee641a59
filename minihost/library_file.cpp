#include "minihost/library_file.h"

#include <cstring>
#include <fstream>
#include <string>

#include "minihost/error.h"

namespace minihost {
namespace {

// Bounded little-endian reads from an image.
class Image {
 public:
  Image(std::span<const uint8_t> bytes, const char* kind) : bytes_(bytes), kind_(kind) {}

  uint64_t Read(uint64_t offset, unsigned width, const char* what) const {
    Check(offset, width, what);
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= static_cast<uint64_t>(bytes_[offset + i]) << (8 * i);
    return v;
  }
  uint16_t U16(uint64_t offset, const char* what) const {
    return static_cast<uint16_t>(Read(offset, 2, what));
  }
  uint32_t U32(uint64_t offset, const char* what) const {
    return static_cast<uint32_t>(Read(offset, 4, what));
  }
  uint64_t U64(uint64_t offset, const char* what) const { return Read(offset, 8, what); }
  std::vector<uint8_t> Slice(uint64_t offset, uint64_t size, const char* what) const {
    Check(offset, size, what);
    return {bytes_.begin() + static_cast<std::ptrdiff_t>(offset),
            bytes_.begin() + static_cast<std::ptrdiff_t>(offset + size)};
  }
  void Check(uint64_t offset, uint64_t size, const char* what) const {
    if (offset > bytes_.size() || size > bytes_.size() - offset) {
      throw HostError(std::string("malformed ") + kind_ + " file: " + what +
                      " lies outside the file (offset " + std::to_string(offset) + ", " +
                      std::to_string(size) + " bytes, file has " +
                      std::to_string(bytes_.size()) + ")");
    }
  }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
  const char* kind_;
};

}  // namespace

std::vector<uint8_t> ReadLibraryFile(const std::filesystem::path& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) throw HostError("cannot read plug-in '" + path.string() + "': " + ec.message());
  if (size > kMaxLibraryFileSize) {
    throw HostError("plug-in '" + path.string() + "' is " + std::to_string(size) +
                    " bytes, more than a plug-in library can be");
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    throw HostError("cannot read plug-in '" + path.string() + "'");
  }
  return bytes;
}

std::vector<uint8_t> FindPiplInElf(std::span<const uint8_t> bytes) {
  const Image elf(bytes, "ELF");
  if (elf.size() < 64 || std::memcmp(bytes.data(), "\x7f" "ELF", 4) != 0) {
    throw HostError("not an ELF file");
  }
  if (bytes[4] != 2 || bytes[5] != 1) {
    throw HostError("not a 64-bit little-endian ELF file");
  }
  const uint64_t shoff = elf.U64(0x28, "section header offset");
  const uint16_t shentsize = elf.U16(0x3A, "section header size");
  const uint16_t shnum = elf.U16(0x3C, "section count");
  const uint16_t shstrndx = elf.U16(0x3E, "section name table index");
  if (shentsize < 64) throw HostError("malformed ELF file: section headers too small");
  if (shstrndx >= shnum) throw HostError("malformed ELF file: no section name table");
  elf.Check(shoff, uint64_t{shentsize} * shnum, "section header table");

  const uint64_t names_header = shoff + uint64_t{shentsize} * shstrndx;
  const uint64_t names_offset = elf.U64(names_header + 0x18, "section name table offset");
  const uint64_t names_size = elf.U64(names_header + 0x20, "section name table size");
  elf.Check(names_offset, names_size, "section name table");

  static constexpr char kWanted[] = ".pipl";
  for (uint16_t i = 0; i < shnum; ++i) {
    const uint64_t header = shoff + uint64_t{shentsize} * i;
    const uint32_t name = elf.U32(header, "section name");
    if (name >= names_size || names_size - name < sizeof(kWanted)) continue;
    if (std::memcmp(bytes.data() + names_offset + name, kWanted, sizeof(kWanted)) != 0) continue;
    const uint64_t offset = elf.U64(header + 0x18, "PiPL section offset");
    const uint64_t size = elf.U64(header + 0x20, "PiPL section size");
    return elf.Slice(offset, size, "PiPL section");
  }
  throw HostError("the library has no PiPL (no '.pipl' section)");
}

std::vector<uint8_t> FindPiplInPe(std::span<const uint8_t> /*bytes*/) {
  throw HostError("reading the PiPL resource of a Windows library is not supported yet");
}

std::vector<uint8_t> FindPipl(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), "\x7f" "ELF", 4) == 0) {
    return FindPiplInElf(bytes);
  }
  if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') return FindPiplInPe(bytes);
  throw HostError("not a plug-in library (neither ELF nor PE)");
}

}  // namespace minihost
