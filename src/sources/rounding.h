// Conversions from floating point to whole numbers round to the nearest
// integer, ties to the even one (2.5 gives 2, 3.5 gives 4, -0.5 gives 0).
#pragma once

#include <cmath>

namespace talmer::sources {

// Ties to even without depending on the floating-point environment.
inline double round_half_even(double x) {
  const double r = std::floor(x);
  const double f = x - r;  // exact: r and x share their high bits
  if (f > 0.5) return r + 1.0;
  if (f < 0.5) return r;
  return std::fmod(r, 2.0) == 0.0 ? r : r + 1.0;
}

}  // namespace talmer::sources
