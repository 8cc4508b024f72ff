// Pictures as files: pixels where the drawing puts ink, PDF pages and text, SVG, every format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "app/example.h"
#include "app/plan_picture.h"
#include "jww/builder.h"
#include "platform/text_conversion.h"
#include "render/cairo/cairo_output.h"
#include "render/cairo/image_decode.h"
#include "render/image_source.h"
#include "render/render.h"
#include "split/extract.h"
#include "tests/fixtures.h"

namespace kelvane {
namespace {

using testing::CorpusFiles;
using testing::ReadBytes;
using testing::TempDir;

constexpr double kDpi = 150;

// A PNG read back, probed in page millimetres from the lower-left corner.
struct Png {
  DecodedImage image;
  double heightMm = 0;
  uint32_t At(double xMm, double yMm) const {
    const int x = int(xMm * kDpi / 25.4), y = int((heightMm - yMm) * kDpi / 25.4);
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return 0xFFFFFFFF;
    return image.argb[size_t(y) * size_t(image.width) + size_t(x)];
  }
  // Darkest channel-sum in a square of half side r around the point (ink present when low).
  int Darkest(double xMm, double yMm, double r = 0.15) const {
    int best = 3 * 255;
    for (double dx = -r; dx <= r; dx += 0.05)
      for (double dy = -r; dy <= r; dy += 0.05) {
        const uint32_t c = At(xMm + dx, yMm + dy);
        best = std::min(best, int((c >> 16) & 255) + int((c >> 8) & 255) + int(c & 255));
      }
    return best;
  }
  bool Ink(double x, double y) const { return Darkest(x, y) < 3 * 160; }
  bool White(double x, double y) const { return Darkest(x, y, 0.3) > 3 * 245; }
};

Png WritePng(const DisplayList& list, const std::filesystem::path& file) {
  std::string error;
  PictureOutput o;
  o.dpi = kDpi;
  EXPECT_TRUE(WritePicture(list, file, PictureFormat::kPng, o, error)) << error;
  Png png;
  EXPECT_TRUE(DecodeImage(ReadBytes(file), false, png.image));
  png.heightMm = list.height;
  return png;
}

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// An A4 drawing (paper centre at page 148.5, 105) with pens as Jw_cad's defaults print them.
void A4Drawing(JwwDocument& doc) {
  InitDrawing(doc, 600, false);
  doc.header.paperSize = 4;
  doc.header.penWidthUnit = 100;
  for (int p = 1; p <= 9; ++p) doc.pens[size_t(p)].printWidth = p == 9 ? 1 : p;
}

constexpr double kCx = 148.5, kCy = 105;

TEST(PicturePixels, LinesDashesFillsTextsInsertsAndLayers) {
  TempDir dir;
  JwwDocument doc;
  A4Drawing(doc);
  Attr pen2;
  pen2.penColor = 2;
  AddLine(doc, -100, 60, 100, 60, pen2);  // a solid pen-2 line
  // A dashed line: 8 bits on, 8 off at 1 mm a bit (printPitch 16).
  doc.lineTypes[0] = {int32_t(0xFF00FF00u), 16, 1, 16};
  Attr dashed = pen2;
  dashed.penStyle = 2;
  AddLine(doc, -100, 40, 100, 40, dashed);
  // A quarter-disc sector; its centroid lies 4r·sin(θ/2)/(3θ) out along the bisector.
  const double r = 40, sweep = std::numbers::pi / 2;
  int32_t s = AddArcSolid(doc, -60, -60, r, 0, sweep, pen2);
  doc.solids[size_t(s)].y4 = 0;
  const double d = 4 * r * std::sin(sweep / 2) / (3 * sweep);
  // A text "HH" of 10 mm cells: two half-width cells, 10 x 10 mm from (20, -60).
  AddText(doc, 20, -60, JwwString::Sjis("HH"), pen2, 10.0);
  // A block of one line (0,0)-(20,0), inserted at (60, -40) turned a quarter: it runs up.
  EntityLists& def = AddBlockDef(doc, 1, JwwString::Sjis("bar"));
  Attr thick = pen2;
  thick.penColor = 8;
  AddLine(def, 0, 0, 20, 0, thick);
  // Inserted again, turned alike, at (90, -40): the block's list drawn once, placed twice.
  for (double x : {60, 90}) {
    const int32_t ins = AddBlockInsert(doc, 1, x, -40);
    doc.blockInserts[size_t(ins)].rotation = std::numbers::pi / 2;
  }
  // A line on a hidden layer, and an auxiliary (colour 9) line.
  Attr hidden = pen2;
  hidden.layer = 3;
  doc.layers[3].state = 0;
  AddLine(doc, -100, 20, 100, 20, hidden);
  Attr aux;
  aux.penColor = 9;
  AddLine(doc, -100, 0, 100, 0, aux);
  doc.NormaliseBlocks();

  const Png png = WritePng(RenderDrawing(doc, PictureStyle::kMonochrome), dir / "sheet.png");
  // Solid line: ink on it, white 2 mm beside it.
  EXPECT_TRUE(png.Ink(kCx + 10, kCy + 60));
  EXPECT_TRUE(png.White(kCx + 10, kCy + 62));
  // Dashes from x = -100: on 0-8, off 8-16, on 16-24, off 24-32.
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(png.Ink(kCx - 100 + 16 * k + 4, kCy + 40)) << "dash " << k;
    EXPECT_TRUE(png.White(kCx - 100 + 16 * k + 12, kCy + 40)) << "gap " << k;
  }
  // The sector: filled at its centroid, empty across its centre.
  EXPECT_TRUE(png.Ink(kCx - 60 + d * std::cos(sweep / 2), kCy - 60 + d * std::sin(sweep / 2)));
  EXPECT_TRUE(png.White(kCx - 60 - 10, kCy - 60 - 10));
  // The text's ink is inside its cell box (20..30 x -60..-50) and there is some.
  bool inkInside = false, inkOutside = false;
  for (double x = 10; x <= 40; x += 0.2)
    for (double y = -70; y <= -40; y += 0.2) {
      const bool inside = x >= 19.8 && x <= 30.2 && y >= -60.2 && y <= -49.8;
      const uint32_t c = png.At(kCx + x, kCy + y);
      const bool ink = ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255) < 3 * 128;
      (inside ? inkInside : inkOutside) |= ink;
    }
  EXPECT_TRUE(inkInside);
  EXPECT_FALSE(inkOutside);
  // The insert runs from (60,-40) up to (60,-20); unturned it would run right, to (80,-40).
  EXPECT_TRUE(png.Ink(kCx + 60, kCy - 30));
  EXPECT_TRUE(png.White(kCx + 72, kCy - 40));
  EXPECT_TRUE(png.Ink(kCx + 90, kCy - 30));
  EXPECT_TRUE(png.White(kCx + 97, kCy - 40));
  // The hidden layer leaves nothing; the auxiliary line is not printed.
  EXPECT_TRUE(png.White(kCx + 10, kCy + 20));
  EXPECT_TRUE(png.White(kCx + 10, kCy));

