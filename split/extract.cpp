// Sheet extraction: the per-kind membership rules, the paper size and the drawn frame lines.
#include "split/extract.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "split/geometry.h"
#include "split/geometry.h"
#include "split/sheetnames.h"

namespace kelvane {

namespace {

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;
constexpr double kCornerTolerance = 1e-14;

// What the membership test of an entity looks at: a single point, or chords between sample
// points tested in order until one is inside or crossing.
struct Shape {
  bool isPoint = false;
  int pointCount = 0;
  double x[5] = {}, y[5] = {};
  int chordCount = 0;
  int from[4] = {}, to[4] = {};
  bool never = false;  // always excluded (paper-frame lines, name texts)

  void add(double px, double py) {
    x[pointCount] = px;
    y[pointCount] = py;
    ++pointCount;
  }
  void chord(int a, int b) {
    from[chordCount] = a;
    to[chordCount] = b;
    ++chordCount;
  }
  void ring(int n) {  // P0P1, P1P2, ..., P(n-1)P0
    for (int k = 0; k < n; ++k) chord(k, (k + 1) % n);
  }
};

Shape SegmentShape(double x1, double y1, double x2, double y2) {
  Shape s;
  s.add(x1, y1);
  s.add(x2, y2);
  s.chord(0, 1);
  return s;
}

Shape PointShape(double px, double py) {
  Shape s;
  s.isPoint = true;
  s.add(px, py);
  return s;
}

void AddEllipsePoint(Shape& s, double cx, double cy, double r, double flat, double tilt, double angle) {
  double ox, oy;
  EllipsePoint(ox, oy, cx, cy, r, flat, tilt, angle);
  s.add(ox, oy);
}

void AddQuadrants(Shape& s, double cx, double cy, double r, double flat, double tilt) {
  for (int k = 0; k < 4; ++k) AddEllipsePoint(s, cx, cy, r, flat, tilt, k * kHalfPi);
  s.ring(4);
}

void AddArcThirds(Shape& s, double cx, double cy, double r, double flat, double tilt, double start, double arc) {
  AddEllipsePoint(s, cx, cy, r, flat, tilt, start);
  AddEllipsePoint(s, cx, cy, r, flat, tilt, start + arc / 2);
  AddEllipsePoint(s, cx, cy, r, flat, tilt, start + arc);
}

bool SameCorner(double ax, double ay, double bx, double by) {
  return std::fabs(ax - bx) < kCornerTolerance && std::fabs(ay - by) < kCornerTolerance;
}

Shape SolidShape(const SolidRecord& r) {
  Shape s;
  if (r.attr.penStyle <= 100) {
    s.add(r.x1, r.y1);
    s.add(r.x2, r.y2);
    s.add(r.x3, r.y3);
    s.add(r.x4, r.y4);
    if (SameCorner(r.x2, r.y2, r.x3, r.y3)) {
      s.chord(0, 1);
    } else if (SameCorner(r.x3, r.y3, r.x4, r.y4)) {
      s.chord(0, 1), s.chord(1, 2), s.chord(2, 0);
    } else {
      s.ring(4);
    }
    return s;
  }
  // An arc solid: centre, radius, flatness, tilt, start, arc and a shape code.
  const double cx = r.x1, cy = r.y1, rad = r.x2, flat = r.y2, tilt = r.x3, start = r.y3, arc = r.x4;
  const double n = std::trunc(r.y4);
  const int style = r.attr.penStyle;
  if ((style == 111 && n != 0) || (style == 101 && n == 100)) {
    AddQuadrants(s, cx, cy, rad, flat, tilt);
  } else if ((style == 111 && n == 0) || (style == 101 && n == 5)) {
    AddArcThirds(s, cx, cy, rad, flat, tilt, start, arc);
    s.chord(0, 1), s.chord(1, 2), s.chord(2, 0);
  } else if (style == 101) {
    AddArcThirds(s, cx, cy, rad, flat, tilt, start, arc);
    if (n == 0) {
      s.add(cx, cy);  // a sector: the centre closes it
    } else {
      double tx, ty;
      TangentCorner(tx, ty, cx, cy, rad, flat, tilt, start, arc);
      s.add(tx, ty);
    }
    s.chord(0, 1), s.chord(1, 2), s.chord(2, 3), s.chord(3, 0);
  } else {
    for (int k = 0; k <= 4; ++k) AddEllipsePoint(s, cx, cy, rad, flat, tilt, start + k * arc / 4);
    s.chord(0, 1), s.chord(1, 2), s.chord(2, 3), s.chord(3, 4);
  }
  return s;
}

Shape ShapeOf(const JwwDocument& doc, const EntityRef& e) {
  const size_t i = size_t(e.index);
  switch (e.kind) {
    case kLine: {
      const LineRecord& r = doc.lines[i];
      Shape s = SegmentShape(r.startX, r.startY, r.endX, r.endY);
      s.never = IsFrameLine(r);
      return s;
    }
    case kArc: {
      const ArcRecord& r = doc.arcs[i];
      Shape s;
      if (r.fullCircle == 1) {
        AddQuadrants(s, r.centerX, r.centerY, r.radius, r.flatness, r.tiltAngle);
      } else {
        AddArcThirds(s, r.centerX, r.centerY, r.radius, r.flatness, r.tiltAngle, r.startAngle, r.arcAngle);
        s.chord(0, 1), s.chord(1, 2), s.chord(2, 0);
      }
      return s;
    }
    case kPoint:
      return PointShape(doc.points[i].x, doc.points[i].y);
    case kText: {
      const TextRecord& r = doc.texts[i];
      Shape s = SegmentShape(r.startX, r.startY, r.endX, r.endY);
      s.never = IsSheetNameText(r, doc.textStrings[i].text);
      return s;
    }
    case kDimension: {
      const LineRecord& l = doc.dimensions[i].line;
      return SegmentShape(l.startX, l.startY, l.endX, l.endY);
    }
    case kSolid:
      return SolidShape(doc.solids[i]);
    case kBlockInsert:
      return PointShape(doc.blockInserts[i].refX, doc.blockInserts[i].refY);
    default: {
      Shape s;
      s.never = true;
      return s;
    }
  }
}

bool ShapeMeets(const Shape& s, const PaperFrame& f) {
  if (s.isPoint) return PointInRect(s.x[0], s.y[0], f.minX, f.minY, f.maxX, f.maxY) < kOutsideRect;
  for (int c = 0; c < s.chordCount; ++c) {
    const int a = s.from[c], b = s.to[c];
    if (SegmentInRect(s.x[a], s.y[a], s.x[b], s.y[b], f.minX, f.minY, f.maxX, f.maxY) < kOutsideRect) return true;
  }
  return false;
}

// The layers whose restriction decides an entity; a dimension passes by its line or its text.
bool PassesLayers(const JwwDocument& doc, const EntityRef& e, const SheetLayerFilter& filter) {
  if (!filter.applies) return true;
  const size_t i = size_t(e.index);
  auto passes = [&](const EntityAttributes& a) { return filter.Passes(a.layerGroup, a.layer); };
  switch (e.kind) {
    case kLine:
      return passes(doc.lines[i].attr);
    case kArc:
      return passes(doc.arcs[i].attr);
    case kPoint:
      return passes(doc.points[i].attr);
    case kText:
      return passes(doc.texts[i].attr);
    case kDimension:
      return passes(doc.dimensions[i].line.attr) || passes(doc.dimensions[i].text.attr);
    case kSolid:
      return passes(doc.solids[i].attr);
    case kBlockInsert:
      return passes(doc.blockInserts[i].attr);
    default:
      return false;
  }
}

// Bounds of what the test looks at; a shape whose bounds miss a frame's closed rectangle
// answers "outside" for that frame, because both ends of every chord lie beyond one edge.
struct Bounds {
  double minX, minY, maxX, maxY;
  bool finite;
};

Bounds BoundsOf(const Shape& s) {
  Bounds b{s.x[0], s.y[0], s.x[0], s.y[0], true};
  for (int k = 0; k < s.pointCount; ++k) {
    b.minX = std::min(b.minX, s.x[k]);
    b.maxX = std::max(b.maxX, s.x[k]);
    b.minY = std::min(b.minY, s.y[k]);
    b.maxY = std::max(b.maxY, s.y[k]);
    if (!std::isfinite(s.x[k]) || !std::isfinite(s.y[k])) b.finite = false;
  }
  return b;
}

// A uniform grid over the frames, for finding the frames a bounding box can reach.
class FrameGrid {
 public:
  explicit FrameGrid(const std::vector<PaperFrame>& frames) : frames_(frames) {
    if (frames.empty()) return;
    minX_ = frames[0].minX, minY_ = frames[0].minY;
    double maxX = frames[0].maxX, maxY = frames[0].maxY, sumW = 0, sumH = 0;
    for (const PaperFrame& f : frames) {
      minX_ = std::min(minX_, f.minX), minY_ = std::min(minY_, f.minY);
      maxX = std::max(maxX, f.maxX), maxY = std::max(maxY, f.maxY);
      sumW += f.maxX - f.minX, sumH += f.maxY - f.minY;
    }
    // Cells about the size of an average frame, and never many more cells than frames.
    const double side = std::sqrt(4.0 * double(frames.size()) + 64.0);
    cellW_ = std::max(sumW / double(frames.size()), (maxX - minX_) / side);
    cellH_ = std::max(sumH / double(frames.size()), (maxY - minY_) / side);
    if (!(std::isfinite(cellW_) && std::isfinite(cellH_) && cellW_ > 0 && cellH_ > 0 && std::isfinite(minX_) &&
          std::isfinite(minY_))) {
      cellW_ = cellH_ = std::numeric_limits<double>::infinity();  // one cell holds every frame
      minX_ = minY_ = -std::numeric_limits<double>::infinity();
    } else {
      nx_ = std::min<int64_t>(int64_t(side) + 2, int64_t((maxX - minX_) / cellW_) + 1);
      ny_ = std::min<int64_t>(int64_t(side) + 2, int64_t((maxY - minY_) / cellH_) + 1);
    }
    cells_.resize(size_t(nx_ * ny_));
    for (size_t j = 0; j < frames.size(); ++j) {
      const PaperFrame& f = frames[j];
      for (int64_t gy = CellY(f.minY); gy <= CellY(f.maxY); ++gy)
        for (int64_t gx = CellX(f.minX); gx <= CellX(f.maxX); ++gx) cells_[size_t(gy * nx_ + gx)].push_back(int32_t(j));
    }
    seen_.assign(frames.size(), -1);
  }

