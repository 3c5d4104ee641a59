// One host context rendering the effect: a host of its own on the shared,
// loaded plug-in, the effect applied to a layer of the image's size with the
// user's settings made as a user makes them, and frames rendered one at a
// time on the calling thread. Several renderers may work at once, one per
// thread, on the same plug-in.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "imageio/raster.h"
#include "media/movie_names.h"
#include "minihost/driver/session.h"
#include "minihost/host/host.h"
#include "minihost/suites/worlds.h"

namespace prismora::cli {

// A time in the host's terms: value / scale seconds, frames `step` apart.
struct HostTime {
  A_long value = 0;
  A_long step = 1;
  A_u_long scale = 30;
};

// Frame n, and a time in seconds, at `rate` frames a second, exactly
// (24000/1001 included). Throws UsageError for times the host's 32-bit time
// cannot hold.
HostTime TimeOfFrame(int64_t frame, const media::FrameRate& rate);
HostTime TimeOfSeconds(double seconds, const media::FrameRate& rate);
// A time as the user gives it (1.5, 1.5s, f36), its frames at `rate`.
HostTime TimeOf(const minihost::KeyTime& time, const media::FrameRate& rate);

// Tells the user, on stderr, what the host warns of while rendering (an
// expression's result clamped into its range, an expression that fails at
// some time): once per parameter for the whole run, whichever renderer or
// thread meets it first.
void ReportWarnings(const std::vector<minihost::ParamWarning>& warnings,
                    const std::vector<PF_ParamDef>& declared);

// A command the plug-in failed (its code and message), or a fault that the
// host found in what the plug-in did.
class RenderFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The render stopped because the observer asked it to.
struct RenderStopped {};

// What one of the plug-in's progress reports tells: the share of the frame
// done (0..1), and how many rows from the top of the output are final. The
// plug-in reports every row once it is written, a blur pass's rows after
// all of the main pass's (H or 2H reports), so a row is final once the
// last pass has reported it.
struct RenderProgress {
  double share = 0;
  int final_rows = 0;
};

// Told of each progress report; returns false to stop the render.
using RowObserver = std::function<bool(const RenderProgress&)>;

class EffectRenderer {
 public:
  // Applies the effect to a layer of width x height (of pixels
  // `pixel_aspect` wide for each unit high) with `settings`.
  // Throws minihost::HostError when the host refuses the plug-in,
  // minihost::ParamValueError for a setting it cannot take, RenderFailure
  // when a command fails.
  EffectRenderer(std::shared_ptr<const minihost::PluginLibrary> plugin, int width, int height,
                 const std::vector<minihost::ParamSetting>& settings,
                 media::Fraction pixel_aspect = {});
  EffectRenderer(const EffectRenderer&) = delete;
  EffectRenderer& operator=(const EffectRenderer&) = delete;

  // Renders the effect on `input` at `time` into `output`, a world of the
  // input's size and format (one world can take frame after frame), with the
  // interface moved to that time first (Session::SetTime). Throws
  // RenderFailure, or RenderStopped when `observer` said stop.
  void Render(const minihost::World& input, minihost::World& output, HostTime time,
              const RowObserver& observer = {});
  // The same into a new raster of the input's depth.
  imageio::Raster Render(const minihost::World& input, HostTime time,
                         const RowObserver& observer = {});

  // The settings in effect, one group per parameter (Session::user_settings).
  const std::vector<minihost::ParamSetting>& user_settings() const {
    return session_.user_settings();
  }

 private:
  minihost::Host host_;
  minihost::Session session_;
};

// "PF_Err_OUT_OF_MEMORY" and the like; the number for codes without a name.
std::string ErrorName(PF_Err err);

}  // namespace prismora::cli
