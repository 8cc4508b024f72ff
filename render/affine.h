// Affine maps of the plane, from drawing to page.
#pragma once

#include "render/display_list.h"

namespace kelvane {

// p' = (a·x + c·y + e, b·x + d·y + f)
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  Vec2 operator()(Vec2 p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
  Vec2 Linear(Vec2 v) const { return {a * v.x + c * v.y, b * v.x + d * v.y}; }
  Affine Then(const Affine& o) const;  // this first, then o
};

}  // namespace kelvane
