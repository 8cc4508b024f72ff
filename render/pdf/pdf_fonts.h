// The fonts of a PDF: faces from the font service, the glyphs each page uses, and at the end one
// embedded subset per face with its widths and the text of each glyph.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/font_source.h"
#include "render/pdf/pdf_document.h"

namespace kelvane::pdf {

// A character as a face draws it.
struct FaceGlyph {
  int face = -1;          // into the document's faces; -1 when no face has the character
  uint16_t glyph = 0;
  double advance = 0;     // in ems
};

class DocumentFonts {
 public:
  DocumentFonts(FontSource* source, ObjectWriter& writer) : source_(source), writer_(writer) {}

  // The face the family is drawn in; -1 when there is none.
  int FaceFor(const std::string& familyUtf8, bool bold, bool italic);
  // The face that draws a character the family's own face lacks; -1 when there is none.
  int FallbackFor(const std::string& familyUtf8, bool bold, bool italic, char32_t codePoint);
  // The glyph of a code point in a face (glyph 0 when it has none).
  FaceGlyph GlyphOf(int face, char32_t codePoint);
  // Marks the glyph as used, showing `text` (UTF-16) for a reader that extracts text.
  void Use(int face, uint16_t glyph, const std::u16string& text);
  // The face's resource name ("/F1") and its font object.
  const std::string& ResourceName(int face) const { return faces_[size_t(face)].name; }
  double Ascent(int face) const { return faces_[size_t(face)].ascent; }
  // "/F1 12 0 R..." for a resource dictionary.
  std::string ResourceEntries() const;
  // Writes every face used: a face that may not be embedded is written without its program.
  void WriteAll();

 private:
  struct Face {
    std::shared_ptr<EmbeddableFont> font;
    std::string name;
    int object = 0;
    double ascent = 0;  // in ems
    double unitsPerEm = 1000;
    std::map<uint16_t, std::u16string> used;
    std::unordered_map<char32_t, FaceGlyph> glyphs;
  };
  int Add(const std::shared_ptr<EmbeddableFont>& font);
  void WriteFace(Face& face);
  std::string ToUnicodeMap(const Face& face) const;
  std::string Widths(Face& face) const;

  FontSource* source_;
  ObjectWriter& writer_;
  std::vector<Face> faces_;
  std::map<std::string, int> byFamily_;  // "bold italic family" -> face
};

}  // namespace kelvane::pdf
