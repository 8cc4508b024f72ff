// The Windows program's PDF of an A1 sheet of the million-entity drawing (bench/bench_render's
// sheet): the time and size with the system's fonts, to set beside the Linux figures.
// Usage: bench_sheet_pdf.exe [ENTITIES]   (run by hand; not a test)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/benchmark_drawing.h"
#include "platform/font_source.h"
#include "render/pdf/pdf_output.h"
#include "render/render.h"
#include "split/extract.h"

using namespace kelvane;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int entities = argc > 1 ? std::atoi(argv[1]) : 1000000;
  JwwDocument doc;
  BuildBenchmarkDrawing(doc, entities);
  PaperFrame a1;
  a1.minX = 5000 - 420.5, a1.maxX = 5000 + 420.5, a1.minY = 250 - 297, a1.maxY = 250 + 297;
  SheetExtractor extractor(doc, {a1});
  const SheetView view = extractor.Extract(0, 0, SheetOptions{});
  const DisplayList sheet = RenderSheet(doc, view, a1, PaperSizeFor(a1), PictureStyle::kMonochrome);
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "kelvane-bench-a1.pdf";
  const std::unique_ptr<FontSource> fonts = MakeSystemFontSource();
  PdfOutput pdf;
  pdf.fonts = fonts.get();
  std::string error;
  for (int run = 0; run < 3; ++run) {  // the first run also reads the fonts
    const auto start = Clock::now();
    if (!WritePdf({PdfPage{&sheet, 1.0, "A1"}}, file, pdf, error)) std::fprintf(stderr, "%s\n", error.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("A1 sheet, %zu entities: PDF %.3f s, %.2f MB\n", view.order.size(), seconds,
                double(std::filesystem::file_size(file)) / 1e6);
  }
  std::filesystem::remove(file);
  return 0;
}
