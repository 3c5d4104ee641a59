// "PF Param Utils Suite" 2: the interface state of parameters
// (PF_UpdateParamUI) and the parameter-state records (PF_GetCurrentState,
// PF_HasParamChanged), served from the host's parameter model.
#pragma once

#include "minihost/host/host.h"

namespace minihost {

// Registers the suite (the parameter service must be installed too;
// InstallParameterSuites installs both).
void InstallParamUtilsSuite(Host& host);

}  // namespace minihost
