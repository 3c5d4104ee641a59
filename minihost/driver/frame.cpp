#include "minihost/driver/frame.h"

namespace minihost {
namespace {

// Alpha, red, green and blue.
constexpr PF_ChannelMask kAllChannels = 0x0F;

}  // namespace

Frame::Frame(Host& host, Instance& instance, const World& input, World& output)
    : host_(host),
      instance_(instance),
      input_(input),
      output_(output),
      service_(RenderService::Install(host)) {
  request_.rect = PF_LRect{0, 0, input.width(), input.height()};
  request_.channel_mask = kAllChannels;
  // Set by the host; the plug-in's own copy must clear it.
  request_.preserve_rgb_of_zero_alpha = 1;
  const PF_InData in = host.MakeInData(&instance);
  time_ = in.current_time;
  time_step_ = in.time_step;
  time_scale_ = in.time_scale;
}

Frame::~Frame() { DeletePreRenderData(); }

void Frame::set_time(A_long time, A_long time_step, A_u_long time_scale) {
  time_ = time;
  time_step_ = time_step;
  time_scale_ = time_scale;
}

A_short Frame::BitDepth() const {
  switch (input_.format()) {
    case PF_PixelFormat_ARGB64: return 16;
    case PF_PixelFormat_ARGB128: return 32;
    default: return 8;
  }
}

PF_InData Frame::PrepareInData() {
  service_.SetLayer(&input_);
  service_.SetOutput(&output_);
  PF_InData in = host_.MakeInData(&instance_);
  in.current_time = time_;
  in.time_step = in.local_time_step = time_step_;
  in.time_scale = time_scale_;
  in.width = input_.width();
  in.height = input_.height();
  in.extent_hint = PF_Rect{0, 0, input_.width(), input_.height()};
  return in;
}

PF_Err Frame::PreRender() {
  DeletePreRenderData();
  service_.ClearRecords();
  PF_InData in = PrepareInData();
  PF_OutData out = host_.MakeOutData(&instance_);
  PF_PreRenderExtra* extra = service_.PreRenderExtra(request_, BitDepth());
  const PF_Err err =
      host_.SendRaw(PF_Cmd_SMART_PRE_RENDER, &instance_, in, out, nullptr, nullptr, extra);
  pre_output_ = *extra->output;
  pre_render_data_ = pre_output_.pre_render_data;
  return err;
}

PF_Err Frame::Render() {
  PF_InData in = PrepareInData();
  PF_OutData out = host_.MakeOutData(&instance_);
  PF_SmartRenderExtra* extra = service_.SmartRenderExtra(request_, BitDepth(), pre_render_data_);
  return host_.SendRaw(PF_Cmd_SMART_RENDER, &instance_, in, out, nullptr, nullptr, extra);
}

void Frame::DeletePreRenderData() {
  if (pre_render_data_ == nullptr) return;
  service_.DeletePreRenderData(&instance_, pre_render_data_);
  pre_render_data_ = nullptr;
}

PF_Err Frame::Run() {
  PF_Err err = PreRender();
  if (err == PF_Err_NONE) err = Render();
  DeletePreRenderData();
  return err;
}

PF_Err RenderFrame(Host& host, Instance& instance, A_long time, const World& input,
                   World& output) {
  Frame frame(host, instance, input, output);
  const PF_InData in = host.MakeInData(&instance);
  frame.set_time(time, in.time_step, in.time_scale);
  return frame.Run();
}

}  // namespace minihost
