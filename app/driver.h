// The sheet driver: numbers, names, saves and prints every sheet of one drawing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/platform.h"
#include "jww/document.h"
#include "split/frames.h"

namespace kelvane {

// One sheet as the driver handled it, for the dry run and for reporting.
struct SheetRecord {
  size_t frame = 0;  // position in numbering order
  int sheet = 0;
  PaperFrame rect;
  std::string number;  // with leading zeros and sheet suffix
  int32_t paperSize = 0;
  bool empty = false;
  bool written = false;  // saved (a dry run writes nothing and leaves this false)
  std::filesystem::path file;  // empty when nothing was to be written
  std::string note;            // Shift_JIS: why the sheet was skipped or renamed, if it was
};

// The pieces of a file name: number, base, separator and name text by pattern 0 to 6.
std::filesystem::path ComposeSheetName(int32_t pattern, const std::string& number, const std::filesystem::path& base,
                                       const std::filesystem::path& separator,
                                       const std::filesystem::path& nameText);

// The number text of k, with leading zeros to the width of T (frames found plus start number).
std::string NumberText(int32_t k, int32_t frameCount, int32_t startNumber, bool leadingZero);

class SheetDriver {
 public:
  SheetDriver(Platform& platform, const SplitOptions& options, const std::string& hostExePath);

  // A run starts: forget the sheets written by the previous run.
  void RunStarting();

  // Splits one loaded drawing. `pending` holds the drawing itself and the inputs of the run
  // still to be split; no sheet is written over any of them. With dryRun nothing is written
  // or printed; the records say what would be.
  std::vector<SheetRecord> SplitDrawing(JwwDocument& doc, const std::filesystem::path& outputFolder,
                                        const std::filesystem::path& source,
                                        const std::vector<std::filesystem::path>& pending, bool dryRun = false);

  const std::vector<PaperFrame>& Frames() const { return frames_; }
  void ClearFrames() { frames_.clear(); }

  // Sheets that could not be written in this run, and the first reason.
  int FailedSheets() const { return failed_; }
  const std::string& FirstFailure() const { return firstFailure_; }
  // Shift_JIS: how many sheets could not be written and the first reason; empty when none.
  std::string FailureSummary() const;

 private:
  std::filesystem::path Key(const std::filesystem::path& p) const;
  // A sheet that could not be written: counted, and the first reason kept.
  void NoteFailure(const std::string& reason);

  Platform& platform_;
  const SplitOptions& options_;
  const std::string& hostExePath_;
  std::vector<PaperFrame> frames_;
  std::set<std::filesystem::path> writtenThisRun_;
  int failed_ = 0;
  std::string firstFailure_;
};

}  // namespace kelvane
