// The services every host offers from the start: the basic suite, "PF Handle
// Suite" 2, "AEGP Utility Suite" 7 and the utility and ANSI callbacks.
#pragma once

#include "minihost/host/host.h"

namespace minihost {

void InstallBasicServices(Host& host);
const SPBasicSuite* BasicSuite();

}  // namespace minihost
