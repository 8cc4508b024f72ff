// Points, character cells and affine maps of the page, in millimetres: what a drawing's
// entities become on paper, for the display list and the DXF writer alike.
#pragma once

#include <cstdint>

namespace kelvane {

// Page coordinates: millimetres from the page's lower-left corner, +x right, +y up (as the
// drawing has them). A backend with +y down flips once for the whole page.
struct Vec2 {
  double x = 0, y = 0;
};

// A point as the list's pools keep it. Single precision holds page millimetres to about
// 0.0001 mm across a metre and more, far finer than any output draws, and halves the largest
// pool; arithmetic is done on Vec2 and only the result is stored.
struct PagePoint {
  float x = 0, y = 0;
  PagePoint() = default;
  constexpr PagePoint(float px, float py) : x(px), y(py) {}
  constexpr explicit PagePoint(Vec2 p) : x(float(p.x)), y(float(p.y)) {}
  constexpr operator Vec2() const { return {x, y}; }
};

// One character in its own cell: the cell is the parallelogram origin + s·across + t·up for s, t
// in 0..1 (origin is its lower-left corner, across its full width, up its full height). The glyph
// fills the cell's height; its em is scaled across so a full-width character fills the width.
struct Glyph {
  PagePoint origin, across, up;
  uint32_t code = 0;  // one character of the run's form: a code point, or Shift_JIS (lead << 8 | trail)
};

// p' = (a·x + c·y + e, b·x + d·y + f)
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  Vec2 operator()(Vec2 p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
  Vec2 Linear(Vec2 v) const { return {a * v.x + c * v.y, b * v.x + d * v.y}; }
  Affine Then(const Affine& o) const;  // this first, then o
};

}  // namespace kelvane
