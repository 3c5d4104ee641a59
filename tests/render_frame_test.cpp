// The smart render frame: every way it can fail, with what it returns, what
// it tells the user and what it leaves written; its progress reports; the
// order in which it gives back what it took; row padding and the columns
// beyond the input's width.
#include <algorithm>
#include <functional>

#include "render_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using minihost::Failure;
using minihost::FailureForm;
using minihost::ProgressReport;

constexpr unsigned char kUnwritten = 0x5A;

// Which pixels of the output a failed render may have written.
enum class Written { kNothing, kFirstPixel, kFirstTwoRows, kAll };

struct FailureCase {
  const char* name;
  PF_PixelFormat format;
  bool blur;
  std::function<void(Effect&, World& in, World& out)> before_render;
  PF_Err code;
  const char* message;  // shown to the user, or null
  Written written;
};

void Fail(Effect& e, const char* call, int nth, FailureForm form, PF_Err code) {
  e.host.faults().FailNth(call, nth, Failure{form, code});
}

class FrameFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FrameFailure, ReturnsTheCodeWritesNoMoreAndGivesEverythingBack) {
  const FailureCase& c = GetParam();
  constexpr A_long kW = 4, kH = 3;
  Effect e(kW, kH);
  e.Slider(PARAM_AMOUNT, 2);
  e.Check(PARAM_BLUR_ON, c.blur);
  World source(kW, kH, PF_PixelFormat_ARGB32);
  FillRandom(source, 7);
  auto in = AtDepth(source, c.format);
  World out(kW, kH, c.format);
  out.FillPixels(kUnwritten);

