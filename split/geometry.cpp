// Plane geometry of the sheet tests: rectangle tests and clipping, line intersection, rotation, ellipses.
#include "split/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
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

void EllipsePoint(double& ox, double& oy, double cx, double cy, double radius, double flatness, double tilt,
                  double angle) {
  EllipsePoint(ox, oy, cx, cy, radius, flatness, std::cos(tilt), std::sin(tilt), angle);
}

void EllipsePoint(double& ox, double& oy, double cx, double cy, double radius, double flatness, double cosTilt,
                  double sinTilt, double angle) {
  const double ux = radius * std::cos(angle);
  const double uy = radius * flatness * std::sin(angle);
  // RotatedX and RotatedY about the origin, term for term, so that every rounding is theirs.
  ox = 0.0 + cosTilt * (ux - 0.0) - sinTilt * (uy - 0.0) + cx;
  oy = 0.0 + sinTilt * (ux - 0.0) + cosTilt * (uy - 0.0) + cy;
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

// ---- Box index ------------------------------------------------------------------------------

namespace {

// Cell numbers stay doubles: floor(v / size) orders like v and never overflows. -0 and +0 name
// one cell.
double CellNumber(double v, double size) { return std::floor(v / size) + 0.0; }

uint64_t Bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

uint64_t Mix(uint64_t k) {
  k ^= k >> 31;
  k *= 0x9E3779B97F4A7C15ull;
  k ^= k >> 29;
  return k;
}

uint64_t PairKey(double cx, double cy) { return Mix(Bits(cx)) ^ (Mix(Bits(cy) + 0x632BE59BD9B4E019ull) << 1); }

// The next cell number: above 2^53 the integers are sparse, and the next one is the next double.
double NextCell(double c) { return c + 1 > c ? c + 1 : std::nextafter(c, std::numeric_limits<double>::infinity()); }

// How many cells a range spans, as a double (infinite when it cannot be counted).
double Span(double lo, double hi) { return hi - lo + 1; }

}  // namespace

BoxIndex::BoxIndex(const std::vector<Box>& boxes) : boxes_(boxes), seen_(boxes.size(), 0) {
  // The smallest side sets the finest cell; each box goes to the class of cells twice as large
  // as needed at most, so it lies in at most two cells per axis.
  double base = std::numeric_limits<double>::infinity();
  std::vector<int32_t> finite;
  for (size_t i = 0; i < boxes.size(); ++i) {
    const Box& b = boxes[i];
    const double w = b.maxX - b.minX, h = b.maxY - b.minY;
    if (!(std::isfinite(w) && std::isfinite(h) && w >= 0 && h >= 0)) {
      always_.push_back(int32_t(i));
      continue;
    }
    finite.push_back(int32_t(i));
    const double side = std::max(w, h);
    if (side > 0) base = std::min(base, side);
  }
  if (finite.empty()) return;
  if (!std::isfinite(base)) base = 1;  // only points
  extent_ = boxes[size_t(finite[0])];
  std::unordered_map<int, size_t> levelOf;
  for (int32_t i : finite) {
    const Box& b = boxes[size_t(i)];
    extent_.minX = std::min(extent_.minX, b.minX), extent_.maxX = std::max(extent_.maxX, b.maxX);
    extent_.minY = std::min(extent_.minY, b.minY), extent_.maxY = std::max(extent_.maxY, b.maxY);
    const double side = std::max(b.maxX - b.minX, b.maxY - b.minY);
    int k = 0;
    double size = base;
    while (size < side && std::isfinite(size * 2)) size *= 2, ++k;
    if (size < side) {
      always_.push_back(i);
      continue;
    }
    auto [it, added] = levelOf.try_emplace(k, levels_.size());
    if (added) levels_.push_back(Level{size, {}, {}, {}});
    Level& level = levels_[it->second];
    level.boxes.push_back(i);
  }
  for (Level& level : levels_) {
    MakeGrid(level, boxes_);
    if (level.grid.columns > 0) continue;  // the grid answers every query of the level
    const double size = level.size;
    for (int32_t i : level.boxes) {
      const Box& b = boxes_[size_t(i)];
      const double x0 = CellNumber(b.minX, size), x1 = CellNumber(b.maxX, size);
      const double y0 = CellNumber(b.minY, size), y1 = CellNumber(b.maxY, size);
      for (double cx = x0; cx <= x1; cx = NextCell(cx)) level.cells.byColumn[Bits(cx)].push_back(i);
      for (double cy = y0; cy <= y1; cy = NextCell(cy)) level.cells.byRow[Bits(cy)].push_back(i);
      for (double cx = x0; cx <= x1; cx = NextCell(cx))
        for (double cy = y0; cy <= y1; cy = NextCell(cy)) level.cells.byCell[PairKey(cx, cy)].push_back(i);
    }
  }
}

void BoxIndex::MakeGrid(Level& level, const std::vector<Box>& boxes) {
  double x0 = std::numeric_limits<double>::infinity(), y0 = x0, x1 = -x0, y1 = -x0;
  for (int32_t i : level.boxes) {
    const Box& b = boxes[size_t(i)];
    x0 = std::min(x0, b.minX), x1 = std::max(x1, b.maxX);
    y0 = std::min(y0, b.minY), y1 = std::max(y1, b.maxY);
  }
  // Cells are counted as doubles first: far-apart boxes may span more cells than any integer holds.
  // The finest cells the limit allows, down to a quarter of the level's: a cell then mostly
  // lies in one box, so a query meets few boxes besides the one it is in.
  const double limit = 16.0 * double(level.boxes.size()) + 4096;
  double scale = 0, columns = 0, rows = 0;
  for (double split = 4; split >= 1; split /= 2) {
    scale = split / level.size;
    columns = std::floor((x1 - x0) * scale) + 1, rows = std::floor((y1 - y0) * scale) + 1;
    if (columns * rows <= limit) break;
  }
  if (!(std::isfinite(scale) && scale > 0 && columns >= 1 && rows >= 1 && columns * rows <= limit)) return;
  Grid& g = level.grid;
  g.x0 = x0, g.y0 = y0, g.scale = scale;
  g.columns = int32_t(columns), g.rows = int32_t(rows);
  g.start.assign(size_t(g.columns) * size_t(g.rows) + 1, 0);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<uint32_t> fill(g.start.begin(), g.start.end() - 1);
    if (pass == 1) g.entries.resize(g.start.back());
    for (int32_t i : level.boxes) {
      const Box& b = boxes[size_t(i)];
      const int32_t c0 = g.Column(b.minX), c1 = g.Column(b.maxX), r0 = g.Row(b.minY), r1 = g.Row(b.maxY);
      for (int32_t r = r0; r <= r1; ++r) {
        for (int32_t c = c0; c <= c1; ++c) {
          const size_t cell = size_t(r) * size_t(g.columns) + size_t(c);
          if (pass == 0)
            ++g.start[cell + 1];
          else
            g.entries[fill[cell]++] = GridEntry{i, c0, r0};
        }
      }
    }
    if (pass == 0)
      for (size_t k = 1; k < g.start.size(); ++k) g.start[k] += g.start[k - 1];
  }
}