  // On a plan picture the auxiliary line is there, faintly (not white, not black).
  Affine toPage;
  const DisplayList plan = RenderWhole(doc, PictureStyle::kPlan, 10, &toPage);
  const Png planPng = WritePng(plan, dir / "plan.png");
  const Vec2 p = toPage({10, 0});
  const uint32_t c = planPng.At(p.x, p.y);
  const int sum = int((c >> 16) & 255) + int((c >> 8) & 255) + int(c & 255);
  EXPECT_LT(sum, 3 * 250);
  EXPECT_GT(sum, 3 * 100);
  EXPECT_TRUE(planPng.White(toPage({10, 20}).x, toPage({10, 20}).y));  // hidden there too
}

TEST(PictureFiles, PdfPageSizeTextAndSvgXml) {
  TempDir dir;
  JwwDocument doc;
  A4Drawing(doc);
  Attr pen2;
  pen2.penColor = 2;
  AddText(doc, -100, 0, JwwString::Wide(u"Kelvane 平面図 A-1"), pen2, 5.0);
  doc.textStrings.back().fontName = JwwString::Wide(u"ＭＳ ゴシック");
  doc.header.memo.unicode = true;
  const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
  std::string error;
  ASSERT_TRUE(WritePicture(list, dir / "a4.pdf", PictureFormat::kPdf, {}, error)) << error;
  ASSERT_TRUE(WritePicture(list, dir / "a4.svg", PictureFormat::kSvg, {}, error)) << error;

  const std::string info = Shell("pdfinfo '" + (dir / "a4.pdf").string() + "' 2>&1");
  double w = 0, h = 0;
  const size_t at = info.find("Page size:");
  ASSERT_NE(at, std::string::npos) << info;
  ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &w, &h), 2);
  EXPECT_NEAR(w * 25.4 / 72, 297, 0.5);
  EXPECT_NEAR(h * 25.4 / 72, 210, 0.5);

  const std::string text = Shell("pdftotext '" + (dir / "a4.pdf").string() + "' - 2>&1");
  EXPECT_NE(text.find("Kelvane"), std::string::npos) << text;
  EXPECT_NE(text.find("平面図"), std::string::npos) << text;
  EXPECT_NE(text.find("A-1"), std::string::npos) << text;
  EXPECT_NE(Shell("pdffonts '" + (dir / "a4.pdf").string() + "'").find("IPAGothic"), std::string::npos);

  EXPECT_EQ(Shell("xmllint --noout '" + (dir / "a4.svg").string() + "' 2>&1; echo $?"), "0\n");
}

