#include "frei0r/filter_instance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "frei0r/host_time.h"
#include "frei0r/pixels.h"
#include "minihost/base/error.h"
#include "minihost/driver/frame.h"

namespace prismora::frei0r {
namespace {

A_long Side(unsigned n, const char* what) {
  if (n == 0 || n > static_cast<unsigned>(std::numeric_limits<A_long>::max() / 4)) {
    throw minihost::HostError(std::string("a frame ") + what + " of " + std::to_string(n) +
                              " pixels");
  }
  return static_cast<A_long>(n);
}

bool Supervised(const PF_ParamDef& def) { return (def.flags & PF_ParamFlag_SUPERVISE) != 0; }

// Whether the plug-in would see the same value.
bool SameValue(const PF_ParamDef& def, const PF_ParamDefUnion& u) {
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: return u.fd.value == def.u.fd.value;
    case PF_Param_FLOAT_SLIDER: return u.fs_d.value == def.u.fs_d.value;
    case PF_Param_SLIDER: return u.sd.value == def.u.sd.value;
    case PF_Param_CHECKBOX: return (u.bd.value != 0) == (def.u.bd.value != 0);
    case PF_Param_POPUP: return u.pd.value == def.u.pd.value;
    case PF_Param_COLOR:
      return u.cd.value.alpha == def.u.cd.value.alpha && u.cd.value.red == def.u.cd.value.red &&
             u.cd.value.green == def.u.cd.value.green && u.cd.value.blue == def.u.cd.value.blue;
    case PF_Param_POINT:
      return u.td.x_value == def.u.td.x_value && u.td.y_value == def.u.td.y_value;
    default: return true;
  }
}

std::string Failed(minihost::Host& host, const char* what, PF_Err err) {
  std::string message =
      std::string("the plug-in's ") + what + " failed with error " + std::to_string(err);
  if (!host.return_msg().empty()) message += ": \"" + host.return_msg() + "\"";
  return message;
}

// A command's failure, or what the host's audit found after it.
void Check(minihost::Host& host, const char* what, PF_Err err) {
  if (err != PF_Err_NONE) throw std::runtime_error(Failed(host, what, err));
  if (!host.problems().empty()) {
    throw std::runtime_error(std::string("after the plug-in's ") + what +
                             " the host found: " + host.problems().front());
  }
}

}  // namespace

FilterInstance::FilterInstance(std::shared_ptr<const minihost::PluginLibrary> plugin,
                               const Catalog& catalog, unsigned width, unsigned height)
    : catalog_(catalog),
      width_(width),
      height_(height),
      host_(std::move(plugin)),
      session_(host_, Side(width, "width"), Side(height, "height")),
      input_(Side(width, "width"), Side(height, "height"), PF_PixelFormat_ARGB32),
      output_(input_.width(), input_.height(), PF_PixelFormat_ARGB32) {
  if (const PF_Err err = session_.Start(); err != PF_Err_NONE) {
    throw std::runtime_error(Failed(host_, "set-up", err));
  }
  values_.resize(catalog_.entries.size());
  for (std::size_t i = 0; i < values_.size(); ++i) {
    const Entry& e = catalog_.entries[i];
    values_[i].number = e.default_number;
    values_[i].text = e.default_text;
    values_[i].color = {e.default_color.red / 255.0f, e.default_color.green / 255.0f,
                        e.default_color.blue / 255.0f};
  }
  changed_.assign(session_.params().declared().size(), false);
}

void FilterInstance::SetParam(int index, const void* value) {
  if (index < 0 || static_cast<std::size_t>(index) >= values_.size() || value == nullptr) return;
  std::lock_guard lock(mutex_);
  const Entry& e = catalog_.entries[static_cast<std::size_t>(index)];
  Value& v = values_[static_cast<std::size_t>(index)];
  switch (e.frei0r_type) {
    case F0R_PARAM_COLOR: v.color = *static_cast<const f0r_param_color_t*>(value); break;
    case F0R_PARAM_STRING: {
      const char* text = *static_cast<const f0r_param_string*>(value);
      v.text = text != nullptr ? text : "";
      break;
    }
    default: v.number = *static_cast<const double*>(value); break;
  }
  changed_[static_cast<std::size_t>(e.index)] = true;
}

void FilterInstance::GetParam(int index, void* value) const {
  if (index < 0 || static_cast<std::size_t>(index) >= values_.size() || value == nullptr) return;
  std::lock_guard lock(mutex_);
  const Entry& e = catalog_.entries[static_cast<std::size_t>(index)];
  const Value& v = values_[static_cast<std::size_t>(index)];
  switch (e.frei0r_type) {
    case F0R_PARAM_COLOR: *static_cast<f0r_param_color_t*>(value) = v.color; break;
    case F0R_PARAM_STRING:
      *static_cast<f0r_param_string*>(value) = const_cast<char*>(v.text.c_str());
      break;
    default: *static_cast<double*>(value) = v.number; break;
  }
}

