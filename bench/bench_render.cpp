// Display-list and picture speed on the 1,000,000-entity benchmark drawing (as bench_jww makes it).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bench/benchmark_drawing.h"
#include "platform/font_source.h"
#include "render/cairo/cairo_output.h"
#include "render/pdf/pdf_output.h"
#include "render/render.h"
#include "split/extract.h"

using namespace kelvane;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The bytes the list's pools hold, its sublists' included.
size_t ListBytes(const DisplayList& l) {
  size_t bytes = l.order.size() * sizeof(ItemRef) + l.strokes.size() * sizeof(Stroke) +
                 l.fills.size() * sizeof(Fill) + l.texts.size() * sizeof(TextRun) +
                 l.pictures.size() * sizeof(Picture) + l.placements.size() * sizeof(Placement) +
                 l.points.size() * sizeof(PagePoint) + l.rings.size() * sizeof(Span) +
                 l.glyphs.size() * sizeof(Glyph) + l.strokeStyles.size() * sizeof(StrokeStyle) +
                 l.dashes.size() * sizeof(double) + l.arcs.size() * sizeof(StrokeArc);
  for (const DisplayList& s : l.sublists) bytes += ListBytes(s);
  return bytes;
}

// Items of each kind in the list and its sublists, each counted once however often it is placed.
size_t CountItems(const DisplayList& l, ItemKind kind) {
  size_t n = 0;
  for (const ItemRef& r : l.order) n += r.kind == kind;
  for (const DisplayList& s : l.sublists) n += CountItems(s, kind);
  return n;
}

// How long the system takes to hand out `bytes` of new memory, one write a page: the part of
// building a list that no code of the list can save.
double TouchSeconds(size_t bytes) {
  auto a = Clock::now();
  std::unique_ptr<char[]> p(new char[bytes]);
  for (size_t k = 0; k < bytes; k += 4096) p[k] = 1;
  volatile char keep = p[bytes / 2];
  (void)keep;
  return Seconds(a, Clock::now());
}

