// Text layout: cells, control sequences and image references.
#include "drawing/text_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kelvane {

namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;
constexpr uint16_t kVerticalTextFlag = 0x0020;

// The script marks: the next character is drawn half high, at the top, bottom or middle of its cell.
enum class Script { kNone, kUp, kDown, kCentre };

}  // namespace

double CellWidthOf(uint32_t code, bool unicode) {
  if (!unicode) return code < 0x100 ? 0.5 : 1.0;
  if (code < 0x80) return 0.5;
  if (code >= 0xFF61 && code <= 0xFF9F) return 0.5;  // half-width katakana
  if (code == 0x00A5 || code == 0x203E) return 0.5;  // the yen sign and overline of byte 5C and 7E
  return 1.0;
}

bool IsSettingsText(const TextRecord& t) {
  return t.attr.penStyle == kLastTextBasePoint && t.attr.penColor == kAuxiliaryColor && t.startX == t.endX && t.startY == t.endY;
}

namespace {

// How much a narrowed line's characters are squeezed so that it ends short by `narrowHalves`
// half cells; `length` gets the unsqueezed length.
double Squeeze(const TextRecord& t, const std::vector<TextLayoutBuffers::Char>& chars, int narrowHalves,
               double& length) {
  double lastW = 0;
  length = 0;
  for (const TextLayoutBuffers::Char& c : chars) {
    length += c.width * (t.sizeX + t.spacing);
    lastW = c.width;
  }
  length -= lastW * t.spacing;
  // A narrowed line keeps its characters in proportion, squeezed to the shorter length.
  if (narrowHalves > 0 && length > 0) {
    const double target = length - narrowHalves * t.sizeX / 2;
    return target > 0 ? target / length : 0.0;
  }
  return 1.0;
}

struct Cell {
  Vec2 origin, across, up;
};

// How a character stands in vertical text, as Windows' vertical ("@") fonts draw it.
enum class VerticalForm {
  kUpright,      // a full-width character: upright in its cell
  kTurned,       // half-width characters, the long vowel mark, dashes, brackets: turned a quarter clockwise
  kPunctuation,  // 、。，．: upright, moved from the lower left to the upper right of the cell
  kSmallKana,    // upright, moved a little up and to the right
};

// The characters a vertical font draws in another form, as Unicode and as Shift_JIS.
constexpr uint32_t kTurnedUnicode[] = {0x30FC, 0x2015, 0x2010, 0xFF5E, 0x301C, 0x2225, 0xFF5C, 0x2026, 0x2025, 0xFF08,
                                       0xFF09, 0x3014, 0x3015, 0xFF3B, 0xFF3D, 0xFF5B, 0xFF5D, 0x3008, 0x3009, 0x300A,
                                       0x300B, 0x300C, 0x300D, 0x300E, 0x300F, 0x3010, 0x3011, 0xFF0D, 0x2212, 0xFF1D};
constexpr uint32_t kTurnedSjis[] = {0x815B, 0x815C, 0x815D, 0x8160, 0x8161, 0x8162, 0x8163, 0x8164, 0x8169, 0x816A,
                                    0x816B, 0x816C, 0x816D, 0x816E, 0x816F, 0x8170, 0x8171, 0x8172, 0x8173, 0x8174,
                                    0x8175, 0x8176, 0x8177, 0x8178, 0x8179, 0x817A, 0x817C, 0x8181};
constexpr uint32_t kPunctuationUnicode[] = {0x3001, 0x3002, 0xFF0C, 0xFF0E};
constexpr uint32_t kPunctuationSjis[] = {0x8141, 0x8142, 0x8143, 0x8144};
constexpr uint32_t kSmallKanaUnicode[] = {0x3041, 0x3043, 0x3045, 0x3047, 0x3049, 0x3063, 0x3083, 0x3085,
                                          0x3087, 0x308E, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30C3,
                                          0x30E3, 0x30E5, 0x30E7, 0x30EE, 0x30F5, 0x30F6};
constexpr uint32_t kSmallKanaSjis[] = {0x829F, 0x82A1, 0x82A3, 0x82A5, 0x82A7, 0x82C1, 0x82E1, 0x82E3,
                                       0x82E5, 0x82EC, 0x8340, 0x8342, 0x8344, 0x8346, 0x8348, 0x8362,
                                       0x8383, 0x8385, 0x8387, 0x838E, 0x8395, 0x8396};

template <size_t N>
bool Contains(const uint32_t (&codes)[N], uint32_t code) {
  return std::find(codes, codes + N, code) != codes + N;
}

VerticalForm VerticalFormOf(uint32_t code, bool unicode, float width) {
  if (width < 1) return VerticalForm::kTurned;
  // Most characters (kanji above all) lie outside every table: answered without a search.
  if (unicode ? code < 0x2010 || (code > 0x30FC && code < 0xFF08) || code > 0xFF5E : code < 0x8141 || code > 0x8396)
    return VerticalForm::kUpright;
  if (unicode ? Contains(kTurnedUnicode, code) : Contains(kTurnedSjis, code)) return VerticalForm::kTurned;
  if (unicode ? Contains(kPunctuationUnicode, code) : Contains(kPunctuationSjis, code))
    return VerticalForm::kPunctuation;
  if (unicode ? Contains(kSmallKanaUnicode, code) : Contains(kSmallKanaSjis, code)) return VerticalForm::kSmallKana;
  return VerticalForm::kUpright;
}

// Vertical text runs along its angle with upright characters; where a character sits across the
// line is not documented: each cell is turned a quarter about its own centre.
void TurnUpright(Cell& cell, Vec2 dir, Vec2 normal, double cellW, double cellH) {
  const Vec2 centre{cell.origin.x + (cell.across.x + cell.up.x) / 2, cell.origin.y + (cell.across.y + cell.up.y) / 2};
  cell.across = {-dir.y * cellW, dir.x * cellW};
  cell.up = {-normal.y * cellH, normal.x * cellH};
  cell.origin = {centre.x - (cell.across.x + cell.up.x) / 2, centre.y - (cell.across.y + cell.up.y) / 2};
}

// A character of vertical text in its cell. A turned one keeps the cell as the line runs: its
// top faces the line's left, and it advances by its own width, so half-width characters do not
// overlap. Where punctuation and small kana sit is not documented: punctuation moves from the
// cell's lower-left quarter to its upper-right one, small kana by an eighth of the cell.
void StandVertically(Cell& cell, VerticalForm form, Vec2 dir, Vec2 normal, double cellW, double cellH) {
  if (form == VerticalForm::kTurned) return;
  TurnUpright(cell, dir, normal, cellW, cellH);
  const double shift = form == VerticalForm::kPunctuation ? 0.5 : form == VerticalForm::kSmallKana ? 0.125 : 0.0;
  if (shift == 0) return;
  cell.origin = {cell.origin.x + (cell.across.x + cell.up.x) * shift,
                 cell.origin.y + (cell.across.y + cell.up.y) * shift};
}

// A script character: half high, lifted to the top, middle or bottom of its cell.
void ShrinkToScript(Cell& cell, Script script) {
  const double lift = script == Script::kUp ? 0.5 : script == Script::kCentre ? 0.25 : 0.0;
  cell.origin = {cell.origin.x + cell.up.x * lift, cell.origin.y + cell.up.y * lift};
  cell.across = {cell.across.x / 2, cell.across.y / 2};
  cell.up = {cell.up.x / 2, cell.up.y / 2};
}

// Lays out the characters read into the buffers.
template <bool kMapped>
Vec2 LayOut(const TextRecord& t, bool unicode, int narrowHalves, const Affine& m, std::vector<Glyph>& glyphs,
            const TextLayoutBuffers& buffers) {
  const std::vector<TextLayoutBuffers::Char>& chars = buffers.chars;
  const double a = t.angle * kDegree;
  const Vec2 dir = t.angle == 0 ? Vec2{1, 0} : Vec2{std::cos(a), std::sin(a)}, normal{-dir.y, dir.x};
  double length = 0;
  const double squeeze = Squeeze(t, chars, narrowHalves, length);
  const Vec2 end{t.startX + dir.x * length * squeeze, t.startY + dir.y * length * squeeze};

  const bool vertical = (t.attr.flags & kVerticalTextFlag) != 0;
  double pos = 0;
  for (const TextLayoutBuffers::Char& c : chars) {
    const double cellW = c.width * t.sizeX * squeeze, cellH = t.sizeY;
    // Worked out in double; the list keeps the cell in single precision.
    Cell cell{{t.startX + dir.x * pos * squeeze, t.startY + dir.y * pos * squeeze},
              {dir.x * cellW, dir.y * cellW},
              {normal.x * cellH, normal.y * cellH}};
    if (vertical) StandVertically(cell, VerticalFormOf(c.code, unicode, c.width), dir, normal, cellW, cellH);
    const Script script = Script(c.script);
    if (script != Script::kNone) ShrinkToScript(cell, script);
    if constexpr (kMapped) {
      cell.origin = m(cell.origin);
      cell.across = m.Linear(cell.across);
      cell.up = m.Linear(cell.up);
    }
    Glyph& g = glyphs.emplace_back();
    g.origin = PagePoint(cell.origin);
    g.across = PagePoint(cell.across);
    g.up = PagePoint(cell.up);
    g.code = c.code;
    pos += c.width * (t.sizeX + t.spacing);
  }
  return end;
}

}  // namespace

