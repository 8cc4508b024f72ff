// The Windows font source: the face GDI picks, its glyphs and widths, and the font program a
// document embeds, whole or cut down.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/font_source.h"

using namespace kelvane;

namespace {

uint32_t U32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k) v = v << 8 | (at + k < b.size() ? uint8_t(b[at + k]) : 0);
  return v;
}
uint16_t U16(const std::string& b, size_t at) { return uint16_t(U32(b, at) >> 16); }

// A table of a font program, checked to lie inside it; empty when the font has none.
std::string Table(const std::string& font, const char* tag) {
  const uint16_t count = U16(font, 4);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t entry = 12 + 16 * size_t(i);
    if (font.compare(entry, 4, tag) != 0) continue;
    const size_t at = U32(font, entry + 8), length = U32(font, entry + 12);
    EXPECT_LE(at + length, font.size()) << tag;
    return at + length <= font.size() ? font.substr(at, length) : std::string();
  }
  return {};
}

// Whether the glyph has an outline in the font program (its 'loca' entry is not empty).
bool HasOutline(const std::string& font, uint16_t glyph) {
  const std::string head = Table(font, "head"), loca = Table(font, "loca");
  if (U16(head, 50) == 0) return U16(loca, 2 * (glyph + 1u)) > U16(loca, 2 * glyph);
  return U32(loca, 4 * (glyph + 1u)) > U32(loca, 4 * glyph);
}

}  // namespace

TEST(FontSource, GothicOpensMeasuresAndEmbedsTheGlyphsAsked) {
  std::unique_ptr<FontSource> source = MakeSystemFontSource();
  std::shared_ptr<EmbeddableFont> font = source->Open("ＭＳ ゴシック", false, false);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(source->Open("ＭＳ ゴシック", false, false), font);  // opened once
  const uint16_t a = font->GlyphFor(U'A'), kanji = font->GlyphFor(U'図');
  ASSERT_NE(a, 0);
  ASSERT_NE(kanji, 0);
  EXPECT_EQ(font->GlyphFor(U'\U0001F600'), 0);
  // A gothic for Jw_cad is fixed-pitch: Latin letters half as wide as kanji.
  EXPECT_EQ(font->Advance(a) * 2, font->Advance(kanji));
  EXPECT_GT(font->Metrics().ascent, 0);
  EXPECT_LT(font->Metrics().descent, 0);
  EXPECT_FALSE(font->PostScriptName().empty());

  const std::optional<std::string> whole = font->Subset({});
  const std::optional<std::string> subset = font->Subset({a, kanji});
  ASSERT_TRUE(whole && subset);
  EXPECT_EQ(U32(*subset, 0), 0x00010000u);  // a TrueType font program of its own
  EXPECT_TRUE(HasOutline(*subset, a));
  EXPECT_TRUE(HasOutline(*subset, kanji));
  std::printf("face %s: %zu bytes embedded for two glyphs (%zu for none)\n", font->PostScriptName().c_str(),
              subset->size(), whole->size());
}

TEST(FontSource, EveryJwCadFamilyGivesAFaceAndAnUnknownOneTheScreensFallback) {
  std::unique_ptr<FontSource> source = MakeSystemFontSource();
  for (const char* family : {"ＭＳ 明朝", "ＭＳ Ｐゴシック", "ＭＳ Ｐ明朝", "", "No Such Font Anywhere"}) {
    std::shared_ptr<EmbeddableFont> font = source->Open(family, false, false);
    ASSERT_NE(font, nullptr) << family;
    EXPECT_NE(font->GlyphFor(U'A'), 0) << family;
    std::printf("%s -> %s\n", family, font->PostScriptName().c_str());
  }
  // A symbol no Japanese face has is found in a face that has it, as the screen finds it.
  std::shared_ptr<EmbeddableFont> symbol = source->OpenFallback("ＭＳ ゴシック", false, false, U'\u263A');
  if (symbol) {
    EXPECT_NE(symbol->GlyphFor(U'\u263A'), 0);
  }
  std::printf("U+263A -> %s\n", symbol ? symbol->PostScriptName().c_str() : "(none)");
}

// A face asked for in a weight or slant it lacks is drawn thickened or slanted, as GDI draws it,
// from the plain face's program, which a document then embeds once.
TEST(FontSource, BoldAndItalicAFaceLacksAreSyntheticOverItsPlainProgram) {
  std::unique_ptr<FontSource> source = MakeSystemFontSource();
  std::shared_ptr<EmbeddableFont> plain = source->Open("ＭＳ ゴシック", false, false);
  std::shared_ptr<EmbeddableFont> bold = source->Open("ＭＳ ゴシック", true, false);
  std::shared_ptr<EmbeddableFont> italic = source->Open("ＭＳ ゴシック", false, true);
  ASSERT_TRUE(plain && bold && italic);
  EXPECT_FALSE(plain->SyntheticBold() || plain->SyntheticItalic());
  EXPECT_TRUE(bold->SyntheticBold());
  EXPECT_FALSE(bold->SyntheticItalic());
  EXPECT_TRUE(italic->SyntheticItalic());
  EXPECT_EQ(bold->Program(), plain->Program());
  EXPECT_EQ(italic->Program(), plain->Program());
  EXPECT_EQ(bold->GlyphFor(U'図'), plain->GlyphFor(U'図'));
}

// Characters beyond U+FFFF are looked up by code point, not by a lone UTF-16 unit, and a
// character the drawing's face lacks is found in any installed face that has it.
TEST(FontSource, CharactersBeyondTheBasicPlaneAreFoundInTheFallbackChain) {
  std::unique_ptr<FontSource> source = MakeSystemFontSource();
  std::shared_ptr<EmbeddableFont> face = source->OpenFallback("ＭＳ ゴシック", false, false, U'\U0001F600');
  ASSERT_NE(face, nullptr) << "no installed face draws U+1F600";
  EXPECT_NE(face->GlyphFor(U'\U0001F600'), 0);
  EXPECT_EQ(face->GlyphFor(U'\U0010FFFD'), 0);
  std::printf("U+1F600 -> %s\n", face->PostScriptName().c_str());
  // A name no face has stands for a Japanese face, so the drawing's kanji stay drawn.
  std::shared_ptr<EmbeddableFont> missing = source->Open("存在しない書体", false, false);
  ASSERT_NE(missing, nullptr);
  EXPECT_NE(missing->GlyphFor(U'給'), 0);
}
