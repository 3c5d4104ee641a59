// PF_Cmd_SMART_PRE_RENDER: reads the parameter values of the current time
// into a RenderSnapshot in a host handle, checks out the input and reports
// the input's area, unchanged, as the effect's result.
//
// The snapshot handle is handed to the host together with a function that
// disposes it: the host calls it once it is done with the data, after the
// render or without one. A pre-render that fails takes its handle back.
#include <array>
#include <cstdint>
#include <cstring>

#include "entry/handlers.h"
#include "host/basic_suite_keeper.h"
#include "host/handle_guard.h"
#include "host/suite_handler.h"
#include "params/param_table.h"
#include "render/color_weights.h"
#include "render/render_snapshot.h"

namespace prismora {
namespace {

// The parameters the render reads, in the order they are checked out.
constexpr std::array<ParamIndex, 20> kCheckoutOrder = {
    PARAM_COLOR_MODE,          PARAM_COLOR1,
    PARAM_COLOR2,              PARAM_COLOR3,
    PARAM_CENTER,              PARAM_VIGNETTING_CENTER,
    PARAM_VIGNETTING_SAME,     PARAM_AMOUNT,
    PARAM_POWER,               PARAM_BLUR_AMOUNT,
    PARAM_RANDOM_ON,           PARAM_RANDOM_VALUE,
    PARAM_VIGNETTING_ON,       PARAM_VIGNETTING_MAXIMUM,
    PARAM_VIGNETTING_MINIMUM,  PARAM_VIGNETTING_BRIGHTNESS,
    PARAM_VIGNETTING_POWER,    PARAM_VIGNETTING_AMOUNT,
    PARAM_BLUR_ON,             PARAM_LIMITER,
};

// Parameter values checked out at the current time; every definition that
// was checked out is checked back in when this goes out of scope.
class ParamCheckouts {
 public:
  explicit ParamCheckouts(const PF_InData* in_data) : in_data_(in_data) {}
  ~ParamCheckouts() {
    for (std::size_t i = 0; i < defs_.size(); ++i) {
      // The values are copied by then; a refused check-in changes nothing.
      if (checked_out_[i] && in_data_->inter.checkin_param != nullptr) {
        in_data_->inter.checkin_param(in_data_->effect_ref, &defs_[i]);
      }
    }
  }
  ParamCheckouts(const ParamCheckouts&) = delete;
  ParamCheckouts& operator=(const ParamCheckouts&) = delete;

  // Stops at the first refusal and returns its code.
  PF_Err CheckoutAll() {
    for (ParamIndex index : kCheckoutOrder) {
      PF_ParamDef& def = defs_[index];
      def = PF_ParamDef{};
      const PF_Err err = in_data_->inter.checkout_param(
          in_data_->effect_ref, index, in_data_->current_time, in_data_->time_step,
          in_data_->time_scale, &def);
      if (err != PF_Err_NONE) return err;
      checked_out_[index] = true;
    }
    return PF_Err_NONE;
  }

  const PF_ParamDefUnion& operator[](ParamIndex index) const { return defs_[index].u; }

