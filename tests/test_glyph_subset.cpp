// Cutting a TrueType font down to some glyphs: the kept outlines stay byte for byte under their
// own ids, with the parts of composite glyphs; the rest is empty; damaged fonts are refused.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "codec/glyph_subset.h"

using namespace kelvane;

namespace {

const char kFont[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

uint32_t Read(const std::string& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int k = 0; k < bytes; ++k) v = v << 8 | (at + size_t(k) < b.size() ? uint8_t(b[at + size_t(k)]) : 0);
  return v;
}

std::string Table(const std::string& font, const char* tag) {
  for (uint32_t i = 0; i < Read(font, 4, 2); ++i) {
    const size_t entry = 12 + 16 * size_t(i);
    if (font.compare(entry, 4, tag) == 0) return font.substr(Read(font, entry + 8, 4), Read(font, entry + 12, 4));
  }
  return {};
}

// The outline bytes of a glyph, as 'loca' places them in 'glyf'.
std::string Outline(const std::string& font, uint32_t glyph) {
  const std::string loca = Table(font, "loca"), glyf = Table(font, "glyf");
  const bool longOffsets = Read(Table(font, "head"), 50, 2) != 0;
  auto at = [&](uint32_t g) { return longOffsets ? Read(loca, 4 * g, 4) : 2 * Read(loca, 2 * g, 2); };
  return glyf.substr(at(glyph), at(glyph + 1) - at(glyph));
}

std::string ReadFont() {
  std::ifstream in(kFont, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(GlyphSubset, KeepsTheAskedAndTheirPartsUnderTheirIdsAndEmptiesTheRest) {
  std::string font = ReadFont();
  if (font.empty()) GTEST_SKIP() << kFont << " is not installed";
  // Glyph 1000 made a composite of glyph 36 (flags 0: one component, byte offsets).
  const std::string original1000 = Outline(font, 1000);
  ASSERT_GE(original1000.size(), 16u);
  const size_t at = font.find(original1000);
  font.replace(at, 16,
               std::string("\xff\xff"
                           "\0\0\0\0\0\x10\0\x10"
                           "\0\0"
                           "\0\x24"
                           "\0\0",
                           16));
  const std::optional<std::string> subset = KeepGlyphs(font, {1000, 2000});
  ASSERT_TRUE(subset);
  EXPECT_LT(subset->size(), font.size() / 10);
  EXPECT_EQ(Read(Table(*subset, "maxp"), 4, 2), Read(Table(font, "maxp"), 4, 2));  // ids unchanged
  for (uint32_t g : {0u, 36u, 1000u, 2000u}) {
    const std::string outline = Outline(font, g);
    EXPECT_EQ(Outline(*subset, g).substr(0, outline.size()), outline) << g;  // padded to four bytes
    EXPECT_LT(Outline(*subset, g).size(), outline.size() + 4) << g;
  }
  EXPECT_TRUE(Outline(*subset, 37).empty());
  EXPECT_TRUE(Outline(*subset, 999).empty());
  const std::string hmtx = Table(font, "hmtx"), cutHmtx = Table(*subset, "hmtx");
  ASSERT_EQ(cutHmtx.size(), hmtx.size());
  for (size_t g : {0u, 36u, 1000u, 2000u}) EXPECT_EQ(cutHmtx.substr(4 * g, 4), hmtx.substr(4 * g, 4)) << g;
  EXPECT_EQ(cutHmtx.substr(4 * 37, 4), std::string(4, '\0'));
  EXPECT_TRUE(Table(*subset, "GSUB").empty());
  EXPECT_TRUE(Table(*subset, "cmap").empty());
}

TEST(GlyphSubset, RefusesWhatIsNoTrueTypeFontOrIsDamaged) {
  EXPECT_FALSE(KeepGlyphs("", {1}));
  EXPECT_FALSE(KeepGlyphs("OTTO" + std::string(200, '\0'), {1}));
  const std::string font = ReadFont();
  if (font.empty()) GTEST_SKIP() << kFont << " is not installed";
  EXPECT_FALSE(KeepGlyphs(font.substr(0, font.size() / 2), {1}));  // tables past the end
  std::string badLoca = font;
  const std::string loca = Table(font, "loca");
  const size_t at = badLoca.find(loca.substr(0, 64));
  ASSERT_NE(at, std::string::npos);
  badLoca.replace(at + 4 * 36, 4, "\xff\xff\xff\xf0", 4);  // glyph 35 reaching past 'glyf'
  if (Read(Table(font, "head"), 50, 2) != 0) {
    EXPECT_FALSE(KeepGlyphs(badLoca, {35}));
  }
}
