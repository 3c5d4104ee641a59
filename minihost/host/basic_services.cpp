#include "minihost/host/basic_services.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>

#include "minihost/host/traps.h"

namespace minihost {
namespace {

std::string Qualified(const char* call, const std::string& name, A_long version) {
  std::string out(call);
  out.append("(").append(name).append(",").append(std::to_string(version)).append(")");
  return out;
}

// --- Basic suite -------------------------------------------------------------

SPErr AcquireSuite(const char* name, A_long version, const void** suite) {
  Host* host = Host::Current();
  if (host == nullptr) return kSPBadParameterError;
  if (name == nullptr || suite == nullptr) {
    host->Problem("AcquireSuite called without a name or a destination");
    return kSPBadParameterError;
  }
  const std::string n(name);
  const std::string key = Qualified("AcquireSuite", n, version);
  const void* table = host->suites().Find(n, version);
  if (auto failure = host->faults().Enter("AcquireSuite", key)) {
    switch (failure->form) {
      case FailureForm::kNull:
        *suite = nullptr;
        return 0;
      case FailureForm::kErrorWithResult:
        if (table != nullptr) {
          *suite = table;
          host->suites().NoteAcquired(n, version);
        }
        return failure->code;
      case FailureForm::kError:
        return failure->code;
    }
  }
  if (table == nullptr) return kSPSuiteNotFoundError;
  *suite = table;
  host->suites().NoteAcquired(n, version);
  return 0;
}

SPErr ReleaseSuite(const char* name, A_long version) {
  Host* host = Host::Current();
  if (host == nullptr) return kSPBadParameterError;
  if (name == nullptr) {
    host->Problem("ReleaseSuite called without a name");
    return kSPBadParameterError;
  }
  const std::string n(name);
  const std::string key = Qualified("ReleaseSuite", n, version);
  auto failure = host->faults().Enter("ReleaseSuite", key);
  // The plug-in did its part even when the host then reports an error.
  if (!host->suites().NoteReleased(n, version)) {
    host->Problem("release of suite \"" + n + "\" version " + std::to_string(version) +
                  ", which is not acquired");
  }
  return failure ? failure->code : 0;
}

A_Boolean IsEqual(const char* a, const char* b) {
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

SPErr AllocateBlock(size_t size, void** block) {
  *block = std::malloc(size);
  return *block != nullptr ? 0 : PF_Err_OUT_OF_MEMORY;
}
SPErr FreeBlock(void* block) {
  std::free(block);
  return 0;
}
SPErr ReallocateBlock(void* block, size_t size, void** new_block) {
  void* p = std::realloc(block, size);
  if (p == nullptr) return PF_Err_OUT_OF_MEMORY;
  *new_block = p;
  return 0;
}
SPErr Undefined() { return kSPBadParameterError; }

constexpr SPBasicSuite kBasicSuite = {AcquireSuite, ReleaseSuite,    IsEqual,  AllocateBlock,
                                      FreeBlock,    ReallocateBlock, Undefined};

// --- Handles -----------------------------------------------------------------

PF_Handle NewHandle(A_HandleSize size) {
  Host* host = Host::Current();
  if (host == nullptr) return nullptr;
  std::string detail = std::to_string(size);
  detail.insert(detail.begin(), '(');
  detail.push_back(')');
  if (host->faults().Enter("host_new_handle", {}, detail)) {
    return nullptr;
  }
  return host->handles().New(static_cast<std::size_t>(size));
}

void* LockHandle(PF_Handle handle) {
  Host* host = Host::Current();
  if (host == nullptr) return nullptr;
  if (host->faults().Enter("host_lock_handle")) return nullptr;
  return host->handles().Lock(handle);
}

void UnlockHandle(PF_Handle handle) {
  Host* host = Host::Current();
  if (host == nullptr) return;
  host->faults().Enter("host_unlock_handle");  // cannot fail
  host->handles().Unlock(handle);
}

void DisposeHandle(PF_Handle handle) {
  Host* host = Host::Current();
  if (host == nullptr) return;
  host->faults().Enter("host_dispose_handle");  // cannot fail
  host->handles().Dispose(handle);
}

A_HandleSize GetHandleSize(PF_Handle handle) {
  Host* host = Host::Current();
  if (host == nullptr) return 0;
  host->faults().Enter("host_get_handle_size");  // cannot fail
  return host->handles().Size(handle);
}

constexpr PF_HandleSuite1 kHandleSuite1 = {
    .host_new_handle = NewHandle,
    .host_lock_handle = LockHandle,
    .host_unlock_handle = UnlockHandle,
    .host_dispose_handle = DisposeHandle,
    .host_get_handle_size = GetHandleSize,
    .host_resize_handle = MINIHOST_TRAP(PF_HandleSuite1, host_resize_handle),
};

// --- AEGP Utility Suite --------------------------------------------------------

A_Err RegisterWithAEGP(AEGP_GlobalRefcon /*refcon*/, const A_char* name, AEGP_PluginID* id) {
  Host* host = Host::Current();
  if (host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (auto failure = host->faults().Enter("AEGP_RegisterWithAEGP")) return failure->code;
  if (name == nullptr || id == nullptr) {
    host->Problem("AEGP_RegisterWithAEGP called without a name or an id destination");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *id = host->Register(name);
  return PF_Err_NONE;
}

constexpr AEGP_UtilitySuite3 kUtilitySuite3 = {
    .AEGP_ReportInfo = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_ReportInfo),
    .AEGP_GetDriverPluginInitFuncVersion =
        MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_GetDriverPluginInitFuncVersion),
    .AEGP_GetDriverImplementationVersion =
        MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_GetDriverImplementationVersion),
    .AEGP_StartQuietErrors = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_StartQuietErrors),
    .AEGP_EndQuietErrors = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_EndQuietErrors),
    .AEGP_StartUndoGroup = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_StartUndoGroup),
    .AEGP_EndUndoGroup = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_EndUndoGroup),
    .AEGP_RegisterWithAEGP = RegisterWithAEGP,
    .AEGP_GetMainHWND = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_GetMainHWND),
    .AEGP_ShowHideAllFloaters = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_ShowHideAllFloaters),
    .AEGP_PaintPalGetForeColor = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_PaintPalGetForeColor),
    .AEGP_PaintPalGetBackColor = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_PaintPalGetBackColor),
    .AEGP_PaintPalSetForeColor = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_PaintPalSetForeColor),
    .AEGP_PaintPalSetBackColor = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_PaintPalSetBackColor),
    .AEGP_CharPalGetFillColor = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_CharPalGetFillColor),
    .AEGP_CharPalGetStrokeColor = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_CharPalGetStrokeColor),
    .AEGP_CharPalSetFillColor = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_CharPalSetFillColor),
    .AEGP_CharPalSetStrokeColor = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_CharPalSetStrokeColor),
    .AEGP_CharPalIsFillColorUIFrontmost =
        MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_CharPalIsFillColorUIFrontmost),
    .AEGP_ConvertFpLongToHSFRatio =
        MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_ConvertFpLongToHSFRatio),
    .AEGP_ConvertHSFRatioToFpLong =
        MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_ConvertHSFRatioToFpLong),
    .AEGP_CauseIdleRoutinesToBeCalled =
        MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_CauseIdleRoutinesToBeCalled),
    .AEGP_GetSuppressInteractiveUI =
        MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_GetSuppressInteractiveUI),
    .AEGP_WriteToOSConsole = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_WriteToOSConsole),
    .AEGP_WriteToDebugLog = MINIHOST_TRAP(AEGP_UtilitySuite3, AEGP_WriteToDebugLog),
};

