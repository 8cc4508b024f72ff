// Tests of paper frame detection and numbering order, with the indexed search checked against the plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "split/frames.h"
#include "tests/reference/reference.h"

namespace kelvane {
namespace {

struct Rect {
  double minX, minY, maxX, maxY;
  bool operator==(const Rect& o) const {
    // Bit for bit: the two searches must agree exactly, signed zeros included.
    return std::memcmp(this, &o, sizeof(Rect)) == 0;
  }
};

std::ostream& operator<<(std::ostream& os, const Rect& r) {
  return os << "[" << r.minX << "," << r.minY << " .. " << r.maxX << "," << r.maxY << "]";
}

std::vector<Rect> RectsOf(const std::vector<PaperFrame>& frames) {
  std::vector<Rect> r;
  for (const PaperFrame& f : frames) r.push_back(Rect{f.minX, f.minY, f.maxX, f.maxY});
  return r;
}

LineRecord FrameLine(double x1, double y1, double x2, double y2) {
  LineRecord l{};
  l.attr.penColor = kFramePenColor;
  l.attr.penStyle = kFramePenStyle;
  l.attr.penWidth = kFramePenWidth;
  l.startX = x1;
  l.startY = y1;
  l.endX = x2;
  l.endY = y2;
  return l;
}

// Swaps the line's ends. The record is packed, so its fields are moved by value, never bound
// to references.
void Flip(LineRecord& l) {
  const double x = l.startX, y = l.startY;
  l.startX = l.endX;
  l.startY = l.endY;
  l.endX = x;
  l.endY = y;
}

// The four edges of a rectangle: bottom, right, top, left, each drawn counter-clockwise unless
// its bit in `reversed` is set.
std::array<LineRecord, 4> RectLines(const Rect& r, unsigned reversed = 0) {
  std::array<LineRecord, 4> e = {
      FrameLine(r.minX, r.minY, r.maxX, r.minY),
      FrameLine(r.maxX, r.minY, r.maxX, r.maxY),
      FrameLine(r.maxX, r.maxY, r.minX, r.maxY),
      FrameLine(r.minX, r.maxY, r.minX, r.minY),
  };
  for (int i = 0; i < 4; ++i) {
    if ((reversed >> i) & 1) Flip(e[size_t(i)]);
  }
  return e;
}

void AddRect(std::vector<LineRecord>& lines, const Rect& r, unsigned reversed = 0) {
  for (const LineRecord& l : RectLines(r, reversed)) lines.push_back(l);
}

// Both searches, checked to agree, for the cases written by hand.
std::vector<Rect> Detect(const std::vector<LineRecord>& lines, int direction = kNumberRows) {
  const auto count = int32_t(lines.size());
  std::vector<Rect> fast = RectsOf(DetectPaperFrames(lines, count, direction));
  std::vector<Rect> plain = RectsOf(DetectPaperFramesReference(lines, count, direction));
  EXPECT_EQ(fast, plain);
  return fast;
}

// A frame of the given size centred at (cx, cy).
Rect Centred(double cx, double cy, double w, double h) { return Rect{cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2}; }

const Rect kSheet{10, -20, 307, 190};

// ---- Finding rectangles -----------------------------------------------------------------------

TEST(FrameDetection, FoundWhateverDirectionAndOrderTheLinesHave) {
  std::array<int, 4> order = {0, 1, 2, 3};
  int combinations = 0;
  do {
    for (unsigned reversed = 0; reversed < 16; ++reversed) {
      const auto edges = RectLines(kSheet, reversed);
      std::vector<LineRecord> lines;
      for (int i : order) lines.push_back(edges[size_t(i)]);
      ASSERT_EQ(Detect(lines), std::vector<Rect>{kSheet}) << "reversed " << reversed;
      ++combinations;
    }
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(combinations, 24 * 16);
}

TEST(FrameDetection, NothingToFind) {
  EXPECT_TRUE(Detect({}).empty());
  std::vector<LineRecord> lines;
  AddRect(lines, kSheet);
  lines.pop_back();  // three sides only
  EXPECT_TRUE(Detect(lines).empty());
}

TEST(FrameDetection, CornersMeetWithin1e8) {
  struct Gap {
    double dx, dy;
    bool found;
  };
  const Gap gaps[] = {
      {0.0, 0.0, true},     {0.5e-8, 0.0, true},  {0.0, -0.9e-8, true}, {0.9e-8, 0.9e-8, true},
      {1.1e-8, 0.0, false}, {0.0, 1.1e-8, false}, {-3e-8, 0.0, false},  {0.0, -1e-6, false},
  };
  // Move one end of one edge: the bottom edge's second end (x only, to stay horizontal) and the
  // right edge's first end (y only, to stay vertical), so every corner and both axes are tried.
  for (const Gap& g : gaps) {
    for (int corner = 0; corner < 4; ++corner) {
      auto edges = RectLines(kSheet);
      LineRecord& horizontal = edges[corner < 2 ? 0 : 2];
      LineRecord& vertical = edges[corner % 2 == 0 ? 1 : 3];
      if (corner < 2) {
        horizontal.endX += g.dx;
        vertical.startY += g.dy;
      } else {
        horizontal.startX += g.dx;
        vertical.endY += g.dy;
      }
      std::vector<LineRecord> lines(edges.begin(), edges.end());
      EXPECT_EQ(Detect(lines).size(), g.found ? 1u : 0u) << "corner " << corner << " dx " << g.dx << " dy " << g.dy;
    }
  }
}

TEST(FrameDetection, GapOfExactly1e8StillMeets) {
  // At the origin the gap is exactly the tolerance, with no rounding in the difference.
  for (double gap : {1e-8, -1e-8}) {
    for (bool alongX : {false, true}) {
      auto edges = RectLines(Rect{0, 0, 50, 40});
      // The left edge ends where the bottom edge starts: move one of them by the gap.
      auto move = [&](double to) {
        if (alongX) {
          edges[0].startX = to;
        } else {
          edges[3].endY = to;
        }
      };
      move(gap);
      EXPECT_EQ(Detect(std::vector<LineRecord>(edges.begin(), edges.end())).size(), 1u) << gap << alongX;
      move(2 * gap);
      EXPECT_TRUE(Detect(std::vector<LineRecord>(edges.begin(), edges.end())).empty()) << gap << alongX;
    }
  }
}

TEST(FrameDetection, OnlyColourTypeAndWidthMarkFrameLines) {
  for (int edge = 0; edge < 4; ++edge) {
    for (int field = 0; field < 3; ++field) {
      auto edges = RectLines(kSheet);
      LineRecord& l = edges[size_t(edge)];
      if (field == 0) l.attr.penColor = 8;
      if (field == 1) l.attr.penStyle = 18;
      if (field == 2) l.attr.penWidth = 0;
      EXPECT_TRUE(Detect(std::vector<LineRecord>(edges.begin(), edges.end())).empty()) << edge << "/" << field;
    }
  }
  auto edges = RectLines(kSheet);
  edges[0].attr.group = 7;
  edges[1].attr.layer = 15;
  edges[2].attr.layerGroup = 3;
  edges[3].attr.flags = 0xFFFF;
  EXPECT_EQ(Detect(std::vector<LineRecord>(edges.begin(), edges.end())).size(), 1u);
}

TEST(FrameDetection, EveryEdgeMustBeOneStraightLineOfAtLeastOneUnit) {
  // One edge drawn as two pieces.
  std::vector<LineRecord> split;
  auto edges = RectLines(kSheet);
  split.push_back(FrameLine(kSheet.minX, kSheet.minY, 150, kSheet.minY));
  split.push_back(FrameLine(150, kSheet.minY, kSheet.maxX, kSheet.minY));
  split.insert(split.end(), edges.begin() + 1, edges.end());
  EXPECT_TRUE(Detect(split).empty());

  // Edges exactly one unit long are enough; a hair shorter is not.
  std::vector<LineRecord> unit;
  AddRect(unit, Rect{-0.5, 2.0, 0.5, 3.0});
  EXPECT_EQ(Detect(unit).size(), 1u);
  std::vector<LineRecord> tooShort;
  AddRect(tooShort, Rect{-0.5, 2.0, 0.5, 2.9999999});
  EXPECT_TRUE(Detect(tooShort).empty());

  // A bottom edge that rises by 2e-8 is slanted; the right edge starts exactly at its raised
  // end, so only the slant keeps the rectangle out.
  std::vector<LineRecord> slanted;
  edges = RectLines(kSheet);
  edges[0].endY += 2e-8;
  edges[1].startY = edges[0].endY;
  slanted.assign(edges.begin(), edges.end());
  EXPECT_TRUE(Detect(slanted).empty());
  edges[0].endY = edges[1].startY = kSheet.minY + 0.5e-8;  // a rise within 1e-8 is still level
  slanted.assign(edges.begin(), edges.end());
  EXPECT_EQ(Detect(slanted).size(), 1u);
}

TEST(FrameDetection, OnlyTheFirstLineCountLinesAreLookedAt) {
  std::vector<LineRecord> lines;
  AddRect(lines, kSheet);
  AddRect(lines, Rect{400, 0, 600, 100});
  EXPECT_EQ(RectsOf(DetectPaperFrames(lines, 8, kNumberRows)).size(), 2u);
  EXPECT_EQ(RectsOf(DetectPaperFrames(lines, 7, kNumberRows)), std::vector<Rect>{kSheet});
  EXPECT_EQ(RectsOf(DetectPaperFramesReference(lines, 7, kNumberRows)), std::vector<Rect>{kSheet});
  EXPECT_TRUE(DetectPaperFrames(lines, 0, kNumberRows).empty());
  EXPECT_TRUE(DetectPaperFrames(lines, -3, kNumberRows).empty());
  EXPECT_EQ(DetectPaperFrames(lines, 1000, kNumberRows).size(), 2u);
}

TEST(FrameDetection, IdenticalFramesGiveOneSheetEach) {
  std::vector<LineRecord> lines;
  AddRect(lines, kSheet);
  AddRect(lines, kSheet, 0b0101);
  EXPECT_EQ(Detect(lines), (std::vector<Rect>{kSheet, kSheet}));
}

TEST(FrameDetection, SharedEdgeServesOnlyTheFrameFoundFirst) {
  // Left [0,100] and right [100,200] share the line x = 100. The walk starts at the right frame's
  // bottom (drawn leftwards), climbs the shared edge, tries the left frame's top first (listed
  // first) and fails to close, then closes over the right frame's top.
  std::vector<LineRecord> lines = {
      FrameLine(200, 0, 100, 0),    // right bottom
      FrameLine(0, 50, 100, 50),    // left top
      FrameLine(100, 50, 200, 50),  // right top
      FrameLine(0, 0, 100, 0),      // left bottom
      FrameLine(0, 0, 0, 50),       // left side
      FrameLine(100, 0, 100, 50),   // shared
      FrameLine(200, 50, 200, 0),   // right side
  };
  EXPECT_EQ(Detect(lines), std::vector<Rect>{Rect({100, 0, 200, 50})});
  // With the left frame's bottom listed first, the left frame takes the shared edge instead.
  std::rotate(lines.begin(), lines.begin() + 3, lines.begin() + 4);
  EXPECT_EQ(Detect(lines), std::vector<Rect>{Rect({0, 0, 100, 50})});
}

TEST(FrameDetection, SheetFieldsStartEmpty) {
  std::vector<LineRecord> lines;
  AddRect(lines, kSheet);
  const std::vector<PaperFrame> frames = DetectPaperFrames(lines, int32_t(lines.size()), kNumberRows);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].sheetCount, 0);
  for (int s = 0; s < kMaxSheetsPerFrame; ++s) {
    EXPECT_TRUE(frames[0].sheetNames[size_t(s)].empty());
    EXPECT_TRUE(frames[0].sheetLayerLists[size_t(s)].empty());
  }
}

// ---- Numbering order ------------------------------------------------------------------------

std::vector<Rect> Ordered(const std::vector<Rect>& stored, int direction) {
  std::vector<LineRecord> lines;
  unsigned reversed = 0;
  for (const Rect& r : stored) AddRect(lines, r, reversed++ % 16);
  return Detect(lines, direction);
}

TEST(FrameOrder, RowsAndColumnsOfFourSheets) {
  const Rect at150 = Centred(150, 105, 297, 210);
  const Rect at750 = Centred(750, 105, 297, 210);
  const Rect at450 = Centred(450, 105, 297, 210);
  const Rect below150 = Centred(150, -195, 297, 210);
  const std::vector<Rect> stored = {at150, at750, at450, below150};
  EXPECT_EQ(Ordered(stored, kNumberRows), (std::vector<Rect>{at150, at450, at750, below150}));
  EXPECT_EQ(Ordered(stored, kNumberColumns), (std::vector<Rect>{at150, below150, at450, at750}));
  // The stored order does not matter.
  const std::vector<Rect> reversed(stored.rbegin(), stored.rend());
  EXPECT_EQ(Ordered(reversed, kNumberRows), (std::vector<Rect>{at150, at450, at750, below150}));
  EXPECT_EQ(Ordered(reversed, kNumberColumns), (std::vector<Rect>{at150, below150, at450, at750}));
}

TEST(FrameOrder, GridComesFromTheSmallestFrame) {
  // 100 x 100 sheets give a 50-unit grid; the large sheet alone would give 500.
  const Rect large = Centred(5000, -5000, 1000, 1000);
  // Centres 45 and 55 straddle the grid line at 50: two rows, the higher one first.
  const Rect low = Centred(0, 45, 100, 100);
  const Rect high = Centred(500, 55, 100, 100);
  EXPECT_EQ(Ordered({low, high, large}, kNumberRows), (std::vector<Rect>{high, low, large}));
  // Centres 10 and 40 share the cell [0, 50): one row, left to right.
  const Rect left = Centred(0, 10, 100, 100);
  const Rect right = Centred(500, 40, 100, 100);
  EXPECT_EQ(Ordered({right, large, left}, kNumberRows), (std::vector<Rect>{left, right, large}));

  // The same in columns: x centres 45 and 55 are two columns, 10 and 40 one.
  const Rect c45 = Centred(45, 0, 100, 100);
  const Rect c55 = Centred(55, 500, 100, 100);
  EXPECT_EQ(Ordered({c55, c45, large}, kNumberColumns), (std::vector<Rect>{c45, c55, large}));
  const Rect c10 = Centred(10, 0, 100, 100);
  const Rect c40 = Centred(40, 500, 100, 100);
  EXPECT_EQ(Ordered({c10, large, c40}, kNumberColumns), (std::vector<Rect>{c40, c10, large}));
}

TEST(FrameOrder, CellAtZeroTakesBothSidesOfTheAxis) {
  // Centres at y = -30 and +30 both truncate to 0: one row, ordered by x.
  const Rect belowAxis = Centred(0, -30, 100, 100);
  const Rect aboveAxis = Centred(500, 30, 100, 100);
  EXPECT_EQ(Ordered({aboveAxis, belowAxis}, kNumberRows), (std::vector<Rect>{belowAxis, aboveAxis}));
  // Columns: x centres -30 and +30 are one column, ordered from the top.
  const Rect leftOfAxis = Centred(-30, -500, 100, 100);
  const Rect rightOfAxis = Centred(30, 500, 100, 100);
  EXPECT_EQ(Ordered({leftOfAxis, rightOfAxis}, kNumberColumns), (std::vector<Rect>{rightOfAxis, leftOfAxis}));
  // Beyond one grid step below zero the next cell begins.
  const Rect lower = Centred(0, -60, 100, 100);
  EXPECT_EQ(Ordered({lower, aboveAxis}, kNumberRows), (std::vector<Rect>{aboveAxis, lower}));
}

TEST(FrameOrder, ExchangeMovesTiedFramesBehindEachOther) {
  // first and second snap to the same centre; top precedes both. The first pass exchanges the
  // first frame with top, which puts first behind second.
  const Rect first = Centred(50, 50, 100, 100);
  const Rect second = Centred(51, 52, 100, 100);
  const Rect top = Centred(50, 350, 100, 100);
  EXPECT_EQ(Ordered({first, second, top}, kNumberRows), (std::vector<Rect>{top, second, first}));
  // In columns the leftmost takes the lead.
  const Rect left = Centred(-250, 50, 100, 100);
  EXPECT_EQ(Ordered({first, second, left}, kNumberColumns), (std::vector<Rect>{left, second, first}));
  // Without an exchange at the first position the tie keeps the stored order.
  EXPECT_EQ(Ordered({top, first, second}, kNumberRows), (std::vector<Rect>{top, first, second}));
}

// ---- Indexed search against the plain search -----------------------------------------------

LineRecord Reversed(LineRecord l) {
  Flip(l);
  return l;
}

// Small layouts crowded onto a lattice so that corners are shared, frames share edges or lie on
// top of each other, stray lines meet corners, and end points sit on both sides of cell borders
// within and beyond the meeting tolerance.
std::vector<LineRecord> RandomLayout(uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto pick = [&](int n) { return int(rng() % uint64_t(n)); };
  auto chance = [&](int percent) { return pick(100) < percent; };

  // Lattices through zero, through cell borders (at whole numbers less the shift), far out and
  // beyond the clamped cells.
  const double border = -kEndPointCellShift;
  const double origins[] = {0.0,          -1e-9,         3e-9,          -2.0,        7.5,    1e6,
                            -12345.0,     2147483646.0,  -4.0e9,        1e-300,      border, border + 3.0,
                            border - 7.0, border + 1e-9, border - 1e-9, border + 1e6};
  const double steps[] = {1.0, 1.0, 2.0, 0.5, 1.5, 3.0, 1.0 + 1e-9, 0.25};
  const double nudges[] = {0.5e-8, -0.5e-8, 0.99e-8, -0.99e-8, 1e-8, -1e-8, 1.01e-8, -1.01e-8,
                           2e-8,   -2e-8,   1e-9,    -1e-12,   4e-8, 1e-16, -1e-300, 0.3};
  const double origin = origins[pick(std::size(origins))];
  const double step = steps[pick(std::size(steps))];
  const int span = 2 + pick(5);
  auto lattice = [&](int i) { return origin + double(i) * step; };
  auto nudged = [&](double v) { return chance(12) ? v + nudges[pick(std::size(nudges))] : v; };

  std::vector<LineRecord> lines;
  const int frames = pick(10);
  std::vector<LineRecord> edgesSoFar;
  for (int f = 0; f < frames; ++f) {
    const int i0 = pick(span) - span / 2;
    const int j0 = pick(span) - span / 2;
    const int i1 = i0 + 1 + pick(3);
    const int j1 = j0 + 1 + pick(3);
    Rect r{lattice(i0), lattice(j0), lattice(i1), lattice(j1)};
    auto edges = RectLines(r, unsigned(pick(16)));
    for (LineRecord& e : edges) {
      if (chance(8)) continue;  // leave the edge to a neighbour that may share it
      e.startX = nudged(e.startX);
      e.startY = nudged(e.startY);
      e.endX = nudged(e.endX);
      e.endY = nudged(e.endY);
      lines.push_back(e);
      if (chance(10)) lines.push_back(chance(50) ? e : Reversed(e));  // a duplicate
    }
  }
  // Stray frame lines from lattice points, along the axes, some short, some slanted.
  const int strays = pick(8);
  for (int s = 0; s < strays; ++s) {
    const double x = lattice(pick(span) - span / 2);
    const double y = lattice(pick(span) - span / 2);
    const double len = double(1 + pick(3)) * step;
    LineRecord l = chance(50) ? FrameLine(x, y, x + len, y) : FrameLine(x, y, x, y - len);
    if (chance(15)) l.endY += 3e-8;  // slanted when horizontal
    if (chance(10)) l.endX = l.startX + 0.75;
    l.endX = nudged(l.endX);
    l.endY = nudged(l.endY);
    lines.push_back(l);
  }
  // A few copies with other attributes, which must be ignored.
  for (size_t i = 0, n = lines.size(); i < n; ++i) {
    if (chance(5)) {
      LineRecord other = lines[i];
      other.attr.penWidth = 100;
      lines.push_back(other);
    }
  }
  std::shuffle(lines.begin(), lines.end(), rng);
  for (LineRecord& l : lines) {
    if (chance(30)) l = Reversed(l);
  }
  return lines;
}

TEST(FrameDetectionDifferential, IndexedSearchFindsWhatThePlainSearchFinds) {
  size_t framesFound = 0;
  size_t layoutsWithFrames = 0;
  size_t fewerThanDrawn = 0;
  for (uint64_t seed = 1; seed <= 4000; ++seed) {
    const std::vector<LineRecord> lines = RandomLayout(seed);
    const auto count = int32_t(lines.size());
    for (int direction : {kNumberRows, kNumberColumns}) {
      const std::vector<Rect> fast = RectsOf(DetectPaperFrames(lines, count, direction));
      const std::vector<Rect> plain = RectsOf(DetectPaperFramesReference(lines, count, direction));
      ASSERT_EQ(fast, plain) << "seed " << seed << " direction " << direction;
      if (direction == kNumberRows) {
        framesFound += fast.size();
        layoutsWithFrames += fast.empty() ? 0 : 1;
        // Every layout draws at most lines/4 frames; fewer found means edges were contested.
        fewerThanDrawn += fast.size() * 4 < lines.size() ? 1 : 0;
      }
    }
  }
  // The generator must exercise the search, not just produce empty drawings.
  EXPECT_GT(framesFound, 4000u);
  EXPECT_GT(layoutsWithFrames, 2000u);
  EXPECT_GT(fewerThanDrawn, 1000u);
}

TEST(FrameDetectionDifferential, LargerCrowdedLayouts) {
  // Several layouts merged: hundreds of lines on one lattice, many contested corners.
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    std::vector<LineRecord> lines;
    for (uint64_t part = 0; part < 12; ++part) {
      const std::vector<LineRecord> more = RandomLayout(seed * 1000 + part);
      lines.insert(lines.end(), more.begin(), more.end());
    }
    std::mt19937_64 rng(seed);
    std::shuffle(lines.begin(), lines.end(), rng);
    const auto count = int32_t(lines.size());
    ASSERT_EQ(RectsOf(DetectPaperFrames(lines, count, kNumberRows)),
              RectsOf(DetectPaperFramesReference(lines, count, kNumberRows)))
        << "seed " << seed;
  }
}

