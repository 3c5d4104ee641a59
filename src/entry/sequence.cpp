#include "entry/handlers.h"
#include "entry/sequence_data.h"
#include "host/handle_guard.h"
#include "host/suite_handler.h"

namespace prismora {

// Set-up and re-set-up alike: whatever the instance held is discarded and a
// fresh initial block takes its place.
PF_Err SequenceSetup(PF_InData* in_data, PF_OutData* out_data) {
  SuiteHandler suites(in_data->pica_basicP);
  SequenceSetdown(in_data, out_data);

  const PF_HandleSuite2* handles = suites.HandleSuite2();
  OwnedHandle handle(handles, kInitialSequenceDataSize);
  if (!handle) return PF_Err_OUT_OF_MEMORY;
  {
    HandleLock lock(handles, handle.get());
    if (!lock) return PF_Err_NONE;
    *lock.As<A_u_char>() = 0;
  }
  out_data->sequence_data = handle.Release();
  return PF_Err_NONE;
}

PF_Err SequenceSetdown(PF_InData* in_data, PF_OutData* out_data) {
  PF_Handle old = in_data->sequence_data;
  if (old == nullptr) return PF_Err_NONE;
  SuiteHandler suites(in_data->pica_basicP);
  suites.HandleSuite2()->host_dispose_handle(old);
  // Never leave the disposed handle where the host would take it back.
  in_data->sequence_data = nullptr;
  if (out_data->sequence_data == old) out_data->sequence_data = nullptr;
  return PF_Err_NONE;
}

}  // namespace prismora
