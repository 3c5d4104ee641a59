#include "minihost/params/params.h"

#include <algorithm>
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

double StaticNumber(const PF_ParamDef& def) { return SliderNumbersOf(def).value; }

void ValidRange(const PF_ParamDef& def, double& lo, double& hi) {
  const SliderNumbers numbers = SliderNumbersOf(def);
  lo = numbers.valid_min;
  hi = numbers.valid_max;
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

void AddValue(Hasher& h, PF_ParamType type, const PF_ParamDefUnion& u) {
  switch (type) {
    case PF_Param_FIX_SLIDER: h.Add(u.fd.value); break;
    case PF_Param_FLOAT_SLIDER: h.Add(u.fs_d.value); break;
    case PF_Param_SLIDER: h.Add(u.sd.value); break;
    case PF_Param_CHECKBOX: h.Add(u.bd.value); break;
    case PF_Param_POPUP: h.Add(u.pd.value); break;
    case PF_Param_COLOR: h.Add(u.cd.value); break;
    case PF_Param_POINT:
      h.Add(u.td.x_value);
      h.Add(u.td.y_value);
      break;
    default: break;
  }
}

uint64_t ValueHash(const HostParam& p) {
  Hasher h;
  const PF_ParamDef& def = p.def;
  h.Add(def.param_type);
  AddValue(h, def.param_type, def.u);
  h.Add(p.expression.data(), p.expression.size());
  // Keyframes change what every time sees; none leaves the hash as it was.
  for (const Keyframe& k : p.keyframes) {
    h.Add(k.seconds);
    AddValue(h, def.param_type, k.value);
  }
  return h.value();
}

std::string Quoted(const PF_ParamDef& def, PF_ParamIndex index) {
  std::string out = "\"";
  out += DisplayName(def, index);
  out += '"';
  return out;
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

// Bounded points stay on the layer; others within what 16.16 holds.
void PointBounds(const PF_ParamDef& def, A_long width, A_long height, double& x_lo,
                 double& x_hi, double& y_lo, double& y_hi) {
  const bool bounded = def.u.td.restrict_bounds != 0;
  x_lo = y_lo = bounded ? 0.0 : -32768.0;
  x_hi = bounded ? width : 32767.0;
  y_hi = bounded ? height : 32767.0;
}

// One number of a value as an expression sees it, with the range it is
// clamped to.
struct ValuePart {
  double value;
  double lo, hi;
  const char* what;  // for messages: "x ", "red ", or ""
};

std::vector<ValuePart> PartsOf(const PF_ParamDef& def, A_long width, A_long height) {
  constexpr double kAny = 1e300;
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER: {
      double lo = 0, hi = 0;
      ValidRange(def, lo, hi);
      return {{StaticNumber(def), lo, hi, ""}};
    }
    case PF_Param_CHECKBOX: return {{def.u.bd.value != 0 ? 1.0 : 0.0, -kAny, kAny, ""}};
    case PF_Param_POPUP:
      return {{static_cast<double>(def.u.pd.value), 1.0,
               static_cast<double>(def.u.pd.num_choices), ""}};
    case PF_Param_COLOR:
      return {{static_cast<double>(def.u.cd.value.red), 0, 255, "red "},
              {static_cast<double>(def.u.cd.value.green), 0, 255, "green "},
              {static_cast<double>(def.u.cd.value.blue), 0, 255, "blue "}};
    case PF_Param_POINT: {
      double x_lo = 0, x_hi = 0, y_lo = 0, y_hi = 0;
      PointBounds(def, width, height, x_lo, x_hi, y_lo, y_hi);
      return {{def.u.td.x_value / 65536.0, x_lo, x_hi, "x "},
              {def.u.td.y_value / 65536.0, y_lo, y_hi, "y "}};
    }
    default: return {};
  }
}

void StoreParts(PF_ParamDef& def, const std::vector<ValuePart>& parts) {
  if (parts.empty()) return;
  auto channel = [](double v) { return static_cast<A_u_char>(std::lround(v)); };
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: def.u.fd.value = FixedFromDouble(parts[0].value); break;
    case PF_Param_FLOAT_SLIDER: def.u.fs_d.value = parts[0].value; break;
    case PF_Param_SLIDER: def.u.sd.value = static_cast<A_long>(std::lround(parts[0].value)); break;
    case PF_Param_CHECKBOX: def.u.bd.value = parts[0].value != 0.0 ? 1 : 0; break;
    case PF_Param_POPUP: def.u.pd.value = static_cast<A_long>(std::lround(parts[0].value)); break;
    case PF_Param_COLOR:
      def.u.cd.value.red = channel(parts[0].value);
      def.u.cd.value.green = channel(parts[1].value);
      def.u.cd.value.blue = channel(parts[2].value);
      break;
    case PF_Param_POINT:
      def.u.td.x_value = FixedFromDouble(parts[0].value);
      def.u.td.y_value = FixedFromDouble(parts[1].value);
      break;
    default: break;
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
  const PF_ParamDefUnion checked = Checked(instance, index, value);
  At(instance, index).def.u = checked;
}

PF_ParamDefUnion ParamService::Checked(Instance& instance, PF_ParamIndex index,
                                       const ParamValue& value) {
  const PF_ParamDef& def = At(instance, index).def;
  PF_ParamDefUnion u = def.u;
  double lo = 0, hi = 0;
  ValidRange(def, lo, hi);
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: {
      const double v = Expect<SliderValue>(value, def, index, "a number").value;
      CheckRange(def, index, v, lo, hi);
      u.fd.value = FixedFromDouble(v);
      return u;
    }
    case PF_Param_FLOAT_SLIDER: {
      const double v = Expect<SliderValue>(value, def, index, "a number").value;
      CheckRange(def, index, v, lo, hi);
      u.fs_d.value = v;
      return u;
    }
    case PF_Param_SLIDER: {
      const double v = Expect<SliderValue>(value, def, index, "a number").value;
      CheckRange(def, index, v, lo, hi);
      if (v != std::trunc(v)) {
        throw ParamValueError(Quoted(def, index) + " takes whole numbers, not " + FormatNumber(v));
      }
      u.sd.value = static_cast<A_long>(v);
      return u;
    }
    case PF_Param_CHECKBOX:
      u.bd.value = Expect<bool>(value, def, index, "on or off") ? 1 : 0;
      return u;
    case PF_Param_POPUP: {
      const A_long choice = Expect<PopupValue>(value, def, index, "one of its choices").choice;
      if (choice < 1 || choice > def.u.pd.num_choices) {
        throw ParamValueError(Quoted(def, index) + ": choice " + std::to_string(choice) +
                              " is outside the valid range 1 to " +
                              std::to_string(def.u.pd.num_choices));
      }
      u.pd.value = choice;
      return u;
    }
    case PF_Param_COLOR:
      u.cd.value = Expect<PF_Pixel>(value, def, index, "a colour");
      return u;
    case PF_Param_POINT: {
      const PointValue& pt = Expect<PointValue>(value, def, index, "a point X,Y");
      const double x = pt.x_percent ? pt.x * layer_width_ / 100.0 : pt.x;
      const double y = pt.y_percent ? pt.y * layer_height_ / 100.0 : pt.y;
      double x_lo = 0, x_hi = 0, y_lo = 0, y_hi = 0;
      PointBounds(def, layer_width_, layer_height_, x_lo, x_hi, y_lo, y_hi);
      CheckRange(def, index, x, x_lo, x_hi, "x ");
      CheckRange(def, index, y, y_lo, y_hi, "y ");
      u.td.x_value = FixedFromDouble(x);
      u.td.y_value = FixedFromDouble(y);
      return u;
    }
    case PF_Param_LAYER:
      throw ParamValueError("the input layer is the host's own and takes no value");
    default:
      throw ParamValueError(Quoted(def, index) + " is a " + TypeName(def.param_type) +
                            " and holds no value");
  }
}

