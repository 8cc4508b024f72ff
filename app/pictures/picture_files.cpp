// Picture files: PNG and SVG through the cairo backend, PDF through the portable writer that
// the Windows program writes its PDFs with too.
#include "app/pictures/picture_files.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>

#include "app/plan_picture.h"
#include "platform/file_identity.h"
#include "platform/font_source.h"
#include "render/cairo/cairo_output.h"
#include "render/cairo/image_decode.h"
#include "render/image_source.h"
#include "render/pdf/pdf_output.h"

namespace kelvane {

namespace {

PictureOutput OutputFor(const JwwDocument& doc, const std::filesystem::path& drawing, int dpi) {
  PictureOutput o;
  o.dpi = dpi;
  o.imageBytes = [&images = doc.images, folder = DrawingFolder(drawing)](const JwwString& source,
                                                                        ImageProblem& problem) {
    return ImageBytesFor(images, source, folder, &problem);
  };
  return o;
}

// A PDF's title: the sheet's or the drawing's file name.
std::string TitleOf(const std::filesystem::path& file) {
  const std::u8string name = file.filename().u8string();
  return std::string(name.begin(), name.end());
}

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

// One page as a PDF of its own.
bool WritePdfPage(const DisplayList& list, const std::filesystem::path& file, const PictureOutput& o,
                  const PictureOptions& options, const std::string& title, std::string& error) {
  return WritePdf({PdfPage{&list, o.pageScale, {}}}, file, PdfOutputFor(o, options, title), error);
}

// Writes one picture; entities and images left out of it are warning lines, not a failure.
bool WriteWithWarnings(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                       PictureOutput o, const PictureOptions& options, const std::string& title, std::string& error,
                       std::string* warnings) {
  ImagesLeftOut leftOut;
  o.imagesLeftOut = &leftOut;
  const bool written = format == PictureFormat::kPdf ? WritePdfPage(list, file, o, options, title, error)
                                                     : WritePicture(list, file, format, o, error);
  const std::string skipped = SkippedEntitiesWarning(list);
  if (written && warnings && !skipped.empty()) *warnings += file.string() + ": " + skipped + "\n";
  if (written && warnings && leftOut.Total() > 0) *warnings += file.string() + ": " + ImagesLeftOutWarning(leftOut) + "\n";
  return written;
}

// Runs `draw` (which makes the display list and writes the files) so that no failure escapes:
// each is "FILE: picture not written: REASON" in `error`, and the run goes on.
template <typename Draw>
bool Guarded(const std::filesystem::path& file, std::string& error, Draw&& draw) {
  std::string reason;
  try {
    if (draw(reason)) return true;
  } catch (const std::bad_alloc&) {
    reason = "out of memory while drawing";
  } catch (const std::exception& e) {
    reason = e.what();
  }
  error = file.string() + ": picture not written: " + reason;
  return false;
}

// The same with the bare reason, for a caller that names the file itself.
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

// Checks the target and the list, then writes; false with the reason.
bool WriteChecked(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                  const PictureOutput& o, const PictureOptions& options, std::string& reason,
                  std::string* warnings, const std::string& title = {}) {
  reason = ProtectedTargetProblem(file, options.protectedFiles);
  if (reason.empty() && list.overBudget) reason = OverBudgetMessage();
  return reason.empty() && WriteWithWarnings(list, file, format, o, options, title, reason, warnings);
}

}  // namespace

bool WritePlanPicture(const JwwDocument& doc, const SheetPlan& plan, const std::filesystem::path& file,
                      const PictureOptions& options, std::string& error, std::string* warnings) {
  return Guarded(file, error, [&](std::string& reason) {
    const DisplayList list = PlanPicture(doc, plan, options.dpi);
    PictureOutput o = OutputFor(doc, plan.source, options.dpi);
    o.pageScale = PlanPageScale(list);
    return WriteChecked(list, file, *PictureFormatFor(file), o, options, reason, warnings);
  });
}

bool WriteSheetPictures(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                        const PictureOptions& options, std::string& error, std::string* warnings) {
  if (!sheet.ToBeWritten() || options.formats.empty()) return true;
  std::filesystem::path file = sheet.file;
  file.replace_extension(ExtensionOf(options.formats.front()));
  // One list for every format; its failure is told under the first picture's name.
  std::optional<DisplayList> list;
  const bool listed = Guarded(file, error, [&](std::string&) {
    list.emplace(SheetPicture(doc, plan, sheet, options.color));
    return true;
  });
  if (!listed) return false;
  const PictureOutput o = OutputFor(doc, plan.source, options.dpi);
  for (PictureFormat f : options.formats) {
    file.replace_extension(ExtensionOf(f));
    if (!Guarded(file, error, [&](std::string& reason) {
          return WriteChecked(*list, file, f, o, options, reason, warnings, TitleOf(sheet.file));
        }))
      return false;
  }
  return true;
}

bool WriteDrawingPicture(const JwwDocument& doc, const std::filesystem::path& drawing,
                         const std::filesystem::path& file, const PictureOptions& options, std::string& error,
                         std::string* warnings) {
  return Guarded(file, error, [&](std::string& reason) {
    const DisplayList list = RenderDrawing(doc, PrintStyle(doc, options.color));
    return WriteChecked(list, file, *PictureFormatFor(file), OutputFor(doc, drawing, options.dpi), options, reason,
                        warnings, TitleOf(drawing));
  });
}

bool WriteSheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet, PictureFormat format,
                       const std::filesystem::path& file, const PictureOptions& options, std::string& reason,
                       std::string* warnings) {
  return GuardedReason(reason, [&](std::string& why) {
    const DisplayList list = SheetPicture(doc, plan, sheet, options.color);
    return WriteChecked(list, file, format, OutputFor(doc, plan.source, options.dpi), options, why, warnings,
                        TitleOf(sheet.file));
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
    SheetSetPages pages(doc, plan, sheets, withPlan, options.color, options.dpi);
    std::string skipped;
    const PdfPageMaker make = [&](size_t k) {
      const SheetSetPage& page = pages.At(k);
      if (skipped.empty()) skipped = SkippedEntitiesWarning(page.list);
      return PdfPage{&page.list, page.pageScale, page.bookmark};
    };
    PictureOutput o = OutputFor(doc, plan.source, options.dpi);
    ImagesLeftOut leftOut;
    o.imagesLeftOut = &leftOut;
    if (!WritePdf(pages.Count(), make, file, PdfOutputFor(o, options, TitleOf(plan.source)), reason)) return false;
    if (warnings && !skipped.empty()) *warnings += file.string() + ": " + skipped + "\n";
    if (warnings && leftOut.Total() > 0) *warnings += file.string() + ": " + ImagesLeftOutWarning(leftOut) + "\n";
    return true;
  });
}

}  // namespace kelvane
