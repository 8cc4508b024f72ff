// A plan's sheets and the files beside them as every listing shows them: the command line's dry
// run, the window's preview list. Each listing words the rows its own way; what a row holds, and
// which state it is in, is decided here once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/sheet_plan.h"
#include "app/sheet_writer.h"

namespace kelvane {

// What a listing says of a sheet: the plan's decision, or once the run is over, its outcome.
enum class SheetRowState {
  kToWrite,
  kToWriteRenamed,
  kEmpty,
  kWouldReplaceInput,
  kNameNotUsable,
  kWritten,
  kNotWritten,
};

struct SheetRow {
  const PlannedSheet* sheet;
  const PaperFrame* frame;
  const JwwString* name;  // the sheet's name text; null when its frame has none for it
  SheetRowState state;
  std::string failure;  // Shift_JIS, why a sheet was not written (kNotWritten)
};

// One row per planned sheet, in the plan's order. `outcomes`, when given, holds one entry per
// sheet of a run that is over.
std::vector<SheetRow> SheetRowsOf(const SheetPlan& plan, const std::vector<SheetOutcome>& outcomes = {});

struct OutputRow {
  const PlannedOutput* output;
  const PlannedSheet* sheet;  // the sheet it is beside; null for a drawing's PDF set
};

// One row per file beside the sheets, in the plan's order.
std::vector<OutputRow> OutputRowsOf(const SheetPlan& plan);

// Jw_cad's name of a paper size code ("A3", "2A", "10m"); a code without one as its number.
std::string PaperName(int32_t code);

}  // namespace kelvane
