// Picture files: PNG and SVG through the cairo backend; PDF through pdf_files, the portable
// writer that the Windows program writes its PDFs with too.
#include "app/pictures/picture_files.h"

#include "app/pictures/pdf_files.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "app/plan_picture.h"
#include "platform/file_identity.h"
#include "render/cairo/cairo_output.h"
#include "drawing/image_source.h"
#include "render/draw_guard.h"

namespace kelvane {

namespace {

PictureOutput OutputFor(const JwwDocument& doc, const std::filesystem::path& drawing, int dpi) {
  return PictureOutputFor(doc, drawing, dpi);
}

// Writes one picture; entities and images left out of it are warning lines, not a failure.
bool WriteWithWarnings(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                       PictureOutput o, const PictureOptions& options, const std::string& title, std::string& error,
                       std::string* warnings) {
  ImagesLeftOut leftOut;
  o.imagesLeftOut = &leftOut;
  const bool written = format == PictureFormat::kPdf ? WritePdfPage(list, file, o, options, title, error)
                                                     : WritePicture(list, file, format, o, error);
  if (written) AddPictureWarnings(file, list, leftOut, warnings);
  return written;
}

// Runs `draw` (which makes the display list and writes the files) so that no failure escapes:
// each is "FILE: picture not written: REASON" in `error`, and the run goes on.
template <typename Draw>
bool Guarded(const std::filesystem::path& file, std::string& error, Draw&& draw) {
  std::string reason;
  if (GuardedDraw(reason, std::forward<Draw>(draw))) return true;
  error = file.string() + ": picture not written: " + reason;
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
  if (format == PictureFormat::kPdf) return WriteSheetPdf(doc, plan, sheet, file, options, reason, warnings);
  return GuardedDraw(reason, [&](std::string& why) {
    const DisplayList list = SheetPicture(doc, plan, sheet, options.color);
    return WriteChecked(list, file, format, OutputFor(doc, plan.source, options.dpi), options, why, warnings,
                        TitleOf(sheet.file));
  });
}

}  // namespace kelvane