int ReadTextChars(const JwwString& text, TextLayoutBuffers& buffers) {
  std::vector<TextLayoutBuffers::Char>& chars = buffers.chars;
  chars.clear();
  buffers.colorFrom.clear();
  buffers.colorPen.clear();
  int narrowHalves = 0;
  Script pending = Script::kNone;
  const size_t n = text.size();
  for (size_t p = 0; p < n;) {
    const JwwChar c = CharAt(text, p);
    if (c.width == 0) break;
    p += c.width;
    if (c.code == '^' && p < n) {
      const JwwChar d = CharAt(text, p);
      const uint32_t k = d.code;
      if (k == 'u' || k == 'd' || k == 'c') {
        pending = k == 'u' ? Script::kUp : k == 'd' ? Script::kDown : Script::kCentre;
        p += d.width;
        continue;
      }
      // Overlay marks: how the overlaid characters are placed is not known (none in the corpus);
      // the mark itself takes no width and the characters are drawn in line.
      if (k == 'o' || k == 'w' || k == 'b' || k == 'B' || k == 'n') {
        p += d.width;
        continue;
      }
      // "^1".."^9" at the very end narrow the line by that many half cells (checked on the corpus).
      if (k >= '1' && k <= '9' && p + d.width == n) {
        narrowHalves = int(k - '0');
        p += d.width;
        continue;
      }
      if (k == '$' && p + d.width < n) {
        const JwwChar e = CharAt(text, p + d.width);
        if (e.code >= '0' && e.code <= '9') {
          buffers.colorFrom.push_back(uint32_t(chars.size()));
          buffers.colorPen.push_back(int(e.code - '0'));
          p += d.width + e.width;
          continue;
        }
      }
    }
    chars.push_back({c.code, float(CellWidthOf(c.code, text.unicode)), uint8_t(pending)});
    pending = Script::kNone;
  }
  return narrowHalves;
}