  minihost::Frame frame(e.host, *e.instance, *in, out);
  ASSERT_EQ(frame.PreRender(), PF_Err_NONE);
  const PF_EffectWorld in_record = in->effect_world(), out_record = out.effect_world();
  c.before_render(e, *in, out);
  EXPECT_EQ(frame.Render(), c.code);
  // Records a case bent are put back before the pixels are looked at.
  in->effect_world() = in_record;
  out.effect_world() = out_record;
  EXPECT_THAT(e.host.problems(), IsEmpty());
  if (c.message != nullptr) {
    EXPECT_EQ(e.host.return_msg(), c.message);
    EXPECT_NE(e.host.out_data().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  } else {
    EXPECT_EQ(e.host.out_data().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  }
  frame.DeletePreRenderData();
  EXPECT_THAT(e.host.problems(), IsEmpty());
  EXPECT_EQ(e.host.handles().LiveCount(), 2u);

  const std::size_t pixel = out.pixel_bytes();
  A_long written = 0;
  switch (c.written) {
    case Written::kNothing: written = 0; break;
    case Written::kFirstPixel: written = 1; break;
    case Written::kFirstTwoRows: written = 2 * kW; break;
    case Written::kAll: written = kW * kH; break;
  }
  for (A_long i = 0; i < kW * kH; ++i) {
    const unsigned char* p = out.row(i / kW) + static_cast<std::size_t>(i % kW) * pixel;
    const bool untouched = std::all_of(p, p + pixel, [](unsigned char b) { return b == kUnwritten; });
    EXPECT_EQ(untouched, i >= written) << "pixel " << i;
  }
}

const auto kNoChange = [](Effect&, World&, World&) {};

INSTANTIATE_TEST_SUITE_P(
    Render, FrameFailure,
    ::testing::Values(
        FailureCase{"SnapshotLockFails", PF_PixelFormat_ARGB32, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "host_lock_handle", 1, FailureForm::kNull, 0);
                    },
                    PF_Err_BAD_CALLBACK_PARAM, nullptr, Written::kNothing},
        FailureCase{"InputCheckoutFails", PF_PixelFormat_ARGB32, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "checkout_layer_pixels", 1, FailureForm::kError, 9);
                    },
                    PF_Err_BAD_CALLBACK_PARAM, nullptr, Written::kNothing},
        FailureCase{"InputCheckoutHandsNoWorld", PF_PixelFormat_ARGB64, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "checkout_layer_pixels", 1, FailureForm::kNull, 0);
                    },
                    PF_Err_BAD_CALLBACK_PARAM, nullptr, Written::kNothing},
        FailureCase{"OutputCheckoutFails", PF_PixelFormat_ARGB32, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "checkout_output", 1, FailureForm::kError, 9);
                    },
                    PF_Err_BAD_CALLBACK_PARAM, nullptr, Written::kNothing},
        FailureCase{"OutputCheckoutHandsNoWorld", PF_PixelFormat_ARGB128, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "checkout_output", 1, FailureForm::kNull, 0);
                    },
                    PF_Err_BAD_CALLBACK_PARAM, nullptr, Written::kNothing},
        FailureCase{"WorldSuiteMissing", PF_PixelFormat_ARGB32, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "AcquireSuite(PF World Suite,2)", 1, FailureForm::kError, 5);
                    },
                    PF_Err_BAD_CALLBACK_PARAM, "Couldn't load suite.", Written::kNothing},
        FailureCase{"FormatQueryFails", PF_PixelFormat_ARGB32, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "PF_GetPixelFormat", 1, FailureForm::kError, 21);
                    },
                    PF_Err_BAD_CALLBACK_PARAM, nullptr, Written::kNothing},
        FailureCase{"FormatQueryFailsWithAFormat", PF_PixelFormat_ARGB64, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "PF_GetPixelFormat", 1, FailureForm::kErrorWithResult, 21);
                    },
                    21, nullptr, Written::kNothing},
        FailureCase{"InputPitchBelowWidth", PF_PixelFormat_ARGB32, false,
                    [](Effect&, World& in, World&) { in.effect_world().rowbytes = 4 * 4 - 1; },
                    PF_Err_BAD_GEOMETRY, nullptr, Written::kNothing},
        FailureCase{"OutputPitchBelowWidth", PF_PixelFormat_ARGB128, false,
                    [](Effect&, World&, World& out) { out.effect_world().rowbytes = 3 * 16; },
                    PF_Err_BAD_GEOMETRY, nullptr, Written::kNothing},
        // Row bytes with room for the input's width, but an output one pixel
        // narrower: its last column is not its own.
        FailureCase{"OutputNarrowerThanInput", PF_PixelFormat_ARGB32, false,
                    [](Effect&, World&, World& out) { out.effect_world().width = 3; },
                    PF_Err_BAD_GEOMETRY, nullptr, Written::kNothing},
        FailureCase{"OutputOneRowShort", PF_PixelFormat_ARGB64, false,
                    [](Effect&, World&, World& out) { out.effect_world().height = 2; },
                    PF_Err_BAD_GEOMETRY, nullptr, Written::kNothing},
        FailureCase{"WiderThanFixedPointReaches", PF_PixelFormat_ARGB32, false,
                    [](Effect&, World& in, World& out) {
                      in.effect_world().width = 32768;
                      in.effect_world().rowbytes = out.effect_world().rowbytes = 32768 * 4;
                    },
                    PF_Err_BAD_GEOMETRY, nullptr, Written::kNothing},
        FailureCase{"HigherThanFixedPointReaches", PF_PixelFormat_ARGB32, false,
                    [](Effect&, World& in, World& out) {
                      in.effect_world().height = out.effect_world().height = 40000;
                    },
                    PF_Err_BAD_GEOMETRY, nullptr, Written::kNothing},
        FailureCase{"NoProfileTable", PF_PixelFormat_ARGB32, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "host_new_handle", 1, FailureForm::kNull, 0);
                    },
                    PF_Err_INTERNAL_STRUCT_DAMAGED, "Memory Error!", Written::kNothing},
        FailureCase{"SamplingSuiteMissing", PF_PixelFormat_ARGB64, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "AcquireSuite(PF Sampling16 Suite,1)", 1, FailureForm::kError, 5);
                    },
                    PF_Err_INTERNAL_STRUCT_DAMAGED, nullptr, Written::kNothing},
        // Three samples a pixel: the fifth is the second pixel's second.
        FailureCase{"SampleFails", PF_PixelFormat_ARGB32, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "subpixel_sample", 5, FailureForm::kError, 33);
                    },
                    33, nullptr, Written::kFirstPixel},
        FailureCase{"SampleFailsAtFloat", PF_PixelFormat_ARGB128, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "subpixel_sample_float", 4, FailureForm::kError, 33);
                    },
                    33, nullptr, Written::kFirstPixel},
        FailureCase{"ProgressFails", PF_PixelFormat_ARGB32, false,
                    [](Effect& e, World&, World&) {
                      Fail(e, "progress", 2, FailureForm::kError, 34);
                    },
                    34, nullptr, Written::kFirstTwoRows},
        FailureCase{"UserStops", PF_PixelFormat_ARGB64, false,
                    [](Effect& e, World&, World&) { e.render.StopAtProgress(2); },
                    PF_Interrupt_CANCEL, nullptr, Written::kFirstTwoRows},
        FailureCase{"TemporaryWorldFails", PF_PixelFormat_ARGB32, true,
                    [](Effect& e, World&, World&) {
                      Fail(e, "new_world", 1, FailureForm::kError, 36);
                    },
                    36, nullptr, Written::kAll},
        FailureCase{"TemporaryWorldHasNoPixels", PF_PixelFormat_ARGB64, true,
                    [](Effect& e, World&, World&) {
                      Fail(e, "new_world", 1, FailureForm::kNull, 0);
                    },
                    PF_Err_OUT_OF_MEMORY, nullptr, Written::kAll},
        FailureCase{"FloatTemporaryWorldFails", PF_PixelFormat_ARGB128, true,
                    [](Effect& e, World&, World&) {
                      Fail(e, "PF_NewWorld", 1, FailureForm::kError, 36);
                    },
                    36, nullptr, Written::kAll},
        FailureCase{"CopyFails", PF_PixelFormat_ARGB128, true,
                    [](Effect& e, World&, World&) { Fail(e, "copy", 1, FailureForm::kError, 37); },
                    37, nullptr, Written::kAll},
        FailureCase{"AbortAsked", PF_PixelFormat_ARGB32, true,
                    [](Effect& e, World&, World&) {
                      Fail(e, "abort", 1, FailureForm::kError, PF_Interrupt_CANCEL);
                    },
                    PF_Interrupt_CANCEL, nullptr, Written::kAll},
        FailureCase{"BlurSampleFails", PF_PixelFormat_ARGB64, true,
                    [](Effect& e, World&, World&) {
                      // 12 pixels of three samples, then the blur's.
                      Fail(e, "subpixel_sample", 37, FailureForm::kError, 38);
                    },
                    38, nullptr, Written::kAll},
        FailureCase{"BlurProgressFails", PF_PixelFormat_ARGB32, true,
                    [](Effect& e, World&, World&) {
                      Fail(e, "progress", 4, FailureForm::kError, 39);
                    },
                    39, nullptr, Written::kAll},
        FailureCase{"Succeeds", PF_PixelFormat_ARGB128, true, kNoChange, PF_Err_NONE, nullptr,
                    Written::kAll}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameFailure, FormatTheRenderDoesNotKnowIs516) {
  // The host's query answers with a format of no depth.
  Effect e(4, 4);
  World in(4, 4, PF_PixelFormat_ARGB32), out(4, 4, PF_PixelFormat_ARGB32);
  out.FillPixels(kUnwritten);
  struct Liar {
    static PF_Err Format(const PF_EffectWorld*, PF_PixelFormat* format) {
      *format = PF_FourCharCode('y', 'u', 'v', 'a');
      return PF_Err_NONE;
    }
  };
  minihost::WorldService::Install(e.host);
  static PF_WorldSuite2 lying{};
  lying = *static_cast<const PF_WorldSuite2*>(e.host.suites().Find(kPFWorldSuite, 2));
  lying.PF_GetPixelFormat = Liar::Format;
  e.host.suites().Register(kPFWorldSuite, 2, &lying);
  EXPECT_EQ(e.Render(in, out), PF_Err_BAD_CALLBACK_PARAM);
  std::unique_ptr<World> untouched = std::make_unique<World>(4, 4, PF_PixelFormat_ARGB32);
  untouched->FillPixels(kUnwritten);
  EXPECT_TRUE(out.SamePixels(*untouched));
}

