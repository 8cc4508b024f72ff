// Sheet PDFs for the Windows program.
#include "app/win32/sheet_pdfs.h"

#include "app/plan_picture.h"
#include "drawing/image_source.h"
#include "render/draw_guard.h"
#include "render/gdi/gdi_output.h"
#include "render/pdf/pdf_output.h"

namespace kelvane {

namespace {

// The pixels of an image as the preview decodes them (GDI+), as the PDF writer stores them.
std::optional<RasterImage> DecodeForPdf(const JwwDocument& doc, const std::filesystem::path& folder,
                                        const JwwString& source, uint64_t maxPixels, ImageProblem& problem) {
  const std::vector<uint8_t> bytes = ImageBytesFor(doc.images, source, folder, &problem);
  if (bytes.empty()) return std::nullopt;
  GdiImage decoded;
  if (!DecodeImageBytes(bytes, IsGzipName(source), decoded, maxPixels)) {
    problem = ImageProblem::kUndecodable;
    return std::nullopt;
  }
  RasterImage image;
  image.width = decoded.width;
  image.height = decoded.height;
  image.rgb.resize(decoded.pixels.size() * 3);
  for (size_t i = 0; i < decoded.pixels.size(); ++i) {
    const uint32_t p = decoded.pixels[i];  // blue, green, red, unused from the lowest byte up
    image.rgb[3 * i] = uint8_t(p >> 16);
    image.rgb[3 * i + 1] = uint8_t(p >> 8);
    image.rgb[3 * i + 2] = uint8_t(p);
  }
  return image;
}

// The system's fonts, and GDI+ for the images found beside the drawing.
PdfOutput OutputFor(FontSource& fonts, const JwwDocument& doc, const std::filesystem::path& drawing) {
  PdfOutput output;
  output.fonts = &fonts;
  output.image = [&doc, folder = DrawingFolder(drawing)](const JwwString& source, uint64_t maxPixels,
                                                         ImageProblem& problem) {
    return DecodeForPdf(doc, folder, source, maxPixels, problem);
  };
  return output;
}

// A PDF's title: the sheet's or the drawing's file name, in UTF-8.
std::string TitleOf(const std::filesystem::path& file) {
  const std::u8string name = file.filename().u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace

SheetPdfWriter::SheetPdfWriter() = default;
SheetPdfWriter::~SheetPdfWriter() = default;

std::filesystem::path SheetPdfWriter::PdfFileOf(const std::filesystem::path& sheetFile) {
  std::filesystem::path pdf = sheetFile;
  pdf.replace_extension(".pdf");
  return pdf;
}

bool SheetPdfWriter::Write(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                           const std::set<FileIdentity>& protectedFiles, std::string& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::filesystem::path file = PdfFileOf(sheet.file);
  return GuardedDraw(reason, [&](std::string& why) {
    // A name that reaches an input or a settings file, by a link or by case, is refused.
    why = ProtectedTargetProblem(file, protectedFiles);
    if (!why.empty()) return false;
    return WriteListHeld(SheetPicture(doc, plan, sheet, std::nullopt), doc, plan.source, file, why,
                         TitleOf(sheet.file));
  });
}

FontSource& SheetPdfWriter::Fonts() {
  if (!fonts_) fonts_ = MakeSystemFontSource();
  return *fonts_;
}

bool SheetPdfWriter::WriteSet(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets,
                              const std::set<FileIdentity>& protectedFiles, std::string& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::filesystem::path file = SheetSetFileOf(plan);
  return GuardedDraw(reason, [&](std::string& why) {
    why = ProtectedTargetProblem(file, protectedFiles);
    if (!why.empty()) return false;
    SheetSetPages pages(doc, plan, sheets, false, std::nullopt, 150);
    const PdfPageMaker make = [&](size_t k) {
      const SheetSetPage& page = pages.At(k);
      return PdfPage{&page.list, page.pageScale, page.bookmark};
    };
    PdfOutput output = OutputFor(Fonts(), doc, plan.source);
    output.title = TitleOf(plan.source);
    return WritePdf(pages.Count(), make, file, output, why);
  });
}

bool SheetPdfWriter::WriteList(const DisplayList& list, const JwwDocument& doc, const std::filesystem::path& drawing,
                               const std::filesystem::path& file, std::string& reason, const std::string& title) {
  std::lock_guard<std::mutex> lock(mutex_);
  return WriteListHeld(list, doc, drawing, file, reason, title);
}

bool SheetPdfWriter::WriteListHeld(const DisplayList& list, const JwwDocument& doc,
                                   const std::filesystem::path& drawing, const std::filesystem::path& file,
                                   std::string& reason, const std::string& title) {
  return GuardedDraw(reason, [&](std::string& why) {
    if (list.overBudget) {
      why = OverBudgetMessage();
      return false;
    }
    PdfOutput output = OutputFor(Fonts(), doc, drawing);
    output.title = title;
    return WritePdf({PdfPage{&list, 1.0, {}}}, file, output, why);
  });
}

bool SheetPdfPictures::WriteSheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                                         PictureFormat format, const std::filesystem::path& file,
                                         const std::set<FileIdentity>& protectedFiles, std::string& reason,
                                         std::string&) {
  // The window asks for PDFs alone, at the name the plan gives every sheet's PDF.
  if (format != PictureFormat::kPdf || file != SheetPdfWriter::PdfFileOf(sheet.file)) {
    reason = "this picture cannot be drawn here";
    return false;
  }
  return writer_.Write(doc, plan, sheet, protectedFiles, reason);
}

bool SheetPdfPictures::WriteSheetSet(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets,
                                     bool, const std::filesystem::path& file,
                                     const std::set<FileIdentity>& protectedFiles, std::string& reason, std::string&) {
  if (file != SheetSetFileOf(plan)) {
    reason = "this picture cannot be drawn here";
    return false;
  }
  return writer_.WriteSet(doc, plan, sheets, protectedFiles, reason);
}

}  // namespace kelvane