// Many copies of each side of a rectangle with one side cut short, so that every corner but one
// meets many lines and no loop closes, beside frames that do close. The copies may be moved
// within the meeting tolerance, so that no two corners are equal.
std::vector<LineRecord> OpenLoops(int copies, int shortSide, double jitter, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> nudge(-jitter, jitter);
  std::vector<LineRecord> lines;
  for (int k = 0; k < copies; ++k) {
    auto edges = RectLines(kSheet, unsigned(rng() % 16));
    LineRecord& cut = edges[size_t(shortSide)];
    if (shortSide % 2 == 0) cut.endX += cut.endX > cut.startX ? -7 : 7;  // a horizontal one ends early
    else cut.endY += cut.endY > cut.startY ? -7 : 7;
    for (LineRecord& e : edges) {
      const bool horizontal = e.startY == e.endY;
      const double dx = nudge(rng), dy = nudge(rng);
      e.startX += dx, e.endX += dx;  // moved whole, so it stays level or upright
      e.startY += dy, e.endY += dy;
      if (!horizontal) e.endX = e.startX;
      lines.push_back(e);
    }
  }
  for (int f = 0; f < 3; ++f) AddRect(lines, Rect{1000.0 + 400 * f, 0, 1297.0 + 400 * f, 210});
  std::shuffle(lines.begin(), lines.end(), rng);
  return lines;
}

