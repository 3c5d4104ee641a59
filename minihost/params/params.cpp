#include "minihost/params/params.h"

#include <cmath>
#include <cstring>

#include "minihost/params/param_text.h"

namespace minihost {
namespace {

// Marks the records PF_GetCurrentState hands out: 'PSt1'.
constexpr A_long kStateMagic = 0x50537431;

bool IsSlider(PF_ParamType type) {
  return type == PF_Param_FIX_SLIDER || type == PF_Param_FLOAT_SLIDER || type == PF_Param_SLIDER;
}

double StaticNumber(const PF_ParamDef& def) {
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: return def.u.fd.value / 65536.0;
    case PF_Param_FLOAT_SLIDER: return def.u.fs_d.value;
    case PF_Param_SLIDER: return def.u.sd.value;
    default: return 0.0;
  }
}

void ValidRange(const PF_ParamDef& def, double& lo, double& hi) {
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
      lo = def.u.fd.valid_min / 65536.0;
      hi = def.u.fd.valid_max / 65536.0;
      return;
    case PF_Param_FLOAT_SLIDER:
      lo = def.u.fs_d.valid_min;
      hi = def.u.fs_d.valid_max;
      return;
    case PF_Param_SLIDER:
      lo = def.u.sd.valid_min;
      hi = def.u.sd.valid_max;
      return;
    default:
      lo = -1e300;
      hi = 1e300;
  }
}

// FNV-1a, enough to tell values apart.
class Hasher {
 public:
  void Add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
      hash_ ^= bytes[i];
      hash_ *= 0x100000001B3ull;
    }
  }
  template <class T>
  void Add(const T& value) {
    Add(&value, sizeof value);
  }
  uint64_t value() const { return hash_; }

 private:
  uint64_t hash_ = 0xCBF29CE484222325ull;
};

uint64_t ValueHash(const HostParam& p) {
  Hasher h;
  const PF_ParamDef& def = p.def;
  h.Add(def.param_type);
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: h.Add(def.u.fd.value); break;
    case PF_Param_FLOAT_SLIDER: h.Add(def.u.fs_d.value); break;
    case PF_Param_SLIDER: h.Add(def.u.sd.value); break;
    case PF_Param_CHECKBOX: h.Add(def.u.bd.value); break;
    case PF_Param_POPUP: h.Add(def.u.pd.value); break;
    case PF_Param_COLOR: h.Add(def.u.cd.value); break;
    case PF_Param_POINT:
      h.Add(def.u.td.x_value);
      h.Add(def.u.td.y_value);
      break;
    default: break;
  }
  h.Add(p.expression.data(), p.expression.size());
  return h.value();
}

std::string Quoted(const PF_ParamDef& def, PF_ParamIndex index) {
  return "\"" + DisplayName(def, index) + "\"";
}

template <class T>
const T& Expect(const ParamValue& value, const PF_ParamDef& def, PF_ParamIndex index,
                const char* what) {
  if (const T* v = std::get_if<T>(&value)) return *v;
  throw ParamValueError(Quoted(def, index) + " is a " + TypeName(def.param_type) + " and takes " +
                        what);
}

// `what` names the part of a value that is checked ("x ", "y "), if any.
void CheckRange(const PF_ParamDef& def, PF_ParamIndex index, double v, double lo, double hi,
                const char* what = "") {
  if (!std::isfinite(v)) {
    throw ParamValueError(Quoted(def, index) + ": " + what + FormatNumber(v) +
                          " is not a finite number");
  }
  if (v < lo || v > hi) {
    throw ParamValueError(Quoted(def, index) + ": " + what + FormatNumber(v) +
                          " is outside the valid range " + FormatNumber(lo) + " to " +
                          FormatNumber(hi));
  }
}

}  // namespace

std::string DisplayName(const PF_ParamDef& def, PF_ParamIndex index) {
  if (index == 0) return "(input layer)";
  const std::size_t n =
      strnlen(def.name_do_not_use_directly, sizeof def.name_do_not_use_directly);
  if (n == 0) return def.param_type == PF_Param_GROUP_END ? "(group end)" : "(unnamed)";
  return std::string(def.name_do_not_use_directly, n);
}

std::vector<std::string> PopupChoices(const PF_ParamDef& def) {
  std::vector<std::string> out;
  if (def.param_type != PF_Param_POPUP || def.u.pd.u.namesptr == nullptr) return out;
  std::string_view all(def.u.pd.u.namesptr);
  for (;;) {
    const std::size_t bar = all.find('|');
    out.emplace_back(all.substr(0, bar));
    if (bar == std::string_view::npos) break;
    all.remove_prefix(bar + 1);
  }
  return out;
}

