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
  // Marks the glyph as used, showing `text` (UTF-16; empty for none) for a reader that extracts
  // text, and answers the font resource that shows it so: a glyph two characters share (― and —
  // in many faces) is shown through a second font of the same program with its own text.
  int Use(int face, uint16_t glyph, const std::u16string& text);
  // A font resource's name ("/F1").
  const std::string& ResourceName(int resource) const;
  double Ascent(int face) const { return programs_[size_t(faces_[size_t(face)].program)].ascent; }
  // Whether the face's outlines are to be thickened or slanted, as the screen draws them.
  bool Bold(int face) const { return faces_[size_t(face)].bold; }
  bool Italic(int face) const { return faces_[size_t(face)].italic; }
  // "/F1 12 0 R..." for a resource dictionary.
  std::string ResourceEntries() const;
  // Writes every face used: a face that may not be embedded is written without its program.
  void WriteAll();

 private:
  // A font dictionary of a program: its name, its object and the text of each glyph it shows.
  struct Alias {
    std::string name;
    int object = 0;
    std::map<uint16_t, std::u16string> texts;
  };
  // One font program, embedded once however many faces draw with it (plain and thickened).
  struct Program {
    std::shared_ptr<EmbeddableFont> font;
    double ascent = 0;  // in ems
    double unitsPerEm = 1000;
    std::map<uint16_t, bool> used;  // the glyphs shown
    std::vector<int> aliases;       // into resources_
    std::unordered_map<char32_t, FaceGlyph> glyphs;
  };
  // A face as a text asks for it: a program, drawn thickened or slanted or neither.
  struct Face {
    std::shared_ptr<EmbeddableFont> font;
    int program = 0;
    bool bold = false, italic = false;
  };
  int Add(const std::shared_ptr<EmbeddableFont>& font);
  int AddAlias(int program);
  void WriteProgram(Program& program);
  std::string ToUnicodeMap(const Alias& alias) const;
  std::string Widths(Program& program) const;

  FontSource* source_;
  ObjectWriter& writer_;
  std::vector<Face> faces_;
  std::vector<Program> programs_;
  std::vector<Alias> resources_;
  std::map<std::string, int> byFamily_;  // "bold italic family" -> face
};

}  // namespace kelvane::pdf
