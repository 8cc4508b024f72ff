// Carrying out a sheet plan: saving, printing and counting the sheets that could not be written.
#include "app/sheet_writer.h"

#include <system_error>

namespace kelvane {

namespace {

// 保存できませんでした：
const char kCannotSave[] = "\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x46";

}  // namespace

std::string RunFailures::Summary() const {
  if (count == 0) return std::string();
  // 書き込めなかった図面：N枚（最初の理由：...）
  return "\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xc8\x82\xa9\x82\xc1\x82\xbd\x90\x7d\x96\xca\x81\x46" +
         std::to_string(count) + "\x96\x87\x81\x69\x8d\xc5\x8f\x89\x82\xcc\x97\x9d\x97\x52\x81\x46" + first +
         "\x81\x6a";
}

void ReportPlan(Platform& platform, const SheetPlan& plan, RunFailures& failures) {
  if (plan.rejectedFrames > 0)  // 大きさか中心が有限でない用紙枠を無視しました：N
    platform.SetStatusText(
        "\x91\xe5\x82\xab\x82\xb3\x82\xa9\x92\x86\x90\x53\x82\xaa\x97\x4c\x8c\xc0\x82\xc5\x82\xc8\x82\xa2"
        "\x97\x70\x8e\x86\x98\x67\x82\xf0\x96\xb3\x8e\x8b\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x46" +
        std::to_string(plan.rejectedFrames));
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
