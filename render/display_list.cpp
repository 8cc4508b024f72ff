// Whole-list helpers: bounds and moving.
#include "render/display_list.h"

#include <algorithm>

namespace kelvane {

bool DrawnBounds(const DisplayList& list, double& minX, double& minY, double& maxX, double& maxY) {
  bool any = false;
  auto take = [&](Vec2 p) {
    if (!any) {
      minX = maxX = p.x;
      minY = maxY = p.y;
      any = true;
      return;
    }
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  };
  auto cell = [&](Vec2 o, Vec2 a, Vec2 u) {
    take(o);
    take({o.x + a.x, o.y + a.y});
    take({o.x + u.x, o.y + u.y});
    take({o.x + a.x + u.x, o.y + a.y + u.y});
  };
  for (const PagePoint& p : list.points) take(p);
  for (const Glyph& g : list.glyphs) cell(g.origin, g.across, g.up);
  for (const Picture& p : list.pictures) cell(p.origin, p.across, p.up);
  return any;
}

void Translate(DisplayList& list, double dx, double dy) {
  for (PagePoint& p : list.points) p = PagePoint(Vec2{p.x + dx, p.y + dy});
  for (Glyph& g : list.glyphs) g.origin = PagePoint(Vec2{g.origin.x + dx, g.origin.y + dy});
  for (Picture& p : list.pictures) p.origin.x += dx, p.origin.y += dy;
}

}  // namespace kelvane
