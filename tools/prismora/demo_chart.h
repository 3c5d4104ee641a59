// The demo's test chart, drawn in code: hard high-contrast edges at every
// angle (discs, squares turned in steps of 22.5 degrees), fine radial lines (a
// star of spokes), a grid, smooth grey and hue ramps, and a region at half
// opacity. Everything is placed relative to the image's height about its
// centre, so any size shows the same chart.
#pragma once

#include "imageio/raster.h"

namespace prismora::cli {

imageio::Raster DrawDemoChart(int width, int height, imageio::Depth depth);

}  // namespace prismora::cli
