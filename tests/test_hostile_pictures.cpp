// Hostile drawings as pictures: blocks that multiply, geometry whose cost lies in its numbers, and
// values no drawing should hold. Each must give a bounded list or a refusal, never an abort, and
// a bad entity must cost only itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "app/example.h"
#include "app/plan_picture.h"
#include "app/sheet_plan.h"
#include "drawing/image_source.h"
#include "jww/builder.h"
#include "render/cairo/cairo_output.h"
#include "render/image_decode.h"
#include "render/render.h"
#include "split/extract.h"
#include "tests/fixtures.h"

namespace kelvane {
namespace {

using testing::ReadBytes;
using testing::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.141592653589793;

void A4Drawing(JwwDocument& doc) {
  InitDrawing(doc, 600, false);
  doc.header.paperSize = 4;  // 297 x 210, paper centre at (148.5, 105) on the page
}

void Finish(JwwDocument& doc) {
  doc.entityCount = int32_t(doc.order.size());
  doc.NormaliseBlocks();
}

// Every point of the list and its sublists: what the list costs in memory.
size_t AllPoints(const DisplayList& l) {
  size_t n = l.points.size();
  for (const DisplayList& s : l.sublists) n += s.points.size();
  return n;
}

TEST(HostilePictures, BlocksThatMultiplyAreRefusedAndOrdinaryRepeatsAreNot) {
  {  // A block that inserts itself twice.
    JwwDocument doc;
    A4Drawing(doc);
    EntityLists& def = AddBlockDef(doc, 1, JwwString::Sjis("self"));
    AddLine(def, 0, 0, 1, 0);
    AddBlockInsert(def, 1, 1, 0);
    AddBlockInsert(def, 1, 0, 1);
    AddBlockInsert(doc, 1, 0, 0);
    Finish(doc);
    const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
    EXPECT_TRUE(list.overBudget);
    EXPECT_LT(AllPoints(list), 5000000u);
  }
  {  // 24 blocks, each inserting the next twice: no cycle, 2^24 lines.
    JwwDocument doc;
    A4Drawing(doc);
    for (int n = 1; n <= 24; ++n) {
      EntityLists& def = AddBlockDef(doc, n, JwwString::Sjis("b" + std::to_string(n)));
      if (n == 24) {
        AddLine(def, 0, 0, 1, 0);
      } else {
        AddBlockInsert(def, n + 1, 0, 0);
        AddBlockInsert(def, n + 1, 0.5, 0);
      }
    }
    AddBlockInsert(doc, 1, 0, 0);
    Finish(doc);
    for (PictureStyle style : {PictureStyle::kMonochrome, PictureStyle::kPlan})
      EXPECT_TRUE(RenderDrawing(doc, style).overBudget);
    EXPECT_FALSE(OverBudgetMessage().empty());
  }
  {  // A block of ten lines inserted a thousand times is an ordinary drawing.
    JwwDocument doc;
    A4Drawing(doc);
    EntityLists& def = AddBlockDef(doc, 1, JwwString::Sjis("tree"));
    for (int k = 0; k < 10; ++k) AddLine(def, 0, k, 1, k);
    for (int k = 0; k < 1000; ++k) AddBlockInsert(doc, 1, k % 40, k / 40);
    Finish(doc);
    const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
    EXPECT_FALSE(list.overBudget);
    EXPECT_EQ(list.placements.size() + 1, 1000u);  // the first insert is drawn in place
  }
  // The budget is the drawing's however many threads draw it (a drawing this large is drawn on
  // every core): 120,000 inserts of 300 lines are over it, of 100 lines within it.
  for (int lines : {300, 100}) {
    JwwDocument doc;
    A4Drawing(doc);
    EntityLists& def = AddBlockDef(doc, 1, JwwString::Sjis("wall"));
    for (int k = 0; k < lines; ++k) AddLine(def, 0, k * 0.01, 1, k * 0.01);
    for (int k = 0; k < 120000; ++k) AddBlockInsert(doc, 1, k % 300, k / 300 * 0.5);
    Finish(doc);
    EXPECT_EQ(RenderDrawing(doc, PictureStyle::kMonochrome).overBudget, lines == 300) << lines << " lines";
  }
}

TEST(HostilePictures, GeometryCostsWhatIsOnThePage) {
  JwwDocument doc;
  A4Drawing(doc);
  // 1,000 arcs sweeping 1e300 radians: full circles, closed.
  for (int k = 0; k < 1000; ++k) AddArc(doc, 0, 0, 50, 0, 1e300);
  // Ellipses of flatness 1e12 across the page: only their parts near it are drawn.
  for (int k = 0; k < 100; ++k) AddArc(doc, 0, 0, 10, 0, 2 * kPi, {}, 1e12);
  // 5,000 circles of radius 1e6 mm round the page, and 100 far off it: nothing to draw.
  for (int k = 0; k < 5000; ++k) AddCircle(doc, 0, 0, 1e6);
  for (int k = 0; k < 100; ++k) AddCircle(doc, 1e8, 0, 1e5);
  // A 1e7 mm line dashed at 1/16 mm: drawn solid. A dashed line of the page keeps its dashes.
  doc.lineTypes[0] = {int32_t(0xAAAAAAAAu), 32, 1, 1};
  Attr dashed;
  dashed.penStyle = 2;
  AddLine(doc, -5e6, 0, 5e6, 0, dashed);
  AddLine(doc, -100, 10, 100, 10, dashed);
  Finish(doc);
  const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
  // The circles round and off the page are culled; each ellipse is cut to a few pieces near it.
  ASSERT_GE(list.strokes.size(), 1000u + 100u + 2u);
  ASSERT_LE(list.strokes.size(), 1000u + 3 * 100u + 2u);
  for (size_t k = 0; k < 1000; ++k) EXPECT_TRUE(list.strokes[k].closed);
  EXPECT_LT(list.points.size(), 1100u * 4200u);
  for (const PagePoint& p : list.points) ASSERT_TRUE(std::fabs(p.x) < 2e6 && std::fabs(p.y) < 2e6);
  const Stroke& longLine = list.strokes[list.strokes.size() - 2];
  const Stroke& pageLine = list.strokes.back();
  EXPECT_EQ(list.strokeStyles[longLine.style].dashes.count, 0u);
  EXPECT_GT(list.strokeStyles[pageLine.style].dashes.count, 0u);
  EXPECT_EQ(list.skippedEntities, 0u);

  // The whole list still draws, as a vector page too.
  TempDir dir;
  PictureOutput o;
  o.dpi = 40;
  std::string error;
  for (PictureFormat f : {PictureFormat::kPng, PictureFormat::kSvg})
    EXPECT_TRUE(WritePicture(list, dir / (std::string("g") + ExtensionOf(f)), f, o, error)) << error;
  EXPECT_LT(std::filesystem::file_size(dir / "g.svg"), 64u << 20);
}

TEST(HostilePictures, PlanOutlinesOfHugeEmptyFramesStayBounded) {
  for (double width : {1e9, 1e12}) {
    JwwDocument doc;
    A4Drawing(doc);
    const double h = width * 0.7;
    AddLine(doc, 0, 0, width, 0), AddLine(doc, width, 0, width, h), AddLine(doc, width, h, 0, h), AddLine(doc, 0, h, 0, 0);
    Finish(doc);
    SheetPlan plan;
    PaperFrame frame{};
    frame.minX = 0, frame.minY = 0, frame.maxX = width, frame.maxY = h;
    plan.frames.push_back(frame);  // no sheet: outlined dashed as empty
    const DisplayList list = PlanPicture(doc, plan);
    EXPECT_LT(list.strokes.size(), 100u) << width;
    EXPECT_GT(list.strokes.size(), 0u) << width;
  }
}

TEST(HostilePictures, BadValuesAreLeftOutAndTheRestIsDrawn) {
  JwwDocument doc;
  A4Drawing(doc);
  AddLine(doc, -100, 50, 100, 50);  // drawn
  AddText(doc, -100, -50, JwwString::Sjis("HH"), {}, kNaN);
  AddText(doc, -100, -50, JwwString::Sjis("HH"), {}, 1e39);
  AddText(doc, 0, -50, JwwString::Sjis("HH"), {}, 10);  // drawn
  AddLine(doc, kNaN, 0, 100, 0);
  AddLine(doc, 0, -20, std::numeric_limits<double>::infinity(), -20);
  AddCircle(doc, kNaN, 0, 10);
  AddPoint(doc, 1e300, 0);
  AddSolid(doc, 0, 0, kNaN, 0, 10, 10, 0, 10);
  Finish(doc);
  const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
  EXPECT_EQ(list.skippedEntities, 7u);
  EXPECT_EQ(list.strokes.size(), 1u);
  EXPECT_EQ(list.texts.size(), 1u);
  EXPECT_TRUE(list.fills.empty());
  EXPECT_NE(SkippedEntitiesWarning(list).find("7 entities"), std::string::npos);

  TempDir dir;
  PictureOutput o;
  o.dpi = 50;
  std::string error;
  ASSERT_TRUE(WritePicture(list, dir / "bad.png", PictureFormat::kPng, o, error)) << error;
  DecodedImage png;
  ASSERT_TRUE(DecodeImage(ReadBytes(dir / "bad.png"), false, png));
  auto dark = [&](double xMm, double yMm, double r) {  // any ink within r mm of the page point
    int hits = 0;
    const double px = 50 / 25.4;
    for (int y = int((210 - yMm - r) * px); y <= int((210 - yMm + r) * px); ++y)
      for (int x = int((xMm - r) * px); x <= int((xMm + r) * px); ++x)
        if (x >= 0 && y >= 0 && x < png.width && y < png.height &&
            (png.argb[size_t(y) * size_t(png.width) + size_t(x)] & 0xFF) < 128)
          ++hits;
    return hits;
  };
  EXPECT_GT(dark(148.5, 155, 1), 0);        // the line
  EXPECT_GT(dark(148.5 + 2.5, 60, 3), 0);   // the good text
  EXPECT_EQ(dark(148.5 + 50, 105, 2), 0);   // no phantom line from a NaN end
  EXPECT_EQ(dark(148.5 + 50, 85, 2), 0);
}

TEST(HostilePictures, ABackendErrorOnOneItemLosesOnlyThatItem) {
  TempDir dir;
  const std::filesystem::path example = dir / "example.jww";
  ASSERT_TRUE(WriteExampleDrawing(example));
  JwwDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(example));
  const std::vector<PaperFrame> frames = DetectPaperFrames(doc.lines, doc.LineCount(), kNumberRows);
  ASSERT_EQ(frames.size(), 6u);
  SheetExtractor extractor(doc, frames);
  DisplayList list = RenderSheet(doc, extractor.Extract(5, 0, SheetOptions{}), frames[5], PaperSizeFor(frames[5]),
                                 PictureStyle::kColor);
  ASSERT_EQ(list.pictures.size(), 1u);
  // An image squeezed to nothing: cairo cannot invert its matrix and stops drawing for good.
  list.pictures[0].across = {0, 0};
  list.pictures[0].up = {0, 0};
  // A line drawn after it, across the page's middle.
  const uint32_t first = uint32_t(list.points.size());
  list.points.push_back(PagePoint(0, float(list.height / 2)));
  list.points.push_back(PagePoint(float(list.width), float(list.height / 2)));
  list.strokeStyles.push_back(StrokeStyle{{0, 0, 0}, false, 2.0f, {}, 0});
  list.order.push_back({ItemKind::kStroke, uint32_t(list.strokes.size())});
  list.strokes.push_back({{first, 2}, uint32_t(list.strokeStyles.size() - 1), 0});