  // Calls visit(j) once for every frame whose closed rectangle meets the bounds.
  template <typename F>
  void ForFramesMeeting(const Bounds& b, int64_t stamp, F visit) {
    if (frames_.empty()) return;
    const int64_t x0 = CellX(b.minX), x1 = CellX(b.maxX), y0 = CellY(b.minY), y1 = CellY(b.maxY);
    for (int64_t gy = y0; gy <= y1; ++gy) {
      for (int64_t gx = x0; gx <= x1; ++gx) {
        for (int32_t j : cells_[size_t(gy * nx_ + gx)]) {
          if (seen_[size_t(j)] == stamp) continue;
          seen_[size_t(j)] = stamp;
          const PaperFrame& f = frames_[size_t(j)];
          if (b.maxX >= f.minX && b.minX <= f.maxX && b.maxY >= f.minY && b.minY <= f.maxY) visit(j);
        }
      }
    }
  }

 private:
  static int64_t Cell(double v, double origin, double size, int64_t n) {
    const double c = std::floor((v - origin) / size);
    if (!(c >= 0)) return 0;  // also NaN, from an unbounded grid
    return c >= double(n - 1) ? n - 1 : int64_t(c);
  }
  int64_t CellX(double x) const { return Cell(x, minX_, cellW_, nx_); }
  int64_t CellY(double y) const { return Cell(y, minY_, cellH_, ny_); }

