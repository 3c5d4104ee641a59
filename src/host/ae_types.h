// Basic host types, error codes, command selectors and flag words of the
// After Effects effect interface, as far as Prismora relies on them.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int8_t A_char_s;
typedef char A_char;
typedef uint8_t A_u_char;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int64_t A_longlong;
typedef uint64_t A_u_longlong;
typedef uint8_t A_Boolean;
typedef A_long A_Err;
typedef A_u_longlong A_HandleSize;

typedef A_long PF_Err;
typedef A_long PF_Cmd;
typedef A_long PF_Fixed;  // signed 16.16
typedef A_u_char PF_Boolean;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_ChangeFlags;
typedef A_long PF_ValueDisplayFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long PF_InFlags;
typedef A_long PF_Field;
typedef A_long PF_ChannelMask;
typedef A_long PF_Quality;
typedef A_long PF_WorldFlags;
typedef A_long PF_NewWorldFlags;
typedef A_u_long PF_PixelFormat;
typedef A_long PF_SampleEdgeBehav;
typedef A_long PF_RenderOutputFlags;
typedef float PF_FpShort;
typedef double PF_FpLong;

// A handle is a pointer to a host-owned master pointer, so its contents can
// be reached by dereferencing twice even while it is not locked.
typedef void** PF_Handle;

struct _PF_ProgressInfo;
typedef struct _PF_ProgressInfo* PF_ProgPtr;  // effect reference

typedef A_long AEGP_PluginID;
typedef void* AEGP_GlobalRefcon;
typedef A_long AEGP_DynStreamFlags;
struct _AEGP_EffectRef;
typedef struct _AEGP_EffectRef* AEGP_EffectRefH;
struct _AEGP_StreamRef;
typedef struct _AEGP_StreamRef* AEGP_StreamRefH;
typedef A_long SPErr;

}  // extern "C"

// Error codes.
inline constexpr PF_Err PF_Err_NONE = 0;
inline constexpr PF_Err PF_Err_OUT_OF_MEMORY = 4;
inline constexpr PF_Err PF_Err_INTERNAL_STRUCT_DAMAGED = 512;
inline constexpr PF_Err PF_Err_INVALID_INDEX = 513;
inline constexpr PF_Err PF_Err_UNRECOGNIZED_PARAM_TYPE = 514;
inline constexpr PF_Err PF_Err_INVALID_CALLBACK = 515;
inline constexpr PF_Err PF_Err_BAD_CALLBACK_PARAM = 516;
inline constexpr PF_Err PF_Interrupt_CANCEL = 517;
inline constexpr PF_Err PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518;
// The render's own code for worlds whose geometry does not fit.
inline constexpr PF_Err PF_Err_BAD_GEOMETRY = 255;

// Command selectors.
inline constexpr PF_Cmd PF_Cmd_ABOUT = 0;
inline constexpr PF_Cmd PF_Cmd_GLOBAL_SETUP = 1;
inline constexpr PF_Cmd PF_Cmd_UNUSED_0 = 2;
inline constexpr PF_Cmd PF_Cmd_GLOBAL_SETDOWN = 3;
inline constexpr PF_Cmd PF_Cmd_PARAMS_SETUP = 4;
inline constexpr PF_Cmd PF_Cmd_SEQUENCE_SETUP = 5;
inline constexpr PF_Cmd PF_Cmd_SEQUENCE_RESETUP = 6;
inline constexpr PF_Cmd PF_Cmd_SEQUENCE_FLATTEN = 7;
inline constexpr PF_Cmd PF_Cmd_SEQUENCE_SETDOWN = 8;
inline constexpr PF_Cmd PF_Cmd_DO_DIALOG = 9;
inline constexpr PF_Cmd PF_Cmd_FRAME_SETUP = 10;
inline constexpr PF_Cmd PF_Cmd_RENDER = 11;
inline constexpr PF_Cmd PF_Cmd_FRAME_SETDOWN = 12;
inline constexpr PF_Cmd PF_Cmd_USER_CHANGED_PARAM = 13;
inline constexpr PF_Cmd PF_Cmd_UPDATE_PARAMS_UI = 14;
inline constexpr PF_Cmd PF_Cmd_EVENT = 15;
inline constexpr PF_Cmd PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16;
inline constexpr PF_Cmd PF_Cmd_COMPLETELY_GENERAL = 17;
inline constexpr PF_Cmd PF_Cmd_QUERY_DYNAMIC_FLAGS = 18;
inline constexpr PF_Cmd PF_Cmd_AUDIO_RENDER = 19;
inline constexpr PF_Cmd PF_Cmd_AUDIO_SETUP = 20;
inline constexpr PF_Cmd PF_Cmd_AUDIO_SETDOWN = 21;
inline constexpr PF_Cmd PF_Cmd_ARBITRARY_CALLBACK = 22;
inline constexpr PF_Cmd PF_Cmd_SMART_PRE_RENDER = 23;
inline constexpr PF_Cmd PF_Cmd_SMART_RENDER = 24;