// --- Progress ---------------------------------------------------------------

std::vector<ProgressReport> Reports(std::initializer_list<std::pair<A_long, A_long>> list) {
  std::vector<ProgressReport> out;
  for (auto [current, total] : list) out.push_back(ProgressReport{current, total});
  return out;
}

TEST(FrameProgress, AfterEveryRowThenAfterEveryBlurRow) {
  Effect e(3, 3);
  World in(3, 3, PF_PixelFormat_ARGB32), out(3, 3, PF_PixelFormat_ARGB32);
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  EXPECT_EQ(e.render.progress(), Reports({{0, 3}, {1, 3}, {2, 3}}));

  e.Check(PARAM_BLUR_ON, true);
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  EXPECT_EQ(e.render.progress(), Reports({{0, 6}, {1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}}));
  EXPECT_EQ(e.render.abort_checks(), 1);

  // "Blur Amount" 0: no blur pass, no temporary world.
  e.Slider(PARAM_BLUR_AMOUNT, 0);
  const int worlds = e.host.faults().Count("new_world");
  ASSERT_EQ(e.Render(in, out), PF_Err_NONE);
  EXPECT_EQ(e.render.progress(), Reports({{0, 3}, {1, 3}, {2, 3}}));
  EXPECT_EQ(e.host.faults().Count("new_world"), worlds);
}

