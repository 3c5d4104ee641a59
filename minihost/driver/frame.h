// One frame rendered the way After Effects renders a smart effect: pre-render
// with a request for the whole layer, smart render into the output, then the
// deletion of the pre-render data through the function the plug-in handed
// over. Used by the tests and the tools.
#pragma once

#include "minihost/suites/render_services.h"
#include "minihost/suites/worlds.h"

namespace minihost {

class Frame {
 public:
  // At the host's current time; installs the render services if needed.
  Frame(Host& host, Instance& instance, const World& input, World& output);
  // Deletes whatever pre-render data is still held.
  ~Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  void set_time(A_long time, A_long time_step, A_u_long time_scale);
  // The request handed to pre-render; the whole layer by default.
  PF_RenderRequest& request() { return request_; }

  PF_Err PreRender();
  // Renders with the data the pre-render left (none when it left none).
  PF_Err Render();
  void DeletePreRenderData();
  // Pre-render, render when it succeeded, deletion.
  PF_Err Run();

  const PF_PreRenderOutput& pre_render_output() const { return pre_output_; }
  // The pre-render data as a handle (the snapshot), until it is deleted.
  PF_Handle pre_render_data() const { return static_cast<PF_Handle>(pre_render_data_); }
  RenderService& service() { return service_; }

 private:
  A_short BitDepth() const;
  // The records of both phases: the frame's time and the input's extent,
  // with the layer and output worlds handed to the render service.
  PF_InData PrepareInData();

  Host& host_;
  Instance& instance_;
  const World& input_;
  World& output_;
  RenderService& service_;
  PF_RenderRequest request_{};
  A_long time_;
  A_long time_step_;
  A_u_long time_scale_;
  PF_PreRenderOutput pre_output_{};
  void* pre_render_data_ = nullptr;
};

// Renders one frame at `time` and returns the first error: pre-render's, or
// the render's.
PF_Err RenderFrame(Host& host, Instance& instance, A_long time, const World& input,
                   World& output);

}  // namespace minihost
