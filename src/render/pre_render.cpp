#include "entry/handlers.h"

namespace prismora {

// Placeholder until the render lands.
PF_Err PreRender(PF_InData*, PF_OutData*, PF_PreRenderExtra*) { return PF_Err_NONE; }

}  // namespace prismora