 private:
  const PF_InData* in_data_;
  std::array<PF_ParamDef, PARAM_NUM_PARAMS> defs_{};
  std::array<bool, PARAM_NUM_PARAMS> checked_out_{};
};

double FromFixed(PF_Fixed value) { return value / 65536.0; }

// "Amount" plus "random", summed wide so that unclamped values cannot
// overflow; a negative sum is no displacement.
PF_Fixed EffectiveAmount(PF_Fixed amount, bool random_on, PF_Fixed random) {
  if (!random_on) return amount;
  const int64_t sum = int64_t{amount} + random;
  if (static_cast<double>(sum) / 65536.0 < 0) return 0;
  return sum > INT32_MAX ? INT32_MAX : static_cast<PF_Fixed>(sum);
}

void FillSnapshot(const ParamCheckouts& p, RenderSnapshot& s) {
  std::memset(&s, 0, sizeof s);
  s.center_x = p[PARAM_CENTER].td.x_value;
  s.center_y = p[PARAM_CENTER].td.y_value;
  s.amount = EffectiveAmount(p[PARAM_AMOUNT].fd.value, p[PARAM_RANDOM_ON].bd.value != 0,
                             p[PARAM_RANDOM_VALUE].fd.value);
  s.power = FromFixed(p[PARAM_POWER].fd.value);
  s.blur_amount = p[PARAM_BLUR_AMOUNT].fd.value;
  s.blur_on = p[PARAM_BLUR_ON].bd.value != 0 ? 1 : 0;
  s.color_mode = static_cast<A_u_char>(p[PARAM_COLOR_MODE].pd.value & 0xFF);
  const ColorWeights weights =
      MakeColorWeights(s.color_mode, p[PARAM_COLOR1].cd.value, p[PARAM_COLOR2].cd.value,
                       p[PARAM_COLOR3].cd.value);
  s.color_a = weights.a;
  s.color_b = weights.b;
  s.color_c = weights.c;
  s.vig_on = p[PARAM_VIGNETTING_ON].bd.value != 0 ? 1 : 0;
  if (s.vig_on != 0) {
    s.vig_norm = 1.0 - FromFixed(p[PARAM_VIGNETTING_AMOUNT].fd.value) * 0.01;
    s.vig_brightness = FromFixed(p[PARAM_VIGNETTING_BRIGHTNESS].fd.value);
    s.vig_power = FromFixed(p[PARAM_VIGNETTING_POWER].fd.value);
    s.vig_maximum = p[PARAM_VIGNETTING_MAXIMUM].fs_d.value;
    s.vig_minimum = p[PARAM_VIGNETTING_MINIMUM].fs_d.value;
  }
  s.vig_same = p[PARAM_VIGNETTING_SAME].bd.value != 0 ? 1 : 0;
  s.vig_center_x = p[PARAM_VIGNETTING_CENTER].td.x_value;
  s.vig_center_y = p[PARAM_VIGNETTING_CENTER].td.y_value;
  s.limiter = p[PARAM_LIMITER].bd.value != 0 ? 1 : 0;
}

bool IsEmpty(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// Grows `dst` to cover `src`; an empty `dst` becomes `src`.
void UnionRect(const PF_LRect& src, PF_LRect& dst) {
  if (IsEmpty(dst)) {
    dst = src;
  } else if (!IsEmpty(src)) {
    dst.left = src.left < dst.left ? src.left : dst.left;
    dst.top = src.top < dst.top ? src.top : dst.top;
    dst.right = src.right > dst.right ? src.right : dst.right;
    dst.bottom = src.bottom > dst.bottom ? src.bottom : dst.bottom;
  }
}

// The host's way back to the snapshot once it no longer needs it, on any
// thread and without in_data: the handle goes back through "PF Handle Suite"
// of the basic suite kept at global set-up. Nothing may unwind into the host.
void DeleteSnapshot(void* pre_render_data) {
  const SPBasicSuite* basic = KeptBasicSuite();
  if (pre_render_data == nullptr || basic == nullptr) return;
  try {
    SuiteHandler suites(basic);
    suites.HandleSuite2()->host_dispose_handle(static_cast<PF_Handle>(pre_render_data));
  } catch (...) {
    // Without the handle suite the host keeps the block; nothing else can be done here.
  }
}

// The snapshot named in the pre-render output until the pre-render has
// succeeded; on any other way out the output no longer names it.
class SnapshotHandOver {
 public:
  SnapshotHandOver(PF_PreRenderOutput* output, PF_Handle handle) : output_(output) {
    output_->pre_render_data = handle;
    output_->delete_pre_render_data_func = DeleteSnapshot;
  }
  ~SnapshotHandOver() {
    if (!done_) {
      output_->pre_render_data = nullptr;
      output_->delete_pre_render_data_func = nullptr;
    }
  }
  SnapshotHandOver(const SnapshotHandOver&) = delete;
  SnapshotHandOver& operator=(const SnapshotHandOver&) = delete;
  void Done() { done_ = true; }

 private:
  PF_PreRenderOutput* output_;
  bool done_ = false;
};

}  // namespace

PF_Err PreRender(PF_InData* in_data, PF_OutData* /*out_data*/, PF_PreRenderExtra* extra) {
  if (extra == nullptr || extra->input == nullptr || extra->output == nullptr ||
      extra->cb == nullptr || extra->cb->checkout_layer == nullptr ||
      in_data->inter.checkout_param == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_RenderRequest request = extra->input->output_request;
  request.preserve_rgb_of_zero_alpha = 0;

  SuiteHandler suites(in_data->pica_basicP);
  const PF_HandleSuite1* handles = suites.HandleSuite2();
  OwnedHandle snapshot(handles, kRenderSnapshotSize);
  if (!snapshot) return PF_Err_OUT_OF_MEMORY;
  HandleLock lock(handles, snapshot.get());
  if (!lock) return PF_Err_OUT_OF_MEMORY;
  SnapshotHandOver hand_over(extra->output, snapshot.get());

  ParamCheckouts params(in_data);
  PF_Err err = params.CheckoutAll();
  if (err != PF_Err_NONE) return err;

  PF_CheckoutResult input{};
  err = extra->cb->checkout_layer(in_data->effect_ref, PARAM_INPUT, 0, &request,
                                  in_data->current_time, in_data->time_step,
                                  in_data->time_scale, &input);
  UnionRect(input.result_rect, extra->output->result_rect);
  UnionRect(input.max_result_rect, extra->output->max_result_rect);
  if (err != PF_Err_NONE) return err;

  FillSnapshot(params, *lock.As<RenderSnapshot>());
  hand_over.Done();
  snapshot.Release();
  return PF_Err_NONE;
}

}  // namespace prismora
