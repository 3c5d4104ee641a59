// The records of smart rendering: the request, pre-render and render extras
// and their callbacks.
#pragma once

#include "host/ae_indata.h"

extern "C" {

struct PF_RenderRequest {
  PF_LRect rect;
  PF_Field field;
  PF_ChannelMask channel_mask;
  PF_Boolean preserve_rgb_of_zero_alpha;
  A_char unused[3];
  A_long reserved[4];
};

struct PF_CheckoutResult {
  PF_LRect result_rect;
  PF_LRect max_result_rect;
  PF_RationalScale par;
  A_long solid;
  PF_Boolean reservedB[3];
  PF_Boolean pad;
  A_long ref_width;
  A_long ref_height;
  A_long reserved[6];
};

// Frees what a pre-render left in `pre_render_data` when the host no longer
// needs it; the host passes its input record so the plug-in can reach the
// host's handle callbacks.
typedef void (*PF_DeletePreRenderDataFunc)(const PF_InData* in_data, void* pre_render_data);

struct PF_PreRenderInput {
  PF_RenderRequest output_request;
  A_short bitdepth;
  A_short reserved_s;
  A_long device_index;
  const void* gpu_data;
};

struct PF_PreRenderOutput {
  PF_LRect result_rect;
  PF_LRect max_result_rect;
  PF_Boolean solid;
  PF_Boolean reserved;
  A_short reserved_s;
  PF_RenderOutputFlags flags;
  void* pre_render_data;
  PF_DeletePreRenderDataFunc delete_pre_render_data_func;
};

struct PF_PreRenderCallbacks {
  PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                           const PF_RenderRequest* request, A_long what_time, A_long time_step,
                           A_u_long time_scale, PF_CheckoutResult* result);
};

struct PF_PreRenderExtra {
  PF_PreRenderInput* input;
  PF_PreRenderOutput* output;
  PF_PreRenderCallbacks* cb;
};

struct PF_SmartRenderInput {
  PF_RenderRequest output_request;
  A_short bitdepth;
  A_short reserved_s;
  A_long device_index;
  void* pre_render_data;
  const void* gpu_data;
};

struct PF_SmartRenderCallbacks {
  PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_id,
                                  PF_EffectWorld** pixels);
  PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_id);
  PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
};

struct PF_SmartRenderExtra {
  PF_SmartRenderInput* input;
  PF_SmartRenderCallbacks* cb;
};

}  // extern "C"

static_assert(sizeof(PF_RenderRequest) == 44);
