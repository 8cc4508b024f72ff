// Filled shapes: quadrilateral solids, and arc solids as hatches with curved edges.
#include <cmath>
#include <numbers>

#include "dxf/dxf_context.h"

namespace kelvane {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegrees = 180 / kPi;

int32_t OwnRgb(const SolidRecord& so) {
  if (so.attr.penColor != kOwnRgbColor) return -1;
  const uint32_t v = uint32_t(so.color);  // COLORREF 0x00BBGGRR
  return int32_t(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
}

// One edge of a hatch boundary: the curve of an arc solid from start over sweep, placed.
void CurveEdge(DxfSink& s, Xy o, double r, double flat, double tilt, double start, double sweep, bool full) {
  const EllipseForm e = FormOf(r, flat, tilt, start, sweep, full);
  if (e.circle) {
    s.Int(72, 2);
    s.Real(10, o.x), s.Real(20, o.y);
    s.Real(40, e.radius);
    s.Real(50, e.startAngle);
    s.Real(51, e.endAngle == 0 && e.startAngle == 0 ? 360.0 : e.endAngle);
  } else {
    s.Int(72, 3);
    s.Real(10, o.x), s.Real(20, o.y);
    s.Real(11, e.majorX), s.Real(21, e.majorY);
    s.Real(40, e.ratio);
    s.Real(50, e.start * kDegrees);
    s.Real(51, e.end * kDegrees);
  }
  s.Int(73, 1);
}

void LineEdge(DxfSink& s, Xy a, Xy b) {
  s.Int(72, 1);
  s.Real(10, a.x), s.Real(20, a.y);
  s.Real(11, b.x), s.Real(21, b.y);
}

// A point of the arc solid's curve at parameter t, placed.
Xy CurvePoint(Xy o, double r, double flat, double tilt, double t) {
  const double x = r * std::cos(t), y = r * flat * std::sin(t);
  return {o.x + x * std::cos(tilt) - y * std::sin(tilt), o.y + x * std::sin(tilt) + y * std::cos(tilt)};
}

void BeginLoop(DxfSink& s, int edges) {
  s.Int(92, 1);  // an outer boundary of edges
  s.Int(93, edges);
}

void EndLoop(DxfSink& s) { s.Int(97, 0); }

// The boundary of an arc solid: a full curve (disc), a ring of two, or an arc closed by its
// chord (segment), by two radii (sector) or by its end tangents (outer arc), as the pictures
// draw them.
void ArcSolidLoops(DxfSink& s, const SolidRecord& so, Xy o, double k) {
  const double r = so.x2 * k, flat = so.y2, tilt = so.x3, start = so.y3, sweep = so.x4, mode = so.y4;
  const int style = so.attr.penStyle;
  if (style == kRingSolid || style == kEvenRingSolid) {
    double inner = mode * k, innerFlat = flat;
    if (style == kEvenRingSolid && inner > 0) innerFlat = (r * flat - (r - inner)) / inner;
    const bool hole = inner > 0 && innerFlat > 0;
    s.Int(91, hole ? 2 : 1);
    BeginLoop(s, 1);
    CurveEdge(s, o, r, flat, tilt, 0, 2 * kPi, true);
    EndLoop(s);
    if (hole) {
      BeginLoop(s, 1);
      CurveEdge(s, o, inner, innerFlat, tilt, 0, 2 * kPi, true);
      EndLoop(s);
    }
    return;
  }
  s.Int(91, 1);
  if (mode == kFullDiscMode) {
    BeginLoop(s, 1);
    CurveEdge(s, o, r, flat, tilt, 0, 2 * kPi, true);
    EndLoop(s);
    return;
  }
  const Xy a = CurvePoint(o, r, flat, tilt, start), b = CurvePoint(o, r, flat, tilt, start + sweep);
  // Edges run counter-clockwise along the curve; the closing edges from its end back to its start.
  const Xy from = sweep < 0 ? a : b, to = sweep < 0 ? b : a;
  const double half = sweep / 2;
  const bool outer = mode == kOuterArcMode && std::fabs(std::cos(half)) > 1e-9;
  const bool segment = mode == kSegmentMode || (mode == kOuterArcMode && !outer);
  BeginLoop(s, segment ? 2 : 3);
  CurveEdge(s, o, r, flat, tilt, start, sweep, false);
  if (segment) {
    LineEdge(s, from, to);
  } else {
    const Xy corner = outer ? CurvePoint(o, r / std::cos(half), flat, tilt, start + half) : o;
    LineEdge(s, from, corner);
    LineEdge(s, corner, to);
  }
  EndLoop(s);
}

}  // namespace

void WriteDxfSolid(DxfContext& c, const SolidRecord& so, const DxfPlacement& p) {
  const double k = ScaleFor(c, p, so.attr);
  DxfSink& s = c.sink;
  if (!IsArcSolid(so.attr.penStyle)) {
    // Jw_cad goes round the corners 1-2-3-4; a DXF solid goes 1-2-4-3.
    Head(c, "SOLID", so.attr, p, false, k, OwnRgb(so));
    s.Str(100, "AcDbTrace");
    const Xy q[4] = {At(p, k, so.x1, so.y1), At(p, k, so.x2, so.y2), At(p, k, so.x4, so.y4), At(p, k, so.x3, so.y3)};
    for (int i = 0; i < 4; ++i) s.Flat(10 + i, q[i].x, q[i].y);
    return;
  }
  Head(c, "HATCH", so.attr, p, false, k, OwnRgb(so));
  s.Str(100, "AcDbHatch");
  s.Point(10, 0, 0);
  s.Real(210, 0), s.Real(220, 0), s.Real(230, 1);
  s.Str(2, "SOLID");
  s.Int(70, 1);
  s.Int(71, 0);
  ArcSolidLoops(s, so, At(p, k, so.x1, so.y1), k);
  s.Int(75, 0);
  s.Int(76, 1);
  s.Int(98, 0);
}

}  // namespace kelvane