// Version word layout.
inline constexpr A_long PF_Stage_DEVELOP = 0;
inline constexpr A_long PF_Stage_ALPHA = 1;
inline constexpr A_long PF_Stage_BETA = 2;
inline constexpr A_long PF_Stage_RELEASE = 3;

constexpr A_u_long PF_VERSION(A_u_long vers, A_u_long subvers, A_u_long bugvers, A_u_long stage,
                              A_u_long build) {
  return ((vers & 0x7u) << 19) | ((subvers & 0xFu) << 15) | ((bugvers & 0xFu) << 11) |
         ((stage & 0x3u) << 9) | (build & 0x1FFu);
}

// out_flags.
inline constexpr PF_OutFlags PF_OutFlag_NONE = 0;
inline constexpr PF_OutFlags PF_OutFlag_KEEP_RESOURCE_OPEN = 1 << 0;
inline constexpr PF_OutFlags PF_OutFlag_WIDE_TIME_INPUT = 1 << 1;
inline constexpr PF_OutFlags PF_OutFlag_NON_PARAM_VARY = 1 << 2;
inline constexpr PF_OutFlags PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 1 << 4;
inline constexpr PF_OutFlags PF_OutFlag_I_DO_DIALOG = 1 << 5;
inline constexpr PF_OutFlags PF_OutFlag_USE_OUTPUT_EXTENT = 1 << 6;
inline constexpr PF_OutFlags PF_OutFlag_SEND_DO_DIALOG = 1 << 7;
inline constexpr PF_OutFlags PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1 << 8;
inline constexpr PF_OutFlags PF_OutFlag_I_EXPAND_BUFFER = 1 << 9;
inline constexpr PF_OutFlags PF_OutFlag_PIX_INDEPENDENT = 1 << 10;
inline constexpr PF_OutFlags PF_OutFlag_I_WRITE_INPUT_BUFFER = 1 << 11;
inline constexpr PF_OutFlags PF_OutFlag_I_SHRINK_BUFFER = 1 << 12;
inline constexpr PF_OutFlags PF_OutFlag_WORKS_IN_PLACE = 1 << 13;
inline constexpr PF_OutFlags PF_OutFlag_CUSTOM_UI = 1 << 15;
inline constexpr PF_OutFlags PF_OutFlag_REFRESH_UI = 1 << 17;
inline constexpr PF_OutFlags PF_OutFlag_NOP_RENDER = 1 << 18;
inline constexpr PF_OutFlags PF_OutFlag_I_USE_SHUTTER_ANGLE = 1 << 19;
inline constexpr PF_OutFlags PF_OutFlag_I_USE_AUDIO = 1 << 20;
inline constexpr PF_OutFlags PF_OutFlag_I_AM_OBSOLETE = 1 << 21;
inline constexpr PF_OutFlags PF_OutFlag_FORCE_RERENDER = 1 << 22;
inline constexpr PF_OutFlags PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS = 1 << 23;
inline constexpr PF_OutFlags PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES = 1 << 24;
inline constexpr PF_OutFlags PF_OutFlag_DEEP_COLOR_AWARE = 1 << 25;
inline constexpr PF_OutFlags PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1 << 26;

