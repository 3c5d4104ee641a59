#include "minihost/loading/library_file.h"

#include <cstring>
#include <fstream>
#include <string>

#include "minihost/base/error.h"

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

namespace {

constexpr uint32_t kHighBit = 0x80000000u;

// The resource tree of a PE image: directories of typed, named or numbered
// entries, three levels deep (type, id, language), ending in data entries.
class ResourceTree {
 public:
  ResourceTree(const Image& pe, uint64_t root_offset, uint64_t root_size)
      : pe_(pe), root_(root_offset), size_(root_size) {}

  // Offset (from the root) of the entry of the directory at `dir` whose name
  // is `name` (when not empty) or whose id is `id`; throws when absent.
  uint32_t Find(uint32_t dir, const std::string& name, uint32_t id, const char* what) const {
    const uint16_t named = pe_.U16(At(dir + 12, 2), "resource directory");
    const uint16_t numbered = pe_.U16(At(dir + 14, 2), "resource directory");
    for (uint32_t i = 0; i < uint32_t{named} + numbered; ++i) {
      const uint32_t entry = dir + 16 + 8 * i;
      const uint32_t label = pe_.U32(At(entry, 4), "resource entry");
      const uint32_t target = pe_.U32(At(entry + 4, 4), "resource entry");
      const bool match = (label & kHighBit) != 0 ? !name.empty() && NameIs(label & ~kHighBit, name)
                                                 : name.empty() && label == id;
      if (match) return target;
    }
    throw HostError(std::string("the library has no PiPL resource (") + what + " not found)");
  }

  uint32_t Subdirectory(uint32_t target) const {
    if ((target & kHighBit) == 0) throw HostError("malformed PE resource tree");
    return target & ~kHighBit;
  }

  uint64_t At(uint64_t offset, uint64_t size) const {
    if (offset > size_ || size > size_ - offset) {
      throw HostError("malformed PE file: resource tree entry outside its section");
    }
    return root_ + offset;
  }

 private:
  // Names are counted UTF-16 strings, compared with an ASCII name. Only as
  // much of a name is read as can still match: a directory of many long
  // names would otherwise cost its entries times their length.
  bool NameIs(uint32_t offset, const std::string& wanted) const {
    const uint16_t length = pe_.U16(At(offset, 2), "resource name");
    if (length != wanted.size()) return false;
    for (uint16_t i = 0; i < length; ++i) {
      const uint16_t c = pe_.U16(At(offset + 2 + 2ull * i, 2), "resource name");
      if (c != static_cast<unsigned char>(wanted[i])) return false;
    }
    return true;
  }

  const Image& pe_;
  uint64_t root_;
  uint64_t size_;
};

}  // namespace

std::vector<uint8_t> FindPiplInPe(std::span<const uint8_t> bytes) {
  const Image pe(bytes, "PE");
  if (pe.size() < 0x40 || pe.U16(0, "DOS header") != 0x5A4D) throw HostError("not a PE file");
  const uint32_t header = pe.U32(0x3C, "PE header offset");
  if (pe.U32(header, "PE signature") != 0x00004550) {
    throw HostError("malformed PE file: no PE signature");
  }
  const uint16_t sections = pe.U16(header + 6, "section count");
  const uint16_t optional_size = pe.U16(header + 20, "optional header size");
  const uint64_t optional = uint64_t{header} + 24;
  const uint16_t magic = pe.U16(optional, "optional header");
  if (magic != 0x20B && magic != 0x10B) throw HostError("malformed PE file: unknown header kind");
  const uint64_t directories = optional + (magic == 0x20B ? 112 : 96);
  const uint32_t directory_count =
      pe.U32(optional + (magic == 0x20B ? 108 : 92), "data directory count");
  if (directory_count < 3 || directories + 24 > optional + optional_size) {
    throw HostError("the library has no PiPL resource (no resource directory)");
  }
  const uint32_t resource_rva = pe.U32(directories + 16, "resource directory");
  const uint32_t resource_size = pe.U32(directories + 20, "resource directory");
  if (resource_rva == 0 || resource_size == 0) {
    throw HostError("the library has no PiPL resource (no resources)");
  }

  // Maps an address of the loaded image to its place in the file.
  const uint64_t section_table = optional + optional_size;
  auto file_offset = [&](uint64_t rva, uint64_t size) -> uint64_t {
    for (uint16_t i = 0; i < sections; ++i) {
      const uint64_t s = section_table + 40ull * i;
      const uint64_t va = pe.U32(s + 12, "section table");
      const uint64_t raw_size = pe.U32(s + 16, "section table");
      const uint64_t raw = pe.U32(s + 20, "section table");
      if (rva >= va && rva - va <= raw_size && size <= raw_size - (rva - va)) {
        pe.Check(raw + (rva - va), size, "resource data");
        return raw + (rva - va);
      }
    }
    throw HostError("malformed PE file: resource data outside every section");
  };

  const ResourceTree tree(pe, file_offset(resource_rva, resource_size), resource_size);
  const uint32_t types = 0;
  const uint32_t ids = tree.Subdirectory(tree.Find(types, kPiplResourceType, 0, "type PIPL"));
  const uint32_t languages = tree.Subdirectory(tree.Find(ids, "", kPiplResourceId, "id 16000"));
  const uint32_t data = tree.Find(languages, "", kPiplResourceLanguage, "language 1033");
  if ((data & kHighBit) != 0) throw HostError("malformed PE resource tree");
  const uint32_t data_rva = pe.U32(tree.At(data, 8), "resource data entry");
  const uint32_t data_size = pe.U32(tree.At(data, 8) + 4, "resource data entry");
  return pe.Slice(file_offset(data_rva, data_size), data_size, "PiPL resource");
}

std::vector<uint8_t> FindPipl(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), "\x7f" "ELF", 4) == 0) {
    return FindPiplInElf(bytes);
  }
  if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') return FindPiplInPe(bytes);
  throw HostError("not a plug-in library (neither ELF nor PE)");
}

}  // namespace minihost
