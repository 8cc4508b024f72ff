// The picture files that are PDF (Linux command line): a sheet's PDF and a drawing's PDF set,
// through the portable writer with the system's fonts. Nothing here draws with cairo, so that
// the PDF module (kelvane-pdf.so) carries these without cairo, pango and what they bring.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/pictures/picture_files.h"
#include "render/cairo/cairo_output.h"
#include "render/display_list.h"

namespace kelvane {

// One page as a PDF of its own, with the images `o` finds.
bool WritePdfPage(const DisplayList& list, const std::filesystem::path& file, const PictureOutput& o,
                  std::string& error);

// The warning lines of a picture written at `file` without some of its entities or images.
void AddPictureWarnings(const std::filesystem::path& file, const DisplayList& list, const ImagesLeftOut& leftOut,
                        std::string* warnings);

// What a picture of the drawing at `drawing` finds its images with, at `dpi`.
PictureOutput PictureOutputFor(const JwwDocument& doc, const std::filesystem::path& drawing, int dpi);

// The PDF of a written sheet at `file`, which the run's plan named: WriteSheetPicture for PDF.
bool WriteSheetPdf(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                   const std::filesystem::path& file, const PictureOptions& options, std::string& reason,
                   std::string* warnings = nullptr);

}  // namespace kelvane
