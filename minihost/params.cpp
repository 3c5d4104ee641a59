#include "minihost/params.h"


namespace minihost {

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
    service->declared_.push_back(*def);
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
  auto& service = host.AddService(std::make_unique<ParamService>(host));
  host.interact_callbacks().add_param = ParamCallbacks::AddParam;
  host.interact_callbacks().checkout_param = ParamCallbacks::CheckoutParam;
  host.interact_callbacks().checkin_param = ParamCallbacks::CheckinParam;
  return service;
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

std::vector<HostParam>& ParamService::Params(Instance& instance) {
  auto it = instances_.find(&instance);
  if (it != instances_.end()) return it->second;
  std::vector<HostParam> params;
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
    params.push_back(p);
  }
  return instances_.emplace(&instance, std::move(params)).first->second;
}

std::vector<PF_ParamDef*> ParamService::ParamList(Instance& instance) {
  std::vector<PF_ParamDef*> list;
  for (HostParam& p : Params(instance)) list.push_back(&p.def);
  return list;
}

PF_Err ParamService::Checkout(Instance& instance, PF_ParamIndex index, A_long /*what_time*/,
                              A_long /*time_step*/, A_u_long /*time_scale*/, PF_ParamDef* out) {
  std::vector<HostParam>& params = Params(instance);
  if (index < 0 || static_cast<std::size_t>(index) >= params.size()) {
    return PF_Err_INVALID_INDEX;
  }
  *out = params[static_cast<std::size_t>(index)].def;
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
