// Basic types and constants of the host's effect interface, with the host's
// names and values. Every integer type has a fixed width, so the same
// declarations describe the 64-bit Windows host and our Linux builds alike.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef float A_FpShort;
typedef double A_FpLong;
typedef unsigned long long A_u_longlong;
typedef int32_t int32;
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef short A_short;
typedef unsigned short A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef A_long A_AppID;
typedef A_long A_Err;
typedef A_u_longlong A_HandleSize;
typedef long long A_intptr_t;

typedef A_long PF_Err;
typedef A_long PF_Cmd;
typedef A_long PF_Fixed;  // signed 16.16
typedef A_char PF_Boolean;
typedef A_FpShort PF_FpShort;
typedef A_FpLong PF_FpLong;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_ChangeFlags;
typedef A_short PF_ValueDisplayFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long PF_InFlags;
typedef A_long PF_Quality;
typedef A_long PF_ModeFlags;
typedef A_long PF_Field;
typedef A_long PF_ChannelMask;
typedef A_long PF_WorldFlags;
typedef A_long PF_NewWorldFlags;
typedef A_long PF_PixelFormat;
typedef short PF_RenderOutputFlags;
typedef A_long PF_GPU_Framework;
typedef A_long PF_ParamValue;
typedef A_u_long PF_SampleEdgeBehav;
// Two-byte fields of the parameter records (the published offsets leave two
// bytes for each).
typedef A_short PF_Precision;
// Four-byte flag word of the float slider (published offset 72, next 76).
typedef A_long PF_FSliderFlags;
// Four-byte path id of the path parameter (offset 0, next 4).
typedef A_long PF_PathID;
typedef A_long PF_TransferMode;
typedef PF_TransferMode PF_XferMode;

// A handle is a pointer to a host-owned master pointer.
typedef void** PF_Handle;
typedef PF_Handle PF_ArbitraryH;

struct _PF_ProgressInfo;
typedef struct _PF_ProgressInfo PF_ProgressInfo;
typedef PF_ProgressInfo* PF_ProgPtr;  // the effect reference

typedef int32 SPErr;
typedef unsigned char SPBoolean;

typedef A_long AEGP_PluginID;
struct _AEGP_GlobalRefcon;
typedef struct _AEGP_GlobalRefcon* AEGP_GlobalRefcon;
struct _AEGP_Effect;
typedef struct _AEGP_Effect** AEGP_EffectRefH;
struct _AEGPp_Stream;
typedef struct _AEGPp_Stream** AEGP_StreamRefH;
typedef A_u_long AEGP_DynStreamFlags;

// A table entry that neither the plug-in nor our host calls: it keeps its
// slot, pointer-sized, so every entry after it sits where the host puts it.
typedef void (*PF_UnusedEntry)(void);

}  // extern "C"

// --- Version word ------------------------------------------------------------
inline constexpr A_u_long PF_Vers_BUILD_BITS = 511;
inline constexpr A_u_long PF_Vers_BUILD_SHIFT = 0;
inline constexpr A_u_long PF_Vers_STAGE_BITS = 3;
inline constexpr A_u_long PF_Vers_STAGE_SHIFT = 9;
inline constexpr A_u_long PF_Vers_BUGFIX_BITS = 15;
inline constexpr A_u_long PF_Vers_BUGFIX_SHIFT = 11;
inline constexpr A_u_long PF_Vers_SUBVERS_BITS = 15;
inline constexpr A_u_long PF_Vers_SUBVERS_SHIFT = 15;
inline constexpr A_u_long PF_Vers_VERS_BITS = 7;
inline constexpr A_u_long PF_Vers_VERS_SHIFT = 19;
inline constexpr A_u_long PF_Vers_VERS_HIGH_BITS = 15;
inline constexpr A_u_long PF_Vers_VERS_HIGH_SHIFT = 26;
inline constexpr A_u_long PF_Vers_VERS_LOW_SHIFT = 3;

inline constexpr A_long PF_Stage_DEVELOP = 0;
inline constexpr A_long PF_Stage_ALPHA = 1;
inline constexpr A_long PF_Stage_BETA = 2;
inline constexpr A_long PF_Stage_RELEASE = 3;

