// What the PDF module (kelvane-pdf.so) offers the command line: the PDF files of a run and the
// DXF files' images as PNG, none of which draws with cairo. A run that writes only these loads
// fontconfig, HarfBuzz and zlib, not cairo, pango and the forty libraries they bring.
#pragma once

#include "app/pictures/pdf_files.h"
#include "app/pictures/png_image.h"

namespace kelvane {

struct PdfLibrary {
  decltype(&WriteSheetPdf) writeSheetPdf;
  decltype(&WriteSheetSetPdfAt) writeSheetSetPdfAt;
  decltype(&ImageAsPng) imageAsPng;
};

// The functions as linked into this binary: the module's table.
const PdfLibrary& LinkedPdfLibrary();

// The module's one exported function; null unless `version` is the version it was built as.
inline constexpr char kPdfModuleEntry[] = "kelvane_pdf_library";
using PdfModuleEntry = const PdfLibrary* (*)(const char* version);

}  // namespace kelvane
