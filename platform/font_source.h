// The fonts a document embeds: found by family name as the screen finds them, measured, and cut
// down to the glyphs the document uses. Implemented once per platform.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvane {

// Vertical metrics and the bounding box of a face, in font units.
struct FontMetrics {
  int ascent = 0, descent = 0;  // descent below the baseline is negative
  int xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  int capHeight = 0;
};

// What a face's cut-down program is: TrueType outlines ('glyf'), or a bare CFF program (the
// 'CFF ' table of an OpenType face, CID-keyed or not).
enum class FontProgramKind { kTrueType, kCff };

// A face that a document can embed. Glyph ids are the face's own; for a CID-keyed CFF face they
// are its CIDs, the numbers a document shows its glyphs by.
class EmbeddableFont {
 public:
  virtual ~EmbeddableFont() = default;
  // The face's PostScript name, ASCII ("IPAGothic").
  virtual std::string PostScriptName() const = 0;
  virtual int UnitsPerEm() const = 0;
  virtual FontMetrics Metrics() const = 0;
  // The glyph for a code point; 0 when the face has none.
  virtual uint16_t GlyphFor(char32_t codePoint) = 0;
  // The glyph's horizontal advance in font units.
  virtual int Advance(uint16_t glyph) = 0;
  // A font program of the face's kind holding at least the given glyphs under their own ids; the
  // whole face when it cannot be cut down; nothing when the face may not or cannot be embedded.
  virtual std::optional<std::string> Subset(const std::vector<uint16_t>& glyphs) = 0;
  virtual FontProgramKind ProgramKind() const { return FontProgramKind::kTrueType; }
  // The face whose program this one embeds: a face drawn thickened or slanted shares the program
  // of the plain face, so a document embeds it once.
  virtual const EmbeddableFont* Program() const { return this; }
  // True when the screen draws the face thickened (bold) or slanted (italic) because it has no
  // bold or italic of its own; a document then does the same to its outlines.
  virtual bool SyntheticBold() const { return false; }
  virtual bool SyntheticItalic() const { return false; }
};

// A face as a weight or slant it lacks asks for it: the same glyphs and program, drawn thickened or
// slanted.
class SyntheticFont final : public EmbeddableFont {
 public:
  SyntheticFont(std::shared_ptr<EmbeddableFont> face, bool bold, bool italic)
      : face_(std::move(face)), bold_(bold), italic_(italic) {}
  std::string PostScriptName() const override { return face_->PostScriptName(); }
  int UnitsPerEm() const override { return face_->UnitsPerEm(); }
  FontMetrics Metrics() const override { return face_->Metrics(); }
  uint16_t GlyphFor(char32_t codePoint) override { return face_->GlyphFor(codePoint); }
  int Advance(uint16_t glyph) override { return face_->Advance(glyph); }
  std::optional<std::string> Subset(const std::vector<uint16_t>& glyphs) override { return face_->Subset(glyphs); }
  FontProgramKind ProgramKind() const override { return face_->ProgramKind(); }
  const EmbeddableFont* Program() const override { return face_->Program(); }
  bool SyntheticBold() const override { return bold_; }
  bool SyntheticItalic() const override { return italic_; }

 private:
  std::shared_ptr<EmbeddableFont> face_;
  bool bold_, italic_;
};

class FontSource {
 public:
  virtual ~FontSource() = default;
  // The face the screen draws for a family name (UTF-8, e.g. "ＭＳ ゴシック") in the given
  // weight and slant, by the same fallback the screen uses; nothing when there is none.
  virtual std::shared_ptr<EmbeddableFont> Open(std::string_view familyUtf8, bool bold, bool italic) = 0;
  // The face the screen draws a character in that the family's own face lacks (its fallback);
  // nothing when no face has it, and the character is drawn as missing.
  virtual std::shared_ptr<EmbeddableFont> OpenFallback(std::string_view familyUtf8, bool bold, bool italic,
                                                       char32_t codePoint) {
    (void)familyUtf8, (void)bold, (void)italic, (void)codePoint;
    return nullptr;
  }
};

// The operating system's fonts.
std::unique_ptr<FontSource> MakeSystemFontSource();

}  // namespace kelvane