// The packed version word: the low three bits of the version at VERS_SHIFT,
// the bits above them at VERS_HIGH_SHIFT.
constexpr A_u_long PF_VERSION(A_u_long vers, A_u_long subvers, A_u_long bugvers, A_u_long stage,
                              A_u_long build) {
  return (((vers >> PF_Vers_VERS_LOW_SHIFT) & PF_Vers_VERS_HIGH_BITS) << PF_Vers_VERS_HIGH_SHIFT) |
         ((vers & PF_Vers_VERS_BITS) << PF_Vers_VERS_SHIFT) |
         ((subvers & PF_Vers_SUBVERS_BITS) << PF_Vers_SUBVERS_SHIFT) |
         ((bugvers & PF_Vers_BUGFIX_BITS) << PF_Vers_BUGFIX_SHIFT) |
         ((stage & PF_Vers_STAGE_BITS) << PF_Vers_STAGE_SHIFT) |
         ((build & PF_Vers_BUILD_BITS) << PF_Vers_BUILD_SHIFT);
}

inline constexpr A_short PF_PLUG_IN_VERSION = 13;
inline constexpr A_short PF_PLUG_IN_SUBVERS = 29;

// --- Limits ------------------------------------------------------------------
inline constexpr int PF_MAX_EFFECT_NAME_LEN = 31;
inline constexpr int PF_MAX_EFFECT_CATEGORY_NAME_LEN = 31;
inline constexpr int PF_MAX_EFFECT_PARAM_NAME_LEN = 31;
inline constexpr int PF_MAX_PARAM_DESCRIPTION_LEN = 31;
inline constexpr int PF_MAX_PARAM_VALUE_LEN = 31;
inline constexpr int PF_MAX_EFFECT_MSG_LEN = 255;
inline constexpr int PF_MAX_TIME_LEN = 31;
inline constexpr int PF_MAX_PATH_NAME_LEN = 31;
inline constexpr A_long PF_MAX_WORLD_WIDTH = 30000;
inline constexpr A_long PF_MAX_WORLD_HEIGHT = 30000;
inline constexpr A_long PF_MAX_CHAN8 = 255;
inline constexpr A_long PF_MAX_CHAN16 = 32768;
inline constexpr int PF_MAX_CURSOR_PLUS_ONE = 123;

// --- Errors --------------------------------------------------------------------
inline constexpr SPErr kSPNoError = 0;

inline constexpr A_Err A_Err_NONE = 0;
inline constexpr A_Err A_Err_GENERIC = 1;
inline constexpr A_Err A_Err_STRUCT = 2;
inline constexpr A_Err A_Err_PARAMETER = 3;
inline constexpr A_Err A_Err_ALLOC = 4;
inline constexpr A_Err A_Err_WRONG_THREAD = 5;
inline constexpr A_Err A_Err_CONST_PROJECT_MODIFICATION = 6;
inline constexpr A_Err A_Err_MISSING_SUITE = 13;
inline constexpr A_Err A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING = 22;
inline constexpr A_Err A_Err_PROJECT_LOAD_FATAL = 23;
inline constexpr A_Err A_Err_EFFECT_APPLY_FATAL = 24;
inline constexpr A_Err A_Err_LAST = 25;

inline constexpr PF_Err PF_Err_NONE = 0;
inline constexpr PF_Err PF_Err_OUT_OF_MEMORY = 4;
inline constexpr PF_Err PF_Err_INTERNAL_STRUCT_DAMAGED = 512;
inline constexpr PF_Err PF_Err_INVALID_INDEX = 513;
inline constexpr PF_Err PF_Err_UNRECOGNIZED_PARAM_TYPE = 514;
inline constexpr PF_Err PF_Err_INVALID_CALLBACK = 515;
inline constexpr PF_Err PF_Err_BAD_CALLBACK_PARAM = 516;
inline constexpr PF_Err PF_Interrupt_CANCEL = 517;
inline constexpr PF_Err PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518;
// Not the host's: the render's own code for worlds whose geometry does not fit.
inline constexpr PF_Err PF_Err_BAD_GEOMETRY = 255;

