// Pictures as files: pixels where the drawing puts ink, PDF pages and text, SVG, every format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "app/example.h"
#include "app/plan_picture.h"
#include "drawing/image_source.h"
#include "drawing/text_layout.h"
#include "jww/builder.h"
#include "platform/text_conversion.h"
#include "render/cairo/cairo_output.h"
#include "render/image_decode.h"
#include "render/glyph_layout.h"
#include "render/render.h"
#include "split/extract.h"
#include "tests/fixtures.h"

namespace kelvane {
namespace {

using testing::CommandOutput;
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
  // Cells wider than high, spaced apart: each glyph sits apart, yet the text reads whole.
  const int32_t spaced = AddText(doc, -100, -30, JwwString::Wide(u"日影図ＴＥＳＴ用データ"), pen2, 4.0);
  doc.texts[size_t(spaced)].sizeX = 6, doc.texts[size_t(spaced)].spacing = 1.5;
  doc.header.memo.unicode = true;
  const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
  std::string error;
  ASSERT_TRUE(WritePicture(list, dir / "a4.pdf", PictureFormat::kPdf, {}, error)) << error;
  ASSERT_TRUE(WritePicture(list, dir / "a4.svg", PictureFormat::kSvg, {}, error)) << error;

  const std::string info = CommandOutput("pdfinfo '" + (dir / "a4.pdf").string() + "' 2>&1");
  double w = 0, h = 0;
  const size_t at = info.find("Page size:");
  ASSERT_NE(at, std::string::npos) << info;
  ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &w, &h), 2);
  EXPECT_NEAR(w * 25.4 / 72, 297, 0.5);
  EXPECT_NEAR(h * 25.4 / 72, 210, 0.5);

  const std::string text = CommandOutput("pdftotext '" + (dir / "a4.pdf").string() + "' - 2>&1");
  EXPECT_NE(text.find("Kelvane"), std::string::npos) << text;
  EXPECT_NE(text.find("平面図"), std::string::npos) << text;
  EXPECT_NE(text.find("A-1"), std::string::npos) << text;
  EXPECT_NE(text.find("Kelvane 平面図 A-1"), std::string::npos) << text;
  EXPECT_NE(text.find("日影図ＴＥＳＴ用データ"), std::string::npos) << text;
  EXPECT_NE(CommandOutput("pdffonts '" + (dir / "a4.pdf").string() + "'").find("IPAGothic"), std::string::npos);

  EXPECT_EQ(CommandOutput("xmllint --noout '" + (dir / "a4.svg").string() + "' 2>&1; echo $?"), "0\n");
}

// A text record of 田 cells at (x, y) in a list drawn at 600 dpi: where its glyphs' ink lies
// against their cells.
struct CellProbe {
  DisplayList list;
  std::vector<size_t> firstGlyph;  // of each text

  void Add(double x, double y, double sizeX, double sizeY, const std::u16string& text) {
    TextRecord t{};
    t.attr.penColor = 2;
    t.startX = x, t.startY = y, t.sizeX = sizeX, t.sizeY = sizeY;
    const TextLayout l = LayOutText(t, JwwString::Wide(text));
    firstGlyph.push_back(list.glyphs.size());
    TextRun run;
    run.unicode = true;
    run.glyphs = {uint32_t(list.glyphs.size()), uint32_t(l.glyphs.size())};
    list.glyphs.insert(list.glyphs.end(), l.glyphs.begin(), l.glyphs.end());
    list.order.push_back({ItemKind::kText, uint32_t(list.texts.size())});
    list.texts.push_back(run);
  }

  // The ink's centre in each glyph's cell, as fractions of the cell from its lower-left corner.
  std::vector<Vec2> InkCentres(const std::filesystem::path& file) const {
    constexpr double kProbeDpi = 600, kMmPerPixel = 25.4 / kProbeDpi;
    std::string error;
    PictureOutput o;
    o.dpi = kProbeDpi;
    EXPECT_TRUE(WritePicture(list, file, PictureFormat::kPng, o, error)) << error;
    DecodedImage img;
    EXPECT_TRUE(DecodeImage(ReadBytes(file), false, img));
    std::vector<Vec2> centres;
    for (const Glyph& g : list.glyphs) {
      const double x0 = g.origin.x, y0 = g.origin.y, w = g.across.x, h = g.up.y;
      double sum = 0, sx = 0, sy = 0;
      for (int py = 0; py < img.height; ++py)
        for (int px = 0; px < img.width; ++px) {
          const double x = (px + 0.5) * kMmPerPixel, y = list.height - (py + 0.5) * kMmPerPixel;
          if (x < x0 || x > x0 + w || y < y0 || y > y0 + h) continue;
          const uint32_t c = img.argb[size_t(py) * size_t(img.width) + size_t(px)];
          const double ink = 3 * 255 - int((c >> 16) & 255) - int((c >> 8) & 255) - int(c & 255);
          sum += ink, sx += ink * x, sy += ink * y;
        }
      centres.push_back(sum > 0 ? Vec2{(sx / sum - x0) / w, (sy / sum - y0) / h} : Vec2{-1, -1});
    }
    return centres;
  }
};

