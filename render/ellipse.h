// Ellipses and their arcs cut into segments as fine as the page needs: the arcs, points and arc
// solids of a drawing, and the bounds the pools are reserved by.
#pragma once

#include <vector>

#include "drawing/page_geometry.h"

namespace kelvane {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kDegree = kPi / 180.0;
// How far a flattened arc may stray from the true curve, in page millimetres (a tenth of a
// pixel at 250 dpi).
inline constexpr double kArcTolerance = 0.01;
inline constexpr int kMaxArcSegments = 4096;

// How the last arc was cut, kept for the next: drawings repeat their radii and sweeps, and the
// trigonometry of cutting costs more than the points.
struct ArcCut {
  double big = -1, step = 0;  // the larger semi-axis on the page, and the parameter step it allows
  double sweep = 0;           // the sweep cut with that step into
  int segments = 0;           // this many segments,
  double cos = 1, sin = 0;    // each turning the parameter by this
};

// The unit circle to C + Rot(tilt)·(r cos t, r·f sin t), then to the page.
Affine EllipseMap(double cx, double cy, double r, double flat, double tilt, const Affine& m);

// How many segments a sweep of an ellipse map is cut into, and the turn of one: the semi-axes
// as they come out on the page decide how finely.
void CutEllipse(const Affine& k, double sweep, ArcCut& cut);

// Points of C + Rot(tilt)·(r cos t, r·f sin t) for t from start over sweep: angles are
// parametric and measured from the tilt axis, for circles too.
void EllipseMapPoints(const Affine& map, double start, double sweep, std::vector<PagePoint>& out, bool includeEnd,
                      ArcCut& cut);
void EllipsePoints(double cx, double cy, double r, double flat, double tilt, double start, double sweep,
                   const Affine& m, std::vector<PagePoint>& out, bool includeEnd, ArcCut& cut);

}  // namespace kelvane
