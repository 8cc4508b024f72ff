// A whole split of a large drawing beside plain I/O of the same bytes, and frame detection growth.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/sheet_plan.h"
#include "app/sheet_writer.h"
#include "app/services/portable_services.h"
#include "jww/builder.h"
#include "split/frames.h"

using namespace kelvane;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void FrameLines(EntityLists& l, double x, double y, double w, double h) {
  Attr a;
  a.penColor = 9, a.penStyle = 19, a.penWidth = 200;
  AddLine(l, x, y, x + w, y, a);
  AddLine(l, x + w, y, x + w, y + h, a);
  AddLine(l, x + w, y + h, x, y + h, a);
  AddLine(l, x, y + h, x, y, a);
}

// The processor time of the whole process (user and kernel) in seconds.
double ProcessorSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// 200 frames in a 20 x 10 grid and `entities` entities spread over them.
void Generate(const std::filesystem::path& path, int entities = 200000) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddLine(AddBlockDef(doc, 1, JwwString::Sjis("mark")), 0, 0, 1, 1);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  for (int f = 0; f < 200; ++f) FrameLines(doc, (f % 20) * 450.0, (f / 20) * -350.0, 420, 297);
  for (int i = 0; i < entities; ++i) {
    const int f = i % 200;
    const double x = (f % 20) * 450.0 + 5 + u(rng) * 400, y = (f / 20) * -350.0 + 5 + u(rng) * 280;
    switch (i % 10) {
      case 0: case 1: case 2: case 3: case 4:
        AddLine(doc, x, y, x + u(rng) * 30, y + u(rng) * 30);
        break;
      case 5: case 6:
        AddArc(doc, x, y, 1 + u(rng) * 10, u(rng) * 6, u(rng) * 3);
        break;
      case 7:
        AddText(doc, x, y, JwwString::Sjis("room " + std::to_string(i)));
        break;
      case 8:
        AddSolid(doc, x, y, x + 3, y, x + 3, y + 3, x, y + 3);
        break;
      default:
        AddBlockInsert(doc, 1, x, y);
    }
  }
  doc.NormaliseBlocks();
  doc.SaveToFile(path, 600);
}

