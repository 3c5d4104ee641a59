#include "entry/effect_info.h"
#include "entry/handlers.h"

namespace prismora {

PF_Err About(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[],
             PF_LayerDef* /*output*/) {
  in_data->utils->ansi.sprintf(out_data->return_msg, kAboutFormat, kAboutName,
                               static_cast<int>(kMajorVersion), static_cast<int>(kMinorVersion),
                               static_cast<int>(kBugVersion), kAboutDescription);
  return PF_Err_NONE;
}

}  // namespace prismora
