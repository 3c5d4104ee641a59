#include "entry/handlers.h"
#include "entry/sequence_data.h"
#include "host/handle_guard.h"
#include "host/suite_handler.h"

namespace prismora {
namespace {

// Leaves a disposed handle nowhere the host would take it back from.
void Forget(PF_InData* in_data, PF_OutData* out_data, PF_Handle old) {
  in_data->sequence_data = nullptr;
  if (out_data->sequence_data == old) out_data->sequence_data = nullptr;
}

// Disposes whatever handle the instance holds. Throws, leaving the handle
// where it was, when the handle suite cannot be had.
void DisposeSequenceData(PF_InData* in_data, PF_OutData* out_data) {
  PF_Handle old = in_data->sequence_data;
  if (old == nullptr) return;
  SuiteHandler suites(in_data->pica_basicP);
  suites.HandleSuite2()->host_dispose_handle(old);
  Forget(in_data, out_data, old);
}

}  // namespace

// Set-up and re-set-up alike: whatever the instance held is discarded and a
// fresh initial block takes its place.
PF_Err SequenceSetup(PF_InData* in_data, PF_OutData* out_data) {
  SuiteHandler suites(in_data->pica_basicP);
  DisposeSequenceData(in_data, out_data);

  const PF_HandleSuite1* handles = suites.HandleSuite2();
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
  try {
    DisposeSequenceData(in_data, out_data);
  } catch (PF_Err) {
    // The instance is going, and the host no longer holds its data for it:
    // without the handle suite the data would be lost. The utility
    // callbacks dispose it without a suite; the failure is still reported.
    if (in_data->utils->host_dispose_handle != nullptr) {
      in_data->utils->host_dispose_handle(old);
      Forget(in_data, out_data, old);
    }
    throw;
  }
  return PF_Err_NONE;
}

}  // namespace prismora