void ParamService::SetKeyframes(Instance& instance, PF_ParamIndex index,
                                std::vector<Keyframe> keyframes) {
  InstanceParams& data = Of(instance);
  HostParam& p = At(instance, index);
  std::sort(keyframes.begin(), keyframes.end(),
            [](const Keyframe& a, const Keyframe& b) { return a.seconds < b.seconds; });
  for (std::size_t i = 1; i < keyframes.size(); ++i) {
    if (keyframes[i].seconds == keyframes[i - 1].seconds) {
      throw ParamValueError(Quoted(p.def, index) + " has two keyframes at " +
                            FormatNumber(keyframes[i].seconds) + " s");
    }
  }
  p.def.u = ValueAt(p.def, p.keyframes, data.seconds);
  p.keyframes = std::move(keyframes);
  p.def.u = ValueAt(p.def, p.keyframes, data.seconds);
}

void ParamService::CheckExpression(PF_ParamIndex index, const std::string& text) const {
  const ParsedExpression parsed = ParsedExpression::Parse(text);
  if (parsed.ok()) return;
  const PF_ParamDef& def = declared_.at(static_cast<std::size_t>(index));
  throw ParamValueError("the expression on " + Quoted(def, index) + " does not parse: " +
                        parsed.error() + " (at byte " + std::to_string(parsed.error_position()) +
                        " of \"" + text + "\")");
}

