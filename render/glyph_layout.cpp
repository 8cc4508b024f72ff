// Glyph placement shared by the backends.
#include "render/glyph_layout.h"

#include <cmath>

#include "drawing/text_layout.h"

namespace kelvane {

bool IsBlankGlyph(uint32_t code, bool unicode) { return code == 0x20 || code == (unicode ? 0x3000u : 0x8140u); }

std::string SjisBytesOf(uint32_t code) {
  std::string b;
  if (code > 0xFF) b.push_back(char(code >> 8));
  b.push_back(char(code & 0xFF));
  return b;
}

bool CellOfGlyph(const Glyph& g, Vec2 origin, GlyphCell& cell) {
  cell.origin = origin;
  cell.across = g.across;
  cell.up = g.up;
  cell.acrossLen = std::hypot(cell.across.x, cell.across.y);
  cell.upLen = std::hypot(cell.up.x, cell.up.y);
  // A cell that is not finite would put the backend into its error state.
  return cell.acrossLen > 0 && cell.upLen > 0 && std::isfinite(cell.acrossLen + cell.upLen + origin.x + origin.y);
}

GlyphPlacement PlaceGlyph(const GlyphCell& cell, uint32_t code, bool unicode, double fontSize, double advance) {
  const double cells = CellWidthOf(code, unicode);
  GlyphPlacement p;
  p.v = cell.upLen / fontSize;
  p.h = cell.acrossLen / cells / fontSize;
  const double x0 = (cell.acrossLen - advance * p.h) / 2;
  p.a = {cell.across.x / cell.acrossLen, cell.across.y / cell.acrossLen};
  p.u = {cell.up.x / cell.upLen, cell.up.y / cell.upLen};
  p.top = {cell.origin.x + p.a.x * x0 + p.u.x * cell.upLen, cell.origin.y + p.a.y * x0 + p.u.y * cell.upLen};
  return p;
}

MissingGlyphBox MissingGlyphBoxIn(const GlyphCell& cell) {
  constexpr double kInset = 0.15;  // of each side
  const Vec2 o = cell.origin, across = cell.across, up = cell.up;
  MissingGlyphBox box;
  box.start = {o.x + kInset * (across.x + up.x), o.y + kInset * (across.y + up.y)};
  box.across = {across.x * (1 - 2 * kInset), across.y * (1 - 2 * kInset)};
  box.up = {up.x * (1 - 2 * kInset), up.y * (1 - 2 * kInset)};
  box.lineWidth = cell.upLen / 20;
  return box;
}

}  // namespace kelvane
