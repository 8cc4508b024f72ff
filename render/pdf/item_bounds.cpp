// Bounds of display-list items.
#include "render/pdf/item_bounds.h"

#include <algorithm>
#include <cmath>

namespace kelvane::pdf {

void Box::Add(double x, double y) {
  // A coordinate not finite makes the box meet everything (see Meets), never shrinks it.
  if (!std::isfinite(x) || !std::isfinite(y)) x = y = std::numeric_limits<double>::quiet_NaN();
  minX = std::isnan(x) ? x : std::min(minX, x), maxX = std::isnan(x) ? x : std::max(maxX, x);
  minY = std::isnan(y) ? y : std::min(minY, y), maxY = std::isnan(y) ? y : std::max(maxY, y);
}

void Box::Add(const Box& b, double dx, double dy) {
  if (b.minX > b.maxX || b.minY > b.maxY) return;  // empty
  Add(b.minX + dx, b.minY + dy);
  Add(b.maxX + dx, b.maxY + dy);
}

bool Box::Meets(const Box& other, double dx, double dy) const {
  if (!(std::isfinite(minX + maxX + minY + maxY + dx + dy))) return !(minX > maxX || minY > maxY);
  return minX + dx <= other.maxX && maxX + dx >= other.minX && minY + dy <= other.maxY && maxY + dy >= other.minY;
}

Box ItemBounds::Stroke(const DisplayList& items, const kelvane::Stroke& s) const {
  Box b;
  for (uint32_t k = 0; k < s.points.count; ++k) b.Add(items.points[s.points.first + k].x, items.points[s.points.first + k].y);
  if (s.style < list_.strokeStyles.size()) {
    const StrokeStyle& style = list_.strokeStyles[s.style];
    b.Grow(std::max(0.1, style.devicePixels ? style.width * pixelMm_ : double(style.width)));
  }
  return b;
}

Box ItemBounds::Fill(const DisplayList& items, const kelvane::Fill& f) const {
  Box b;
  for (uint32_t r = 0; r < f.rings.count; ++r) {
    const Span& ring = items.rings[f.rings.first + r];
    for (uint32_t k = 0; k < ring.count; ++k) b.Add(items.points[ring.first + k].x, items.points[ring.first + k].y);
  }
  return b;
}

// The cells, grown by a cell's height for glyphs that reach out of theirs.
Box ItemBounds::Text(const DisplayList& items, const TextRun& t) const {
  Box b;
  double grow = 0;
  for (uint32_t k = 0; k < t.glyphs.count; ++k) {
    const Glyph& g = items.glyphs[t.glyphs.first + k];
    b.Add(g.origin.x, g.origin.y);
    b.Add(g.origin.x + g.across.x + g.up.x, g.origin.y + g.across.y + g.up.y);
    b.Add(g.origin.x + g.across.x, g.origin.y + g.across.y);
    b.Add(g.origin.x + g.up.x, g.origin.y + g.up.y);
    grow = std::max(grow, double(std::hypot(g.up.x, g.up.y)));
  }
  b.Grow(grow);
  return b;
}

Box ItemBounds::PictureBox(const Picture& p) {
  Box b;
  b.Add(p.origin.x, p.origin.y);
  b.Add(p.origin.x + p.across.x, p.origin.y + p.across.y);
  b.Add(p.origin.x + p.up.x, p.origin.y + p.up.y);
  b.Add(p.origin.x + p.across.x + p.up.x, p.origin.y + p.across.y + p.up.y);
  return b;
}

Box ItemBounds::Of(const DisplayList& items, const ItemRef& r, int depth) {
  switch (r.kind) {
    case ItemKind::kStroke: return Stroke(items, items.strokes[r.index]);
    case ItemKind::kFill: return Fill(items, items.fills[r.index]);
    case ItemKind::kText: return Text(items, items.texts[r.index]);
    case ItemKind::kPicture: return PictureBox(items.pictures[r.index]);
    case ItemKind::kPlacement: {
      const Placement& p = items.placements[r.index];
      Box b;
      b.Add(Sublist(p.list, depth + 1), p.dx, p.dy);
      return b;
    }
  }
  return {};
}

Box ItemBounds::Sublist(uint32_t index, int depth) {
  // A list placed within itself (never made so, but a list could be) is measured as far as it
  // is drawn, once.
  if (index >= sublists_.size() || depth > maxDepth_ || state_[index] == 1) return {};
  if (state_[index] == 2) return sublists_[index];
  state_[index] = 1;
  Box b;
  const DisplayList& items = list_.sublists[index];
  for (const ItemRef& r : items.order) b.Add(Of(items, r, depth), 0, 0);
  sublists_[index] = b;
  state_[index] = 2;
  return b;
}

}  // namespace kelvane::pdf
