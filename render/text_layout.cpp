// Text layout: cells, control sequences and image references.
#include "render/text_layout.h"

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

// Reads the characters into the buffers, dropping the control sequences: they take no width.
// Returns by how many half cells a closing "^1".."^9" narrows the line.
int ReadChars(const JwwString& text, TextLayoutBuffers& buffers) {
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

// Vertical text runs along its angle with upright characters; where a character sits across the
// line is not documented: each cell is turned a quarter about its own centre.
void TurnUpright(Cell& cell, Vec2 dir, Vec2 normal, double cellW, double cellH) {
  const Vec2 centre{cell.origin.x + (cell.across.x + cell.up.x) / 2, cell.origin.y + (cell.across.y + cell.up.y) / 2};
  cell.across = {-dir.y * cellW, dir.x * cellW};
  cell.up = {-normal.y * cellH, normal.x * cellH};
  cell.origin = {centre.x - (cell.across.x + cell.up.x) / 2, centre.y - (cell.across.y + cell.up.y) / 2};
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
Vec2 LayOut(const TextRecord& t, int narrowHalves, const Affine& m, std::vector<Glyph>& glyphs,
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
    if (vertical) TurnUpright(cell, dir, normal, cellW, cellH);
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

Vec2 AppendTextLayout(const TextRecord& t, const JwwString& text, const Affine* m, std::vector<Glyph>& glyphs,
                      TextLayoutBuffers& buffers) {
  // Read once here rather than in each layout, so that the reading is compiled in place.
  const int narrowHalves = ReadChars(text, buffers);
  return m ? LayOut<true>(t, narrowHalves, *m, glyphs, buffers)
           : LayOut<false>(t, narrowHalves, Affine{}, glyphs, buffers);
}

TextLayout LayOutText(const TextRecord& t, const JwwString& text) {
  TextLayout out;
  TextLayoutBuffers buffers;
  out.end = AppendTextLayout(t, text, nullptr, out.glyphs, buffers);
  out.colorFrom = std::move(buffers.colorFrom);
  out.colorPen = std::move(buffers.colorPen);
  return out;
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
