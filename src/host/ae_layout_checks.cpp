// The host's published 64-bit layout, checked at compile time in every build
// (Linux and Windows alike): the size and alignment of every record and table
// we declare and the offset of every field and entry. The numbers are the
// host's published ones, written here as they stand; none is derived from
// our own declarations, so a misdeclared field stops the build.
#include <cstddef>

#include "host/ae_effect.h"

#define ABI_RECORD(type, size, align)                                 \
  static_assert(sizeof(type) == (size), #type " is not " #size " bytes"); \
  static_assert(alignof(type) == (align), #type " is not aligned to " #align)
#define ABI_FIELD(type, field, offset) \
  static_assert(offsetof(type, field) == (offset), #type "." #field " is not at " #offset)

static_assert(sizeof(void*) == 8, "the host's interface is the 64-bit one");

// Records whose inner layout we keep opaque, and the types of single fields
// whose width the published offsets fix.
ABI_RECORD(PF_CompositeMode, 12, 4);
ABI_RECORD(PF_SoundWorld, 32, 8);
static_assert(sizeof(PF_Boolean) == 1 && sizeof(A_Boolean) == 1);
static_assert(sizeof(PF_Precision) == 2 && sizeof(PF_ValueDisplayFlags) == 2);
static_assert(sizeof(PF_RenderOutputFlags) == 2);
static_assert(sizeof(A_long) == 4 && sizeof(A_u_longlong) == 8 && sizeof(PF_Handle) == 8);

// Pixel formats: four characters, the first in the lowest byte.
static_assert(PF_PixelFormat_ARGB32 == PF_FourCharCode('a', 'r', 'g', 'b'));
static_assert(PF_PixelFormat_ARGB64 == PF_FourCharCode('a', 'e', '1', '6'));
static_assert(PF_PixelFormat_ARGB128 == PF_FourCharCode('a', 'e', '3', '2'));
static_assert(PF_PixelFormat_INVALID == PF_FourCharCode('b', 'a', 'd', 'f'));

// PF_InData
ABI_RECORD(PF_InData, 408, 8);
ABI_FIELD(PF_InData, inter, 0);
ABI_FIELD(PF_InData, utils, 176);
ABI_FIELD(PF_InData, effect_ref, 184);
ABI_FIELD(PF_InData, quality, 192);
ABI_FIELD(PF_InData, version, 196);
ABI_FIELD(PF_InData, serial_num, 200);
ABI_FIELD(PF_InData, appl_id, 204);
ABI_FIELD(PF_InData, num_params, 208);
ABI_FIELD(PF_InData, reserved, 212);
ABI_FIELD(PF_InData, what_cpu, 216);
ABI_FIELD(PF_InData, what_fpu, 220);
ABI_FIELD(PF_InData, current_time, 224);
ABI_FIELD(PF_InData, time_step, 228);
ABI_FIELD(PF_InData, total_time, 232);
ABI_FIELD(PF_InData, local_time_step, 236);
ABI_FIELD(PF_InData, time_scale, 240);
ABI_FIELD(PF_InData, field, 244);
ABI_FIELD(PF_InData, shutter_angle, 248);
ABI_FIELD(PF_InData, width, 252);
ABI_FIELD(PF_InData, height, 256);
ABI_FIELD(PF_InData, extent_hint, 260);
ABI_FIELD(PF_InData, output_origin_x, 276);
ABI_FIELD(PF_InData, output_origin_y, 280);
ABI_FIELD(PF_InData, downsample_x, 284);
ABI_FIELD(PF_InData, downsample_y, 292);
ABI_FIELD(PF_InData, pixel_aspect_ratio, 300);
ABI_FIELD(PF_InData, in_flags, 308);
ABI_FIELD(PF_InData, global_data, 312);
ABI_FIELD(PF_InData, sequence_data, 320);
ABI_FIELD(PF_InData, frame_data, 328);
ABI_FIELD(PF_InData, start_sampL, 336);
ABI_FIELD(PF_InData, dur_sampL, 340);
ABI_FIELD(PF_InData, total_sampL, 344);
ABI_FIELD(PF_InData, src_snd, 352);
ABI_FIELD(PF_InData, pica_basicP, 384);
ABI_FIELD(PF_InData, pre_effect_source_origin_x, 392);
ABI_FIELD(PF_InData, pre_effect_source_origin_y, 396);
ABI_FIELD(PF_InData, shutter_phase, 400);

// PF_InteractCallbacks
ABI_RECORD(PF_InteractCallbacks, 176, 8);
ABI_FIELD(PF_InteractCallbacks, checkout_param, 0);
ABI_FIELD(PF_InteractCallbacks, checkin_param, 8);
ABI_FIELD(PF_InteractCallbacks, add_param, 16);
ABI_FIELD(PF_InteractCallbacks, abort, 24);
ABI_FIELD(PF_InteractCallbacks, progress, 32);
ABI_FIELD(PF_InteractCallbacks, register_ui, 40);
ABI_FIELD(PF_InteractCallbacks, checkout_layer_audio, 48);
ABI_FIELD(PF_InteractCallbacks, checkin_layer_audio, 56);
ABI_FIELD(PF_InteractCallbacks, get_audio_data, 64);
ABI_FIELD(PF_InteractCallbacks, reserved_str, 72);
ABI_FIELD(PF_InteractCallbacks, reserved, 96);

// _PF_UtilCallbacks
ABI_RECORD(_PF_UtilCallbacks, 552, 8);
ABI_FIELD(_PF_UtilCallbacks, begin_sampling, 0);
ABI_FIELD(_PF_UtilCallbacks, subpixel_sample, 8);
ABI_FIELD(_PF_UtilCallbacks, area_sample, 16);
ABI_FIELD(_PF_UtilCallbacks, get_batch_func_is_deprecated, 24);
ABI_FIELD(_PF_UtilCallbacks, end_sampling, 32);
ABI_FIELD(_PF_UtilCallbacks, composite_rect, 40);
ABI_FIELD(_PF_UtilCallbacks, blend, 48);
ABI_FIELD(_PF_UtilCallbacks, convolve, 56);
ABI_FIELD(_PF_UtilCallbacks, copy, 64);
ABI_FIELD(_PF_UtilCallbacks, fill, 72);
ABI_FIELD(_PF_UtilCallbacks, gaussian_kernel, 80);
ABI_FIELD(_PF_UtilCallbacks, iterate, 88);
ABI_FIELD(_PF_UtilCallbacks, premultiply, 96);
ABI_FIELD(_PF_UtilCallbacks, premultiply_color, 104);
ABI_FIELD(_PF_UtilCallbacks, new_world, 112);
ABI_FIELD(_PF_UtilCallbacks, dispose_world, 120);
ABI_FIELD(_PF_UtilCallbacks, iterate_origin, 128);
ABI_FIELD(_PF_UtilCallbacks, iterate_lut, 136);
ABI_FIELD(_PF_UtilCallbacks, transfer_rect, 144);
ABI_FIELD(_PF_UtilCallbacks, transform_world, 152);
ABI_FIELD(_PF_UtilCallbacks, host_new_handle, 160);
ABI_FIELD(_PF_UtilCallbacks, host_lock_handle, 168);
ABI_FIELD(_PF_UtilCallbacks, host_unlock_handle, 176);
ABI_FIELD(_PF_UtilCallbacks, host_dispose_handle, 184);
ABI_FIELD(_PF_UtilCallbacks, get_callback_addr, 192);
ABI_FIELD(_PF_UtilCallbacks, app, 200);
ABI_FIELD(_PF_UtilCallbacks, ansi, 208);
ABI_FIELD(_PF_UtilCallbacks, colorCB, 368);
ABI_FIELD(_PF_UtilCallbacks, get_platform_data, 432);
ABI_FIELD(_PF_UtilCallbacks, host_get_handle_size, 440);
ABI_FIELD(_PF_UtilCallbacks, iterate_origin_non_clip_src, 448);
ABI_FIELD(_PF_UtilCallbacks, iterate_generic, 456);
ABI_FIELD(_PF_UtilCallbacks, host_resize_handle, 464);
ABI_FIELD(_PF_UtilCallbacks, subpixel_sample16, 472);
ABI_FIELD(_PF_UtilCallbacks, area_sample16, 480);
ABI_FIELD(_PF_UtilCallbacks, fill16, 488);
ABI_FIELD(_PF_UtilCallbacks, premultiply_color16, 496);
ABI_FIELD(_PF_UtilCallbacks, iterate16, 504);
ABI_FIELD(_PF_UtilCallbacks, iterate_origin16, 512);
ABI_FIELD(_PF_UtilCallbacks, iterate_origin_non_clip_src16, 520);
ABI_FIELD(_PF_UtilCallbacks, get_pixel_data8, 528);
ABI_FIELD(_PF_UtilCallbacks, get_pixel_data16, 536);
ABI_FIELD(_PF_UtilCallbacks, reserved, 544);

// PF_ANSICallbacksBlock
ABI_RECORD(PF_ANSICallbacksBlock, 160, 8);
ABI_FIELD(PF_ANSICallbacksBlock, atan, 0);
ABI_FIELD(PF_ANSICallbacksBlock, atan2, 8);
ABI_FIELD(PF_ANSICallbacksBlock, ceil, 16);
ABI_FIELD(PF_ANSICallbacksBlock, cos, 24);
ABI_FIELD(PF_ANSICallbacksBlock, exp, 32);
ABI_FIELD(PF_ANSICallbacksBlock, fabs, 40);
ABI_FIELD(PF_ANSICallbacksBlock, floor, 48);
ABI_FIELD(PF_ANSICallbacksBlock, fmod, 56);
ABI_FIELD(PF_ANSICallbacksBlock, hypot, 64);
ABI_FIELD(PF_ANSICallbacksBlock, log, 72);
ABI_FIELD(PF_ANSICallbacksBlock, log10, 80);
ABI_FIELD(PF_ANSICallbacksBlock, pow, 88);
ABI_FIELD(PF_ANSICallbacksBlock, sin, 96);
ABI_FIELD(PF_ANSICallbacksBlock, sqrt, 104);
ABI_FIELD(PF_ANSICallbacksBlock, tan, 112);
ABI_FIELD(PF_ANSICallbacksBlock, sprintf, 120);
ABI_FIELD(PF_ANSICallbacksBlock, strcpy, 128);
ABI_FIELD(PF_ANSICallbacksBlock, asin, 136);
ABI_FIELD(PF_ANSICallbacksBlock, acos, 144);
ABI_FIELD(PF_ANSICallbacksBlock, unused_longA, 152);

// PF_ColorCallbacks
ABI_RECORD(PF_ColorCallbacks, 64, 8);
ABI_FIELD(PF_ColorCallbacks, RGBtoHLS, 0);
ABI_FIELD(PF_ColorCallbacks, HLStoRGB, 8);
ABI_FIELD(PF_ColorCallbacks, RGBtoYIQ, 16);
ABI_FIELD(PF_ColorCallbacks, YIQtoRGB, 24);
ABI_FIELD(PF_ColorCallbacks, Luminance, 32);
ABI_FIELD(PF_ColorCallbacks, Hue, 40);
ABI_FIELD(PF_ColorCallbacks, Lightness, 48);
ABI_FIELD(PF_ColorCallbacks, Saturation, 56);

// PF_OutData
ABI_RECORD(PF_OutData, 408, 8);
ABI_FIELD(PF_OutData, my_version, 0);
ABI_FIELD(PF_OutData, name, 4);
ABI_FIELD(PF_OutData, global_data, 40);
ABI_FIELD(PF_OutData, num_params, 48);
ABI_FIELD(PF_OutData, sequence_data, 56);
ABI_FIELD(PF_OutData, flat_sdata_size, 64);
ABI_FIELD(PF_OutData, frame_data, 72);
ABI_FIELD(PF_OutData, width, 80);
ABI_FIELD(PF_OutData, height, 84);
ABI_FIELD(PF_OutData, origin, 88);
ABI_FIELD(PF_OutData, out_flags, 96);
ABI_FIELD(PF_OutData, return_msg, 100);
ABI_FIELD(PF_OutData, start_sampL, 356);
ABI_FIELD(PF_OutData, dur_sampL, 360);
ABI_FIELD(PF_OutData, dest_snd, 368);
ABI_FIELD(PF_OutData, out_flags2, 400);

// PF_SpecVersion
ABI_RECORD(PF_SpecVersion, 4, 2);
ABI_FIELD(PF_SpecVersion, major, 0);
ABI_FIELD(PF_SpecVersion, minor, 2);

// PF_RationalScale
ABI_RECORD(PF_RationalScale, 8, 4);
ABI_FIELD(PF_RationalScale, num, 0);
ABI_FIELD(PF_RationalScale, den, 4);

// PF_LRect
ABI_RECORD(PF_LRect, 16, 4);
ABI_FIELD(PF_LRect, left, 0);
ABI_FIELD(PF_LRect, top, 4);
ABI_FIELD(PF_LRect, right, 8);
ABI_FIELD(PF_LRect, bottom, 12);

// PF_Point
ABI_RECORD(PF_Point, 8, 4);
ABI_FIELD(PF_Point, h, 0);
ABI_FIELD(PF_Point, v, 4);

// PF_UserChangedParamExtra
ABI_RECORD(PF_UserChangedParamExtra, 4, 4);
ABI_FIELD(PF_UserChangedParamExtra, param_index, 0);

// PF_ParamDef
ABI_RECORD(PF_ParamDef, 176, 8);
ABI_FIELD(PF_ParamDef, uu, 0);
ABI_FIELD(PF_ParamDef, ui_flags, 4);
ABI_FIELD(PF_ParamDef, ui_width, 8);
ABI_FIELD(PF_ParamDef, ui_height, 10);
ABI_FIELD(PF_ParamDef, param_type, 12);
ABI_FIELD(PF_ParamDef, name_do_not_use_directly, 16);
ABI_FIELD(PF_ParamDef, flags, 48);
ABI_FIELD(PF_ParamDef, unused, 52);
ABI_FIELD(PF_ParamDef, u, 56);

// PF_ParamDefUnion
ABI_RECORD(PF_ParamDefUnion, 120, 8);
ABI_FIELD(PF_ParamDefUnion, ld, 0);
ABI_FIELD(PF_ParamDefUnion, sd, 0);
ABI_FIELD(PF_ParamDefUnion, fd, 0);
ABI_FIELD(PF_ParamDefUnion, ad, 0);
ABI_FIELD(PF_ParamDefUnion, bd, 0);
ABI_FIELD(PF_ParamDefUnion, cd, 0);
ABI_FIELD(PF_ParamDefUnion, td, 0);
ABI_FIELD(PF_ParamDefUnion, pd, 0);
ABI_FIELD(PF_ParamDefUnion, fs_d, 0);
ABI_FIELD(PF_ParamDefUnion, arb_d, 0);
ABI_FIELD(PF_ParamDefUnion, path_d, 0);
ABI_FIELD(PF_ParamDefUnion, button_d, 0);
ABI_FIELD(PF_ParamDefUnion, point3d_d, 0);

// PF_LayerDef
ABI_RECORD(PF_LayerDef, 120, 8);
ABI_FIELD(PF_LayerDef, reserved0, 0);
ABI_FIELD(PF_LayerDef, reserved1, 8);
ABI_FIELD(PF_LayerDef, world_flags, 16);
ABI_FIELD(PF_LayerDef, data, 24);
ABI_FIELD(PF_LayerDef, rowbytes, 32);
ABI_FIELD(PF_LayerDef, width, 36);
ABI_FIELD(PF_LayerDef, height, 40);
ABI_FIELD(PF_LayerDef, extent_hint, 44);
ABI_FIELD(PF_LayerDef, platform_ref, 64);
ABI_FIELD(PF_LayerDef, reserved_long1, 72);
ABI_FIELD(PF_LayerDef, reserved_long4, 80);
ABI_FIELD(PF_LayerDef, pix_aspect_ratio, 88);
ABI_FIELD(PF_LayerDef, reserved_long2, 96);
ABI_FIELD(PF_LayerDef, origin_x, 104);
ABI_FIELD(PF_LayerDef, origin_y, 108);
ABI_FIELD(PF_LayerDef, reserved_long3, 112);
ABI_FIELD(PF_LayerDef, dephault, 116);

// PF_SliderDef
ABI_RECORD(PF_SliderDef, 88, 4);
ABI_FIELD(PF_SliderDef, value, 0);
ABI_FIELD(PF_SliderDef, value_str, 4);
ABI_FIELD(PF_SliderDef, value_desc, 36);
ABI_FIELD(PF_SliderDef, valid_min, 68);
ABI_FIELD(PF_SliderDef, valid_max, 72);
ABI_FIELD(PF_SliderDef, slider_min, 76);
ABI_FIELD(PF_SliderDef, slider_max, 80);
ABI_FIELD(PF_SliderDef, dephault, 84);

// PF_FixedSliderDef
ABI_RECORD(PF_FixedSliderDef, 92, 4);
ABI_FIELD(PF_FixedSliderDef, value, 0);
ABI_FIELD(PF_FixedSliderDef, value_str, 4);
ABI_FIELD(PF_FixedSliderDef, value_desc, 36);
ABI_FIELD(PF_FixedSliderDef, valid_min, 68);
ABI_FIELD(PF_FixedSliderDef, valid_max, 72);
ABI_FIELD(PF_FixedSliderDef, slider_min, 76);
ABI_FIELD(PF_FixedSliderDef, slider_max, 80);
ABI_FIELD(PF_FixedSliderDef, dephault, 84);
ABI_FIELD(PF_FixedSliderDef, precision, 88);
ABI_FIELD(PF_FixedSliderDef, display_flags, 90);

// PF_FloatSliderDef
ABI_RECORD(PF_FloatSliderDef, 88, 8);
ABI_FIELD(PF_FloatSliderDef, value, 0);
ABI_FIELD(PF_FloatSliderDef, phase, 8);
ABI_FIELD(PF_FloatSliderDef, value_desc, 16);
ABI_FIELD(PF_FloatSliderDef, valid_min, 48);
ABI_FIELD(PF_FloatSliderDef, valid_max, 52);
ABI_FIELD(PF_FloatSliderDef, slider_min, 56);
ABI_FIELD(PF_FloatSliderDef, slider_max, 60);
ABI_FIELD(PF_FloatSliderDef, dephault, 64);
ABI_FIELD(PF_FloatSliderDef, precision, 68);
ABI_FIELD(PF_FloatSliderDef, display_flags, 70);
ABI_FIELD(PF_FloatSliderDef, fs_flags, 72);
ABI_FIELD(PF_FloatSliderDef, curve_tolerance, 76);
ABI_FIELD(PF_FloatSliderDef, useExponent, 80);
ABI_FIELD(PF_FloatSliderDef, exponent, 84);

// PF_AngleDef
ABI_RECORD(PF_AngleDef, 16, 4);
ABI_FIELD(PF_AngleDef, value, 0);
ABI_FIELD(PF_AngleDef, dephault, 4);
ABI_FIELD(PF_AngleDef, valid_min, 8);
ABI_FIELD(PF_AngleDef, valid_max, 12);

// PF_CheckBoxDef
ABI_RECORD(PF_CheckBoxDef, 16, 8);
ABI_FIELD(PF_CheckBoxDef, value, 0);
ABI_FIELD(PF_CheckBoxDef, dephault, 4);
ABI_FIELD(PF_CheckBoxDef, reserved, 5);
ABI_FIELD(PF_CheckBoxDef, reserved1, 6);
ABI_FIELD(PF_CheckBoxDef, u, 8);

// PF_ColorDef
ABI_RECORD(PF_ColorDef, 8, 1);
ABI_FIELD(PF_ColorDef, value, 0);
ABI_FIELD(PF_ColorDef, dephault, 4);

// PF_PointDef
ABI_RECORD(PF_PointDef, 20, 4);
ABI_FIELD(PF_PointDef, x_value, 0);
ABI_FIELD(PF_PointDef, y_value, 4);
ABI_FIELD(PF_PointDef, reserved, 8);
ABI_FIELD(PF_PointDef, restrict_bounds, 11);
ABI_FIELD(PF_PointDef, x_dephault, 12);
ABI_FIELD(PF_PointDef, y_dephault, 16);

// PF_PopupDef
ABI_RECORD(PF_PopupDef, 16, 8);
ABI_FIELD(PF_PopupDef, value, 0);
ABI_FIELD(PF_PopupDef, num_choices, 4);
ABI_FIELD(PF_PopupDef, dephault, 6);
ABI_FIELD(PF_PopupDef, u, 8);

// PF_ArbitraryDef
ABI_RECORD(PF_ArbitraryDef, 32, 8);
ABI_FIELD(PF_ArbitraryDef, id, 0);
ABI_FIELD(PF_ArbitraryDef, pad, 2);
ABI_FIELD(PF_ArbitraryDef, dephault, 8);
ABI_FIELD(PF_ArbitraryDef, value, 16);
ABI_FIELD(PF_ArbitraryDef, refconPV, 24);

// PF_PathDef
ABI_RECORD(PF_PathDef, 12, 4);
ABI_FIELD(PF_PathDef, path_id, 0);
ABI_FIELD(PF_PathDef, reserved0, 4);
ABI_FIELD(PF_PathDef, dephault, 8);

// PF_ButtonDef
ABI_RECORD(PF_ButtonDef, 16, 8);
ABI_FIELD(PF_ButtonDef, value, 0);
ABI_FIELD(PF_ButtonDef, u, 8);

// PF_Point3DDef
ABI_RECORD(PF_Point3DDef, 64, 8);
ABI_FIELD(PF_Point3DDef, x_value, 0);
ABI_FIELD(PF_Point3DDef, y_value, 8);
ABI_FIELD(PF_Point3DDef, z_value, 16);
ABI_FIELD(PF_Point3DDef, x_dephault, 24);
ABI_FIELD(PF_Point3DDef, y_dephault, 32);
ABI_FIELD(PF_Point3DDef, z_dephault, 40);
ABI_FIELD(PF_Point3DDef, reserved, 48);

// PF_State
ABI_RECORD(PF_State, 16, 4);
ABI_FIELD(PF_State, reservedAL, 0);

// PF_Pixel
ABI_RECORD(PF_Pixel, 4, 1);
ABI_FIELD(PF_Pixel, alpha, 0);
ABI_FIELD(PF_Pixel, red, 1);
ABI_FIELD(PF_Pixel, green, 2);
ABI_FIELD(PF_Pixel, blue, 3);

// PF_Pixel16
ABI_RECORD(PF_Pixel16, 8, 2);
ABI_FIELD(PF_Pixel16, alpha, 0);
ABI_FIELD(PF_Pixel16, red, 2);
ABI_FIELD(PF_Pixel16, green, 4);
ABI_FIELD(PF_Pixel16, blue, 6);

// PF_PixelFloat
ABI_RECORD(PF_PixelFloat, 16, 4);
ABI_FIELD(PF_PixelFloat, alpha, 0);
ABI_FIELD(PF_PixelFloat, red, 4);
ABI_FIELD(PF_PixelFloat, green, 8);
ABI_FIELD(PF_PixelFloat, blue, 12);

// PF_SampPB
ABI_RECORD(PF_SampPB, 104, 8);
ABI_FIELD(PF_SampPB, x_radius, 0);
ABI_FIELD(PF_SampPB, y_radius, 4);
ABI_FIELD(PF_SampPB, area, 8);
ABI_FIELD(PF_SampPB, src, 16);
ABI_FIELD(PF_SampPB, samp_behave, 24);
ABI_FIELD(PF_SampPB, allow_asynch, 28);
ABI_FIELD(PF_SampPB, motion_blur, 32);
ABI_FIELD(PF_SampPB, comp_mode, 36);
ABI_FIELD(PF_SampPB, mask0, 48);
ABI_FIELD(PF_SampPB, fcm_table, 56);
ABI_FIELD(PF_SampPB, fcd_table, 64);
ABI_FIELD(PF_SampPB, reserved, 72);

// PF_RenderRequest
ABI_RECORD(PF_RenderRequest, 44, 4);
ABI_FIELD(PF_RenderRequest, rect, 0);
ABI_FIELD(PF_RenderRequest, field, 16);
ABI_FIELD(PF_RenderRequest, channel_mask, 20);
ABI_FIELD(PF_RenderRequest, preserve_rgb_of_zero_alpha, 24);
ABI_FIELD(PF_RenderRequest, unused, 25);
ABI_FIELD(PF_RenderRequest, reserved, 28);

// PF_CheckoutResult
ABI_RECORD(PF_CheckoutResult, 76, 4);
ABI_FIELD(PF_CheckoutResult, result_rect, 0);
ABI_FIELD(PF_CheckoutResult, max_result_rect, 16);
ABI_FIELD(PF_CheckoutResult, par, 32);
ABI_FIELD(PF_CheckoutResult, solid, 40);
ABI_FIELD(PF_CheckoutResult, reservedB, 41);
ABI_FIELD(PF_CheckoutResult, ref_width, 44);
ABI_FIELD(PF_CheckoutResult, ref_height, 48);
ABI_FIELD(PF_CheckoutResult, reserved, 52);

// PF_PreRenderInput
ABI_RECORD(PF_PreRenderInput, 64, 8);
ABI_FIELD(PF_PreRenderInput, output_request, 0);
ABI_FIELD(PF_PreRenderInput, bitdepth, 44);
ABI_FIELD(PF_PreRenderInput, gpu_data, 48);
ABI_FIELD(PF_PreRenderInput, what_gpu, 56);
ABI_FIELD(PF_PreRenderInput, device_index, 60);

// PF_PreRenderOutput
ABI_RECORD(PF_PreRenderOutput, 56, 8);
ABI_FIELD(PF_PreRenderOutput, result_rect, 0);
ABI_FIELD(PF_PreRenderOutput, max_result_rect, 16);
ABI_FIELD(PF_PreRenderOutput, solid, 32);
ABI_FIELD(PF_PreRenderOutput, reserved, 33);
ABI_FIELD(PF_PreRenderOutput, flags, 34);
ABI_FIELD(PF_PreRenderOutput, pre_render_data, 40);
ABI_FIELD(PF_PreRenderOutput, delete_pre_render_data_func, 48);

// PF_PreRenderCallbacks
ABI_RECORD(PF_PreRenderCallbacks, 16, 8);
ABI_FIELD(PF_PreRenderCallbacks, checkout_layer, 0);
ABI_FIELD(PF_PreRenderCallbacks, GuidMixInPtr, 8);

// PF_PreRenderExtra
ABI_RECORD(PF_PreRenderExtra, 24, 8);
ABI_FIELD(PF_PreRenderExtra, input, 0);
ABI_FIELD(PF_PreRenderExtra, output, 8);
ABI_FIELD(PF_PreRenderExtra, cb, 16);

// PF_SmartRenderInput
ABI_RECORD(PF_SmartRenderInput, 72, 8);
ABI_FIELD(PF_SmartRenderInput, output_request, 0);
ABI_FIELD(PF_SmartRenderInput, bitdepth, 44);
ABI_FIELD(PF_SmartRenderInput, pre_render_data, 48);
ABI_FIELD(PF_SmartRenderInput, gpu_data, 56);
ABI_FIELD(PF_SmartRenderInput, what_gpu, 64);
ABI_FIELD(PF_SmartRenderInput, device_index, 68);

// PF_SmartRenderCallbacks
ABI_RECORD(PF_SmartRenderCallbacks, 24, 8);
ABI_FIELD(PF_SmartRenderCallbacks, checkout_layer_pixels, 0);
ABI_FIELD(PF_SmartRenderCallbacks, checkin_layer_pixels, 8);
ABI_FIELD(PF_SmartRenderCallbacks, checkout_output, 16);

// PF_SmartRenderExtra
ABI_RECORD(PF_SmartRenderExtra, 16, 8);
ABI_FIELD(PF_SmartRenderExtra, input, 0);
ABI_FIELD(PF_SmartRenderExtra, cb, 8);

// SPBasicSuite
ABI_RECORD(SPBasicSuite, 56, 8);
ABI_FIELD(SPBasicSuite, AcquireSuite, 0);
ABI_FIELD(SPBasicSuite, ReleaseSuite, 8);
ABI_FIELD(SPBasicSuite, IsEqual, 16);
ABI_FIELD(SPBasicSuite, AllocateBlock, 24);
ABI_FIELD(SPBasicSuite, FreeBlock, 32);
ABI_FIELD(SPBasicSuite, ReallocateBlock, 40);
ABI_FIELD(SPBasicSuite, Undefined, 48);

// AEGP_UtilitySuite3
ABI_RECORD(AEGP_UtilitySuite3, 200, 8);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_ReportInfo, 0);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_GetDriverPluginInitFuncVersion, 8);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_GetDriverImplementationVersion, 16);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_StartQuietErrors, 24);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_EndQuietErrors, 32);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_StartUndoGroup, 40);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_EndUndoGroup, 48);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_RegisterWithAEGP, 56);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_GetMainHWND, 64);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_ShowHideAllFloaters, 72);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_PaintPalGetForeColor, 80);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_PaintPalGetBackColor, 88);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_PaintPalSetForeColor, 96);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_PaintPalSetBackColor, 104);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_CharPalGetFillColor, 112);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_CharPalGetStrokeColor, 120);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_CharPalSetFillColor, 128);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_CharPalSetStrokeColor, 136);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_CharPalIsFillColorUIFrontmost, 144);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_ConvertFpLongToHSFRatio, 152);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_ConvertHSFRatioToFpLong, 160);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_CauseIdleRoutinesToBeCalled, 168);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_GetSuppressInteractiveUI, 176);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_WriteToOSConsole, 184);
ABI_FIELD(AEGP_UtilitySuite3, AEGP_WriteToDebugLog, 192);

