#include "minihost/loading/pipl.h"

#include <array>
#include <utility>

#include "minihost/base/error.h"

namespace minihost {
namespace {

// Cap on the number of properties, so a hostile count cannot make the reader
// reserve absurd amounts of memory.
constexpr uint32_t kMaxProperties = 4096;

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  std::size_t offset() const { return offset_; }
  std::size_t remaining() const { return bytes_.size() - offset_; }

  uint16_t U16(const char* what) {
    Need(2, what);
    const uint16_t v = static_cast<uint16_t>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
    offset_ += 2;
    return v;
  }
  uint32_t U32(const char* what) {
    const uint32_t lo = U16(what);
    const uint32_t hi = U16(what);
    return lo | (hi << 16);
  }
  std::vector<uint8_t> Bytes(std::size_t n, const char* what) {
    Need(n, what);
    std::vector<uint8_t> out(bytes_.begin() + static_cast<std::ptrdiff_t>(offset_),
                             bytes_.begin() + static_cast<std::ptrdiff_t>(offset_ + n));
    offset_ += n;
    return out;
  }
  void Skip(std::size_t n, const char* what) {
    Need(n, what);
    offset_ += n;
  }

 private:
  void Need(std::size_t n, const char* what) const {
    if (n > remaining()) {
      throw HostError("PiPL is truncated: " + std::string(what) + " at offset " +
                      std::to_string(offset_) + " needs " + std::to_string(n) + " bytes, " +
                      std::to_string(remaining()) + " left");
    }
  }
  std::span<const uint8_t> bytes_;
  std::size_t offset_ = 0;
};

// Four-character codes are stored as little-endian words: reversed bytes.
std::string FourCC(uint32_t code) {
  std::string out(4, ' ');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
  return out;
}

uint32_t Word(const PiplProperty& p) {
  if (p.data.size() < 4) {
    throw HostError("PiPL property '" + p.key + "' holds " + std::to_string(p.data.size()) +
                    " bytes, expected 4");
  }
  return static_cast<uint32_t>(p.data[0]) | (static_cast<uint32_t>(p.data[1]) << 8) |
         (static_cast<uint32_t>(p.data[2]) << 16) | (static_cast<uint32_t>(p.data[3]) << 24);
}

std::string PascalString(const PiplProperty& p) {
  if (p.data.empty() || p.data[0] + 1u > p.data.size()) {
    throw HostError("PiPL property '" + p.key + "' holds a string longer than its data");
  }
  return std::string(p.data.begin() + 1, p.data.begin() + 1 + p.data[0]);
}

std::string CString(const PiplProperty& p) {
  for (std::size_t i = 0; i < p.data.size(); ++i) {
    if (p.data[i] == 0) return std::string(p.data.begin(), p.data.begin() + i);
  }
  throw HostError("PiPL property '" + p.key + "' holds a string without a terminator");
}

struct FlagName {
  uint32_t bit;
  const char* name;
};

constexpr std::array kOutFlagNames = {
    FlagName{0, "PF_OutFlag_KEEP_RESOURCE_OPEN"},
    FlagName{1, "PF_OutFlag_WIDE_TIME_INPUT"},
    FlagName{2, "PF_OutFlag_NON_PARAM_VARY"},
    FlagName{4, "PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING"},
    FlagName{5, "PF_OutFlag_I_DO_DIALOG"},
    FlagName{6, "PF_OutFlag_USE_OUTPUT_EXTENT"},
    FlagName{7, "PF_OutFlag_SEND_DO_DIALOG"},
    FlagName{8, "PF_OutFlag_DISPLAY_ERROR_MESSAGE"},
    FlagName{9, "PF_OutFlag_I_EXPAND_BUFFER"},
    FlagName{10, "PF_OutFlag_PIX_INDEPENDENT"},
    FlagName{11, "PF_OutFlag_I_WRITE_INPUT_BUFFER"},
    FlagName{12, "PF_OutFlag_I_SHRINK_BUFFER"},
    FlagName{13, "PF_OutFlag_WORKS_IN_PLACE"},
    FlagName{15, "PF_OutFlag_CUSTOM_UI"},
    FlagName{17, "PF_OutFlag_REFRESH_UI"},
    FlagName{18, "PF_OutFlag_NOP_RENDER"},
    FlagName{19, "PF_OutFlag_I_USE_SHUTTER_ANGLE"},
    FlagName{20, "PF_OutFlag_I_USE_AUDIO"},
    FlagName{21, "PF_OutFlag_I_AM_OBSOLETE"},
    FlagName{22, "PF_OutFlag_FORCE_RERENDER"},
    FlagName{23, "PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS"},
    FlagName{24, "PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES"},
    FlagName{25, "PF_OutFlag_DEEP_COLOR_AWARE"},
    FlagName{26, "PF_OutFlag_SEND_UPDATE_PARAMS_UI"},
};

constexpr std::array kOutFlag2Names = {
    FlagName{0, "PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS"},
    FlagName{1, "PF_OutFlag2_I_USE_3D_CAMERA"},
    FlagName{2, "PF_OutFlag2_I_USE_3D_LIGHTS"},
    FlagName{3, "PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG"},
    FlagName{4, "PF_OutFlag2_I_AM_THREADSAFE"},
    FlagName{5, "PF_OutFlag2_CAN_COMBINE_WITH_DESTINATION"},
    FlagName{6, "PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS"},
    FlagName{7, "PF_OutFlag2_REVEALS_ZERO_ALPHA"},
    FlagName{8, "PF_OutFlag2_PRESERVES_FULLY_OPAQUE_PIXELS"},
    FlagName{10, "PF_OutFlag2_SUPPORTS_SMART_RENDER"},
    FlagName{12, "PF_OutFlag2_FLOAT_COLOR_AWARE"},
    FlagName{13, "PF_OutFlag2_I_USE_COLORSPACE_ENUMERATION"},
    FlagName{14, "PF_OutFlag2_I_AM_DEPRECATED"},
    FlagName{15, "PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER"},
    FlagName{17, "PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT"},
    FlagName{18, "PF_OutFlag2_I_USE_TIMECODE"},
    FlagName{19, "PF_OutFlag2_DEPENDS_ON_UNREFERENCED_MASKS"},
    FlagName{20, "PF_OutFlag2_OUTPUT_IS_WATERMARKED"},
    FlagName{21, "PF_OutFlag2_I_MIX_GUID_DEPENDENCIES"},
    FlagName{27, "PF_OutFlag2_SUPPORTS_THREADED_RENDERING"},
};

template <std::size_t N>
std::vector<std::string> Names(uint32_t flags, const std::array<FlagName, N>& table) {
  std::vector<std::string> out;
  for (uint32_t bit = 0; bit < 32; ++bit) {
    if ((flags & (1u << bit)) == 0) continue;
    std::string name = "bit " + std::to_string(bit);
    for (const FlagName& f : table) {
      if (f.bit == bit) name = f.name;
    }
    out.push_back(std::move(name));
  }
  return out;
}

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out.empty() ? "none" : out;
}

}  // namespace

