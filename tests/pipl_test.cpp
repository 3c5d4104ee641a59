// The PiPL as a host finds it in the built library, byte for byte, and the
// reader's refusal of malformed ones.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "minihost/base/error.h"
#include "minihost/loading/pipl.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

using ::testing::HasSubstr;

// Assembles the expected layout by hand, independently of the code that
// generates it.
class Expected {
 public:
  void U16(uint16_t v) { bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)}); }
  void U32(uint32_t v) {
    U16(uint16_t(v));
    U16(uint16_t(v >> 16));
  }
  void Text(const std::string& s) { bytes.insert(bytes.end(), s.begin(), s.end()); }
  void Zeros(int n) { bytes.insert(bytes.end(), n, 0); }
  // Vendor and key appear reversed in the file.
  void Header(const char* reversed_key, uint32_t length) {
    Text("MIB8");
    Text(reversed_key);
    U32(0);
    U32(length);
  }
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ExpectedPipl() {
  Expected e;
  e.U16(1);
  e.U32(0);
  e.U32(12);
  e.Header("dnik", 4), e.Text("TKFe");
  e.Header("eman", 12), e.bytes.push_back(8), e.Text("Prismora"), e.Zeros(3);
  e.Header("gtac", 8), e.bytes.push_back(6), e.Text("Norvik"), e.Zeros(1);
  e.Header("4668", 16), e.Text("EntryPointFunc"), e.Zeros(2);
  e.Header("RVPe", 4), e.bytes.insert(e.bytes.end(), {2, 0, 0, 0});
  e.Header("RVSe", 4), e.bytes.insert(e.bytes.end(), {0x0D, 0, 0, 0});
  e.Header("REVe", 4), e.U32(0x00080601);
  e.Header("FNIe", 2), e.U16(0), e.Zeros(2);
  e.Header("OLGe", 4), e.U32(0x06000440);
  e.Header("2LGe", 4), e.U32(0x00001408);
  e.Header("ANMe", 20), e.bytes.push_back(19), e.Text("Prismora by Tolvane");
  e.Header("LFea", 4), e.U32(8);
  return e.bytes;
}

TEST(Pipl, BuiltLibraryCarriesTheExactBytes) {
  const std::vector<uint8_t> expected = ExpectedPipl();
  ASSERT_EQ(expected.size(), 290u);
  EXPECT_EQ(Plugin()->pipl_bytes(), expected);
}

TEST(Pipl, ReaderDecodesEveryProperty) {
  const minihost::PiplInfo& info = Plugin()->pipl();
  EXPECT_EQ(info.kind, "eFKT");
  EXPECT_EQ(info.name, "Prismora");
  EXPECT_EQ(info.category, "Norvik");
  EXPECT_EQ(info.match_name, "Prismora by Tolvane");
  EXPECT_EQ(info.entry_point, "EntryPointFunc");
  EXPECT_EQ(info.pipl_version_major, 2);
  EXPECT_EQ(info.spec_version_major, 13);
  EXPECT_EQ(minihost::VersionText(info.version), "1.00 (release, build 1)");
  EXPECT_EQ(minihost::OutFlagNames(info.out_flags),
            (std::vector<std::string>{"PF_OutFlag_USE_OUTPUT_EXTENT", "PF_OutFlag_PIX_INDEPENDENT",
                                      "PF_OutFlag_DEEP_COLOR_AWARE",
                                      "PF_OutFlag_SEND_UPDATE_PARAMS_UI"}));
  EXPECT_EQ(minihost::OutFlag2Names(info.out_flags2),
            (std::vector<std::string>{"PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG",
                                      "PF_OutFlag2_SUPPORTS_SMART_RENDER",
                                      "PF_OutFlag2_FLOAT_COLOR_AWARE"}));
}

struct Damage {
  const char* name;
  std::size_t offset;  // first byte to change, or the new size when `truncate`
  uint8_t value;
  bool truncate;
  std::size_t count;  // bytes set to `value`
  const char* message;
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class PiplDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(PiplDamage, IsRefusedWithAReason) {
  const Damage& d = GetParam();
  std::vector<uint8_t> bytes = ExpectedPipl();
  if (d.truncate) {
    bytes.resize(d.offset);
  } else {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(d.offset), d.count, d.value);
  }
  try {
    minihost::ParsePipl(bytes);
    FAIL() << "accepted";
  } catch (const minihost::HostError& e) {
    EXPECT_THAT(e.what(), HasSubstr(d.message));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PiplDamage,
    ::testing::Values(Damage{"empty", 0, 0, true, 0, "truncated"},
                      Damage{"cut_in_the_last_property", 280, 0, true, 0, "truncated"},
                      Damage{"count_beyond_the_data", 100, 0, true, 0, "claims"},
                      Damage{"wrong_version", 0, 2, false, 1, "version is 2"},
                      Damage{"huge_count", 9, 0x7F, false, 1, "claims"},
                      Damage{"wrong_vendor", 10, 'X', false, 1, "vendor"},
                      Damage{"not_an_effect", 26, 'X', false, 1, "expected 'eFKT'"},
                      // The name's length byte claims more than its data holds.
                      Damage{"long_name", 46, 200, false, 1, "longer than its data"},
                      // The entry point loses its terminator.
                      Damage{"unterminated_entry", 112, 'x', false, 2, "terminator"},
                      // A property length that runs past the end.
                      Damage{"length_past_end", 25, 0xFF, false, 1, "truncated"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace prismora::testing
