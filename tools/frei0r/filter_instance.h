// One frei0r instance: the effect applied to one layer of the frame's size,
// in a host context of its own on the shared plug-in, rendering every frame
// through the same commands, services and parameter model as
// `prismora render`. Instances share nothing mutable, so a host may run
// them on different threads at once.
#pragma once

#include "frei0r/frei0r_api.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frei0r/catalog.h"
#include "minihost/driver/session.h"
#include "minihost/host/host.h"
#include "minihost/suites/worlds.h"

namespace prismora::frei0r {

class FilterInstance {
 public:
  // Throws minihost::HostError (or std::runtime_error) when the effect
  // cannot be applied; the message names the cause.
  FilterInstance(std::shared_ptr<const minihost::PluginLibrary> plugin, const Catalog& catalog,
                 unsigned width, unsigned height);
  FilterInstance(const FilterInstance&) = delete;
  FilterInstance& operator=(const FilterInstance&) = delete;

  // frei0r's set and get, by the catalog's index; indices outside it are
  // ignored. A value is handed to the plug-in at the next frame, and only
  // when it changes what the plug-in sees.
  void SetParam(int index, const void* value);
  void GetParam(int index, void* value) const;

  // Renders `in` at `seconds` into `out` (the same buffer or not). A frame
  // the plug-in refuses leaves `out` equal to `in`, and the first such
  // refusal is said on stderr.
  //
  // MLT's `threads=N` on a filter cuts each frame into N strips and hands
  // them to one instance made at a strip's size, on N threads at once, as if
  // each were a whole frame: a whole-frame effect cannot be rendered so.
  // That is seen (two renders at once on one instance, or the next strip of
  // a frame right after the last) and from then on every frame passes
  // through unchanged, said once on stderr.
  void Update(double seconds, const uint32_t* in, uint32_t* out);

  unsigned width() const { return width_; }
  unsigned height() const { return height_; }

 private:
  struct Value {
    double number = 0;
    f0r_param_color_t color{};
    std::string text;
  };
  // Sends the values set since the last frame that differ from the
  // plug-in's, as a user's changes.
  void ApplyChanges();
  std::optional<minihost::ParamValue> HostValueOf(PF_ParamIndex index);
  void Tell(const std::string& message);
  void Render(double seconds);
  // Whether `in` at `seconds` is the strip after the last one.
  bool NextStrip(double seconds, const uint32_t* in);

  const Catalog& catalog_;
  unsigned width_, height_;
  minihost::Host host_;
  minihost::Session session_;
  minihost::World input_, output_;
  std::vector<Value> values_;         // by the catalog's index
  std::vector<bool> changed_;         // by the plug-in's index
  std::vector<std::string> told_;     // said on stderr already
  // Hosts that break frei0r's rules (MLT's strips) call one instance on
  // several threads: everything is done under this lock.
  mutable std::mutex mutex_;
  std::atomic<int> updating_{0};      // threads in Update
  std::atomic<bool> sliced_{false};   // strips seen: frames pass through
  std::uintptr_t last_in_ = 0;        // the last frame's input and time
  double last_seconds_ = 0;
};

}  // namespace prismora::frei0r