PiplInfo ParsePipl(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  const uint16_t version = r.U16("version");
  if (version != 1) {
    throw HostError("PiPL version is " + std::to_string(version) + ", expected 1");
  }
  r.U32("reserved word");
  const uint32_t count = r.U32("property count");
  // Every property takes at least 16 bytes.
  if (count > kMaxProperties || count > r.remaining() / 16) {
    throw HostError("PiPL claims " + std::to_string(count) + " properties, but only " +
                    std::to_string(r.remaining()) + " bytes follow");
  }
  PiplInfo info;
  for (uint32_t i = 0; i < count; ++i) {
    const std::size_t at = r.offset();
    PiplProperty p;
    p.vendor = FourCC(r.U32("vendor code"));
    if (p.vendor != "8BIM") {
      throw HostError("PiPL property " + std::to_string(i) + " at offset " + std::to_string(at) +
                      " has vendor '" + p.vendor + "', expected '8BIM'");
    }
    p.key = FourCC(r.U32("property key"));
    p.id = r.U32("property id");
    const uint32_t length = r.U32("property length");
    p.data = r.Bytes(length, "property data");
    r.Skip(std::min<std::size_t>((4 - length % 4) % 4, r.remaining()), "alignment");
    info.properties.push_back(std::move(p));
  }

  bool has_kind = false, has_name = false, has_entry = false;
  for (const PiplProperty& p : info.properties) {
    if (p.key == "kind") {
      info.kind = FourCC(Word(p));
      has_kind = true;
    } else if (p.key == "name") {
      info.name = PascalString(p);
      has_name = true;
    } else if (p.key == "catg") {
      info.category = PascalString(p);
    } else if (p.key == "eMNA") {
      info.match_name = PascalString(p);
    } else if (p.key == "8664") {
      info.entry_point = CString(p);
      has_entry = true;
    } else if (p.key == "ePVR" || p.key == "eSVR") {
      const uint32_t w = Word(p);
      auto& major = p.key == "ePVR" ? info.pipl_version_major : info.spec_version_major;
      auto& minor = p.key == "ePVR" ? info.pipl_version_minor : info.spec_version_minor;
      major = static_cast<uint16_t>(w & 0xFFFF);
      minor = static_cast<uint16_t>(w >> 16);
    } else if (p.key == "eVER") {
      info.version = Word(p);
      info.has_version = true;
    } else if (p.key == "eGLO") {
      info.out_flags = Word(p);
      info.has_out_flags = true;
    } else if (p.key == "eGL2") {
      info.out_flags2 = Word(p);
      info.has_out_flags2 = true;
    }
  }
  if (!has_kind) throw HostError("PiPL has no 'kind' property");
  if (info.kind != "eFKT") {
    throw HostError("PiPL kind is '" + info.kind + "', expected 'eFKT' (an effect)");
  }
  if (!has_name || info.name.empty()) throw HostError("PiPL has no effect name");
  if (!has_entry || info.entry_point.empty()) {
    throw HostError("PiPL names no 64-bit entry point ('8664')");
  }
  return info;
}

VersionParts SplitVersion(uint32_t version) {
  static constexpr std::array<const char*, 4> kStages = {"develop", "alpha", "beta", "release"};
  VersionParts p;
  p.major = (version >> 19) & 0x7;
  p.minor = (version >> 15) & 0xF;
  p.bug = (version >> 11) & 0xF;
  p.stage = (version >> 9) & 0x3;
  p.build = version & 0x1FF;
  p.stage_name = kStages[p.stage];
  return p;
}

std::string VersionText(uint32_t version) {
  const VersionParts p = SplitVersion(version);
  return std::to_string(p.major) + "." + std::to_string(p.minor) + std::to_string(p.bug) + " (" +
         p.stage_name + ", build " + std::to_string(p.build) + ")";
}

std::vector<std::string> OutFlagNames(uint32_t flags) { return Names(flags, kOutFlagNames); }
std::vector<std::string> OutFlag2Names(uint32_t flags) { return Names(flags, kOutFlag2Names); }

std::string DescribeFlagDifference(uint32_t plugin, uint32_t pipl, bool flags2) {
  auto names = [flags2](uint32_t f) { return flags2 ? OutFlag2Names(f) : OutFlagNames(f); };
  return "set only by the plug-in: " + Join(names(plugin & ~pipl)) +
         "; set only in the PiPL: " + Join(names(pipl & ~plugin));
}

}  // namespace minihost
