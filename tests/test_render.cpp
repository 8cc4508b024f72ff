// The display list against real drawings (text layout and arc geometry as Jw_cad stores them),
// and what it shares: blocks drawn once for many inserts, runs drawn on other threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/benchmark_drawing.h"
#include "drawing/text_layout.h"
#include "jww/builder.h"
#include "jww/document.h"
#include "render/glyph_layout.h"
#include "render/render.h"
#include "tests/fixtures.h"

namespace kelvane {
namespace {

using testing::CorpusFiles;

// Every text Jw_cad saved carries its end point: the cell-by-cell layout must land on it.
TEST(RenderCorpus, TextLayoutEndsWhereJwcadEndedEveryText) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder";
  int checked = 0, narrowed = 0;
  auto check = [&](const std::filesystem::path& f, const TextRecord& t, const JwwString& s) {
    ImageReference image;
    if (IsSettingsText(t) || ParseImageReference(s, image)) return;
    const TextLayout l = LayOutText(t, s);
    ASSERT_NEAR(l.end.x, t.endX, 1e-4) << f.filename() << " at " << t.startX << "," << t.startY;
    ASSERT_NEAR(l.end.y, t.endY, 1e-4) << f.filename() << " at " << t.startX << "," << t.startY;
    ++checked;
    if (s.size() > 2 && CharAt(s, s.size() - 2).code == '^') ++narrowed;
  };
  for (const auto& f : files) {
    JwwDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(f)) << f;
    for (size_t i = 0; i < doc.texts.size(); ++i) check(f, doc.texts[i], doc.textStrings[i].text);
    for (size_t i = 0; i < doc.dimensions.size(); ++i) check(f, doc.dimensions[i].text, doc.dimensionStrings[i].text);
  }
  EXPECT_GT(checked, 1000);
  EXPECT_GT(narrowed, 0);  // the corpus has "^n" narrowed lines, so that rule was exercised
}

// A text record at (10, 20) with the given cell size, spacing, angle and vertical flag.
TextRecord TextAt(double sizeX, double sizeY, double spacing, double angle, bool vertical = false) {
  TextRecord t{};
  t.attr.penColor = 1;
  t.attr.flags = vertical ? 0x20 : 0;
  t.startX = 10, t.startY = 20;
  t.sizeX = sizeX, t.sizeY = sizeY, t.spacing = spacing, t.angle = angle;
  return t;
}

// The em box of a glyph placed with the given advance at font size 100: its upper-left,
// upper-right and lower-left corners on the page.
struct EmBox {
  Vec2 topLeft, topRight, bottomLeft;
};
EmBox PlacedEm(const Glyph& g, bool unicode, double advance) {
  GlyphCell cell;
  EXPECT_TRUE(CellOfGlyph(g, g.origin, cell));
  const GlyphPlacement p = PlaceGlyph(cell, g.code, unicode, 100, advance);
  return {p.top,
          {p.top.x + p.a.x * p.h * advance, p.top.y + p.a.y * p.h * advance},
          {p.top.x - p.u.x * p.v * 100, p.top.y - p.u.y * p.v * 100}};
}

void ExpectNear(Vec2 a, Vec2 b, const char* what) {
  EXPECT_NEAR(a.x, b.x, 1e-4) << what;
  EXPECT_NEAR(a.y, b.y, 1e-4) << what;
}

Vec2 Plus(Vec2 a, Vec2 b, double k = 1) { return {a.x + k * b.x, a.y + k * b.y}; }