void ParamService::SetUserExpression(Instance& instance, PF_ParamIndex index,
                                     const std::string& text) {
  HostParam& p = At(instance, index);
  if (!text.empty()) CheckExpression(index, text);
  p.expression = text;
  p.user_expression = !text.empty();
}

std::vector<PF_ParamIndex> ParamService::MoveToTime(Instance& instance, double seconds) {
  InstanceParams& data = Of(instance);
  data.seconds = seconds;
  std::vector<PF_ParamIndex> changed;
  for (std::size_t i = 0; i < data.params.size(); ++i) {
    HostParam& p = data.params[i];
    if (p.keyframes.empty()) continue;
    const PF_ParamDefUnion now = ValueAt(p.def, p.keyframes, seconds);
    Hasher before, after;
    AddValue(before, p.def.param_type, p.def.u);
    AddValue(after, p.def.param_type, now);
    p.def.u = now;
    if (before.value() != after.value()) changed.push_back(static_cast<PF_ParamIndex>(i));
  }
  return changed;
}

std::vector<ParamWarning> ParamService::TakeWarnings() {
  std::vector<ParamWarning> out;
  out.swap(warnings_);
  return out;
}

void ParamService::Warn(InstanceParams& data, PF_ParamIndex index, std::string message) {
  const auto i = static_cast<std::size_t>(index);
  if (data.warned.size() <= i) data.warned.resize(data.params.size());
  if (i >= data.warned.size() || data.warned[i]) return;
  data.warned[i] = true;
  warnings_.push_back({index, std::move(message)});
}

void ParamService::SetExpression(Instance& instance, PF_ParamIndex index, std::string text) {
  HostParam& p = At(instance, index);
  p.expression = std::move(text);
  p.user_expression = false;
}

ExpressionResult ParamService::Evaluate(Instance& instance, PF_ParamIndex index, double seconds) {
  const HostParam& p = At(instance, index);
  PF_ParamDef at = p.def;
  at.u = ValueAt(p.def, p.keyframes, seconds);
  ExpressionContext ctx;
  ctx.time = seconds;
  ctx.static_value = StaticNumber(at);
  ValidRange(p.def, ctx.valid_min, ctx.valid_max);
  if (p.expression.empty() || !IsSlider(p.def.param_type)) {
    ExpressionResult result;
    result.ok = true;
    result.value = ctx.static_value;
    return result;
  }
  return EvaluateExpression(p.expression, ctx);
}