// --- Command selectors ---------------------------------------------------------
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
inline constexpr PF_Cmd PF_Cmd_RESERVED1 = 25;
inline constexpr PF_Cmd PF_Cmd_RESERVED2 = 26;
inline constexpr PF_Cmd PF_Cmd_RESERVED3 = 27;
inline constexpr PF_Cmd PF_Cmd_GET_FLATTENED_SEQUENCE_DATA = 28;
inline constexpr PF_Cmd PF_Cmd_TRANSLATE_PARAMS_TO_PREFS = 29;
inline constexpr PF_Cmd PF_Cmd_RESERVED4 = 30;
inline constexpr PF_Cmd PF_Cmd_SMART_RENDER_GPU = 31;
inline constexpr PF_Cmd PF_Cmd_GPU_DEVICE_SETUP = 32;
inline constexpr PF_Cmd PF_Cmd_GPU_DEVICE_SETDOWN = 33;
inline constexpr PF_Cmd PF_Cmd_NUM_CMDS = 34;

// --- Quality, modes, fields ------------------------------------------------------
inline constexpr PF_Quality PF_Quality_DRAWING_AUDIO = -1;
inline constexpr PF_Quality PF_Quality_LO = 0;
inline constexpr PF_Quality PF_Quality_HI = 1;
inline constexpr PF_ModeFlags PF_MF_Alpha_PREMUL = 0;
inline constexpr PF_ModeFlags PF_MF_Alpha_STRAIGHT = 1;
inline constexpr PF_Field PF_Field_FRAME = 0;
inline constexpr PF_Field PF_Field_UPPER = 1;
inline constexpr PF_Field PF_Field_LOWER = 2;

// --- out_flags -------------------------------------------------------------------
inline constexpr PF_OutFlags PF_OutFlag_NONE = 0;
inline constexpr PF_OutFlags PF_OutFlag_KEEP_RESOURCE_OPEN = 1;
inline constexpr PF_OutFlags PF_OutFlag_WIDE_TIME_INPUT = 2;
inline constexpr PF_OutFlags PF_OutFlag_NON_PARAM_VARY = 4;
inline constexpr PF_OutFlags PF_OutFlag_RESERVED6 = 8;
inline constexpr PF_OutFlags PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 0x10;
inline constexpr PF_OutFlags PF_OutFlag_I_DO_DIALOG = 0x20;
inline constexpr PF_OutFlags PF_OutFlag_USE_OUTPUT_EXTENT = 0x40;
inline constexpr PF_OutFlags PF_OutFlag_SEND_DO_DIALOG = 0x80;
inline constexpr PF_OutFlags PF_OutFlag_DISPLAY_ERROR_MESSAGE = 0x100;
inline constexpr PF_OutFlags PF_OutFlag_I_EXPAND_BUFFER = 0x200;
inline constexpr PF_OutFlags PF_OutFlag_PIX_INDEPENDENT = 0x400;
inline constexpr PF_OutFlags PF_OutFlag_I_WRITE_INPUT_BUFFER = 0x800;
inline constexpr PF_OutFlags PF_OutFlag_I_SHRINK_BUFFER = 0x1000;
inline constexpr PF_OutFlags PF_OutFlag_WORKS_IN_PLACE = 0x2000;
inline constexpr PF_OutFlags PF_OutFlag_RESERVED8 = 0x4000;
inline constexpr PF_OutFlags PF_OutFlag_CUSTOM_UI = 0x8000;
inline constexpr PF_OutFlags PF_OutFlag_RESERVED7 = 0x10000;
inline constexpr PF_OutFlags PF_OutFlag_REFRESH_UI = 0x20000;
inline constexpr PF_OutFlags PF_OutFlag_NOP_RENDER = 0x40000;
inline constexpr PF_OutFlags PF_OutFlag_I_USE_SHUTTER_ANGLE = 0x80000;
inline constexpr PF_OutFlags PF_OutFlag_I_USE_AUDIO = 0x100000;
inline constexpr PF_OutFlags PF_OutFlag_I_AM_OBSOLETE = 0x200000;
inline constexpr PF_OutFlags PF_OutFlag_FORCE_RERENDER = 0x400000;
inline constexpr PF_OutFlags PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS = 0x800000;
inline constexpr PF_OutFlags PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES = 0x1000000;
inline constexpr PF_OutFlags PF_OutFlag_DEEP_COLOR_AWARE = 0x2000000;
inline constexpr PF_OutFlags PF_OutFlag_SEND_UPDATE_PARAMS_UI = 0x4000000;
inline constexpr PF_OutFlags PF_OutFlag_AUDIO_FLOAT_ONLY = 0x8000000;
inline constexpr PF_OutFlags PF_OutFlag_AUDIO_IIR = 0x10000000;
inline constexpr PF_OutFlags PF_OutFlag_I_SYNTHESIZE_AUDIO = 0x20000000;
inline constexpr PF_OutFlags PF_OutFlag_AUDIO_EFFECT_TOO = 0x40000000;
inline constexpr PF_OutFlags PF_OutFlag_AUDIO_EFFECT_ONLY = INT32_MIN;

