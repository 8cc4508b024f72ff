// Embedded CID fonts: Identity-H, glyph ids as CIDs, a TrueType subset keeping those ids.
#include "render/pdf/pdf_fonts.h"

#include <cmath>
#include <cstdio>

namespace kelvane::pdf {

namespace {

void AppendHex4(std::string& out, unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
  out += buf;
}

// The six capital letters naming a subset, from the glyphs it holds.
std::string SubsetTag(const std::map<uint16_t, std::u16string>& used, const std::string& name) {
  uint64_t h = 1469598103934665603ull;
  for (char c : name) h = (h ^ uint8_t(c)) * 1099511628211ull;
  for (const auto& entry : used) h = (h ^ entry.first) * 1099511628211ull;
  std::string tag;
  for (int k = 0; k < 6; ++k, h /= 26) tag += char('A' + h % 26);
  return tag + "+";
}

}  // namespace

// The face's index, added when it is new.
int DocumentFonts::Add(const std::shared_ptr<EmbeddableFont>& font) {
  if (!font || font->UnitsPerEm() <= 0) return -1;
  for (size_t k = 0; k < faces_.size(); ++k)
    if (faces_[k].font == font) return int(k);
  Face face;
  face.font = font;
  face.unitsPerEm = font->UnitsPerEm();
  face.ascent = font->Metrics().ascent / face.unitsPerEm;
  face.name = "/F" + std::to_string(faces_.size() + 1);
  face.object = writer_.Allocate();
  faces_.push_back(std::move(face));
  return int(faces_.size() - 1);
}

int DocumentFonts::FaceFor(const std::string& familyUtf8, bool bold, bool italic) {
  const std::string key = std::string(bold ? "b" : "-") + (italic ? "i" : "-") + familyUtf8;
  auto it = byFamily_.find(key);
  if (it != byFamily_.end()) return it->second;
  std::shared_ptr<EmbeddableFont> font;
  try {
    if (source_) font = source_->Open(familyUtf8, bold, italic);
  } catch (...) {
    font = nullptr;  // a font service that fails draws the characters as missing
  }
  return byFamily_[key] = Add(font);
}

int DocumentFonts::FallbackFor(const std::string& familyUtf8, bool bold, bool italic, char32_t codePoint) {
  std::shared_ptr<EmbeddableFont> font;
  try {
    if (source_) font = source_->OpenFallback(familyUtf8, bold, italic, codePoint);
  } catch (...) {
    font = nullptr;
  }
  return Add(font);
}

FaceGlyph DocumentFonts::GlyphOf(int index, char32_t codePoint) {
  Face& face = faces_[size_t(index)];
  auto it = face.glyphs.find(codePoint);
  if (it != face.glyphs.end()) return it->second;
  FaceGlyph g;
  g.face = index;
  g.glyph = face.font->GlyphFor(codePoint);
  g.advance = face.font->Advance(g.glyph) / face.unitsPerEm;
  return face.glyphs[codePoint] = g;
}

void DocumentFonts::Use(int face, uint16_t glyph, const std::u16string& text) {
  faces_[size_t(face)].used.emplace(glyph, text);
}

std::string DocumentFonts::ResourceEntries() const {
  std::string entries;
  for (const Face& f : faces_) entries += f.name + " " + Ref(f.object);
  return entries;
}

void DocumentFonts::WriteAll() {
  for (Face& f : faces_) WriteFace(f);
}

std::string DocumentFonts::ToUnicodeMap(const Face& face) const {
  std::string map =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo <</Registry (Adobe) /Ordering (UCS) /Supplement 0>> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  auto it = face.used.begin();
  while (it != face.used.end()) {
    std::string block;
    int count = 0;
    for (; it != face.used.end() && count < 100; ++it) {
      if (it->second.empty()) continue;
      block += '<';
      AppendHex4(block, it->first);
      block += "> <";
      for (char16_t c : it->second) AppendHex4(block, c);
      block += ">\n";
      ++count;
    }
    if (count > 0) map += std::to_string(count) + " beginbfchar\n" + block + "endbfchar\n";
  }
  return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// The advances of the used glyphs, in thousandths of an em: runs of consecutive ids together.
std::string DocumentFonts::Widths(Face& face) const {
  std::string w = "[";
  int next = -2;
  for (const auto& entry : face.used) {
    const int gid = entry.first;
    if (gid != next) {
      if (next >= 0) w += "]";
      AppendInt(w, gid);
      w += "[";
    } else {
      w += ' ';
    }
    AppendFixed(w, face.font->Advance(entry.first) * 1000.0 / face.unitsPerEm, 2);
    next = gid + 1;
  }
  if (next >= 0) w += "]";
  return w + "]";
}

void DocumentFonts::WriteFace(Face& face) {
  EmbeddableFont& font = *face.font;
  std::vector<uint16_t> glyphs;
  for (const auto& entry : face.used) glyphs.push_back(entry.first);
  const std::string baseName = SubsetTag(face.used, font.PostScriptName()) + font.PostScriptName();
  const FontMetrics m = font.Metrics();
  const double k = 1000.0 / face.unitsPerEm;
  const int cid = writer_.Allocate(), descriptor = writer_.Allocate(), toUnicode = writer_.Allocate();
  std::optional<std::string> program;
  try {
    program = font.Subset(glyphs);
  } catch (...) {
    program.reset();  // not embedded: the text still shows where the reader has the font
  }
  std::string d = "<</Type/FontDescriptor/FontName/" + baseName + "/Flags 4/FontBBox[";
  for (int v : {m.xMin, m.yMin, m.xMax, m.yMax}) AppendInt(d, std::llround(v * k)), d += ' ';
  d += "]/ItalicAngle 0/Ascent " + std::to_string(std::lround(m.ascent * k)) + "/Descent " +
       std::to_string(std::lround(m.descent * k)) + "/CapHeight " + std::to_string(std::lround(m.capHeight * k)) +
       "/StemV 80";
  if (program) {
    const int file = writer_.Allocate();
    std::string packed;
    Deflate(program->data(), program->size(), 6, packed);
    writer_.WriteStream(file, "/Filter/FlateDecode/Length1 " + std::to_string(program->size()), packed);
    d += "/FontFile2 " + Ref(file);
  }
  writer_.Write(descriptor, d + ">>");
  writer_.Write(cid, "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + baseName +
                         "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor " +
                         Ref(descriptor) + "/CIDToGIDMap/Identity/DW 1000/W " + Widths(face) + ">>");
  std::string cmap;
  const std::string map = ToUnicodeMap(face);
  Deflate(map.data(), map.size(), 6, cmap);
  writer_.WriteStream(toUnicode, "/Filter/FlateDecode", cmap);
  writer_.Write(face.object, "<</Type/Font/Subtype/Type0/BaseFont/" + baseName +
                                 "/Encoding/Identity-H/DescendantFonts[" + Ref(cid) + "]/ToUnicode " +
                                 Ref(toUnicode) + ">>");
}

}  // namespace kelvane::pdf