// A full em fills a cell that is not square, whatever the angle: full-width characters their
// whole cell, half-width ones their half cell; a narrower glyph sits centred.
TEST(GlyphPlacement, EmFillsCellsThatAreNotSquare) {
  for (const auto& [sizeX, sizeY] : {std::pair{8.0, 4.0}, std::pair{3.0, 6.0}}) {
    const TextLayout l = LayOutText(TextAt(sizeX, sizeY, 1, 30), JwwString::Wide(u"日A本"));
    ASSERT_EQ(l.glyphs.size(), 3u);
    for (const Glyph& g : l.glyphs) {
      const double fullEm = 100 * CellWidthOf(g.code, true);
      const EmBox box = PlacedEm(g, true, fullEm);
      const Vec2 origin = g.origin, across = g.across, up = g.up;
      ExpectNear(box.topLeft, Plus(origin, up), "upper left");
      ExpectNear(box.topRight, Plus(Plus(origin, up), across), "upper right");
      ExpectNear(box.bottomLeft, origin, "lower left");
      const EmBox narrow = PlacedEm(g, true, fullEm * 0.4);
      ExpectNear(narrow.topLeft, Plus(Plus(origin, up), across, 0.3), "centred");
    }
  }
}

// "^2" at the end narrows the line: each em is squeezed into its narrowed cell, and the next
// text laid out with the same buffers keeps its own cells.
TEST(GlyphPlacement, SqueezedTextFillsItsNarrowedCellsAndLeavesTheNextAlone) {
  std::vector<Glyph> glyphs;
  TextLayoutBuffers buffers;
  AppendTextLayout(TextAt(4, 4, 0, 0), JwwString::Wide(u"ABCD^2"), nullptr, glyphs, buffers);
  ASSERT_EQ(glyphs.size(), 4u);
  for (size_t k = 0; k < glyphs.size(); ++k) {
    const EmBox box = PlacedEm(glyphs[k], true, 50);
    ExpectNear(box.topLeft, {10 + k * 1.0, 24}, "squeezed upper left");
    ExpectNear(box.topRight, {11 + k * 1.0, 24}, "squeezed upper right");
  }
  AppendTextLayout(TextAt(4, 4, 0, 0), JwwString::Wide(u"AB"), nullptr, glyphs, buffers);
  const TextLayout alone = LayOutText(TextAt(4, 4, 0, 0), JwwString::Wide(u"AB"));
  ASSERT_EQ(glyphs.size(), 6u);
  for (size_t k = 0; k < 2; ++k) {
    const EmBox after = PlacedEm(glyphs[4 + k], true, 50), own = PlacedEm(alone.glyphs[k], true, 50);
    ExpectNear(after.topLeft, own.topLeft, "after a squeeze");
    ExpectNear(after.topRight, own.topRight, "after a squeeze");
  }
}

// Vertical text running down the page keeps its characters upright, one below the other by
// the cell width and spacing, each em as high as the text.
TEST(GlyphPlacement, VerticalTextStandsUprightDownThePage) {
  const TextLayout l = LayOutText(TextAt(6, 3, 1, -90, true), JwwString::Wide(u"日本"));
  ASSERT_EQ(l.glyphs.size(), 2u);
  const EmBox first = PlacedEm(l.glyphs[0], true, 100), second = PlacedEm(l.glyphs[1], true, 100);
  ExpectNear(first.topLeft, {8.5, 18.5}, "first upper left");
  ExpectNear(first.topRight, {14.5, 18.5}, "first upright");
  ExpectNear(first.bottomLeft, {8.5, 15.5}, "first as high as the text");
  ExpectNear(second.topLeft, {8.5, 11.5}, "second below the first");
}

// The corners of a glyph's cell, for overlap checks: origin, +across, +across+up, +up.
std::vector<Vec2> CellCorners(const Glyph& g) {
  const Vec2 o = g.origin, a = g.across, u = g.up;
  return {o, Plus(o, a), Plus(Plus(o, a), u), Plus(o, u)};
}

// True when two convex quadrilaterals share more than an edge (separating axis test).
bool Overlap(const std::vector<Vec2>& p, const std::vector<Vec2>& q) {
  for (const std::vector<Vec2>* shape : {&p, &q}) {
    for (size_t k = 0; k < 4; ++k) {
      const Vec2 a = (*shape)[k], b = (*shape)[(k + 1) % 4];
      const Vec2 axis{a.y - b.y, b.x - a.x};
      double pMin = 1e300, pMax = -1e300, qMin = 1e300, qMax = -1e300;
      for (const Vec2& v : p) pMin = std::min(pMin, v.x * axis.x + v.y * axis.y), pMax = std::max(pMax, v.x * axis.x + v.y * axis.y);
      for (const Vec2& v : q) qMin = std::min(qMin, v.x * axis.x + v.y * axis.y), qMax = std::max(qMax, v.x * axis.x + v.y * axis.y);
      if (pMax <= qMin + 1e-6 || qMax <= pMin + 1e-6) return false;
    }
  }
  return true;
}