TEST(FrameProgress, EmptyWorlds) {
  Effect e(4, 4);
  {
    World in(0, 3, PF_PixelFormat_ARGB32), out(0, 3, PF_PixelFormat_ARGB32);
    EXPECT_EQ(e.Render(in, out), PF_Err_NONE);
    EXPECT_EQ(e.render.progress(), Reports({{0, 3}, {1, 3}, {2, 3}}));
  }
  {
    World in(5, 0, PF_PixelFormat_ARGB64), out(5, 0, PF_PixelFormat_ARGB64);
    EXPECT_EQ(e.Render(in, out), PF_Err_NONE);
    EXPECT_THAT(e.render.progress(), IsEmpty());
  }
  {
    // The table has the single entry 0.
    World in(0, 0, PF_PixelFormat_ARGB128), out(0, 0, PF_PixelFormat_ARGB128);
    e.host.faults().ClearLog();
    EXPECT_EQ(e.Render(in, out), PF_Err_NONE);
    const auto& log = e.host.faults().log();
    EXPECT_NE(std::find(log.begin(), log.end(), "host_new_handle(8)"), log.end());
  }
  // No pixel, no sample: the sampling suite is not even asked for.
  EXPECT_EQ(e.host.faults().Count("AcquireSuite(PF Sampling8 Suite,1)"), 0);
}

TEST(FrameRelease, WorldSuiteThenTableThenSnapshot) {
  Effect e(4, 4);
  World in(4, 4, PF_PixelFormat_ARGB32), out(4, 4, PF_PixelFormat_ARGB32);
  minihost::Frame frame(e.host, *e.instance, in, out);
  ASSERT_EQ(frame.PreRender(), PF_Err_NONE);
  e.host.faults().ClearLog();
  ASSERT_EQ(frame.Render(), PF_Err_NONE);
  const std::vector<std::string> log = e.host.faults().log();
  auto find = [&](const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) - log.begin();
  };
  const auto lock = find("host_lock_handle");
  const auto input = find("checkout_layer_pixels");
  const auto output = find("checkout_output");
  const auto suite = find("AcquireSuite(PF World Suite,2)");
  const auto format = find("PF_GetPixelFormat");
  const auto table = find("host_new_handle(" + std::to_string(8 * (5 + 1)) + ")");
  const auto released = find("ReleaseSuite(PF World Suite,2)");
  const auto disposed = find("host_dispose_handle");
  const auto unlocked = find("host_unlock_handle");
  EXPECT_LT(lock, input);
  EXPECT_LT(input, output);
  EXPECT_LT(output, suite);
  EXPECT_LT(suite, format);
  EXPECT_LT(format, table);
  EXPECT_LT(table, released);
  EXPECT_LT(released, disposed);
  EXPECT_LT(disposed, unlocked);
  EXPECT_LT(unlocked, static_cast<std::ptrdiff_t>(log.size()));
}

