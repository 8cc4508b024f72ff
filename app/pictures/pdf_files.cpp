// PDF files of a run: a sheet's PDF and a drawing's set, through the portable writer with the
// system's fonts; images decoded as the other formats decode them, by stb_image alone.
#include "app/pictures/pdf_files.h"

#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "app/plan_picture.h"
#include "platform/file_identity.h"
#include "platform/font_source.h"
#include "render/cairo/image_decode.h"
#include "render/image_source.h"
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
PdfOutput PdfOutputFor(const PictureOutput& o) {
  PdfOutput pdf;
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

// Runs `draw` so that no failure escapes: false with the reason.
template <typename Draw>
bool GuardedReason(std::string& reason, Draw&& draw) {
  try {
    return draw(reason);
  } catch (const std::bad_alloc&) {
    reason = "out of memory while drawing";
  } catch (const std::exception& e) {
    reason = e.what();
  }
  return false;
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

// One page as a PDF of its own.
bool WritePdfPage(const DisplayList& list, const std::filesystem::path& file, const PictureOutput& o,
                  std::string& error) {
  return WritePdf({PdfPage{&list, o.pageScale, {}}}, file, PdfOutputFor(o), error);
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
  return GuardedReason(reason, [&](std::string& why) {
    const DisplayList list = SheetPicture(doc, plan, sheet, options.color);
    why = ProtectedTargetProblem(file, options.protectedFiles);
    if (why.empty() && list.overBudget) why = OverBudgetMessage();
    if (!why.empty()) return false;
    PictureOutput o = PictureOutputFor(doc, plan.source, options.dpi);
    ImagesLeftOut leftOut;
    o.imagesLeftOut = &leftOut;
    if (!WritePdfPage(list, file, o, why)) return false;
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
  return GuardedReason(reason, [&](std::string& reason) {
    reason = ProtectedTargetProblem(file, options.protectedFiles);
    if (!reason.empty()) return false;
    std::optional<SheetSetPage> current;
    std::string skipped;
    const PdfPageMaker make = [&](size_t k) {
      current.reset();  // the page before goes first
      current.emplace(SheetSetPageAt(doc, plan, sheets, withPlan, k, options.color, options.dpi));
      if (skipped.empty()) skipped = SkippedEntitiesWarning(current->list);
      return PdfPage{&current->list, current->pageScale, current->bookmark};
    };
    PictureOutput o = PictureOutputFor(doc, plan.source, options.dpi);
    ImagesLeftOut leftOut;
    o.imagesLeftOut = &leftOut;
    if (!WritePdf(SheetSetPageCount(sheets, withPlan), make, file, PdfOutputFor(o), reason)) return false;
    if (warnings && !skipped.empty()) *warnings += file.string() + ": " + skipped + "\n";
    if (warnings && leftOut.Total() > 0) *warnings += file.string() + ": " + ImagesLeftOutWarning(leftOut) + "\n";
    return true;
  });
}

}  // namespace kelvane