// --- ANSI callbacks --------------------------------------------------------------

int HostSprintf(A_char* buffer, const A_char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vsprintf(buffer, format, args);
  va_end(args);
  return n;
}

A_char* HostStrcpy(A_char* dest, const A_char* src) { return std::strcpy(dest, src); }

double HostAtan(double x) { return std::atan(x); }
double HostAtan2(double y, double x) { return std::atan2(y, x); }
double HostCeil(double x) { return std::ceil(x); }
double HostCos(double x) { return std::cos(x); }
double HostExp(double x) { return std::exp(x); }
double HostFabs(double x) { return std::fabs(x); }
double HostFloor(double x) { return std::floor(x); }
double HostFmod(double x, double y) { return std::fmod(x, y); }
double HostHypot(double x, double y) { return std::hypot(x, y); }
double HostLog(double x) { return std::log(x); }
double HostLog10(double x) { return std::log10(x); }
double HostPow(double x, double y) { return std::pow(x, y); }
double HostSin(double x) { return std::sin(x); }
double HostSqrt(double x) { return std::sqrt(x); }
double HostTan(double x) { return std::tan(x); }
double HostAsin(double x) { return std::asin(x); }
double HostAcos(double x) { return std::acos(x); }

constexpr PF_ANSICallbacksBlock kAnsi = {
    .atan = HostAtan,
    .atan2 = HostAtan2,
    .ceil = HostCeil,
    .cos = HostCos,
    .exp = HostExp,
    .fabs = HostFabs,
    .floor = HostFloor,
    .fmod = HostFmod,
    .hypot = HostHypot,
    .log = HostLog,
    .log10 = HostLog10,
    .pow = HostPow,
    .sin = HostSin,
    .sqrt = HostSqrt,
    .tan = HostTan,
    .sprintf = HostSprintf,
    .strcpy = HostStrcpy,
    .asin = HostAsin,
    .acos = HostAcos,
    .unused_longA = {0},
};

