// The entities drawn as ellipse pieces: arcs and circles, points as discs, and the ring, arc
// and disc solids.
#include <algorithm>
#include <cmath>
#include <vector>

#include "drawing/pen_looks.h"
#include "render/builder_limits.h"
#include "render/ellipse.h"
#include "render/render.h"

namespace kelvane {

void DisplayListBuilder::AddArc(const ArcRecord& arc, const Affine& m) {
  const LineLook* lookp = CachedLook(arc.attr);
  if (!lookp) return;
  const LineLook& look = *lookp;
  const Affine k = EllipseMap(arc.centerX, arc.centerY, arc.radius, arc.flatness, arc.tiltAngle, m);
  // A box round the ellipse, larger than its own by at most a factor of two's square root. One
  // test for the usual arc, near the page: NaN fails it too.
  const double hx = std::fabs(k.a) + std::fabs(k.c), hy = std::fabs(k.b) + std::fabs(k.d);
  const Pair centre{k.e, k.f}, half{hx, hy};
  const bool near = Both((centre - half > PairOf(nearLo_)) & (centre + half < PairOf(nearHi_)));
  if ((!near && !Usable(k)) || !std::isfinite(arc.startAngle + arc.arcAngle)) return Skip();
  if (std::max(hx, hy) >= kCullFrom && OffPage(k)) return;
  // A sweep of more than two turns draws nothing a full circle does not; arcs of a drawing
  // never come near it.
  const bool full = arc.fullCircle != 0 || std::fabs(arc.arcAngle) > 4 * kPi;
  const double sweep = full ? 2 * kPi : arc.arcAngle;
  const uint32_t first = uint32_t(out_->points.size());
  EllipseMapPoints(k, full ? 0.0 : arc.startAngle, sweep, out_->points, !full, arcCut_);
  // The ellipse is no longer than the box's larger half side times the sweep, give or take.
  uint32_t style = look.style;
  if (look.capDashes) {
    const double length = sweep * std::max(hx, hy);
    if (length * length > look.solidPast2) style = SolidStyle(look);
  }
  if (!near) return StrokeNear(first, full, style);
  StrokeWith(first, full, style);
  out_->arcs.push_back({uint32_t(out_->strokes.size() - 1), float(k.a), float(k.b), float(k.c), float(k.d),
                        float(k.e), float(k.f), float(full ? 0.0 : arc.startAngle), float(sweep)});
}

void DisplayListBuilder::AddPoint(const PointRecord& p, const Affine& m) {
  // Temporary points are construction aids and never print, nor show in a picture.
  if (p.temporary != 0) return;
  const LineLook* lookp = CachedLook(p.attr);
  if (!lookp) return;
  const LineLook& look = *lookp;
  // A point prints as a disc of its pen's point radius when that switch is on, as a dot
  // otherwise. Marker codes (penStyle 100) have undocumented shapes and print as dots.
  double radius = std::max(look.devicePixels ? 0.2 : look.width / 2, 0.1);
  if (doc_.header.PointsAsPenRadius()) PenPointRadius(doc_, p.attr.penColor, radius);
  const Vec2 c = m({p.x, p.y});
  if (!Usable(c) || !(std::fabs(radius) < kLargestCell)) return Skip();
  const double scale = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
  const uint32_t firstRing = uint32_t(out_->rings.size()), first = uint32_t(out_->points.size());
  EllipsePoints(c.x, c.y, std::max(radius * (scale > 0 ? 1.0 : 0.0), 0.05), 1.0, 0, 0, 2 * kPi, Affine{},
                out_->points, false, arcCut_);
  EndRing(first);
  FillFrom(firstRing, look.color);
}

void DisplayListBuilder::AddArcSolid(const SolidRecord& s, const Affine& m, Rgb color) {
  std::vector<PagePoint>& r = out_->points;
  const uint32_t firstRing = uint32_t(out_->rings.size());
  const uint32_t first = uint32_t(r.size());
  const double cx = s.x1, cy = s.y1, rad = s.x2, flat = s.y2, tilt = s.x3, start = s.y3, sweep = s.x4, mode = s.y4;
  const int style = s.attr.penStyle;
  if (style == kRingSolid || style == kEvenRingSolid) {
    // A ring: the inner radius is in the mode field; the even ring keeps its width on both axes.
    EllipsePoints(cx, cy, rad, flat, tilt, 0, 2 * kPi, m, r, false, arcCut_);
    EndRing(first);
    const uint32_t inner0 = uint32_t(r.size());
    const double inner = mode;
    if (style == kEvenRingSolid) {
      const double band = rad - inner, innerB = rad * flat - band;
      if (inner > 0 && innerB > 0) EllipsePoints(cx, cy, inner, innerB / inner, tilt, 0, 2 * kPi, m, r, false, arcCut_);
    } else if (inner > 0) {
      EllipsePoints(cx, cy, inner, flat, tilt, 0, 2 * kPi, m, r, false, arcCut_);
    }
    EndRing(inner0);
    FillSolid(firstRing, first, color);
    return;
  }
  // kArcSolid, and kCircumferenceSolid whose shape is open: drawn with the same modes: the full
  // disc, a segment (arc and chord), the outer arc as the area between the arc and the corner
  // where its end tangents meet (a reading, no corpus solid has it), anything else a sector.
  if (mode == kFullDiscMode) {
    EllipsePoints(cx, cy, rad, flat, tilt, 0, 2 * kPi, m, r, false, arcCut_);
  } else {
    EllipsePoints(cx, cy, rad, flat, tilt, start, sweep, m, r, true, arcCut_);
    if (mode == kOuterArcMode) {
      // Tangents at both ends in parameter space (unit circle) meet at the half-angle point
      // scaled by 1/cos(sweep/2); the ellipse map carries it to the page.
      const double half = sweep / 2, mid = start + half;
      if (std::fabs(std::cos(half)) > 1e-9) {
        const double k = 1 / std::cos(half);
        const double px = k * std::cos(mid), py = k * std::sin(mid);
        const Affine e{rad * std::cos(tilt), rad * std::sin(tilt), -rad * flat * std::sin(tilt),
                       rad * flat * std::cos(tilt), cx, cy};
        r.emplace_back(m(e({px, py})));
      }
    } else if (mode != kSegmentMode) {
      r.emplace_back(m({cx, cy}));
    }
  }
  EndRing(first);
  FillSolid(firstRing, first, color);
}

}  // namespace kelvane
