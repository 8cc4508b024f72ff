// Carrying out a sheet plan: saving every sheet it lists, printing when asked, and counting what
// could not be written.
#pragma once

#include <string>
#include <vector>

#include "app/options.h"
#include "app/services.h"
#include "app/sheet_plan.h"
#include "app/sheet_printing.h"
#include "jww/document.h"

namespace kelvane {

// What became of one planned sheet.
struct SheetOutcome {
  bool written = false;
  std::string failure;  // Shift_JIS; empty when written or when nothing was to be written
};

// The sheets of a run that could not be written, and the first reason.
struct RunFailures {
  int count = 0;
  std::string first;  // Shift_JIS

  void Note(const std::string& reason) {
    if (count++ == 0) first = reason;
  }
  // Adds what a later part of the run could not write.
  void Add(const RunFailures& later) {
    if (count == 0) first = later.first;
    count += later.count;
  }
  // Shift_JIS: how many sheets could not be written and the first reason; empty when none.
  std::string Summary() const;
};

// Shows the status text of every skipped or renamed sheet and counts the skipped ones, as a
// real run does; a dry run calls this alone.
void ReportPlan(RunFeedback& feedback, const SheetPlan& plan, RunFailures& failures);

// Saves every sheet the plan says to write, in the drawing's own version. Reports the plan
// first (ReportPlan). The drawing's paper size and print origin are set per sheet and restored
// at the end.
std::vector<SheetOutcome> WriteSheets(const FileQueries& files, RunFeedback& feedback, JwwDocument& doc,
                                      const SheetPlan& plan, RunFailures& failures);

// Prints every sheet that was written (never an older file of the same name), in order.
void PrintWrittenSheets(SheetPrinting& printing, const JwwDocument& doc, const SheetPlan& plan,
                        const std::vector<SheetOutcome>& outcomes, const std::string& hostExePath);

}  // namespace kelvane
