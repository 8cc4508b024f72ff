// The entry of the PDF module (kelvane-pdf.so): the only symbol it exports.
#include <cstring>
#include <type_traits>

#include "app/pictures/pdf_library.h"

extern "C" __attribute__((visibility("default"))) const kelvane::PdfLibrary* kelvane_pdf_library(const char* version) {
  static_assert(std::is_same_v<decltype(&kelvane_pdf_library), kelvane::PdfModuleEntry>);
  if (!version || std::strcmp(version, KELVANE_VERSION) != 0) return nullptr;
  return &kelvane::LinkedPdfLibrary();
}