ExpressionResult ParamService::ExpressionFailure(Instance& instance, PF_ParamIndex index,
                                                double seconds) {
  const HostParam& p = At(instance, index);
  ExpressionResult ok;
  ok.ok = true;
  if (p.expression.empty()) return ok;
  PF_ParamDef value = p.def;
  if (!p.keyframes.empty()) value.u = ValueAt(p.def, p.keyframes, seconds);
  for (const ValuePart& part : PartsOf(value, layer_width_, layer_height_)) {
    ExpressionContext ctx;
    ctx.time = seconds;
    ctx.static_value = part.value;
    ExpressionResult r = EvaluateExpression(p.expression, ctx);
    if (r.ok && !std::isfinite(r.value)) {
      r.ok = false;
      r.error = "its result is not a finite number";
    }
    if (!r.ok) return r;
  }
  return ok;
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
  const double seconds = static_cast<double>(what_time) / static_cast<double>(time_scale);
  if (!p.keyframes.empty()) out->u = ValueAt(p.def, p.keyframes, seconds);
  if (!p.expression.empty()) ApplyExpression(Of(instance), index, seconds, *out);
  return PF_Err_NONE;
}

// Each part of the value through the expression, with `value` that part. A
// failing expression leaves the value without it, as a host shows it; the
// user hears of a failure or a clamped result once per parameter.
void ParamService::ApplyExpression(InstanceParams& data, PF_ParamIndex index, double seconds,
                                   PF_ParamDef& value) {
  const HostParam& p = data.params[static_cast<std::size_t>(index)];
  std::vector<ValuePart> parts = PartsOf(value, layer_width_, layer_height_);
  for (ValuePart& part : parts) {
    ExpressionContext ctx;
    ctx.time = seconds;
    ctx.static_value = part.value;
    const ExpressionResult r = EvaluateExpression(p.expression, ctx);
    const std::string who = "the expression on " + Quoted(p.def, index);
    if (!r.ok || !std::isfinite(r.value)) {
      if (p.user_expression) {
        Warn(data, index,
             who + " fails at " + FormatNumber(seconds) + " s: " +
                 (r.ok ? std::string("its result is not a finite number") : r.error) +
                 "; the value without it is used");
      }
      continue;
    }
    const double clamped = std::clamp(r.value, part.lo, part.hi);
    if (clamped != r.value && p.user_expression) {
      Warn(data, index,
           who + " gives " + part.what + FormatNumber(r.value) + " at " + FormatNumber(seconds) +
               " s, outside the valid range " + FormatNumber(part.lo) + " to " +
               FormatNumber(part.hi) + ": clamped to " + FormatNumber(clamped));
    }
    part.value = clamped;
  }
  StoreParts(value, parts);
}

void ParamService::Audit(std::vector<std::string>& problems) {
  if (outstanding_checkouts_ != 0) {
    problems.push_back(std::to_string(outstanding_checkouts_) +
                       " checked-out parameter(s) not checked in");
    outstanding_checkouts_ = 0;
  }
}

SliderNumbers SliderNumbersOf(const PF_ParamDef& def) {
  constexpr double kFixed = 65536.0;
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER: {
      const PF_FixedSliderDef& d = def.u.fd;
      return {d.value / kFixed, d.valid_min / kFixed, d.valid_max / kFixed,
              d.slider_min / kFixed, d.slider_max / kFixed};
    }
    case PF_Param_FLOAT_SLIDER: {
      const PF_FloatSliderDef& d = def.u.fs_d;
      return {d.value, d.valid_min, d.valid_max, d.slider_min, d.slider_max};
    }
    case PF_Param_SLIDER: {
      const PF_SliderDef& d = def.u.sd;
      return {static_cast<double>(d.value), static_cast<double>(d.valid_min),
              static_cast<double>(d.valid_max), static_cast<double>(d.slider_min),
              static_cast<double>(d.slider_max)};
    }
    default:
      return {};
  }
}

}  // namespace minihost