// PF_HandleSuite1
ABI_RECORD(PF_HandleSuite1, 48, 8);
ABI_FIELD(PF_HandleSuite1, host_new_handle, 0);
ABI_FIELD(PF_HandleSuite1, host_lock_handle, 8);
ABI_FIELD(PF_HandleSuite1, host_unlock_handle, 16);
ABI_FIELD(PF_HandleSuite1, host_dispose_handle, 24);
ABI_FIELD(PF_HandleSuite1, host_get_handle_size, 32);
ABI_FIELD(PF_HandleSuite1, host_resize_handle, 40);

// AEGP_PFInterfaceSuite1
ABI_RECORD(AEGP_PFInterfaceSuite1, 40, 8);
ABI_FIELD(AEGP_PFInterfaceSuite1, AEGP_GetEffectLayer, 0);
ABI_FIELD(AEGP_PFInterfaceSuite1, AEGP_GetNewEffectForEffect, 8);
ABI_FIELD(AEGP_PFInterfaceSuite1, AEGP_ConvertEffectToCompTime, 16);
ABI_FIELD(AEGP_PFInterfaceSuite1, AEGP_GetEffectCamera, 24);
ABI_FIELD(AEGP_PFInterfaceSuite1, AEGP_GetEffectCameraMatrix, 32);