void BoxIndex::CollectFromGrid(const Level& level, const Box& q, std::vector<int32_t>& out) const {
  const Grid& g = level.grid;
  // The query is finite here (cut to the boxes' extent).
  const int32_t c0 = g.Column(q.minX), c1 = g.Column(q.maxX), r0 = g.Row(q.minY), r1 = g.Row(q.maxY);
  if (c0 == c1 && r0 == r1) {  // most queries: one cell, where each box shows once
    const size_t cell = size_t(r0) * size_t(g.columns) + size_t(c0);
    for (uint32_t k = g.start[cell]; k < g.start[cell + 1]; ++k) {
      const Box& b = boxes_[size_t(g.entries[k].box)];
      if (q.maxX >= b.minX && q.minX <= b.maxX && q.maxY >= b.minY && q.minY <= b.maxY) out.push_back(g.entries[k].box);
    }
    return;
  }
  for (int32_t r = r0; r <= r1; ++r) {
    for (int32_t c = c0; c <= c1; ++c) {
      const size_t cell = size_t(r) * size_t(g.columns) + size_t(c);
      for (uint32_t k = g.start[cell]; k < g.start[cell + 1]; ++k) {
        const GridEntry& e = g.entries[k];
        // A box spanning several of the query's cells is taken in the first of them only.
        if (std::max(e.firstColumn, c0) != c || std::max(e.firstRow, r0) != r) continue;
        const Box& b = boxes_[size_t(e.box)];
        if (q.maxX >= b.minX && q.minX <= b.maxX && q.maxY >= b.minY && q.minY <= b.maxY) out.push_back(e.box);
      }
    }
  }
}

