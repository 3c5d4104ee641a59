// The frei0r entry points. The plug-in library is found beside this module
// or where the package puts it, loaded by the first instance and set down
// with the last one; the list of parameters is read from it once and kept.
// f0r_init and f0r_deinit hold nothing: hosts call them several times and
// out of order (ffmpeg), or never deinit (MLT, GStreamer).
#include <dlfcn.h>
#include "frei0r/frei0r_api.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "frei0r/catalog.h"
#include "frei0r/filter_instance.h"
#include "minihost/loading/plugin_library.h"

#define PRISMORA_F0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace prismora::frei0r {
namespace {

constexpr const char* kPluginFileName = "Prismora(64bit).aex";

// Where the plug-in library is: PRISMORA_FREI0R_PLUGIN when set, else the
// first that exists of this module's folder, its parent (the build tree),
// and ../../bin from it (lib/frei0r-1 to bin, as installed).
std::filesystem::path PluginPath() {
  if (const char* env = std::getenv("PRISMORA_FREI0R_PLUGIN"); env != nullptr && *env != 0) {
    return env;
  }
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PluginPath), &info) == 0 || info.dli_fname == nullptr) {
    return kPluginFileName;
  }
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::weakly_canonical(info.dli_fname, ec).parent_path();
  if (ec) dir = std::filesystem::path(info.dli_fname).parent_path();
  const std::filesystem::path candidates[] = {dir / kPluginFileName,
                                              dir.parent_path() / kPluginFileName,
                                              dir.parent_path().parent_path() / "bin" /
                                                  kPluginFileName};
  for (const auto& c : candidates) {
    if (std::filesystem::exists(c, ec)) return c;
  }
  return candidates[2];
}

struct Module {
  std::mutex mutex;
  std::weak_ptr<const minihost::PluginLibrary> library;  // while an instance holds it
  std::optional<Catalog> catalog;
  std::string failure;  // why there is no catalog
  bool told = false;
};

Module& TheModule() {
  static Module module;
  return module;
}

// Under the module's lock.
std::shared_ptr<const minihost::PluginLibrary> LibraryLocked(Module& m) {
  if (auto held = m.library.lock()) return held;
  auto loaded = minihost::PluginLibrary::Load(PluginPath());
  m.library = loaded;
  return loaded;
}

void TellLocked(Module& m) {
  if (m.told) return;
  m.told = true;
  std::fprintf(stderr, "prismora (frei0r): %s\n", m.failure.c_str());
}

// The parameters, read once; null (said once on stderr) when the plug-in
// cannot be loaded or set up.
const Catalog* TheCatalog() {
  Module& m = TheModule();
  std::lock_guard lock(m.mutex);
  if (!m.catalog && m.failure.empty()) {
    try {
      m.catalog = ReadCatalog(LibraryLocked(m));
    } catch (const std::exception& e) {
      m.failure = std::string("cannot set up the Prismora plug-in: ") + e.what();
    }
  }
  if (!m.catalog) {
    TellLocked(m);
    return nullptr;
  }
  return &*m.catalog;
}

}  // namespace
}  // namespace prismora::frei0r

using prismora::frei0r::FilterInstance;

PRISMORA_F0R_EXPORT int f0r_init() { return prismora::frei0r::TheCatalog() != nullptr ? 1 : 0; }

PRISMORA_F0R_EXPORT void f0r_deinit() {}

PRISMORA_F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (info == nullptr) return;
  const prismora::frei0r::Catalog* catalog = prismora::frei0r::TheCatalog();
  info->name = "prismora";
  info->author = "Norvik";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 1;
  info->minor_version = 0;
  info->num_params = catalog != nullptr ? static_cast<int>(catalog->entries.size()) : 0;
  info->explanation =
      "Prismora: radial colour fringing, rendered by the Prismora plug-in itself (as prismora "
      "render). Numbers 0 to 1 map onto each control's range";
}

PRISMORA_F0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  const prismora::frei0r::Catalog* catalog = prismora::frei0r::TheCatalog();
  if (info == nullptr || catalog == nullptr || param_index < 0 ||
      static_cast<std::size_t>(param_index) >= catalog->entries.size()) {
    return;
  }
  const prismora::frei0r::Entry& e = catalog->entries[static_cast<std::size_t>(param_index)];
  info->name = e.name.c_str();
  info->type = e.frei0r_type;
  info->explanation = e.explanation.c_str();
}

PRISMORA_F0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  const prismora::frei0r::Catalog* catalog = prismora::frei0r::TheCatalog();
  if (catalog == nullptr) return nullptr;
  prismora::frei0r::Module& m = prismora::frei0r::TheModule();
  try {
    std::shared_ptr<const minihost::PluginLibrary> library;
    {
      std::lock_guard lock(m.mutex);
      library = prismora::frei0r::LibraryLocked(m);
    }
    return new FilterInstance(std::move(library), *catalog, width, height);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "prismora (frei0r): cannot apply the effect to a %ux%u frame: %s\n",
                 width, height, e.what());
    return nullptr;
  }
}

PRISMORA_F0R_EXPORT void f0r_destruct(f0r_instance_t instance) {
  // The instance's host goes first; the library with the last holder of it.
  delete static_cast<FilterInstance*>(instance);
}

PRISMORA_F0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param,
                                            int param_index) {
  if (instance != nullptr) static_cast<FilterInstance*>(instance)->SetParam(param_index, param);
}

PRISMORA_F0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param,
                                            int param_index) {
  if (instance != nullptr) static_cast<FilterInstance*>(instance)->GetParam(param_index, param);
}

PRISMORA_F0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                                   uint32_t* outframe) {
  if (instance == nullptr || inframe == nullptr || outframe == nullptr) return;
  static_cast<FilterInstance*>(instance)->Update(time, inframe, outframe);
}

PRISMORA_F0R_EXPORT void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                                    const uint32_t*, const uint32_t*, uint32_t* outframe) {
  f0r_update(instance, time, inframe1, outframe);
}
