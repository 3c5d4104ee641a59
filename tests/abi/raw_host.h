// A host written from the host's published 64-bit binary interface alone,
// with none of our own declarations: every record is a byte buffer filled and
// read at literal offsets, every callback and suite slot is a function of its
// own. A record misdeclared on either side, ours or the plug-in's, shows up
// here as a wrong value, a missing call or a call into a trap.
//
// Only one RawHost may exist at a time: the callbacks find it through a
// process-wide pointer, since some of them (the handle functions, the
// pre-render data's deletion) carry no reference of their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace rawhost {

// --- Published offsets -------------------------------------------------------

// PF_InData, 408 bytes.
constexpr std::size_t kInDataSize = 408;
constexpr std::size_t kInData_inter = 0;  // PF_InteractCallbacks, inline
constexpr std::size_t kInData_utils = 176;
constexpr std::size_t kInData_effect_ref = 184;
constexpr std::size_t kInData_quality = 192;
constexpr std::size_t kInData_version_major = 196;  // PF_SpecVersion.major
constexpr std::size_t kInData_version_minor = 198;
constexpr std::size_t kInData_current_time = 224;
constexpr std::size_t kInData_time_step = 228;
constexpr std::size_t kInData_total_time = 232;
constexpr std::size_t kInData_local_time_step = 236;
constexpr std::size_t kInData_time_scale = 240;
constexpr std::size_t kInData_width = 252;
constexpr std::size_t kInData_height = 256;
constexpr std::size_t kInData_extent_hint = 260;
constexpr std::size_t kInData_downsample_x = 284;
constexpr std::size_t kInData_downsample_y = 292;
constexpr std::size_t kInData_pixel_aspect_ratio = 300;
constexpr std::size_t kInData_global_data = 312;
constexpr std::size_t kInData_sequence_data = 320;
constexpr std::size_t kInData_pica_basicP = 384;

// PF_InteractCallbacks, 176 bytes.
constexpr std::size_t kInteractSize = 176;
constexpr std::size_t kInter_checkout_param = 0;
constexpr std::size_t kInter_checkin_param = 8;
constexpr std::size_t kInter_add_param = 16;
constexpr std::size_t kInter_abort = 24;
constexpr std::size_t kInter_progress = 32;

// _PF_UtilCallbacks, 552 bytes.
constexpr std::size_t kUtilsSize = 552;
constexpr std::size_t kUtils_host_new_handle = 160;
constexpr std::size_t kUtils_host_lock_handle = 168;
constexpr std::size_t kUtils_host_unlock_handle = 176;
constexpr std::size_t kUtils_host_dispose_handle = 184;
constexpr std::size_t kUtils_ansi = 208;  // PF_ANSICallbacksBlock, inline
constexpr std::size_t kUtils_host_get_handle_size = 440;

// PF_ANSICallbacksBlock, 160 bytes: offsets within the block.
constexpr std::size_t kAnsi_atan = 0;
constexpr std::size_t kAnsi_atan2 = 8;
constexpr std::size_t kAnsi_ceil = 16;
constexpr std::size_t kAnsi_cos = 24;
constexpr std::size_t kAnsi_exp = 32;
constexpr std::size_t kAnsi_fabs = 40;
constexpr std::size_t kAnsi_floor = 48;
constexpr std::size_t kAnsi_fmod = 56;
constexpr std::size_t kAnsi_hypot = 64;
constexpr std::size_t kAnsi_log = 72;
constexpr std::size_t kAnsi_log10 = 80;
constexpr std::size_t kAnsi_pow = 88;
constexpr std::size_t kAnsi_sin = 96;
constexpr std::size_t kAnsi_sqrt = 104;
constexpr std::size_t kAnsi_tan = 112;
constexpr std::size_t kAnsi_sprintf = 120;
constexpr std::size_t kAnsi_strcpy = 128;
constexpr std::size_t kAnsi_asin = 136;
constexpr std::size_t kAnsi_acos = 144;

