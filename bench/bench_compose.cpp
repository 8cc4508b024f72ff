// Load cost per entity of each drawing beside that of one drawing composed of them all, side by
// side: a large drawing should cost no more per entity than the small ones it is made of.
// Sources: every drawing of the corpus folder (argument 1, KELVANE_CORPUS or the built-in path), or generated
// stand-ins when the folder is absent.
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "jww/builder.h"
#include "jww/document.h"

using namespace kelvane;

namespace {

struct Source {
  std::string name;
  std::filesystem::path path;  // the drawing as this program writes it
  std::filesystem::path twin;  // the same without entities, so with the very same header
  int64_t entities = 0;
};

int64_t EntityCount(const JwwDocument& doc) {
  int64_t n = int64_t(doc.order.size());
  for (const BlockDefinition& d : doc.blockDefs) n += int64_t(d.entities.order.size());
  return n;
}

double NsPerEntity(double load, double twin, int64_t entities);

// Processor time of this process: other work on a shared machine does not count in it.
double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// Time of one load: the least of several batches long enough for the clock, since other work
// on the machine only ever adds time. Each load goes into a fresh document, as the program loads
// a drawing, or all into one document, which keeps its arrays: the second leaves out what the
// system charges for memory new to the process, the first includes it.
double LoadSeconds(const std::filesystem::path& path, bool reuse) {
  double best = 1e9;
  JwwDocument kept;
  for (int b = 0; b < 15; ++b) {
    int loads = 0;
    const double t0 = CpuSeconds();
    double spent = 0;
    do {
      JwwDocument fresh;
      JwwDocument& doc = reuse ? kept : fresh;
      if (!doc.LoadFromFile(path)) {
        std::fprintf(stderr, "cannot load %s: %s\n", path.string().c_str(), doc.diagnostics.reason.c_str());
        std::exit(1);
      }
      ++loads;
      spent = CpuSeconds() - t0;
    } while (spent < 0.01);
    best = std::min(best, spent / loads);
  }
  return best;
}

// Per-entity cost of loading a drawing in both ways: the load less that of its empty twin.
struct Cost {
  double fresh = 0, reused = 0;  // ns per entity
};
struct Totals {
  double load[2] = {}, twin[2] = {};
  int64_t entities = 0;
  void Add(const std::filesystem::path& path, const std::filesystem::path& twinPath, int64_t n) {
    for (int r = 0; r < 2; ++r) {
      load[r] += LoadSeconds(path, r == 1);
      twin[r] += LoadSeconds(twinPath, r == 1);
    }
    entities += n;
  }
  Cost Get() const { return {NsPerEntity(load[0], twin[0], entities), NsPerEntity(load[1], twin[1], entities)}; }
};

void Shift(LineRecord& r, double dx) { r.startX += dx, r.endX += dx; }
void Shift(TextRecord& r, double dx) { r.startX += dx, r.endX += dx; }
void Shift(PointRecord& r, double dx) { r.x += dx; }

// Appends `from` to `to`, moved right by dx, with block numbers raised by blockBase.
void Append(EntityLists& to, const EntityLists& from, double dx, int32_t blockBase) {
  const int32_t base[8] = {0,
                           int32_t(to.lines.size()),
                           int32_t(to.arcs.size()),
                           int32_t(to.points.size()),
                           int32_t(to.texts.size()),
                           int32_t(to.dimensions.size()),
                           int32_t(to.solids.size()),
                           int32_t(to.blockInserts.size())};
  for (LineRecord r : from.lines) Shift(r, dx), to.lines.push_back(r);
  for (ArcRecord r : from.arcs) r.centerX += dx, to.arcs.push_back(r);
  for (PointRecord r : from.points) Shift(r, dx), to.points.push_back(r);
  for (TextRecord r : from.texts) Shift(r, dx), to.texts.push_back(r);
  for (DimensionRecord r : from.dimensions) {
    Shift(r.line, dx), Shift(r.text, dx), Shift(r.auxLine1, dx), Shift(r.auxLine2, dx);
    for (PointRecord* p : {&r.auxPoint1, &r.auxPoint2, &r.auxPoint3, &r.auxPoint4}) Shift(*p, dx);
    to.dimensions.push_back(r);
  }
  for (SolidRecord r : from.solids) {
    r.x1 += dx;
    if (r.attr.penStyle <= 100) r.x2 += dx, r.x3 += dx, r.x4 += dx;  // an arc solid keeps its centre in x1
    to.solids.push_back(r);
  }
  for (BlockInsertRecord r : from.blockInserts) r.refX += dx, r.blockNumber += blockBase, to.blockInserts.push_back(r);
  to.textStrings.insert(to.textStrings.end(), from.textStrings.begin(), from.textStrings.end());
  to.dimensionStrings.insert(to.dimensionStrings.end(), from.dimensionStrings.begin(), from.dimensionStrings.end());
  for (int32_t i = 0; i < from.entityCount && i < int32_t(from.order.size()); ++i) {
    EntityRef e = from.order[size_t(i)];
    if (e.kind >= kLine && e.kind <= kBlockInsert) to.order.push_back({e.kind, e.index + base[e.kind]});
  }
  to.entityCount = int32_t(to.order.size());
}

// The drawing with its settings and no entities: what a load costs whatever the entities.
std::filesystem::path EmptyTwin(const std::filesystem::path& path, const std::filesystem::path& twin) {
  JwwDocument doc;
  doc.LoadFromFile(path);
  doc.ClearEntities();
  doc.blockDefs.clear();
  doc.NormaliseBlocks();
  if (!doc.SaveToFile(twin, doc.header.version)) {
    std::fprintf(stderr, "cannot write %s\n", twin.string().c_str());
    std::exit(1);
  }
  return twin;
}

// Load time per entity: the load less that of the empty twin, over the entities.
double NsPerEntity(double load, double twin, int64_t entities) {
  return (load - twin) * 1e9 / double(std::max<int64_t>(entities, 1));
}

// Small drawings of different mixes, for machines without the corpus.
std::vector<std::filesystem::path> StandIns(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> paths;
  for (int d = 0; d < 8; ++d) {
    JwwDocument doc;
    InitDrawing(doc, d % 2 ? 700 : 600, d % 2 == 1);
    const JwwString label = JwwString::Ascii("room " + std::to_string(d), d % 2 == 1);
    AddLine(AddBlockDef(doc, 1, JwwString::Ascii("mark", d % 2 == 1)), 0, 0, 1, 1);
    for (int i = 0; i < 1000 + 400 * d; ++i) {
      const double x = (i % 50) * 10.0, y = (i / 50) * 10.0;
      switch ((i + d) % 8) {
        case 0: case 1: case 2: AddLine(doc, x, y, x + 5, y + 2); break;
        case 3: AddArc(doc, x, y, 3, 0.2, 1.5); break;
        case 4: AddText(doc, x, y, label); break;
        case 5: AddSolid(doc, x, y, x + 1, y, x + 1, y + 1, x, y + 1); break;
        case 6: AddDimension(doc, x, y, x + 8, y, JwwString::Ascii("8", d % 2 == 1)); break;
        default: AddBlockInsert(doc, 1, x, y);
      }
    }
    doc.NormaliseBlocks();
    paths.push_back(dir / ("standin" + std::to_string(d) + ".jww"));
    doc.SaveToFile(paths.back(), doc.header.version);
  }
  return paths;
}

// Every drawing of the corpus folder, sorted; none when there is no folder.
std::vector<std::filesystem::path> CorpusDrawings(const std::filesystem::path& corpus) {
  std::vector<std::filesystem::path> paths;
  std::error_code ec;
  if (!corpus.empty() && std::filesystem::is_directory(corpus, ec)) {
    for (const auto& e : std::filesystem::recursive_directory_iterator(corpus))
      if (e.is_regular_file() && e.path().extension() == ".jww") paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
  }
  return paths;
}

// The source's block definitions after those of the composition, renumbered from `blockBase`;
// answers the numbers they take.
int32_t AppendBlockDefinitions(JwwDocument& composed, const JwwDocument& doc, int32_t blockBase) {
  int32_t top = 0;
  for (const BlockDefinition& d : doc.blockDefs) {
    BlockDefinition copy;
    copy.head = d.head;
    copy.head.number = d.head.number + blockBase;
    copy.name = d.name;
    Append(copy.entities, d.entities, 0, blockBase);
    top = std::max(top, d.head.number + 1);
    composed.blockDefs.push_back(std::move(copy));
  }
  return top;
}

// The composition: every source's entities side by side, its block definitions renumbered
// after those before it. Version 600 keeps images out of it; entities are what is measured.
// Each source is saved again in `dir` beside its twin without entities. False when a file
// cannot be written.
bool Compose(const std::vector<std::filesystem::path>& paths, const std::filesystem::path& dir,
             JwwDocument& composed, std::vector<Source>& sources) {
  InitDrawing(composed, 600, false);
  int32_t blockBase = 0;
  double dx = 0;
  for (const auto& p : paths) {
    JwwDocument doc;
    if (!doc.LoadFromFile(p)) {
      std::fprintf(stderr, "skipping %s: %s\n", p.string().c_str(), doc.diagnostics.reason.c_str());
      continue;
    }
    // Saved again here, so that it and its twin differ only in their entities.
    const auto saved = dir / ("source" + std::to_string(sources.size()) + ".jww");
    const auto twin = dir / ("empty" + std::to_string(sources.size()) + ".jww");
    if (!doc.SaveToFile(saved, doc.header.version)) {
      std::fprintf(stderr, "cannot write %s\n", saved.string().c_str());
      return false;
    }
    sources.push_back({p.filename().string(), saved, EmptyTwin(saved, twin), EntityCount(doc)});
    Append(composed, doc, dx, blockBase);
    blockBase += AppendBlockDefinitions(composed, doc, blockBase);
    dx += 1e6;
  }
  composed.NormaliseBlocks();
  return true;
}

// Each source's cost, theirs together and the composed drawing's.
void ReportCosts(const std::vector<Source>& sources, const std::filesystem::path& composedPath,
                 const std::filesystem::path& dir) {
  std::printf("load time per entity (processor time, less that of the same drawing without entities),\n"
              "each load into a fresh document / all loads into one kept document:\n");
  Totals all;
  for (const Source& s : sources) {
    Totals one;
    one.Add(s.path, s.twin, s.entities);
    for (int r = 0; r < 2; ++r) all.load[r] += one.load[r], all.twin[r] += one.twin[r];
    all.entities += s.entities;
    const Cost c = one.Get();
    std::printf("  %-32s %7lld entities  %7.1f / %7.1f ns per entity\n", s.name.c_str(), (long long)s.entities,
                c.fresh, c.reused);
  }
  JwwDocument check;
  check.LoadFromFile(composedPath);
  Totals big;
  big.Add(composedPath, EmptyTwin(composedPath, dir / "empty-composed.jww"), EntityCount(check));
  const Cost small = all.Get(), composedCost = big.Get();
  std::printf("sources together: %lld entities, %.1f / %.1f ns per entity\n", (long long)all.entities, small.fresh,
              small.reused);
  std::printf("composed drawing: %lld entities, %.1f / %.1f ns per entity\n", (long long)big.entities,
              composedCost.fresh, composedCost.reused);
  std::printf("ratio composed / sources: fresh documents %.2f, kept document %.2f (goal: at most 1.2)\n",
              composedCost.fresh / small.fresh, composedCost.reused / small.reused);
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path corpus = KELVANE_CORPUS;
  if (const char* env = std::getenv("KELVANE_CORPUS")) corpus = env;
  if (argc > 1) corpus = argv[1];
  const auto dir = std::filesystem::temp_directory_path() / ("kelvane-bench-compose-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::vector<std::filesystem::path> paths = CorpusDrawings(corpus);
  const bool standIns = paths.empty();
  if (standIns) paths = StandIns(dir);
  JwwDocument composed;
  std::vector<Source> sources;
  if (!Compose(paths, dir, composed, sources)) return 1;
  const auto composedPath = dir / "composed.jww";
  if (sources.empty() || !composed.SaveToFile(composedPath, 600)) {
    std::fprintf(stderr, "cannot compose the drawings\n");
    return 1;
  }
  std::printf("%s\n", standIns ? "no corpus: generated stand-ins" : ("corpus: " + corpus.string()).c_str());
  ReportCosts(sources, composedPath, dir);
  std::filesystem::remove_all(dir);
  return 0;
}
