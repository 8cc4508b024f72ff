// The preview's cost on the million-entity drawing of bench/bench_jww.cpp: reading it, planning
// and building the plan picture, and painting that picture fitted to the preview's canvas
// (the off-screen bitmap the window repaints from). Prints the times and the peak memory.
// Usage: bench_preview_paint.exe [ENTITIES] [WIDTH HEIGHT]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/plan_picture.h"
#include "render/gdi/gdi_output.h"
#include "app/services/win32/win32_services.h"
#include "bench/benchmark_drawing.h"
#include "jww/builder.h"
#include "jww/document.h"
#include "jww/images.h"

using namespace kelvane;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double PeakMb() {
  PROCESS_MEMORY_COUNTERS pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return double(pmc.PeakWorkingSetSize) / (1 << 20);
}

double NowMb() {
  PROCESS_MEMORY_COUNTERS pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return double(pmc.WorkingSetSize) / (1 << 20);
}

// The drawing bench_jww generates: lines, arcs, texts, dimensions, solids and block inserts.
void Generate(const std::filesystem::path& path, int entities) {
  JwwDocument doc;
  BuildBenchmarkDrawing(doc, entities);
  if (!doc.SaveToFile(path, 600)) {
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int entities = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
  const int width = argc > 3 ? std::atoi(argv[2]) : 572, height = argc > 3 ? std::atoi(argv[3]) : 616;
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "kelvane-bench-preview.jww";
  Generate(file, entities);

  const double startMb = NowMb();
  auto t0 = Clock::now();
  JwwDocument doc;
  if (!doc.LoadFromFile(file)) return 1;
  auto t1 = Clock::now();
  Win32Services platform({}, file);
  RunContext run;
  AddRunInput(run, platform, file);
  const SheetPlan plan = PlanSheets(doc, SplitOptions{}, file, file.parent_path() / "", run, platform);
  auto t2 = Clock::now();
  const DisplayList picture = PlanPicture(doc, plan);
  auto t3 = Clock::now();

  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof bi.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  // A bitmap like the window's: compatible with the screen.
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const RECT area{0, 0, width, height};
  const GdiView fit = FitView(picture, width, height, 8);
  std::vector<double> paints;
  for (int k = 0; k < 5; ++k) {
    auto a = Clock::now();
    PaintDisplayList(dc, picture, fit, area, nullptr);
    GdiFlush();
    paints.push_back(Ms(a, Clock::now()));
  }
  // Zoomed in 20 times about the centre: most items fall outside and are skipped.
  GdiView zoomed = fit;
  zoomed.pixelsPerMm *= 20;
  zoomed.left = width / 2.0 - (width / 2.0 - fit.left) * 20;
  zoomed.top = height / 2.0 - (height / 2.0 - fit.top) * 20;
  std::vector<double> zoomedPaints;
  for (int k = 0; k < 5; ++k) {
    auto a = Clock::now();
    PaintDisplayList(dc, picture, zoomed, area, nullptr);
    GdiFlush();
    zoomedPaints.push_back(Ms(a, Clock::now()));
  }
  // Each kind of item alone, to see where the time goes.
  const char* kindNames[] = {"strokes", "fills", "texts", "pictures"};
  double kindMs[4] = {};
  for (int kind = 0; kind < 4; ++kind) {
    // The placements stay: they lead to items of the kind in the sublists.
    DisplayList only = picture;
    auto keep = [kind](DisplayList& l) {
      std::erase_if(l.order,
                    [kind](const ItemRef& r) { return int(r.kind) != kind && r.kind != ItemKind::kPlacement; });
    };
    keep(only);
    for (DisplayList& sub : only.sublists) keep(sub);
    auto a = Clock::now();
    PaintDisplayList(dc, only, fit, area, nullptr);
    GdiFlush();
    kindMs[kind] = Ms(a, Clock::now());
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  std::sort(paints.begin(), paints.end());
  std::sort(zoomedPaints.begin(), zoomedPaints.end());

  size_t strokes = picture.strokes.size(), fills = picture.fills.size(), glyphs = picture.glyphs.size(),
         points = picture.points.size();
  for (const DisplayList& sub : picture.sublists) {
    strokes += sub.strokes.size(), fills += sub.fills.size(), glyphs += sub.glyphs.size();
    points += sub.points.size();
  }
  std::printf("entities %d, frames %zu, display list: %zu strokes, %zu fills, %zu glyphs, %zu points\n", entities,
              plan.frames.size(), strokes, fills, glyphs, points);
  std::printf("load %.0f ms, plan %.0f ms, plan picture %.0f ms\n", Ms(t0, t1), Ms(t1, t2), Ms(t2, t3));
  std::printf("paint at fit (%dx%d, %.4f px/mm): median %.0f ms (min %.0f, max %.0f)\n", width, height,
              fit.pixelsPerMm, paints[2], paints[0], paints[4]);
  std::printf("paint at fit by kind:");
  for (int kind = 0; kind < 4; ++kind) std::printf(" %s %.0f ms", kindNames[kind], kindMs[kind]);
  std::printf("\n");
  std::printf("paint zoomed 20x: median %.0f ms (min %.0f, max %.0f)\n", zoomedPaints[2], zoomedPaints[0],
              zoomedPaints[4]);
  std::printf("memory: %.0f MB before loading, %.0f MB now, peak %.0f MB\n", startMb, NowMb(), PeakMb());
  std::filesystem::remove(file);
  return 0;
}
