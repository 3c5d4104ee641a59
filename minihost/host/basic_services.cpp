#include "minihost/host/basic_services.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

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

constexpr PF_HandleSuite2 kHandleSuite2 = {NewHandle, LockHandle, UnlockHandle, DisposeHandle,
                                           GetHandleSize};

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

constexpr AEGP_UtilitySuite7 kUtilitySuite7 = {RegisterWithAEGP};

// --- ANSI callbacks --------------------------------------------------------------

A_long HostSprintf(A_char* buffer, const A_char* format, ...) {
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
double HostSinh(double x) { return std::sinh(x); }
double HostSqrt(double x) { return std::sqrt(x); }
double HostTan(double x) { return std::tan(x); }
double HostTanh(double x) { return std::tanh(x); }
double HostAsin(double x) { return std::asin(x); }
double HostAcos(double x) { return std::acos(x); }

constexpr PF_ANSICallbacks kAnsi = {
    HostAtan,  HostAtan2, HostCeil, HostCos,  HostExp,  HostFabs,    HostFloor,
    HostFmod,  HostHypot, HostLog,  HostLog10, HostPow, HostSin,     HostSinh,
    HostSqrt,  HostTan,   HostTanh, HostSprintf, HostStrcpy, HostAsin, HostAcos};

}  // namespace

const SPBasicSuite* BasicSuite() { return &kBasicSuite; }

void InstallBasicServices(Host& host) {
  host.suites().Register(kPFHandleSuite, kPFHandleSuiteVersion2, &kHandleSuite2);
  host.suites().Register(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7, &kUtilitySuite7);
  PF_UtilCallbacks& utils = host.util_callbacks();
  utils.host_new_handle = NewHandle;
  utils.host_lock_handle = LockHandle;
  utils.host_unlock_handle = UnlockHandle;
  utils.host_dispose_handle = DisposeHandle;
  utils.host_get_handle_size = GetHandleSize;
  utils.ansi = kAnsi;
}

}  // namespace minihost