// Each glyph is scaled into its own cell from the text's own values: in cells that are not
// square, and in the text after a squeezed one, its ink sits where it sits in a square cell.
TEST(PicturePixels, GlyphsSitInTheirOwnCellsWhateverWasDrawnBefore) {
  TempDir dir;
  CellProbe probe;
  probe.list.width = 60, probe.list.height = 50;
  probe.list.fonts.push_back(JwwString::Wide(u"ＭＳ ゴシック"));
  probe.Add(5, 42, 6, 6, u"田");          // the reference, drawn first
  probe.Add(5, 32, 8, 4, u"田田田田田");  // wide cells
  probe.Add(5, 20, 3, 6, u"田田田田田");  // tall cells
  probe.Add(5, 12, 4, 4, u"田田田田^2");  // squeezed
  probe.Add(5, 4, 4, 4, u"田田");         // the text after the squeeze
  const std::vector<Vec2> centres = probe.InkCentres(dir / "cells.png");
  ASSERT_EQ(centres.size(), 17u);
  const Vec2 ref = centres[0];
  ASSERT_GT(ref.x, 0.3);
  for (size_t k = 1; k < centres.size(); ++k) {
    const Glyph& g = probe.list.glyphs[k];
    EXPECT_NEAR(centres[k].x * g.across.x, ref.x * g.across.x, 0.05) << "glyph " << k << " across";
    EXPECT_NEAR(centres[k].y * g.up.y, ref.y * g.up.y, 0.05) << "glyph " << k << " up";
  }
}

// A sheet's picture prints 1:1 on its frame's own paper, portrait frames included; the header
// code of the sheet (one size up for a portrait frame) does not decide it.
TEST(PictureFiles, SheetPageIsTheFramesOwnPaperInItsOrientation) {
  TempDir dir;
  JwwDocument doc;
  A4Drawing(doc);
  auto page = [&](double w, double h) {
    PaperFrame f;
    f.minX = -w / 2, f.minY = -h / 2, f.maxX = w / 2, f.maxY = h / 2;
    const DisplayList list = RenderSheet(doc, SheetView{}, f, PaperSizeFor(f), PictureStyle::kMonochrome);
    return std::pair{list.width, list.height};
  };
  EXPECT_EQ(page(210, 297), std::pair(210.0, 297.0));    // A4 portrait
  EXPECT_EQ(page(297, 420), std::pair(297.0, 420.0));    // A3 portrait
  EXPECT_EQ(page(594, 841), std::pair(594.0, 841.0));    // A1 portrait
  EXPECT_EQ(page(200, 280), std::pair(210.0, 297.0));    // a frame inside A4 portrait
  EXPECT_EQ(page(297, 210), std::pair(297.0, 210.0));    // landscape as before
  EXPECT_EQ(page(900, 1300), std::pair(900.0, 1300.0));  // above A0: its own size

  PaperFrame a4;
  a4.minX = 0, a4.minY = 0, a4.maxX = 210, a4.maxY = 297;
  const DisplayList list = RenderSheet(doc, SheetView{}, a4, PaperSizeFor(a4), PictureStyle::kMonochrome);
  std::string error;
  ASSERT_TRUE(WritePicture(list, dir / "a4.pdf", PictureFormat::kPdf, {}, error)) << error;
  const std::string info = CommandOutput("pdfinfo '" + (dir / "a4.pdf").string() + "' 2>&1");
  double w = 0, h = 0;
  const size_t at = info.find("Page size:");
  ASSERT_NE(at, std::string::npos) << info;
  ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &w, &h), 2);
  EXPECT_NEAR(w * 25.4 / 72, 210, 0.5);
  EXPECT_NEAR(h * 25.4 / 72, 297, 0.5);
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

