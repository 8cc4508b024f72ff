// Tests of the frame-rectangle tests, the clipper and the plane geometry helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "split/geometry.h"
#include "split/geometry.h"

namespace kelvane {
namespace {

constexpr double kPi = std::numbers::pi;

// A rectangle away from the origin, so a swapped edge or axis shows.
constexpr double kL = 10.0, kB = 20.0, kR = 110.0, kT = 70.0;

struct OutcodeCase {
  const char* what;
  double x, y;
  int code;
};

TEST(PointOutcode, EdgesCountAsOutsideAndBitsNameTheEdge) {
  const OutcodeCase cases[] = {
      {"centre", 60, 45, 0},
      {"just over 1e-12 inside every edge", kL + 2e-12, kB + 2e-12, 0},
      {"near the top right, inside", kR - 2e-12, kT - 2e-12, 0},
      {"on the left edge", kL, 45, kOutLeft},
      {"1e-13 inside the left edge", kL + 1e-13, 45, kOutLeft},
      {"beyond the left edge", kL - 5, 45, kOutLeft},
      {"on the right edge", kR, 45, kOutRight},
      {"1e-13 inside the right edge", kR - 1e-13, 45, kOutRight},
      {"on the bottom edge", 60, kB, kOutBelow},
      {"1e-13 inside the bottom edge", 60, kB + 1e-13, kOutBelow},
      {"on the top edge", 60, kT, kOutAbove},
      {"1e-13 inside the top edge", 60, kT - 1e-13, kOutAbove},
      {"bottom left corner", kL, kB, kOutLeft | kOutBelow},
      {"beyond the top right corner", kR + 1, kT + 1, kOutRight | kOutAbove},
      {"left of and above", kL - 1, kT + 1, kOutLeft | kOutAbove},
      {"right of and below", kR + 1, kB - 1, kOutRight | kOutBelow},
  };
  for (const OutcodeCase& c : cases) {
    EXPECT_EQ(PointOutcode(c.x, c.y, kL, kB, kR, kT), c.code) << c.what;
    EXPECT_EQ(PointInRect(c.x, c.y, kL, kB, kR, kT), c.code == 0 ? kInsideRect : kOutsideRect) << c.what;
  }
}

TEST(PointOutcode, DegenerateRectangleHasNoInside) {
  // A point can never be 1e-12 clear of both edges of a rectangle thinner than 2e-12.
  EXPECT_EQ(PointInRect(0.5e-12, 0.5, 0.0, 0.0, 1e-12, 1.0), kOutsideRect);
}

struct Segment {
  double x1, y1, x2, y2;
};

int Clip(Segment& s) { return ClipSegment(s.x1, s.y1, s.x2, s.y2, kL, kB, kR, kT); }

TEST(ClipSegment, InsideAndSameSideSegmentsAreLeftAlone) {
  Segment inside{20, 30, 100, 60};
  EXPECT_EQ(Clip(inside), kInsideRect);
  EXPECT_EQ(inside.x1, 20);
  EXPECT_EQ(inside.y1, 30);
  EXPECT_EQ(inside.x2, 100);
  EXPECT_EQ(inside.y2, 60);

  // Both ends beyond the right edge, one also above: the shared bit rejects it untouched.
  Segment beyond{120, 30, 130, 90};
  EXPECT_EQ(Clip(beyond), kOutsideRect);
  EXPECT_EQ(beyond.x1, 120);
  EXPECT_EQ(beyond.y2, 90);
}

TEST(ClipSegment, SegmentOnAnEdgeIsOutside) {
  const Segment onEdges[] = {
      {kL, kB, kR, kB},                  // bottom
      {kR, kT, kL, kT},                  // top, drawn backwards
      {kL, kB, kL, kT},                  // left
      {kR, 30, kR, 60},                  // part of the right edge
      {kL + 1e-13, 30, kL + 1e-13, 60},  // within 1e-12 inside the left edge
  };
  for (Segment s : onEdges) EXPECT_EQ(Clip(s), kOutsideRect) << s.x1 << "," << s.y1;
}

TEST(ClipSegment, CrossingSegmentIsCutAtTheEdges) {
  Segment out{60, 45, 160, 45};  // inside to beyond the right edge
  EXPECT_EQ(Clip(out), kCrossesRect);
  EXPECT_EQ(out.x1, 60);
  EXPECT_EQ(out.y1, 45);
  EXPECT_EQ(out.x2, kR);
  EXPECT_EQ(out.y2, 45);

  Segment through{60, 0, 60, 100};  // straight through bottom and top
  EXPECT_EQ(Clip(through), kCrossesRect);
  EXPECT_EQ(through.x1, 60);
  EXPECT_EQ(through.y1, kB);
  EXPECT_EQ(through.x2, 60);
  EXPECT_EQ(through.y2, kT);

  // Every cut is taken from the first end point: 1/3 exactly rounded, not 1 - 2/3.
  Segment shallow{0, 0, 3, 1};
  EXPECT_EQ(ClipSegment(shallow.x1, shallow.y1, shallow.x2, shallow.y2, -1, -1, 1, 5), kCrossesRect);
  EXPECT_EQ(shallow.x2, 1);
  EXPECT_EQ(shallow.y2, 1.0 / 3.0);

  // Diagonal from below left to above right; the first end is cut at the left edge and then,
  // still below, again at the bottom, both from the original first point.
  Segment diag{0, 0, 120, 120};
  EXPECT_EQ(Clip(diag), kCrossesRect);
  EXPECT_DOUBLE_EQ(diag.x1, 20);
  EXPECT_DOUBLE_EQ(diag.y1, 20);
  EXPECT_DOUBLE_EQ(diag.x2, 70);
  EXPECT_DOUBLE_EQ(diag.y2, 70);
}

TEST(ClipSegment, PassingOutsideACornerShrinksToAPoint) {
  // From left of the rectangle to above it, missing the top left corner: the first end is cut at
  // the left edge, lands above, is cut at the top; the second end is cut at the top to the same point.
  Segment miss{-10, 50, 20, 90};
  EXPECT_EQ(Clip(miss), kOutsideRect);
  EXPECT_DOUBLE_EQ(miss.x1, miss.x2);
  EXPECT_DOUBLE_EQ(miss.y1, kT);
}

TEST(ClipSegment, NearlyVerticalOrHorizontalIsNotCutAlongItself) {
  // |dx| <= 1e-12: the first end is left of the left edge but must not be moved onto it.
  Segment vertical{0.5e-12, 45, 1.2e-12, 90};
  const double rect0[] = {0.0, kB, 100.0, kT};
  EXPECT_EQ(ClipSegment(vertical.x1, vertical.y1, vertical.x2, vertical.y2, rect0[0], rect0[1], rect0[2], rect0[3]),
            kCrossesRect);
  EXPECT_EQ(vertical.x1, 0.5e-12);
  EXPECT_EQ(vertical.y1, 45);
  EXPECT_EQ(vertical.y2, kT);

  // |dy| <= 1e-12: the first end is below the bottom edge but must not be moved onto it.
  Segment horizontal{50, 0.5e-12, 200, 1.2e-12};
  EXPECT_EQ(ClipSegment(horizontal.x1, horizontal.y1, horizontal.x2, horizontal.y2, 0.0, 0.0, 100.0, 50.0),
            kCrossesRect);
  EXPECT_EQ(horizontal.x1, 50);
  EXPECT_EQ(horizontal.y1, 0.5e-12);
  EXPECT_EQ(horizontal.x2, 100);
}

TEST(SegmentInRect, LeavesTheCallersSegmentAlone) {
  double x1 = 60, y1 = 45, x2 = 160, y2 = 45;
  EXPECT_EQ(SegmentInRect(x1, y1, x2, y2, kL, kB, kR, kT), kCrossesRect);
  EXPECT_EQ(x2, 160);
  EXPECT_EQ(SegmentInRect(20, 30, 100, 60, kL, kB, kR, kT), kInsideRect);
  EXPECT_EQ(SegmentInRect(-10, 50, 20, 90, kL, kB, kR, kT), kOutsideRect);
  EXPECT_EQ(SegmentInRect(0, 0, 5, 200, kL, kB, kR, kT), kOutsideRect);  // all left of the rectangle
}

TEST(SegmentIntersection, ZeroBandIsLopsided) {
  struct {
    double d;
    bool zero;
  } const cases[] = {
      {0.0, true},    {0.4e-12, true},  {0.49e-12, true},  {0.51e-12, false}, {1e-12, false},
      {-1e-12, true}, {-1.4e-12, true}, {-1.6e-12, false}, {-3e-12, false},   {1.0, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsZeroDifference(c.d), c.zero) << c.d;
}

TEST(SegmentIntersection, ParallelLinesWriteNoPoint) {
  double px = -7, py = -7;
  // Both vertical, even when not on the same line.
  EXPECT_EQ(SegmentIntersection(px, py, 1, 0, 1, 5, 3, 0, 3, 5), kLinesParallel);
  // Both within the zero band of vertical: x3 - x4 = -1.2e-12 is inside the band.
  EXPECT_EQ(SegmentIntersection(px, py, 1, 0, 1 + 1e-13, 5, 3, 0, 3 + 1.2e-12, 5), kLinesParallel);
  // Slopes 1 and 1 + 4e-13 differ by less than the band.
  EXPECT_EQ(SegmentIntersection(px, py, 0, 0, 1, 1, 0, 1, 1, 2 + 4e-13), kLinesParallel);
  EXPECT_EQ(px, -7);
  EXPECT_EQ(py, -7);
  // Slopes 1 and 1 - 1e-9 are not parallel.
  EXPECT_NE(SegmentIntersection(px, py, 0, 0, 1, 1, 0, 1, 1, 2 - 1e-9), kLinesParallel);
  // x3 - x4 = +1.2e-12 is outside the band: the second line is steep, not vertical.
  EXPECT_EQ(SegmentIntersection(px, py, 1, 0, 1 + 1e-13, 5, 3, 0, 3 - 1.2e-12, 5), kPointBeyondEnd);
  EXPECT_EQ(px, 1);
}

TEST(SegmentIntersection, CrossingAndBeyondTheEnds) {
  double px = 0, py = 0;
  EXPECT_EQ(SegmentIntersection(px, py, 0, 0, 10, 10, 0, 10, 10, 0), kPointOnBoth);
  EXPECT_DOUBLE_EQ(px, 5);
  EXPECT_DOUBLE_EQ(py, 5);

  // First vertical: the point keeps its x exactly.
  EXPECT_EQ(SegmentIntersection(px, py, 3, 0, 3, 10, 0, 1, 10, 2), kPointOnBoth);
  EXPECT_EQ(px, 3);
  EXPECT_DOUBLE_EQ(py, 1.3);

  // Second vertical, met beyond the end of the first segment: the point is still written.
  EXPECT_EQ(SegmentIntersection(px, py, 0, 0, 1, 1, 10, 0, 10, -5), kPointBeyondEnd);
  EXPECT_EQ(px, 10);
  EXPECT_DOUBLE_EQ(py, 10);

  // Beyond the second segment only.
  EXPECT_EQ(SegmentIntersection(px, py, 0, 0, 10, 0, 4, 1, 5, 2), kPointBeyondEnd);
  EXPECT_DOUBLE_EQ(px, 3);
  EXPECT_DOUBLE_EQ(py, 0);

  // On the first segment and at the second's x, but short of its y span.
  EXPECT_EQ(SegmentIntersection(px, py, 0, 5, 10, 5, 4, 6, 4, 9), kPointBeyondEnd);
  EXPECT_EQ(px, 4);
  EXPECT_EQ(py, 5);
  // The same with the roles swapped: the first segment's y span decides.
  EXPECT_EQ(SegmentIntersection(px, py, 4, 6, 4, 9, 0, 5, 10, 5), kPointBeyondEnd);

  // Meeting exactly at an end point counts as on both.
  EXPECT_EQ(SegmentIntersection(px, py, 0, 0, 4, 0, 4, 0, 6, 3), kPointOnBoth);
  EXPECT_DOUBLE_EQ(px, 4);
  EXPECT_DOUBLE_EQ(py, 0);

  // A first segment within the zero band of vertical is taken as vertical at its first x.
  EXPECT_EQ(SegmentIntersection(px, py, 2, 0, 2 + 1e-13, 10, 0, 4, 10, 4), kPointOnBoth);
  EXPECT_EQ(px, 2);
  EXPECT_DOUBLE_EQ(py, 4);
}

TEST(Rotation, TurnsCounterClockwiseAboutTheCentre) {
  EXPECT_NEAR(RotatedX(1, 0, 0, 0, kPi / 2), 0, 1e-15);
  EXPECT_NEAR(RotatedY(1, 0, 0, 0, kPi / 2), 1, 1e-15);
  double ox = 0, oy = 0;
  ox = RotatedX(3, 2, 1, 1, kPi), oy = RotatedY(3, 2, 1, 1, kPi);
  EXPECT_NEAR(ox, -1, 1e-14);
  EXPECT_NEAR(oy, 0, 1e-14);
  ox = RotatedX(5, 1, 1, 1, -kPi / 2), oy = RotatedY(5, 1, 1, 1, -kPi / 2);  // clockwise by a negative angle
  EXPECT_NEAR(ox, 1, 1e-14);
  EXPECT_NEAR(oy, -3, 1e-14);
  ox = RotatedX(4, -2, 4, -2, 1.234), oy = RotatedY(4, -2, 4, -2, 1.234);  // the centre stays
  EXPECT_EQ(ox, 4);
  EXPECT_EQ(oy, -2);
}

TEST(EllipsePoint, FlatnessShortensOwnYAxisAndTiltTurnsIt) {
  double ox = 0, oy = 0;
  EllipsePoint(ox, oy, 10, 20, 4, 0.5, 0, 0);
  EXPECT_NEAR(ox, 14, 1e-14);
  EXPECT_NEAR(oy, 20, 1e-14);
  EllipsePoint(ox, oy, 10, 20, 4, 0.5, 0, kPi / 2);
  EXPECT_NEAR(ox, 10, 1e-14);
  EXPECT_NEAR(oy, 22, 1e-14);
  // Tilted a quarter turn: the long axis points up, the short one left.
  EllipsePoint(ox, oy, 10, 20, 4, 0.5, kPi / 2, 0);
  EXPECT_NEAR(ox, 10, 1e-14);
  EXPECT_NEAR(oy, 24, 1e-14);
  EllipsePoint(ox, oy, 10, 20, 4, 0.5, kPi / 2, kPi / 2);
  EXPECT_NEAR(ox, 8, 1e-14);
  EXPECT_NEAR(oy, 20, 1e-14);
}

TEST(TangentCorner, MeetingPointOfTheEndTangents) {
  double ox = 0, oy = 0;
  // Half a circle: parallel tangents give the centre.
  for (double r : {1.0, 100.0, 2500.0}) {
    TangentCorner(ox, oy, 30, -40, r, 1.0, 0.3, 0, kPi);
    EXPECT_NEAR(ox, 30, 1e-12) << r;
    EXPECT_NEAR(oy, -40, 1e-12) << r;
  }
  // Quarter circle from 0 to pi/2: the tangents meet at (r, r) from the centre.
  TangentCorner(ox, oy, 30, -40, 2, 1.0, 0, 0, kPi / 2);
  EXPECT_NEAR(ox, 32, 1e-12);
  EXPECT_NEAR(oy, -38, 1e-12);
  // The same on a half-flat ellipse: (r, r * flatness).
  TangentCorner(ox, oy, 30, -40, 2, 0.5, 0, 0, kPi / 2);
  EXPECT_NEAR(ox, 32, 1e-12);
  EXPECT_NEAR(oy, -39, 1e-12);
  // Tilted a quarter turn, the corner (2, 1) turns to (-1, 2).
  TangentCorner(ox, oy, 30, -40, 2, 0.5, kPi / 2, 0, kPi / 2);
  EXPECT_NEAR(ox, 29, 1e-12);
  EXPECT_NEAR(oy, -38, 1e-12);
  // A quarter arc from pi/2 to pi: corner at (-r, r).
  TangentCorner(ox, oy, 0, 0, 3, 1.0, 0, kPi / 2, kPi / 2);
  EXPECT_NEAR(ox, -3, 1e-12);
  EXPECT_NEAR(oy, 3, 1e-12);
}

}  // namespace
}  // namespace kelvane
