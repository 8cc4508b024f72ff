// Cutting a TrueType font down to some glyphs, read back by HarfBuzz (a reader that shares nothing
// with the subsetter): the kept glyphs, with the parts of composite glyphs, draw as before under
// their own ids; every other glyph draws nothing; damaged fonts are refused.
#include <gtest/gtest.h>
#include <hb.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "codec/glyph_subset.h"

using namespace kelvane;

namespace {

const char kFont[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

std::string ReadFont() {
  std::ifstream in(kFont, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A font as HarfBuzz reads it; the bytes must outlive it.
class HbFont {
 public:
  explicit HbFont(const std::string& bytes) {
    hb_blob_t* blob = hb_blob_create(bytes.data(), unsigned(bytes.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    face_ = hb_face_create(blob, 0);
    hb_blob_destroy(blob);
    font_ = hb_font_create(face_);
  }
  ~HbFont() {
    hb_font_destroy(font_);
    hb_face_destroy(face_);
  }
  HbFont(const HbFont&) = delete;
  HbFont& operator=(const HbFont&) = delete;

  unsigned Glyphs() const { return hb_face_get_glyph_count(face_); }
  int Advance(unsigned glyph) const { return hb_font_get_glyph_h_advance(font_, glyph); }
  size_t TableSize(const char* tag) const {
    hb_blob_t* blob = hb_face_reference_table(face_, hb_tag_from_string(tag, 4));
    const size_t size = hb_blob_get_length(blob);
    hb_blob_destroy(blob);
    return size;
  }

  // The glyph's outline as HarfBuzz draws it, components placed and transformed: one line per
  // drawing operation.
  std::string Drawing(unsigned glyph) const {
    std::string path;
    hb_font_get_glyph_shape(font_, glyph, Funcs(), &path);
    return path;
  }

 private:
  static void Add(void* path, const char* op, std::initializer_list<float> values) {
    std::string& out = *static_cast<std::string*>(path);
    out += op;
    for (float v : values) {
      char number[32];
      std::snprintf(number, sizeof number, " %g", double(v));
      out += number;
    }
    out += '\n';
  }
  static hb_draw_funcs_t* Funcs() {
    static hb_draw_funcs_t* funcs = [] {
      hb_draw_funcs_t* f = hb_draw_funcs_create();
      hb_draw_funcs_set_move_to_func(
          f, [](hb_draw_funcs_t*, void* p, hb_draw_state_t*, float x, float y, void*) { Add(p, "M", {x, y}); }, nullptr,
          nullptr);
      hb_draw_funcs_set_line_to_func(
          f, [](hb_draw_funcs_t*, void* p, hb_draw_state_t*, float x, float y, void*) { Add(p, "L", {x, y}); }, nullptr,
          nullptr);
      hb_draw_funcs_set_quadratic_to_func(
          f,
          [](hb_draw_funcs_t*, void* p, hb_draw_state_t*, float cx, float cy, float x, float y, void*) {
            Add(p, "Q", {cx, cy, x, y});
          },
          nullptr, nullptr);
      hb_draw_funcs_set_close_path_func(
          f, [](hb_draw_funcs_t*, void* p, hb_draw_state_t*, void*) { Add(p, "Z", {}); }, nullptr, nullptr);
      hb_draw_funcs_make_immutable(f);
      return f;
    }();
    return funcs;
  }

  hb_face_t* face_;
  hb_font_t* font_;
};

// Every glyph of the subset draws as in the original or not at all; the ones that draw.
std::set<unsigned> DrawnAsBefore(const std::string& original, const std::string& subset) {
  const HbFont before(original), after(subset);
  EXPECT_EQ(after.Glyphs(), before.Glyphs());  // ids unchanged
  std::set<unsigned> drawn;
  for (unsigned g = 0; g < before.Glyphs(); ++g) {
    const std::string path = after.Drawing(g);
    if (path.empty()) continue;
    drawn.insert(g);
    EXPECT_EQ(path, before.Drawing(g)) << "glyph " << g;
    EXPECT_EQ(after.Advance(g), before.Advance(g)) << "glyph " << g;
  }
  return drawn;
}

void Put(std::string& b, uint32_t v, int bytes) {
  for (int k = bytes - 1; k >= 0; --k) b += char(v >> (8 * k) & 0xFF);
}

// A glyph of one closed contour through the given points, all on the curve.
std::string SimpleGlyph(std::vector<std::pair<int, int>> points) {
  std::string g;
  Put(g, 1, 2);  // one contour
  for (int i = 0; i < 4; ++i) Put(g, 0, 2);  // bounds, which drawing does not read
  Put(g, uint32_t(points.size() - 1), 2);
  Put(g, 0, 2);  // no instructions
  g.append(points.size(), '\x01');  // on the curve, coordinates as 16-bit deltas
  int x = 0, y = 0;
  for (const auto& p : points) Put(g, uint16_t(p.first - x), 2), x = p.first;
  for (const auto& p : points) Put(g, uint16_t(p.second - y), 2), y = p.second;
  return g;
}

// One component of a composite glyph: its flags, glyph, offset and transform (F2Dot14 values).
struct Component {
  uint16_t flags;
  uint16_t glyph;
  int dx, dy;
  std::vector<uint16_t> transform;
};

std::string CompositeGlyph(const std::vector<Component>& parts) {
  std::string g;
  Put(g, 0xFFFF, 2);
  for (int i = 0; i < 4; ++i) Put(g, 0, 2);
  for (size_t i = 0; i < parts.size(); ++i) {
    const Component& c = parts[i];
    const bool words = c.flags & 0x1;
    Put(g, c.flags | 0x2 | (i + 1 < parts.size() ? 0x20 : 0), 2);  // ARGS_ARE_XY_VALUES, MORE_COMPONENTS
    Put(g, c.glyph, 2);
    Put(g, uint16_t(c.dx), words ? 2 : 1);
    Put(g, uint16_t(c.dy), words ? 2 : 1);
    for (uint16_t t : c.transform) Put(g, t, 2);
  }
  return g;
}

// Entries of 'loca' written as these values instead of the glyphs' true offsets.
using LocaDamage = std::map<size_t, uint32_t>;

// A TrueType font of the given glyphs, its 'loca' short or long.
std::string BuildFont(const std::vector<std::string>& glyphs, bool longOffsets, const LocaDamage& damage) {
  std::map<std::string, std::string> tables;
  std::string& glyf = tables["glyf"];
  std::string& loca = tables["loca"];
  for (size_t g = 0; g <= glyphs.size(); ++g) {
    const uint32_t offset = uint32_t(longOffsets ? glyf.size() : glyf.size() / 2);
    Put(loca, damage.count(g) ? damage.at(g) : offset, longOffsets ? 4 : 2);
    if (g < glyphs.size()) glyf += glyphs[g] + std::string(glyphs[g].size() % 2, '\0');
  }
  std::string& head = tables["head"];
  Put(head, 0x00010000, 4), Put(head, 0x00010000, 4), Put(head, 0, 4), Put(head, 0x5F0F3CF5, 4);
  Put(head, 0, 2), Put(head, 1000, 2);  // flags, units per em
  head.append(16, '\0');                // created, modified
  Put(head, 0, 2), Put(head, 0, 2), Put(head, 1000, 2), Put(head, 1000, 2);
  Put(head, 0, 2), Put(head, 8, 2), Put(head, 2, 2), Put(head, longOffsets, 2), Put(head, 0, 2);
  std::string& maxp = tables["maxp"];
  Put(maxp, 0x00005000, 4), Put(maxp, uint32_t(glyphs.size()), 2);
  std::string& hhea = tables["hhea"];
  Put(hhea, 0x00010000, 4), Put(hhea, 800, 2), Put(hhea, uint16_t(-200), 2);
  hhea.append(26, '\0');
  Put(hhea, uint32_t(glyphs.size()), 2);
  std::string& hmtx = tables["hmtx"];
  for (size_t g = 0; g < glyphs.size(); ++g) Put(hmtx, uint32_t(500 + 10 * g), 2), Put(hmtx, 0, 2);

  std::string font;
  Put(font, 0x00010000, 4), Put(font, uint32_t(tables.size()), 2);
  Put(font, 64, 2), Put(font, 2, 2), Put(font, uint32_t(tables.size() * 16 - 64), 2);
  size_t at = 12 + 16 * tables.size();
  for (const auto& [tag, bytes] : tables) {
    font += tag;
    Put(font, 0, 4), Put(font, uint32_t(at), 4), Put(font, uint32_t(bytes.size()), 4);
    at += (bytes.size() + 3) & ~size_t(3);
  }
  for (const auto& [tag, bytes] : tables) font += bytes + std::string((4 - bytes.size() % 4) % 4, '\0');
  return font;
}

// Glyphs 1 to 7 simple; 8, 9 and 10 composites whose first part is scaled (one scale, x and y,
// two by two; 9's offset in words) and whose second part, no other glyph's, follows the
// transform, so that a transform misread loses the second part or keeps a glyph that is no part.
std::string CompositeFont(bool longOffsets, const LocaDamage& damage = {}) {
  std::vector<std::string> glyphs = {SimpleGlyph({{0, 0}, {0, 900}, {600, 900}, {600, 0}})};
  for (int i = 1; i <= 7; ++i) glyphs.push_back(SimpleGlyph({{10 * i, 0}, {300, 700 - 50 * i}, {500, 20 * i}}));
  glyphs.push_back(CompositeGlyph({{0x8, 1, 5, 6, {0x2000}}, {0x1, 2, 300, -40, {}}}));
  glyphs.push_back(CompositeGlyph({{0x41, 3, 400, -300, {0x6000, 0x1000}}, {0, 4, 7, 7, {}}}));
  glyphs.push_back(CompositeGlyph({{0x80, 5, 1, 2, {0x3000, 0x0800, 0xF800, 0x3000}}, {0, 6, 50, 0, {}}}));
  return BuildFont(glyphs, longOffsets, damage);
}

}  // namespace

TEST(GlyphSubset, KeepsTheAskedAndTheirPartsUnderTheirIdsAndEmptiesTheRest) {
  const std::string font = ReadFont();
  if (font.empty()) GTEST_SKIP() << kFont << " is not installed";
  const std::optional<std::string> subset = KeepGlyphs(font, {1000, 2000});
  ASSERT_TRUE(subset);
  EXPECT_LT(subset->size(), font.size() / 10);
  const std::set<unsigned> drawn = DrawnAsBefore(font, *subset);
  EXPECT_TRUE(drawn.count(0) && drawn.count(1000) && drawn.count(2000));
  EXPECT_LE(drawn.size(), 8u);  // and no more than their parts
  const HbFont cut(*subset);
  EXPECT_EQ(cut.Advance(999), 0);
  EXPECT_EQ(cut.TableSize("GSUB"), 0u);
  EXPECT_EQ(cut.TableSize("cmap"), 0u);
}

TEST(GlyphSubset, KeepsThePartsOfCompositeGlyphsWhateverTheirTransform) {
  for (bool longOffsets : {false, true}) {
    SCOPED_TRACE(longOffsets ? "long offsets" : "short offsets");
    const std::string font = CompositeFont(longOffsets);
    const HbFont whole(font);
    ASSERT_EQ(whole.Glyphs(), 11u);
    for (unsigned g = 0; g < 11; ++g) ASSERT_FALSE(whole.Drawing(g).empty()) << g;  // the font reads
    const std::optional<std::string> subset = KeepGlyphs(font, {8, 9, 10});
    ASSERT_TRUE(subset);
    EXPECT_EQ(DrawnAsBefore(font, *subset), (std::set<unsigned>{0, 1, 2, 3, 4, 5, 6, 8, 9, 10}));
    const std::optional<std::string> one = KeepGlyphs(font, {8});
    ASSERT_TRUE(one);
    EXPECT_EQ(DrawnAsBefore(font, *one), (std::set<unsigned>{0, 1, 2, 8}));
    EXPECT_EQ(HbFont(*one).Advance(3), 0);
  }
}

TEST(GlyphSubset, RefusesWhatIsNoTrueTypeFontOrIsDamaged) {
  EXPECT_FALSE(KeepGlyphs("", {1}));
  EXPECT_FALSE(KeepGlyphs("OTTO" + std::string(200, '\0'), {1}));
  for (bool longOffsets : {false, true}) {
    SCOPED_TRACE(longOffsets ? "long offsets" : "short offsets");
    const std::string font = CompositeFont(longOffsets);
    ASSERT_TRUE(KeepGlyphs(font, {5}));
    EXPECT_FALSE(KeepGlyphs(font.substr(0, font.size() - 40), {5}));  // tables past the end
    const uint32_t past = longOffsets ? 0xFFFFFFF0u : 0xFFFFu;
    EXPECT_FALSE(KeepGlyphs(CompositeFont(longOffsets, {{6, past}}), {5}));  // glyph 5 ending past 'glyf'
    EXPECT_FALSE(KeepGlyphs(CompositeFont(longOffsets, {{5, past}}), {5}));  // and ending before it starts
  }
}

