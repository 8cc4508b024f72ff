// Sheet extraction: the rules per kind, the paper size, the drawn frame and the index.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "jww/builder.h"
#include "split/extract.h"
#include "split/sheetnames.h"
#include "tests/reference/reference.h"

using namespace kelvane;

namespace {

constexpr double kPi = 3.141592653589793;

PaperFrame Rect(double minX, double minY, double maxX, double maxY) {
  PaperFrame f;
  f.minX = minX, f.minY = minY, f.maxX = maxX, f.maxY = maxY;
  f.sheetCount = 1;
  return f;
}

// Which entities of the order list land on the single sheet of frame 0.
std::vector<EntityRef> Kept(const JwwDocument& doc, const std::vector<PaperFrame>& frames, int sheet = 0,
                            SheetOptions options = {}) {
  SheetExtractor x(doc, frames);
  SheetView v = x.Extract(0, sheet, options);
  EXPECT_EQ(v.order.size(), ExtractByWalk(doc, frames, 0, sheet, options).order.size());
  return v.order;
}

bool Has(const std::vector<EntityRef>& order, int kind, int index) {
  for (const EntityRef& e : order)
    if (e.kind == kind && e.index == index) return true;
  return false;
}

TEST(PaperSize, EveryRowOfTheTableInBothOrientations) {
  struct Case {
    double w, h;
    int32_t code;
  } cases[] = {
      {200, 150, 4},   {150, 200, 4},   {229.99, 100, 4}, {100, 229.99, 4}, {230, 100, 4},  {100, 230, 3},
      {297, 210, 4},   {210, 297, 3},   {316.99, 1, 4},   {1, 316.99, 3},   {317, 1, 3},    {1, 317, 2},
      {420, 297, 3},   {297, 420, 2},   {440, 1, 2},      {1, 440, 1},      {594, 420, 2},  {420, 594, 1},
      {614, 1, 1},     {1, 614, 0},     {841, 594, 1},    {594, 841, 0},    {861, 1, 0},    {1, 861, 8},
      {1189, 841, 0},  {900, 1200, 8},  {300, 300, 4},
  };
  for (const Case& c : cases) EXPECT_EQ(PaperSizeFor(Rect(-c.w / 2, 10, c.w / 2, 10 + c.h)), c.code) << c.w << "x" << c.h;
}

TEST(DrawnFrame, InsetByTheMarginAndCentredOnTheOrigin) {
  PaperFrame f = Rect(1000, 500, 1297, 710);
  auto lines = PlaceFrameLines(f, 10);
  const double cx = 1148.5, cy = 605;
  EXPECT_DOUBLE_EQ(lines[0].startX - cx, -138.5);  // bottom
  EXPECT_DOUBLE_EQ(lines[0].startY - cy, -95);
  EXPECT_DOUBLE_EQ(lines[0].endX - lines[0].startX, 277);
  EXPECT_DOUBLE_EQ(lines[1].endY - lines[1].startY, 190);  // right
  EXPECT_DOUBLE_EQ(lines[2].endX, lines[0].startX);       // top runs back
  EXPECT_DOUBLE_EQ(lines[3].endY, lines[0].startY);       // left closes the loop
  for (const LineRecord& l : lines) {
    EXPECT_EQ(l.attr.penColor, 9);
    EXPECT_EQ(l.attr.penStyle, 1);
    EXPECT_EQ(l.attr.layer, 15);
    EXPECT_EQ(l.attr.layerGroup, 15);
    EXPECT_FALSE(IsFrameLine(l));
  }
  // A margin above half the frame inverts the rectangle, as computed.
  auto inverted = PlaceFrameLines(Rect(0, 0, 100, 50), 30);
  EXPECT_GT(inverted[1].startY, inverted[1].endY);  // H = 50 - 60 is negative
}

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override { InitDrawing(doc, 600, false); }
  JwwDocument doc;
  std::vector<PaperFrame> frames{Rect(0, 0, 100, 100)};
};

TEST_F(Extraction, LinesOnTheEdgeAreOutsideAndCrossingLinesStayWhole) {
  AddLine(doc, 0, 0, 100, 0);        // on the bottom edge
  AddLine(doc, 10, 10, 90, 90);      // inside
  AddLine(doc, 50, 50, 500, 50);     // from inside to far beyond
  AddLine(doc, -50, 50, 150, 50);    // across
  AddLine(doc, -50, -1, 150, -1);    // below
  Attr frameAttr;
  frameAttr.penColor = 9, frameAttr.penStyle = 19, frameAttr.penWidth = 200;
  AddLine(doc, 20, 20, 30, 30, frameAttr);  // a paper-frame line, even inside
  auto kept = Kept(doc, frames);
  EXPECT_FALSE(Has(kept, kLine, 0));
  EXPECT_TRUE(Has(kept, kLine, 1));
  EXPECT_TRUE(Has(kept, kLine, 2));
  EXPECT_TRUE(Has(kept, kLine, 3));
  EXPECT_FALSE(Has(kept, kLine, 4));
  EXPECT_FALSE(Has(kept, kLine, 5));
}