// AEGP_StreamSuite2
ABI_RECORD(AEGP_StreamSuite2, 176, 8);
ABI_FIELD(AEGP_StreamSuite2, AEGP_IsStreamLegal, 0);
ABI_FIELD(AEGP_StreamSuite2, AEGP_CanVaryOverTime, 8);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetValidInterpolations, 16);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetNewLayerStream, 24);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetEffectNumParamStreams, 32);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetNewEffectStreamByIndex, 40);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetNewMaskStream, 48);
ABI_FIELD(AEGP_StreamSuite2, AEGP_DisposeStream, 56);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetStreamName, 64);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetStreamUnitsText, 72);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetStreamProperties, 80);
ABI_FIELD(AEGP_StreamSuite2, AEGP_IsStreamTimevarying, 88);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetStreamType, 96);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetNewStreamValue, 104);
ABI_FIELD(AEGP_StreamSuite2, AEGP_DisposeStreamValue, 112);
ABI_FIELD(AEGP_StreamSuite2, AEGP_SetStreamValue, 120);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetLayerStreamValue, 128);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetExpressionState, 136);
ABI_FIELD(AEGP_StreamSuite2, AEGP_SetExpressionState, 144);
ABI_FIELD(AEGP_StreamSuite2, AEGP_GetExpression, 152);
ABI_FIELD(AEGP_StreamSuite2, AEGP_SetExpression, 160);
ABI_FIELD(AEGP_StreamSuite2, AEGP_DuplicateStreamRef, 168);

