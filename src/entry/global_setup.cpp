#include "entry/effect_info.h"
#include "entry/global_data.h"
#include "entry/handlers.h"
#include "host/basic_suite_keeper.h"
#include "host/handle_guard.h"
#include "host/suite_handler.h"

namespace prismora {

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[],
                   PF_LayerDef* /*output*/) {
  SuiteHandler suites(in_data->pica_basicP);
  // The deletion of pre-render data comes without in_data.
  KeepBasicSuite(in_data->pica_basicP);

  // Written first, so they stand even when a later step fails.
  out_data->my_version = kMyVersion;
  out_data->out_flags = kOutFlags;
  out_data->out_flags2 = kOutFlags2;

  const PF_HandleSuite1* handles = suites.HandleSuite2();
  OwnedHandle handle(handles, sizeof(GlobalData));
  if (!handle) return PF_Err_INTERNAL_STRUCT_DAMAGED;

  PF_Err err = PF_Err_NONE;
  {
    HandleLock lock(handles, handle.get());
    // A handle that cannot be locked is dropped with the guard: no global
    // data is handed over, and the command still succeeds.
    if (!lock) return PF_Err_NONE;
    auto* global = lock.As<GlobalData>();
    global->ui_updated = 1;
    err = suites.UtilitySuite7()->AEGP_RegisterWithAEGP(nullptr, kEffectName,
                                                        &global->plugin_id);
  }
  if (err == PF_Err_NONE) out_data->global_data = handle.Release();
  return err;
}

}  // namespace prismora