// The whole drawing's display list beside its load, five rounds: one measurement of either
// swings with how fast the system hands out fresh memory just then, so the medians are compared.
bool DrawingLists(const std::filesystem::path& file, int entities) {
  // Load and list in turn, as a run does.
  constexpr int kRounds = 5;
  std::vector<double> loads, lists, singleLists;
  size_t listBytes = 0;
  std::string counts;
  for (int round = 0; round < kRounds; ++round) {
    JwwDocument d;
    auto t0 = Clock::now();
    if (!d.LoadFromFile(file)) return false;
    auto t1 = Clock::now();
    const DisplayList whole = RenderDrawing(d, PictureStyle::kMonochrome);
    auto t2 = Clock::now();
    {
      // The same list on one thread, for machines with one core.
      DisplayList single;
      single.width = whole.width, single.height = whole.height;
      auto t3 = Clock::now();
      DisplayListBuilder(d, PictureStyle::kMonochrome, single)
          .AddEntities(d, d.order, d.order.size(), Affine{1, 0, 0, 1, whole.width / 2, whole.height / 2}, 1);
      singleLists.push_back(Seconds(t3, Clock::now()));
    }
    loads.push_back(Seconds(t0, t1));
    lists.push_back(Seconds(t1, t2));
    listBytes = ListBytes(whole);
    counts = std::to_string(CountItems(whole, ItemKind::kStroke)) + " strokes, " +
             std::to_string(CountItems(whole, ItemKind::kText)) + " text runs, " +
             std::to_string(CountItems(whole, ItemKind::kFill)) + " fills, " +
             std::to_string(CountItems(whole, ItemKind::kPlacement)) + " placements";
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto range = [](const std::vector<double>& v) {
    return " (" + std::to_string(*std::min_element(v.begin(), v.end())) + " to " +
           std::to_string(*std::max_element(v.begin(), v.end())) + ")";
  };
  std::cout << "entities " << entities << ", " << kRounds << " rounds, medians\n"
            << "load                    " << median(loads) << " s" << range(loads) << "\n"
            << "display list (drawing)  " << median(lists) << " s" << range(lists) << "\n"
            << "  " << counts << "\n"
            << "  list / load           " << median(lists) / median(loads) << " (" << DrawingThreads(entities)
            << " threads)\n"
            << "display list, 1 thread  " << median(singleLists) << " s" << range(singleLists) << "\n"
            << "  list / load           " << median(singleLists) / median(loads) << "\n"
            << "  list memory           " << listBytes / 1e6 << " MB; first touch of as much new memory "
            << TouchSeconds(listBytes) << " s\n";
  return true;
}

// An A1 sheet in the middle of the drawing: its list, and its pictures by cairo and by the
// portable PDF writer.
bool SheetPictures(const std::filesystem::path& file, const std::filesystem::path& dir) {
  JwwDocument doc;
  if (!doc.LoadFromFile(file)) return false;
  PaperFrame a1;
  a1.minX = 5000 - 420.5, a1.maxX = 5000 + 420.5, a1.minY = 250 - 297, a1.maxY = 250 + 297;
  const std::vector<PaperFrame> frames{a1};
  auto t3 = Clock::now();
  SheetExtractor extractor(doc, frames);
  const SheetView view = extractor.Extract(0, 0, SheetOptions{});
  auto t4 = Clock::now();
  const DisplayList sheet = RenderSheet(doc, view, a1, PaperSizeFor(a1), PictureStyle::kMonochrome);
  auto t5 = Clock::now();
  std::string error;
  PictureOutput o;
  o.dpi = 150;
  if (!WritePicture(sheet, dir / "a1.png", PictureFormat::kPng, o, error)) std::cerr << error << "\n";
  auto t6 = Clock::now();
  if (!WritePicture(sheet, dir / "a1.pdf", PictureFormat::kPdf, o, error)) std::cerr << error << "\n";
  auto t7 = Clock::now();
  // Again, warm: fontconfig and the fonts are loaded once a process, not once a page.
  auto t8 = Clock::now();
  if (!WritePicture(sheet, dir / "a1.pdf", PictureFormat::kPdf, o, error)) std::cerr << error << "\n";
  auto t9 = Clock::now();
  // The same page through the portable writer, its fonts found (cold) and then again (warm).
  auto t10 = Clock::now();
  const std::unique_ptr<FontSource> fonts = MakeSystemFontSource();
  PdfOutput pdf;
  pdf.fonts = fonts.get();
  if (!WritePdf({PdfPage{&sheet, 1.0, "A1"}}, dir / "a1-own.pdf", pdf, error)) std::cerr << error << "\n";
  auto t11 = Clock::now();
  if (!WritePdf({PdfPage{&sheet, 1.0, "A1"}}, dir / "a1-own.pdf", pdf, error)) std::cerr << error << "\n";
  auto t12 = Clock::now();
  const double cairoBytes = double(std::filesystem::file_size(dir / "a1.pdf"));
  const double ownBytes = double(std::filesystem::file_size(dir / "a1-own.pdf"));
  std::cout << "A1 sheet: " << view.order.size() << " entities (extract " << Seconds(t3, t4) << " s)\n"
            << "display list (A1 sheet) " << Seconds(t4, t5) << " s\n"
            << "PNG 150 dpi             " << Seconds(t5, t6) << " s\n"
            << "PDF (cairo)             " << Seconds(t6, t7) << " s cold, " << Seconds(t8, t9) << " s warm, "
            << cairoBytes / 1e6 << " MB\n"
            << "PDF (own writer)        " << Seconds(t10, t11) << " s cold, " << Seconds(t11, t12) << " s warm, "
            << ownBytes / 1e6 << " MB\n"
            << "  own / cairo           " << Seconds(t10, t11) / Seconds(t6, t7) << " x the time cold, "
            << Seconds(t11, t12) / Seconds(t8, t9) << " x warm, " << ownBytes / cairoBytes << " x the size\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int entities = argc > 1 ? std::stoi(argv[1]) : 1000000;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kelvane-bench-render";
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "big.jww";
  SaveBenchmarkDrawing(file, entities);

  const bool measured = DrawingLists(file, entities) && SheetPictures(file, dir);
  std::filesystem::remove_all(dir);
  return measured ? 0 : 1;
}
