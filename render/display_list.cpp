// Whole-list helpers: bounds and moving.
#include "render/display_list.h"

#include <algorithm>
#include <cmath>

namespace kelvane {

namespace {

struct Bounds {
  bool any = false;
  double minX = 0, minY = 0, maxX = 0, maxY = 0;

  void Take(double x, double y) {
    if (!any) {
      minX = maxX = x;
      minY = maxY = y;
      any = true;
      return;
    }
    minX = std::min(minX, x), maxX = std::max(maxX, x);
    minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  void Cell(Vec2 o, Vec2 a, Vec2 u) {
    Take(o.x, o.y);
    Take(o.x + a.x, o.y + a.y);
    Take(o.x + u.x, o.y + u.y);
    Take(o.x + a.x + u.x, o.y + a.y + u.y);
  }
};

// The bounds of one list's items, with every sublist's worked out once however often it is placed.
class BoundsFinder {
 public:
  explicit BoundsFinder(const DisplayList& root)
      : root_(root), found_(root.sublists.size()), state_(root.sublists.size(), 0) {}

  Bounds Of(const DisplayList& l) {
    Bounds b;
    for (const PagePoint& p : l.points) b.Take(p.x, p.y);
    for (const Glyph& g : l.glyphs) b.Cell(g.origin, g.across, g.up);
    for (const Picture& p : l.pictures) b.Cell(p.origin, p.across, p.up);
    for (const Placement& p : l.placements) {
      if (p.list >= found_.size()) continue;
      if (state_[p.list] == 0) {
        state_[p.list] = 1;  // a list that placed itself would be skipped here, not looped over
        found_[p.list] = Of(root_.sublists[p.list]);
        state_[p.list] = 2;
      }
      const Bounds& s = found_[p.list];
      if (state_[p.list] == 2 && s.any) {
        b.Take(s.minX + p.dx, s.minY + p.dy);
        b.Take(s.maxX + p.dx, s.maxY + p.dy);
      }
    }
    return b;
  }

 private:
  const DisplayList& root_;
  std::vector<Bounds> found_;
  std::vector<uint8_t> state_;  // 0 not yet, 1 being found, 2 found
};

}  // namespace

bool DrawnBounds(const DisplayList& list, double& minX, double& minY, double& maxX, double& maxY) {
  const Bounds b = BoundsFinder(list).Of(list);
  if (!b.any) return false;
  minX = b.minX, minY = b.minY, maxX = b.maxX, maxY = b.maxY;
  return true;
}

std::string OverBudgetMessage() {
  return "the drawing inserts its blocks too often to be drawn (block expansion over budget)";
}

std::string SkippedEntitiesWarning(const DisplayList& list) {
  if (list.skippedEntities == 0) return {};
  return std::to_string(list.skippedEntities) + " entit" + (list.skippedEntities == 1 ? "y" : "ies") +
         " with unusable values (not finite or far too large) left out of the picture";
}

void Translate(DisplayList& list, double dx, double dy) {
  for (PagePoint& p : list.points) p = PagePoint(Vec2{p.x + dx, p.y + dy});
  for (Glyph& g : list.glyphs) g.origin = PagePoint(Vec2{g.origin.x + dx, g.origin.y + dy});
  for (Picture& p : list.pictures) p.origin.x += dx, p.origin.y += dy;
  for (StrokeArc& a : list.arcs) a.e = float(a.e + dx), a.f = float(a.f + dy);
  // What is placed moves with its placement.
  for (Placement& p : list.placements) p.dx += dx, p.dy += dy;
}

bool PictureIsDrawable(const Picture& p, const DisplayList& list) {
  const double limit = 100 * std::max(list.width, list.height);
  for (double v : {p.origin.x, p.origin.y, p.clipX, p.clipY, p.clipWidth, p.clipHeight})
    if (!std::isfinite(v)) return false;
  for (Vec2 v : {p.across, p.up})
    if (!(std::hypot(v.x, v.y) <= limit)) return false;
  const double area = p.across.x * p.up.y - p.across.y * p.up.x;
  return std::isfinite(area) && area != 0;
}

}  // namespace kelvane
