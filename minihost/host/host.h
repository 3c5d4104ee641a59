// The emulated host. It loads nothing itself: it drives a PluginLibrary the
// way After Effects does, through EntryPointFunc, with PF_InData / PF_OutData
// records, handles, the basic suite and the suites registered with it.
//
// One Host is one host context: it is used from one thread at a time. Several
// hosts may drive the same loaded library concurrently, each on its own
// thread, since the plug-in keeps no state of its own.
//
// After every command the host audits what the plug-in took and did not give
// back (handles, locks, suites, and whatever the services count) and keeps
// the findings in problems().
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "host/ae_effect.h"
#include "minihost/base/faults.h"
#include "minihost/base/handles.h"
#include "minihost/base/suite_registry.h"
#include "minihost/loading/plugin_library.h"

namespace minihost {

class Host;

// The host side of one applied effect.
struct Instance {
  PF_Handle sequence_data = nullptr;
  PF_ProgPtr effect_ref() { return reinterpret_cast<PF_ProgPtr>(this); }
};

// A group of host services (suites, callbacks, bookkeeping) added to a host.
class Service {
 public:
  virtual ~Service() = default;
  // After every command: append what the plug-in failed to give back.
  virtual void Audit(std::vector<std::string>& /*problems*/) {}
  // Handles the host itself holds on to (so they are not leaks).
  virtual void Roots(std::vector<PF_Handle>& /*roots*/) const {}
};

// "PF_Cmd_SMART_RENDER", or "command N" for selectors the host does not send.
std::string CommandName(PF_Cmd cmd);

// The PICA error of an unknown suite: 'S!Fd'.
inline constexpr SPErr kSPSuiteNotFoundError = 0x53214664;
inline constexpr SPErr kSPBadParameterError = 0x50617221;  // 'Par!'

class Host;

namespace detail {
// Set by the host for the length of each command it sends. Visible here so
// that the sampling suites, which ask on every sample, need no call.
inline thread_local Host* current_host = nullptr;
}  // namespace detail

class Host {
 public:
  explicit Host(std::shared_ptr<const PluginLibrary> plugin);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The host whose command is running on this thread, or null.
  static Host* Current() { return detail::current_host; }

  // --- Commands ------------------------------------------------------------
  PF_Err About(std::string* text = nullptr);
  // Throws HostError when the version or flags the plug-in reports differ
  // from its PiPL, as a real host refuses such a plug-in.
  PF_Err GlobalSetup();
  Instance& NewInstance();
  PF_Err SequenceSetup(Instance& instance);
  PF_Err SequenceResetup(Instance& instance);
  PF_Err SequenceSetdown(Instance& instance);

  // Sends any command with records prepared for `instance` (may be null).
  PF_Err Send(PF_Cmd cmd, Instance* instance, PF_ParamDef* params[] = nullptr,
              PF_LayerDef* output = nullptr, void* extra = nullptr);
  // Lowest level: the caller's records as they are; the host adopts the
  // sequence and global data they hand back, then audits.
  PF_Err SendRaw(PF_Cmd cmd, Instance* instance, PF_InData& in_data, PF_OutData& out_data,
                 PF_ParamDef* params[], PF_LayerDef* output, void* extra);
  // Calls into the plug-in outside a command, as a host calls a function the
  // plug-in handed over (the pre-render data's deletion): this host is
  // current while `call` runs, and audits afterwards as after a command.
  // With `on_other_thread`, `call` runs on a thread of its own, as a host
  // may delete pre-render data from any of its threads.
  void CallPlugin(const std::string& what, Instance* instance, const std::function<void()>& call,
                  bool on_other_thread = false);
  // Records as the host fills them before a command.
  PF_InData MakeInData(Instance* instance);
  PF_OutData MakeOutData(Instance* instance) const;

  // --- What the commands left ----------------------------------------------
  const PF_OutData& out_data() const { return out_data_; }
  std::string return_msg() const { return out_data_.return_msg; }
  // Findings of the audit after the last command; empty when all was given back.
  const std::vector<std::string>& problems() const { return problems_; }
  PF_Handle global_data() const { return global_data_; }
  AEGP_PluginID plugin_id() const { return plugin_id_; }
  const std::string& registered_name() const { return registered_name_; }
  bool registered() const { return registered_; }

  // --- Host state and services ---------------------------------------------
  const PluginLibrary& plugin() const { return *plugin_; }
  FaultInjector& faults() { return faults_; }
  HandleTable& handles() { return handles_; }
  SuiteRegistry& suites() { return suites_; }
  PF_InteractCallbacks& interact_callbacks() { return inter_; }
  PF_UtilCallbacks& util_callbacks() { return utils_; }
  void SetTime(A_long current_time, A_long time_step, A_u_long time_scale);
  // The layer's pixel aspect (width over height of a pixel), 1/1 by default.
  void SetPixelAspectRatio(PF_RationalScale ratio) { pixel_aspect_ratio_ = ratio; }
  Instance* current_instance() const { return current_instance_; }
  // The instance an effect reference names, or null for a foreign reference.
  Instance* InstanceFromRef(PF_ProgPtr ref) const;
  // Gives a service to the host for the rest of its life.
  template <class S>
  S& AddService(std::unique_ptr<S> service) {
    S& ref = *service;
    services_.push_back(std::move(service));
    return ref;
  }
  template <class S>
  S* FindService() const {
    for (const auto& s : services_) {
      if (auto* found = dynamic_cast<S*>(s.get())) return found;
    }
    return nullptr;
  }
  // Host-side problems noticed by services during a command (misuse of a
  // call, a foreign reference); reported with the command's audit.
  void Problem(std::string text) { pending_problems_.push_back(std::move(text)); }
  // Registration through "AEGP Utility Suite".
  AEGP_PluginID Register(const std::string& name);

 private:
  void Audit(PF_Cmd cmd);
  void Audit(const std::string& when);

  std::shared_ptr<const PluginLibrary> plugin_;
  FaultInjector faults_;
  HandleTable handles_;
  SuiteRegistry suites_;
  PF_InteractCallbacks inter_{};
  PF_UtilCallbacks utils_{};
  std::vector<std::unique_ptr<Service>> services_;
  std::list<Instance> instances_;
  Instance* current_instance_ = nullptr;

  PF_OutData out_data_{};
  PF_Handle global_data_ = nullptr;
  AEGP_PluginID plugin_id_ = 0;
  std::string registered_name_;
  bool registered_ = false;
  A_long current_time_ = 0;
  A_long time_step_ = 1;
  A_u_long time_scale_ = 30;
  PF_RationalScale pixel_aspect_ratio_{1, 1};

  std::vector<std::string> problems_;
  std::vector<std::string> pending_problems_;
  std::vector<uint64_t> reported_leaks_;
};

}  // namespace minihost
