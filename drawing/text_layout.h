// Laying out a Jw_cad text one character cell at a time, as Jw_cad places it.
#pragma once

#include <cstdint>
#include <vector>

#include "drawing/page_geometry.h"
#include "jww/records.h"

namespace kelvane {

// A character's cell width in full cells: 0.5 for what Shift_JIS stores in one byte (ASCII,
// half-width katakana, and their Unicode forms ¥ and ‾), 1 for everything else.
double CellWidthOf(uint32_t code, bool unicode);

struct TextLayout {
  // Cells in drawing coordinates; colorPen[i] applies from glyph colorFrom[i] on.
  std::vector<Glyph> glyphs;
  std::vector<uint32_t> colorFrom;  // glyph index where a "^$n" colour change starts
  std::vector<int> colorPen;        // the pen of that change
  Vec2 end;                         // where Jw_cad puts the text's end point
};

// Lays out `text` with the record's start, sizes, spacing, angle and vertical flag.
TextLayout LayOutText(const TextRecord& record, const JwwString& text);

// Buffers kept between texts, so that laying out many texts allocates nothing once they have grown.
struct TextLayoutBuffers {
  struct Char {
    uint32_t code;
    float width;  // in full cells: 0.5 or 1
    uint8_t script;
  };
  std::vector<Char> chars;
  std::vector<uint32_t> colorFrom;  // as in TextLayout, counted from the first appended glyph
  std::vector<int> colorPen;
};

// Reads a text's characters into buffers.chars, with their script marks, and its colour changes,
// dropping the control sequences ("^u", "^d", "^c", overlay marks, "^$n", a closing "^1".."^9"):
// they take no width. Returns by how many half cells that closing mark narrows the line.
int ReadTextChars(const JwwString& text, TextLayoutBuffers& buffers);

// The same layout with its cells appended to `glyphs` (mapped by *m when m is given), its colour
// changes left in `buffers`; returns the end point, not mapped.
Vec2 AppendTextLayout(const TextRecord& record, const JwwString& text, const Affine* m, std::vector<Glyph>& glyphs,
                      TextLayoutBuffers& buffers);

// True for a proportional font: Jw_cad's names for them carry a P (ＭＳ Ｐゴシック, MS PMincho).
bool IsProportionalFont(const JwwString& font);

// A text in a proportional font fitted between its start and end: each glyph advances by the
// font's own width, `advances[k]` in ems (1 = a full-width cell), the widths all scaled so that
// the glyphs fill the length their fixed cells take, the gaps between cells kept. cells[k] gets
// the cell glyph k is drawn in: its glyph, centred as PlaceGlyph centres it, starts where the
// advances before it end. Glyphs turned across the line (vertical text) keep their cells.
void FitProportionalRun(const Glyph* glyphs, size_t count, bool unicode, const double* advances, Glyph* cells);

// True for a settings text Jw_cad keeps in the drawing (Printer_*, View_Direct2d...): never drawn.
bool IsSettingsText(const TextRecord& record);

// The image reference of a text ("^@BM" path ",W,H[,clipX,clipY,clipW,angle]"), parsed.
struct ImageReference {
  JwwString source;  // the path as stored, "%temp%name" for an embedded image
  double width = 0, height = 0;
  double clipX = 0, clipY = 0, clipWidth = 1;
  double angle = 0;  // degrees counter-clockwise
};
bool ParseImageReference(const JwwString& text, ImageReference& out);

}  // namespace kelvane