Vec2 AppendTextLayout(const TextRecord& t, const JwwString& text, const Affine* m, std::vector<Glyph>& glyphs,
                      TextLayoutBuffers& buffers) {
  // Read once here rather than in each layout, so that the reading is compiled in place.
  const int narrowHalves = ReadTextChars(text, buffers);
  return m ? LayOut<true>(t, text.unicode, narrowHalves, *m, glyphs, buffers)
           : LayOut<false>(t, text.unicode, narrowHalves, Affine{}, glyphs, buffers);
}

TextLayout LayOutText(const TextRecord& t, const JwwString& text) {
  TextLayout out;
  TextLayoutBuffers buffers;
  out.end = AppendTextLayout(t, text, nullptr, out.glyphs, buffers);
  out.colorFrom = std::move(buffers.colorFrom);
  out.colorPen = std::move(buffers.colorPen);
  return out;
}

bool IsProportionalFont(const JwwString& font) {
  // The full-width Ｐ of the Japanese names, or the P after "MS " (MS PGothic) or "IPA"
  // (IPAPGothic, the font they are drawn in) of the English ones.
  const uint32_t wideP = font.unicode ? 0xFF30 : 0x826F;
  uint32_t before[3] = {0, 0, 0};
  for (size_t p = 0, n = font.size(); p < n;) {
    const JwwChar c = CharAt(font, p);
    if (c.width == 0) break;
    if (c.code == wideP) return true;
    if (c.code == 'P' && p == 3 &&
        ((before[0] == 'M' && before[1] == 'S' && before[2] == ' ') ||
         (before[0] == 'I' && before[1] == 'P' && before[2] == 'A')))
      return true;
    if (p < 3) before[p] = c.code;
    p += c.width;
  }
  return false;
}

