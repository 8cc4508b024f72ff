// Flattening ellipses: the number of segments from the page size of the semi-axes, the points
// by rotation, the end exact.
#include "render/ellipse.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvane {

Affine EllipseMap(double cx, double cy, double r, double flat, double tilt, const Affine& m) {
  const bool tilted = tilt != 0;
  const double c = tilted ? std::cos(tilt) : 1, s = tilted ? std::sin(tilt) : 0;
  return Affine{r * c, r * s, -r * flat * s, r * flat * c, cx, cy}.Then(m);
}

void CutEllipse(const Affine& k, double sweep, ArcCut& cut) {
  const double big = std::max(std::sqrt(k.a * k.a + k.b * k.b), std::sqrt(k.c * k.c + k.d * k.d));
  if (big != cut.big) {
    cut.big = big;
    cut.step = big > kArcTolerance ? 2 * std::acos(1 - kArcTolerance / big) : kPi / 2;
    cut.sweep = std::numeric_limits<double>::quiet_NaN();
  }
  if (sweep == cut.sweep) return;
  const double n = std::ceil(std::fabs(sweep) / cut.step);
  cut.sweep = sweep;
  cut.segments = !(n > 4) ? 4 : n >= kMaxArcSegments ? kMaxArcSegments : int(n);  // NaN too: the fewest
  const double dt = sweep / cut.segments;
  cut.cos = std::cos(dt);
  cut.sin = std::sin(dt);
}

void EllipseMapPoints(const Affine& map, double start, double sweep, std::vector<PagePoint>& out, bool includeEnd,
                      ArcCut& cut) {
  const Affine k = map;  // a copy the points written cannot alias: it stays in registers
  CutEllipse(k, sweep, cut);
  const int n = cut.segments;
  const double cs = cut.cos, sn = cut.sin;
  double c = start != 0 ? std::cos(start) : 1, s = start != 0 ? std::sin(start) : 0;
  const int last = includeEnd ? n : n - 1;
  for (int j = 0; j <= last; ++j) {
    if (j == n) {  // the exact end, not the sum of n rotations
      c = std::cos(start + sweep);
      s = std::sin(start + sweep);
    }
    out.emplace_back(k({c, s}));
    const double c2 = c * cs - s * sn;
    s = s * cs + c * sn;
    c = c2;
  }
}

void EllipsePoints(double cx, double cy, double r, double flat, double tilt, double start, double sweep,
                   const Affine& m, std::vector<PagePoint>& out, bool includeEnd, ArcCut& cut) {
  EllipseMapPoints(EllipseMap(cx, cy, r, flat, tilt, m), start, sweep, out, includeEnd, cut);
}

}  // namespace kelvane