// Vertical text as a vertical font draws it: half-width characters turned a quarter clockwise
// (their top to the right on a line running down), advancing by their half cell, so no two
// glyphs overlap; the long vowel mark and brackets turned likewise, whether stored as Unicode
// or Shift_JIS; 。 moved up and to the right of its cell.
TEST(GlyphPlacement, VerticalTextTurnsHalfWidthCharactersAndLongVowelMarks) {
  const TextLayout l = LayOutText(TextAt(4, 4, 0, -90, true), JwwString::Wide(u"123ABC日ー「"));
  ASSERT_EQ(l.glyphs.size(), 9u);
  for (size_t i = 0; i < l.glyphs.size(); ++i)
    for (size_t j = i + 1; j < l.glyphs.size(); ++j)
      EXPECT_FALSE(Overlap(CellCorners(l.glyphs[i]), CellCorners(l.glyphs[j]))) << i << " and " << j;
  for (size_t k : {0u, 5u, 7u, 8u}) {
    const Vec2 up = l.glyphs[k].up;
    EXPECT_NEAR(up.x, 4, 1e-4) << k << ": top to the right";
    EXPECT_NEAR(up.y, 0, 1e-4) << k;
  }
  const Vec2 uprightUp = l.glyphs[6].up;
  EXPECT_NEAR(uprightUp.y, 4, 1e-4) << "日 upright";

  JwwString sjis;
  for (uint32_t code : {0x815Bu, 0x8142u}) AppendChar(sjis, code);  // ー。
  const TextLayout s = LayOutText(TextAt(4, 4, 0, -90, true), sjis);
  ASSERT_EQ(s.glyphs.size(), 2u);
  const Vec2 longVowelUp = s.glyphs[0].up;
  EXPECT_NEAR(longVowelUp.x, 4, 1e-4) << "ー turned in Shift_JIS";
  const Vec2 stop = s.glyphs[1].origin;
  ExpectNear(stop, {12, 14}, "。 in the upper right of its cell");
}

// A text in a proportional font spans its start to its end point: each glyph as wide as the
// font's own advance scaled to fit, the spacing kept between glyphs, narrow "i" not spread.
TEST(GlyphPlacement, ProportionalTextFitsBetweenItsStartAndEnd) {
  EXPECT_TRUE(IsProportionalFont(JwwString::Wide(u"ＭＳ Ｐゴシック")));
  EXPECT_TRUE(IsProportionalFont(JwwString::Wide(u"MS PMincho")));
  EXPECT_TRUE(IsProportionalFont(JwwString::Wide(u"IPAPGothic")));
  EXPECT_FALSE(IsProportionalFont(JwwString::Wide(u"IPAGothic")));
  EXPECT_FALSE(IsProportionalFont(JwwString::Wide(u"ＭＳ ゴシック")));
  EXPECT_FALSE(IsProportionalFont(JwwString::Wide(u"MS Gothic")));

  const TextRecord t = TextAt(4, 3, 1, 30);
  const TextLayout l = LayOutText(t, JwwString::Wide(u"AiB"));
  ASSERT_EQ(l.glyphs.size(), 3u);
  const double advances[] = {0.6, 0.2, 0.6};  // ems, at font size 1
  Glyph cells[3];
  FitProportionalRun(l.glyphs.data(), 3, true, advances, cells);
  // 6 mm of half cells hold 1.4 em of glyphs: each em is 30/7 mm wide; half cells keep
  // half the spacing, 0.5 mm, between them.
  const double em = 6 / 1.4, c = std::cos(30 * 3.141592653589793 / 180), s = std::sin(30 * 3.141592653589793 / 180);
  double at = 0;
  for (size_t k = 0; k < 3; ++k) {
    const EmBox box = PlacedEm(cells[k], true, advances[k] * 100);
    ExpectNear(box.bottomLeft, Plus({10, 20}, {c * at, s * at}), "glyph starts after the one before");
    at += advances[k] * em;
    ExpectNear(Plus(box.bottomLeft, {c * advances[k] * em, s * advances[k] * em}), Plus({10, 20}, {c * at, s * at}),
               "glyph as wide as its scaled advance");
    at += 0.5;
  }
  ExpectNear(Plus({10, 20}, {c * (at - 0.5), s * (at - 0.5)}), l.end, "the last glyph ends at the end point");

  // Upright glyphs of vertical text keep their cells.
  const TextLayout v = LayOutText(TextAt(4, 3, 0, -90, true), JwwString::Wide(u"日本"));
  const double wide[] = {0.5, 1};
  Glyph vertical[2];
  FitProportionalRun(v.glyphs.data(), 2, true, wide, vertical);
  for (size_t k = 0; k < 2; ++k) ExpectNear(vertical[k].origin, v.glyphs[k].origin, "vertical glyph kept");
}

