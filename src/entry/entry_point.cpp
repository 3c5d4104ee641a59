// The one function the host calls. It dispatches on the command selector and
// is the single place where errors thrown inside a handler become a returned
// code: nothing may unwind into the host.
#include <array>

#include "entry/handlers.h"

#if defined(_WIN32)
#define PRISMORA_EXPORT __declspec(dllexport)
#else
#define PRISMORA_EXPORT __attribute__((visibility("default")))
#endif

namespace prismora {
namespace {

using Handler = PF_Err (*)(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

struct Route {
  PF_Cmd cmd;
  Handler handler;
};

// Every selector not listed here is answered with PF_Err_NONE and no work.
constexpr std::array kRoutes = {
    Route{PF_Cmd_ABOUT,
          [](PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
             void*) { return About(in, out, params, output); }},
    Route{PF_Cmd_GLOBAL_SETUP,
          [](PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
             void*) { return GlobalSetup(in, out, params, output); }},
    Route{PF_Cmd_PARAMS_SETUP,
          [](PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
             void*) { return ParamsSetup(in, out, params, output); }},
    Route{PF_Cmd_SEQUENCE_SETUP,
          [](PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void*) {
            return SequenceSetup(in, out);
          }},
    Route{PF_Cmd_SEQUENCE_RESETUP,
          [](PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void*) {
            return SequenceSetup(in, out);
          }},
    Route{PF_Cmd_SEQUENCE_SETDOWN,
          [](PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void*) {
            return SequenceSetdown(in, out);
          }},
    Route{PF_Cmd_USER_CHANGED_PARAM, UserChangedParam},
    Route{PF_Cmd_UPDATE_PARAMS_UI, UpdateParamsUI},
    Route{PF_Cmd_SMART_PRE_RENDER,
          [](PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void* extra) {
            return PreRender(in, out, static_cast<PF_PreRenderExtra*>(extra));
          }},
    Route{PF_Cmd_SMART_RENDER,
          [](PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void* extra) {
            return SmartRender(in, out, static_cast<PF_SmartRenderExtra*>(extra));
          }},
};

PF_Err Dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output, void* extra) {
  for (const Route& route : kRoutes) {
    if (route.cmd != cmd) continue;
    // Every handler works through these records and the host's callbacks.
    if (in_data == nullptr || out_data == nullptr || in_data->utils == nullptr) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    return route.handler(in_data, out_data, params, output, extra);
  }
  return PF_Err_NONE;
}

}  // namespace
}  // namespace prismora

extern "C" PRISMORA_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data,
                                                 PF_OutData* out_data, PF_ParamDef* params[],
                                                 PF_LayerDef* output, void* extra) {
  try {
    return prismora::Dispatch(cmd, in_data, out_data, params, output, extra);
  } catch (PF_Err) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  } catch (...) {
    // Not thrown by our own code, but no exception may ever reach the host.
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}
