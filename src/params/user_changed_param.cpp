#include "entry/handlers.h"

namespace prismora {

// Placeholder until the expressions land.
PF_Err UserChangedParam(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  return PF_Err_NONE;
}

}  // namespace prismora