struct ParamCallbacks {
  static ParamService* Service() {
    Host* host = Host::Current();
    return host != nullptr ? host->FindService<ParamService>() : nullptr;
  }

  static PF_Err AddParam(PF_ProgPtr /*effect_ref*/, PF_ParamIndex index, PF_ParamDefPtr def) {
    ParamService* service = Service();
    if (service == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = service->host_.faults().Enter("add_param")) return failure->code;
    if (def == nullptr) {
      service->host_.Problem("add_param called without a definition");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (index != -1) {
      service->host_.Problem("add_param with index " + std::to_string(index) +
                             "; only -1 (append) is supported");
      return PF_Err_INVALID_INDEX;
    }
    if (std::string problem = service->Declare(*def); !problem.empty()) {
      service->host_.Problem("add_param of parameter " +
                             std::to_string(service->declared_.size()) + ": " + problem);
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    return PF_Err_NONE;
  }

  static PF_Err CheckoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                              A_long time_step, A_u_long time_scale, PF_ParamDef* param) {
    ParamService* service = Service();
    if (service == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = service->host_.faults().Enter("checkout_param")) return failure->code;
    Instance* instance = service->host_.InstanceFromRef(effect_ref);
    if (instance == nullptr || param == nullptr) {
      service->host_.Problem("checkout_param with a foreign effect reference or no destination");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const PF_Err err =
        service->Checkout(*instance, index, what_time, time_step, time_scale, param);
    if (err == PF_Err_NONE) ++service->outstanding_checkouts_;
    return err;
  }

  static PF_Err CheckinParam(PF_ProgPtr /*effect_ref*/, PF_ParamDef* /*param*/) {
    ParamService* service = Service();
    if (service == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    service->host_.faults().Enter("checkin_param");
    if (service->outstanding_checkouts_ == 0) {
      service->host_.Problem("checkin_param without a checkout");
    } else {
      --service->outstanding_checkouts_;
    }
    return PF_Err_NONE;
  }
};

ParamService& ParamService::Install(Host& host) {
  if (ParamService* existing = host.FindService<ParamService>()) return *existing;
  auto& service = host.AddService(std::make_unique<ParamService>(host));
  host.interact_callbacks().add_param = ParamCallbacks::AddParam;
  host.interact_callbacks().checkout_param = ParamCallbacks::CheckoutParam;
  host.interact_callbacks().checkin_param = ParamCallbacks::CheckinParam;
  return service;
}

// Checks a definition the way a host refuses malformed ones, and keeps it
// with host-owned copies of the texts it points to.
std::string ParamService::Declare(PF_ParamDef def) {
  constexpr std::size_t kNameSize = sizeof def.name_do_not_use_directly;
  if (strnlen(def.name_do_not_use_directly, kNameSize) == kNameSize) {
    return "the name is not terminated within " + std::to_string(kNameSize) + " bytes";
  }
  if (def.param_type == PF_Param_POPUP) {
    if (def.u.pd.u.namesptr == nullptr) return "a popup without choices";
    const std::size_t count = PopupChoices(def).size();
    if (def.u.pd.num_choices <= 0 || count != static_cast<std::size_t>(def.u.pd.num_choices)) {
      return "a popup declaring " + std::to_string(def.u.pd.num_choices) +
             " choices with a text of " + std::to_string(count);
    }
    def.u.pd.u.namesptr = texts_.emplace_back(def.u.pd.u.namesptr).c_str();
  }
  if (def.param_type == PF_Param_CHECKBOX && def.u.bd.u.nameptr != nullptr) {
    def.u.bd.u.nameptr = texts_.emplace_back(def.u.bd.u.nameptr).c_str();
  }
  declared_.push_back(def);
  return {};
}

PF_Err ParamService::ParamsSetup() {
  declared_.clear();
  PF_ParamDef input{};
  input.param_type = PF_Param_LAYER;
  declared_.push_back(input);
  return host_.Send(PF_Cmd_PARAMS_SETUP, nullptr);
}

void ParamService::SetLayerSize(A_long width, A_long height) {
  layer_width_ = width;
  layer_height_ = height;
}

ParamService::InstanceParams& ParamService::Of(Instance& instance) {
  auto it = instances_.find(&instance);
  if (it != instances_.end()) return it->second;
  InstanceParams data;
  data.serial = next_serial_++;
  for (const PF_ParamDef& def : declared_) {
    HostParam p;
    p.def = def;
    if (def.param_type == PF_Param_POINT) {
      // Declared in percent of the layer (16.16); delivered in 16.16 pixels.
      auto to_pixels = [](PF_Fixed percent, A_long size) {
        return static_cast<PF_Fixed>(static_cast<int64_t>(percent) * size / 100);
      };
      p.def.u.td.x_value = to_pixels(def.u.td.x_dephault, layer_width_);
      p.def.u.td.y_value = to_pixels(def.u.td.y_dephault, layer_height_);
    }
    data.params.push_back(p);
  }
  return instances_.emplace(&instance, std::move(data)).first->second;
}

std::vector<HostParam>& ParamService::Params(Instance& instance) { return Of(instance).params; }

std::vector<PF_ParamDef*> ParamService::ParamList(Instance& instance) {
  std::vector<PF_ParamDef*> list;
  for (HostParam& p : Params(instance)) list.push_back(&p.def);
  return list;
}

HostParam& ParamService::At(Instance& instance, PF_ParamIndex index) {
  std::vector<HostParam>& params = Params(instance);
  if (index < 0 || static_cast<std::size_t>(index) >= params.size()) {
    throw ParamValueError("no parameter with index " + std::to_string(index) + " (there are " +
                          std::to_string(params.size()) + ")");
  }
  return params[static_cast<std::size_t>(index)];
}

PF_ParamIndex ParamService::IndexOf(std::string_view name) const {
  return FindParam(declared_, name);
}

void ParamService::Set(Instance& instance, std::string_view name, const ParamValue& value) {
  Set(instance, IndexOf(name), value);
}

void ParamService::Set(Instance& instance, PF_ParamIndex index, const ParamValue& value) {
  HostParam& p = At(instance, index);
  PF_ParamDef& def = p.def;
  double lo = 0, hi = 0;
  ValidRange(def, lo, hi);
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: {
      const double v = Expect<SliderValue>(value, def, index, "a number").value;
      CheckRange(def, index, v, lo, hi);
      def.u.fd.value = FixedFromDouble(v);
      return;
    }
    case PF_Param_FLOAT_SLIDER: {
      const double v = Expect<SliderValue>(value, def, index, "a number").value;
      CheckRange(def, index, v, lo, hi);
      def.u.fs_d.value = v;
      return;
    }
    case PF_Param_SLIDER: {
      const double v = Expect<SliderValue>(value, def, index, "a number").value;
      CheckRange(def, index, v, lo, hi);
      if (v != std::trunc(v)) {
        throw ParamValueError(Quoted(def, index) + " takes whole numbers, not " + FormatNumber(v));
      }
      def.u.sd.value = static_cast<A_long>(v);
      return;
    }
    case PF_Param_CHECKBOX:
      def.u.bd.value = Expect<bool>(value, def, index, "on or off") ? 1 : 0;
      return;
    case PF_Param_POPUP: {
      const A_long choice = Expect<PopupValue>(value, def, index, "one of its choices").choice;
      if (choice < 1 || choice > def.u.pd.num_choices) {
        throw ParamValueError(Quoted(def, index) + ": choice " + std::to_string(choice) +
                              " is outside the valid range 1 to " +
                              std::to_string(def.u.pd.num_choices));
      }
      def.u.pd.value = choice;
      return;
    }
    case PF_Param_COLOR:
      def.u.cd.value = Expect<PF_Pixel>(value, def, index, "a colour");
      return;
    case PF_Param_POINT: {
      const PointValue& pt = Expect<PointValue>(value, def, index, "a point X,Y");
      const double x = pt.x_percent ? pt.x * layer_width_ / 100.0 : pt.x;
      const double y = pt.y_percent ? pt.y * layer_height_ / 100.0 : pt.y;
      // Bounded points stay on the layer; others within what 16.16 holds.
      const bool bounded = def.u.td.restrict_bounds != 0;
      CheckRange(def, index, x, bounded ? 0.0 : -32768.0, bounded ? layer_width_ : 32767.0,
                 "x ");
      CheckRange(def, index, y, bounded ? 0.0 : -32768.0, bounded ? layer_height_ : 32767.0,
                 "y ");
      def.u.td.x_value = FixedFromDouble(x);
      def.u.td.y_value = FixedFromDouble(y);
      return;
    }
    case PF_Param_LAYER:
      throw ParamValueError("the input layer is the host's own and takes no value");
    default:
      throw ParamValueError(Quoted(def, index) + " is a " + TypeName(def.param_type) +
                            " and holds no value");
  }
}

void ParamService::SetExpression(Instance& instance, PF_ParamIndex index, std::string text) {
  At(instance, index).expression = std::move(text);
}

ExpressionResult ParamService::Evaluate(Instance& instance, PF_ParamIndex index, double seconds) {
  const HostParam& p = At(instance, index);
  ExpressionContext ctx;
  ctx.time = seconds;
  ctx.static_value = StaticNumber(p.def);
  ValidRange(p.def, ctx.valid_min, ctx.valid_max);
  if (p.expression.empty() || !IsSlider(p.def.param_type)) {
    ExpressionResult result;
    result.ok = true;
    result.value = ctx.static_value;
    return result;
  }
  return EvaluateExpression(p.expression, ctx);
}

std::vector<uint64_t> ParamService::ValueHashes(const InstanceParams& data) const {
  std::vector<uint64_t> hashes;
  hashes.reserve(data.params.size());
  for (const HostParam& p : data.params) hashes.push_back(ValueHash(p));
  return hashes;
}

PF_State ParamService::CurrentState(Instance& instance) {
  InstanceParams& data = Of(instance);
  std::vector<uint64_t> hashes = ValueHashes(data);
  Hasher combined;
  // The layer (index 0) is left out: its changes are not the plug-in's.
  for (std::size_t i = 1; i < hashes.size(); ++i) combined.Add(hashes[i]);
  const uint64_t key = combined.value();
  data.states.emplace(key, std::move(hashes));
  PF_State state{};
  state.reservedAL[0] = kStateMagic;
  state.reservedAL[1] = static_cast<A_long>(data.serial);
  state.reservedAL[2] = static_cast<A_long>(static_cast<uint32_t>(key));
  state.reservedAL[3] = static_cast<A_long>(static_cast<uint32_t>(key >> 32));
  return state;
}

std::optional<bool> ParamService::ChangedSince(Instance& instance, const PF_State& state,
                                               PF_ParamIndex index) {
  InstanceParams& data = Of(instance);
  if (state.reservedAL[0] != kStateMagic || state.reservedAL[1] != static_cast<A_long>(data.serial)) {
    return std::nullopt;
  }
  const uint64_t key = static_cast<uint32_t>(state.reservedAL[2]) |
                       (static_cast<uint64_t>(static_cast<uint32_t>(state.reservedAL[3])) << 32);
  auto it = data.states.find(key);
  if (it == data.states.end()) return std::nullopt;
  const std::vector<uint64_t> now = ValueHashes(data);
  const std::vector<uint64_t>& then = it->second;
  if (index >= 0) {
    if (index == 0) return false;  // layers are not tracked
    const auto i = static_cast<std::size_t>(index);
    return i < now.size() && (i >= then.size() || now[i] != then[i]);
  }
  for (std::size_t i = 1; i < now.size(); ++i) {
    if (i >= then.size() || now[i] != then[i]) return true;
  }
  return false;
}

PF_Err ParamService::Checkout(Instance& instance, PF_ParamIndex index, A_long what_time,
                              A_long /*time_step*/, A_u_long time_scale, PF_ParamDef* out) {
  std::vector<HostParam>& params = Params(instance);
  if (index < 0 || static_cast<std::size_t>(index) >= params.size()) {
    return PF_Err_INVALID_INDEX;
  }
  if (time_scale == 0) {
    host_.Problem("checkout_param with a time scale of 0");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const HostParam& p = params[static_cast<std::size_t>(index)];
  *out = p.def;
  if (p.expression.empty() || !IsSlider(p.def.param_type)) return PF_Err_NONE;
  // A failing expression leaves the static value, as a host shows it.
  const ExpressionResult result =
      Evaluate(instance, index, static_cast<double>(what_time) / static_cast<double>(time_scale));
  switch (out->param_type) {
    case PF_Param_FIX_SLIDER: out->u.fd.value = FixedFromDouble(result.value); break;
    case PF_Param_FLOAT_SLIDER: out->u.fs_d.value = result.value; break;
    default: out->u.sd.value = static_cast<A_long>(std::lround(result.value)); break;
  }
  return PF_Err_NONE;
}

void ParamService::Audit(std::vector<std::string>& problems) {
  if (outstanding_checkouts_ != 0) {
    problems.push_back(std::to_string(outstanding_checkouts_) +
                       " checked-out parameter(s) not checked in");
    outstanding_checkouts_ = 0;
  }
}

}  // namespace minihost