TEST_F(Extraction, PointsAndInsertionsGoByTheirPositionStrictlyInside) {
  AddPoint(doc, 50, 50);
  AddPoint(doc, 100, 50);           // on the edge
  AddPoint(doc, 100 - 1e-13, 50);   // within the tolerance of the edge
  AddBlockInsert(doc, 1, 0, 0);     // on the corner
  AddBlockInsert(doc, 1, 1, 1);
  auto kept = Kept(doc, frames);
  EXPECT_TRUE(Has(kept, kPoint, 0));
  EXPECT_FALSE(Has(kept, kPoint, 1));
  EXPECT_FALSE(Has(kept, kPoint, 2));
  EXPECT_FALSE(Has(kept, kBlockInsert, 0));
  EXPECT_TRUE(Has(kept, kBlockInsert, 1));
}

TEST_F(Extraction, ArcsAndCirclesGoByTheirChords) {
  AddCircle(doc, 50, 50, 200);                  // around the frame: every chord passes outside
  AddCircle(doc, 50, 50, 20);                   // inside
  AddArc(doc, 50, -200, 210, 0, 2.0);           // its chords miss, its curve dips in at (50, 10)
  AddArc(doc, 50, -200, 260, kPi / 4, kPi / 2); // the middle sample lies inside
  AddArc(doc, 400, 400, 10, 0, 1);
  auto kept = Kept(doc, frames);
  EXPECT_FALSE(Has(kept, kArc, 0));
  EXPECT_TRUE(Has(kept, kArc, 1));
  EXPECT_FALSE(Has(kept, kArc, 2));
  EXPECT_TRUE(Has(kept, kArc, 3));
  EXPECT_FALSE(Has(kept, kArc, 4));
}

TEST_F(Extraction, TextsByTheirBaselineAndNameTextsNever) {
  AddText(doc, -10, 50, JwwString::Sjis("crossing in"));
  doc.texts[0].endX = 20;
  AddText(doc, 150, 50, JwwString::Sjis("outside"));
  Attr aux;
  aux.penColor = 9;
  for (int32_t type : {0, 100, 200, 5}) {
    int32_t i = AddText(doc, 50, 50, JwwString::Sjis("\x81\x79\x96\xBC\x81\x7A" "A"), aux);
    doc.texts[size_t(i)].textType = type;
  }
  AddText(doc, 50, 50, JwwString::Sjis("\x81\x79\x96\xBC\x81\x7A" "B"));  // another colour
  AddText(doc, 50, 50, JwwString::Wide(u"【名】C"), aux);
  doc.texts[7].textType = 0;
  auto kept = Kept(doc, frames);
  EXPECT_TRUE(Has(kept, kText, 0));
  EXPECT_FALSE(Has(kept, kText, 1));
  EXPECT_FALSE(Has(kept, kText, 2));
  EXPECT_FALSE(Has(kept, kText, 3));
  EXPECT_FALSE(Has(kept, kText, 4));
  EXPECT_TRUE(Has(kept, kText, 5));  // text type 5 is an ordinary text
  EXPECT_TRUE(Has(kept, kText, 6));
  EXPECT_FALSE(Has(kept, kText, 7));
}

TEST_F(Extraction, DimensionsByTheirLine) {
  AddDimension(doc, 200, 10, 300, 10, JwwString::Sjis("100"));
  doc.dimensions[0].text.startX = 50;  // its text inside does not keep it
  doc.dimensions[0].text.startY = 50;
  doc.dimensions[0].text.endX = 60;
  doc.dimensions[0].text.endY = 50;
  AddDimension(doc, 10, 10, 90, 10, JwwString::Sjis("80"));
  auto kept = Kept(doc, frames);
  EXPECT_FALSE(Has(kept, kDimension, 0));
  EXPECT_TRUE(Has(kept, kDimension, 1));
}

