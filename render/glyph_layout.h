// Where each glyph of a text run goes and what it shows: the one rule every backend draws by.
// A backend only converts the text to its own encoding, measures the glyph with its own font
// engine and draws it where the placement says.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "render/display_list.h"

namespace kelvane {

// True for the characters that draw nothing: the space and the ideographic space.
bool IsBlankGlyph(uint32_t code, bool unicode);

// The bytes of a stored Shift_JIS code: the lead byte first when there are two.
std::string SjisBytesOf(uint32_t code);

// A glyph's text in a backend's encoding, converted once per character: `encode` takes a code
// point, `convert` the Shift_JIS bytes of a code.
template <class Text>
class GlyphTexts {
 public:
  using Encode = Text (*)(char32_t codePoint);
  using Convert = Text (*)(const std::string& sjis);
  GlyphTexts(Encode encode, Convert convert) : encode_(encode), convert_(convert) {}

  const Text& operator()(uint32_t code, bool unicode) {
    const uint64_t key = uint64_t(code) | (unicode ? uint64_t(1) << 40 : 0);
    auto it = texts_.find(key);
    if (it != texts_.end()) return it->second;
    return texts_.emplace(key, unicode ? encode_(code) : convert_(SjisBytesOf(code))).first->second;
  }

 private:
  Encode encode_;
  Convert convert_;
  std::unordered_map<uint64_t, Text> texts_;
};

// A glyph's cell where it is drawn: the lower-left corner, the two sides and their lengths.
struct GlyphCell {
  Vec2 origin, across, up;
  double acrossLen = 0, upLen = 0;
};

// The cell of `g` with its corner moved to `origin` (where the placements put it); false for a
// cell without area or not finite, which draws nothing.
bool CellOfGlyph(const Glyph& g, Vec2 origin, GlyphCell& cell);

// Where a glyph's em goes. Glyph space runs x to the right and y down from the top of the em, in
// the units of the font size the glyph was measured at; its point (x, y) lands on the page at
// top + a·h·x - u·v·y.
struct GlyphPlacement {
  Vec2 top;     // the em's upper-left corner
  Vec2 a, u;    // the cell's across and up directions, of length 1
  double h, v;  // page length per glyph unit, across and up
};

// The em fills the cell's height; across, a full-width character's em fills the cell's width,
// so a proportional glyph keeps its own width (`advance` at `fontSize`) and sits centred.
GlyphPlacement PlaceGlyph(const GlyphCell& cell, uint32_t code, bool unicode, double fontSize, double advance);

// The empty box drawn for a character that no font has, as Windows shows it: from `start`
// along `across`, `up` and back, outlined `lineWidth` wide.
struct MissingGlyphBox {
  Vec2 start, across, up;
  double lineWidth = 0;
};
MissingGlyphBox MissingGlyphBoxIn(const GlyphCell& cell);

}  // namespace kelvane
