#include "entry/handlers.h"

namespace prismora {

// Placeholder until the parameter table lands.
PF_Err ParamsSetup(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }

}  // namespace prismora