// The whole job on a loaded drawing: find frames and names, extract and write every sheet.
// Returns the files written. Kept apart so that it can follow the program's split entry point.
std::vector<std::filesystem::path> SplitInto(JwwDocument& doc, const std::filesystem::path& src,
                                             const std::filesystem::path& outFolder) {
  static StandardFileQueries platform;
  static SilentFeedback feedback;
  static SplitOptions options;
  RunContext run;
  AddRunInput(run, platform, src);
  const SheetPlan plan = PlanSheets(doc, options, src, outFolder, run, platform);
  RunFailures failures;
  WriteSheets(platform, feedback, doc, plan, failures);
  std::vector<std::filesystem::path> files;
  for (const PlannedSheet& sheet : plan.sheets)
    if (sheet.ToBeWritten()) files.push_back(sheet.file);
  return files;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::vector<LineRecord> FrameLayout(int n) {
  JwwDocument doc;
  std::mt19937 rng(11);
  const int columns = 100;
  for (int f = 0; f < n; ++f) FrameLines(doc, (f % columns) * 450.0, (f / columns) * -350.0, 420, 297);
  std::vector<LineRecord> lines = doc.lines;
  std::shuffle(lines.begin(), lines.end(), rng);
  return lines;
}

// The bytes plain I/O writes: those of the sheets of a first split, which is not timed.
std::vector<std::vector<char>> FirstSplitBytes(const std::filesystem::path& src, const std::filesystem::path& folder) {
  std::vector<std::vector<char>> outputs;
  std::filesystem::create_directories(folder);
  JwwDocument doc;
  doc.LoadFromFile(src);
  for (const auto& file : SplitInto(doc, src, folder)) {
    std::ifstream f(file, std::ios::binary);
    outputs.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  return outputs;
}

// Plain I/O: read the source once and create and write every sheet's bytes as they are.
void PlainIo(const std::filesystem::path& src, const std::filesystem::path& folder,
             const std::vector<std::vector<char>>& outputs) {
  {
    std::ifstream f(src, std::ios::binary);
    std::vector<char> all(std::filesystem::file_size(src));
    f.read(all.data(), std::streamsize(all.size()));
  }
  for (size_t i = 0; i < outputs.size(); ++i) {
    std::ofstream f(folder / (std::to_string(i) + ".jww"), std::ios::binary | std::ios::trunc);
    f.write(outputs[i].data(), std::streamsize(outputs[i].size()));
  }
}

struct PairedTimes {
  std::vector<double> splits, plains, ratios;
};

// Paired rounds: each times a split and plain I/O of the same bytes, in turns first, and keeps
// the ratio of the pair; the median of the ratios cannot be decided by one noisy round. Both
// sides create their files anew in empty folders ("out", "plain"), as a first run does.
template <typename Split, typename Plain>
PairedTimes PairedRounds(int rounds, const std::filesystem::path& dir, Split&& split, Plain&& plain) {
  PairedTimes t;
  for (int round = 0; round < rounds; ++round) {
    for (const char* sub : {"out", "plain"}) {
      std::filesystem::remove_all(dir / sub);
      std::filesystem::create_directories(dir / sub);
    }
    double s, p;
    if (round % 2 == 0) {
      s = split();
      p = plain();
    } else {
      p = plain();
      s = split();
    }
    t.splits.push_back(s);
    t.plains.push_back(p);
    t.ratios.push_back(s / p);
  }
  return t;
}

// Split and plain I/O of the same bytes by processor time, in a folder on tmpfs so that the
// file system's own work does not weigh on either side: what the split itself costs.
void ProcessorTimeOnTmpfs(int entities, int rounds) {
  const std::filesystem::path shm = "/dev/shm";
  const auto base = std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
  const auto dir = base / ("kelvane-bench-split-cpu-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto src = dir / "big.jww";
  Generate(src, entities);
  const std::vector<std::vector<char>> outputs = FirstSplitBytes(src, dir / "first");
  std::filesystem::remove_all(dir / "first");
  std::vector<double> loads, plans;
  auto split = [&] {
    const double t0 = ProcessorSeconds();
    JwwDocument doc;
    doc.LoadFromFile(src);
    const double t1 = ProcessorSeconds();
    static StandardFileQueries platform;
  static SilentFeedback feedback;
    static SplitOptions options;
      RunContext run;
    AddRunInput(run, platform, src);
    const SheetPlan plan = PlanSheets(doc, options, src, dir / "out", run, platform);
    const double t2 = ProcessorSeconds();
    RunFailures failures;
    WriteSheets(platform, feedback, doc, plan, failures);
    if (plan.sheets.size() != outputs.size()) std::fprintf(stderr, "sheet count differs\n");
    loads.push_back(t1 - t0);
    plans.push_back(t2 - t1);
    return ProcessorSeconds() - t0;
  };
  auto plain = [&] {
    const double t0 = ProcessorSeconds();
    PlainIo(src, dir / "plain", outputs);
    return ProcessorSeconds() - t0;
  };
  const PairedTimes t = PairedRounds(rounds, dir, split, plain);
  const double bytes = double(std::filesystem::file_size(src));
  std::printf("tmpfs, processor time, %d entities (%.1f MB) into %zu sheets: split %.3f s, plain I/O %.3f s "
              "(medians of %d rounds)\n",
              entities, bytes / 1e6, outputs.size(), Median(t.splits), Median(t.plains), rounds);
  std::printf("  of which loading %.3f s, planning (frames, names, members) %.3f s, writing the rest\n",
              Median(loads), Median(plans));
  std::printf("ratio split / plain I/O by processor time at %d entities, median of the paired rounds: %.2f "
              "(goal: at most %.1f)\n",
              entities, Median(t.ratios), entities >= 1000000 ? 2.0 : 2.5);
  std::filesystem::remove_all(dir);
}

// Frame detection: growth with the number of frames, by wall and by processor time (the least
// of seven samples, each of at least 10,000 frames' worth of runs); a shared machine stretches
// the wall time of the long runs most.
void FrameDetectionGrowth() {
  double perFrame100 = 0;
  for (int n : {100, 1000, 10000}) {
    auto lines = FrameLayout(n);
    const int runs = std::max(1, 10000 / n);
    double best = 1e9, bestProcessor = 1e9;
    size_t found = 0;
    for (int r = 0; r < 7; ++r) {
      const auto t0 = Clock::now();
      const double p0 = ProcessorSeconds();
      for (int k = 0; k < runs; ++k) found = DetectPaperFrames(lines, int32_t(lines.size()), 0).size();
      bestProcessor = std::min(bestProcessor, (ProcessorSeconds() - p0) / runs);
      best = std::min(best, Seconds(t0, Clock::now()) / runs);
    }
    const double perFrame = bestProcessor * 1e6 / n;
    if (n == 100) perFrame100 = perFrame;
    std::printf("detect %5d frames: %8.3f ms (%zu found, %.2f us per frame); processor %.2f us per frame, "
                "%.2fx that at 100 (goal at 10,000: at most 1.5x)\n",
                n, best * 1e3, found, best * 1e6 / n, perFrame, perFrame / perFrame100);
  }
}

// The whole job (load, then find frames and names, extract and write every sheet) beside plain
// I/O of the same bytes, by wall time on disk.
void WallTimeOnDisk() {
  const auto dir = std::filesystem::temp_directory_path() / ("kelvane-bench-split-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "out");
  std::filesystem::create_directories(dir / "plain");
  const auto src = dir / "big.jww";
  Generate(src);
  const std::vector<std::vector<char>> outputs = FirstSplitBytes(src, dir / "first");
  const size_t sheets = outputs.size();
  std::vector<double> loads;
  auto split = [&] {
    auto t0 = Clock::now();
    JwwDocument doc;
    doc.LoadFromFile(src);
    loads.push_back(Seconds(t0, Clock::now()));
    if (SplitInto(doc, src, dir / "out").size() != sheets) std::fprintf(stderr, "sheet count differs\n");
    return Seconds(t0, Clock::now());
  };
  auto plain = [&] {
    auto t0 = Clock::now();
    PlainIo(src, dir / "plain", outputs);
    return Seconds(t0, Clock::now());
  };
  const PairedTimes t = PairedRounds(9, dir, split, plain);
  uint64_t written = 0;
  for (auto& e : std::filesystem::directory_iterator(dir / "out")) written += e.file_size();
  std::printf("of which loading the drawing: %.3f s (median)\n", Median(loads));
  std::printf("split of %.1f MB into %zu sheets (%.1f MB): %.3f s; plain read + write of the same bytes %.3f s "
              "(medians of %zu rounds)\n",
              std::filesystem::file_size(src) / 1e6, sheets, written / 1e6, Median(t.splits), Median(t.plains),
              t.ratios.size());
  std::printf("ratio split / plain I/O by wall time on disk, median of the paired rounds: %.2f\n", Median(t.ratios));
  std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  // Only the drawing, for benchmarks of the whole program (bench_batch.sh): --generate FILE [ENTITIES]
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--generate") {
    Generate(argv[2], argc == 4 ? std::stoi(argv[3]) : 200000);
    return 0;
  }
  // Only the split by processor time on tmpfs of one drawing size: --cpu ENTITIES [ROUNDS]
  if (argc >= 3 && std::string(argv[1]) == "--cpu") {
    ProcessorTimeOnTmpfs(std::stoi(argv[2]), argc >= 4 ? std::stoi(argv[3]) : 7);
    return 0;
  }
  FrameDetectionGrowth();
  if (argc == 2 && std::string(argv[1]) == "--detect") return 0;  // the growth alone
  WallTimeOnDisk();
  // The goals are set by processor time on tmpfs, where nothing but the work itself is counted.
  ProcessorTimeOnTmpfs(100000, 9);
  ProcessorTimeOnTmpfs(1000000, 5);
  return 0;
}