// Ends of the flattened arc as the display list has them.
bool ArcEnds(const JwwDocument& doc, int32_t index, Vec2& a, Vec2& b) {
  DisplayList list;
  DisplayListBuilder builder(doc, PictureStyle::kPlan, list);
  builder.AddEntity(doc, {kArc, index}, Affine{});
  if (list.strokes.size() != 1) return false;
  const Span s = list.strokes[0].points;
  a = list.points[s.first];
  b = list.points[s.first + s.count - 1];
  return true;
}

// Tilted arcs drawn from the tilt axis meet the lines Jw_cad joined them to; measured from the
// x axis they would not.
TEST(RenderCorpus, TiltedArcsMeetTheirLinesOnlyWithTheTilt) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder";
  int joined = 0, joinedWithoutTilt = 0;
  for (const auto& f : files) {
    JwwDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(f));
    std::vector<Vec2> ends;
    for (const LineRecord& l : doc.lines) ends.push_back({l.startX, l.startY}), ends.push_back({l.endX, l.endY});
    auto nearest = [&](Vec2 p) {
      double best = 1e300;
      for (const Vec2& e : ends) best = std::min(best, std::hypot(e.x - p.x, e.y - p.y));
      return best;
    };
    for (size_t i = 0; i < doc.arcs.size(); ++i) {
      ArcRecord& arc = doc.arcs[i];
      if (arc.tiltAngle == 0 || arc.fullCircle) continue;
      Vec2 a, b;
      if (!ArcEnds(doc, int32_t(i), a, b)) continue;
      // An arc ends on a line when a line end lies within 0.01 mm of one of its ends; that
      // end must then meet the line end exactly.
      const double da = nearest(a), db = nearest(b);
      if (da > 0.01 && db > 0.01) continue;
      if (da <= 0.01) {
        EXPECT_LT(da, 1e-3) << f.filename() << " arc " << i;
      }
      if (db <= 0.01) {
        EXPECT_LT(db, 1e-3) << f.filename() << " arc " << i;
      }
      ++joined;
      // The same arc with its angles read from the x axis.
      const double tilt = arc.tiltAngle;
      arc.tiltAngle = 0;
      Vec2 a0, b0;
      const bool drawn = ArcEnds(doc, int32_t(i), a0, b0);
      arc.tiltAngle = tilt;
      const bool meetsA = da > 0.01 || nearest(a0) < 0.01, meetsB = db > 0.01 || nearest(b0) < 0.01;
      if (drawn && meetsA && meetsB) ++joinedWithoutTilt;
    }
  }
  std::printf("tilted arcs joined to lines: %d, of them still joined without the tilt: %d\n", joined, joinedWithoutTilt);
  EXPECT_GE(joined, 100);
  // Some tilts leave an end in place (a half turn of a symmetric arc); most do not.
  EXPECT_LT(joinedWithoutTilt, joined / 4);
}

