// The plain searches: every candidate against every other, every entity against the frame.
#include "tests/reference/reference.h"

#include <algorithm>
#include <cmath>

#include "split/geometry.h"
#include "text/numbers.h"

namespace kelvane {
namespace {

struct Edge {
  bool used = false;
  double x1, y1, x2, y2;
};

bool Meet(double ax, double ay, double bx, double by) {
  return std::fabs(ax - bx) <= kFrameMeetTolerance && std::fabs(ay - by) <= kFrameMeetTolerance;
}

bool NextCorner(double qx, double qy, const Edge& e, double& nx, double& ny) {
  if (Meet(qx, qy, e.x1, e.y1)) {
    nx = e.x2, ny = e.y2;
    return true;
  }
  if (Meet(qx, qy, e.x2, e.y2)) {
    nx = e.x1, ny = e.y1;
    return true;
  }
  return false;
}

struct Snapped {
  double x, y;
};

template <bool kColumns>
bool Precedes(const Snapped& b, const Snapped& c) {
  if constexpr (kColumns) {
    if (std::fabs(b.x - c.x) > kFrameRowTolerance) return c.x < b.x;
    return c.y > b.y;
  } else {
    if (std::fabs(b.y - c.y) > kFrameRowTolerance) return c.y > b.y;
    return c.x < b.x;
  }
}

template <bool kColumns>
void SelectionSort(std::vector<PaperFrame>& frames, std::vector<Snapped>& snapped) {
  const size_t n = frames.size();
  for (size_t p = 0; p + 1 < n; ++p) {
    size_t best = p;
    for (size_t q = p + 1; q < n; ++q)
      if (Precedes<kColumns>(snapped[best], snapped[q])) best = q;
    if (best == p) continue;
    std::swap(snapped[p], snapped[best]);
    std::swap(frames[p].minX, frames[best].minX);
    std::swap(frames[p].minY, frames[best].minY);
    std::swap(frames[p].maxX, frames[best].maxX);
    std::swap(frames[p].maxY, frames[best].maxY);
  }
}

}  // namespace

std::vector<PaperFrame> DetectPaperFramesReference(const std::vector<LineRecord>& lines, int32_t lineCount,
                                                   int numberingDirection, int32_t* rejectedFrames) {
  std::vector<Edge> hs, vs;
  const size_t count = std::min(lines.size(), size_t(std::max<int32_t>(lineCount, 0)));
  for (size_t i = 0; i < count; ++i) {
    const LineRecord& line = lines[i];
    if (!IsFrameLine(line)) continue;
    Edge e;
    e.x1 = line.startX, e.y1 = line.startY, e.x2 = line.endX, e.y2 = line.endY;
    const double w = std::fabs(e.x1 - e.x2), h = std::fabs(e.y1 - e.y2);
    if (w >= kFrameMinEdge && h <= kFrameMeetTolerance) hs.push_back(e);
    else if (w <= kFrameMeetTolerance && h >= kFrameMinEdge) vs.push_back(e);
  }
  std::vector<PaperFrame> frames;
  int32_t rejected = 0;
  for (size_t ia = 0; ia < hs.size(); ++ia) {
    Edge& a = hs[ia];
    if (a.used) continue;
    bool closed = false;
    for (size_t ib = 0; ib < vs.size() && !closed; ++ib) {
      Edge& b = vs[ib];
      double c2x, c2y;
      if (b.used || !NextCorner(a.x2, a.y2, b, c2x, c2y)) continue;
      for (size_t ic = 0; ic < hs.size() && !closed; ++ic) {
        Edge& c = hs[ic];
        double c3x, c3y;
        if (ic == ia || c.used || !NextCorner(c2x, c2y, c, c3x, c3y)) continue;
        for (size_t id = 0; id < vs.size(); ++id) {
          Edge& d = vs[id];
          double c4x, c4y;
          if (id == ib || d.used || !NextCorner(c3x, c3y, d, c4x, c4y) || !Meet(c4x, c4y, a.x1, a.y1)) continue;
          a.used = b.used = c.used = d.used = true;
          PaperFrame f;
          f.minX = a.x1, f.maxX = a.x2, f.minY = b.y1, f.maxY = b.y2;
          if (a.x1 >= a.x2) SwapReals(f.minX, f.maxX);
          if (b.y1 >= b.y2) SwapReals(f.minY, f.maxY);
          if (HasFiniteExtent(f)) frames.push_back(f);
          else ++rejected;
          closed = true;
          break;
        }
      }
    }
  }
  if (rejectedFrames) *rejectedFrames = rejected;
  OrderPaperFramesReference(frames, numberingDirection);
  return frames;
}

void OrderPaperFramesReference(std::vector<PaperFrame>& frames, int numberingDirection) {
  if (frames.size() < 2) return;
  double minWidth = frames[0].maxX - frames[0].minX, minHeight = frames[0].maxY - frames[0].minY;
  for (const PaperFrame& f : frames) {
    minWidth = std::min(minWidth, f.maxX - f.minX);
    minHeight = std::min(minHeight, f.maxY - f.minY);
  }
  const double unitX = minWidth / 2, unitY = minHeight / 2;
  std::vector<Snapped> snapped(frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    const PaperFrame& f = frames[i];
    snapped[i].x = std::trunc(((f.minX + f.maxX) / 2) / unitX) * unitX;
    snapped[i].y = std::trunc(((f.minY + f.maxY) / 2) / unitY) * unitY;
  }
  if (numberingDirection >= kNumberColumns) SelectionSort<true>(frames, snapped);
  else SelectionSort<false>(frames, snapped);
}

SheetView ExtractByWalk(const JwwDocument& doc, const std::vector<PaperFrame>& frames, size_t frame, int sheet,
                        const SheetOptions& options) {
  const PaperFrame& f = frames[frame];
  SheetView v;
  v.centerX = (f.minX + f.maxX) / 2;
  v.centerY = (f.minY + f.maxY) / 2;
  if (options.drawFrameOnFF) {
    auto lines = PlaceFrameLines(f, options.margin);
    v.extraLines.assign(lines.begin(), lines.end());
  }
  const SheetLayerFilter layers = MakeSheetLayerFilter(f, sheet);
  const int32_t n = std::min<int32_t>(doc.entityCount, int32_t(doc.order.size()));
  for (int32_t p = 0; p < n; ++p) {
    const EntityRef& e = doc.order[size_t(p)];
    if (e.kind >= kLine && e.kind <= kBlockInsert && EntityPassesLayers(doc, e, layers) && EntityMeetsFrame(doc, e, f))
      v.order.push_back(e);
  }
  return v;
}

int32_t FrameOfPointReference(const std::vector<PaperFrame>& frames, double x, double y) {
  for (size_t j = 0; j < frames.size(); ++j) {
    const PaperFrame& f = frames[j];
    if (PointInRect(x, y, f.minX, f.minY, f.maxX, f.maxY) == kInsideRect) return int32_t(j);
  }
  return -1;
}

}  // namespace kelvane
