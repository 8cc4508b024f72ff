// A drawing on its own paper as a PDF through the Windows program's PDF path, as the Linux
// `kelvane --render DRAWING.jww FILE.pdf` draws it: for the agreement of both platforms' PDFs on
// drawings without paper frames.
// Usage: drawing_pdf.exe DRAWING.jww FILE.pdf
#include <cstdio>

#include "app/win32/sheet_pdfs.h"
#include "render/render.h"

using namespace kelvane;

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: drawing_pdf DRAWING.jww FILE.pdf\n");
    return 2;
  }
  const std::filesystem::path drawing = argv[1], file = argv[2];
  JwwDocument doc;
  if (!doc.LoadFromFile(drawing)) {
    std::fprintf(stderr, "cannot load the drawing: %s\n", doc.diagnostics.reason.c_str());
    return 1;
  }
  SheetPdfWriter writer;
  std::string reason;
  if (!writer.WriteList(RenderDrawing(doc, PrintStyle(doc, std::nullopt)), doc, drawing, file, reason)) {
    std::fprintf(stderr, "PDF not written: %s\n", reason.c_str());
    return 1;
  }
  return 0;
}