// The bytes of a PNG of "Wil永" in the named font: which font drew it shows in the pixels.
std::vector<uint8_t> TextInFont(const std::string& utf8Font, const std::filesystem::path& file) {
  DisplayList list;
  list.width = 40;
  list.height = 12;
  list.fonts.push_back(JwwString::Wide(Utf8ToUtf16(utf8Font)));
  TextRun run;
  run.unicode = true;
  double x = 2;
  for (const char32_t c : {U'W', U'i', U'l', U'永'}) {
    const float w = c < 0x80 ? 4 : 8;
    list.glyphs.push_back({PagePoint(float(x), 2), PagePoint(w, 0), PagePoint(0, 8), uint32_t(c)});
    x += w;
  }
  run.glyphs = {0, uint32_t(list.glyphs.size())};
  list.texts.push_back(run);
  list.order.push_back({ItemKind::kText, 0});
  WritePng(list, file);
  return ReadBytes(file);
}

// "AW" in a proportional font, laid out in fixed half cells from x = 10 to 20: drawn by the
// font's own widths scaled to fit, its ink stays between start and end and fills them.
TEST(PicturePixels, ProportionalTextInkSpansItsStartToItsEnd) {
  TempDir dir;
  DisplayList list;
  list.width = 30;
  list.height = 14;
  list.fonts.push_back(JwwString::Wide(u"ＭＳ Ｐゴシック"));
  TextRun run;
  run.unicode = true;
  list.glyphs.push_back({PagePoint(10, 3), PagePoint(5, 0), PagePoint(0, 10), uint32_t('A')});
  list.glyphs.push_back({PagePoint(15, 3), PagePoint(5, 0), PagePoint(0, 10), uint32_t('W')});
  run.glyphs = {0, 2};
  list.texts.push_back(run);
  list.order.push_back({ItemKind::kText, 0});
  const Png png = WritePng(list, dir / "aw.png");
  double left = 1e9, right = -1e9;
  for (double x = 0; x < 30; x += 0.05)
    for (double y = 3.5; y < 12; y += 0.25)
      if (png.Darkest(x, y, 0) < 3 * 160) left = std::min(left, x), right = std::max(right, x);
  EXPECT_GT(left, 9.8);
  EXPECT_LT(left, 10.6);
  EXPECT_LT(right, 20.2);
  EXPECT_GT(right, 19.4);
}

