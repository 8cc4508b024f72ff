// The largest page a vector picture (PDF, SVG) has, and what is said of a page past it. The cairo
// and the PDF writers keep the one limit, so that a sheet too large for one is too large for both.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

namespace kelvane {

// The largest page side in points: a quarter of the range of cairo's 24.8 fixed-point
// coordinates, so that lines a little beyond the page still draw.
constexpr double kMaxVectorPagePoints = double(1 << 21);

// Empty for a page of w x h points that can be made; else why not ("the page is empty", "the
// page would be 800000 x 1000 mm, more than 739 m a side"). Any size, or none, gives a message
// and not an overflow.
inline std::string VectorPageProblem(double w, double h) {
  constexpr double kMmPerInch = 25.4, kPointsPerInch = 72;
  if (!(w > 0 && h > 0)) return "the page is empty";
  if (w <= kMaxVectorPagePoints && h <= kMaxVectorPagePoints) return {};
  char size[96];
  std::snprintf(size, sizeof size, "%.0f x %.0f", std::min(w, 1e18) * kMmPerInch / kPointsPerInch,
                std::min(h, 1e18) * kMmPerInch / kPointsPerInch);
  return std::string("the page would be ") + size + " mm, more than " +
         std::to_string(int(kMaxVectorPagePoints * kMmPerInch / kPointsPerInch / 1000)) + " m a side";
}

}  // namespace kelvane
