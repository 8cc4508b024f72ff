// Carrying out a sheet plan: saving, printing and counting the sheets that could not be written.
#include "app/sheet_writer.h"

#include <system_error>

#include "app/messages.h"

namespace kelvane {

std::string RunFailures::Summary() const {
  if (count == 0) return std::string();
  return kUnwrittenSheetsLead + std::to_string(count) + kUnwrittenSheetsFirstReason + first + kUnwrittenSheetsEnd;
}

void ReportPlan(RunFeedback& feedback, const SheetPlan& plan, RunFailures& failures) {
  if (plan.rejectedFrames > 0) feedback.SetStatusText(kRejectedFramesNote + std::to_string(plan.rejectedFrames));
  for (const PlannedSheet& sheet : plan.sheets) {
    switch (sheet.decision) {
      case SheetDecision::kProtectedInput:
        feedback.SetStatusText(sheet.note);
        failures.Note(sheet.note);
        break;
      case SheetDecision::kNameNotUsable:
        failures.Note(sheet.note);
        break;
      case SheetDecision::kRenamed:
        feedback.SetStatusText(sheet.note);
        break;
      case SheetDecision::kWrite:
      case SheetDecision::kEmpty:
        break;
    }
  }
}

std::vector<SheetOutcome> WriteSheets(const FileQueries& files, RunFeedback& feedback, JwwDocument& doc,
                                      const SheetPlan& plan, RunFailures& failures) {
  ReportPlan(feedback, plan, failures);
  std::vector<SheetOutcome> outcomes(plan.sheets.size());
  const int32_t keptPaper = doc.header.paperSize;
  const double keptOriginX = doc.header.printOriginX, keptOriginY = doc.header.printOriginY;
  for (size_t i = 0; i < plan.sheets.size(); ++i) {
    const PlannedSheet& sheet = plan.sheets[i];
    if (!sheet.ToBeWritten()) continue;
    doc.header.paperSize = sheet.paperSize;
    doc.header.printOriginX = 0;
    doc.header.printOriginY = 0;
    SheetOutcome& outcome = outcomes[i];
    outcome.written = doc.SaveSheet(sheet.file, doc.header.version, sheet.view);
    if (!outcome.written) {
      outcome.failure = kCannotSave + files.ToSjis(sheet.file) + " (" + doc.diagnostics.reason + ")";
      failures.Note(outcome.failure);
    }
  }
  doc.header.paperSize = keptPaper;
  doc.header.printOriginX = keptOriginX;
  doc.header.printOriginY = keptOriginY;
  return outcomes;
}

void PrintWrittenSheets(SheetPrinting& printing, const JwwDocument& doc, const SheetPlan& plan,
                        const std::vector<SheetOutcome>& outcomes, const std::string& hostExePath) {
  for (size_t i = 0; i < outcomes.size() && i < plan.sheets.size(); ++i) {
    if (!outcomes[i].written) continue;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(plan.sheets[i].file, ec);
    printing.PrintSheet({doc, plan, i, ec ? plan.sheets[i].file : absolute, hostExePath});
  }
}

}  // namespace kelvane
