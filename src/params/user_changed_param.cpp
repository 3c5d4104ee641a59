// PF_Cmd_USER_CHANGED_PARAM: whichever supervised parameter changed, the
// expression on "random" is written anew from the current values (or
// cleared), and the controls follow the switches and modes.
#include "entry/handlers.h"
#include "params/interface_state.h"

namespace prismora {

PF_Err UserChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                        PF_LayerDef* /*output*/, void* /*extra*/) {
  return UpdateInterfaceState(in_data, out_data, params, InterfaceCommand::kUserChangedParam);
}

}  // namespace prismora
