// Printing the written sheets of a run: one service on every system, called by the session for
// each sheet it wrote once the drawing's files are all written. The window hands the sheet to
// Jw_cad (`/p`); the command line sends its PDF to CUPS (app/services/posix/sheet_printer.h).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "app/sheet_plan.h"
#include "jww/document.h"

namespace kelvane {

// One written sheet to print.
struct SheetToPrint {
  const JwwDocument& document;
  const SheetPlan& plan;  // its outputs tell which files beside the sheet were written
  size_t index;           // of the sheet in plan.sheets
  // The sheet's file made absolute where it could be: a program started in its own folder
  // needs the whole path.
  std::filesystem::path absoluteFile;
  const std::string& hostExePath;  // Jw_cad's executable, Shift_JIS in double quotes
};

class SheetPrinting {
 public:
  virtual ~SheetPrinting() = default;
  // Prints one sheet; what became of it is the service's to tell.
  virtual void PrintSheet(const SheetToPrint& sheet) = 0;
};

}  // namespace kelvane
