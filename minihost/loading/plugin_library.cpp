#include "minihost/loading/plugin_library.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <string>
#include <utility>

#include "minihost/base/error.h"
#include "minihost/loading/library_file.h"

namespace minihost {
namespace {

constexpr const char* kPluginFileName = "Prismora(64bit).aex";

#if defined(_WIN32)
std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n != 0 && text != nullptr ? std::string(text, n) : std::string();
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return "error " + std::to_string(code) + (message.empty() ? "" : " (" + message + ")");
}

void* OpenModule(const std::filesystem::path& path, std::string& error) {
  // A library that cannot load must fail here with an error code, never stop
  // the process for a system dialog.
  DWORD previous_mode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode);
  // The library's own folder is searched for what it depends on, as a host does.
  HMODULE module = LoadLibraryExW(path.wstring().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD code = GetLastError();
  SetThreadErrorMode(previous_mode, nullptr);
  if (module == nullptr) error = "LoadLibrary failed with " + SystemMessage(code);
  return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

// The PiPL as the system's resource loader finds it in the loaded library.
std::vector<uint8_t> ModulePipl(void* module) {
  const HMODULE m = static_cast<HMODULE>(module);
  const std::string type_name = kPiplResourceType;
  const std::wstring type(type_name.begin(), type_name.end());
  HRSRC info = FindResourceExW(m, type.c_str(), MAKEINTRESOURCEW(kPiplResourceId),
                               kPiplResourceLanguage);
  if (info == nullptr) {
    throw HostError("FindResourceEx finds no PiPL resource: " + SystemMessage(GetLastError()));
  }
  const DWORD size = SizeofResource(m, info);
  HGLOBAL loaded = LoadResource(m, info);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) {
    throw HostError("LoadResource cannot load the PiPL resource: " +
                    SystemMessage(GetLastError()));
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  return {bytes, bytes + size};
}
#else
void* OpenModule(const std::filesystem::path& path, std::string& error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* text = dlerror();
    error = text != nullptr ? text : "dlopen failed";
  }
  return module;
}
void* FindSymbol(void* module, const char* name) { return dlsym(module, name); }
void CloseModule(void* module) { dlclose(module); }
#endif

}  // namespace

std::vector<uint8_t> PluginLibrary::ReadPiplBytes(const std::filesystem::path& path) {
  const std::vector<uint8_t> file = ReadLibraryFile(path);
  try {
    return FindPipl(file);
  } catch (const HostError& e) {
    throw HostError("plug-in '" + path.string() + "': " + e.what());
  }
}

std::shared_ptr<const PluginLibrary> PluginLibrary::Load(const std::filesystem::path& path) {
  std::shared_ptr<PluginLibrary> lib(new PluginLibrary());
  std::error_code ec;
  lib->path_ = std::filesystem::absolute(path, ec);
  if (ec) lib->path_ = path;
  // Errors name the file as the caller wrote it (absolute() rewrites it on Windows).
  lib->pipl_bytes_ = ReadPiplBytes(path);
  try {
    lib->pipl_ = ParsePipl(lib->pipl_bytes_);
  } catch (const HostError& e) {
    throw HostError("plug-in '" + path.string() + "' has a bad PiPL: " + e.what());
  }
  std::string error;
  lib->module_ = OpenModule(lib->path_, error);
  if (lib->module_ == nullptr) {
    throw HostError("cannot load plug-in '" + path.string() + "': " + error);
  }
#if defined(_WIN32)
  // From here on the host works with what the system's loader reports; it
  // must be what was read from the file before any of the library ran.
  try {
    std::vector<uint8_t> loaded = ModulePipl(lib->module_);
    if (loaded != lib->pipl_bytes_) {
      throw HostError("the PiPL resource of the loaded library differs from the one in its file");
    }
    lib->pipl_bytes_ = std::move(loaded);
  } catch (const HostError& e) {
    throw HostError("plug-in '" + path.string() + "': " + e.what());
  }
#endif
  lib->entry_ = reinterpret_cast<PF_EntryPointFunc>(
      FindSymbol(lib->module_, lib->pipl_.entry_point.c_str()));
  if (lib->entry_ == nullptr) {
    throw HostError("plug-in '" + path.string() + "' does not export its entry point '" +
                    lib->pipl_.entry_point + "'");
  }
  return lib;
}

PluginLibrary::~PluginLibrary() {
  if (module_ != nullptr) CloseModule(module_);
}

std::filesystem::path DefaultPluginPath() {
#if defined(_WIN32)
  wchar_t buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
  std::filesystem::path exe(std::wstring(buffer, n));
#else
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
  return exe.parent_path() / kPluginFileName;
}

}  // namespace minihost