// --- Padding ------------------------------------------------------------------

class FramePadding : public ::testing::TestWithParam<PF_PixelFormat> {};

// Rows are found by their row bytes wherever the host pads them, in the input,
// the output and the temporary world alike, and nothing is written at or
// beyond the input's width.
TEST_P(FramePadding, HonouredAndNothingWrittenBeyondTheWidth) {
  constexpr A_long kW = 7, kH = 5;
  Effect e(kW, kH);
  e.Slider(PARAM_AMOUNT, 3);
  e.Check(PARAM_BLUR_ON, true);
  e.Check(PARAM_VIGNETTING_ON, true);
  World source(kW, kH, PF_PixelFormat_ARGB32);
  FillRandom(source, 11);

  auto plain_in = AtDepth(source, GetParam());
  World plain_out(kW, kH, GetParam());
  ASSERT_EQ(e.Render(*plain_in, plain_out), PF_Err_NONE);

  auto padded_in = AtDepth(source, GetParam(), 3);
  World padded_out(kW + 2, kH, GetParam(), 5);
  padded_out.FillPixels(kUnwritten);
  minihost::WorldService::Install(e.host).set_row_padding(9);
  ASSERT_EQ(e.Render(*padded_in, padded_out), PF_Err_NONE);

  EXPECT_TRUE(padded_out.PaddingIntact());
  const std::size_t pixel = plain_out.pixel_bytes();
  for (A_long y = 0; y < kH; ++y) {
    EXPECT_EQ(std::memcmp(plain_out.row(y), padded_out.row(y), kW * pixel), 0) << "row " << y;
    const unsigned char* beyond = padded_out.row(y) + kW * pixel;
    EXPECT_TRUE(std::all_of(beyond, beyond + 2 * pixel,
                            [](unsigned char b) { return b == kUnwritten; }))
        << "row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Render, FramePadding,
                         ::testing::Values(PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64,
                                           PF_PixelFormat_ARGB128));

TEST(FrameSnapshot, RenderTimeValuesStayPointersDoNot) {
  Effect e(100, 100);
  e.Point(PARAM_CENTER, Px(50), Px(50));
  e.Slider(PARAM_BLUR_AMOUNT, 3);
  e.Check(PARAM_VIGNETTING_ON, true);
  e.Check(PARAM_BLUR_ON, true);
  World in(100, 100, PF_PixelFormat_ARGB32), out(100, 100, PF_PixelFormat_ARGB32);
  const RenderSnapshot s = e.Snapshot(in, out, true);
  // Copied out of the packed record before a reference to them is formed.
  const double half_diagonal = s.half_diagonal, displace_scale = s.displace_scale;
  const double blur_scale = s.blur_scale, vig_norm = s.vig_norm;
  const double r = std::hypot(50.0, 50.0);
  // The host's C library computes these; the last bit may differ from ours.
  EXPECT_DOUBLE_EQ(half_diagonal, r);
  EXPECT_NEAR(half_diagonal, 70.7107, 1e-4);
  EXPECT_DOUBLE_EQ(displace_scale, 0.025 * 1.0 * r);
  EXPECT_NEAR(displace_scale, 1.76777, 1e-5);
  EXPECT_EQ(blur_scale, displace_scale * 3.0);
  EXPECT_DOUBLE_EQ(vig_norm, 1.0 / std::pow(1.0 * r, 2.0));
  const double* table = s.profile_table;
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(LoadSampBlock(s).src, nullptr);
}

}  // namespace
}  // namespace prismora::testing