TEST_F(Extraction, SolidsByTheirOutlineAndArcSolidsByTheirShape) {
  AddSolid(doc, -50, 50, 150, 50, 150, 50, 150, 50);        // C2 = C3: one chord, across
  AddSolid(doc, -50, -10, 150, -10, 150, -10, -50, -10);     // one chord below
  AddSolid(doc, -100, -10, 300, -10, 100, 500, 100, 500);    // a triangle around the frame
  AddSolid(doc, -10, -10, 110, -10, 110, 110, -10, 110);     // a quad around the frame
  AddSolid(doc, 10, 10, 20, 10, 20, 20, 10, 20);             // inside
  // Arc solids: a sector whose centre closes it inside; a disc far away; a segment.
  int32_t sector = AddArcSolid(doc, 50, 50, 300, 0, 0.5);
  doc.solids[size_t(sector)].y4 = 0;  // 101, shape 0: P0 P1 P2 and the centre
  int32_t disc = AddArcSolid(doc, 1000, 1000, 5, 0, 1);
  doc.solids[size_t(disc)].y4 = 100;  // 101, shape 100: the quadrant points
  int32_t segment = AddArcSolid(doc, 50, 50, 300, 0, 0.5);
  doc.solids[size_t(segment)].y4 = 5;  // 101, shape 5: P0 P1 P2 only, all far outside
  auto kept = Kept(doc, frames);
  EXPECT_TRUE(Has(kept, kSolid, 0));
  EXPECT_FALSE(Has(kept, kSolid, 1));
  EXPECT_FALSE(Has(kept, kSolid, 2));  // the outline misses, the filled area covers it
  EXPECT_FALSE(Has(kept, kSolid, 3));
  EXPECT_TRUE(Has(kept, kSolid, 4));
  EXPECT_TRUE(Has(kept, kSolid, size_t(sector)));
  EXPECT_FALSE(Has(kept, kSolid, size_t(disc)));
  EXPECT_FALSE(Has(kept, kSolid, size_t(segment)));
}

// One arc solid per row of the shape table, each placed so that only that row's chords reach
// the frame [0,100]²; the same geometry read by another row misses it.
TEST_F(Extraction, EachArcSolidShapeDecidesByItsOwnChords) {
  const double pi = 3.141592653589793;
  auto arcSolid = [&](int style, double code, double cx, double cy, double r, double start, double sweep) {
    const int32_t i = AddArcSolid(doc, cx, cy, r, start, sweep);
    doc.solids[size_t(i)].attr.penStyle = uint8_t(style);
    doc.solids[size_t(i)].y4 = code;
    return size_t(i);
  };
  // 111 with a code: the full disc, whose top quadrant point (50, 20) is inside; its arc is not.
  const size_t disc = arcSolid(111, 1, 50, -60, 80, pi + 0.3, 0.5);
  const size_t discAsSegment = arcSolid(111, 0, 50, -60, 80, pi + 0.3, 0.5);
  // 111 with code 0: the segment; its closing chord crosses the frame, its arc bulges away.
  const size_t segment = arcSolid(111, 0, 50, 50, 80, 0, pi);
  const size_t segmentAsOpenArc = arcSolid(105, 0, 50, 50, 80, 0, pi);  // another style: the arc alone
  // 101 with another code: closed by the tangents' corner (50, 88.2), which only that row uses.
  const size_t corner = arcSolid(101, 7, 50, 160, 50, -pi / 2 - 0.8, 1.6);
  const size_t cornerAsSector = arcSolid(101, 0, 50, 160, 50, -pi / 2 - 0.8, 1.6);
  auto kept = Kept(doc, frames);
  EXPECT_TRUE(Has(kept, kSolid, disc));
  EXPECT_FALSE(Has(kept, kSolid, discAsSegment));
  EXPECT_TRUE(Has(kept, kSolid, segment));
  EXPECT_FALSE(Has(kept, kSolid, segmentAsOpenArc));
  EXPECT_TRUE(Has(kept, kSolid, corner));
  EXPECT_FALSE(Has(kept, kSolid, cornerAsSector));
}