// AEGP_DynamicStreamSuite2
ABI_RECORD(AEGP_DynamicStreamSuite2, 136, 8);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefForLayer, 0);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetStreamDepth, 8);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetStreamGroupingType, 16);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetNumStreamsInGroup, 24);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetDynamicStreamFlags, 32);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_SetDynamicStreamFlag, 40);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefByIndex, 48);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefByMatchname, 56);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_DeleteStream, 64);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_ReorderStream, 72);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_DuplicateStream, 80);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_SetStreamName, 88);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_CanAddStream, 96);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_AddStream, 104);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetMatchName, 112);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetNewParentStreamRef, 120);
ABI_FIELD(AEGP_DynamicStreamSuite2, AEGP_GetStreamIsModified, 128);

// AEGP_EffectSuite2
ABI_RECORD(AEGP_EffectSuite2, 136, 8);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetLayerNumEffects, 0);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetLayerEffectByIndex, 8);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetInstalledKeyFromLayerEffect, 16);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetEffectParamUnionByIndex, 24);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetEffectFlags, 32);
ABI_FIELD(AEGP_EffectSuite2, AEGP_SetEffectFlags, 40);
ABI_FIELD(AEGP_EffectSuite2, AEGP_ReorderEffect, 48);
ABI_FIELD(AEGP_EffectSuite2, AEGP_EffectCallGeneric, 56);
ABI_FIELD(AEGP_EffectSuite2, AEGP_DisposeEffect, 64);
ABI_FIELD(AEGP_EffectSuite2, AEGP_ApplyEffect, 72);
ABI_FIELD(AEGP_EffectSuite2, AEGP_DeleteLayerEffect, 80);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetNumInstalledEffects, 88);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetNextInstalledEffect, 96);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetEffectName, 104);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetEffectMatchName, 112);
ABI_FIELD(AEGP_EffectSuite2, AEGP_GetEffectCategory, 120);
ABI_FIELD(AEGP_EffectSuite2, AEGP_DuplicateEffect, 128);

