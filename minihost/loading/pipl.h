// Reading a plug-in property list: the bytes a host finds in the library
// file before it runs any of the library's code.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace minihost {

struct PiplProperty {
  std::string vendor;  // "8BIM"
  std::string key;     // "name", "eGLO", ...
  uint32_t id = 0;
  std::vector<uint8_t> data;
};

struct PiplInfo {
  std::vector<PiplProperty> properties;  // in file order
  std::string kind;                      // "eFKT" for an effect
  std::string name;
  std::string category;
  std::string match_name;
  std::string entry_point;  // from "8664"
  uint16_t pipl_version_major = 0, pipl_version_minor = 0;
  uint16_t spec_version_major = 0, spec_version_minor = 0;
  uint32_t version = 0;
  uint32_t out_flags = 0;
  uint32_t out_flags2 = 0;
  bool has_version = false, has_out_flags = false, has_out_flags2 = false;
};

// Parses and validates a PiPL. Every read is bounded by `bytes`; anything
// malformed (short data, a count that does not fit, a vendor other than
// "8BIM", a kind other than "eFKT", missing name or entry point) throws
// HostError naming the problem and its offset.
PiplInfo ParsePipl(std::span<const uint8_t> bytes);

// The fields of a packed version word.
struct VersionParts {
  uint32_t major = 0, minor = 0, bug = 0, stage = 0, build = 0;
  const char* stage_name = "";  // "develop", "alpha", "beta" or "release"
};
VersionParts SplitVersion(uint32_t version);

// "1.00" style text of a packed version word, with stage and build.
std::string VersionText(uint32_t version);

// Names of the set bits of a flag word; bits without a name read "bit N".
std::vector<std::string> OutFlagNames(uint32_t flags);
std::vector<std::string> OutFlag2Names(uint32_t flags);
// Names of the bits set in `a` but not in `b` and vice versa.
std::string DescribeFlagDifference(uint32_t plugin, uint32_t pipl, bool flags2);

}  // namespace minihost
