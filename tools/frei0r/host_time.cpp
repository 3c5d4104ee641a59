#include "frei0r/host_time.h"

#include <cmath>
#include <initializer_list>
#include <limits>

namespace prismora::frei0r {

HostTime HostTimeOf(double seconds) {
  constexpr double kMax = std::numeric_limits<A_long>::max();
  for (const A_u_long scale : {A_u_long{120000}, A_u_long{1000}, A_u_long{1}}) {
    const double ticks = std::round(seconds * scale);
    if (std::fabs(ticks) <= kMax) return HostTime{static_cast<A_long>(ticks), scale};
  }
  return HostTime{0, 120000};  // NaN, or beyond 68 years
}

}  // namespace prismora::frei0r