TEST_F(Extraction, LayerListKeepsOnlyTheListedLayersOfItsGroup) {
  auto on = [](uint16_t group, uint16_t layer) {
    Attr a;
    a.layerGroup = group, a.layer = layer;
    return a;
  };
  AddLine(doc, 10, 10, 20, 20, on(2, 0));
  AddLine(doc, 10, 10, 20, 20, on(2, 10));
  AddLine(doc, 10, 10, 20, 20, on(2, 1));
  AddLine(doc, 10, 10, 20, 20, on(3, 0));
  AddDimension(doc, 10, 10, 90, 10, JwwString::Sjis("80"), on(5, 5));
  doc.dimensions[0].text.attr = on(2, 0).Make();  // passes by its text
  frames[0].sheetLayerGroups[0] = 2;
  frames[0].sheetLayerLists.Set(0, JwwString::Sjis("0A"));
  SheetOptions drawn{true, 0};
  SheetExtractor x(doc, frames);
  SheetView v = x.Extract(0, 0, drawn);
  EXPECT_TRUE(Has(v.order, kLine, 0));
  EXPECT_TRUE(Has(v.order, kLine, 1));
  EXPECT_FALSE(Has(v.order, kLine, 2));
  EXPECT_FALSE(Has(v.order, kLine, 3));
  EXPECT_TRUE(Has(v.order, kDimension, 0));
  EXPECT_EQ(v.extraLines.size(), 4u);  // the drawn frame is never restricted
  frames[0].sheetLayerLists.Set(0, JwwString::Sjis("0a"));  // lower case names no layer
  SheetExtractor lower(doc, frames);
  auto kept = lower.Extract(0, 0, {}).order;
  EXPECT_TRUE(Has(kept, kLine, 0));
  EXPECT_FALSE(Has(kept, kLine, 1));
}

TEST_F(Extraction, TheDrawnFrameOnTheEdgeStaysAndAloneIsEmpty) {
  SheetExtractor x(doc, frames);
  SheetView v = x.Extract(0, 0, {true, 0});
  EXPECT_TRUE(v.order.empty());  // nothing but the drawn frame: an empty sheet
  ASSERT_EQ(v.extraLines.size(), 4u);
  EXPECT_EQ(v.extraLines[0].startX, 0.0);
  EXPECT_EQ(v.centerX, 50.0);
}

// The index must decide exactly as the walk over every entity does.
TEST(ExtractionIndex, SameSheetsAsTheWalkOnRandomDrawings) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> pos(-300, 1300), len(-200, 200), unit(0, 1);
  for (int round = 0; round < 60; ++round) {
    JwwDocument doc;
    InitDrawing(doc, 600, false);
    std::vector<PaperFrame> frames;
    const int nFrames = 1 + int(rng() % 12);
    for (int k = 0; k < nFrames; ++k) {
      double x = pos(rng), y = pos(rng);
      PaperFrame f = Rect(x, y, x + 20 + unit(rng) * 400, y + 20 + unit(rng) * 300);
      f.sheetCount = 2;
      f.sheetLayerGroups[1] = int32_t(rng() % 3);
      f.sheetLayerLists.Set(1, JwwString::Sjis(rng() % 2 ? "01" : "A"));
      frames.push_back(f);
    }
    for (int k = 0; k < 400; ++k) {
      Attr a;
      a.layerGroup = uint16_t(rng() % 3);
      a.layer = uint16_t(rng() % 12);
      double x = pos(rng), y = pos(rng);
      switch (rng() % 7) {
        case 0:
          AddLine(doc, x, y, x + len(rng), y + len(rng), a);
          break;
        case 1:
          AddArc(doc, x, y, 1 + unit(rng) * 300, unit(rng) * 6, unit(rng) * 6, a, 0.2 + unit(rng), unit(rng));
          break;
        case 2:
          AddPoint(doc, x, y, a);
          break;
        case 3:
          AddText(doc, x, y, JwwString::Sjis("t"), a);
          break;
        case 4:
          AddSolid(doc, x, y, x + len(rng), y, x + len(rng), y + len(rng), x, y + len(rng), a);
          break;
        case 5: {
          int32_t s = AddArcSolid(doc, x, y, 1 + unit(rng) * 300, unit(rng) * 6, unit(rng) * 6, a);
          const uint8_t styles[] = {101, 111, 102};
          doc.solids[size_t(s)].attr.penStyle = styles[rng() % 3];
          const double codes[] = {0, 5, 100, 7};
          doc.solids[size_t(s)].y4 = codes[rng() % 4];
          break;
        }
        default:
          AddBlockInsert(doc, 1, x, y, a);
      }
    }
    SheetExtractor x(doc, frames);
    for (size_t j = 0; j < frames.size(); ++j)
      for (int s = 0; s < 2; ++s) {
        auto fast = x.Extract(j, s, {}).order, walk = ExtractByWalk(doc, frames, j, s, {}).order;
        ASSERT_EQ(fast.size(), walk.size()) << "round " << round << " frame " << j;
        for (size_t i = 0; i < fast.size(); ++i) {
          EXPECT_EQ(fast[i].kind, walk[i].kind);
          EXPECT_EQ(fast[i].index, walk[i].index);
        }
      }
  }
}

}  // namespace

