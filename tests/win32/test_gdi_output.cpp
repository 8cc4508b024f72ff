// The GDI backend against pixels: dashes with their offset, holes in filled areas, placed lists,
// images decoded once per source and placed only where they can be.
#include "render/gdi/gdi_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <zlib.h>

#include <cmath>

#include "tests/win32/window_fixture.h"

namespace kelvane {
namespace {

using test::SolidBmp;

// A white 100 x 40 pixel picture of the list at one pixel per millimetre; true where painted.
class Pixels {
 public:
  explicit Pixels(const DisplayList& list, const GdiImages* images = nullptr) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, 100, -40, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT area{0, 0, 100, 40};
    PaintDisplayList(dc, list, GdiView{1.0, 0, 0}, area, images);
    GdiFlush();
    pixels_.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + 100 * 40);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  // (x, y) in page millimetres, +y up.
  bool Painted(int x, int y) const { return (pixels_[size_t(39 - y) * 100 + x] & 0xFFFFFF) != 0xFFFFFF; }

 private:
  std::vector<uint32_t> pixels_;
};

DisplayList Page() {
  DisplayList list;
  list.width = 100;
  list.height = 39;  // device row = 39 - y
  return list;
}

TEST(GdiOutput, DashesRunOnFromTheirOffsetAcrossCorners) {
  DisplayList list = Page();
  StrokeStyle style;
  style.devicePixels = true;
  style.width = 1;
  style.dashes = {0, 2};
  list.dashes = {10, 5};
  style.dashOffset = 3;  // on 0-7, off 7-12, on 12-22, off 22-27, on 27-37, off 37-42, on 42-52...
  list.strokeStyles.push_back(style);
  Stroke s;
  s.points = {0, 3};
  list.points = {{0, 20}, {40, 20}, {40, 0}};
  list.strokes.push_back(s);
  list.order.push_back({ItemKind::kStroke, 0});
  const Pixels p(list);
  EXPECT_TRUE(p.Painted(3, 20));
  EXPECT_FALSE(p.Painted(9, 20));
  EXPECT_TRUE(p.Painted(17, 20));
  EXPECT_FALSE(p.Painted(24, 20));
  EXPECT_TRUE(p.Painted(32, 20));
  EXPECT_FALSE(p.Painted(39, 20));
  // Past the corner at 40 the gap ends at 42, 2 down: the dash runs 2 to 12 down the side.
  EXPECT_FALSE(p.Painted(40, 19));
  EXPECT_TRUE(p.Painted(40, 14));
  EXPECT_TRUE(p.Painted(40, 9));
  EXPECT_FALSE(p.Painted(40, 5));
}

TEST(GdiOutput, ARingInsideAnotherIsAHole) {
  DisplayList list = Page();
  list.points = {{10, 5}, {50, 5}, {50, 35}, {10, 35}, {20, 15}, {40, 15}, {40, 25}, {20, 25}};
  list.rings = {{0, 4}, {4, 4}};
  list.fills.push_back({{200, 0, 0}, {0, 2}});
  list.order.push_back({ItemKind::kFill, 0});
  const Pixels p(list);
  EXPECT_TRUE(p.Painted(15, 20));
  EXPECT_FALSE(p.Painted(30, 20));
  EXPECT_TRUE(p.Painted(30, 30));
  EXPECT_FALSE(p.Painted(70, 20));
}

// A sublist is drawn at each of its placements, moved by the placements leading to it.
TEST(GdiOutput, PlacedListsAreDrawnWherePlaced) {
  DisplayList list = Page();
  DisplayList& square = list.sublists.emplace_back();
  square.points = {{0, 0}, {8, 0}, {8, 8}, {0, 8}};
  square.rings = {{0, 4}};
  square.fills.push_back({{0, 0, 200}, {0, 1}});
  square.order.push_back({ItemKind::kFill, 0});
  DisplayList& pair = list.sublists.emplace_back();  // the square twice, 40 apart
  pair.placements = {{0, 0, 0}, {0, 40, 0}};
  pair.order = {{ItemKind::kPlacement, 0}, {ItemKind::kPlacement, 1}};
  list.placements = {{1, 5, 10}};
  list.order.push_back({ItemKind::kPlacement, 0});
  const Pixels p(list);
  EXPECT_TRUE(p.Painted(9, 14));
  EXPECT_TRUE(p.Painted(49, 14));
  EXPECT_FALSE(p.Painted(29, 14));
  EXPECT_FALSE(p.Painted(2, 14));
  EXPECT_FALSE(p.Painted(9, 25));
}

TEST(GdiOutput, ImagesAreDecodedOncePerSourceWithinThePixelBudget) {
  DisplayList list = Page();
  for (int k = 0; k < 20; ++k) list.imageSources.push_back(JwwString::Wide(u"%temp%a.bmp"));
  list.imageSources.push_back(JwwString::Wide(u"%temp%b.bmp"));   // 9 pixels more: past the budget
  list.imageSources.push_back(JwwString::Wide(u"%temp%bad.bmp"));  // no image: asked once, left out
  list.imageSources.push_back(JwwString::Wide(u"%temp%bad.bmp"));
  int asked = 0;
  int decoded = 0;
  const GdiImages images = DecodeListImages(list, [&](const JwwString& source) {
    ++asked;
    if (source.wide == u"%temp%a.bmp") return SolidBmp(4, 2, 0, 0, 200);
    if (source.wide == u"%temp%b.bmp") return SolidBmp(3, 3, 0, 0, 200);
    return std::vector<uint8_t>{1, 2, 3};
  }, 10, &decoded);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(decoded, 1);
  ASSERT_EQ(images.size(), 20u);
  EXPECT_EQ(images.at(0).get(), images.at(19).get());
  EXPECT_EQ(images.at(0)->width, 4);
  EXPECT_EQ(images.at(0)->height, 2);
}

// The bytes as gzip data, as a drawing links a "*.gz" image.
std::vector<uint8_t> Gzip(const std::vector<uint8_t>& bytes) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, uLong(bytes.size())) + 32);
  z.next_in = const_cast<Bytef*>(bytes.data());
  z.avail_in = uInt(bytes.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(GdiOutput, GzippedImagesAreInflatedAndOnlyThose) {
  const std::vector<uint8_t> bmp = SolidBmp(5, 3, 200, 0, 0), packed = Gzip(bmp);
  GdiImage image;
  ASSERT_TRUE(DecodeImageBytes(packed, true, image));
  EXPECT_EQ(image.width, 5);
  EXPECT_EQ(image.height, 3);
  EXPECT_EQ(image.pixels[0] & 0xFFFFFF, 0xC80000u);
  EXPECT_FALSE(DecodeImageBytes(packed, false, image));  // gzip data is no image itself
  EXPECT_FALSE(DecodeImageBytes(bmp, true, image));      // nor a plain image gzip data
  std::vector<uint8_t> cut(packed.begin(), packed.begin() + ptrdiff_t(packed.size() / 2));
  EXPECT_FALSE(DecodeImageBytes(cut, true, image));

  DisplayList list = Page();
  list.imageSources.push_back(JwwString::Wide(u"%temp%plan.bmp.gz"));
  const GdiImages images = DecodeListImages(list, [&](const JwwString&) { return packed; });
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images.at(0)->width, 5);
}

