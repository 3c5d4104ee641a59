// The host's basic suite, kept from global set-up for the one call the host
// makes without in_data: the deletion of pre-render data, which may come on
// any thread, after the render or without one. The basic suite outlives every
// instance of the effect, so the pointer stays good for as long as the
// library is loaded. This is the plug-in's only mutable static data.
#pragma once

#include "host/ae_effect.h"

namespace prismora {

void KeepBasicSuite(const SPBasicSuite* basic);
// Null until a global set-up has run.
const SPBasicSuite* KeptBasicSuite();

}  // namespace prismora
