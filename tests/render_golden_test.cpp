// Exact results, pinned: a small noisy image rendered with every pass on, at
// each depth and colour mode, must keep its bytes. A change of the render's
// arithmetic (a faster sampler, a reordered sum) that moves a single bit
// shows here, where the invariants would let it pass.
//
// The digests are FNV-1a 64 of the result's pixel bytes, row by row. After a
// deliberate change of results, run this test with PRISMORA_PRINT_DIGESTS=1:
// it prints the table to paste in place of kDigests. They hold for the GNU C
// library's pow and hypot, which the emulated host hands the plug-in; another
// host's C library may round their last bit differently.
#include <cstdio>
#include <cstdlib>

#include "render_support.h"

namespace prismora::testing {
namespace {

uint64_t Digest(const World& world) {
  uint64_t hash = 0xcbf29ce484222325ull;
  const std::size_t bytes = static_cast<std::size_t>(world.width()) * world.pixel_bytes();
  for (A_long y = 0; y < world.height(); ++y) {
    for (std::size_t i = 0; i < bytes; ++i) {
      hash = (hash ^ world.row(y)[i]) * 0x100000001b3ull;
    }
  }
  return hash;
}

struct Golden {
  PF_PixelFormat format;
  A_long mode;
  uint64_t digest;
};

constexpr Golden kDigests[] = {
    {PF_PixelFormat_ARGB32, 1, 0x253D4F6100BE7E83ull},
    {PF_PixelFormat_ARGB32, 2, 0x3C9944B3995D2A1Eull},
    {PF_PixelFormat_ARGB32, 3, 0xC0103DECCBBE1911ull},
    {PF_PixelFormat_ARGB64, 1, 0x05EE01D7D6142AFCull},
    {PF_PixelFormat_ARGB64, 2, 0x0517D5E2E7DCFA88ull},
    {PF_PixelFormat_ARGB64, 3, 0x3942F3A8C71B4032ull},
    {PF_PixelFormat_ARGB128, 1, 0x475E8CF2AE2CA442ull},
    {PF_PixelFormat_ARGB128, 2, 0xBEED66930F46D1D4ull},
    {PF_PixelFormat_ARGB128, 3, 0xDAE924E1D287954Eull},
};

constexpr A_long kW = 19, kH = 13;

const char* FormatText(PF_PixelFormat format) {
  return format == PF_PixelFormat_ARGB32   ? "ARGB32"
         : format == PF_PixelFormat_ARGB64 ? "ARGB64"
                                           : "ARGB128";
}

// The digest of the noisy image rendered with every pass on, the centre and
// the vignette's as given (the vignette measures from the centre when
// `vignette_center` is null).
uint64_t RenderedDigest(PF_PixelFormat format, A_long mode, PF_Fixed center_x, PF_Fixed center_y,
                        const PF_Fixed* vignette_center) {
  World source(kW, kH, PF_PixelFormat_ARGB32);
  FillRandom(source, 2024);
  Effect e(kW, kH);
  e.Mode(mode);
  e.Color(PARAM_COLOR1, 230, 40, 10);
  e.Color(PARAM_COLOR2, 20, 90, 240);
  e.Color(PARAM_COLOR3, 60, 200, 30);
  e.Slider(PARAM_AMOUNT, 4.5);
  e.Slider(PARAM_POWER, 1.7);
  e.Point(PARAM_CENTER, center_x, center_y);
  e.Check(PARAM_BLUR_ON, true);
  e.Slider(PARAM_BLUR_AMOUNT, 1.3);
  e.Check(PARAM_VIGNETTING_ON, true);
  e.Check(PARAM_VIGNETTING_SAME, vignette_center == nullptr);
  if (vignette_center != nullptr) {
    e.Point(PARAM_VIGNETTING_CENTER, vignette_center[0], vignette_center[1]);
  }
  e.Slider(PARAM_VIGNETTING_AMOUNT, 15);
  e[PARAM_VIGNETTING_MAXIMUM].fs_d.value = 1.4;
  e[PARAM_VIGNETTING_MINIMUM].fs_d.value = 0.1;
  auto in = AtDepth(source, format);
  World out(kW, kH, format);
  EXPECT_EQ(e.Render(*in, out), PF_Err_NONE);
  return Digest(out);
}

TEST(Golden, ResultsKeepTheirBytes) {
#if defined(_WIN32)
  GTEST_SKIP() << "the digests are those of the GNU C library's pow and hypot";
#endif
  const bool print = std::getenv("PRISMORA_PRINT_DIGESTS") != nullptr;
  const PF_Fixed vignette_center[2] = {Px(12), Px(9)};
  for (const Golden& golden : kDigests) {
    const uint64_t digest = RenderedDigest(golden.format, golden.mode, Px(6) + 12345,
                                           Px(4) + 54321, vignette_center);
    if (print) {
      std::printf("    {PF_PixelFormat_%s, %d, 0x%016llXull},\n", FormatText(golden.format),
                  static_cast<int>(golden.mode), static_cast<unsigned long long>(digest));
      continue;
    }
    EXPECT_EQ(digest, golden.digest)
        << minihost::FormatName(golden.format) << ", mode " << golden.mode;
  }
}

// Centres on a whole and on a half pixel, where the pixels right of the
// centre's column are planned from their mirror images; the digests are
// those of planning every pixel on its own.
struct CentredGolden {
  PF_PixelFormat format;
  A_long mode;
  PF_Fixed center_x, center_y;
  bool own_vignette_center;
  uint64_t digest;
};

constexpr CentredGolden kCentredDigests[] = {
    {PF_PixelFormat_ARGB32, 2, 9 * 65536, 6 * 65536, false, 0x85BA9E31227A0020ull},
    {PF_PixelFormat_ARGB32, 3, 9 * 65536 + 32768, 6 * 65536 + 32768, true, 0xC3FBF7BA771A2326ull},
    {PF_PixelFormat_ARGB64, 2, 9 * 65536 + 32768, 6 * 65536 + 32768, false, 0x56674FFC1CB4DC7Eull},
    {PF_PixelFormat_ARGB64, 1, 9 * 65536, 6 * 65536, true, 0xE37820DEC3B924C0ull},
    {PF_PixelFormat_ARGB128, 2, 9 * 65536, 6 * 65536, false, 0xF96056999065CFD5ull},
    {PF_PixelFormat_ARGB128, 3, 9 * 65536 + 32768, 6 * 65536 + 32768, true, 0x43A70522D436B609ull},
};

TEST(Golden, MirroredRowsKeepTheirBytes) {
#if defined(_WIN32)
  GTEST_SKIP() << "the digests are those of the GNU C library's pow and hypot";
#endif
  const bool print = std::getenv("PRISMORA_PRINT_DIGESTS") != nullptr;
  const PF_Fixed vignette_center[2] = {Px(12) + 777, Px(9)};
  for (const CentredGolden& golden : kCentredDigests) {
    const uint64_t digest =
        RenderedDigest(golden.format, golden.mode, golden.center_x, golden.center_y,
                       golden.own_vignette_center ? vignette_center : nullptr);
    if (print) {
      std::printf("    {PF_PixelFormat_%s, %d, %d, %d, %s, 0x%016llXull},\n",
                  FormatText(golden.format), static_cast<int>(golden.mode),
                  static_cast<int>(golden.center_x), static_cast<int>(golden.center_y),
                  golden.own_vignette_center ? "true" : "false",
                  static_cast<unsigned long long>(digest));
      continue;
    }
    EXPECT_EQ(digest, golden.digest) << minihost::FormatName(golden.format) << ", mode "
                                     << golden.mode << ", centre " << golden.center_x << ", "
                                     << golden.center_y;
  }
}

}  // namespace
}  // namespace prismora::testing
