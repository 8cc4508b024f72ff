// The portable PNG writer, read back through cairo's PNG reader, and embedded images to PNG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/pictures/png_image.h"
#include "codec/png_encode.h"
#include "dxf/dxf_writer.h"
#include "jww/builder.h"
#include "render/image_decode.h"

namespace kelvane {
namespace {

// Straight RGBA pixels as cairo holds them: premultiplied ARGB.
uint32_t Premultiplied(const uint8_t* p) {
  const uint32_t a = p[3];
  auto m = [&](uint32_t c) { const uint32_t t = c * a + 0x80; return (t + (t >> 8)) >> 8; };
  return a << 24 | m(p[0]) << 16 | m(p[1]) << 8 | m(p[2]);
}

// The same alpha, and colours within the reader's rounding of premultiplication.
bool Near(uint32_t got, uint32_t want) {
  if (got >> 24 != want >> 24) return false;
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int(got >> shift & 0xFF) - int(want >> shift & 0xFF)) > 1) return false;
  return true;
}

std::vector<uint8_t> Encoded(int w, int h, bool alpha, const std::vector<uint8_t>& pixels) {
  const size_t channels = alpha ? 4 : 3;
  std::vector<uint8_t> png;
  EXPECT_TRUE(EncodePng(w, h, alpha, [&](int y, uint8_t* row) {
    std::copy_n(pixels.data() + size_t(y) * size_t(w) * channels, size_t(w) * channels, row);
  }, png));
  return png;
}

DecodedImage Decoded(const std::vector<uint8_t>& png) {
  DecodedImage image;
  EXPECT_EQ(DecodeImageWithin(png, false, 1u << 30, image), DecodeResult::kDecoded);
  return image;
}

TEST(PngEncode, RgbAndRgbaReadBackExactly) {
  // Noise (deflated larger than one data chunk) and steps (what the "up" filter meets).
  const int w = 700, h = 600;
  std::vector<uint8_t> rgba(size_t(w) * h * 4), rgb(size_t(w) * h * 3);
  uint32_t seed = 12345;
  for (size_t i = 0; i < rgba.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    rgba[i] = i / 4 % 7 == 0 ? uint8_t(i / 4 / w) : uint8_t(seed >> 24);
  }
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    if (i % 3 == 0) rgba[i * 4 + 3] = 0xFF;  // opaque and transparent pixels among the rest
    if (i % 5 == 0) rgba[i * 4 + 3] = 0;
    for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = rgba[i * 4 + c];
  }
  const DecodedImage withAlpha = Decoded(Encoded(w, h, true, rgba));
  ASSERT_EQ(withAlpha.width, w);
  ASSERT_EQ(withAlpha.height, h);
  size_t wrong = 0;
  for (size_t i = 0; i < size_t(w) * h; ++i) wrong += !Near(withAlpha.argb[i], Premultiplied(&rgba[i * 4]));
  EXPECT_EQ(wrong, 0u);
  const DecodedImage opaque = Decoded(Encoded(w, h, false, rgb));
  ASSERT_EQ(opaque.argb.size(), size_t(w) * h);
  wrong = 0;
  for (size_t i = 0; i < size_t(w) * h; ++i)
    wrong += opaque.argb[i] != (0xFF000000u | uint32_t(rgb[i * 3]) << 16 | uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2]);
  EXPECT_EQ(wrong, 0u);

  std::vector<uint8_t> png;
  EXPECT_FALSE(EncodePng(0, 5, true, [](int, uint8_t*) {}, png));
  EXPECT_FALSE(EncodePng(5, -1, false, [](int, uint8_t*) {}, png));
  EXPECT_TRUE(png.empty());
}

TEST(PngEncode, EmbeddedImagesBecomePngWithAlphaOnlyWhenTheyHaveIt) {
  // Straight colours survive cairo's premultiplied pixels within rounding; an opaque image is RGB.
  const std::vector<uint8_t> rgba = {255, 0, 0, 255, 10, 200, 30, 128, 0, 0, 0, 0, 90, 90, 250, 255};
  std::vector<uint8_t> png;
  ASSERT_TRUE(ImageAsPng(Encoded(2, 2, true, rgba), false, png));
  ASSERT_GT(png.size(), 26u);
  EXPECT_EQ(png[25], 6);  // colour type: RGBA
  const DecodedImage back = Decoded(png);
  ASSERT_EQ(back.argb.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(Near(back.argb[i], Premultiplied(&rgba[i * 4]))) << i;
  const std::vector<uint8_t> rgb = {1, 2, 3, 250, 251, 252};
  ASSERT_TRUE(ImageAsPng(Encoded(1, 2, false, rgb), false, png));
  EXPECT_EQ(png[25], 2);  // colour type: RGB
  EXPECT_EQ(Decoded(png).argb, (std::vector<uint32_t>{0xFF010203u, 0xFFFAFBFCu}));
  EXPECT_FALSE(ImageAsPng({1, 2, 3, 4}, false, png));

  // Beside a DXF: the embedded image as a PNG named after the file.
  JwwDocument doc;
  InitDrawing(doc, 700, true);
  const std::vector<uint8_t> stored = Encoded(1, 2, false, rgb);
  doc.images.Add(JwwString::Wide(u"pic.png"), stored.data(), int32_t(stored.size()));
  AddText(doc, 0, 0, JwwString::Wide(u"^@BM%temp%pic.png,5,5"));
  DxfOptions options;
  options.imageBaseName = "sheet";
  options.toPng = ImageAsPng;
  const DxfResult dxf = MakeDxf(doc, nullptr, options);
  ASSERT_EQ(dxf.images.size(), 1u);
  EXPECT_EQ(dxf.images[0].name, "sheet-1.png");
  EXPECT_EQ(Decoded(dxf.images[0].bytes).argb, (std::vector<uint32_t>{0xFF010203u, 0xFFFAFBFCu}));
}

}  // namespace
}  // namespace kelvane