// Interaction entries no service of ours takes over; the parameter and
// render services replace the ones they serve.
constexpr PF_InteractCallbacks kInteractTraps = {
    .checkout_param = MINIHOST_TRAP(PF_InteractCallbacks, checkout_param),
    .checkin_param = MINIHOST_TRAP(PF_InteractCallbacks, checkin_param),
    .add_param = MINIHOST_TRAP(PF_InteractCallbacks, add_param),
    .abort = MINIHOST_TRAP(PF_InteractCallbacks, abort),
    .progress = MINIHOST_TRAP(PF_InteractCallbacks, progress),
    .register_ui = MINIHOST_TRAP(PF_InteractCallbacks, register_ui),
    .checkout_layer_audio = MINIHOST_TRAP(PF_InteractCallbacks, checkout_layer_audio),
    .checkin_layer_audio = MINIHOST_TRAP(PF_InteractCallbacks, checkin_layer_audio),
    .get_audio_data = MINIHOST_TRAP(PF_InteractCallbacks, get_audio_data),
    .reserved_str = {},
    .reserved = {},
};

constexpr PF_ColorCallbacks kColorTraps = {
    .RGBtoHLS = MINIHOST_TRAP(PF_ColorCallbacks, RGBtoHLS),
    .HLStoRGB = MINIHOST_TRAP(PF_ColorCallbacks, HLStoRGB),
    .RGBtoYIQ = MINIHOST_TRAP(PF_ColorCallbacks, RGBtoYIQ),
    .YIQtoRGB = MINIHOST_TRAP(PF_ColorCallbacks, YIQtoRGB),
    .Luminance = MINIHOST_TRAP(PF_ColorCallbacks, Luminance),
    .Hue = MINIHOST_TRAP(PF_ColorCallbacks, Hue),
    .Lightness = MINIHOST_TRAP(PF_ColorCallbacks, Lightness),
    .Saturation = MINIHOST_TRAP(PF_ColorCallbacks, Saturation),
};

