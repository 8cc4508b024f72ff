// PDF files of a run: a sheet's PDF and a drawing's set, through the portable writer with the
// system's fonts; images decoded as the other formats decode them, by stb_image alone.
#include "app/pictures/pdf_files.h"

#include <memory>
#include <optional>

#include "app/plan_picture.h"
#include "platform/file_identity.h"
#include "platform/font_source.h"
#include "render/image_decode.h"
#include "drawing/image_source.h"
#include "render/draw_guard.h"
#include "render/pdf/pdf_output.h"

namespace kelvane {

namespace {

// The system's fonts, found once for the process and shared by every thread writing.
FontSource& SystemFonts() {
  static const std::unique_ptr<FontSource> fonts = MakeSystemFontSource();
  return *fonts;
}

// The portable PDF writer's output: the system's fonts, images decoded as the other formats
// decode them. Holds on to `o`.
// `title`: what a reader shows in its title bar; empty, the file's own name.
PdfOutput PdfOutputFor(const PictureOutput& o, const PictureOptions& options, const std::string& title) {
  PdfOutput pdf;
  pdf.layers = options.pdfLayers;
  pdf.title = title;
  pdf.fonts = &SystemFonts();
  pdf.imagesLeftOut = o.imagesLeftOut;
  if (o.imageBytes)
    pdf.image = [&o](const JwwString& source, uint64_t maxPixels, ImageProblem& problem) -> std::optional<RasterImage> {
      const std::vector<uint8_t> bytes = o.imageBytes(source, problem);
      if (problem != ImageProblem::kNone) return std::nullopt;
      if (bytes.empty()) {
        problem = ImageProblem::kMissing;
        return std::nullopt;
      }
      DecodedImage image;
      switch (DecodeImageWithin(bytes, IsGzipName(source), maxPixels, image)) {
        case DecodeResult::kNotAnImage: problem = ImageProblem::kUndecodable; return std::nullopt;
        case DecodeResult::kTooManyPixels: problem = ImageProblem::kTooManyPixels; return std::nullopt;
        case DecodeResult::kDecoded: break;
      }
      return ToRasterImage(image);
    };
  return pdf;
}

}  // namespace

PictureOutput PictureOutputFor(const JwwDocument& doc, const std::filesystem::path& drawing, int dpi) {
  PictureOutput o;
  o.dpi = dpi;
  o.imageBytes = [&images = doc.images, folder = DrawingFolder(drawing)](const JwwString& source,
                                                                        ImageProblem& problem) {
    return ImageBytesFor(images, source, folder, &problem);
  };
  return o;
}

std::string TitleOf(const std::filesystem::path& file) {
  const std::u8string name = file.filename().u8string();
  return std::string(name.begin(), name.end());
}

// One page as a PDF of its own.
bool WritePdfPage(const DisplayList& list, const std::filesystem::path& file, const PictureOutput& o,
                  const PictureOptions& options, const std::string& title, std::string& error) {
  return WritePdf({PdfPage{&list, o.pageScale, {}}}, file, PdfOutputFor(o, options, title), error);
}

void AddPictureWarnings(const std::filesystem::path& file, const DisplayList& list, const ImagesLeftOut& leftOut,
                        std::string* warnings) {
  if (!warnings) return;
  const std::string skipped = SkippedEntitiesWarning(list);
  if (!skipped.empty()) *warnings += file.string() + ": " + skipped + "\n";
  if (leftOut.Total() > 0) *warnings += file.string() + ": " + ImagesLeftOutWarning(leftOut) + "\n";
}

bool WriteSheetPdf(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                   const std::filesystem::path& file, const PictureOptions& options, std::string& reason,
                   std::string* warnings) {
  return GuardedDraw(reason, [&](std::string& why) {
    const DisplayList list = SheetPicture(doc, plan, sheet, options.color);
    why = ProtectedTargetProblem(file, options.protectedFiles);
    if (why.empty() && list.overBudget) why = OverBudgetMessage();
    if (!why.empty()) return false;
    PictureOutput o = PictureOutputFor(doc, plan.source, options.dpi);
    ImagesLeftOut leftOut;
    o.imagesLeftOut = &leftOut;
    if (!WritePdfPage(list, file, o, options, TitleOf(sheet.file), why)) return false;
    AddPictureWarnings(file, list, leftOut, warnings);
    return true;
  });
}

bool WriteSheetSetPdf(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets, bool withPlan,
                      const PictureOptions& options, std::string& error, std::string* warnings) {
  const std::filesystem::path file = SheetSetFileOf(plan);
  std::string reason;
  if (WriteSheetSetPdfAt(doc, plan, sheets, withPlan, file, options, reason, warnings)) return true;
  error = file.string() + ": picture not written: " + reason;
  return false;
}

bool WriteSheetSetPdfAt(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets,
                        bool withPlan, const std::filesystem::path& file, const PictureOptions& options,
                        std::string& reason, std::string* warnings) {
  return GuardedDraw(reason, [&](std::string& reason) {
    reason = ProtectedTargetProblem(file, options.protectedFiles);
    if (!reason.empty()) return false;
    SheetSetPages pages(doc, plan, sheets, withPlan, options.color, options.dpi);
    std::string skipped;
    const PdfPageMaker make = [&](size_t k) {
      const SheetSetPage& page = pages.At(k);
      if (skipped.empty()) skipped = SkippedEntitiesWarning(page.list);
      return PdfPage{&page.list, page.pageScale, page.bookmark};
    };
    PictureOutput o = PictureOutputFor(doc, plan.source, options.dpi);
    ImagesLeftOut leftOut;
    o.imagesLeftOut = &leftOut;
    if (!WritePdf(pages.Count(), make, file, PdfOutputFor(o, options, TitleOf(plan.source)), reason)) return false;
    if (warnings && !skipped.empty()) *warnings += file.string() + ": " + skipped + "\n";
    if (warnings && leftOut.Total() > 0) *warnings += file.string() + ": " + ImagesLeftOutWarning(leftOut) + "\n";
    return true;
  });
}

}  // namespace kelvane
