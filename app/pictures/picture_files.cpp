// Picture files through the cairo backend.
#include "app/pictures/picture_files.h"

#include <algorithm>
#include <system_error>

#include "app/plan_picture.h"
#include "render/cairo/cairo_output.h"
#include "render/image_source.h"

namespace kelvane {

namespace {

// A plan bigger than this (the long side of A0) is scaled down to it.
constexpr double kLargestPlanPage = 1189;

PictureOutput OutputFor(const JwwDocument& doc, const std::filesystem::path& drawing, int dpi) {
  PictureOutput o;
  o.dpi = dpi;
  o.imageBytes = [&images = doc.images, folder = DrawingFolder(drawing)](const JwwString& source,
                                                                        ImageProblem& problem) {
    return ImageBytesFor(images, source, folder, &problem);
  };
  return o;
}

// False with the message for a list that must not be drawn.
bool Drawable(const DisplayList& list, std::string& error) {
  if (!list.overBudget) return true;
  error = OverBudgetMessage();
  return false;
}

// Writes one picture; entities and images left out of it are warning lines, not a failure.
bool WriteWithWarnings(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                       PictureOutput o, std::string& error, std::string* warnings) {
  ImagesLeftOut leftOut;
  o.imagesLeftOut = &leftOut;
  const bool written = WritePicture(list, file, format, o, error);
  const std::string skipped = SkippedEntitiesWarning(list);
  if (written && warnings && !skipped.empty()) *warnings += file.string() + ": " + skipped + "\n";
  if (written && warnings && leftOut.Total() > 0) *warnings += file.string() + ": " + ImagesLeftOutWarning(leftOut) + "\n";
  return written;
}

}  // namespace

std::string PictureFileProblem(const std::filesystem::path& file) {
  if (!PictureFormatFor(file)) return "a picture file must end in .png, .svg or .pdf: " + file.string();
  const std::filesystem::path folder = file.parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
    return "the folder of the picture does not exist: " + folder.string();
  return {};
}

bool WritePlanPicture(const JwwDocument& doc, const SheetPlan& plan, const std::filesystem::path& file, int dpi,
                      std::string& error, std::string* warnings) {
  const DisplayList list = PlanPicture(doc, plan);
  if (!Drawable(list, error)) return false;
  PictureOutput o = OutputFor(doc, plan.source, dpi);
  o.pageScale = std::min(1.0, kLargestPlanPage / std::max(list.width, list.height));
  return WriteWithWarnings(list, file, *PictureFormatFor(file), o, error, warnings);
}

bool WriteSheetPictures(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                        const PictureOptions& options, std::string& error, std::string* warnings) {
  if (!sheet.ToBeWritten() || options.formats.empty()) return true;
  const DisplayList list = SheetPicture(doc, plan, sheet, options.color);
  if (!Drawable(list, error)) return false;
  const PictureOutput o = OutputFor(doc, plan.source, options.dpi);
  for (PictureFormat f : options.formats) {
    std::filesystem::path file = sheet.file;
    file.replace_extension(ExtensionOf(f));
    if (!WriteWithWarnings(list, file, f, o, error, warnings)) return false;
  }
  return true;
}

bool WriteDrawingPicture(const JwwDocument& doc, const std::filesystem::path& drawing,
                         const std::filesystem::path& file, bool color, int dpi, std::string& error,
                         std::string* warnings) {
  const DisplayList list = RenderDrawing(doc, color ? PictureStyle::kColor : PictureStyle::kMonochrome);
  if (!Drawable(list, error)) return false;
  return WriteWithWarnings(list, file, *PictureFormatFor(file), OutputFor(doc, drawing, dpi), error, warnings);
}

}  // namespace kelvane
