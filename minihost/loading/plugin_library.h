// A plug-in library loaded the way a host loads one: its PiPL is read from
// the file first, then the library is mapped and the entry point that the
// PiPL names is resolved.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "host/ae_indata.h"
#include "minihost/loading/pipl.h"

namespace minihost {

class PluginLibrary {
 public:
  // Throws HostError naming the file and what went wrong.
  static std::shared_ptr<const PluginLibrary> Load(const std::filesystem::path& path);
  // The PiPL alone, read from the file without loading it.
  static std::vector<uint8_t> ReadPiplBytes(const std::filesystem::path& path);

  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const std::vector<uint8_t>& pipl_bytes() const { return pipl_bytes_; }
  const PiplInfo& pipl() const { return pipl_; }
  PF_EntryPointFunc entry() const { return entry_; }

 private:
  PluginLibrary() = default;

  std::filesystem::path path_;
  std::vector<uint8_t> pipl_bytes_;
  PiplInfo pipl_;
  void* module_ = nullptr;
  PF_EntryPointFunc entry_ = nullptr;
};

// The plug-in built next to the running program, where the build puts it.
std::filesystem::path DefaultPluginPath();

}  // namespace minihost
