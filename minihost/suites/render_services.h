// The host's side of smart rendering: the pre-render and smart-render
// records and their callbacks (checkout_layer, checkout_layer_pixels,
// checkout_output), progress and abort, and the pre-render data the host
// holds for the plug-in between its pre-render and the deletion it asks for.
//
// Every call is recorded and counted by the fault injector like the rest of
// the host. Progress reports are kept in order, and the host can ask the
// render to stop (the user pressing Escape): from then on progress and abort
// answer PF_Interrupt_CANCEL.
//
// Accounting: pre-render data is held (not a leak) until the host deletes it
// through the function the plug-in handed over; pre-render data handed over
// without such a function is reported, as is a pixel checkout of a layer
// that pre-render did not check out.
#pragma once

#include <vector>

#include "minihost/host/host.h"
#include "minihost/suites/worlds.h"

namespace minihost {

struct LayerCheckout {
  PF_ParamIndex index;
  A_long checkout_id;
  PF_RenderRequest request;
  A_long what_time;
  A_long time_step;
  A_u_long time_scale;
};

struct ProgressReport {
  A_long current;
  A_long total;
  bool operator==(const ProgressReport&) const = default;
};

class RenderService : public Service {
 public:
  // Creates the service once per host, with the world service and the
  // sampling suites, and installs progress and abort; later calls return the
  // same service.
  static RenderService& Install(Host& host);
  explicit RenderService(Host& host) : host_(host) {}

  // --- The frame the host is rendering --------------------------------------
  // The layer the effect is applied to and the world the render fills. The
  // worlds must outlive their use.
  void SetLayer(const World* layer) { layer_ = layer; }
  void SetOutput(World* output) { output_ = output; }
  // Fresh records for PF_Cmd_SMART_PRE_RENDER; the output starts empty.
  PF_PreRenderExtra* PreRenderExtra(const PF_RenderRequest& request, A_short bitdepth);
  // Records for PF_Cmd_SMART_RENDER with the data the pre-render left.
  PF_SmartRenderExtra* SmartRenderExtra(const PF_RenderRequest& request, A_short bitdepth,
                                        void* pre_render_data);
  const PF_PreRenderOutput& pre_render_output() const { return pre_output_; }

  // --- Pre-render data ------------------------------------------------------
  // Pre-render data the host holds (from pre-renders not yet deleted).
  std::size_t held() const { return held_.size(); }
  // Calls the plug-in's deletion function for `data` (with fresh records for
  // `instance`) and stops holding it. Nothing happens for data not held.
  void DeletePreRenderData(Instance* instance, void* data);

  // --- What the plug-in did -------------------------------------------------
  const std::vector<LayerCheckout>& layer_checkouts() const { return layer_checkouts_; }
  int pixel_checkouts() const { return pixel_checkouts_; }
  int output_checkouts() const { return output_checkouts_; }
  const std::vector<ProgressReport>& progress() const { return progress_; }
  int abort_checks() const { return abort_checks_; }
  void ClearRecords();

  // --- The user ---------------------------------------------------------------
  // Stop from the n-th progress report counted from now (1 = the next).
  void StopAtProgress(int nth) { stop_at_progress_ = static_cast<int>(progress_.size()) + nth; }
  void RequestStop() { stopped_ = true; }
  void ClearStop() {
    stopped_ = false;
    stop_at_progress_ = 0;
  }

  void Roots(std::vector<PF_Handle>& roots) const override;
  void Audit(std::vector<std::string>& problems) override;

 private:
  friend struct RenderCalls;
  struct Held {
    void* data;
    PF_DeletePreRenderDataFunc deleter;
  };

  Host& host_;
  const World* layer_ = nullptr;
  World* output_ = nullptr;

  PF_PreRenderCallbacks pre_callbacks_{};
  PF_SmartRenderCallbacks smart_callbacks_{};
  PF_PreRenderInput pre_input_{};
  PF_PreRenderOutput pre_output_{};
  PF_PreRenderExtra pre_extra_{};
  bool pre_output_pending_ = false;
  PF_SmartRenderInput smart_input_{};
  PF_SmartRenderExtra smart_extra_{};

  std::vector<Held> held_;
  std::vector<LayerCheckout> layer_checkouts_;
  int pixel_checkouts_ = 0;
  int output_checkouts_ = 0;
  std::vector<ProgressReport> progress_;
  int abort_checks_ = 0;
  bool stopped_ = false;
  int stop_at_progress_ = 0;
};

}  // namespace minihost