// PF_ParamUtilsSuite1
ABI_RECORD(PF_ParamUtilsSuite1, 80, 8);
ABI_FIELD(PF_ParamUtilsSuite1, PF_UpdateParamUI, 0);
ABI_FIELD(PF_ParamUtilsSuite1, PF_GetCurrentStateObsolete, 8);
ABI_FIELD(PF_ParamUtilsSuite1, PF_HasParamChangedObsolete, 16);
ABI_FIELD(PF_ParamUtilsSuite1, PF_HaveInputsChangedOverTimeSpanObsolete, 24);
ABI_FIELD(PF_ParamUtilsSuite1, PF_IsIdenticalCheckout, 32);
ABI_FIELD(PF_ParamUtilsSuite1, PF_FindKeyframeTime, 40);
ABI_FIELD(PF_ParamUtilsSuite1, PF_GetKeyframeCount, 48);
ABI_FIELD(PF_ParamUtilsSuite1, PF_CheckoutKeyframe, 56);
ABI_FIELD(PF_ParamUtilsSuite1, PF_CheckinKeyframe, 64);
ABI_FIELD(PF_ParamUtilsSuite1, PF_KeyIndexToTime, 72);

// PF_WorldSuite1
ABI_RECORD(PF_WorldSuite1, 16, 8);
ABI_FIELD(PF_WorldSuite1, new_world, 0);
ABI_FIELD(PF_WorldSuite1, dispose_world, 8);

