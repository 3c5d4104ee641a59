#include "minihost/suites/render_services.h"

#include <algorithm>
#include <string>

#include "minihost/host/traps.h"
#include "minihost/suites/sampling.h"

namespace minihost {
namespace {

PF_Rect Intersection(const PF_Rect& a, const PF_Rect& b) {
  PF_Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) r = PF_Rect{};
  return r;
}

std::string Pair(A_long a, A_long b) {
  std::string out(1, '(');
  out.append(std::to_string(a)).append(1, ',').append(std::to_string(b)).append(1, ')');
  return out;
}

}  // namespace

struct RenderCalls {
  // The service of the current host, when `effect_ref` is one of its instances.
  static RenderService* Service(PF_ProgPtr effect_ref, const char* call) {
    Host* host = Host::Current();
    RenderService* service = host != nullptr ? host->FindService<RenderService>() : nullptr;
    if (service != nullptr && host->InstanceFromRef(effect_ref) == nullptr) {
      host->Problem(std::string(call) + " with a foreign effect reference");
      return nullptr;
    }
    return service;
  }

  static PF_Err CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                              const PF_RenderRequest* request, A_long what_time,
                              A_long time_step, A_u_long time_scale, PF_CheckoutResult* result) {
    RenderService* s = Service(effect_ref, "checkout_layer");
    if (s == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = s->host_.faults().Enter("checkout_layer", {}, Pair(index, checkout_id))) {
      return failure->form == FailureForm::kNull ? PF_Err_NONE : failure->code;
    }
    if (request == nullptr || result == nullptr) {
      s->host_.Problem("checkout_layer without a request or a result");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (index != 0 || s->layer_ == nullptr) {
      s->host_.Problem("checkout_layer of parameter " + std::to_string(index) +
                       ", which is not a layer the host has");
      return PF_Err_INVALID_INDEX;
    }
    s->layer_checkouts_.push_back(
        LayerCheckout{index, checkout_id, *request, what_time, time_step, time_scale});
    const PF_Rect bounds{0, 0, s->layer_->width(), s->layer_->height()};
    *result = PF_CheckoutResult{};
    result->result_rect = Intersection(request->rect, bounds);
    result->max_result_rect = bounds;
    result->par = PF_RationalScale{1, 1};
    result->ref_width = bounds.right;
    result->ref_height = bounds.bottom;
    return PF_Err_NONE;
  }

  static PF_Err CheckoutLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id,
                                    PF_EffectWorld** pixels) {
    RenderService* s = Service(effect_ref, "checkout_layer_pixels");
    if (s == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = s->host_.faults().Enter("checkout_layer_pixels")) {
      if (failure->form != FailureForm::kNull) return failure->code;
      if (pixels != nullptr) *pixels = nullptr;
      return PF_Err_NONE;
    }
    const bool known =
        std::any_of(s->layer_checkouts_.begin(), s->layer_checkouts_.end(),
                    [checkout_id](const LayerCheckout& c) { return c.checkout_id == checkout_id; });
    if (pixels == nullptr || !known || s->layer_ == nullptr) {
      s->host_.Problem("checkout_layer_pixels of checkout id " + std::to_string(checkout_id) +
                       ", which pre-render did not check out");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    ++s->pixel_checkouts_;
    // The host's record of the layer; the plug-in must not write it.
    *pixels = const_cast<PF_EffectWorld*>(&s->layer_->effect_world());
    return PF_Err_NONE;
  }

  static PF_Err CheckinLayerPixels(PF_ProgPtr effect_ref, A_long /*checkout_id*/) {
    RenderService* s = Service(effect_ref, "checkin_layer_pixels");
    if (s == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = s->host_.faults().Enter("checkin_layer_pixels")) return failure->code;
    return PF_Err_NONE;
  }

  static PF_Err CheckoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output) {
    RenderService* s = Service(effect_ref, "checkout_output");
    if (s == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = s->host_.faults().Enter("checkout_output")) {
      if (failure->form != FailureForm::kNull) return failure->code;
      if (output != nullptr) *output = nullptr;
      return PF_Err_NONE;
    }
    if (output == nullptr || s->output_ == nullptr) {
      s->host_.Problem("checkout_output without a destination or an output to give");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    ++s->output_checkouts_;
    *output = &s->output_->effect_world();
    return PF_Err_NONE;
  }

  static PF_Err Progress(PF_ProgPtr effect_ref, A_long current, A_long total) {
    RenderService* s = Service(effect_ref, "progress");
    if (s == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = s->host_.faults().Enter("progress", {}, Pair(current, total))) {
      return failure->code;
    }
    s->progress_.push_back(ProgressReport{current, total});
    if (s->stop_at_progress_ > 0 &&
        static_cast<int>(s->progress_.size()) >= s->stop_at_progress_) {
      s->stopped_ = true;
    }
    return s->stopped_ ? PF_Interrupt_CANCEL : PF_Err_NONE;
  }

  static PF_Err Abort(PF_ProgPtr effect_ref) {
    RenderService* s = Service(effect_ref, "abort");
    if (s == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = s->host_.faults().Enter("abort")) return failure->code;
    ++s->abort_checks_;
    return s->stopped_ ? PF_Interrupt_CANCEL : PF_Err_NONE;
  }
};

