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

TEST(Golden, ResultsKeepTheirBytes) {
  constexpr A_long kW = 19, kH = 13;
#if defined(_WIN32)
  GTEST_SKIP() << "the digests are those of the GNU C library's pow and hypot";
#endif
  const bool print = std::getenv("PRISMORA_PRINT_DIGESTS") != nullptr;
  World source(kW, kH, PF_PixelFormat_ARGB32);
  FillRandom(source, 2024);
  for (const Golden& golden : kDigests) {
    Effect e(kW, kH);
    e.Mode(golden.mode);
    e.Color(PARAM_COLOR1, 230, 40, 10);
    e.Color(PARAM_COLOR2, 20, 90, 240);
    e.Color(PARAM_COLOR3, 60, 200, 30);
    e.Slider(PARAM_AMOUNT, 4.5);
    e.Slider(PARAM_POWER, 1.7);
    e.Point(PARAM_CENTER, Px(6) + 12345, Px(4) + 54321);
    e.Check(PARAM_BLUR_ON, true);
    e.Slider(PARAM_BLUR_AMOUNT, 1.3);
    e.Check(PARAM_VIGNETTING_ON, true);
    e.Check(PARAM_VIGNETTING_SAME, false);
    e.Point(PARAM_VIGNETTING_CENTER, Px(12), Px(9));
    e.Slider(PARAM_VIGNETTING_AMOUNT, 15);
    e[PARAM_VIGNETTING_MAXIMUM].fs_d.value = 1.4;
    e[PARAM_VIGNETTING_MINIMUM].fs_d.value = 0.1;
    auto in = AtDepth(source, golden.format);
    World out(kW, kH, golden.format);
    ASSERT_EQ(e.Render(*in, out), PF_Err_NONE);
    const uint64_t digest = Digest(out);
    if (print) {
      std::printf("    {PF_PixelFormat_%s, %d, 0x%016llXull},\n",
                  golden.format == PF_PixelFormat_ARGB32   ? "ARGB32"
                  : golden.format == PF_PixelFormat_ARGB64 ? "ARGB64"
                                                           : "ARGB128",
                  static_cast<int>(golden.mode), static_cast<unsigned long long>(digest));
      continue;
    }
    EXPECT_EQ(digest, golden.digest)
        << minihost::FormatName(golden.format) << ", mode " << golden.mode;
  }
}

}  // namespace
}  // namespace prismora::testing
