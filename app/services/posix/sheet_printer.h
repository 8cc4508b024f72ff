// Printing the written sheets of a run (Linux command line): each sheet's PDF goes to the print
// service on the frame's paper; the PDF beside the sheet when the run wrote one, otherwise a
// temporary one that is removed once sent. The temporary folders a killed run left behind are
// removed by the next run that prints.
#pragma once

#include <filesystem>
#include <string>

#include "app/pictures/picture_library.h"
#include "app/services/posix/print_service.h"
#include "app/sheet_plan.h"
#include "jww/document.h"

namespace kelvane {

class SheetPrinter {
 public:
  // Finds the picture functions when a sheet needs a temporary PDF; null with the reason when
  // there are none.
  using PictureLoader = const PictureLibrary* (*)(std::string& error);

  // `printer` empty: the service's default destination.
  SheetPrinter(PrintService& service, std::string printer, PictureLoader pictures);
  ~SheetPrinter();  // removes the temporary folder
  SheetPrinter(const SheetPrinter&) = delete;
  SheetPrinter& operator=(const SheetPrinter&) = delete;

  // Prints one written sheet. `besidePdf` is the sheet's own PDF when the run wrote one, or
  // empty. Answers the job's name, or an empty text and the reason in `error` (UTF-8).
  // Lines about entities left out of a temporary PDF are added to *warnings.
  std::string Print(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                    const PictureOptions& pictures, const std::filesystem::path& besidePdf, std::string& error,
                    std::string* warnings = nullptr);

 private:
  // The folder for temporary PDFs, made at the first one; empty with the reason when it cannot be.
  std::filesystem::path TemporaryFolder(std::string& error);

  PrintService& service_;
  std::string printer_;
  PictureLoader pictures_;
  std::filesystem::path temporaryFolder_;
  int temporaryFolderLock_ = -1;  // held while the folder is in use, so no other run takes it for stale
  std::filesystem::file_time_type started_;
  bool tidied_ = false;  // stale temporary folders of killed runs removed
};

}  // namespace kelvane