// PF_OutData, 408 bytes.
constexpr std::size_t kOutDataSize = 408;
constexpr std::size_t kOutData_my_version = 0;
constexpr std::size_t kOutData_global_data = 40;
constexpr std::size_t kOutData_num_params = 48;
constexpr std::size_t kOutData_sequence_data = 56;
constexpr std::size_t kOutData_out_flags = 96;
constexpr std::size_t kOutData_return_msg = 100;  // A_char[256]
constexpr std::size_t kOutData_return_msg_size = 256;
constexpr std::size_t kOutData_out_flags2 = 400;

// PF_ParamDef, 176 bytes.
constexpr std::size_t kParamDefSize = 176;
constexpr std::size_t kParamDef_id = 0;
constexpr std::size_t kParamDef_ui_flags = 4;
constexpr std::size_t kParamDef_param_type = 12;
constexpr std::size_t kParamDef_name = 16;  // A_char[32]
constexpr std::size_t kParamDef_name_size = 32;
constexpr std::size_t kParamDef_flags = 48;
constexpr std::size_t kParamDef_u = 56;  // PF_ParamDefUnion, 120 bytes

// Members of the union, relative to kParamDef_u.
// PF_FixedSliderDef
constexpr std::size_t kFixed_value = 0;
constexpr std::size_t kFixed_valid_min = 68;
constexpr std::size_t kFixed_valid_max = 72;
constexpr std::size_t kFixed_slider_min = 76;
constexpr std::size_t kFixed_slider_max = 80;
constexpr std::size_t kFixed_dephault = 84;
constexpr std::size_t kFixed_precision = 88;      // A_short
constexpr std::size_t kFixed_display_flags = 90;  // A_short
// PF_FloatSliderDef
constexpr std::size_t kFloat_value = 0;       // double
constexpr std::size_t kFloat_valid_min = 48;  // float
constexpr std::size_t kFloat_valid_max = 52;
constexpr std::size_t kFloat_slider_min = 56;
constexpr std::size_t kFloat_slider_max = 60;
constexpr std::size_t kFloat_dephault = 64;
constexpr std::size_t kFloat_precision = 68;  // A_short
constexpr std::size_t kFloat_curve_tolerance = 76;
// PF_CheckBoxDef
constexpr std::size_t kCheckBox_value = 0;
constexpr std::size_t kCheckBox_dephault = 4;  // PF_Boolean
// PF_PopupDef
constexpr std::size_t kPopup_value = 0;
constexpr std::size_t kPopup_num_choices = 4;  // A_short
constexpr std::size_t kPopup_dephault = 6;     // A_short
constexpr std::size_t kPopup_namesptr = 8;
// PF_ColorDef: PF_Pixel (alpha, red, green, blue) value then default.
constexpr std::size_t kColor_value = 0;
constexpr std::size_t kColor_dephault = 4;
// PF_PointDef
constexpr std::size_t kPoint_x_value = 0;
constexpr std::size_t kPoint_y_value = 4;
constexpr std::size_t kPoint_restrict_bounds = 11;
constexpr std::size_t kPoint_x_dephault = 12;
constexpr std::size_t kPoint_y_dephault = 16;

// PF_LayerDef (PF_EffectWorld), 120 bytes.
constexpr std::size_t kWorldSize = 120;
constexpr std::size_t kWorld_world_flags = 16;
constexpr std::size_t kWorld_data = 24;
constexpr std::size_t kWorld_rowbytes = 32;
constexpr std::size_t kWorld_width = 36;
constexpr std::size_t kWorld_height = 40;
constexpr std::size_t kWorld_extent_hint = 44;
constexpr std::size_t kWorld_pix_aspect_ratio = 88;
constexpr std::size_t kWorld_origin_x = 104;
constexpr std::size_t kWorld_origin_y = 108;

