// The main pass on its own, against a scripted sampler: a row planned whole
// (pixels right of the centre's column copying their mirror images) must ask
// for exactly the samples, in exactly the order, and store exactly the
// pixels of a row planned one pixel at a time, where nothing is copied; and
// so must a row taken in stretches of the fallback block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <type_traits>
#include <vector>

#include "render/depth_traits.h"
#include "render/main_pass.h"

namespace prismora {
namespace {

struct Call {
  PF_Fixed x, y;
  bool operator==(const Call&) const = default;
};

// The sampler's record, reached through the effect reference the pass hands
// back with every call: the positions asked for, and a call to fail.
struct Script {
  std::vector<Call> calls;
  std::size_t fail_at = SIZE_MAX;
};

template <class Pixel>
PF_Err ScriptedSample(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampPB*, Pixel* out) {
  auto& script = *reinterpret_cast<Script*>(ref);
  if (script.calls.size() == script.fail_at) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  script.calls.push_back({x, y});
  // Any pixel that depends on the whole position, with some transparency.
  const auto h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
  using Channel = decltype(out->alpha);
  auto channel = [](uint32_t bits) {
    if constexpr (std::is_same_v<Channel, float>) {
      return static_cast<float>(bits % 1000) / 700.0f;
    } else {
      return static_cast<Channel>(bits % 256);
    }
  };
  *out = Pixel{channel(h % 5 == 0 ? h >> 3 : 255), channel(h >> 8), channel(h >> 16),
               channel(h >> 24)};
  return PF_Err_NONE;
}

PF_Err CountRows(PF_ProgPtr, A_long, A_long) { return PF_Err_NONE; }

struct Setting {
  const char* name;
  int64_t center_x, center_y;  // 16.16
  bool limiter = true;
  bool third = true;
  int vignette = 0;  // 0 off, 1 from the centre, 2 from a centre of its own
};

void PrintTo(const Setting& s, std::ostream* os) { *os << s.name; }

constexpr A_long kW = 37, kH = 9;

const Setting kSettings[] = {
    {"WholePixelCentre", 18 * 65536, 4 * 65536},
    {"HalfPixelCentre", 18 * 65536 + 32768, 4 * 65536 + 32768},
    {"FractionalCentre", 18 * 65536 + 12345, 3 * 65536},
    {"CentreOnTheLeftEdge", 0, 4 * 65536},
    {"CentreLeftOfTheLayer", -7 * 65536, 2 * 65536, false},
    {"CentreRightOfTheLayer", 50 * 65536 + 32768, 4 * 65536, false},
    {"CentreFarRight", 80 * 65536, 4 * 65536, false},
    {"TwoSamples", 11 * 65536, 4 * 65536, true, false},
    {"VignetteFromTheCentre", 18 * 65536, 4 * 65536, true, true, 1},
    {"VignetteOfItsOwn", 18 * 65536, 4 * 65536, true, true, 2},
};

template <class Depth>
class Pass {
 public:
  using Pixel = typename Depth::Pixel;

  explicit Pass(const Setting& s) {
    const double half_diagonal = std::hypot(kW * 0.5, kH * 0.5);
    const auto last = static_cast<int64_t>(std::sqrt(double{kW * kW + kH * kH}));
    for (int64_t i = 0; i <= last; ++i) {
      table_.push_back(i == 0 ? 0.0 : std::pow(static_cast<double>(i) / half_diagonal, 1.7));
    }
    RadialValues& r = values_.radial;
    r.center_x = s.center_x;
    r.center_y = s.center_y;
    r.half_diagonal = half_diagonal;
    r.limiter = s.limiter;
    r.profile = RadialProfile{table_.data(), last, half_diagonal, 1.7, Pow};
    r.hypot = Hypot;
    values_.displace_scale = 0.025 * 4.5 * half_diagonal;
    values_.third_sample = s.third;
    values_.weights = ColorWeights{{0, 230, 40, 10}, {0, 20, 90, 240}, {0, 60, 200, 30}};
    VignetteValues& v = values_.vignette;
    v.on = s.vignette != 0;
    v.same = s.vignette == 1;
    v.center_x = 30 * 65536 + 4000;
    v.center_y = 2 * 65536;
    v.norm = 1.0 / std::pow(half_diagonal, 2.0);
    v.power = 2.0;
    v.brightness = 1.3;
    v.maximum = 1.2;
    v.minimum = 0.1;
    v.pow = Pow;
    v.hypot = Hypot;
    in_data_.inter.progress = CountRows;
  }

