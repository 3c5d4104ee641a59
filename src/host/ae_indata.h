// The records handed to the entry point with every command, and the host
// callback tables they carry.
#pragma once

#include "host/ae_params.h"

extern "C" {

struct SPBasicSuite;

// Entries the plug-in and our host use are typed; the others keep their slot
// as PF_UnusedEntry.
struct PF_InteractCallbacks {
  PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                           A_long time_step, A_u_long time_scale, PF_ParamDef* param);
  PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
  PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
  PF_Err (*abort)(PF_ProgPtr effect_ref);
  PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
  PF_UnusedEntry register_ui;
  PF_UnusedEntry checkout_layer_audio;
  PF_UnusedEntry checkin_layer_audio;
  PF_UnusedEntry get_audio_data;
  void* reserved_str[3];
  void* reserved[10];
};

// The host's C library, so that plug-in arithmetic and text follow the host.
struct PF_ANSICallbacksBlock {
  A_FpLong (*atan)(A_FpLong);
  A_FpLong (*atan2)(A_FpLong y, A_FpLong x);
  A_FpLong (*ceil)(A_FpLong);
  A_FpLong (*cos)(A_FpLong);
  A_FpLong (*exp)(A_FpLong);
  A_FpLong (*fabs)(A_FpLong);
  A_FpLong (*floor)(A_FpLong);
  A_FpLong (*fmod)(A_FpLong x, A_FpLong y);
  A_FpLong (*hypot)(A_FpLong x, A_FpLong y);
  A_FpLong (*log)(A_FpLong);
  A_FpLong (*log10)(A_FpLong);
  A_FpLong (*pow)(A_FpLong x, A_FpLong y);
  A_FpLong (*sin)(A_FpLong);
  A_FpLong (*sqrt)(A_FpLong);
  A_FpLong (*tan)(A_FpLong);
  int (*sprintf)(A_char* buffer, const A_char* format, ...);
  A_char* (*strcpy)(A_char* dest, const A_char* src);
  A_FpLong (*asin)(A_FpLong);
  A_FpLong (*acos)(A_FpLong);
  A_long unused_longA[1];
};

struct PF_ColorCallbacks {
  PF_UnusedEntry RGBtoHLS;
  PF_UnusedEntry HLStoRGB;
  PF_UnusedEntry RGBtoYIQ;
  PF_UnusedEntry YIQtoRGB;
  PF_UnusedEntry Luminance;
  PF_UnusedEntry Hue;
  PF_UnusedEntry Lightness;
  PF_UnusedEntry Saturation;
};

struct _PF_UtilCallbacks {
  PF_UnusedEntry begin_sampling;
  PF_UnusedEntry subpixel_sample;
  PF_UnusedEntry area_sample;
  void* get_batch_func_is_deprecated;
  PF_UnusedEntry end_sampling;
  PF_UnusedEntry composite_rect;
  PF_UnusedEntry blend;
  PF_UnusedEntry convolve;
  PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst,
                 PF_Rect* src_r, PF_Rect* dst_r);
  PF_UnusedEntry fill;
  PF_UnusedEntry gaussian_kernel;
  PF_UnusedEntry iterate;
  PF_UnusedEntry premultiply;
  PF_UnusedEntry premultiply_color;
  PF_Err (*new_world)(PF_ProgPtr effect_ref, A_long width, A_long height,
                      PF_NewWorldFlags flags, PF_EffectWorld* world);
  PF_Err (*dispose_world)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
  PF_UnusedEntry iterate_origin;
  PF_UnusedEntry iterate_lut;
  PF_UnusedEntry transfer_rect;
  PF_UnusedEntry transform_world;
  PF_Handle (*host_new_handle)(A_u_longlong size);
  void* (*host_lock_handle)(PF_Handle pf_handle);
  void (*host_unlock_handle)(PF_Handle pf_handle);
  void (*host_dispose_handle)(PF_Handle pf_handle);
  PF_UnusedEntry get_callback_addr;
  PF_UnusedEntry app;
  PF_ANSICallbacksBlock ansi;
  PF_ColorCallbacks colorCB;
  PF_UnusedEntry get_platform_data;
  A_u_longlong (*host_get_handle_size)(PF_Handle pf_handle);
  PF_UnusedEntry iterate_origin_non_clip_src;
  PF_UnusedEntry iterate_generic;
  PF_Err (*host_resize_handle)(A_u_longlong new_sizeL, PF_Handle* handlePH);
  PF_UnusedEntry subpixel_sample16;
  PF_UnusedEntry area_sample16;
  PF_UnusedEntry fill16;
  PF_UnusedEntry premultiply_color16;
  PF_UnusedEntry iterate16;
  PF_UnusedEntry iterate_origin16;
  PF_UnusedEntry iterate_origin_non_clip_src16;
  PF_UnusedEntry get_pixel_data8;
  PF_UnusedEntry get_pixel_data16;
  A_long reserved[1];
};
typedef struct _PF_UtilCallbacks PF_UtilCallbacks;

struct PF_SpecVersion {
  A_short major;
  A_short minor;
};

// Audio of the layer; we never touch it. Opaque, at the size and alignment
// its published neighbours leave (src_snd at 352, pica_basicP at 384).
struct PF_SoundWorld {
  void* opaque[4];
};

struct PF_InData {
  PF_InteractCallbacks inter;
  _PF_UtilCallbacks* utils;
  PF_ProgPtr effect_ref;
  PF_Quality quality;
  PF_SpecVersion version;
  A_long serial_num;
  A_AppID appl_id;
  A_long num_params;
  A_long reserved;
  A_long what_cpu;
  A_long what_fpu;
  A_long current_time;
  A_long time_step;
  A_long total_time;
  A_long local_time_step;
  A_u_long time_scale;
  PF_Field field;
  PF_Fixed shutter_angle;
  A_long width;
  A_long height;
  PF_Rect extent_hint;
  A_long output_origin_x;
  A_long output_origin_y;
  PF_RationalScale downsample_x;
  PF_RationalScale downsample_y;
  PF_RationalScale pixel_aspect_ratio;
  PF_InFlags in_flags;
  PF_Handle global_data;
  PF_Handle sequence_data;
  PF_Handle frame_data;
  A_long start_sampL;
  A_long dur_sampL;
  A_long total_sampL;
  PF_SoundWorld src_snd;
  SPBasicSuite* pica_basicP;
  A_long pre_effect_source_origin_x;
  A_long pre_effect_source_origin_y;
  PF_Fixed shutter_phase;
};

struct PF_OutData {
  A_u_long my_version;
  A_char name[PF_MAX_EFFECT_NAME_LEN + 1];
  PF_Handle global_data;
  A_long num_params;
  PF_Handle sequence_data;
  A_long flat_sdata_size;
  PF_Handle frame_data;
  A_long width;
  A_long height;
  PF_Point origin;
  PF_OutFlags out_flags;
  A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
  A_long start_sampL;
  A_long dur_sampL;
  PF_SoundWorld dest_snd;
  PF_OutFlags2 out_flags2;
};

// Extra record of PF_Cmd_USER_CHANGED_PARAM.
struct PF_UserChangedParamExtra {
  PF_ParamIndex param_index;
};

// The one exported function: selector, records, parameters, output, extra.
typedef PF_Err (*PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* output, void* extra);

}  // extern "C"
