// Per-plug-in state, held in the host handle that global set-up allocates.
#pragma once

#include <cstddef>

#include "host/ae_types.h"

namespace prismora {

struct GlobalData {
  // 1 once the controls have been brought into line; only ever set to 1.
  A_u_char ui_updated;
  A_u_char unused[3];
  AEGP_PluginID plugin_id;
};

static_assert(sizeof(GlobalData) == 8);
static_assert(offsetof(GlobalData, plugin_id) == 4);

}  // namespace prismora
