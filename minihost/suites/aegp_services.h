// The AEGP layer as an effect uses it on its own instance: "AEGP PF Interface
// Suite" 1 (a reference to the calling effect), "AEGP Stream Suite" 7
// (stream references per parameter index, expressions), "AEGP Dynamic Stream
// Suite" 2 (the hidden flag) and "AEGP Effect Suite" 2.
//
// Every call is recorded and may be made to fail through the host's fault
// injector; calls that take a plug-in id check it against the registered
// one. Effect and stream references are counted: whatever a command takes
// and does not dispose is reported by the audit after it.
#pragma once

#include <memory>
#include <vector>

#include "minihost/host/host.h"

namespace minihost {

class AegpService : public Service {
 public:
  explicit AegpService(Host& host) : host_(host) {}

  // References taken and not yet disposed.
  int outstanding_effects() const;
  int outstanding_streams() const;

  void Audit(std::vector<std::string>& problems) override;

  // --- For the suite functions ---------------------------------------------
  struct EffectRecord {
    Instance* instance;
    bool live = true;
    bool reported = false;
  };
  struct StreamRecord {
    Instance* instance;
    PF_ParamIndex index;
    bool live = true;
    bool reported = false;
  };
  AEGP_EffectRefH NewEffect(Instance* instance);
  AEGP_StreamRefH NewStream(Instance* instance, PF_ParamIndex index);
  // The record behind a reference, or null for one this host never gave out.
  EffectRecord* Find(AEGP_EffectRefH effect);
  StreamRecord* Find(AEGP_StreamRefH stream);
  Host& host() { return host_; }

 private:
  Host& host_;
  // Records stay after disposal, so a stale reference is recognised.
  std::vector<std::unique_ptr<EffectRecord>> effects_;
  std::vector<std::unique_ptr<StreamRecord>> streams_;
};

// Adds the service and registers its suites (once per host).
AegpService& InstallAegpServices(Host& host);

// Checks a plug-in id against the registered one; a mismatch is a problem
// of the command, named after `call`.
bool CheckPluginId(Host& host, AEGP_PluginID id, const char* call);

}  // namespace minihost