// PF_WorldSuite2
ABI_RECORD(PF_WorldSuite2, 24, 8);
ABI_FIELD(PF_WorldSuite2, PF_NewWorld, 0);
ABI_FIELD(PF_WorldSuite2, PF_DisposeWorld, 8);
ABI_FIELD(PF_WorldSuite2, PF_GetPixelFormat, 16);

// PF_Sampling8Suite1
ABI_RECORD(PF_Sampling8Suite1, 24, 8);
ABI_FIELD(PF_Sampling8Suite1, nn_sample, 0);
ABI_FIELD(PF_Sampling8Suite1, subpixel_sample, 8);
ABI_FIELD(PF_Sampling8Suite1, area_sample, 16);

// PF_Sampling16Suite1
ABI_RECORD(PF_Sampling16Suite1, 24, 8);
ABI_FIELD(PF_Sampling16Suite1, nn_sample16, 0);
ABI_FIELD(PF_Sampling16Suite1, subpixel_sample16, 8);
ABI_FIELD(PF_Sampling16Suite1, area_sample16, 16);

// PF_SamplingFloatSuite1
ABI_RECORD(PF_SamplingFloatSuite1, 24, 8);
ABI_FIELD(PF_SamplingFloatSuite1, nn_sample_float, 0);
ABI_FIELD(PF_SamplingFloatSuite1, subpixel_sample_float, 8);
ABI_FIELD(PF_SamplingFloatSuite1, area_sample_float, 16);