bool BoxIndex::Take(int32_t i, const Box& q, std::vector<int32_t>& out) const {
  if (seen_[size_t(i)] == stamp_) return false;
  seen_[size_t(i)] = stamp_;
  const Box& b = boxes_[size_t(i)];
  if (q.maxX >= b.minX && q.minX <= b.maxX && q.maxY >= b.minY && q.minY <= b.maxY) out.push_back(i);
  return true;
}

void BoxIndex::Collect(const Level& level, const Box& q, std::vector<int32_t>& out) const {
  if (level.grid.columns > 0) return CollectFromGrid(level, q, out);
  const double x0 = CellNumber(q.minX, level.size), x1 = CellNumber(q.maxX, level.size);
  const double y0 = CellNumber(q.minY, level.size), y1 = CellNumber(q.maxY, level.size);
  const double nx = Span(x0, x1), ny = Span(y0, y1), n = double(level.boxes.size());
  auto take = [&](const std::unordered_map<uint64_t, std::vector<int32_t>>& map, uint64_t key) {
    auto it = map.find(key);
    if (it != map.end())
      for (int32_t i : it->second) Take(i, q, out);
  };
  if (nx * ny <= 16 || nx * ny <= n) {
    for (double cx = x0; cx <= x1; cx = NextCell(cx))
      for (double cy = y0; cy <= y1; cy = NextCell(cy)) take(level.cells.byCell, PairKey(cx, cy));
  } else if (ny <= nx && ny <= n) {
    for (double cy = y0; cy <= y1; cy = NextCell(cy)) take(level.cells.byRow, Bits(cy));
  } else if (nx <= n) {
    for (double cx = x0; cx <= x1; cx = NextCell(cx)) take(level.cells.byColumn, Bits(cx));
  } else {
    for (int32_t i : level.boxes) Take(i, q, out);
  }
}

void BoxIndex::Meeting(const Box& q, std::vector<int32_t>& out) const {
  out.clear();
  if (++stamp_ == 0) {  // never in practice; keeps the stamps honest
    std::fill(seen_.begin(), seen_.end(), 0);
    stamp_ = 1;
  }
  for (int32_t i : always_) out.push_back(i);
  if (levels_.empty()) return;
  // Only the part of the query over the filed boxes can meet them; an open axis becomes theirs.
  Box c = q;
  c.minX = std::isnan(q.minX) ? extent_.minX : std::max(q.minX, extent_.minX);
  c.maxX = std::isnan(q.maxX) ? extent_.maxX : std::min(q.maxX, extent_.maxX);
  c.minY = std::isnan(q.minY) ? extent_.minY : std::max(q.minY, extent_.minY);
  c.maxY = std::isnan(q.maxY) ? extent_.maxY : std::min(q.maxY, extent_.maxY);
  if (!(c.minX <= c.maxX && c.minY <= c.maxY)) return;
  for (const Level& level : levels_) Collect(level, c, out);
}

}  // namespace kelvane
