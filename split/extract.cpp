// Sheet extraction: the per-kind membership rules, the paper size and the drawn frame lines.
#include "split/extract.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "split/geometry.h"
#include "split/sheetnames.h"

namespace kelvane {

namespace {

constexpr double kHalfPi = 1.5707963267948966;
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

// The tilt of one ellipse, its cosine and sine worked out once for all its points.
struct Tilt {
  double c, s;
  explicit Tilt(double angle) : c(std::cos(angle)), s(std::sin(angle)) {}
};

void AddEllipsePoint(Shape& s, double cx, double cy, double r, double flat, const Tilt& tilt, double angle) {
  double ox, oy;
  EllipsePoint(ox, oy, cx, cy, r, flat, tilt.c, tilt.s, angle);
  s.add(ox, oy);
}

void AddQuadrants(Shape& s, double cx, double cy, double r, double flat, double tiltAngle) {
  const Tilt tilt(tiltAngle);
  for (int k = 0; k < 4; ++k) AddEllipsePoint(s, cx, cy, r, flat, tilt, k * kHalfPi);
  s.ring(4);
}

void AddArcThirds(Shape& s, double cx, double cy, double r, double flat, double tiltAngle, double start,
                  double arc) {
  const Tilt tilt(tiltAngle);
  AddEllipsePoint(s, cx, cy, r, flat, tilt, start);
  AddEllipsePoint(s, cx, cy, r, flat, tilt, start + arc / 2);
  AddEllipsePoint(s, cx, cy, r, flat, tilt, start + arc);
}

bool SameCorner(double ax, double ay, double bx, double by) {
  return std::fabs(ax - bx) < kCornerTolerance && std::fabs(ay - by) < kCornerTolerance;
}

Shape SolidShape(const SolidRecord& r) {
  Shape s;
  if (!IsArcSolid(r.attr.penStyle)) {
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
  if ((style == kCircumferenceSolid && n != 0) || (style == kArcSolid && n == kFullDiscMode)) {
    AddQuadrants(s, cx, cy, rad, flat, tilt);
  } else if ((style == kCircumferenceSolid && n == 0) || (style == kArcSolid && n == kSegmentMode)) {
    AddArcThirds(s, cx, cy, rad, flat, tilt, start, arc);
    s.chord(0, 1), s.chord(1, 2), s.chord(2, 0);
  } else if (style == kArcSolid) {
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
    const Tilt turn(tilt);
    for (int k = 0; k <= 4; ++k) AddEllipsePoint(s, cx, cy, rad, flat, turn, start + k * arc / 4);
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

// The box outside which the shape answers "outside" for any frame: over the ends of its chords
// (or its point). A chord with a NaN on an axis leaves that axis open: its ends then carry no
// position bits there, so only the other axis can put both beyond one edge. Infinite ends stay
// ordered and need nothing special.
Box ReachOf(const Shape& s) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  Box b{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  bool openX = false, openY = false;
  auto add = [&](int k) {
    if (std::isnan(s.x[k])) openX = true;
    if (std::isnan(s.y[k])) openY = true;
    b.minX = std::min(b.minX, s.x[k]), b.maxX = std::max(b.maxX, s.x[k]);
    b.minY = std::min(b.minY, s.y[k]), b.maxY = std::max(b.maxY, s.y[k]);
  };
  if (s.isPoint) {
    add(0);
  } else {
    for (int c = 0; c < s.chordCount; ++c) add(s.from[c]), add(s.to[c]);
  }
  if (openX) b.minX = b.maxX = kNaN;
  if (openY) b.minY = b.maxY = kNaN;
  return b;
}

// A box holding every sample point of the arc, or false when its numbers are not all finite.
// The points lie within radius * max(1, flatness) of the centre; the margin covers their rounding.
bool ArcBound(const ArcRecord& r, Box& b) {
  const double reach = std::fabs(r.radius) * std::max(1.0, std::fabs(r.flatness));
  const double margin = 1e-9 * (reach + std::fabs(r.centerX) + std::fabs(r.centerY));
  b = Box{r.centerX - reach - margin, r.centerY - reach - margin, r.centerX + reach + margin,
          r.centerY + reach + margin};
  return std::isfinite(b.minX) && std::isfinite(b.minY) && std::isfinite(b.maxX) && std::isfinite(b.maxY) &&
         std::isfinite(r.tiltAngle) && std::isfinite(r.startAngle) && std::isfinite(r.arcAngle);
}

// Whether every point of the box has the position code 0 against the frame, so that any shape
// inside the box meets it with no need to make the shape.
bool StrictlyInside(const Box& b, const PaperFrame& f) {
  return b.minX - f.minX >= kRectTolerance && b.maxX - f.maxX <= -kRectTolerance &&
         b.minY - f.minY >= kRectTolerance && b.maxY - f.maxY <= -kRectTolerance;
}

std::vector<Box> BoxesOf(const std::vector<PaperFrame>& frames) {
  std::vector<Box> boxes;
  boxes.reserve(frames.size());
  for (const PaperFrame& f : frames) boxes.push_back(Box{f.minX, f.minY, f.maxX, f.maxY});
  return boxes;
}

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
  const EntityAttributes a{0, kSolidLineType, kAuxiliaryColor, 0, kDrawnFrameLayer, kDrawnFrameGroup, 0};
  return {LineRecord{a, x0, y0, x0 + W, y0}, LineRecord{a, x0 + W, y0, x0 + W, y0 + H},
          LineRecord{a, x0 + W, y0 + H, x0, y0 + H}, LineRecord{a, x0, y0 + H, x0, y0}};
}

bool EntityMeetsFrame(const JwwDocument& doc, const EntityRef& e, const PaperFrame& frame) {
  const Shape s = ShapeOf(doc, e);
  return !s.never && ShapeMeets(s, frame);
}

bool EntityPassesLayers(const JwwDocument& doc, const EntityRef& e, const SheetLayerFilter& filter) {
  return PassesLayers(doc, e, filter);
}

SheetExtractor::SheetExtractor(const JwwDocument& doc, const std::vector<PaperFrame>& frames)
    : doc_(doc), frames_(frames), members_(frames.size()) {
  const BoxIndex index(BoxesOf(frames));
  std::vector<int32_t> near;
  const int32_t n = std::min<int32_t>(doc.entityCount, int32_t(doc.order.size()));
  for (int32_t p = 0; p < n; ++p) {
    const EntityRef& e = doc.order[size_t(p)];
    if (e.kind < kLine || e.kind > kBlockInsert) continue;
    // An arc is first tested by its bounding box: most lie wholly inside one frame or outside
    // every frame, and then their sample points need not be worked out.
    Box bound;
    if (e.kind == kArc && ArcBound(doc.arcs[size_t(e.index)], bound)) {
      index.Meeting(bound, near);
      Shape s;
      bool shaped = false;
      for (int32_t j : near) {
        const PaperFrame& f = frames[size_t(j)];
        if (!StrictlyInside(bound, f)) {
          if (!shaped) s = ShapeOf(doc, e), shaped = true;
          if (!ShapeMeets(s, f)) continue;
        }
        members_[size_t(j)].push_back(p);
      }
      continue;
    }
    const Shape s = ShapeOf(doc, e);
    if (s.never || (!s.isPoint && s.chordCount == 0)) continue;
    // The frame test does not depend on the sheet: decide it here once, so that a sheet
    // only applies its layer list.
    index.Meeting(ReachOf(s), near);
    for (int32_t j : near)
      if (ShapeMeets(s, frames[size_t(j)])) members_[size_t(j)].push_back(p);
  }
}

SheetView SheetExtractor::Extract(size_t frame, int sheet, const SheetOptions& options) const {
  const PaperFrame& f = frames_[frame];
  SheetView v;
  v.centerX = (f.minX + f.maxX) / 2;
  v.centerY = (f.minY + f.maxY) / 2;
  if (options.drawFrameOnFF) {
    auto lines = PlaceFrameLines(f, options.margin);
    v.extraLines.assign(lines.begin(), lines.end());
  }
  const SheetLayerFilter layers = MakeSheetLayerFilter(f, sheet);
  for (int32_t p : members_[frame]) {
    const EntityRef& e = doc_.order[size_t(p)];
    if (PassesLayers(doc_, e, layers)) v.order.push_back(e);
  }
  return v;
}

}  // namespace kelvane
