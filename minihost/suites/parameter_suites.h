// Everything a plug-in reaches its parameters through: the parameter model
// with its callbacks, and the suites that read or change it ("AEGP PF
// Interface Suite" 1, "AEGP Effect Suite" 2, "AEGP Stream Suite" 7, "AEGP
// Dynamic Stream Suite" 2 and "PF Param Utils Suite" 2). Lives here rather
// than in ParamService::Install because those suites build on the model.
#pragma once

#include "minihost/host/host.h"
#include "minihost/params/params.h"

namespace minihost {

// Installs the parameter service and its suites (once per host; again
// returns the same service).
ParamService& InstallParameterSuites(Host& host);

}  // namespace minihost