// PF_SampPB, 104 bytes.
constexpr std::size_t kSampPB_src = 16;

// PF_UserChangedParamExtra, 4 bytes.
constexpr std::size_t kUserChangedParamExtraSize = 4;
constexpr std::size_t kUserChanged_param_index = 0;

// PF_State, 16 bytes: four A_long the host alone reads.
constexpr std::size_t kStateSize = 16;

// PF_RenderRequest, 44 bytes.
constexpr std::size_t kRenderRequestSize = 44;
constexpr std::size_t kRequest_rect = 0;  // PF_LRect: left, top, right, bottom
constexpr std::size_t kRequest_field = 16;
constexpr std::size_t kRequest_channel_mask = 20;
constexpr std::size_t kRequest_preserve_rgb_of_zero_alpha = 24;

// PF_CheckoutResult, 76 bytes.
constexpr std::size_t kCheckoutResultSize = 76;
constexpr std::size_t kCheckout_result_rect = 0;
constexpr std::size_t kCheckout_max_result_rect = 16;
constexpr std::size_t kCheckout_par = 32;
constexpr std::size_t kCheckout_ref_width = 44;
constexpr std::size_t kCheckout_ref_height = 48;

// PF_PreRenderInput 64, PF_PreRenderOutput 56, PF_PreRenderCallbacks 16,
// PF_PreRenderExtra 24 bytes.
constexpr std::size_t kPreRenderInputSize = 64;
constexpr std::size_t kPreInput_output_request = 0;
constexpr std::size_t kPreInput_bitdepth = 44;  // short
constexpr std::size_t kPreRenderOutputSize = 56;
constexpr std::size_t kPreOutput_result_rect = 0;
constexpr std::size_t kPreOutput_max_result_rect = 16;
constexpr std::size_t kPreOutput_pre_render_data = 40;
constexpr std::size_t kPreOutput_delete_pre_render_data_func = 48;
constexpr std::size_t kPreRenderCallbacksSize = 16;
constexpr std::size_t kPreCb_checkout_layer = 0;
constexpr std::size_t kPreRenderExtraSize = 24;
constexpr std::size_t kPreExtra_input = 0;
constexpr std::size_t kPreExtra_output = 8;
constexpr std::size_t kPreExtra_cb = 16;

// PF_SmartRenderInput 72, PF_SmartRenderCallbacks 24, PF_SmartRenderExtra 16
// bytes.
constexpr std::size_t kSmartRenderInputSize = 72;
constexpr std::size_t kSmartInput_output_request = 0;
constexpr std::size_t kSmartInput_bitdepth = 44;  // short
constexpr std::size_t kSmartInput_pre_render_data = 48;
constexpr std::size_t kSmartRenderCallbacksSize = 24;
constexpr std::size_t kSmartCb_checkout_layer_pixels = 0;
constexpr std::size_t kSmartCb_checkin_layer_pixels = 8;
constexpr std::size_t kSmartCb_checkout_output = 16;
constexpr std::size_t kSmartRenderExtraSize = 16;
constexpr std::size_t kSmartExtra_input = 0;
constexpr std::size_t kSmartExtra_cb = 8;

// Commands and constants.
constexpr int32_t kCmd_ABOUT = 0;
constexpr int32_t kCmd_GLOBAL_SETUP = 1;
constexpr int32_t kCmd_PARAMS_SETUP = 4;
constexpr int32_t kCmd_SEQUENCE_SETUP = 5;
constexpr int32_t kCmd_SEQUENCE_SETDOWN = 8;
constexpr int32_t kCmd_USER_CHANGED_PARAM = 13;
constexpr int32_t kCmd_UPDATE_PARAMS_UI = 14;
constexpr int32_t kCmd_SMART_PRE_RENDER = 23;
constexpr int32_t kCmd_SMART_RENDER = 24;

