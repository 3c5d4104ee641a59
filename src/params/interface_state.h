// Bringing the effect's controls into line with its switches and modes: the
// hidden flags of parameter streams, greyed or enabled copies of parameter
// definitions sent to the host, the parameter-state snapshot in the sequence
// data and, for a user's change, the random or wiggle expression.
//
// PF_Cmd_UPDATE_PARAMS_UI and PF_Cmd_USER_CHANGED_PARAM share all of it;
// they differ only in the expression and in the vignetting limits.
#pragma once

#include <array>

#include "host/ae_effect.h"
#include "params/param_table.h"

namespace prismora {

// The records a command may send, owned by the command for one call.
using ParamCopies = std::array<PF_ParamDef, PARAM_NUM_PARAMS>;

// Clears every byte of all copies, then copies whole the records the rules
// send: 7, 11 to 18, 22 to 25 and 29 to 35. Always PF_Err_NONE.
PF_Err CopyParamDefs(PF_ParamDef* const params[], ParamCopies& copies);

enum class InterfaceCommand {
  kUpdateParamsUI,    // also sends Vignetting Maximum and Minimum
  kUserChangedParam,  // also writes or clears the expression on "random"
};

// The whole of either command. Without global data or sequence data, or
// without the parameters, it returns PF_Err_BAD_CALLBACK_PARAM and asks the
// host for nothing.
PF_Err UpdateInterfaceState(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            InterfaceCommand command);

}  // namespace prismora
