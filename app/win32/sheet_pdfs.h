// A PDF beside every written sheet (Windows program): the sheet's picture, the same display list
// every picture draws, through the portable PDF writer with the system's fonts and GDI+ images.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/output_writer.h"
#include "app/sheet_plan.h"
#include "jww/document.h"
#include "platform/file_identity.h"
#include "platform/font_source.h"
#include "render/display_list.h"

namespace kelvane {

class SheetPdfWriter {
 public:
  SheetPdfWriter();
  ~SheetPdfWriter();

  // The sheet's PDF beside its file, with the same name and ".pdf", written whole or not at all
  // (an earlier PDF stays when this one fails). Never replaces a protected file (the run's
  // inputs, the settings files). False with the reason, in English, otherwise; never throws.
  bool Write(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
             const std::set<FileIdentity>& protectedFiles, std::string& reason);

  // Any picture of the drawing (the list) as a PDF file, written whole or not at all; its images
  // are looked up beside the drawing. False with the reason; never throws.
  bool WriteList(const DisplayList& list, const JwwDocument& doc, const std::filesystem::path& drawing,
                 const std::filesystem::path& file, std::string& reason, const std::string& title = {});

  // The drawing's PDF set (SheetSetFileOf): a page per sheet in `sheets` (indices into
  // plan.sheets), bookmarked, each on its own paper; whole or not at all, never over a protected
  // file. False with the reason otherwise; never throws.
  bool WriteSet(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets,
                const std::set<FileIdentity>& protectedFiles, std::string& reason);

  // The PDF of a sheet file.
  static std::filesystem::path PdfFileOf(const std::filesystem::path& sheetFile);

 private:
  FontSource& Fonts();
  // WriteList with mutex_ held.
  bool WriteListHeld(const DisplayList& list, const JwwDocument& doc, const std::filesystem::path& drawing,
                     const std::filesystem::path& file, std::string& reason, const std::string& title);

  // One PDF at a time: a GDI face measures and cuts down through a device context of its own,
  // which two threads may not share. (The window runs one job; a batch of several would wait
  // here.)
  std::mutex mutex_;
  std::unique_ptr<FontSource> fonts_;  // opened at the first PDF, kept for the program's life
};

// The Windows program's pictures of a run: PDFs alone, through SheetPdfWriter.
class SheetPdfPictures final : public PictureWriter {
 public:
  bool WriteSheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet, PictureFormat format,
                         const std::filesystem::path& file, const std::set<FileIdentity>& protectedFiles,
                         std::string& reason, std::string& warnings) override;
  bool WriteSheetSet(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets, bool withPlan,
                     const std::filesystem::path& file, const std::set<FileIdentity>& protectedFiles,
                     std::string& reason, std::string& warnings) override;

 private:
  SheetPdfWriter writer_;
};

}  // namespace kelvane