// --- out_flags2 ------------------------------------------------------------------
inline constexpr PF_OutFlags2 PF_OutFlag2_NONE = 0;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS = 1;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_USE_3D_CAMERA = 2;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_USE_3D_LIGHTS = 4;
inline constexpr PF_OutFlags2 PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 8;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_AM_THREADSAFE = 0x10;
inline constexpr PF_OutFlags2 PF_OutFlag2_CAN_COMBINE_WITH_DESTINATION = 0x20;
inline constexpr PF_OutFlags2 PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS = 0x40;
inline constexpr PF_OutFlags2 PF_OutFlag2_REVEALS_ZERO_ALPHA = 0x80;
inline constexpr PF_OutFlags2 PF_OutFlag2_PRESERVES_FULLY_OPAQUE_PIXELS = 0x100;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_SMART_RENDER = 0x400;
inline constexpr PF_OutFlags2 PF_OutFlag2_RESERVED9 = 0x800;
inline constexpr PF_OutFlags2 PF_OutFlag2_FLOAT_COLOR_AWARE = 0x1000;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_USE_COLORSPACE_ENUMERATION = 0x2000;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_AM_DEPRECATED = 0x4000;
inline constexpr PF_OutFlags2 PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER = 0x8000;
inline constexpr PF_OutFlags2 PF_OutFlag2_RESERVED10 = 0x10000;
inline constexpr PF_OutFlags2 PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT = 0x20000;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_USE_TIMECODE = 0x40000;
inline constexpr PF_OutFlags2 PF_OutFlag2_DEPENDS_ON_UNREFERENCED_MASKS = 0x80000;
inline constexpr PF_OutFlags2 PF_OutFlag2_OUTPUT_IS_WATERMARKED = 0x100000;
inline constexpr PF_OutFlags2 PF_OutFlag2_I_MIX_GUID_DEPENDENCIES = 0x200000;
inline constexpr PF_OutFlags2 PF_OutFlag2_AE13_5_THREADSAFE = 0x400000;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA = 0x800000;
inline constexpr PF_OutFlags2 PF_OutFlag2_CUSTOM_UI_ASYNC_MANAGER = 0x1000000;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_GPU_RENDER_F32 = 0x2000000;
inline constexpr PF_OutFlags2 PF_OutFlag2_RESERVED12 = 0x4000000;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 0x8000000;
inline constexpr PF_OutFlags2 PF_OutFlag2_MUTABLE_RENDER_SEQUENCE_DATA_SLOWER = 0x10000000;
inline constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_DIRECTX_RENDERING = 0x20000000;

inline constexpr PF_InFlags PF_InFlag_NONE = 0;
inline constexpr PF_InFlags PF_InFlag_PROJECT_IS_RENDER_ONLY = 1;

// --- Parameters --------------------------------------------------------------------
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
inline constexpr PF_ParamType PF_Param_RESERVED2 = 16;
inline constexpr PF_ParamType PF_Param_RESERVED3 = 17;
inline constexpr PF_ParamType PF_Param_POINT_3D = 18;

