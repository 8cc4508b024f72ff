// Hostile drawings beside their benign twins: frame search, name texts and sheet membership must
// cost about the same whatever the coordinates. Each line gives both times and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "jww/builder.h"
#include "split/extract.h"
#include "split/frames.h"
#include "split/sheetnames.h"

using namespace kelvane;
using Clock = std::chrono::steady_clock;

namespace {

Attr FrameAttr() {
  Attr a;
  a.penColor = kFramePenColor, a.penStyle = kFramePenStyle, a.penWidth = kFramePenWidth;
  return a;
}

void FrameLines(EntityLists& l, double x, double y, double w, double h) {
  const Attr a = FrameAttr();
  AddLine(l, x, y, x + w, y, a);
  AddLine(l, x + w, y, x + w, y + h, a);
  AddLine(l, x + w, y + h, x, y + h, a);
  AddLine(l, x, y + h, x, y, a);
}

// n A3 frames, 100 to a row.
void FrameGrid(JwwDocument& doc, int n) {
  for (int f = 0; f < n; ++f) FrameLines(doc, (f % 100) * 450.0, (f / 100) * -350.0, 420, 297);
}

// What a dry run does with a drawing before writing: frames, names, every sheet's entities.
size_t Split(const JwwDocument& doc) {
  std::vector<PaperFrame> frames = DetectPaperFrames(doc.lines, doc.LineCount(), kNumberRows);
  CollectSheetNames(frames, doc);
  SheetExtractor x(doc, frames);
  size_t entities = 0;
  for (size_t f = 0; f < frames.size(); ++f)
    for (int s = 0; s < frames[f].sheetCount; ++s) entities += x.Extract(f, s, {}).order.size();
  return entities + frames.size();
}

double Best(const std::function<size_t()>& run, size_t& result) {
  double best = 1e9;
  for (int r = 0; r < 3; ++r) {
    const auto t0 = Clock::now();
    result = run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

void Report(const char* what, const std::function<void(JwwDocument&)>& hostile,
            const std::function<void(JwwDocument&)>& benign) {
  JwwDocument h, b;
  InitDrawing(h, 600, false);
  InitDrawing(b, 600, false);
  hostile(h);
  benign(b);
  h.entityCount = int32_t(h.order.size());
  b.entityCount = int32_t(b.order.size());
  size_t rh = 0, rb = 0;
  const double th = Best([&] { return Split(h); }, rh);
  const double tb = Best([&] { return Split(b); }, rb);
  std::printf("%-58s hostile %8.3f s  benign %8.3f s  ratio %5.2f (goal: at most 2)\n", what, th, tb, th / tb);
}

JwwString NameText(int i) { return JwwString::Sjis("\x81\x79\x96\xBC\x81\x7A" "S" + std::to_string(i)); }

// 300 copies of each side of one rectangle whose left side stops short of the top: every
// corner but one meets 300 lines, and no loop closes.
void LinesThatNeverClose(JwwDocument& d) {
  const Attr a = FrameAttr();
  for (int k = 0; k < 300; ++k) {
    AddLine(d, 0, 0, 420, 0, a);
    AddLine(d, 420, 0, 420, 297, a);
    AddLine(d, 420, 297, 0, 297, a);
    AddLine(d, 0, 290, 0, 0, a);
  }
}

// 80,000 lines below 20,000 frames, at x.
auto LinesBesideFrames(double x) {
  return [x](JwwDocument& d) {
    FrameGrid(d, 20000);
    for (int i = 0; i < 80000; ++i) AddLine(d, x, -80000.0 - i, x, -79999.0 - i);
  };
}

// 20,000 frames with 80,000 lines inside them and one more frame: a closed loop from -1e308 to
// 1e308 when `huge`, else an ordinary one.
auto LoopAmongFrames(bool huge) {
  return [huge](JwwDocument& d) {
    FrameGrid(d, 20000);
    if (huge) {
      const Attr a = FrameAttr();
      AddLine(d, -1e308, -1e308, 1e308, -1e308, a);
      AddLine(d, 1e308, -1e308, 1e308, 1e308, a);
      AddLine(d, 1e308, 1e308, -1e308, 1e308, a);
      AddLine(d, -1e308, 1e308, -1e308, -1e308, a);
    } else {
      FrameLines(d, 100 * 450.0, 0, 420, 297);
    }
    for (int i = 0; i < 80000; ++i) {
      const int f = i % 20000;
      const double x = (f % 100) * 450.0 + 10 + (i / 20000) * 50, y = (f / 100) * -350.0 + 10;
      AddLine(d, x, y, x + 30, y + 30);
    }
  };
}

// 80,000 name texts with 20,000 frames, outside every frame or placed inside them (four a frame).
auto NameTexts(bool outside) {
  return [outside](JwwDocument& d) {
    FrameGrid(d, 20000);
    Attr a;
    a.penColor = 9;
    for (int i = 0; i < 80000; ++i) {
      const int f = i % 20000;
      const double x = (f % 100) * 450.0 + 10 + (i / 20000) * 50, y = (f / 100) * -350.0 + 10;
      AddText(d, x, outside ? y - 30 : y, NameText(i), a);  // outside: in the gap between rows
    }
  };
}

}  // namespace

int main() {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  // Each against its twin of the same size that does no harm.
  Report("1,200 frame lines that meet but never close", LinesThatNeverClose,
         [](JwwDocument& d) { FrameGrid(d, 300); });
  Report("80,000 lines with NaN coordinates beside 20,000 frames", LinesBesideFrames(kNaN), LinesBesideFrames(100.0));
  Report("one frame of +-1e308 among 20,000 frames", LoopAmongFrames(true), LoopAmongFrames(false));
  Report("80,000 name texts outside 20,000 frames", NameTexts(true), NameTexts(false));
  return 0;
}