TEST(PictureFiles, FontNamesMapToTheIpaFonts) {
  TempDir dir;
  const std::pair<const char*, const char*> kMapping[] = {
      {"ＭＳ ゴシック", "IPAGothic"}, {"ＭＳ Ｐゴシック", "IPAPGothic"},
      {"ＭＳ 明朝", "IPAMincho"},     {"ＭＳ Ｐ明朝", "IPAPMincho"}};
  std::vector<std::vector<uint8_t>> drawn;
  for (const auto& [jwName, family] : kMapping) {
    drawn.push_back(TextInFont(family, dir / "family.png"));
    EXPECT_EQ(TextInFont(jwName, dir / "jw.png"), drawn.back()) << jwName;
  }
  // Four different fonts, so that a name mapped to the wrong one of them shows.
  for (size_t i = 0; i < drawn.size(); ++i)
    for (size_t j = i + 1; j < drawn.size(); ++j) EXPECT_NE(drawn[i], drawn[j]) << kMapping[i].second;
}

void AllFormats(const DisplayList& list, const std::filesystem::path& base, const JwwDocument& doc,
                const std::filesystem::path& drawing) {
  PictureOutput o;
  o.dpi = 40;  // every pixel path runs; small files keep the test quick
  o.imageBytes = [&doc, folder = DrawingFolder(drawing)](const JwwString& s, ImageProblem& problem) {
    return ImageBytesFor(doc.images, s, folder, &problem);
  };
  for (PictureFormat f : {PictureFormat::kPng, PictureFormat::kSvg, PictureFormat::kPdf}) {
    std::filesystem::path file = base;
    file += ExtensionOf(f);
    std::string error;
    EXPECT_TRUE(WritePicture(list, file, f, o, error)) << file << ": " << error;
    EXPECT_GT(std::filesystem::file_size(file), 100u) << file;
  }
}

TEST(PictureFiles, EveryCorpusDrawingAndExampleSheetInEveryFormat) {
  TempDir dir;
  int n = 0;
  for (const auto& f : CorpusFiles()) {
    JwwDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(f));
    AllFormats(RenderDrawing(doc, PictureStyle::kColor), dir / ("c" + std::to_string(n++)), doc, f);
  }
  const std::filesystem::path example = dir / "example.jww";
  ASSERT_TRUE(WriteExampleDrawing(example));
  JwwDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(example));
  const std::vector<PaperFrame> frames = DetectPaperFrames(doc.lines, doc.LineCount(), kNumberRows);
  ASSERT_EQ(frames.size(), 6u);
  SheetExtractor extractor(doc, frames);
  size_t inked = 0;
  for (size_t k = 0; k < frames.size(); ++k) {
    const SheetView view = extractor.Extract(k, 0, SheetOptions{});
    const DisplayList list = RenderSheet(doc, view, frames[k], PaperSizeFor(frames[k]), PictureStyle::kMonochrome);
    AllFormats(list, dir / ("sheet" + std::to_string(k)), doc, example);
    inked += list.order.empty() ? 0 : 1;
  }
  EXPECT_EQ(inked, 5u);  // the empty frame draws nothing
  // The embedded picture of frame 6 is decoded and placed.
  const SheetView view = extractor.Extract(5, 0, SheetOptions{});
  const DisplayList list = RenderSheet(doc, view, frames[5], PaperSizeFor(frames[5]), PictureStyle::kColor);
  ASSERT_EQ(list.pictures.size(), 1u);
  PictureOutput o;
  o.dpi = kDpi;
  o.imageBytes = [&doc](const JwwString& s, ImageProblem& problem) {
    return ImageBytesFor(doc.images, s, {}, &problem);
  };
  std::string error;
  ASSERT_TRUE(WritePicture(list, dir / "logo.png", PictureFormat::kPng, o, error)) << error;
  Png png;
  ASSERT_TRUE(DecodeImage(ReadBytes(dir / "logo.png"), false, png.image));
  png.heightMm = list.height;
  // The image spans 160 mm from the text start (1300, 100); the frame's centre is (1500, 0).
  const uint32_t c = png.At(list.width / 2 - 200 + 40, list.height / 2 + 100 + 120);
  EXPECT_EQ(c & 0xFFFFFF, 0x1E50C8u);  // the logo's blue (R 30, G 80, B 200)
}

}  // namespace
}  // namespace kelvane