void FitProportionalRun(const Glyph* glyphs, size_t count, bool unicode, const double* advances, Glyph* cells) {
  std::copy(glyphs, glyphs + count, cells);
  if (count == 0) return;
  const Vec2 o = glyphs[0].origin, a0 = glyphs[0].across;
  const double a0Len = std::hypot(a0.x, a0.y);
  if (!(a0Len > 0)) return;
  const Vec2 d{a0.x / a0Len, a0.y / a0Len};
  auto along = [&](Vec2 v) { return v.x * d.x + v.y * d.y; };
  // Upright glyphs of vertical text are not set along the line of their cells: left alone.
  auto inLine = [&](size_t k) {
    const Vec2 a = glyphs[k].across;
    if (!(std::fabs(a.x * d.y - a.y * d.x) <= 1e-4 * std::hypot(a.x, a.y) && along(a) > 0)) return false;
    if (k + 1 == count) return true;
    const Vec2 from = glyphs[k].origin, to = glyphs[k + 1].origin;
    return along({to.x - from.x, to.y - from.y}) > 1e-3 * along(a);
  };
  // The glyphs' own length at em scale, and the length the fixed cells give them.
  double own = 0, fixed = 0;
  for (size_t k = 0; k < count; ++k) {
    if (!inLine(k)) return;
    const double cellLen = along(glyphs[k].across);
    own += advances[k] * cellLen / CellWidthOf(glyphs[k].code, unicode);
    fixed += cellLen;
  }
  if (!(own > 0)) return;
  const double f = fixed / own;
  double start = 0;  // where glyph k starts, along the line from the first cell's origin
  for (size_t k = 0; k < count; ++k) {
    const Glyph& g = glyphs[k];
    const Vec2 go = g.origin;
    const double cellLen = along(g.across), width = advances[k] * cellLen / CellWidthOf(g.code, unicode) * f;
    // The cell grows by f, so that its em is as wide as the scaled advance, and is centred on it.
    const double shift = start + width / 2 - f * cellLen / 2 - along({go.x - o.x, go.y - o.y});
    cells[k].origin = PagePoint(Vec2{go.x + d.x * shift, go.y + d.y * shift});
    cells[k].across = PagePoint(Vec2{g.across.x * f, g.across.y * f});
    start += width;
    if (k + 1 < count) {  // the gap the fixed layout leaves before the next cell
      const Vec2 next = glyphs[k + 1].origin;
      start += along({next.x - go.x, next.y - go.y}) - cellLen;
    }
  }
}

bool ParseImageReference(const JwwString& text, ImageReference& out) {
  // Work on the characters as ASCII where they are ASCII; the path keeps its stored form.
  static const char kPrefix[] = "^@BM";
  const size_t n = text.size();
  size_t p = 0;
  for (int k = 0; k < 4; ++k) {
    if (p >= n) return false;
    const JwwChar c = CharAt(text, p);
    if (c.code != uint32_t(kPrefix[k])) return false;
    p += c.width;
  }
  JwwString path;
  path.unicode = text.unicode;
  std::string rest;
  bool inPath = true;
  for (; p < n;) {
    const JwwChar c = CharAt(text, p);
    if (c.width == 0) break;
    p += c.width;
    if (inPath && c.code == ',') inPath = false;
    if (inPath) {
      AppendChar(path, c.code);
    } else {
      if (c.code >= 0x80) return false;
      rest.push_back(char(c.code));
    }
  }
  // rest is ",W,H[,clipX,clipY,clipW,angle[,r,g,b]]"
  std::vector<double> v;
  const char* s = rest.c_str();
  while (*s == ',') {
    char* e = nullptr;
    v.push_back(std::strtod(s + 1, &e));
    if (e == s + 1) return false;
    s = e;
  }
  if (path.empty() || v.size() < 2 || !(v[0] > 0) || !(v[1] > 0)) return false;
  out.source = path;
  out.width = v[0];
  out.height = v[1];
  if (v.size() >= 6) {
    out.clipX = v[2];
    out.clipY = v[3];
    out.clipWidth = v[4];
    out.angle = v[5];
  }
  // A clip outside the image shows the whole image rather than nothing.
  if (!(out.clipX >= 0 && out.clipY >= 0 && out.clipWidth > 0 && out.clipX + out.clipWidth <= 1.0 + 1e-9 &&
        out.clipY < 1)) {
    out.clipX = out.clipY = 0;
    out.clipWidth = 1;
  }
  return true;
}

}  // namespace kelvane
