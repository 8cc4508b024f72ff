// Picture files through the cairo backend.
#include "app/picture_files.h"

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
  const std::filesystem::path folder = drawing.parent_path();
  o.imageBytes = [&images = doc.images, folder](const JwwString& source) {
    return ImageBytesFor(images, source, folder);
  };
  return o;
}

// False with the message for a list that must not be drawn.
bool Drawable(const DisplayList& list, std::string& error, std::string* warning) {
  if (list.overBudget) {
    error = OverBudgetMessage();
    return false;
  }
  if (warning) *warning = SkippedEntitiesWarning(list);
  return true;
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
                      std::string& error, std::string* warning) {
  const DisplayList list = PlanPicture(doc, plan);
  if (!Drawable(list, error, warning)) return false;
  PictureOutput o = OutputFor(doc, plan.source, dpi);
  o.pageScale = std::min(1.0, kLargestPlanPage / std::max(list.width, list.height));
  return WritePicture(list, file, *PictureFormatFor(file), o, error);
}

bool WriteSheetPictures(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                        const PictureOptions& options, std::string& error, std::string* warning) {
  if (!sheet.ToBeWritten() || options.formats.empty()) return true;
  const DisplayList list = SheetPicture(doc, plan, sheet, options.color);
  if (!Drawable(list, error, warning)) return false;
  const PictureOutput o = OutputFor(doc, plan.source, options.dpi);
  for (PictureFormat f : options.formats) {
    std::filesystem::path file = sheet.file;
    file.replace_extension(ExtensionOf(f));
    if (!WritePicture(list, file, f, o, error)) return false;
  }
  return true;
}

bool WriteDrawingPicture(const JwwDocument& doc, const std::filesystem::path& drawing,
                         const std::filesystem::path& file, bool color, int dpi, std::string& error, std::string* warning) {
  const DisplayList list = RenderDrawing(doc, color ? PictureStyle::kColor : PictureStyle::kMonochrome);
  if (!Drawable(list, error, warning)) return false;
  return WritePicture(list, file, *PictureFormatFor(file), OutputFor(doc, drawing, dpi), error);
}

}  // namespace kelvane
