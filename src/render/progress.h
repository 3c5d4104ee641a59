// Progress of the render, reported to the host after every row; a non-zero
// answer (the user cancelled, say) ends the render with that code.
#pragma once

#include "host/ae_effect.h"

namespace prismora {

// Reports row y as `offset + y` of `total`.
struct Progress {
  const PF_InData* in_data;
  A_long offset;
  A_long total;
  PF_Err operator()(A_long y) const {
    return in_data->inter.progress(in_data->effect_ref, offset + y, total);
  }
};

}  // namespace prismora
