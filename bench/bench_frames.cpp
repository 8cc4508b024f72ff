// Benchmarks of paper frame detection on large drawings: the indexed search, the plain one and the ordering.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "split/frames.h"
#include "tests/reference/reference.h"

namespace kelvane {
namespace {

LineRecord FrameLine(double x1, double y1, double x2, double y2, bool reversed) {
  LineRecord l{};
  l.attr.penColor = kFramePenColor;
  l.attr.penStyle = kFramePenStyle;
  l.attr.penWidth = kFramePenWidth;
  if (reversed) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  l.startX = x1;
  l.startY = y1;
  l.endX = x2;
  l.endY = y2;
  return l;
}

// n A3 sheets on a square grid with gaps, lines stored in random order and drawn either way.
std::vector<LineRecord> SheetGrid(int n) {
  std::mt19937_64 rng(uint64_t(n) * 7919);
  const int columns = int(std::ceil(std::sqrt(double(n))));
  std::vector<LineRecord> lines;
  lines.reserve(size_t(n) * 4);
  for (int i = 0; i < n; ++i) {
    const double x0 = (i % columns) * 500.0 - 2000.0;
    const double y0 = -(i / columns) * 400.0 + 1000.0;
    const double x1 = x0 + 420.0;
    const double y1 = y0 + 297.0;
    lines.push_back(FrameLine(x0, y0, x1, y0, rng() & 1));
    lines.push_back(FrameLine(x1, y0, x1, y1, rng() & 1));
    lines.push_back(FrameLine(x1, y1, x0, y1, rng() & 1));
    lines.push_back(FrameLine(x0, y1, x0, y0, rng() & 1));
  }
  std::shuffle(lines.begin(), lines.end(), rng);
  return lines;
}

void BM_DetectPaperFrames(benchmark::State& state) {
  const int n = int(state.range(0));
  const std::vector<LineRecord> lines = SheetGrid(n);
  for (auto _ : state) {
    std::vector<PaperFrame> frames = DetectPaperFrames(lines, int32_t(lines.size()), kNumberRows);
    if (frames.size() != size_t(n)) state.SkipWithError("wrong frame count");
    benchmark::DoNotOptimize(frames.data());
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_DetectPaperFrames)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// The cost of the frame records alone, for comparison.
void BM_MakeFrameRecords(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<PaperFrame> frames(size_t(state.range(0)));
    benchmark::DoNotOptimize(frames.data());
  }
}
BENCHMARK(BM_MakeFrameRecords)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_DetectPaperFramesReference(benchmark::State& state) {
  const int n = int(state.range(0));
  const std::vector<LineRecord> lines = SheetGrid(n);
  for (auto _ : state) {
    std::vector<PaperFrame> frames = DetectPaperFramesReference(lines, int32_t(lines.size()), kNumberRows);
    benchmark::DoNotOptimize(frames.data());
  }
}
BENCHMARK(BM_DetectPaperFramesReference)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

std::vector<PaperFrame> ShuffledFrames(int n) {
  std::vector<LineRecord> lines = SheetGrid(n);
  std::vector<PaperFrame> frames = DetectPaperFrames(lines, int32_t(lines.size()), kNumberRows);
  std::mt19937_64 rng(42);
  std::shuffle(frames.begin(), frames.end(), rng);
  return frames;
}

// Orders the shuffled frames with `Order`: the product's way or the reference's.
template <void (*Order)(std::vector<PaperFrame>&, int)>
void TimeOrdering(benchmark::State& state) {
  const std::vector<PaperFrame> frames = ShuffledFrames(int(state.range(0)));
  std::vector<PaperFrame> work = frames;
  for (auto _ : state) {
    // Copy-assigned while paused so neither copying nor freeing the records is timed.
    state.PauseTiming();
    work = frames;
    state.ResumeTiming();
    Order(work, kNumberColumns);
    benchmark::DoNotOptimize(work.data());
  }
}

void BM_OrderPaperFrames(benchmark::State& state) { TimeOrdering<OrderPaperFrames>(state); }
BENCHMARK(BM_OrderPaperFrames)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_OrderPaperFramesReference(benchmark::State& state) { TimeOrdering<OrderPaperFramesReference>(state); }
BENCHMARK(BM_OrderPaperFramesReference)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelvane
