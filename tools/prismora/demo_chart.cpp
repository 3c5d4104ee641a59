#include "demo_chart.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace prismora::cli {
namespace {

// Premultiplied colour, so that supersamples average and layers stack.
struct Premul {
  float r = 0, g = 0, b = 0, a = 0;
};

Premul Solid(float r, float g, float b) { return {r, g, b, 1.0f}; }

Premul Hue(float h) {
  // Fully saturated hue h in [0, 1), piecewise linear.
  const float x = h * 6.0f;
  auto ch = [&](float offset) {
    const float d = std::fabs(std::fmod(x + offset, 6.0f) - 3.0f);
    return std::clamp(d - 1.0f, 0.0f, 1.0f);
  };
  return Solid(ch(0.0f), ch(4.0f), ch(2.0f));
}

// The chart at a point (u, v) in units of the height, centre at the origin;
// `half_width` is half the image width in the same units.
Premul ChartAt(double u, double v, double half_width) {
  constexpr double kPi = std::numbers::pi;
  Premul c = Solid(0.16f, 0.16f, 0.18f);

  // Grid: lines every 1/12 of the height, two pixels wide at 1080 lines.
  constexpr double kCell = 1.0 / 12.0, kLine = 1.0 / 540.0;
  auto on_line = [&](double t) {
    const double m = std::fmod(std::fabs(t), kCell);
    return m < kLine * 0.5 || m > kCell - kLine * 0.5;
  };
  if (on_line(u) || on_line(v)) c = Solid(0.55f, 0.55f, 0.55f);

  // Smooth ramps: grey along the top, hue along the bottom.
  const double ramp_half = half_width * 0.9;
  if (std::fabs(u) < ramp_half) {
    const auto t = static_cast<float>((u + ramp_half) / (2.0 * ramp_half));
    if (v > -0.47 && v < -0.41) c = Solid(t, t, t);
    if (v > 0.41 && v < 0.47) c = Hue(t * 0.999f);
  }

  // Star of 48 spokes around the centre, with a grey hub where the spokes
  // would be finer than a pixel.
  const double r = std::hypot(u, v);
  if (r < 0.28) {
    const double angle = std::atan2(v, u) + kPi;
    const bool white = static_cast<int>(angle / (2.0 * kPi) * 48.0) % 2 == 0;
    c = r < 0.035 ? Solid(0.5f, 0.5f, 0.5f) : white ? Solid(1, 1, 1) : Solid(0, 0, 0);
  } else if (r < 0.285) {
    c = Solid(1, 1, 1);
  }

  // Squares turned by 0, 22.5, 45 and 67.5 degrees, and discs, toward the
  // corners, where the displacement is largest.
  const double square_u[] = {-0.45, 0.45, -0.45, 0.45};
  const double square_v[] = {-0.30, -0.30, 0.30, 0.30};
  for (int i = 0; i < 4; ++i) {
    const double a = i * kPi / 8.0;
    const double du = u - square_u[i], dv = v - square_v[i];
    const double x = du * std::cos(a) + dv * std::sin(a);
    const double y = -du * std::sin(a) + dv * std::cos(a);
    if (std::fabs(x) < 0.065 && std::fabs(y) < 0.065) c = Solid(1, 1, 1);
  }
  for (double du : {-0.72, 0.72}) {
    for (double dv : {-0.30, 0.30}) {
      const double d = std::hypot(u - du, v - dv);
      if (d < 0.06) c = d < 0.03 ? Solid(0, 0, 0) : Solid(1, 1, 1);
    }
  }

  // Half opacity on the right, with coloured bars inside it.
  if (u > 0.60 && u < 0.84 && std::fabs(v) < 0.12) {
    const int bar = static_cast<int>((u - 0.60) / 0.08);
    if (std::fabs(v) < 0.08) {
      c = bar == 0 ? Solid(1, 0, 0) : bar == 1 ? Solid(0, 1, 0) : Solid(0, 0, 1);
    }
    c = {c.r * 0.5f, c.g * 0.5f, c.b * 0.5f, c.a * 0.5f};
  }
  return c;
}

}  // namespace

imageio::Raster DrawDemoChart(int width, int height, imageio::Depth depth) {
  imageio::Raster raster(width, height, depth);
  const double scale = 1.0 / height;
  const double half_width = 0.5 * width * scale;
  constexpr int kSub = 4;  // 4x4 samples per pixel smooth the edges
  imageio::VisitDepth(depth, [&](auto t) {
    using T = typename decltype(t)::type;
    for (int y = 0; y < height; ++y) {
      imageio::Argb<T>* row = raster.Row<T>(y);
      for (int x = 0; x < width; ++x) {
        Premul sum;
        for (int sy = 0; sy < kSub; ++sy) {
          for (int sx = 0; sx < kSub; ++sx) {
            const double px = x + (sx + 0.5) / kSub, py = y + (sy + 0.5) / kSub;
            const Premul c = ChartAt(px * scale - half_width, py * scale - 0.5, half_width);
            sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b, sum.a + c.a};
          }
        }
        const float a = sum.a / (kSub * kSub);
        const float k = sum.a > 0 ? 1.0f / sum.a : 0.0f;  // back to straight colour
        row[x] = {imageio::FromUnit<T>(a), imageio::FromUnit<T>(sum.r * k),
                  imageio::FromUnit<T>(sum.g * k), imageio::FromUnit<T>(sum.b * k)};
      }
    }
  });
  return raster;
}

}  // namespace prismora::cli