TEST(FrameDetectionDifferential, LinesThatMeetButNeverCloseMatchThePlainSearchAndStayCheap) {
  for (int shortSide = 0; shortSide < 4; ++shortSide) {
    for (double jitter : {0.0, 0.4e-8}) {
      for (int copies : {1, 2, 5, 12}) {
        const auto lines = OpenLoops(copies, shortSide, jitter, uint64_t(copies * 10 + shortSide));
        EXPECT_EQ(Detect(lines).size(), 3u) << shortSide << "/" << jitter << "/" << copies;
      }
      // 12,000 lines: the plain search would try about 3000^3 walks for each of them. Note: copies
      // moved within the tolerance that meet at the closing corner are still costly.
      const auto many = OpenLoops(3000, shortSide, 0.0, 99);
      EXPECT_EQ(DetectPaperFrames(many, int32_t(many.size()), kNumberRows).size(), 3u) << shortSide;
    }
  }
}

TEST(FrameDetection, LoopsWithoutAFiniteExtentTakeTheirLinesButAreNoFrames) {
  const double big = std::numeric_limits<double>::max();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<LineRecord> lines;
  AddRect(lines, Rect{-1e308, -1e308, 1e308, 1e308});  // its size overflows
  AddRect(lines, Rect{1e308, 0, big, 10});              // its centre overflows
  AddRect(lines, kSheet);
  AddRect(lines, Rect{1e300, 1e300, 1e300 + 1e290, 1e300 + 1e290});  // huge but finite: a frame
  lines.push_back(FrameLine(nan, 0, nan, 50));                         // lines that never meet
  lines.push_back(FrameLine(0, inf, 40, inf));
  lines.push_back(FrameLine(-inf, 3, inf, 3));
  for (int direction : {kNumberRows, kNumberColumns}) {
    int32_t rejected = -1, rejectedPlain = -1;
    const auto frames = RectsOf(DetectPaperFrames(lines, int32_t(lines.size()), direction, &rejected));
    const auto plain = RectsOf(DetectPaperFramesReference(lines, int32_t(lines.size()), direction, &rejectedPlain));
    EXPECT_EQ(frames, plain);
    EXPECT_EQ(rejected, 2);
    EXPECT_EQ(rejectedPlain, 2);
    ASSERT_EQ(frames.size(), 2u);
    for (const Rect& r : frames) EXPECT_TRUE(std::isfinite(r.maxX - r.minX) && std::isfinite((r.minX + r.maxX) / 2));
  }
  // A frame that shares its edges with an overflowing loop found first gets none of them.
  std::vector<LineRecord> shared;
  AddRect(shared, Rect{-1e308, 0, 1e308, 10});
  AddRect(shared, Rect{-1e308, 0, 1e308, 10});
  int32_t rejected = 0;
  EXPECT_TRUE(DetectPaperFrames(shared, int32_t(shared.size()), kNumberRows, &rejected).empty());
  EXPECT_EQ(rejected, 2);
}