RenderService& RenderService::Install(Host& host) {
  if (RenderService* existing = host.FindService<RenderService>()) return *existing;
  WorldService::Install(host);
  InstallSamplingSuites(host);
  auto& service = host.AddService(std::make_unique<RenderService>(host));
  service.pre_callbacks_.checkout_layer = RenderCalls::CheckoutLayer;
  service.pre_callbacks_.GuidMixInPtr = MINIHOST_TRAP(PF_PreRenderCallbacks, GuidMixInPtr);
  service.smart_callbacks_.checkout_layer_pixels = RenderCalls::CheckoutLayerPixels;
  service.smart_callbacks_.checkin_layer_pixels = RenderCalls::CheckinLayerPixels;
  service.smart_callbacks_.checkout_output = RenderCalls::CheckoutOutput;
  host.interact_callbacks().progress = RenderCalls::Progress;
  host.interact_callbacks().abort = RenderCalls::Abort;
  return service;
}

PF_PreRenderExtra* RenderService::PreRenderExtra(const PF_RenderRequest& request,
                                                 A_short bitdepth) {
  pre_input_ = PF_PreRenderInput{};
  pre_input_.output_request = request;
  pre_input_.bitdepth = bitdepth;
  pre_output_ = PF_PreRenderOutput{};
  pre_extra_ = PF_PreRenderExtra{&pre_input_, &pre_output_, &pre_callbacks_};
  pre_output_pending_ = true;
  return &pre_extra_;
}

PF_SmartRenderExtra* RenderService::SmartRenderExtra(const PF_RenderRequest& request,
                                                     A_short bitdepth, void* pre_render_data) {
  smart_input_ = PF_SmartRenderInput{};
  smart_input_.output_request = request;
  smart_input_.bitdepth = bitdepth;
  smart_input_.pre_render_data = pre_render_data;
  smart_extra_ = PF_SmartRenderExtra{&smart_input_, &smart_callbacks_};
  return &smart_extra_;
}

void RenderService::DeletePreRenderData(Instance* instance, void* data) {
  auto it = std::find_if(held_.begin(), held_.end(),
                         [data](const Held& h) { return h.data == data; });
  if (it == held_.end()) return;
  const Held held = *it;
  held_.erase(it);
  if (held.deleter == nullptr) return;
  // As the host does it: the data alone, from a thread of the host's choosing.
  host_.CallPlugin(
      "the pre-render data's deletion", instance, [&] { held.deleter(held.data); },
      /*on_other_thread=*/true);
}

void RenderService::ClearRecords() {
  layer_checkouts_.clear();
  pixel_checkouts_ = 0;
  output_checkouts_ = 0;
  progress_.clear();
  abort_checks_ = 0;
}

void RenderService::Roots(std::vector<PF_Handle>& roots) const {
  for (const Held& h : held_) roots.push_back(static_cast<PF_Handle>(h.data));
  if (pre_output_pending_ && pre_output_.pre_render_data != nullptr) {
    roots.push_back(static_cast<PF_Handle>(pre_output_.pre_render_data));
  }
}

void RenderService::Audit(std::vector<std::string>& problems) {
  if (!pre_output_pending_) return;
  // The command was the pre-render these records were made for: from now on
  // the host holds what it left.
  pre_output_pending_ = false;
  void* data = pre_output_.pre_render_data;
  if (data == nullptr) return;
  if (pre_output_.delete_pre_render_data_func == nullptr) {
    problems.push_back("pre-render data handed over without a function to delete it");
  }
  held_.push_back(Held{data, pre_output_.delete_pre_render_data_func});
}

}  // namespace minihost
