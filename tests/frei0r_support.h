// The frei0r module as hosts see it: loaded with dlopen and driven through
// its f0r_ functions; and the frames the tests feed it.
#pragma once

#ifdef PRISMORA_FREI0R_MODULE_PATH

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

namespace prismora::testing {

struct Frei0rModule {
  int (*init)();
  void (*deinit)();
  void (*get_plugin_info)(f0r_plugin_info_t*);
  void (*get_param_info)(f0r_param_info_t*, int);
  f0r_instance_t (*construct)(unsigned, unsigned);
  void (*destruct)(f0r_instance_t);
  void (*set_param_value)(f0r_instance_t, f0r_param_t, int);
  void (*get_param_value)(f0r_instance_t, f0r_param_t, int);
  void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*);

  // The parameter's index, by name; -1 when the module has none so named.
  int IndexOf(const std::string& name) const {
    f0r_plugin_info_t info{};
    get_plugin_info(&info);
    for (int i = 0; i < info.num_params; ++i) {
      f0r_param_info_t p{};
      get_param_info(&p, i);
      if (name == p.name) return i;
    }
    return -1;
  }
};

// Loaded once per test run, as a host loads it, and never unloaded.
inline const Frei0rModule& Module() {
  static const Frei0rModule module = [] {
    void* so = dlopen(PRISMORA_FREI0R_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (so == nullptr) throw std::runtime_error(dlerror());
    auto sym = [so](const char* name) {
      void* f = dlsym(so, name);
      if (f == nullptr) throw std::runtime_error(std::string("no ") + name);
      return f;
    };
    Frei0rModule m{};
    m.init = reinterpret_cast<int (*)()>(sym("f0r_init"));
    m.deinit = reinterpret_cast<void (*)()>(sym("f0r_deinit"));
    m.get_plugin_info = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(sym("f0r_get_plugin_info"));
    m.get_param_info = reinterpret_cast<void (*)(f0r_param_info_t*, int)>(sym("f0r_get_param_info"));
    m.construct = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(sym("f0r_construct"));
    m.destruct = reinterpret_cast<void (*)(f0r_instance_t)>(sym("f0r_destruct"));
    m.set_param_value =
        reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(sym("f0r_set_param_value"));
    m.get_param_value =
        reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(sym("f0r_get_param_value"));
    m.update = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*)>(
        sym("f0r_update"));
    return m;
  }();
  return module;
}

// Frame `f` of a test clip: hard edges at several angles (where fringes
// show), colours that move from frame to frame, and columns of alpha 0, 128
// and 255 with colour under each, so that straight alpha is seen to pass.
inline std::vector<uint32_t> TestFrame(int width, int height, int f) {
  std::vector<uint32_t> px(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool square = ((x + f) / 8 + y / 8) % 2 == 0;
      const bool diagonal = x + 2 * y > width;
      const unsigned r = square ? 230u : 20u;
      const unsigned g = diagonal ? static_cast<unsigned>(40 + 3 * y) & 255u : 200u;
      const unsigned b = static_cast<unsigned>(7 * x + 31 * f) & 255u;
      const unsigned a = x < width / 5 ? (y % 3 == 0 ? 0u : 128u) : 255u;
      const unsigned char bytes[4] = {static_cast<unsigned char>(r),
                                      static_cast<unsigned char>(g),
                                      static_cast<unsigned char>(b),
                                      static_cast<unsigned char>(a)};
      std::memcpy(&px[static_cast<std::size_t>(y) * width + x], bytes, 4);
    }
  }
  return px;
}

inline void WriteBytes(const std::filesystem::path& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace prismora::testing

#endif  // PRISMORA_FREI0R_MODULE_PATH