  PictureOutput o;
  o.dpi = 20;
  o.imageBytes = [&doc](const JwwString& s, ImageProblem& problem) {
    return ImageBytesFor(doc.images, s, {}, &problem);
  };
  std::string error;
  ASSERT_TRUE(WritePicture(list, dir / "odd.png", PictureFormat::kPng, o, error)) << error;
  ASSERT_TRUE(WritePicture(list, dir / "odd.pdf", PictureFormat::kPdf, o, error)) << error;
  DecodedImage png;
  ASSERT_TRUE(DecodeImage(ReadBytes(dir / "odd.png"), false, png));
  int darkest = 255;
  for (int y = png.height / 2 - 2; y <= png.height / 2 + 2; ++y)
    darkest = std::min(darkest, int(png.argb[size_t(y) * size_t(png.width) + size_t(png.width / 3)] & 0xFF));
  EXPECT_LT(darkest, 64);
}

}  // namespace
}  // namespace kelvane

namespace kelvane {
namespace {

// Pages a format cannot hold are refused with Kelvane's reason and nothing written, whatever
// the numbers (beyond int, infinite); a lower --dpi is suggested only when there is one; and a
// stream that fails is a failure, not a silent empty picture.
TEST(HostilePictures, PagesAndWritesThatCannotBeAreRefusedWithTheReason) {
  DisplayList list;
  list.height = 210;
  PictureOutput o;
  std::string error;
  for (double width : {4e8, std::numeric_limits<double>::infinity(), 1e300}) {
    list.width = width;
    std::ostringstream out;
    o.dpi = 150;
    EXPECT_FALSE(WritePicture(list, out, PictureFormat::kPng, o, error));
    EXPECT_NE(error.find("pixels, more than 32767 a side: use a lower --dpi"), std::string::npos) << error;
    o.dpi = kMinDpi;
    EXPECT_FALSE(WritePicture(list, out, PictureFormat::kPng, o, error));
    EXPECT_NE(error.find("more than 32767 a side"), std::string::npos) << error;
    EXPECT_EQ(error.find("--dpi"), std::string::npos) << error;
    EXPECT_TRUE(out.str().empty());
  }
  list.width = 3e6;  // 3 km: cairo's fixed-point coordinates would leave the page blank
  for (PictureFormat f : {PictureFormat::kPdf, PictureFormat::kSvg}) {
    std::ostringstream out;
    EXPECT_FALSE(WritePicture(list, out, f, o, error));
    EXPECT_NE(error.find("mm, more than 739 m a side"), std::string::npos) << error;
    EXPECT_TRUE(out.str().empty());
  }
  list.width = 297;
  for (PictureFormat f : {PictureFormat::kPng, PictureFormat::kPdf, PictureFormat::kSvg}) {
    std::ostream broken(nullptr);
    EXPECT_FALSE(WritePicture(list, broken, f, o, error)) << ExtensionOf(f);
    EXPECT_FALSE(error.empty());
    std::ostringstream out;
    EXPECT_TRUE(WritePicture(list, out, f, o, error)) << error;
    EXPECT_GT(out.str().size(), 100u);
  }
}

}  // namespace
}  // namespace kelvane