// The utility callbacks: handles and the C library are served here, worlds
// and copies by the world service; the rest are traps.
constexpr PF_UtilCallbacks kUtilCallbacks = {
    .begin_sampling = MINIHOST_TRAP(PF_UtilCallbacks, begin_sampling),
    .subpixel_sample = MINIHOST_TRAP(PF_UtilCallbacks, subpixel_sample),
    .area_sample = MINIHOST_TRAP(PF_UtilCallbacks, area_sample),
    .get_batch_func_is_deprecated = nullptr,
    .end_sampling = MINIHOST_TRAP(PF_UtilCallbacks, end_sampling),
    .composite_rect = MINIHOST_TRAP(PF_UtilCallbacks, composite_rect),
    .blend = MINIHOST_TRAP(PF_UtilCallbacks, blend),
    .convolve = MINIHOST_TRAP(PF_UtilCallbacks, convolve),
    .copy = MINIHOST_TRAP(PF_UtilCallbacks, copy),
    .fill = MINIHOST_TRAP(PF_UtilCallbacks, fill),
    .gaussian_kernel = MINIHOST_TRAP(PF_UtilCallbacks, gaussian_kernel),
    .iterate = MINIHOST_TRAP(PF_UtilCallbacks, iterate),
    .premultiply = MINIHOST_TRAP(PF_UtilCallbacks, premultiply),
    .premultiply_color = MINIHOST_TRAP(PF_UtilCallbacks, premultiply_color),
    .new_world = MINIHOST_TRAP(PF_UtilCallbacks, new_world),
    .dispose_world = MINIHOST_TRAP(PF_UtilCallbacks, dispose_world),
    .iterate_origin = MINIHOST_TRAP(PF_UtilCallbacks, iterate_origin),
    .iterate_lut = MINIHOST_TRAP(PF_UtilCallbacks, iterate_lut),
    .transfer_rect = MINIHOST_TRAP(PF_UtilCallbacks, transfer_rect),
    .transform_world = MINIHOST_TRAP(PF_UtilCallbacks, transform_world),
    .host_new_handle = NewHandle,
    .host_lock_handle = LockHandle,
    .host_unlock_handle = UnlockHandle,
    .host_dispose_handle = DisposeHandle,
    .get_callback_addr = MINIHOST_TRAP(PF_UtilCallbacks, get_callback_addr),
    .app = MINIHOST_TRAP(PF_UtilCallbacks, app),
    .ansi = kAnsi,
    .colorCB = kColorTraps,
    .get_platform_data = MINIHOST_TRAP(PF_UtilCallbacks, get_platform_data),
    .host_get_handle_size = GetHandleSize,
    .iterate_origin_non_clip_src = MINIHOST_TRAP(PF_UtilCallbacks, iterate_origin_non_clip_src),
    .iterate_generic = MINIHOST_TRAP(PF_UtilCallbacks, iterate_generic),
    .host_resize_handle = MINIHOST_TRAP(PF_UtilCallbacks, host_resize_handle),
    .subpixel_sample16 = MINIHOST_TRAP(PF_UtilCallbacks, subpixel_sample16),
    .area_sample16 = MINIHOST_TRAP(PF_UtilCallbacks, area_sample16),
    .fill16 = MINIHOST_TRAP(PF_UtilCallbacks, fill16),
    .premultiply_color16 = MINIHOST_TRAP(PF_UtilCallbacks, premultiply_color16),
    .iterate16 = MINIHOST_TRAP(PF_UtilCallbacks, iterate16),
    .iterate_origin16 = MINIHOST_TRAP(PF_UtilCallbacks, iterate_origin16),
    .iterate_origin_non_clip_src16 =
        MINIHOST_TRAP(PF_UtilCallbacks, iterate_origin_non_clip_src16),
    .get_pixel_data8 = MINIHOST_TRAP(PF_UtilCallbacks, get_pixel_data8),
    .get_pixel_data16 = MINIHOST_TRAP(PF_UtilCallbacks, get_pixel_data16),
    .reserved = {0},
};

}  // namespace

const SPBasicSuite* BasicSuite() { return &kBasicSuite; }

void InstallBasicServices(Host& host) {
  host.suites().Register(kPFHandleSuite, kPFHandleSuiteVersion1, &kHandleSuite1);
  host.suites().Register(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3, &kUtilitySuite3);
  host.util_callbacks() = kUtilCallbacks;
  host.interact_callbacks() = kInteractTraps;
}

void ReportUnexpectedCall(const char* table, const char* entry) {
  std::string what = std::string("unexpected call to ") + table + "." + entry;
  if (Host* host = Host::Current()) {
    host->Problem(std::move(what));
    return;
  }
  std::fprintf(stderr, "minihost: %s outside any command\n", what.c_str());
  std::abort();
}

}  // namespace minihost