constexpr int32_t kErr_NONE = 0;
constexpr int32_t kErr_INVALID_INDEX = 513;
constexpr int32_t kErr_BAD_CALLBACK_PARAM = 516;

constexpr int32_t kParam_LAYER = 0;
constexpr int32_t kParam_FIX_SLIDER = 2;
constexpr int32_t kParam_CHECKBOX = 4;
constexpr int32_t kParam_COLOR = 5;
constexpr int32_t kParam_POINT = 6;
constexpr int32_t kParam_POPUP = 7;
constexpr int32_t kParam_FLOAT_SLIDER = 10;

constexpr int32_t kParamFlag_SUPERVISE = 0x40;
constexpr int32_t kPUI_DISABLED = 0x20;
constexpr int32_t kOutFlag_REFRESH_UI = 0x20000;
constexpr uint32_t kDynStreamFlag_HIDDEN = 2;
constexpr int32_t kParamIndex_CHECK_ALL = -2;
constexpr int32_t kParamIndex_CHECK_ALL_EXCEPT_LAYER_PARAMS = -3;
constexpr int32_t kParamIndex_CHECK_ALL_HONOR_EXCLUDE = -4;

constexpr int32_t kWorldFlag_DEEP = 1;
constexpr int32_t kWorldFlag_WRITEABLE = 2;
constexpr int32_t kNewWorldFlag_CLEAR_PIXELS = 1;
constexpr int32_t kNewWorldFlag_DEEP_PIXELS = 2;

constexpr int32_t kChannelMask_ARGB = 15;
// Four-character codes, first character lowest.
constexpr int32_t kPixelFormat_ARGB32 = 1650946657;  // 'argb', PF_Pixel, 4 bytes
constexpr int32_t kPixelFormat_ARGB64 = 909206881;   // 'ae16', PF_Pixel16, 8 bytes
constexpr int32_t kPixelFormat_ARGB128 = 842229089;  // 'ae32', PF_PixelFloat, 16 bytes

// Bytes of one pixel of a format; 0 for formats the host does not serve.
constexpr std::size_t PixelBytes(int32_t format) {
  return format == kPixelFormat_ARGB32    ? 4
         : format == kPixelFormat_ARGB64  ? 8
         : format == kPixelFormat_ARGB128 ? 16
                                          : 0;
}

// --- Byte access --------------------------------------------------------------

template <class T>
T Get(const void* base, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
  return value;
}
template <class T>
void Put(void* base, std::size_t offset, T value) {
  std::memcpy(static_cast<unsigned char*>(base) + offset, &value, sizeof value);
}

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};
Rect GetRect(const void* base, std::size_t offset);
void PutRect(void* base, std::size_t offset, const Rect& rect);

// --- The host -----------------------------------------------------------------

struct ProgressReport {
  int32_t current, total;
};

// Calls of the interface commands, as the plug-in made them.
struct ParamUICall {  // PF_UpdateParamUI
  int32_t index;
  int32_t ui_flags;  // of the record sent
  std::string name;  // of the record sent
};
struct StreamFlagCall {  // AEGP_SetDynamicStreamFlag
  int32_t index;         // of the stream's parameter
  uint32_t flag;
  bool set;
};
struct ExpressionCall {  // AEGP_SetExpression
  int32_t index;
  std::string text;
};

class RawHost {
 public:
  // Loads the library and finds "EntryPointFunc"; load_error() says why not.
  explicit RawHost(const std::string& library_path);
  ~RawHost();
  RawHost(const RawHost&) = delete;
  RawHost& operator=(const RawHost&) = delete;

  bool loaded() const;
  const std::string& load_error() const;

  // The layer the effect is applied to: pixels of `format` (alpha, red,
  // green, blue; 1, 2 or 4 bytes a channel) in `width` x `height` packed
  // rows, stored with `row_padding` bytes after each row. The output has the
  // same format. Point defaults are delivered relative to this size.
  void SetLayer(int32_t width, int32_t height, const std::vector<unsigned char>& pixels,
                int32_t row_padding, int32_t format = kPixelFormat_ARGB32);