TEST(GdiOutput, ImagesAtSizesThatCannotBeDrawnAreLeftOut) {
  DisplayList list = Page();
  list.imageSources.push_back(JwwString::Wide(u"%temp%a.bmp"));
  const GdiImages images = DecodeListImages(list, [](const JwwString&) { return SolidBmp(2, 2, 0, 0, 200); });
  ASSERT_EQ(images.size(), 1u);
  auto shown = [&](Vec2 origin, Vec2 across, Vec2 up) {
    DisplayList l = list;
    l.pictures.push_back({0, origin, across, up});
    l.order.push_back({ItemKind::kPicture, 0});
    return l;
  };
  EXPECT_TRUE(Pixels(shown({10, 10}, {8, 0}, {0, 8}), &images).Painted(14, 14));
  // Each of these would cover the page, or put GDI's transform out of its range.
  const double nan = std::nan("");
  for (const DisplayList& l : {shown({0, 0}, {1e7, 0}, {0, 1e7}), shown({0, 0}, {1e300, 0}, {0, 8}),
                               shown({nan, 0}, {1e3, 0}, {0, 1e3})}) {
    const Pixels p(l, &images);
    EXPECT_FALSE(p.Painted(50, 20));
    EXPECT_FALSE(p.Painted(2, 2));
  }
}

// "iW" in a proportional font, laid out in fixed half cells from x = 10 to 20: drawn by the
// font's own widths scaled to fit, the narrow "i" starts at the text's start instead of sitting
// in the middle of its cell, and the "W" ends at the text's end.
TEST(GdiOutput, ProportionalTextInkSpansItsStartToItsEnd) {
  DisplayList list;
  list.width = 30, list.height = 10;
  list.fonts.push_back(JwwString::Wide(u"ＭＳ Ｐゴシック"));
  TextRun run;
  run.unicode = true;
  list.glyphs.push_back({PagePoint(10, 2), PagePoint(5, 0), PagePoint(0, 6), uint32_t('i')});
  list.glyphs.push_back({PagePoint(15, 2), PagePoint(5, 0), PagePoint(0, 6), uint32_t('W')});
  run.glyphs = {0, 2};
  list.texts.push_back(run);
  list.order.push_back({ItemKind::kText, 0});
  constexpr int kScale = 8, kWidth = 30 * kScale, kHeight = 10 * kScale;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof bi.bmiHeader, kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const RECT area{0, 0, kWidth, kHeight};
  PaintDisplayList(dc, list, GdiView{double(kScale), 0, 0}, area, nullptr);
  GdiFlush();
  const auto* pixels = static_cast<const uint32_t*>(bits);
  double left = 1e9, right = -1e9;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if ((pixels[y * kWidth + x] & 0xFF) < 128) left = std::min(left, double(x) / kScale), right = std::max(right, double(x + 1) / kScale);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  EXPECT_GT(left, 9.8);
  EXPECT_LT(left, 11.0);  // centred in a fixed cell, the "i" would start near 12.3
  EXPECT_GT(right, 19.2);
  EXPECT_LT(right, 20.3);
}

}  // namespace
}  // namespace kelvane
