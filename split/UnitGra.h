// Plane geometry for the sheet tests: line intersection, rotation, ellipse points, tangent corners.
#pragma once

namespace kelvane {

// Results of SegmentIntersection.
inline constexpr int kLinesParallel = 0;   // no point written
inline constexpr int kPointOnBoth = 1;     // the point lies on both segments (within 1e-12)
inline constexpr int kPointBeyondEnd = 2;  // the lines meet outside a segment; point written

// True when d lies in the intersection's zero band: -1.5e-12 < d < 0.5e-12.
// Note: the band is lopsided because it rounds d / 1e-12 + 0.5 towards zero.
bool IsZeroDifference(double d);

// Where the line through (x1, y1)-(x2, y2) meets the line through (x3, y3)-(x4, y4).
int SegmentIntersection(double& px, double& py, double x1, double y1, double x2, double y2, double x3, double y3,
                        double x4, double y4);

// The point (px, py) turned by angle (radians, counter-clockwise) about (cx, cy).
double RotatedX(double px, double py, double cx, double cy, double angle);
double RotatedY(double px, double py, double cx, double cy, double angle);
void RotatePoint(double& ox, double& oy, double px, double py, double cx, double cy, double angle);

// The point at parameter angle of the ellipse centred at (cx, cy) with semi-axes radius and
// radius * flatness, its axes turned by tilt.
void EllipsePoint(double& ox, double& oy, double cx, double cy, double radius, double flatness, double tilt,
                  double angle);

// Where the end tangents of an elliptic arc meet; the centre when they are parallel.
void TangentCorner(double& ox, double& oy, double cx, double cy, double radius, double flatness, double tilt,
                   double startAngle, double arcAngle);

}  // namespace kelvane
