// Printing written sheets through the print service, from their PDFs.
#include "app/posix/sheet_printer.h"

#include <stdlib.h>

#include <system_error>

#include "render/render.h"

namespace kelvane {

namespace {

void NameTheSheet(std::string& text, const std::filesystem::path& temporary, const std::filesystem::path& sheet) {
  const std::string from = temporary.string(), to = sheet.string();
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

}  // namespace

SheetPrinter::SheetPrinter(PrintService& service, std::string printer, PictureLoader pictures)
    : service_(service), printer_(std::move(printer)), pictures_(pictures) {}

SheetPrinter::~SheetPrinter() {
  std::error_code ec;
  if (!temporaryFolder_.empty()) std::filesystem::remove_all(temporaryFolder_, ec);
}

std::filesystem::path SheetPrinter::TemporaryFolder(std::string& error) {
  if (!temporaryFolder_.empty()) return temporaryFolder_;
  std::error_code ec;
  std::string pattern = (std::filesystem::temp_directory_path(ec) / "kelvane-print-XXXXXX").string();
  if (ec || !mkdtemp(pattern.data())) {
    error = "no temporary folder for the sheet's PDF";
    return {};
  }
  return temporaryFolder_ = pattern;
}

std::string SheetPrinter::Print(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                                const PictureOptions& pictures, const std::filesystem::path& besidePdf,
                                std::string& error, std::string* warnings) {
  PrintRequest request;
  request.title = sheet.file.filename().string();
  request.printer = printer_;
  SheetPageSize(plan.frames[sheet.frame], sheet.paperSize, request.widthMm, request.heightMm);
  request.document = besidePdf;
  if (request.document.empty()) {
    // Drawn as the PDF beside the sheet would be, into a private folder, never beside it.
    const std::filesystem::path folder = TemporaryFolder(error);
    if (folder.empty()) return {};
    const PictureLibrary* library = pictures_(error);
    if (!library) return {};
    PlannedSheet temporary = sheet;
    temporary.file = folder / sheet.file.filename();
    PictureOptions pdf = pictures;
    pdf.formats = {PictureFormat::kPdf};
    std::string drawn;
    const bool written = library->writeSheetPictures(doc, plan, temporary, pdf, error, &drawn);
    request.document = temporary.file.replace_extension(".pdf");
    // The user knows the sheet, not the temporary file: what is said of it names the sheet.
    NameTheSheet(error, request.document, sheet.file);
    NameTheSheet(drawn, request.document, sheet.file);
    if (warnings) *warnings += drawn;
    if (!written) return {};
  }
  const PrintOutcome outcome = service_.Print(request);
  if (besidePdf.empty()) {
    std::error_code ec;
    std::filesystem::remove(request.document, ec);
  }
  if (!outcome.sent) error = outcome.error;
  return outcome.sent ? outcome.job : std::string();
}

}  // namespace kelvane
