// Load and save throughput and peak memory of a large drawing, beside plain reading and writing.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench/benchmark_drawing.h"
#include "jww/document.h"

using namespace kelvane;
using Clock = std::chrono::steady_clock;

namespace {

long StatusKb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
  return -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

template <typename V>
double Bytes(const V& v) {
  return double(v.capacity() * sizeof(typename V::value_type));
}

// Memory the entity arrays hold (strings of more than a few characters come on top).
double ArrayBytes(const JwwDocument& d) {
  double b = 0;
  auto add = [&](const EntityLists& l) {
    b += Bytes(l.order) + Bytes(l.lines) + Bytes(l.arcs) + Bytes(l.points) + Bytes(l.texts) + Bytes(l.textStrings) +
         Bytes(l.dimensions) + Bytes(l.dimensionStrings) + Bytes(l.solids) + Bytes(l.blockInserts);
  };
  add(d);
  for (const BlockDefinition& def : d.blockDefs) add(def.entities);
  return b;
}

// Peak resident memory of a load and a save, above the start, in a process of its own: a child
// made by fork alone would inherit memory this process has freed but still holds, and fill
// its arrays there without a new page ever showing in its peak.
long PeakKbOfLoadAndSave(const std::filesystem::path& src, const std::filesystem::path& out) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], STDOUT_FILENO);
    close(pipefd[0]);
    execl("/proc/self/exe", "bench_jww", "--peak", src.c_str(), out.c_str(), static_cast<char*>(nullptr));
    _exit(1);
  }
  close(pipefd[1]);
  char text[64] = {};
  const ssize_t got = read(pipefd[0], text, sizeof text - 1);
  waitpid(pid, nullptr, 0);
  close(pipefd[0]);
  return got > 0 ? std::atol(text) : -1;
}

// The measured side of PeakKbOfLoadAndSave.
int PeakMain(const char* src, const char* out) {
  const long before = StatusKb("VmRSS:");
  {
    JwwDocument doc;
    if (!doc.LoadFromFile(src) || !doc.SaveToFile(out, doc.header.version)) return 1;
  }
  std::printf("%ld\n", StatusKb("VmHWM:") - before);
  return 0;
}

// One load and one save and nothing else, for an instruction count that stays the same on a
// busy machine where times do not: callgrind --toggle-collect='*LoadAndSaveOnce*'.
[[gnu::noinline]] bool LoadAndSaveOnce(const std::filesystem::path& src, const std::filesystem::path& out) {
  JwwDocument doc;
  return doc.LoadFromFile(src) && doc.SaveToFile(out, doc.header.version);
}

int OnceMain(int entities) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("kelvane-once-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::path src = dir / "big.jww", out = dir / "saved.jww";
  SaveBenchmarkDrawing(src, entities);
  bool ok = LoadAndSaveOnce(src, out);
  ok = ok && std::filesystem::file_size(out) == std::filesystem::file_size(src);
  std::filesystem::remove_all(dir);
  std::printf("one load and save of %d entities: %s\n", entities, ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}

// What the paired rounds measured.
struct RoundTimes {
  std::vector<double> plainReads, plainWrites, loads, saves, ratios, keptRatios;
};

// One round: plain I/O and load + save one after the other, the ratio of the pair kept; then
// the same into `kept`, whose arrays are no longer new to the process. False when a load or a
// save failed.
bool TimeRound(const std::filesystem::path& src, const std::filesystem::path& plainOut,
               const std::filesystem::path& out, JwwDocument& kept, RoundTimes& times) {
  const uint64_t size = std::filesystem::file_size(src);
  auto t0 = Clock::now();
  std::vector<char> bytes(size);
  {
    std::ifstream f(src, std::ios::binary);
    f.read(bytes.data(), std::streamsize(size));
  }
  auto t1 = Clock::now();
  {
    std::ofstream f(plainOut, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(size));
  }
  auto t2 = Clock::now();
  bytes = {};

  JwwDocument doc;
  auto t3 = Clock::now();
  bool loaded = doc.LoadFromFile(src);
  auto t4 = Clock::now();
  bool saved = doc.SaveToFile(out, doc.header.version);
  auto t5 = Clock::now();
  if (!loaded || !saved) return false;
  times.plainReads.push_back(Seconds(t0, t1));
  times.plainWrites.push_back(Seconds(t1, t2));
  times.loads.push_back(Seconds(t3, t4));
  times.saves.push_back(Seconds(t4, t5));
  times.ratios.push_back(Seconds(t3, t5) / Seconds(t0, t2));

  auto t6 = Clock::now();
  kept.LoadFromFile(src);
  kept.SaveToFile(out, kept.header.version);
  times.keptRatios.push_back(Seconds(t6, Clock::now()) / Seconds(t0, t2));
  return true;
}

void ReportRounds(const RoundTimes& times, int entities, uint64_t size, bool same, double arrays, long peakKb) {
  const double plainRead = Median(times.plainReads), plainWrite = Median(times.plainWrites),
               load = Median(times.loads), save = Median(times.saves);
  double mb = double(size) / 1e6;
  std::printf("drawing: %d entities, %.1f MB (saved copy identical in size: %s)\n", entities, mb, same ? "yes" : "no");
  std::printf("medians: plain read %.3f s, plain write %.3f s, together %.3f s\n", plainRead, plainWrite, plainRead + plainWrite);
  std::printf("LoadFromFile %.3f s (%.0f MB/s), SaveToFile %.3f s (%.0f MB/s), together %.3f s\n", load, mb / load,
              save, mb / save, load + save);
  std::printf("time ratio (load+save)/(read+write), median of %zu paired rounds: %.2f (goal: at most 1.5)\n",
              times.ratios.size(), Median(times.ratios));
  std::printf("  the same into a document loaded before (arrays already in memory): %.2f\n", Median(times.keptRatios));
  std::printf("  arrays of the loaded drawing: %.1f MB, %.2f times the file\n", arrays / 1e6, arrays / double(size));
  std::printf("peak memory of load+save: %.1f MB, %.2f times the file (goal: under 2)\n", peakKb / 1024.0,
              peakKb * 1024.0 / double(size));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--peak") return PeakMain(argv[2], argv[3]);
  if (argc == 3 && std::string(argv[1]) == "--once") return OnceMain(std::atoi(argv[2]));
  int entities = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("kelvane-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::path src = dir / "big.jww", plainOut = dir / "plain.jww", out = dir / "saved.jww";
  SaveBenchmarkDrawing(src, entities);
  uint64_t size = std::filesystem::file_size(src);

  // The median ratio of paired rounds is reported, so one round disturbed by other work cannot
  // decide it.
  RoundTimes times;
  JwwDocument kept;  // loaded again every round: its arrays are no longer new to the process
  kept.LoadFromFile(src);
  for (int round = 0; round < 7; ++round) {
    if (!TimeRound(src, plainOut, out, kept, times)) {
      std::cerr << "load or save failed\n";
      return 1;
    }
  }
  const double arrays = ArrayBytes(kept);
  long peakKb = PeakKbOfLoadAndSave(src, out);
  bool same = std::filesystem::file_size(out) == size;
  ReportRounds(times, entities, size, same, arrays, peakKb);
  std::filesystem::remove_all(dir);
  return 0;
}