// Runs of white space as one space, none at either end: how a text and a PDF reader's lines compare.
std::string OneSpaced(const std::string& s) {
  std::string out;
  for (char c : s) {
    const bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r';
    if (!blank) out += c;
    else if (!out.empty() && out.back() != ' ') out += ' ';
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The texts a list draws on its page, as the characters of their glyphs, of two characters or
// more; a list placed within is moved by (dx, dy).
void TextsOf(const DisplayList& page, const DisplayList& l, double dx, double dy, std::vector<std::string>& texts) {
  for (const ItemRef& r : l.order) {
    if (r.kind == ItemKind::kPlacement) {
      const Placement& p = l.placements[r.index];
      TextsOf(page, page.sublists[p.list], dx + p.dx, dy + p.dy, texts);
    }
    if (r.kind != ItemKind::kText) continue;
    const TextRun& t = l.texts[r.index];
    std::string text;
    size_t chars = 0;
    bool onPage = true;
    for (uint32_t k = 0; k < t.glyphs.count; ++k) {
      const Glyph& g = l.glyphs[t.glyphs.first + k];
      for (const Vec2 v : {Vec2{0, 0}, Vec2(g.across), Vec2(g.up), Vec2{g.across.x + g.up.x, g.across.y + g.up.y}}) {
        const double x = dx + g.origin.x + v.x, y = dy + g.origin.y + v.y;
        onPage = onPage && x >= 0 && y >= 0 && x <= page.width && y <= page.height;
      }
      if (IsBlankGlyph(g.code, t.unicode)) text += ' ';
      else text += t.unicode ? CodePointToUtf8(g.code) : SjisToUtf8(SjisBytesOf(g.code), UnreadableSjis::kSkipByte), ++chars;
    }
    if (chars >= 2 && onPage) texts.push_back(OneSpaced(text));
  }
}

// A search of a drawing's PDF finds every text whole, however its glyphs are spaced.
TEST(PictureFiles, EveryCorpusTextReadsWholeFromItsPdf) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder";
  TempDir dir;
  size_t checked = 0;
  for (const auto& f : files) {
    JwwDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(f));
    const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
    std::string error;
    ASSERT_TRUE(WritePicture(list, dir / "drawing.pdf", PictureFormat::kPdf, {}, error)) << error;
    const std::string found = OneSpaced(CommandOutput("pdftotext '" + (dir / "drawing.pdf").string() + "' -"));
    std::vector<std::string> texts;
    TextsOf(list, list, 0, 0, texts);
    for (const std::string& t : texts) EXPECT_NE(found.find(t), std::string::npos) << f.filename() << ": " << t;
    checked += texts.size();
  }
  EXPECT_GT(checked, 900u);
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
  // Its 16 pixels enlarged to 160 mm stay sharp in an SVG viewer too.
  ASSERT_TRUE(WritePicture(list, dir / "logo.svg", PictureFormat::kSvg, o, error)) << error;
  const std::vector<uint8_t> bytes = ReadBytes(dir / "logo.svg");
  const std::string svg(bytes.begin(), bytes.end());
  EXPECT_NE(svg.find("<image style=\"image-rendering:pixelated\""), std::string::npos);
}

// The case: 41 small frames in a drawing six metres wide, printed scaled down to fit A0.
TEST(PlanPicture, LabelsOfManySmallFramesAreReadableApartAndInColoursNoPenHas) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddLine(doc, 0, 0, 6000, 4000);
  doc.entityCount = int32_t(doc.order.size());
  SheetPlan plan;
  const SheetDecision decisions[] = {SheetDecision::kWrite, SheetDecision::kRenamed, SheetDecision::kEmpty,
                                     SheetDecision::kProtectedInput};
  for (size_t k = 0; k < 41; ++k) {
    PaperFrame frame{};
    frame.minX = 148.0 * double(k % 8), frame.minY = 105.0 * double(k / 8);
    frame.maxX = frame.minX + 148, frame.maxY = frame.minY + 105;
    plan.frames.push_back(frame);
    PlannedSheet s;
    s.frame = k;
    s.number = std::to_string(k + 1);
    s.decision = decisions[k % 4];
    s.file = "a-sheet-name-longer-than-its-frame-" + s.number + ".jww";
    plan.sheets.push_back(s);
  }
  const DisplayList list = PlanPicture(doc, plan, kDpi);
  const double pixelsPerMm = PlanPageScale(list) * kDpi / 25.4;
  ASSERT_GT(list.glyphs.size(), 41u);
  for (const Glyph& g : list.glyphs) ASSERT_GE(std::hypot(g.up.x, g.up.y) * pixelsPerMm, 12.0);

  std::vector<std::pair<Vec2, Vec2>> boxes;  // the white boxes under the labels
  for (const Fill& f : list.fills) {
    if (!(f.color == Rgb{255, 255, 255})) continue;
    const Span ring = list.rings[f.rings.first];
    Vec2 lo{1e300, 1e300}, hi{-1e300, -1e300};
    for (uint32_t i = ring.first; i < ring.first + ring.count; ++i) {
      const Vec2 p = list.points[i];
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)}, hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
    }
    boxes.push_back({lo, hi});
  }
  ASSERT_EQ(boxes.size(), 41u);
  const double slack = 1e-3;  // the list keeps points in single precision
  for (size_t i = 0; i < boxes.size(); ++i)
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      const auto& [a0, a1] = boxes[i];
      const auto& [b0, b1] = boxes[j];
      EXPECT_FALSE(a0.x + slack < b1.x && b0.x + slack < a1.x && a0.y + slack < b1.y && b0.y + slack < a1.y)
          << i << " " << j;
    }

  // Outline and label colours at least 80 apart in some channel from every pen's default.
  const uint32_t pens[] = {0x00C0C0, 0x000000, 0x00C000, 0xC0C000, 0xC000C0, 0x0000FF, 0x008080, 0xFF0080, 0xC0C0C0};
  for (const TextRun& t : list.texts)
    for (uint32_t pen : pens) {
      const int dr = std::abs(int(t.color.r) - int(pen >> 16)), dg = std::abs(int(t.color.g) - int((pen >> 8) & 255));
      const int db = std::abs(int(t.color.b) - int(pen & 255));
      EXPECT_GE(std::max({dr, dg, db}), 80) << std::hex << pen;
    }
}

}  // namespace
}  // namespace kelvane
