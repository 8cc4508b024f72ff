// The texts of a page: each character in the face that has it, placed as every backend places
// it, kept as text for a reader that extracts it.
#include "render/pdf/pdf_page_painter.h"

#include "drawing/text_layout.h"

namespace kelvane::pdf {

namespace {

// How far a slanted face leans (x per y), and how much a thickened one grows (its outline moves
// out by half of this, in ems), as fontconfig and FreeType make them for the screen.
constexpr double kSyntheticSlant = 0.2;
constexpr double kSyntheticBold = 1.0 / 24;

}  // namespace

const Character& PagePainter::CharacterOf(const TextRun& t, uint32_t code, int face) {
  const uint64_t key = uint64_t(code) | uint64_t(t.unicode) << 32 | uint64_t(t.bold) << 33 |
                       uint64_t(t.italic) << 34 | uint64_t(t.font) << 35;
  auto it = characters_.find(key);
  if (it != characters_.end()) return it->second;
  Character& c = characters_[key];
  const std::string text = t.unicode ? CodePointToUtf8(code) : SjisToUtf8(SjisBytesOf(code), UnreadableSjis::kSkipByte);
  c.text = Utf8ToUtf16(text);
  if (c.text.empty()) return c;
  char32_t cp = c.text[0];
  if (c.text.size() >= 2 && cp >= 0xD800 && cp < 0xDC00) cp = 0x10000 + ((cp - 0xD800) << 10) + (c.text[1] - 0xDC00);
  if (face >= 0) c.glyph = fonts_.GlyphOf(face, cp);
  if (c.glyph.glyph == 0) {
    // Another face has it, as the screen finds one.
    const int fallback = fonts_.FallbackFor(ToUtf8(list_.fonts[t.font]), t.bold, t.italic, cp);
    if (fallback >= 0) c.glyph = fonts_.GlyphOf(fallback, cp);
  }
  c.missing = c.glyph.glyph == 0;
  return c;
}

// The run's cells respaced by the face's own widths, as the cairo pages fit them.
const Glyph* PagePainter::FitToFontWidths(const TextRun& t, int face) {
  const Glyph* glyphs = &pools_->glyphs[t.glyphs.first];
  advances_.resize(t.glyphs.count);
  fitted_.resize(t.glyphs.count);
  for (uint32_t k = 0; k < t.glyphs.count; ++k) {
    const Character& c = CharacterOf(t, glyphs[k].code, face);
    advances_[k] = c.missing ? 0 : c.glyph.advance;
  }
  FitProportionalRun(glyphs, t.glyphs.count, t.unicode, advances_.data(), fitted_.data());
  return fitted_.data();
}

void PagePainter::DrawMissingGlyph(const MissingGlyphBox& box, Rgb color) {
  if (inText_) text_ += "ET\n", inText_ = false;
  const double x = box.start.x, y = box.start.y;
  const PagePoint corners[4] = {PagePoint(Vec2{x, y}), PagePoint(Vec2{x + box.across.x, y + box.across.y}),
                                PagePoint(Vec2{x + box.across.x + box.up.x, y + box.across.y + box.up.y}),
                                PagePoint(Vec2{x + box.up.x, y + box.up.y})};
  std::string path;
  if (!Path(path, corners, 4, true)) return;
  // The box is drawn inside the text's marked content: its state goes there too.
  std::string& s = out_.Text();
  const size_t mark = s.size();
  if (state_.dash != -1) s += "[] 0 d\n", state_.dash = -1;
  SetWidth(box.lineWidth * kUnitsPerMm);
  SetStroke(color);
  text_ += s.substr(mark) + path + "S\n";
  s.resize(mark);
}

// A thickened face is filled and stroked with a line as wide as FreeType grows its outlines; a
// plain one only filled; a character drawn as a box is shown invisibly, for its text. The line
// width is the page's, set inside the text object.
void PagePainter::SetTextOutline(int face, double emUnits, bool invisible) {
  const bool outlined = !invisible && fonts_.Bold(face);
  const int mode = invisible ? 3 : outlined ? 2 : 0;
  if (mode != state_.textMode) text_ += std::to_string(mode) + " Tr\n";
  state_.textMode = mode;
  if (!outlined) return;
  if (!(state_.stroke == textColor_)) {
    AppendColor(text_, textColor_, " RG\n");
    state_.stroke = textColor_;
  }
  const double width = emUnits * kSyntheticBold;
  if (width != state_.width) {
    AppendReal(text_, width);
    text_ += " w\n";
    state_.width = width;
  }
}

void PagePainter::ShowGlyph(const Character& c, const GlyphPlacement& p, bool invisible) {
  const double ascent = fonts_.Ascent(c.glyph.face);
  double m[6] = {p.a.x * p.h, p.a.y * p.h, p.u.x * p.v, p.u.y * p.v, p.top.x - p.u.x * p.v * ascent,
                 p.top.y - p.u.y * p.v * ascent};
  if (fonts_.Bold(c.glyph.face)) {
    // FreeType's thickened outline grows right and up, not evenly around the glyph: its left
    // and bottom edges stay where they were.
    for (int k = 0; k < 2; ++k) m[4 + k] += (m[k] + m[2 + k]) * kSyntheticBold / 2;
  }
  if (fonts_.Italic(c.glyph.face)) m[2] += kSyntheticSlant * m[0], m[3] += kSyntheticSlant * m[1];
  std::string cm;
  for (int k = 0; k < 4; ++k) AppendReal(cm, m[k] * kUnitsPerMm), cm += ' ';
  if (!Point(cm, m[4], m[5])) return;
  if (!inText_) text_ += "BT\n", inText_ = true, textFont_ = -1;
  SetTextOutline(c.glyph.face, p.v * kUnitsPerMm, invisible);
  const int font = fonts_.Use(c.glyph.face, c.glyph.glyph, invisible ? std::u16string() : c.text);
  if (textFont_ != font) {
    text_ += fonts_.ResourceName(font) + " 1 Tf\n";
    textFont_ = font;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char id[4] = {kHex[c.glyph.glyph >> 12], kHex[(c.glyph.glyph >> 8) & 15], kHex[(c.glyph.glyph >> 4) & 15],
                      kHex[c.glyph.glyph & 15]};
  text_ += cm;
  text_ += " Tm<";
  text_.append(id, 4);
  text_ += ">Tj\n";
}

void PagePainter::DrawText(const TextRun& t) {
  if (t.font >= list_.fonts.size()) return;
  const uint32_t faceKey = t.font << 2 | uint32_t(t.bold) << 1 | uint32_t(t.italic);
  auto found = faces_.find(faceKey);
  if (found == faces_.end()) found = faces_.emplace(faceKey, fonts_.FaceFor(ToUtf8(list_.fonts[t.font]), t.bold, t.italic)).first;
  const int face = found->second;
  const Glyph* glyphs = &pools_->glyphs[t.glyphs.first];
  if (IsProportionalFont(list_.fonts[t.font])) glyphs = FitToFontWidths(t, face);
  text_.clear(), actual_.clear();
  textColor_ = t.color;
  for (uint32_t k = 0; k < t.glyphs.count; ++k) {
    const Glyph& g = glyphs[k];
    if (IsBlankGlyph(g.code, t.unicode)) {
      if (!actual_.empty()) actual_ += ' ';  // a space within the text keeps its words apart
      continue;
    }
    GlyphCell cell;
    if (!CellOfGlyph(g, g.origin, cell)) continue;
    const Character& c = CharacterOf(t, g.code, face);
    if (c.text.empty()) continue;
    if (c.missing) {
      DrawMissingGlyph(MissingGlyphBoxIn(cell), t.color);
      // The box stands for the character in the text a reader extracts: an invisible glyph of
      // the run's face carries it there.
      if (face >= 0) {
        Character hidden = c;
        hidden.glyph = fonts_.GlyphOf(face, 0);
        hidden.glyph.glyph = 0;
        ShowGlyph(hidden, PlaceGlyph(cell, g.code, t.unicode, 1.0, hidden.glyph.advance), true);
        actual_ += Utf16ToUtf8(c.text);
      }
      continue;
    }
    ShowGlyph(c, PlaceGlyph(cell, g.code, t.unicode, 1.0, c.glyph.advance));
    actual_ += Utf16ToUtf8(c.text);
  }
  if (inText_) text_ += "ET\n", inText_ = false;
  if (text_.empty()) return;
  SetFill(t.color);
  std::string& s = out_.Text();
  if (!actual_.empty()) {
    s += "/Span<</ActualText";
    AppendTextString(s, actual_);
    s += ">>BDC\n";
  }
  s += text_;
  if (!actual_.empty()) s += "EMC\n";
}

}  // namespace kelvane::pdf