// out_flags2.
inline constexpr PF_OutFlags2 PF_OutFlag2_NONE = 0;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS = 1 << 0;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_USE_3D_CAMERA = 1 << 1;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_USE_3D_LIGHTS = 1 << 2;
inline constexpr PF_OutFlags2 PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 1 << 3;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_AM_THREADSAFE = 1 << 4;
inline constexpr PF_OutFlags2 PF_OutFlag2_CAN_COMBINE_WITH_DESTINATION = 1 << 5;
inline constexpr PF_OutFlags2 PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS = 1 << 6;
inline constexpr PF_OutFlags2 PF_OutFlag2_REVEALS_ZERO_ALPHA = 1 << 7;
inline constexpr PF_OutFlags2 PF_OutFlag2_PRESERVES_FULLY_OPAQUE_PIXELS = 1 << 8;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_SMART_RENDER = 1 << 10;
inline constexpr PF_OutFlags2 PF_OutFlag2_FLOAT_COLOR_AWARE = 1 << 12;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_USE_COLORSPACE_ENUMERATION = 1 << 13;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_AM_DEPRECATED = 1 << 14;
inline constexpr PF_OutFlags2 PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER = 1 << 15;
inline constexpr PF_OutFlags2 PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT = 1 << 17;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_USE_TIMECODE = 1 << 18;
inline constexpr PF_OutFlags2 PF_OutFlag2_DEPENDS_ON_UNREFERENCED_MASKS = 1 << 19;
inline constexpr PF_OutFlags2 PF_OutFlag2_OUTPUT_IS_WATERMARKED = 1 << 20;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_MIX_GUID_DEPENDENCIES = 1 << 21;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 1 << 27;

// Parameter types.
inline constexpr PF_ParamType PF_Param_RESERVED = -1;
inline constexpr PF_ParamType PF_Param_LAYER = 0;
inline constexpr PF_ParamType PF_Param_SLIDER = 1;
inline constexpr PF_ParamType PF_Param_FIX_SLIDER = 2;
inline constexpr PF_ParamType PF_Param_ANGLE = 3;
inline constexpr PF_ParamType PF_Param_CHECKBOX = 4;
inline constexpr PF_ParamType PF_Param_COLOR = 5;
inline constexpr PF_ParamType PF_Param_POINT = 6;
inline constexpr PF_ParamType PF_Param_POPUP = 7;
inline constexpr PF_ParamType PF_Param_CUSTOM = 8;
inline constexpr PF_ParamType PF_Param_NO_DATA = 9;
inline constexpr PF_ParamType PF_Param_FLOAT_SLIDER = 10;
inline constexpr PF_ParamType PF_Param_ARBITRARY_DATA = 11;
inline constexpr PF_ParamType PF_Param_PATH = 12;
inline constexpr PF_ParamType PF_Param_GROUP_START = 13;
inline constexpr PF_ParamType PF_Param_GROUP_END = 14;
inline constexpr PF_ParamType PF_Param_BUTTON = 15;
inline constexpr PF_ParamType PF_Param_POINT_3D = 18;

// Parameter flags.
inline constexpr PF_ParamFlags PF_ParamFlag_RESERVED1 = 1 << 0;
inline constexpr PF_ParamFlags PF_ParamFlag_CANNOT_TIME_VARY = 1 << 1;
inline constexpr PF_ParamFlags PF_ParamFlag_CANNOT_INTERP = 1 << 2;
inline constexpr PF_ParamFlags PF_ParamFlag_COLLAPSE_TWIRLY = 1 << 5;
inline constexpr PF_ParamFlags PF_ParamFlag_START_COLLAPSED = PF_ParamFlag_COLLAPSE_TWIRLY;
inline constexpr PF_ParamFlags PF_ParamFlag_SUPERVISE = 1 << 6;
inline constexpr PF_ParamFlags PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS = 1 << 7;

