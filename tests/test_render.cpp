// The display list against real drawings: text layout and arc geometry as Jw_cad stores them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "jww/document.h"
#include "render/render.h"
#include "render/text_layout.h"
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

}  // namespace
}  // namespace kelvane