  const std::vector<PaperFrame>& frames_;
  double minX_ = 0, minY_ = 0, cellW_ = 1, cellH_ = 1;
  int64_t nx_ = 1, ny_ = 1;
  std::vector<std::vector<int32_t>> cells_;
  std::vector<int64_t> seen_;
};

}  // namespace

int32_t PaperSizeFor(const PaperFrame& f) {
  const double w = std::fabs(f.maxX - f.minX), h = std::fabs(f.maxY - f.minY);
  const bool landscape = w >= h;
  const double l = landscape ? w : h;
  if (l < 230) return 4;
  if (l < 317) return landscape ? 4 : 3;
  if (l < 440) return landscape ? 3 : 2;
  if (l < 614) return landscape ? 2 : 1;
  if (l < 861) return landscape ? 1 : 0;
  return landscape ? 0 : 8;
}

std::array<LineRecord, 4> PlaceFrameLines(const PaperFrame& f, double m) {
  const double cx = (f.minX + f.maxX) / 2, cy = (f.minY + f.maxY) / 2;
  const double w = std::fabs(f.maxX - f.minX), h = std::fabs(f.maxY - f.minY);
  const double x0 = cx - w / 2 + m, y0 = cy - h / 2 + m, W = w - 2 * m, H = h - 2 * m;
  const EntityAttributes a{0, 1, 9, 0, kDrawnFrameLayer, kDrawnFrameGroup, 0};
  return {LineRecord{a, x0, y0, x0 + W, y0}, LineRecord{a, x0 + W, y0, x0 + W, y0 + H},
          LineRecord{a, x0 + W, y0 + H, x0, y0 + H}, LineRecord{a, x0, y0 + H, x0, y0}};
}

SheetExtractor::SheetExtractor(const JwwDocument& doc, const std::vector<PaperFrame>& frames)
    : doc_(doc), frames_(frames), members_(frames.size()) {
  FrameGrid grid(frames);
  const int32_t n = std::min<int32_t>(doc.entityCount, int32_t(doc.order.size()));
  for (int32_t p = 0; p < n; ++p) {
    const EntityRef& e = doc.order[size_t(p)];
    if (e.kind < kLine || e.kind > kBlockInsert) continue;
    const Shape s = ShapeOf(doc, e);
    if (s.never) continue;
    const Bounds b = BoundsOf(s);
    if (!b.finite) {
      // The bounds do not order NaN: test against every frame.
      for (size_t j = 0; j < frames.size(); ++j)
        if (ShapeMeets(s, frames[j])) members_[j].push_back(p);
      continue;
    }
    // The frame test does not depend on the sheet: decide it here once, so that a sheet
    // only applies its layer list.
    grid.ForFramesMeeting(b, p, [&](int32_t j) {
      if (ShapeMeets(s, frames[size_t(j)])) members_[size_t(j)].push_back(p);
    });
  }
}

bool SheetExtractor::Belongs(const EntityRef& e, const PaperFrame& f, const SheetLayerFilter& layers) const {
  // The layers first: they are cheaper than the shape.
  if (!PassesLayers(doc_, e, layers)) return false;
  const Shape s = ShapeOf(doc_, e);
  return !s.never && ShapeMeets(s, f);
}

SheetView SheetExtractor::Start(const PaperFrame& f, const SheetOptions& options) const {
  SheetView v;
  v.centerX = (f.minX + f.maxX) / 2;
  v.centerY = (f.minY + f.maxY) / 2;
  if (options.drawFrameOnFF) {
    auto lines = PlaceFrameLines(f, options.margin);
    v.extraLines.assign(lines.begin(), lines.end());
  }
  return v;
}

SheetView SheetExtractor::Extract(size_t frame, int sheet, const SheetOptions& options) const {
  const PaperFrame& f = frames_[frame];
  SheetView v = Start(f, options);
  const SheetLayerFilter layers = MakeSheetLayerFilter(f, sheet);
  for (int32_t p : members_[frame]) {
    const EntityRef& e = doc_.order[size_t(p)];
    if (PassesLayers(doc_, e, layers)) v.order.push_back(e);
  }
  return v;
}

SheetView SheetExtractor::ExtractByWalk(size_t frame, int sheet, const SheetOptions& options) const {
  const PaperFrame& f = frames_[frame];
  SheetView v = Start(f, options);
  const SheetLayerFilter layers = MakeSheetLayerFilter(f, sheet);
  const int32_t n = std::min<int32_t>(doc_.entityCount, int32_t(doc_.order.size()));
  for (int32_t p = 0; p < n; ++p) {
    const EntityRef& e = doc_.order[size_t(p)];
    if (e.kind >= kLine && e.kind <= kBlockInsert && Belongs(e, f, layers)) v.order.push_back(e);
  }
  return v;
}

}  // namespace kelvane
