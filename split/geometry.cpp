// Plane geometry of the sheet tests: rectangle tests and clipping, line intersection, rotation, ellipses.
#include "split/geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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


namespace {

constexpr double kIntersectionTolerance = 1e-12;
// Length of the tangent stubs drawn from the arc ends; any non-zero length gives the same lines.
constexpr double kTangentLength = 10.0;

bool WithinSpan(double v, double a, double b) {
  return std::min(a, b) - kIntersectionTolerance <= v && v <= std::max(a, b) + kIntersectionTolerance;
}

}  // namespace

bool IsZeroDifference(double d) { return std::trunc(d / kIntersectionTolerance + 0.5) == 0.0; }

int SegmentIntersection(double& px, double& py, double x1, double y1, double x2, double y2, double x3, double y3,
                        double x4, double y4) {
  const bool firstVertical = IsZeroDifference(x1 - x2);
  const bool secondVertical = IsZeroDifference(x3 - x4);
  if (firstVertical && secondVertical) return kLinesParallel;

  double x;
  double y;
  if (firstVertical) {
    const double s2 = (y4 - y3) / (x4 - x3);
    x = x1;
    y = (x1 - x3) * s2 + y3;
  } else if (secondVertical) {
    const double s1 = (y2 - y1) / (x2 - x1);
    x = x3;
    y = (x3 - x1) * s1 + y1;
  } else {
    const double s1 = (y2 - y1) / (x2 - x1);
    const double b1 = y1 - s1 * x1;
    const double s2 = (y4 - y3) / (x4 - x3);
    const double b2 = y3 - s2 * x3;
    if (IsZeroDifference(s1 - s2)) return kLinesParallel;
    x = (b2 - b1) / (s1 - s2);
    y = s1 * x + b1;
  }
  px = x;
  py = y;

  const bool onFirst = WithinSpan(x, x1, x2) && WithinSpan(y, y1, y2);
  const bool onSecond = WithinSpan(x, x3, x4) && WithinSpan(y, y3, y4);
  return onFirst && onSecond ? kPointOnBoth : kPointBeyondEnd;
}

double RotatedX(double px, double py, double cx, double cy, double angle) {
  return cx + std::cos(angle) * (px - cx) - std::sin(angle) * (py - cy);
}

double RotatedY(double px, double py, double cx, double cy, double angle) {
  return cy + std::sin(angle) * (px - cx) + std::cos(angle) * (py - cy);
}

void RotatePoint(double& ox, double& oy, double px, double py, double cx, double cy, double angle) {
  ox = RotatedX(px, py, cx, cy, angle);
  oy = RotatedY(px, py, cx, cy, angle);
}

void EllipsePoint(double& ox, double& oy, double cx, double cy, double radius, double flatness, double tilt,
                  double angle) {
  const double ux = radius * std::cos(angle);
  const double uy = radius * flatness * std::sin(angle);
  ox = RotatedX(ux, uy, 0.0, 0.0, tilt) + cx;
  oy = RotatedY(ux, uy, 0.0, 0.0, tilt) + cy;
}

void TangentCorner(double& ox, double& oy, double cx, double cy, double radius, double flatness, double tilt,
                   double startAngle, double arcAngle) {
  constexpr double kHalfPi = std::numbers::pi / 2;
  const double s = startAngle;
  const double e = startAngle + arcAngle;

  // Worked in the ellipse's own untilted frame; the stubs point along the arc's direction of travel
  // at the start and against it at the end.
  const double sx = radius * std::cos(s);
  const double sy = radius * flatness * std::sin(s);
  const double sx2 = sx + kTangentLength * std::cos(s + kHalfPi);
  const double sy2 = sy + kTangentLength * flatness * std::sin(s + kHalfPi);
  const double ex = radius * std::cos(e);
  const double ey = radius * flatness * std::sin(e);
  const double ex2 = ex + kTangentLength * std::cos(e - kHalfPi);
  const double ey2 = ey + kTangentLength * flatness * std::sin(e - kHalfPi);

  double qx = 0.0;
  double qy = 0.0;
  if (SegmentIntersection(qx, qy, sx, sy, sx2, sy2, ex, ey, ex2, ey2) == kLinesParallel) {
    qx = 0.0;
    qy = 0.0;
  }
  ox = RotatedX(qx, qy, 0.0, 0.0, tilt) + cx;
  oy = RotatedY(qx, qy, 0.0, 0.0, tilt) + cy;
}

}  // namespace kelvane