  // Renders with room for `room` pixels of a row; the output starts filled
  // with 0xA5 bytes.
  PF_Err Render(std::size_t room, Script& script, std::vector<Pixel>& output) {
    output.assign(kW * kH, Pixel{});
    std::memset(output.data(), 0xA5, output.size() * sizeof(Pixel));
    PF_EffectWorld world{};
    world.data = reinterpret_cast<PF_PixelPtr>(output.data());
    world.rowbytes = kW * static_cast<A_long>(sizeof(Pixel));
    world.width = kW;
    world.height = kH;
    std::vector<PixelWork<Depth>> scratch(room);
    const Sampler<Depth> sampler(ScriptedSample<Pixel>, reinterpret_cast<PF_ProgPtr>(&script),
                                 PF_SampPB{});
    return MainPass<Depth>(values_, sampler, kW, kH, PixelRows<Pixel>(world),
                           Progress{&in_data_, 0, kH}, scratch);
  }

 private:
  static double Hypot(double x, double y) { return std::hypot(x, y); }
  static double Pow(double x, double y) { return std::pow(x, y); }

  std::vector<double> table_;
  DisplacementValues values_;
  PF_InData in_data_{};
};

template <class Depth>
void ExpectRoomChangesNothing(const Setting& s) {
  using Pixel = typename Depth::Pixel;
  Pass<Depth> pass(s);
  Script one_at_a_time;
  std::vector<Pixel> reference;
  ASSERT_EQ(pass.Render(1, one_at_a_time, reference), PF_Err_NONE);
  for (const std::size_t room : {std::size_t{kW}, std::size_t{16}, std::size_t{kW + 5}}) {
    SCOPED_TRACE(room);
    Script script;
    std::vector<Pixel> output;
    ASSERT_EQ(pass.Render(room, script, output), PF_Err_NONE);
    EXPECT_EQ(script.calls, one_at_a_time.calls);
    EXPECT_EQ(std::memcmp(output.data(), reference.data(), output.size() * sizeof(Pixel)), 0);
  }
}

class MainPassRoom : public ::testing::TestWithParam<Setting> {};

TEST_P(MainPassRoom, MirroredPlansAreExact) {
  ExpectRoomChangesNothing<Depth8>(GetParam());
  ExpectRoomChangesNothing<Depth16>(GetParam());
  ExpectRoomChangesNothing<DepthFloat>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Settings, MainPassRoom, ::testing::ValuesIn(kSettings),
                         [](const auto& info) { return std::string(info.param.name); });

// The mirror is actually taken where it can be: the right half of a row
// about a whole-pixel centre costs no hypot of its own.
TEST(MainPassMirror, CentreOnAWholeOrHalfPixelOnly) {
  EXPECT_TRUE(MirrorAxisOf(18 * 65536).on);
  EXPECT_EQ(MirrorAxisOf(18 * 65536).axis, 36);
  EXPECT_EQ(MirrorAxisOf(18 * 65536 + 32768).axis, 37);
  EXPECT_EQ(MirrorAxisOf(-7 * 65536 - 32768).axis, -15);
  EXPECT_FALSE(MirrorAxisOf(18 * 65536 + 1).on);
  EXPECT_FALSE(MirrorAxisOf(18 * 65536 + 12345).on);
}

// A sample that fails ends the pass with its code: the pixels before it are
// stored as one at a time would store them, nothing after it is asked for or
// written, whatever the room.
TEST(MainPassFailure, PixelsBeforeTheFailingSampleAreStored) {
  const Setting& s = kSettings[0];
  Pass<Depth8> pass(s);
  for (const std::size_t fail_at : {std::size_t{0}, std::size_t{1}, std::size_t{3 * kW + 7},
                                    std::size_t{3 * kW * 4 + 3 * 30 + 2}}) {
    SCOPED_TRACE(fail_at);
    Script reference_script{{}, fail_at};
    std::vector<PF_Pixel> reference;
    ASSERT_EQ(pass.Render(1, reference_script, reference), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(reference_script.calls.size(), fail_at);
    Script script{{}, fail_at};
    std::vector<PF_Pixel> output;
    ASSERT_EQ(pass.Render(kW, script, output), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(script.calls, reference_script.calls);
    EXPECT_EQ(std::memcmp(output.data(), reference.data(), output.size() * sizeof(PF_Pixel)), 0);
    // The failing pixel and all after it keep the fill.
    const std::size_t failing_pixel = fail_at / 3;
    const auto* bytes = reinterpret_cast<const unsigned char*>(output.data() + failing_pixel);
    for (std::size_t i = 0; i < (output.size() - failing_pixel) * sizeof(PF_Pixel); ++i) {
      ASSERT_EQ(bytes[i], 0xA5) << "byte " << i << " after the failing pixel";
    }
  }
}

}  // namespace
}  // namespace prismora
