// Plane geometry of the sheet tests: rectangle tests and clipping, line intersection, rotation, ellipses.
#pragma once

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

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

// The point at parameter angle of the ellipse centred at (cx, cy) with semi-axes radius and
// radius * flatness, its axes turned by tilt.
void EllipsePoint(double& ox, double& oy, double cx, double cy, double radius, double flatness, double tilt,
                  double angle);
// The same with the tilt's cosine and sine worked out once, for several points of one ellipse;
// the result is the same to the bit.
void EllipsePoint(double& ox, double& oy, double cx, double cy, double radius, double flatness, double cosTilt,
                  double sinTilt, double angle);

// Where the end tangents of an elliptic arc meet; the centre when they are parallel.
void TangentCorner(double& ox, double& oy, double cx, double cy, double radius, double flatness, double tilt,
                   double startAngle, double arcAngle);

// A closed rectangle; in a query, a NaN bound leaves that axis open.
struct Box {
  double minX, minY, maxX, maxY;
};

// Finds the boxes a query box meets, at a cost that follows what is found rather than how many
// boxes there are or where they lie: boxes are filed by size class in cells about their own size,
// keyed by the cell's number itself, so far-off or huge coordinates neither clamp many boxes
// into one cell nor stretch the cells. A query whose box spans many cells on one axis looks up
// the other axis alone; one spanning many on both walks its size class.
class BoxIndex {
 public:
  explicit BoxIndex(const std::vector<Box>& boxes);

  // Fills `out` with the boxes whose closed rectangle meets q, each once, in no set order.
  // Boxes with a bound that is not finite, or inverted, are always among them.
  void Meeting(const Box& q, std::vector<int32_t>& out) const;

 private:
  struct Cells {
    std::unordered_map<uint64_t, std::vector<int32_t>> byCell, byRow, byColumn;
  };
  // Where the level's cells are few, a dense grid of them stands in for the hashed cells:
  // cell (x, y) lists its boxes at entries[start[y * columns + x]...], each with the first
  // cell it lies in, so that a query takes every box once without marking it.
  struct GridEntry {
    int32_t box, firstColumn, firstRow;
  };
  struct Grid {
    double x0 = 0, y0 = 0, scale = 0;  // the grid's corner, and cells per unit
    int32_t columns = 0, rows = 0;
    // The column or row of a coordinate, those beyond the grid in its border cells. Any
    // function that keeps the order of coordinates serves, so no floor is needed.
    static int32_t Cell(double v, double origin, double scale, int32_t count) {
      return int32_t(std::min(std::max((v - origin) * scale, 0.0), double(count - 1)));
    }
    int32_t Column(double x) const { return Cell(x, x0, scale, columns); }
    int32_t Row(double y) const { return Cell(y, y0, scale, rows); }
    std::vector<uint32_t> start;
    std::vector<GridEntry> entries;
  };
  struct Level {
    double size;
    std::vector<int32_t> boxes;
    Cells cells;
    Grid grid;  // empty (no columns) when its cells would be too many
  };
  static void MakeGrid(Level& level, const std::vector<Box>& boxes);
  void CollectFromGrid(const Level& level, const Box& q, std::vector<int32_t>& out) const;
  void Collect(const Level& level, const Box& q, std::vector<int32_t>& out) const;
  bool Take(int32_t i, const Box& q, std::vector<int32_t>& out) const;

  std::vector<Box> boxes_;
  std::vector<Level> levels_;
  std::vector<int32_t> always_;
  Box extent_{0, 0, -1, -1};
  mutable std::vector<uint64_t> seen_;
  mutable uint64_t stamp_ = 0;
};

}  // namespace kelvane