// Every item as it lands on the page, placements applied and shared tables looked up: one line
// of text each, so that two lists can be compared item by item.
void Flatten(const DisplayList& root, const DisplayList& l, double dx, double dy, std::vector<std::string>& out) {
  char buf[96];
  auto at = [&](Vec2 p) {
    std::snprintf(buf, sizeof buf, " %.5f,%.5f", p.x + dx, p.y + dy);
    return std::string(buf);
  };
  auto rgb = [](Rgb c) { return std::to_string(c.r) + "/" + std::to_string(c.g) + "/" + std::to_string(c.b); };
  for (const ItemRef& r : l.order) {
    std::string s;
    switch (r.kind) {
      case ItemKind::kStroke: {
        const Stroke& st = l.strokes[r.index];
        const StrokeStyle& y = root.strokeStyles[st.style];
        s = "stroke " + rgb(y.color) + " w" + std::to_string(y.width) + (st.closed ? " closed" : "") + " dash";
        for (uint32_t k = 0; k < y.dashes.count; ++k) s += " " + std::to_string(root.dashes[y.dashes.first + k]);
        for (uint32_t k = 0; k < st.points.count; ++k) s += at(l.points[st.points.first + k]);
        break;
      }
      case ItemKind::kFill: {
        const Fill& f = l.fills[r.index];
        s = "fill " + rgb(f.color);
        for (uint32_t g = 0; g < f.rings.count; ++g) {
          const Span ring = l.rings[f.rings.first + g];
          s += " |";
          for (uint32_t k = 0; k < ring.count; ++k) s += at(l.points[ring.first + k]);
        }
        break;
      }
      case ItemKind::kText: {
        const TextRun& t = l.texts[r.index];
        s = "text " + rgb(t.color) + " font " + root.fonts[t.font].sjis;
        for (uint32_t k = 0; k < t.glyphs.count; ++k) {
          const Glyph& g = l.glyphs[t.glyphs.first + k];
          s += " " + std::to_string(g.code) + at(g.origin);
        }
        break;
      }
      case ItemKind::kPicture:
        s = "picture " + root.imageSources[l.pictures[r.index].source].sjis;
        break;
      case ItemKind::kPlacement: {
        const Placement& p = l.placements[r.index];
        Flatten(root, root.sublists[p.list], dx + p.dx, dy + p.dy, out);
        continue;
      }
    }
    out.push_back(s);
  }
}

std::vector<std::string> Flatten(const DisplayList& list) {
  std::vector<std::string> out;
  Flatten(list, list, 0, 0, out);
  return out;
}

// Inserts that differ only in where they sit share one list of the block's members (the first is
// drawn in place); a scaled or turned insert has its own, and sizes given in page millimetres (a
// point's disc) stay so.
TEST(DisplayListSharing, BlocksDrawnOnceForEveryInsertOfOneScaleAndTurn) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  EntityLists& def = AddBlockDef(doc, 1, JwwString::Sjis("mark"));
  AddLine(def, 0, 0, 10, 0);
  AddPoint(def, 5, 5);
  for (int i = 0; i < 500; ++i) AddBlockInsert(doc, 1, 20.0 * i, 0);
  for (double y : {100, 150}) {
    const int32_t scaled = AddBlockInsert(doc, 1, 0, y);
    doc.blockInserts[size_t(scaled)].scaleX = doc.blockInserts[size_t(scaled)].scaleY = 3;
  }
  const int32_t turned = AddBlockInsert(doc, 1, 0, 200);
  doc.blockInserts[size_t(turned)].rotation = std::acos(-1.0) / 2;
  doc.NormaliseBlocks();
  DisplayList list;
  DisplayListBuilder(doc, PictureStyle::kPlan, list).AddEntities(doc, doc.order, doc.order.size(), Affine{});

  EXPECT_EQ(list.sublists.size(), 2u);
  ASSERT_EQ(list.placements.size(), 499u + 1);
  const std::vector<std::string> items = Flatten(list);
  ASSERT_EQ(items.size(), 2u * 503);
  EXPECT_NE(items[2 * 499].find(" 9980.00000,0.00000 9990.00000,0.00000"), std::string::npos) << items[2 * 499];
  EXPECT_NE(items[2 * 501].find(" 0.00000,150.00000 30.00000,150.00000"), std::string::npos) << items[2 * 501];
  EXPECT_NE(items[2 * 502].find("0.00000,200.00000 "), std::string::npos) << items[2 * 502];
  EXPECT_NE(items[2 * 502].find("0.00000,210.00000"), std::string::npos) << items[2 * 502];
  // The point's disc: as wide in the enlarged insert as in a plain one, around the moved centre.
  auto discWidth = [&](const DisplayList& sub, double& centreX) {
    const Span ring = sub.rings.at(0);
    double lo = 1e300, hi = -1e300;
    for (uint32_t k = 0; k < ring.count; ++k) {
      lo = std::min<double>(lo, sub.points[ring.first + k].x);
      hi = std::max<double>(hi, sub.points[ring.first + k].x);
    }
    centreX = (lo + hi) / 2;
    return hi - lo;
  };
  double plainCentre = 0, scaledCentre = 0;
  const double plain = discWidth(list.sublists[list.placements[0].list], plainCentre);
  const double big = discWidth(list.sublists[list.placements[499].list], scaledCentre);
  EXPECT_NEAR(big, plain, 1e-4);
  EXPECT_NEAR(plainCentre, 5, 1e-4);
  EXPECT_NEAR(scaledCentre, 15, 1e-4);
}

