#include "entry/handlers.h"

namespace prismora {

// Placeholder until the render lands.
PF_Err SmartRender(PF_InData*, PF_OutData*, PF_SmartRenderExtra*) { return PF_Err_NONE; }

}  // namespace prismora