inline constexpr PF_Precision PF_Precision_INTEGER = 0;
inline constexpr PF_Precision PF_Precision_TENTHS = 1;
inline constexpr PF_Precision PF_Precision_HUNDREDTHS = 2;
inline constexpr PF_Precision PF_Precision_THOUSANDTHS = 3;
inline constexpr PF_Precision PF_Precision_TEN_THOUSANDTHS = 4;

inline constexpr PF_ParamFlags PF_ParamFlag_NONE = 0;
inline constexpr PF_ParamFlags PF_ParamFlag_RESERVED1 = 1;
inline constexpr PF_ParamFlags PF_ParamFlag_CANNOT_TIME_VARY = 2;
inline constexpr PF_ParamFlags PF_ParamFlag_CANNOT_INTERP = 4;
inline constexpr PF_ParamFlags PF_ParamFlag_RESERVED2 = 8;
inline constexpr PF_ParamFlags PF_ParamFlag_RESERVED3 = 0x10;
inline constexpr PF_ParamFlags PF_ParamFlag_COLLAPSE_TWIRLY = 0x20;
inline constexpr PF_ParamFlags PF_ParamFlag_SUPERVISE = 0x40;
inline constexpr PF_ParamFlags PF_ParamFlag_START_COLLAPSED = 0x20;
inline constexpr PF_ParamFlags PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS = 0x80;
inline constexpr PF_ParamFlags PF_ParamFlag_LAYER_PARAM_IS_TRACKMATTE = 0x80;
inline constexpr PF_ParamFlags PF_ParamFlag_EXCLUDE_FROM_HAVE_INPUTS_CHANGED = 0x100;
inline constexpr PF_ParamFlags PF_ParamFlag_SKIP_REVEAL_WHEN_UNHIDDEN = 0x200;
inline constexpr PF_ParamFlags PF_ParamFlag_unused1 = 0x400;
inline constexpr PF_ParamFlags PF_ParamFlag_RESERVED4 = 0x800;

inline constexpr PF_ValueDisplayFlags PF_ValueDisplayFlag_NONE = 0;
inline constexpr PF_ValueDisplayFlags PF_ValueDisplayFlag_PERCENT = 1;
inline constexpr PF_ValueDisplayFlags PF_ValueDisplayFlag_PIXEL = 2;
inline constexpr PF_ValueDisplayFlags PF_ValueDisplayFlag_RESERVED1 = 4;
inline constexpr PF_ValueDisplayFlags PF_ValueDisplayFlag_REVERSE = 8;

inline constexpr PF_ParamUIFlags PF_PUI_NONE = 0;
inline constexpr PF_ParamUIFlags PF_PUI_TOPIC = 1;
inline constexpr PF_ParamUIFlags PF_PUI_CONTROL = 2;
inline constexpr PF_ParamUIFlags PF_PUI_STD_CONTROL_ONLY = 4;
inline constexpr PF_ParamUIFlags PF_PUI_NO_ECW_UI = 8;
inline constexpr PF_ParamUIFlags PF_PUI_ECW_SEPARATOR = 0x10;
inline constexpr PF_ParamUIFlags PF_PUI_DISABLED = 0x20;
inline constexpr PF_ParamUIFlags PF_PUI_DONT_ERASE_TOPIC = 0x40;
inline constexpr PF_ParamUIFlags PF_PUI_DONT_ERASE_CONTROL = 0x80;
inline constexpr PF_ParamUIFlags PF_PUI_RADIO_BUTTON = 0x100;
inline constexpr PF_ParamUIFlags PF_PUI_INVISIBLE = 0x200;
inline constexpr PF_ParamUIFlags PF_PUI_RESERVED = 0x400;

inline constexpr PF_ChangeFlags PF_ChangeFlag_NONE = 0;
inline constexpr PF_ChangeFlags PF_ChangeFlag_CHANGED_VALUE = 1;
inline constexpr PF_ChangeFlags PF_ChangeFlag_RESERVED = 2;
inline constexpr PF_ChangeFlags PF_ChangeFlag_SET_TO_VARY = 4;
inline constexpr PF_ChangeFlags PF_ChangeFlag_SET_TO_CONSTANT = 8;