std::optional<minihost::ParamValue> FilterInstance::HostValueOf(PF_ParamIndex index) {
  minihost::PointValue point{0, 0};
  bool is_point = false;
  for (std::size_t i = 0; i < catalog_.entries.size(); ++i) {
    const Entry& e = catalog_.entries[i];
    if (e.index != index) continue;
    const Value& v = values_[i];
    switch (e.kind) {
      case Kind::kCheckbox: return minihost::ParamValue{v.number >= 0.5};
      case Kind::kSlider: {
        const std::optional<double> number = SliderValue(e, v.number);
        if (!number) return std::nullopt;
        return minihost::ParamValue{minihost::SliderValue{*number}};
      }
      case Kind::kPopup: {
        const std::optional<A_long> choice = ChoiceOf(e, v.text);
        if (!choice) {
          std::string list;
          for (const std::string& c : e.choices) list += (list.empty() ? "" : ", ") + c;
          Tell("\"" + e.name + "\" has no choice \"" + v.text + "\" (its choices: " + list +
               ", or their numbers from 1); it stays as it was");
          return std::nullopt;
        }
        return minihost::ParamValue{minihost::PopupValue{*choice}};
      }
      case Kind::kColor:
        return minihost::ParamValue{
            PF_Pixel{255, ChannelByte(v.color.r), ChannelByte(v.color.g), ChannelByte(v.color.b)}};
      case Kind::kPointX:
      case Kind::kPointY: {
        if (std::isnan(v.number)) return std::nullopt;
        const double side = e.kind == Kind::kPointX ? width_ : height_;
        (e.kind == Kind::kPointX ? point.x : point.y) = std::clamp(v.number, 0.0, 1.0) * side;
        is_point = true;
        break;
      }
    }
  }
  if (is_point) return minihost::ParamValue{point};
  return std::nullopt;
}

void FilterInstance::ApplyChanges() {
  minihost::ParamService& params = session_.params();
  const std::vector<PF_ParamDef>& declared = params.declared();
  // The controls that are not supervised first, so that the last supervised
  // change sees every final value (as `prismora render` applies settings).
  for (const bool supervised : {false, true}) {
    for (std::size_t i = 0; i < changed_.size(); ++i) {
      if (!changed_[i] || Supervised(declared[i]) != supervised) continue;
      changed_[i] = false;
      const auto index = static_cast<PF_ParamIndex>(i);
      const std::optional<minihost::ParamValue> value = HostValueOf(index);
      if (!value) continue;
      try {
        const PF_ParamDefUnion u = params.Checked(session_.instance(), index, *value);
        if (SameValue(session_.Params()[i].def, u)) continue;
        if (const PF_Err err = session_.ChangeParam(index, *value); err != PF_Err_NONE) {
          Tell(Failed(host_, "answer to a change of its settings", err));
        }
      } catch (const std::exception& e) {
        Tell(e.what());
      }
    }
  }
}

void FilterInstance::Render(double seconds) {
  const HostTime time = HostTimeOf(seconds);
  // The interface at the frame's time, as `prismora render` moves it.
  Check(host_, "update of its controls", session_.SetTime(time.seconds()));
  minihost::Frame frame(host_, session_.instance(), input_, output_);
  // The frame's length is nothing frei0r says; nothing in the render reads it.
  frame.set_time(time.value, 1, time.scale);
  Check(host_, "pre-render", frame.PreRender());
  Check(host_, "render", frame.Render());
  frame.DeletePreRenderData();
  Check(host_, "deletion of its pre-render data", PF_Err_NONE);
  for (const minihost::ParamWarning& w : session_.params().TakeWarnings()) Tell(w.message);
}

bool FilterInstance::NextStrip(double seconds, const uint32_t* in) {
  const auto at = reinterpret_cast<std::uintptr_t>(in);
  const bool next = last_in_ != 0 && seconds == last_seconds_ &&
                    at == last_in_ + std::uintptr_t{width_} * height_ * 4;
  last_in_ = at;
  last_seconds_ = seconds;
  return next;
}

void FilterInstance::Update(double seconds, const uint32_t* in, uint32_t* out) {
  if (updating_.fetch_add(1) > 0) sliced_ = true;
  struct Leave {
    std::atomic<int>& n;
    ~Leave() { --n; }
  } leave{updating_};
  std::lock_guard lock(mutex_);
  const std::size_t count = static_cast<std::size_t>(width_) * height_;
  auto pass_through = [&](const std::string& why) {
    if (out != in) std::memcpy(out, in, count * 4);
    Tell(why + "; the frame is passed through unchanged");
  };
  if (NextStrip(seconds, in)) sliced_ = true;
  if (sliced_) {
    pass_through(
        "the host cuts frames into strips (MLT's threads=N on the filter), which a whole-frame "
        "effect cannot render: remove threads= from the filter (MLT's real_time=-2 renders "
        "frames in parallel instead)");
    return;
  }
  try {
    ApplyChanges();
    // The input is copied in before anything is written, so `in` and `out`
    // may be the same buffer.
    ArgbFromRgba(in, input_.row(0), count);
    Render(seconds);
    RgbaFromArgb(sliced_ ? input_.row(0) : output_.row(0), out, count);
  } catch (const std::exception& e) {
    pass_through(e.what());
  } catch (...) {
    pass_through("the render failed");
  }
}

void FilterInstance::Tell(const std::string& message) {
  for (const std::string& m : told_) {
    if (m == message) return;
  }
  told_.push_back(message);
  std::fprintf(stderr, "prismora (frei0r): %s\n", message.c_str());
}

}  // namespace prismora::frei0r
