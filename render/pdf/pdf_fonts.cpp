// Embedded CID fonts: Identity-H, glyph ids (or a CFF face's CIDs) as CIDs, a TrueType or CFF
// subset keeping those ids.
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
std::string SubsetTag(const std::map<uint16_t, bool>& used, const std::string& name) {
  uint64_t h = 1469598103934665603ull;
  for (char c : name) h = (h ^ uint8_t(c)) * 1099511628211ull;
  for (const auto& entry : used) h = (h ^ entry.first) * 1099511628211ull;
  std::string tag;
  for (int k = 0; k < 6; ++k, h /= 26) tag += char('A' + h % 26);
  return tag + "+";
}

}  // namespace

// The face's index, added when it is new; its program is shared with the faces that draw the
// same one thickened or slanted.
int DocumentFonts::Add(const std::shared_ptr<EmbeddableFont>& font) {
  if (!font || font->UnitsPerEm() <= 0) return -1;
  for (size_t k = 0; k < faces_.size(); ++k)
    if (faces_[k].font == font) return int(k);
  Face face;
  face.font = font;
  face.bold = font->SyntheticBold();
  face.italic = font->SyntheticItalic();
  face.program = -1;
  for (size_t k = 0; k < programs_.size() && face.program < 0; ++k)
    if (programs_[k].font->Program() == font->Program()) face.program = int(k);
  if (face.program < 0) {
    Program program;
    program.font = font;
    program.unitsPerEm = font->UnitsPerEm();
    program.ascent = font->Metrics().ascent / program.unitsPerEm;
    programs_.push_back(std::move(program));
    face.program = int(programs_.size() - 1);
    AddAlias(face.program);
  }
  faces_.push_back(std::move(face));
  return int(faces_.size() - 1);
}

int DocumentFonts::AddAlias(int program) {
  Alias alias;
  alias.name = "/F" + std::to_string(resources_.size() + 1);
  alias.object = writer_.Allocate();
  resources_.push_back(std::move(alias));
  programs_[size_t(program)].aliases.push_back(int(resources_.size() - 1));
  return int(resources_.size() - 1);
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
  Program& program = programs_[size_t(faces_[size_t(index)].program)];
  auto it = program.glyphs.find(codePoint);
  FaceGlyph g;
  if (it != program.glyphs.end()) {
    g = it->second;
  } else {
    g.glyph = program.font->GlyphFor(codePoint);
    g.advance = program.font->Advance(g.glyph) / program.unitsPerEm;
    program.glyphs[codePoint] = g;
  }
  g.face = index;
  return g;
}

int DocumentFonts::Use(int face, uint16_t glyph, const std::u16string& text) {
  Program& program = programs_[size_t(faces_[size_t(face)].program)];
  program.used[glyph] = true;
  for (int resource : program.aliases) {
    if (text.empty()) return resource;
    auto [it, added] = resources_[size_t(resource)].texts.emplace(glyph, text);
    if (added || it->second == text) return resource;
  }
  const int resource = AddAlias(faces_[size_t(face)].program);
  resources_[size_t(resource)].texts.emplace(glyph, text);
  return resource;
}

const std::string& DocumentFonts::ResourceName(int resource) const { return resources_[size_t(resource)].name; }

std::string DocumentFonts::ResourceEntries() const {
  std::string entries;
  for (const Alias& a : resources_) entries += a.name + " " + Ref(a.object);
  return entries;
}

void DocumentFonts::WriteAll() {
  for (Program& p : programs_) WriteProgram(p);
}

std::string DocumentFonts::ToUnicodeMap(const Alias& alias) const {
  std::string map =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo <</Registry (Adobe) /Ordering (UCS) /Supplement 0>> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  auto it = alias.texts.begin();
  while (it != alias.texts.end()) {
    std::string block;
    int count = 0;
    for (; it != alias.texts.end() && count < 100; ++it) {
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
std::string DocumentFonts::Widths(Program& program) const {
  std::string w = "[";
  int next = -2;
  for (const auto& entry : program.used) {
    const int gid = entry.first;
    if (gid != next) {
      if (next >= 0) w += "]";
      AppendInt(w, gid);
      w += "[";
    } else {
      w += ' ';
    }
    AppendFixed(w, program.font->Advance(entry.first) * 1000.0 / program.unitsPerEm, 2);
    next = gid + 1;
  }
  if (next >= 0) w += "]";
  return w + "]";
}

void DocumentFonts::WriteProgram(Program& program) {
  EmbeddableFont& font = *program.font;
  std::vector<uint16_t> glyphs;
  for (const auto& entry : program.used) glyphs.push_back(entry.first);
  const std::string baseName = SubsetTag(program.used, font.PostScriptName()) + font.PostScriptName();
  const FontMetrics m = font.Metrics();
  const double k = 1000.0 / program.unitsPerEm;
  const int cid = writer_.Allocate(), descriptor = writer_.Allocate();
  std::optional<std::string> bytes;
  try {
    bytes = font.Subset(glyphs);
  } catch (...) {
    bytes.reset();  // not embedded: the text still shows where the reader has the font
  }
  const bool cff = font.ProgramKind() == FontProgramKind::kCff;
  std::string d = "<</Type/FontDescriptor/FontName/" + baseName + "/Flags 4/FontBBox[";
  for (int v : {m.xMin, m.yMin, m.xMax, m.yMax}) AppendInt(d, std::llround(v * k)), d += ' ';
  d += "]/ItalicAngle 0/Ascent " + std::to_string(std::lround(m.ascent * k)) + "/Descent " +
       std::to_string(std::lround(m.descent * k)) + "/CapHeight " + std::to_string(std::lround(m.capHeight * k)) +
       "/StemV 80";
  if (bytes && !bytes->empty()) {
    const int file = writer_.Allocate();
    std::string packed;
    Deflate(bytes->data(), bytes->size(), 6, packed);
    if (cff) {
      writer_.WriteStream(file, "/Subtype/CIDFontType0C/Filter/FlateDecode", packed);
      d += "/FontFile3 " + Ref(file);
    } else {
      writer_.WriteStream(file, "/Filter/FlateDecode/Length1 " + std::to_string(bytes->size()), packed);
      d += "/FontFile2 " + Ref(file);
    }
  }
  writer_.Write(descriptor, d + ">>");
  writer_.Write(cid, std::string("<</Type/Font/Subtype/") + (cff ? "CIDFontType0" : "CIDFontType2") + "/BaseFont/" +
                         baseName + "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor " +
                         Ref(descriptor) + (cff ? "" : "/CIDToGIDMap/Identity") + "/DW 1000/W " + Widths(program) + ">>");
  for (int resource : program.aliases) {
    const Alias& alias = resources_[size_t(resource)];
    const int toUnicode = writer_.Allocate();
    std::string cmap;
    const std::string map = ToUnicodeMap(alias);
    Deflate(map.data(), map.size(), 6, cmap);
    writer_.WriteStream(toUnicode, "/Filter/FlateDecode", cmap);
    writer_.Write(alias.object, "<</Type/Font/Subtype/Type0/BaseFont/" + baseName +
                                    "/Encoding/Identity-H/DescendantFonts[" + Ref(cid) + "]/ToUnicode " +
                                    Ref(toUnicode) + ">>");
  }
}

}  // namespace kelvane::pdf