// Parameter interface flags.
inline constexpr PF_ParamUIFlags PF_PUI_NONE = 0;
inline constexpr PF_ParamUIFlags PF_PUI_TOPIC = 1 << 0;
inline constexpr PF_ParamUIFlags PF_PUI_CONTROL = 1 << 1;
inline constexpr PF_ParamUIFlags PF_PUI_STD_CONTROL_ONLY = 1 << 2;
inline constexpr PF_ParamUIFlags PF_PUI_NO_ECW_UI = 1 << 3;
inline constexpr PF_ParamUIFlags PF_PUI_ECW_SEPARATOR = 1 << 4;
inline constexpr PF_ParamUIFlags PF_PUI_DISABLED = 1 << 5;
inline constexpr PF_ParamUIFlags PF_PUI_DONT_ERASE_TOPIC = 1 << 6;
inline constexpr PF_ParamUIFlags PF_PUI_DONT_ERASE_CONTROL = 1 << 7;
inline constexpr PF_ParamUIFlags PF_PUI_RADIO_BUTTON = 1 << 8;
inline constexpr PF_ParamUIFlags PF_PUI_INVISIBLE = 1 << 9;

inline constexpr PF_ParamIndex PF_ParamIndex_CHECK_ALL = -1;
inline constexpr PF_ParamIndex PF_ParamIndex_CHECK_ALL_EXCEPT_LAYER_PARAMS = -3;
inline constexpr PF_ParamIndex PF_ParamIndex_CHECK_ALL_HONOR_EXCLUDE = -4;

inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_ACTIVE_EYEBALL = 1 << 0;
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_HIDDEN = 1 << 1;
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_DISABLED = 1 << 4;
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_ELIDED = 1 << 5;

// Pixel formats are four-character codes.
constexpr PF_PixelFormat PF_FourCC(char a, char b, char c, char d) {
  return (static_cast<A_u_long>(static_cast<A_u_char>(a)) << 24) |
         (static_cast<A_u_long>(static_cast<A_u_char>(b)) << 16) |
         (static_cast<A_u_long>(static_cast<A_u_char>(c)) << 8) |
         static_cast<A_u_long>(static_cast<A_u_char>(d));
}
inline constexpr PF_PixelFormat PF_PixelFormat_ARGB32 = PF_FourCC('a', 'r', 'g', 'b');
inline constexpr PF_PixelFormat PF_PixelFormat_ARGB64 = PF_FourCC('a', 'e', '1', '6');
inline constexpr PF_PixelFormat PF_PixelFormat_ARGB128 = PF_FourCC('a', 'e', '3', '2');
inline constexpr PF_PixelFormat PF_PixelFormat_INVALID = PF_FourCC('b', 'a', 'd', 'f');

inline constexpr PF_WorldFlags PF_WorldFlag_DEEP = 1 << 0;
inline constexpr PF_WorldFlags PF_WorldFlag_WRITEABLE = 1 << 1;
inline constexpr PF_NewWorldFlags PF_NewWorldFlag_NONE = 0;
inline constexpr PF_NewWorldFlags PF_NewWorldFlag_CLEAR_PIXELS = 1 << 0;
inline constexpr PF_NewWorldFlags PF_NewWorldFlag_DEEP_PIXELS = 1 << 1;

inline constexpr int PF_MAX_EFFECT_NAME_LEN = 31;
inline constexpr int PF_MAX_EFFECT_PARAM_NAME_LEN = 31;
inline constexpr int PF_MAX_PARAM_DESCRIPTION_LEN = 31;
inline constexpr int PF_MAX_PARAM_VALUE_LEN = 31;
inline constexpr int PF_MAX_EFFECT_MSG_LEN = 255;
inline constexpr A_long PF_MAX_CHAN8 = 255;
inline constexpr A_long PF_MAX_CHAN16 = 32768;
