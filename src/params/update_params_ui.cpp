// PF_Cmd_UPDATE_PARAMS_UI: the controls follow the switches and modes.
#include "entry/handlers.h"
#include "params/interface_state.h"

namespace prismora {

PF_Err UpdateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_LayerDef* /*output*/, void* /*extra*/) {
  return UpdateInterfaceState(in_data, out_data, params, InterfaceCommand::kUpdateParamsUI);
}

}  // namespace prismora
