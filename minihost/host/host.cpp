#include "minihost/host/host.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "minihost/base/error.h"
#include "minihost/host/basic_services.h"

namespace minihost {
namespace {

// Makes `host` the current host of this thread for one command.
class CurrentHostScope {
 public:
  explicit CurrentHostScope(Host* host) : previous_(detail::current_host) {
    detail::current_host = host;
  }
  ~CurrentHostScope() { detail::current_host = previous_; }
  CurrentHostScope(const CurrentHostScope&) = delete;
  CurrentHostScope& operator=(const CurrentHostScope&) = delete;

 private:
  Host* previous_;
};

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

}  // namespace

std::string CommandName(PF_Cmd cmd) {
  switch (cmd) {
    case PF_Cmd_ABOUT: return "PF_Cmd_ABOUT";
    case PF_Cmd_GLOBAL_SETUP: return "PF_Cmd_GLOBAL_SETUP";
    case PF_Cmd_PARAMS_SETUP: return "PF_Cmd_PARAMS_SETUP";
    case PF_Cmd_SEQUENCE_SETUP: return "PF_Cmd_SEQUENCE_SETUP";
    case PF_Cmd_SEQUENCE_RESETUP: return "PF_Cmd_SEQUENCE_RESETUP";
    case PF_Cmd_SEQUENCE_SETDOWN: return "PF_Cmd_SEQUENCE_SETDOWN";
    case PF_Cmd_USER_CHANGED_PARAM: return "PF_Cmd_USER_CHANGED_PARAM";
    case PF_Cmd_UPDATE_PARAMS_UI: return "PF_Cmd_UPDATE_PARAMS_UI";
    case PF_Cmd_SMART_PRE_RENDER: return "PF_Cmd_SMART_PRE_RENDER";
    case PF_Cmd_SMART_RENDER: return "PF_Cmd_SMART_RENDER";
    default: return "command " + std::to_string(cmd);
  }
}

Host::Host(std::shared_ptr<const PluginLibrary> plugin) : plugin_(std::move(plugin)) {
  InstallBasicServices(*this);
}

Host::~Host() = default;

void Host::SetTime(A_long current_time, A_long time_step, A_u_long time_scale) {
  current_time_ = current_time;
  time_step_ = time_step;
  time_scale_ = time_scale;
}

Instance* Host::InstanceFromRef(PF_ProgPtr ref) const {
  for (const Instance& instance : instances_) {
    if (reinterpret_cast<PF_ProgPtr>(const_cast<Instance*>(&instance)) == ref) {
      return const_cast<Instance*>(&instance);
    }
  }
  return nullptr;
}

AEGP_PluginID Host::Register(const std::string& name) {
  // Any stable non-zero id will do; a fixed odd value makes a plug-in that
  // passes something else easy to spot.
  plugin_id_ = 0x5A17;
  registered_name_ = name;
  registered_ = true;
  return plugin_id_;
}

PF_InData Host::MakeInData(Instance* instance) {
  PF_InData in{};
  in.inter = inter_;
  in.utils = &utils_;
  in.effect_ref = instance != nullptr ? instance->effect_ref() : nullptr;
  in.quality = 1;
  in.version = {PF_PLUG_IN_VERSION, PF_PLUG_IN_SUBVERS};
  in.current_time = current_time_;
  in.time_step = time_step_;
  in.local_time_step = time_step_;
  in.time_scale = time_scale_;
  in.downsample_x = in.downsample_y = {1, 1};
  in.pixel_aspect_ratio = pixel_aspect_ratio_;
  in.global_data = global_data_;
  in.sequence_data = instance != nullptr ? instance->sequence_data : nullptr;
  // The record types it writable; nothing writes through it.
  in.pica_basicP = const_cast<SPBasicSuite*>(BasicSuite());
  return in;
}

PF_OutData Host::MakeOutData(Instance* instance) const {
  PF_OutData out{};
  out.global_data = global_data_;
  out.sequence_data = instance != nullptr ? instance->sequence_data : nullptr;
  return out;
}

PF_Err Host::Send(PF_Cmd cmd, Instance* instance, PF_ParamDef* params[], PF_LayerDef* output,
                  void* extra) {
  PF_InData in = MakeInData(instance);
  PF_OutData out = MakeOutData(instance);
  return SendRaw(cmd, instance, in, out, params, output, extra);
}

PF_Err Host::SendRaw(PF_Cmd cmd, Instance* instance, PF_InData& in_data, PF_OutData& out_data,
                     PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
  PF_Err err = PF_Err_NONE;
  {
    CurrentHostScope scope(this);
    Instance* previous = std::exchange(current_instance_, instance);
    err = plugin_->entry()(cmd, &in_data, &out_data, params, output, extra);
    current_instance_ = previous;
  }
  out_data_ = out_data;
  if (cmd == PF_Cmd_GLOBAL_SETUP) global_data_ = out_data.global_data;
  if (instance != nullptr) {
    instance->sequence_data =
        cmd == PF_Cmd_SEQUENCE_SETDOWN ? nullptr : out_data.sequence_data;
    if (instance->sequence_data != nullptr && !handles_.IsLive(instance->sequence_data)) {
      pending_problems_.push_back(CommandName(cmd) +
                                  " handed back sequence data that is not a live handle");
      instance->sequence_data = nullptr;
    }
  }
  if (global_data_ != nullptr && !handles_.IsLive(global_data_)) {
    pending_problems_.push_back(CommandName(cmd) + " left global data that is not a live handle");
    global_data_ = nullptr;
  }
  Audit(cmd);
  return err;
}

void Host::CallPlugin(const std::string& what, Instance* instance,
                      const std::function<void()>& call, bool on_other_thread) {
  auto run = [&] {
    CurrentHostScope scope(this);
    Instance* previous = std::exchange(current_instance_, instance);
    call();
    current_instance_ = previous;
  };
  if (on_other_thread) {
    std::thread(run).join();
  } else {
    run();
  }
  Audit(" after " + what);
}

void Host::Audit(PF_Cmd cmd) { Audit(" after " + CommandName(cmd)); }

void Host::Audit(const std::string& when) {
  problems_ = std::move(pending_problems_);
  pending_problems_.clear();
  for (std::string& p : handles_.TakeProblems()) problems_.push_back(p + when);

  for (const auto& [suite, count] : suites_.Outstanding()) {
    problems_.push_back("suite \"" + suite.first + "\" version " + std::to_string(suite.second) +
                        " not released (" + std::to_string(count) + " outstanding)" + when);
  }

  std::vector<PF_Handle> roots = {global_data_};
  for (const Instance& instance : instances_) roots.push_back(instance.sequence_data);
  for (const auto& service : services_) service->Roots(roots);
  for (const HandleInfo& info : handles_.Live()) {
    if (info.locks != 0) {
      problems_.push_back(Describe(info) + " left locked " + std::to_string(info.locks) +
                          " time(s)" + when);
    }
    const bool rooted = std::find(roots.begin(), roots.end(), info.handle) != roots.end();
    const bool known = std::find(reported_leaks_.begin(), reported_leaks_.end(), info.serial) !=
                       reported_leaks_.end();
    if (!rooted && !known) {
      problems_.push_back(Describe(info) + " leaked" + when);
      reported_leaks_.push_back(info.serial);
    }
  }
  for (const auto& service : services_) service->Audit(problems_);
}

PF_Err Host::About(std::string* text) {
  const PF_Err err = Send(PF_Cmd_ABOUT, nullptr);
  if (text != nullptr) *text = out_data_.return_msg;
  return err;
}

PF_Err Host::GlobalSetup() {
  const PF_Err err = Send(PF_Cmd_GLOBAL_SETUP, nullptr);
  if (err != PF_Err_NONE) return err;
  const PiplInfo& pipl = plugin_->pipl();
  std::string mismatch;
  if (pipl.has_version && out_data_.my_version != pipl.version) {
    mismatch += " version " + Hex(out_data_.my_version) + " differs from the PiPL's eVER " +
                Hex(pipl.version) + ";";
  }
  const auto out_flags = static_cast<uint32_t>(out_data_.out_flags);
  if (pipl.has_out_flags && out_flags != pipl.out_flags) {
    mismatch += " out_flags " + Hex(out_flags) + " differ from the PiPL's eGLO " +
                Hex(pipl.out_flags) + " (" +
                DescribeFlagDifference(out_flags, pipl.out_flags, false) + ");";
  }
  const auto out_flags2 = static_cast<uint32_t>(out_data_.out_flags2);
  if (pipl.has_out_flags2 && out_flags2 != pipl.out_flags2) {
    mismatch += " out_flags2 " + Hex(out_flags2) + " differ from the PiPL's eGL2 " +
                Hex(pipl.out_flags2) + " (" +
                DescribeFlagDifference(out_flags2, pipl.out_flags2, true) + ");";
  }
  if (!mismatch.empty()) {
    mismatch.pop_back();
    throw HostError("plug-in '" + pipl.name + "' refused at global set-up:" + mismatch);
  }
  return err;
}

Instance& Host::NewInstance() { return instances_.emplace_back(); }

PF_Err Host::SequenceSetup(Instance& instance) {
  return Send(PF_Cmd_SEQUENCE_SETUP, &instance);
}

PF_Err Host::SequenceResetup(Instance& instance) {
  return Send(PF_Cmd_SEQUENCE_RESETUP, &instance);
}

PF_Err Host::SequenceSetdown(Instance& instance) {
  return Send(PF_Cmd_SEQUENCE_SETDOWN, &instance);
}

}  // namespace minihost