  // Each command builds fresh records, calls the entry point and returns its
  // code; out_data() is then the record the plug-in filled.
  int32_t About();
  int32_t GlobalSetup();
  int32_t ParamsSetup();
  int32_t SequenceSetup();
  int32_t SequenceSetdown();
  // With params[] pointing at copies of the instance's current definitions;
  // the user's change names `index` in PF_UserChangedParamExtra.
  int32_t UpdateParamsUI();
  int32_t UserChangedParam(int32_t index);
  // A user's change of a value held as the first 32 bits of the union
  // (checkbox, popup, fixed slider), as a host follows it up:
  // PF_Cmd_USER_CHANGED_PARAM when the parameter is supervised, then
  // PF_Cmd_UPDATE_PARAMS_UI. Returns the first failing code.
  int32_t ChangeParam(int32_t index, int32_t value);
  // A smart pre-render for the whole layer at the layer's depth, then the
  // smart render into the output world, whose pixels start as 0xEE bytes.
  int32_t SmartPreRender();
  int32_t SmartRender();
  // Calls the deletion function pre-render handed over, with the data as its
  // one argument, on a thread of its own.
  void DeletePreRenderData();

  const unsigned char* out_data() const;           // kOutDataSize bytes
  const unsigned char* pre_render_output() const;  // kPreRenderOutputSize bytes
  // Definitions as declared, kParamDefSize bytes each: [0] is the host's
  // input layer, then one per add_param call.
  const std::vector<std::vector<unsigned char>>& params() const;
  int add_param_calls() const;
  // The request of the last checkout_layer, as the plug-in passed it.
  const std::vector<unsigned char>& layer_request() const;
  int layer_checkouts() const;
  int param_checkouts() const;
  int samples() const;
  const std::vector<ProgressReport>& progress() const;
  const std::string& registered_name() const;

  // The instance's current definition of a parameter, kParamDefSize bytes:
  // made from the declared ones at sequence set-up, then what checkout_param
  // and params[] deliver. Values may be written at published offsets.
  unsigned char* Value(int32_t index);
  // The instance's interface state as the AEGP layer and the param utils
  // left it: the text on a parameter's stream, its dynamic stream flags.
  std::string Expression(int32_t index) const;
  uint32_t StreamFlags(int32_t index) const;
  // Interface calls since the last ClearCalls(), in order.
  const std::vector<ParamUICall>& param_ui_calls() const;
  const std::vector<StreamFlagCall>& stream_flag_calls() const;
  const std::vector<ExpressionCall>& expression_calls() const;
  void ClearCalls();
  // Effect and stream references handed out ever, and those not disposed.
  int references_given() const;
  std::vector<std::string> LiveReferences() const;
  // Worlds the plug-in created ever, those not disposed, and copies made.
  int worlds_created() const;
  std::vector<std::string> LiveWorlds() const;
  int world_copies() const;

  void* global_data() const;
  void* sequence_data() const;
  void* pre_render_data() const;

  // Output pixel (alpha, red, green, blue) of an 8-bit output.
  std::array<unsigned char, 4> OutputPixel(int32_t x, int32_t y) const;
  // The output's pixels in packed rows, padding left out.
  std::vector<unsigned char> OutputPixels() const;
  bool OutputPaddingIntact() const;
  bool InputUnchanged() const;

  // What is still held, described for messages.
  bool IsLiveHandle(const void* handle) const;
  std::vector<std::string> LiveHandlesExcept(const void* kept) const;
  int LocksHeld() const;
  std::vector<std::string> SuitesHeld() const;
  int ParamsCheckedOut() const;  // definitions not checked back in
  // Misuse seen, traps hit included, in order.
  std::vector<std::string> problems() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace rawhost
