// Per-instance state, held in the host handle in `sequence_data`.
//
// Sequence set-up creates a 1-byte block holding 0; the interface handlers
// replace it with a 16-byte PF_State snapshot. Neither form holds pointers,
// so the block is never flattened. A block is a snapshot only when the host
// reports it at least as large as a PF_State.
#pragma once

#include "host/ae_params.h"

namespace prismora {

inline constexpr A_HandleSize kInitialSequenceDataSize = 1;
inline constexpr A_HandleSize kSnapshotSequenceDataSize = sizeof(PF_State);

}  // namespace prismora