inline constexpr PF_ParamIndex PF_ParamIndex_NONE = -1;
inline constexpr PF_ParamIndex PF_ParamIndex_CHECK_ALL = -2;
inline constexpr PF_ParamIndex PF_ParamIndex_CHECK_ALL_EXCEPT_LAYER_PARAMS = -3;
inline constexpr PF_ParamIndex PF_ParamIndex_CHECK_ALL_HONOR_EXCLUDE = -4;

// --- Worlds and pixels ---------------------------------------------------------------
inline constexpr PF_WorldFlags PF_WorldFlag_DEEP = 1;
inline constexpr PF_WorldFlags PF_WorldFlag_WRITEABLE = 2;
inline constexpr PF_NewWorldFlags PF_NewWorldFlag_NONE = 0;
inline constexpr PF_NewWorldFlags PF_NewWorldFlag_CLEAR_PIXELS = 1;
inline constexpr PF_NewWorldFlags PF_NewWorldFlag_DEEP_PIXELS = 2;

inline constexpr PF_ChannelMask PF_ChannelMask_ALPHA = 1;
inline constexpr PF_ChannelMask PF_ChannelMask_RED = 2;
inline constexpr PF_ChannelMask PF_ChannelMask_GREEN = 4;
inline constexpr PF_ChannelMask PF_ChannelMask_BLUE = 8;
inline constexpr PF_ChannelMask PF_ChannelMask_ARGB = 15;

inline constexpr PF_RenderOutputFlags PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS = 1;
inline constexpr PF_RenderOutputFlags PF_RenderOutputFlag_GPU_RENDER_POSSIBLE = 2;
inline constexpr PF_RenderOutputFlags PF_RenderOutputFlag_RESERVED1 = 4;

// Four-character codes are packed with the first character in the lowest byte.
constexpr PF_PixelFormat PF_FourCharCode(char a, char b, char c, char d) {
  return static_cast<PF_PixelFormat>(static_cast<A_u_long>(static_cast<A_u_char>(a)) |
                                     static_cast<A_u_long>(static_cast<A_u_char>(b)) << 8 |
                                     static_cast<A_u_long>(static_cast<A_u_char>(c)) << 16 |
                                     static_cast<A_u_long>(static_cast<A_u_char>(d)) << 24);
}
inline constexpr PF_PixelFormat PF_PixelFormat_ARGB32 = 1650946657;   // 'argb'
inline constexpr PF_PixelFormat PF_PixelFormat_ARGB64 = 909206881;    // 'ae16'
inline constexpr PF_PixelFormat PF_PixelFormat_ARGB128 = 842229089;   // 'ae32'
inline constexpr PF_PixelFormat PF_PixelFormat_GPU_BGRA128 = 1094992704;  // '@CDA'
inline constexpr PF_PixelFormat PF_PixelFormat_RESERVED = 1631863616;     // '@CDa'
inline constexpr PF_PixelFormat PF_PixelFormat_BGRA32 = 1634887522;   // 'bgra'
inline constexpr PF_PixelFormat PF_PixelFormat_VUYA32 = 1635349878;   // 'vuya'
inline constexpr PF_PixelFormat PF_PixelFormat_NTSCDV25 = 846100068;  // 'dvn2'
inline constexpr PF_PixelFormat PF_PixelFormat_PALDV25 = 846231140;   // 'dvp2'
inline constexpr PF_PixelFormat PF_PixelFormat_INVALID = 1717854562;  // 'badf'
inline constexpr PF_PixelFormat PF_PixelFormat_FORCE_LONG_INT = -1;

// --- AEGP ----------------------------------------------------------------------------
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_ACTIVE_EYEBALL = 1;
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_HIDDEN = 2;
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_DISABLED = 0x10;
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_ELIDED = 0x20;
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_SHOWN_WHEN_EMPTY = 0x400;
inline constexpr AEGP_DynStreamFlags AEGP_DynStreamFlag_SKIP_REVEAL_WHEN_UNHIDDEN = 0x10000;
