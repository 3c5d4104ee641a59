#include "render/color_weights.h"

#include <algorithm>

namespace prismora {
namespace {

// What the other two weights leave of white, channel by channel.
PF_Pixel Remainder(A_u_char alpha, PF_Pixel first, PF_Pixel second) {
  return PF_Pixel{alpha, static_cast<A_u_char>(255 - first.red - second.red),
                  static_cast<A_u_char>(255 - first.green - second.green),
                  static_cast<A_u_char>(255 - first.blue - second.blue)};
}

// Channels times 255 / largest, truncated; the ratios survive.
PF_Pixel ScaledDown(PF_Pixel color, int largest) {
  auto scale = [largest](A_u_char c) { return static_cast<A_u_char>(c * 255 / largest); };
  return PF_Pixel{color.alpha, scale(color.red), scale(color.green), scale(color.blue)};
}

}  // namespace

ColorWeights MakeColorWeights(A_u_char mode, PF_Pixel color1, PF_Pixel color2,
                              PF_Pixel color3) {
  switch (mode) {
    case 1:
      return {color1, Remainder(0, color1, PF_Pixel{}), PF_Pixel{}};
    case 2: {
      const int largest = std::max({color1.red + color2.red, color1.green + color2.green,
                                    color1.blue + color2.blue});
      const PF_Pixel a = largest > 255 ? ScaledDown(color1, largest) : color1;
      const PF_Pixel c = largest > 255 ? ScaledDown(color2, largest) : color2;
      return {a, Remainder(255, a, c), c};
    }
    case 3:
      return {color1, color3, color2};
    default:
      return {};
  }
}

}  // namespace prismora
