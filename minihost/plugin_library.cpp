#include "minihost/plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <string>

#include "minihost/error.h"
#include "minihost/library_file.h"

namespace minihost {
namespace {

constexpr const char* kPluginFileName = "Prismora(64bit).aex";

#if defined(_WIN32)
void* OpenModule(const std::filesystem::path& path, std::string& error) {
  HMODULE module = LoadLibraryW(path.wstring().c_str());
  if (module == nullptr) error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
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
  lib->pipl_bytes_ = ReadPiplBytes(lib->path_);
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
