// Carrying out a sheet plan: saving, printing and counting the sheets that could not be written.
#include "app/sheet_writer.h"

#include <system_error>

#include "app/messages.h"

namespace kelvane {

std::string RunFailures::Summary() const {
  if (count == 0) return std::string();
  return kUnwrittenSheetsLead + std::to_string(count) + kUnwrittenSheetsFirstReason + first + kUnwrittenSheetsEnd;
}

void ReportPlan(Platform& platform, const SheetPlan& plan, RunFailures& failures) {
  if (plan.rejectedFrames > 0) platform.SetStatusText(kRejectedFramesNote + std::to_string(plan.rejectedFrames));
  for (const PlannedSheet& sheet : plan.sheets) {
    switch (sheet.decision) {
      case SheetDecision::kProtectedInput:
        platform.SetStatusText(sheet.note);
        failures.Note(sheet.note);
        break;
      case SheetDecision::kNameNotUsable:
        failures.Note(sheet.note);
        break;
      case SheetDecision::kRenamed:
        platform.SetStatusText(sheet.note);
        break;
      case SheetDecision::kWrite:
      case SheetDecision::kEmpty:
        break;
    }
  }
}

std::vector<SheetOutcome> WriteSheets(Platform& platform, JwwDocument& doc, const SheetPlan& plan,
                                      const SplitOptions& options, const std::string& hostExePath,
                                      RunFailures& failures) {
  ReportPlan(platform, plan, failures);
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
      outcome.failure = kCannotSave + platform.ToSjis(sheet.file) + " (" + doc.diagnostics.reason + ")";
      failures.Note(outcome.failure);
    } else if (options.printAfterSplit) {
      // Printed only when this save succeeded: never an older file of the same name. Jw_cad
      // starts in its own folder, so it needs the whole path.
      std::error_code ec;
      const std::filesystem::path absolute = std::filesystem::absolute(sheet.file, ec);
      platform.PrintWithHost(hostExePath, ec ? sheet.file : absolute);
    }
  }
  doc.header.paperSize = keptPaper;
  doc.header.printOriginX = keptOriginX;
  doc.header.printOriginY = keptOriginY;
  return outcomes;
}

}  // namespace kelvane
