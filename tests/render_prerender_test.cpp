// Pre-render: the snapshot it stores (every field at its offset), the order
// in which it reads the parameters, the colour weights, the effective amount,
// the layer checkout with the copied request, the rectangles it reports, and
// what it gives back when something fails.
#include <array>
#include <cstring>

#include "render_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using minihost::Failure;
using minihost::FailureForm;

template <class T>
T At(const RenderSnapshot& s, std::size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&s) + offset, sizeof value);
  return value;
}

bool AllZero(const RenderSnapshot& s, std::size_t from, std::size_t to) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&s);
  for (std::size_t i = from; i < to; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

TEST(PreRenderSnapshot, EveryFieldAtItsOffset) {
  Effect e(16, 16);
  e.Point(PARAM_CENTER, Px(3) + 5, Px(4) + 7);
  e.Point(PARAM_VIGNETTING_CENTER, Px(11) + 1, Px(12) + 2);
  e.Slider(PARAM_AMOUNT, 2.5);
  e.Check(PARAM_RANDOM_ON, true);
  e.Slider(PARAM_RANDOM_VALUE, -1);
  e.Slider(PARAM_POWER, 3.25);
  e.Check(PARAM_BLUR_ON, true);
  e.Slider(PARAM_BLUR_AMOUNT, 1.75);
  e.Mode(3);
  e.Color(PARAM_COLOR1, 1, 2, 3, 4);
  e.Color(PARAM_COLOR2, 5, 6, 7, 8);
  e.Color(PARAM_COLOR3, 9, 10, 11, 12);
  e.Check(PARAM_VIGNETTING_ON, true);
  e.Slider(PARAM_VIGNETTING_AMOUNT, 20);
  e.Slider(PARAM_VIGNETTING_POWER, 3);
  e.Slider(PARAM_VIGNETTING_BRIGHTNESS, 1.5);
  e[PARAM_VIGNETTING_MAXIMUM].fs_d.value = 2.5;
  e[PARAM_VIGNETTING_MINIMUM].fs_d.value = 0.25;
  e.Check(PARAM_VIGNETTING_SAME, false);
  e.Check(PARAM_LIMITER, false);

  World in(16, 16, PF_PixelFormat_ARGB32), out(16, 16, PF_PixelFormat_ARGB32);
  const RenderSnapshot s = e.Snapshot(in, out);

  EXPECT_EQ(At<int32_t>(s, 0), Px(3) + 5);
  EXPECT_EQ(At<int32_t>(s, 4), Px(4) + 7);
  EXPECT_EQ(At<int32_t>(s, 16), Fixed(2.5) - Fixed(1));  // a fixed-point sum
  EXPECT_EQ(At<double>(s, 20), 3.25);
  EXPECT_EQ(At<int32_t>(s, 44), Fixed(1.75));
  EXPECT_EQ(At<uint8_t>(s, 56), 1);
  EXPECT_EQ(At<uint8_t>(s, 57), 3);
  EXPECT_EQ(At<PF_Pixel>(s, 58), (PF_Pixel{4, 1, 2, 3}));
  EXPECT_EQ(At<PF_Pixel>(s, 62), (PF_Pixel{12, 9, 10, 11}));  // "Color3" in the middle
  EXPECT_EQ(At<PF_Pixel>(s, 66), (PF_Pixel{8, 5, 6, 7}));
  EXPECT_EQ(At<double>(s, 80), 1.0 - (Fixed(20) / 65536.0) * 0.01);
  EXPECT_EQ(At<double>(s, 88), 1.5);
  EXPECT_EQ(At<uint8_t>(s, 96), 1);
  EXPECT_EQ(At<double>(s, 100), 3.0);
  EXPECT_EQ(At<double>(s, 108), 2.5);
  EXPECT_EQ(At<double>(s, 116), 0.25);
  EXPECT_EQ(At<uint8_t>(s, 124), 0);
  EXPECT_EQ(At<int32_t>(s, 128), Px(11) + 1);
  EXPECT_EQ(At<int32_t>(s, 132), Px(12) + 2);
  EXPECT_EQ(At<uint8_t>(s, 137), 0);
  // Reserved, padding, the render-time fields and the whole sampling block
  // (its source included) are zero after pre-render.
  for (auto [from, to] : std::array<std::pair<std::size_t, std::size_t>, 9>{{{8, 16},
                                                                             {28, 44},
                                                                             {48, 56},
                                                                             {70, 80},
                                                                             {97, 100},
                                                                             {125, 128},
                                                                             {136, 137},
                                                                             {138, 156},
                                                                             {156, 268}}}) {
    EXPECT_TRUE(AllZero(s, from, to)) << "bytes " << from << ".." << to;
  }
}

TEST(PreRenderSnapshot, VignetteValuesOnlyWhenOn) {
  Effect e(16, 16);
  e.Slider(PARAM_VIGNETTING_AMOUNT, 20);
  e.Point(PARAM_VIGNETTING_CENTER, Px(2), Px(3));
  World in(16, 16, PF_PixelFormat_ARGB32), out(16, 16, PF_PixelFormat_ARGB32);
  const RenderSnapshot s = e.Snapshot(in, out);
  EXPECT_EQ(At<uint8_t>(s, 96), 0);
  EXPECT_TRUE(AllZero(s, 80, 96));
  EXPECT_TRUE(AllZero(s, 100, 124));
  EXPECT_EQ(At<uint8_t>(s, 124), 1);  // "Vignetting Same" and the centre are always written
  EXPECT_EQ(At<int32_t>(s, 128), Px(2));
  EXPECT_EQ(At<int32_t>(s, 132), Px(3));
  EXPECT_EQ(At<uint8_t>(s, 137), 1);
}

struct WeightCase {
  const char* name;
  A_long mode;
  PF_Pixel color1, color2, color3;
  PF_Pixel a, b, c;
};

class ColourWeights : public ::testing::TestWithParam<WeightCase> {};

TEST_P(ColourWeights, FromModeAndColours) {
  const WeightCase& w = GetParam();
  Effect e(4, 4);
  e.Mode(w.mode);
  e[PARAM_COLOR1].cd.value = w.color1;
  e[PARAM_COLOR2].cd.value = w.color2;
  e[PARAM_COLOR3].cd.value = w.color3;
  World in(4, 4, PF_PixelFormat_ARGB32), out(4, 4, PF_PixelFormat_ARGB32);
  const RenderSnapshot s = e.Snapshot(in, out);
  EXPECT_EQ(s.color_a, w.a);
  EXPECT_EQ(s.color_b, w.b);
  EXPECT_EQ(s.color_c, w.c);
}

constexpr PF_Pixel kRed{255, 255, 0, 0}, kBlue{255, 0, 0, 255}, kGreen{255, 0, 255, 0};
constexpr PF_Pixel kWhite{255, 255, 255, 255}, kNone{0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    PreRender, ColourWeights,
    ::testing::Values(
        WeightCase{"TwoDefaults", 2, kRed, kBlue, kGreen, kRed, kGreen, kBlue},
        // m = 400: each colour scaled by 255/400, truncated; the rest to white.
        WeightCase{"TwoScaled", 2, {255, 200, 100, 0}, {9, 200, 0, 50}, kNone,
                   {255, 127, 63, 0}, {255, 1, 192, 224}, {9, 127, 0, 31}},
        WeightCase{"TwoJustWhite", 2, {7, 100, 0, 0}, {8, 155, 0, 0}, kNone, {7, 100, 0, 0},
                   {255, 0, 255, 255}, {8, 155, 0, 0}},
        WeightCase{"OneComplement", 1, {200, 10, 20, 30}, kBlue, kGreen, {200, 10, 20, 30},
                   {0, 245, 235, 225}, kNone},
        WeightCase{"OneWhiteLeavesOnlyTheFirstSample", 1, kWhite, kBlue, kGreen, kWhite, kNone,
                   kNone},
        WeightCase{"ThreeAsTheyAre", 3, {1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12},
                   {1, 2, 3, 4}, {9, 10, 11, 12}, {5, 6, 7, 8}},
        // Only the popup value's low byte counts.
        WeightCase{"LowByte", 0x103, kRed, kBlue, kGreen, kRed, kGreen, kBlue},
        WeightCase{"Unknown", 4, kRed, kBlue, kGreen, kNone, kNone, kNone}),
    [](const auto& info) { return std::string(info.param.name); });

struct AmountCase {
  const char* name;
  PF_Fixed amount;
  bool random_on;
  PF_Fixed random;
  PF_Fixed stored;
};

class EffectiveAmount : public ::testing::TestWithParam<AmountCase> {};

TEST_P(EffectiveAmount, IsStored) {
  const AmountCase& c = GetParam();
  Effect e(4, 4);
  e[PARAM_AMOUNT].fd.value = c.amount;
  e.Check(PARAM_RANDOM_ON, c.random_on);
  e[PARAM_RANDOM_VALUE].fd.value = c.random;
  World in(4, 4, PF_PixelFormat_ARGB32), out(4, 4, PF_PixelFormat_ARGB32);
  EXPECT_EQ(e.Snapshot(in, out).amount, c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    PreRender, EffectiveAmount,
    ::testing::Values(
        AmountCase{"RandomOffIgnoresRandom", Fixed(1), false, Fixed(-50), Fixed(1)},
        AmountCase{"RandomAdds", Fixed(1), true, Fixed(-0.5), Fixed(0.5)},
        AmountCase{"NegativeSumIsZero", Fixed(1), true, Fixed(-2), 0},
        AmountCase{"LargeSum", Fixed(10), true, Fixed(100), Fixed(110)},
        // A host that hands unclamped values cannot make the sum overflow.
        AmountCase{"SaturatesHigh", INT32_MAX, true, INT32_MAX, INT32_MAX},
        AmountCase{"NoWrapLow", INT32_MIN, true, INT32_MIN, 0},
        AmountCase{"RawWhenRandomOff", -1, false, 0, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Host calls ----------------------------------------------------------------

// Wraps the host's checkout_param to see the indices and times asked for.
struct CheckoutSpy {
  struct Call {
    PF_ParamIndex index;
    A_long time, step;
    A_u_long scale;
  };
  static std::vector<Call>& calls() {
    static std::vector<Call> c;
    return c;
  }
  static decltype(PF_InteractCallbacks::checkout_param)& original() {
    static decltype(PF_InteractCallbacks::checkout_param) o = nullptr;
    return o;
  }
  static PF_Err Checkout(PF_ProgPtr ref, PF_ParamIndex index, A_long time, A_long step,
                         A_u_long scale, PF_ParamDef* def) {
    calls().push_back(Call{index, time, step, scale});
    return original()(ref, index, time, step, scale, def);
  }
  explicit CheckoutSpy(minihost::Host& host) {
    calls().clear();
    original() = host.interact_callbacks().checkout_param;
    host.interact_callbacks().checkout_param = Checkout;
  }
  static std::vector<PF_ParamIndex> indices() {
    std::vector<PF_ParamIndex> out;
    for (const Call& c : calls()) out.push_back(c.index);
    return out;
  }
};

constexpr std::array<PF_ParamIndex, 20> kOrder = {
    PARAM_COLOR_MODE,         PARAM_COLOR1,          PARAM_COLOR2,
    PARAM_COLOR3,             PARAM_CENTER,          PARAM_VIGNETTING_CENTER,
    PARAM_VIGNETTING_SAME,    PARAM_AMOUNT,          PARAM_POWER,
    PARAM_BLUR_AMOUNT,        PARAM_RANDOM_ON,       PARAM_RANDOM_VALUE,
    PARAM_VIGNETTING_ON,      PARAM_VIGNETTING_MAXIMUM, PARAM_VIGNETTING_MINIMUM,
    PARAM_VIGNETTING_BRIGHTNESS, PARAM_VIGNETTING_POWER, PARAM_VIGNETTING_AMOUNT,
    PARAM_BLUR_ON,            PARAM_LIMITER};

TEST(PreRenderCalls, TwentyCheckoutsInOrderThenTheLayerWithTheCopiedRequest) {
  Effect e(16, 12);
  CheckoutSpy spy(e.host);
  World in(16, 12, PF_PixelFormat_ARGB32), out(16, 12, PF_PixelFormat_ARGB32);
  minihost::Frame frame(e.host, *e.instance, in, out);
  frame.set_time(7, 2, 24);
  frame.request().rect = PF_LRect{2, 3, 10, 11};
  ASSERT_EQ(frame.PreRender(), PF_Err_NONE);
  EXPECT_THAT(e.host.problems(), IsEmpty());  // every checkout was checked in

  EXPECT_THAT(spy.indices(), ElementsAreArray(kOrder));
  for (const auto& c : spy.calls()) {
    EXPECT_EQ(c.time, 7);
    EXPECT_EQ(c.step, 2);
    EXPECT_EQ(c.scale, 24u);
  }
  ASSERT_EQ(e.render.layer_checkouts().size(), 1u);
  const minihost::LayerCheckout& layer = e.render.layer_checkouts()[0];
  EXPECT_EQ(layer.index, PARAM_INPUT);
  EXPECT_EQ(layer.checkout_id, 0);
  EXPECT_EQ(layer.what_time, 7);
  EXPECT_EQ(layer.time_step, 2);
  EXPECT_EQ(layer.time_scale, 24u);
  EXPECT_EQ(layer.request.rect.left, 2);
  EXPECT_EQ(layer.request.rect.bottom, 11);
  EXPECT_EQ(layer.request.channel_mask, frame.request().channel_mask);
  EXPECT_EQ(layer.request.preserve_rgb_of_zero_alpha, 0);
  EXPECT_EQ(frame.request().preserve_rgb_of_zero_alpha, 1);  // the host's own is untouched

  // The input's rectangles, as the effect's result; no flags, not solid.
  const PF_PreRenderOutput& o = frame.pre_render_output();
  EXPECT_EQ(o.result_rect.left, 2);
  EXPECT_EQ(o.result_rect.top, 3);
  EXPECT_EQ(o.result_rect.right, 10);
  EXPECT_EQ(o.result_rect.bottom, 11);
  EXPECT_EQ(o.max_result_rect.right, 16);
  EXPECT_EQ(o.max_result_rect.bottom, 12);
  EXPECT_EQ(o.flags, 0);
  EXPECT_EQ(o.solid, 0);
  EXPECT_NE(o.delete_pre_render_data_func, nullptr);
  EXPECT_EQ(e.host.handles().LockCount(frame.pre_render_data()), 0);

  // Never rendered: the host's deletion gives the snapshot back.
  frame.DeletePreRenderData();
  EXPECT_THAT(e.host.problems(), IsEmpty());
  EXPECT_EQ(e.host.handles().LiveCount(), 2u);  // global and sequence data
}

// The snapshot belongs to the host from the end of the pre-render: the
// render only locks it, and the host gives it back through the deletion
// function alone, with the data as its one argument and on a thread of its
// own, even after the instance has gone.
TEST(PreRenderData, OutlivesTheRenderAndGoesBackOnlyThroughTheDeletion) {
  Effect e(8, 8);
  World in(8, 8, PF_PixelFormat_ARGB32);
  World out(8, 8, PF_PixelFormat_ARGB32);
  minihost::Frame frame(e.host, *e.instance, in, out);
  ASSERT_EQ(frame.PreRender(), PF_Err_NONE);
  ASSERT_EQ(frame.Render(), PF_Err_NONE);
  const PF_Handle data = frame.pre_render_data();
  EXPECT_TRUE(e.host.handles().IsLive(data));
  EXPECT_EQ(e.host.handles().LockCount(data), 0);
  ASSERT_EQ(e.host.SequenceSetdown(*e.instance), PF_Err_NONE);
  frame.DeletePreRenderData();
  EXPECT_THAT(e.host.problems(), IsEmpty());  // freed once: a second dispose is reported
  EXPECT_FALSE(e.host.handles().IsLive(data));
  EXPECT_EQ(e.host.handles().LiveCount(), 1u);  // the global data
}

struct UnionCase {
  const char* name;
  PF_LRect request;
  PF_LRect result_on_entry, max_on_entry;
  PF_LRect result, max;
};

class RectangleUnion : public ::testing::TestWithParam<UnionCase> {};

TEST_P(RectangleUnion, OfTheInputIntoTheOutput) {
  const UnionCase& c = GetParam();
  Effect e(16, 16);
  World in(16, 16, PF_PixelFormat_ARGB32);
  e.render.SetLayer(&in);
  PF_RenderRequest request{};
  request.rect = c.request;
  PF_PreRenderExtra* extra = e.render.PreRenderExtra(request, 8);
  extra->output->result_rect = c.result_on_entry;
  extra->output->max_result_rect = c.max_on_entry;
  PF_InData in_data = e.host.MakeInData(e.instance);
  PF_OutData out_data = e.host.MakeOutData(e.instance);
  ASSERT_EQ(e.host.SendRaw(PF_Cmd_SMART_PRE_RENDER, e.instance, in_data, out_data, nullptr,
                           nullptr, extra),
            PF_Err_NONE);
  EXPECT_THAT(e.host.problems(), IsEmpty());
  const PF_LRect& r = extra->output->result_rect;
  const PF_LRect& m = extra->output->max_result_rect;
  EXPECT_THAT((std::array{r.left, r.top, r.right, r.bottom}),
              ElementsAre(c.result.left, c.result.top, c.result.right, c.result.bottom));
  EXPECT_THAT((std::array{m.left, m.top, m.right, m.bottom}),
              ElementsAre(c.max.left, c.max.top, c.max.right, c.max.bottom));
  e.render.DeletePreRenderData(e.instance, extra->output->pre_render_data);
  EXPECT_THAT(e.host.problems(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    PreRender, RectangleUnion,
    ::testing::Values(
        UnionCase{"EmptyBecomesTheInput", {0, 0, 16, 16}, {}, {}, {0, 0, 16, 16}, {0, 0, 16, 16}},
        UnionCase{"GrowsToCoverBoth", {0, 0, 16, 16}, {20, 4, 30, 30}, {-5, 2, 3, 40},
                  {0, 0, 30, 30}, {-5, 0, 16, 40}},
        // A request beside the layer gives an empty result, which changes nothing.
        UnionCase{"EmptyInputLeavesIt", {100, 100, 110, 110}, {5, 5, 8, 8}, {}, {5, 5, 8, 8},
                  {0, 0, 16, 16}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Failures -------------------------------------------------------------------

TEST(PreRenderFailure, NoHandleOrNoLockIsOutOfMemoryAndLeavesNothing) {
  for (const char* call : {"host_new_handle", "host_lock_handle"}) {
    SCOPED_TRACE(call);
    Effect e(4, 4);
    CheckoutSpy spy(e.host);
    e.host.faults().FailNth(call, 1, Failure{FailureForm::kNull, 0});
    World in(4, 4, PF_PixelFormat_ARGB32), out(4, 4, PF_PixelFormat_ARGB32);
    minihost::Frame frame(e.host, *e.instance, in, out);
    EXPECT_EQ(frame.PreRender(), PF_Err_OUT_OF_MEMORY);
    EXPECT_THAT(e.host.problems(), IsEmpty());
    EXPECT_EQ(frame.pre_render_data(), nullptr);
    EXPECT_THAT(spy.calls(), IsEmpty());
    EXPECT_TRUE(e.render.layer_checkouts().empty());
  }
}

class PreRenderCheckoutFailure : public ::testing::TestWithParam<int> {};

// The n-th checkout fails: no further checkout, the code is returned, every
// definition checked out is checked in, and the snapshot is given back.
TEST_P(PreRenderCheckoutFailure, StopsThereAndGivesEverythingBack) {
  const int n = GetParam();
  Effect e(4, 4);
  CheckoutSpy spy(e.host);
  e.host.faults().FailNth("checkout_param", n, Failure{FailureForm::kError, 1000 + n});
  World in(4, 4, PF_PixelFormat_ARGB32), out(4, 4, PF_PixelFormat_ARGB32);
  minihost::Frame frame(e.host, *e.instance, in, out);
  EXPECT_EQ(frame.PreRender(), 1000 + n);
  EXPECT_THAT(e.host.problems(), IsEmpty());
  EXPECT_EQ(spy.calls().size(), static_cast<std::size_t>(n));
  EXPECT_EQ(e.host.faults().Count("checkin_param"), n - 1);
  EXPECT_EQ(frame.pre_render_data(), nullptr);
  EXPECT_EQ(frame.pre_render_output().delete_pre_render_data_func, nullptr);
  EXPECT_TRUE(e.render.layer_checkouts().empty());
  EXPECT_EQ(frame.pre_render_output().result_rect.right, 0);
}

INSTANTIATE_TEST_SUITE_P(PreRender, PreRenderCheckoutFailure, ::testing::Range(1, 21));

TEST(PreRenderFailure, LayerCheckoutCodeReturnedRectanglesStillMerged) {
  Effect e(4, 4);
  e.host.faults().FailNth("checkout_layer", 1, Failure{FailureForm::kError, 77});
  World in(4, 4, PF_PixelFormat_ARGB32), out(4, 4, PF_PixelFormat_ARGB32);
  minihost::Frame frame(e.host, *e.instance, in, out);
  EXPECT_EQ(frame.PreRender(), 77);
  EXPECT_THAT(e.host.problems(), IsEmpty());
  EXPECT_EQ(frame.pre_render_data(), nullptr);
  EXPECT_EQ(e.host.faults().Count("checkin_param"), 20);
  EXPECT_EQ(frame.pre_render_output().result_rect.right, 0);
}

TEST(PreRenderFailure, MissingHandleSuiteGives512) {
  Effect e(4, 4);
  e.host.faults().FailNth("AcquireSuite(PF Handle Suite,2)", 1,
                          Failure{FailureForm::kError, 5});
  World in(4, 4, PF_PixelFormat_ARGB32), out(4, 4, PF_PixelFormat_ARGB32);
  minihost::Frame frame(e.host, *e.instance, in, out);
  EXPECT_EQ(frame.PreRender(), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_THAT(e.host.problems(), IsEmpty());
  EXPECT_EQ(frame.pre_render_data(), nullptr);
}

}  // namespace
}  // namespace prismora::testing
