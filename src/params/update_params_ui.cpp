#include "entry/handlers.h"

namespace prismora {

// Placeholder until the interface rules land.
PF_Err UpdateParamsUI(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  return PF_Err_NONE;
}

}  // namespace prismora
