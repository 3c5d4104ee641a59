// The three colour weights of the colour separation: which part of each
// sample's colour reaches the result.
#pragma once

#include "host/ae_effect.h"

namespace prismora {

struct ColorWeights {
  PF_Pixel a;  // sample at the pixel
  PF_Pixel b;  // one step toward the centre
  PF_Pixel c;  // two steps toward the centre
};

// One colour: the colour and its complement to white. Two colours: the two
// (scaled down together when a channel would pass white) and the remainder to
// white. Three: the colours as they are, the third on the middle sample.
// Any other mode weighs nothing.
ColorWeights MakeColorWeights(A_u_char mode, PF_Pixel color1, PF_Pixel color2, PF_Pixel color3);

}  // namespace prismora
