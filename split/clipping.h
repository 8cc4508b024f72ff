// Point and segment tests against an axis-parallel frame rectangle, with the one-pass clipper.
#pragma once

namespace kelvane {

// A point closer than this to an edge, or on it, counts as beyond that edge.
inline constexpr double kRectTolerance = 1e-12;

// Position code bits of a point against a rectangle; 0 means strictly inside.
inline constexpr int kOutLeft = 1;
inline constexpr int kOutRight = 2;
inline constexpr int kOutBelow = 4;
inline constexpr int kOutAbove = 8;

// Results of the point and segment tests.
inline constexpr int kInsideRect = 0;
inline constexpr int kCrossesRect = 1;
inline constexpr int kOutsideRect = 2;

int PointOutcode(double px, double py, double left, double bottom, double right, double top);

// kInsideRect when the position code is 0, otherwise kOutsideRect.
int PointInRect(double px, double py, double left, double bottom, double right, double top);

// Cuts the segment to the rectangle in one pass and replaces its end points by the cut ones.
// Note: the cut points are not tested again, so a segment passing outside a corner may still
// answer kCrossesRect; only a piece that shrank to a point is rejected.
int ClipSegment(double& x1, double& y1, double& x2, double& y2, double left, double bottom, double right, double top);

// ClipSegment on copies: the caller's segment stays as it is.
int SegmentInRect(double x1, double y1, double x2, double y2, double left, double bottom, double right, double top);

}  // namespace kelvane
