// Point and segment tests against an axis-parallel frame rectangle, with the one-pass clipper.
#include "split/clipping.h"

#include <cmath>

namespace kelvane {

int PointOutcode(double px, double py, double left, double bottom, double right, double top) {
  int code = 0;
  if (px - left < kRectTolerance) code |= kOutLeft;
  if (px - right > -kRectTolerance) code |= kOutRight;
  if (py - bottom < kRectTolerance) code |= kOutBelow;
  if (py - top > -kRectTolerance) code |= kOutAbove;
  return code;
}

int PointInRect(double px, double py, double left, double bottom, double right, double top) {
  return PointOutcode(px, py, left, bottom, right, top) == 0 ? kInsideRect : kOutsideRect;
}

namespace {

// Moves one end point onto the edges its code names, each edge at most once and in a fixed
// order. Every cut is taken from the segment's original first point so both ends lie on the
// same line whatever was cut before.
void CutEnd(double& x, double& y, int code, double ox, double oy, double dx, double dy, double left, double bottom,
            double right, double top) {
  if ((code & kOutLeft) != 0 && std::fabs(dx) > kRectTolerance) {
    x = left;
    y = oy + (left - ox) * dy / dx;
    code = PointOutcode(x, y, left, bottom, right, top);
  }
  if ((code & kOutRight) != 0 && std::fabs(dx) > kRectTolerance) {
    x = right;
    y = oy + (right - ox) * dy / dx;
    code = PointOutcode(x, y, left, bottom, right, top);
  }
  if ((code & kOutBelow) != 0 && std::fabs(dy) > kRectTolerance) {
    y = bottom;
    x = ox + (bottom - oy) * dx / dy;
    code = PointOutcode(x, y, left, bottom, right, top);
  }
  if ((code & kOutAbove) != 0 && std::fabs(dy) > kRectTolerance) {
    y = top;
    x = ox + (top - oy) * dx / dy;
  }
}

}  // namespace

int ClipSegment(double& x1, double& y1, double& x2, double& y2, double left, double bottom, double right, double top) {
  const int e = PointOutcode(x1, y1, left, bottom, right, top);
  const int f = PointOutcode(x2, y2, left, bottom, right, top);
  if (e == 0 && f == 0) return kInsideRect;
  if ((e & f) != 0) return kOutsideRect;  // both ends beyond the same edge

  const double ox = x1;
  const double oy = y1;
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  CutEnd(x1, y1, e, ox, oy, dx, dy, left, bottom, right, top);
  CutEnd(x2, y2, f, ox, oy, dx, dy, left, bottom, right, top);

  if (std::fabs(x2 - x1) < kRectTolerance && std::fabs(y2 - y1) < kRectTolerance) return kOutsideRect;
  return kCrossesRect;
}

int SegmentInRect(double x1, double y1, double x2, double y2, double left, double bottom, double right, double top) {
  return ClipSegment(x1, y1, x2, y2, left, bottom, right, top);
}

}  // namespace kelvane
