// DXF files of every sheet of the million-entity benchmark drawing beside the JWW writing of
// the same sheets: the DXF may cost at most twice as much.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/sheet_plan.h"
#include "app/sheet_writer.h"
#include "app/services/portable_services.h"
#include "bench/benchmark_drawing.h"
#include "dxf/dxf_file.h"
#include "jww/builder.h"

using namespace kelvane;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Processor time of this process, user and system: on a shared machine it tells more than the clock.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double SystemSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return double(r.ru_stime.tv_sec) + r.ru_stime.tv_usec / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The benchmark drawing (a 10 m square of entities) cut by a 10 x 10 grid of paper frames.
void Build(JwwDocument& doc) {
  BuildBenchmarkDrawing(doc, 1000000);
  Attr frame;
  frame.penColor = 9, frame.penStyle = 19, frame.penWidth = 200;
  for (int f = 0; f < 100; ++f) {
    const double x = (f % 10) * 1000.0 - 2, y = (f / 10) * 1000.0 - 2, w = 1000, h = 1000;
    AddLine(doc, x, y, x + w, y, frame);
    AddLine(doc, x + w, y, x + w, y + h, frame);
    AddLine(doc, x + w, y + h, x, y + h, frame);
    AddLine(doc, x, y + h, x, y, frame);
  }
}

void Fresh(const std::filesystem::path& folder) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
}

}  // namespace

// The number of rounds may be given (1 under valgrind, whose counts do not vary).
int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const auto dir = std::filesystem::temp_directory_path() / ("kelvane-bench-dxf-" + std::to_string(getpid()));
  Fresh(dir);
  JwwDocument doc;
  Build(doc);
  const std::filesystem::path src = dir / "big.jww";
  StandardFileQueries platform;
  SilentFeedback feedback;
  SplitOptions options;
  RunContext run;
  AddRunInput(run, platform, src);
  const SheetPlan plan = PlanSheets(doc, options, src, dir / "sheets", run, platform);
  std::vector<double> jww, dxf, ratios, jwwCpu, dxfCpu, cpuRatios, jwwSys, dxfSys;
  for (int round = 0; round < rounds; ++round) {
    Fresh(dir / "sheets");
    auto t0 = Clock::now();
    const double c0 = CpuSeconds(), s0 = SystemSeconds();
    RunFailures failures;
    WriteSheets(platform, feedback, doc, plan, failures);
    auto t1 = Clock::now();
    const double c1 = CpuSeconds(), s1 = SystemSeconds();
    for (const PlannedSheet& sheet : plan.sheets) {
      if (!sheet.ToBeWritten()) continue;
      std::filesystem::path file = sheet.file;
      file.replace_extension(".dxf");
      std::string error;
      if (!WriteDxfFile(doc, &sheet.view, file, DxfOptions{}, {}, error)) std::fprintf(stderr, "%s\n", error.c_str());
    }
    auto t2 = Clock::now();
    const double c2 = CpuSeconds(), s2 = SystemSeconds();
    jwwSys.push_back(s1 - s0);
    dxfSys.push_back(s2 - s1);
    jwwCpu.push_back(c1 - c0);
    dxfCpu.push_back(c2 - c1);
    cpuRatios.push_back((c2 - c1) / (c1 - c0));
    jww.push_back(Seconds(t0, t1));
    dxf.push_back(Seconds(t1, t2));
    ratios.push_back(dxf.back() / jww.back());
  }
  uint64_t jwwBytes = 0, dxfBytes = 0;
  size_t sheets = 0;
  for (auto& e : std::filesystem::directory_iterator(dir / "sheets")) {
    (e.path().extension() == ".dxf" ? dxfBytes : jwwBytes) += e.file_size();
    sheets += e.path().extension() == ".dxf";
  }
  std::printf("%zu sheets of %d entities: JWW %.3f s (%.1f MB), DXF %.3f s (%.1f MB) (medians of %zu rounds)\n", sheets,
              doc.entityCount, Median(jww), jwwBytes / 1e6, Median(dxf), dxfBytes / 1e6, ratios.size());
  std::printf("processor time: JWW %.3f s (system %.3f s), DXF %.3f s (system %.3f s)\n", Median(jwwCpu),
              Median(jwwSys), Median(dxfCpu), Median(dxfSys));
  std::printf("ratio DXF / JWW writing, median of the rounds: %.2f by the clock, %.2f by processor time (goal: at most 2)\n",
              Median(ratios), Median(cpuRatios));
  std::filesystem::remove_all(dir);
  return 0;
}
