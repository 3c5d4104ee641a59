// Finding the PiPL inside a plug-in library file without loading it: the
// ".pipl" section of an ELF shared object, or the "PIPL" resource (id 16000)
// of a Windows PE library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace minihost {

// Where a Windows library keeps its PiPL: a resource of this (named) type,
// id and language.
inline constexpr const char* kPiplResourceType = "PIPL";
inline constexpr uint16_t kPiplResourceId = 16000;
inline constexpr uint16_t kPiplResourceLanguage = 1033;  // English (United States)

// Files larger than this are refused before they are read.
inline constexpr std::uintmax_t kMaxLibraryFileSize = std::uintmax_t{1} << 30;

// Reads the whole file; throws HostError naming the file and the problem.
std::vector<uint8_t> ReadLibraryFile(const std::filesystem::path& path);

// The PiPL bytes of an in-memory library image. Every offset in the image is
// checked against its size; a malformed image throws HostError.
std::vector<uint8_t> FindPiplInElf(std::span<const uint8_t> image);
std::vector<uint8_t> FindPiplInPe(std::span<const uint8_t> image);
// Chooses by the file's magic number.
std::vector<uint8_t> FindPipl(std::span<const uint8_t> image);

}  // namespace minihost
