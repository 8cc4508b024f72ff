#include "app/pictures/pdf_library.h"

namespace kelvane {

const PdfLibrary& LinkedPdfLibrary() {
  static const PdfLibrary library{
      .writeSheetPdf = WriteSheetPdf, .writeSheetSetPdfAt = WriteSheetSetPdfAt, .imageAsPng = ImageAsPng};
  return library;
}

}  // namespace kelvane
