// The picture files that are PDF (Linux command line): a sheet's PDF and a drawing's PDF set,
// through the portable writer with the system's fonts. Nothing here draws with cairo, so that
// the PDF module (kelvane-pdf.so) carries these without cairo, pango and what they bring.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/sheet_plan.h"
#include "platform/file_identity.h"
#include "render/cairo/cairo_output.h"
#include "render/display_list.h"

namespace kelvane {

struct PictureOptions {
  std::vector<PictureFormat> formats;  // beside each written sheet, one file per format
  // Print colours (true) or black (false); none: as the drawing's colour-print setting says.
  std::optional<bool> color;
  int dpi = 150;                       // PNG resolution
  // Files no picture may replace, whatever name reaches them: the run's inputs and its settings.
  std::set<FileIdentity> protectedFiles;
  // PDF: the drawing's layers as layers a reader switches (--no-pdf-layers: none).
  bool pdfLayers = true;
};

// A PDF's title: the sheet's or the drawing's file name.
std::string TitleOf(const std::filesystem::path& file);

// One page as a PDF of its own, with the images `o` finds. `title`: what a reader shows in its
// title bar; empty, the file's own name.
bool WritePdfPage(const DisplayList& list, const std::filesystem::path& file, const PictureOutput& o,
                  const PictureOptions& options, const std::string& title, std::string& error);

// The warning lines of a picture written at `file` without some of its entities or images.
void AddPictureWarnings(const std::filesystem::path& file, const DisplayList& list, const ImagesLeftOut& leftOut,
                        std::string* warnings);

// What a picture of the drawing at `drawing` finds its images with, at `dpi`.
PictureOutput PictureOutputFor(const JwwDocument& doc, const std::filesystem::path& drawing, int dpi);

// The PDF of a written sheet at `file`, which the run's plan named: WriteSheetPicture for PDF.
bool WriteSheetPdf(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                   const std::filesystem::path& file, const PictureOptions& options, std::string& reason,
                   std::string* warnings = nullptr);

// The PDF set of a drawing at SheetSetFileOf: the pages of SheetSetPages, each on the paper of
// its own picture, their bookmarks as the outline. Each page is drawn and written before the
// next, so that one page's list is held at a time.
bool WriteSheetSetPdf(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets, bool withPlan,
                      const PictureOptions& options, std::string& error, std::string* warnings = nullptr);

// The same at `file`, which the run's plan named; false with the bare reason.
bool WriteSheetSetPdfAt(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets,
                        bool withPlan, const std::filesystem::path& file, const PictureOptions& options,
                        std::string& reason, std::string* warnings = nullptr);

}  // namespace kelvane