namespace {

// NaN, infinite and huge coordinates in frames and entities: the index decides as the walk does.
TEST(ExtractionIndex, SameSheetsAsTheWalkWithHostileCoordinates) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const double odd[] = {nan, inf, -inf, 1e308, -1e308, 1e300, 5.0, 50.0, 150.0, -20.0};
  std::mt19937 rng(77);
  auto v = [&] { return rng() % 3 == 0 ? odd[rng() % std::size(odd)] : double(int(rng() % 400) - 100); };
  for (int round = 0; round < 40; ++round) {
    JwwDocument doc;
    InitDrawing(doc, 600, false);
    std::vector<PaperFrame> frames = {Rect(0, 0, 100, 100), Rect(150, -50, 250, 60), Rect(1e300, 1e300, 1e300 + 1e290, 1e300 + 1e290)};
    if (round % 4 == 0) frames.push_back(Rect(nan, 0, 10, 10));
    if (round % 5 == 0) frames.push_back(Rect(-inf, -inf, inf, inf));
    for (int k = 0; k < 300; ++k) {
      switch (rng() % 4) {
        case 0: AddLine(doc, v(), v(), v(), v()); break;
        case 1: AddPoint(doc, v(), v()); break;
        case 2: AddSolid(doc, v(), v(), v(), v(), v(), v(), v(), v()); break;
        default: AddArc(doc, v(), v(), std::fabs(v()), 0, 2);
      }
    }
    SheetExtractor x(doc, frames);
    for (size_t j = 0; j < frames.size(); ++j) {
      auto fast = x.Extract(j, 0, {}).order, walk = ExtractByWalk(doc, frames, j, 0, {}).order;
      ASSERT_EQ(fast.size(), walk.size()) << "round " << round << " frame " << j;
      for (size_t i = 0; i < fast.size(); ++i) EXPECT_EQ(fast[i].index, walk[i].index);
    }
  }
}

// Arcs whose sample points come within a few units in the last place of a frame's edges, from
// inside and outside, tilted and flattened: the quick test by the arc's box decides as the walk.
TEST(ExtractionIndex, ArcsGrazingTheEdgesDecideAsTheWalk) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  const std::vector<PaperFrame> frames = {Rect(0, 0, 100, 60), Rect(100, 0, 180, 60)};
  const double quarter = 1.5707963267948966;
  for (int k = -40; k <= 40; ++k) {
    const double r = 30 + k * 1e-13;
    AddCircle(doc, 50, 30, r);                // touching the top and the bottom
    AddCircle(doc, 70 + k * 1e-13, 30, 30);   // and the shared edge at x = 100
    AddArc(doc, 50, 30, r, 0.5, 3, {}, 0.6 + 0.01 * k, 0.1 * k);  // tilted and flattened
    AddArc(doc, 50, 30, r, quarter, 3.2);
    AddArc(doc, 140, 30 + k * 1e-13, 30, quarter, 2 * quarter, {}, 1.0, 2 * quarter);
    AddCircle(doc, 100 + k * 1e-13, 30, 3e-13);  // tiny ones astride the edges' tolerance
    AddArc(doc, 50, k * 1e-13, 2e-13, 0, 2, {}, 0.5, 1);
  }
  SheetExtractor x(doc, frames);
  for (size_t j = 0; j < frames.size(); ++j) {
    auto fast = x.Extract(j, 0, {}).order, walk = ExtractByWalk(doc, frames, j, 0, {}).order;
    ASSERT_EQ(fast.size(), walk.size()) << "frame " << j;
    for (size_t i = 0; i < fast.size(); ++i) EXPECT_EQ(fast[i].index, walk[i].index);
  }
}

// Lines that are NaN on one axis and lie beside every frame reach no sheet, and cost no more
// than finite ones: a test against every frame would take 10^9 steps here.
TEST(ExtractionIndex, NaNLinesBesideManyFramesAreCheap) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  std::vector<PaperFrame> frames;
  for (int f = 0; f < 20000; ++f) frames.push_back(Rect((f % 100) * 450.0, (f / 100) * -350.0, (f % 100) * 450.0 + 420, (f / 100) * -350.0 + 297));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < 50000; ++i) AddLine(doc, nan, 1000.0 + i, nan, 1001.0 + i);
  AddLine(doc, nan, 10, nan, 20);  // NaN across, in the first row: on every sheet of that row
  SheetExtractor x(doc, frames);
  size_t kept = 0;
  for (size_t j = 0; j < frames.size(); ++j) kept += x.Extract(j, 0, {}).order.size();
  EXPECT_EQ(kept, 100u);
  EXPECT_EQ(ExtractByWalk(doc, frames, 0, 0, {}).order.size(), 1u);
}

}  // namespace