// A block that inserts itself is drawn out down to the depth limit, as when nothing is shared,
// and no list ends up placing itself.
TEST(DisplayListSharing, BlockInsertingItselfStopsAtTheDepthLimit) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  EntityLists& def = AddBlockDef(doc, 1, JwwString::Sjis("loop"));
  AddLine(def, 0, 0, 0, 5);
  AddBlockInsert(def, 1, 10, 0);
  AddBlockInsert(doc, 1, 0, 0);
  doc.NormaliseBlocks();
  DisplayList list;
  DisplayListBuilder(doc, PictureStyle::kPlan, list).AddEntities(doc, doc.order, doc.order.size(), Affine{});
  const std::vector<std::string> items = Flatten(list);
  ASSERT_EQ(items.size(), 32u);
  EXPECT_NE(items.back().find(" 310.00000,0.00000 310.00000,5.00000"), std::string::npos) << items.back();
  double x0, y0, x1, y1;
  ASSERT_TRUE(DrawnBounds(list, x0, y0, x1, y1));
  EXPECT_DOUBLE_EQ(x1, 310);
}

// Widths as printed: pens in the drawing's unit (dots here), SXF colours in 1/100 mm whatever
// that unit, on paper and in the plan alike.
TEST(PrintLooks, SxfColourWidthsAreHundredthsOfAMillimetreInADotDrawing) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  doc.header.penWidthUnit = 100;  // dots at 300 dpi
  doc.pens[2].printWidth = 18;
  doc.extendedColors[size_t(SxfColorSetting(101))].printWidth = 18;
  doc.extendedColors[size_t(SxfColorSetting(101))].width = 18;
  Attr pen2, sxf;
  pen2.penColor = 2;
  sxf.penColor = 101;
  AddLine(doc, 0, 0, 10, 0, pen2);
  AddLine(doc, 0, 5, 10, 5, sxf);
  auto styleOf = [&](PictureStyle style, size_t line) {
    DisplayList list;
    DisplayListBuilder(doc, style, list).AddEntities(doc, doc.order, doc.order.size(), Affine{});
    return list.strokeStyles[list.strokes.at(line).style];
  };
  EXPECT_NEAR(styleOf(PictureStyle::kMonochrome, 0).width, 18 * 25.4 / 300, 1e-6);
  EXPECT_NEAR(styleOf(PictureStyle::kMonochrome, 1).width, 0.18, 1e-6);
  const StrokeStyle plan = styleOf(PictureStyle::kPlan, 1);
  EXPECT_FALSE(plan.devicePixels);
  EXPECT_NEAR(plan.width, 0.18, 1e-6);
  doc.lines[1].attr.penWidth = 35;  // an entity's own width, in the same 1/100 mm
  EXPECT_NEAR(styleOf(PictureStyle::kMonochrome, 1).width, 0.35, 1e-6);
}

