// The parameters of the effect as the host holds them: the definitions the
// plug-in declared at PF_Cmd_PARAMS_SETUP, and per instance the current
// static value, the expression on its stream, its hidden flag and its
// interface flags. Serves add_param, checkout_param and checkin_param.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "minihost/host.h"

namespace minihost {

struct HostParam {
  PF_ParamDef def{};        // as declared; `u` holds the current static value
  std::string expression;   // the text on the parameter's stream; empty for none
  bool hidden = false;      // AEGP_DynStreamFlag_HIDDEN on its stream
};

class ParamService : public Service {
 public:
  // Creates the service, gives it to the host and installs its callbacks.
  static ParamService& Install(Host& host);
  explicit ParamService(Host& host) : host_(host) {}

  // Sends PF_Cmd_PARAMS_SETUP. Index 0, the input layer, is the host's own.
  PF_Err ParamsSetup();
  // The definitions as declared (index 0 included).
  const std::vector<PF_ParamDef>& declared() const { return declared_; }

  // The parameters of an instance, created from the declared defaults on
  // first use. Point defaults are percent of the layer: the host delivers
  // them in 16.16 pixels of the layer size.
  std::vector<HostParam>& Params(Instance& instance);
  // Pointers for the params[] argument of a command, one per parameter.
  std::vector<PF_ParamDef*> ParamList(Instance& instance);
  void SetLayerSize(A_long width, A_long height);

  // The value a parameter has at a time: its static value, or its
  // expression's value at that time.
  PF_Err Checkout(Instance& instance, PF_ParamIndex index, A_long what_time, A_long time_step,
                  A_u_long time_scale, PF_ParamDef* out);

  void Audit(std::vector<std::string>& problems) override;

 private:
  friend struct ParamCallbacks;
  Host& host_;
  std::vector<PF_ParamDef> declared_;
  std::map<const Instance*, std::vector<HostParam>> instances_;
  A_long layer_width_ = 0;
  A_long layer_height_ = 0;
  int outstanding_checkouts_ = 0;
};

}  // namespace minihost