// ---- Fast numbering order against the step-by-step selection sort ---------------------------

std::vector<PaperFrame> FramesOf(const std::vector<Rect>& rects) {
  std::vector<PaperFrame> frames(rects.size());
  for (size_t i = 0; i < rects.size(); ++i) {
    frames[i].minX = rects[i].minX;
    frames[i].minY = rects[i].minY;
    frames[i].maxX = rects[i].maxX;
    frames[i].maxY = rects[i].maxY;
  }
  return frames;
}

TEST(FrameOrderDifferential, RankedOrderMatchesSelectionSort) {
  std::mt19937_64 rng(20240611);
  const double origins[] = {0.0, -50.0, 1e7, -3e12, 1e300};
  for (int trial = 0; trial < 3000; ++trial) {
    const size_t n = trial < 2990 ? rng() % 40 : 600;
    const double origin = origins[rng() % std::size(origins)];
    const double unit = double(1 + rng() % 4) * 25.0;
    std::vector<Rect> rects;
    for (size_t i = 0; i < n; ++i) {
      // Centres on a coarse lattice with jitter: plenty of equal snapped centres and ties.
      const double w = unit * double(2 + rng() % 3);
      const double h = unit * double(2 + rng() % 3);
      const double cx = origin + double(int(rng() % 9) - 4) * unit + double(rng() % 5);
      const double cy = origin + double(int(rng() % 9) - 4) * unit + double(rng() % 5);
      rects.push_back(Centred(cx, cy, w, h));
    }
    if (n > 0 && trial % 50 == 0) rects[0] = Rect{-0.0, -0.0, 1.0, 1.0};
    if (n > 1 && trial % 70 == 0) rects[1] = Rect{1e308, 0.0, 1.7e308, 10.0};     // centre overflows
    if (n > 2 && trial % 90 == 0) rects[2] = Rect{-1.7e308, 0.0, 1.7e308, 10.0};  // width overflows: NaN
    for (int direction : {kNumberRows, kNumberColumns}) {
      std::vector<PaperFrame> fast = FramesOf(rects);
      std::vector<PaperFrame> plain = FramesOf(rects);
      OrderPaperFrames(fast, direction);
      OrderPaperFramesReference(plain, direction);
      ASSERT_EQ(RectsOf(fast), RectsOf(plain)) << "trial " << trial << " direction " << direction;
    }
  }
}

}  // namespace
}  // namespace kelvane