// The draw-order switch: 1 draws images and solids first, 2 solids only, each part in file order; the
// same inside blocks and on every thread.
TEST(PrintLooks, SolidsAndImagesFirstWhenTheDrawingAsks) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddLine(doc, 0, 0, 10, 0);
  AddSolid(doc, 0, 0, 1, 0, 1, 1, 0, 1);
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%a.bmp,10,10"));
  AddSolid(doc, 2, 0, 3, 0, 3, 1, 2, 1);
  EntityLists& def = AddBlockDef(doc, 1, JwwString::Sjis("wall"));
  AddLine(def, 0, 0, 5, 0);
  AddSolid(def, 0, 0, 1, 0, 1, 1, 0, 1);
  AddBlockInsert(doc, 1, 50, 0);
  doc.NormaliseBlocks();
  auto kinds = [&](int threads) {
    DisplayList list;
    DisplayListBuilder(doc, PictureStyle::kColor, list).AddEntities(doc, doc.order, doc.order.size(), Affine{},
                                                                     threads);
    std::string k;
    for (const std::string& item : Flatten(list)) k += item.substr(0, 1);
    return k;
  };
  // Stroke, fill, picture, fill, then the block's stroke and fill.
  EXPECT_EQ(kinds(1), "sfpfsf");
  doc.header.drawSwitches[JwwHeader::kDrawOrderSwitch] = 1;
  EXPECT_EQ(kinds(1), "fpfsfs");
  EXPECT_EQ(kinds(3), "fpfsfs");
  doc.header.drawSwitches[JwwHeader::kDrawOrderSwitch] = 12;  // the ones digit decides
  EXPECT_EQ(kinds(1), "ffspfs");
}

// Pictures print in colour when the drawing's colour-print switch is on, unless told otherwise.
TEST(PrintLooks, ColourPrintFlagChoosesTheStyleUnlessOverridden) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  EXPECT_EQ(PrintStyle(doc, std::nullopt), PictureStyle::kMonochrome);
  EXPECT_EQ(PrintStyle(doc, true), PictureStyle::kColor);
  doc.header.drawSwitches[JwwHeader::kColorPrintSwitch] = 1;
  EXPECT_EQ(PrintStyle(doc, std::nullopt), PictureStyle::kColor);
  EXPECT_EQ(PrintStyle(doc, false), PictureStyle::kMonochrome);
}

// Runs drawn on other threads make the same list as one thread: every item, in order, in place.
TEST(DisplayListSharing, ManyThreadsDrawTheSameItemsAsOne) {
  JwwDocument doc;
  BuildBenchmarkDrawing(doc, 4000);  // lines, arcs, texts, dimensions, solids and block inserts
  // Pens and line types that change along the drawing: each run meets its looks in an order of its own.
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    doc.lines[i].attr.penColor = uint16_t(1 + 8 * i / doc.lines.size());
    doc.lines[i].attr.penStyle = uint8_t(1 + (7 * i / doc.lines.size() + 3) % 8);
  }
  auto build = [&](int threads) {
    DisplayList list;
    DisplayListBuilder(doc, PictureStyle::kColor, list).AddEntities(doc, doc.order, doc.order.size(), Affine{},
                                                                     threads);
    return list;
  };
  const DisplayList one = build(1), three = build(3);
  // The other threads' runs come last, each placed as a whole.
  ASSERT_FALSE(three.order.empty());
  EXPECT_EQ(three.order.back().kind, ItemKind::kPlacement);
  EXPECT_GT(three.sublists.size(), one.sublists.size() + 1);
  const std::vector<std::string> a = Flatten(one), b = Flatten(three);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_GT(a.size(), 4000u);
  for (size_t k = 0; k < a.size(); ++k) ASSERT_EQ(a[k], b[k]) << "item " << k;
}

}  // namespace
}  // namespace kelvane
