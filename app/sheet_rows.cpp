// The rows every listing of a plan shows.
#include "app/sheet_rows.h"

namespace kelvane {

namespace {

SheetRowState StateOf(SheetDecision decision) {
  switch (decision) {
    case SheetDecision::kWrite: return SheetRowState::kToWrite;
    case SheetDecision::kRenamed: return SheetRowState::kToWriteRenamed;
    case SheetDecision::kEmpty: return SheetRowState::kEmpty;
    case SheetDecision::kProtectedInput: return SheetRowState::kWouldReplaceInput;
    case SheetDecision::kNameNotUsable: return SheetRowState::kNameNotUsable;
  }
  return SheetRowState::kEmpty;
}

}  // namespace

std::vector<SheetRow> SheetRowsOf(const SheetPlan& plan, const std::vector<SheetOutcome>& outcomes) {
  std::vector<SheetRow> rows;
  rows.reserve(plan.sheets.size());
  for (size_t i = 0; i < plan.sheets.size(); ++i) {
    const PlannedSheet& sheet = plan.sheets[i];
    const PaperFrame& frame = plan.frames[sheet.frame];
    const bool named = sheet.sheet >= 0 && size_t(sheet.sheet) < frame.sheetNames.size();
    SheetRow row{&sheet, &frame, named ? &frame.sheetNames[size_t(sheet.sheet)] : nullptr, StateOf(sheet.decision), {}};
    if (i < outcomes.size()) {
      if (outcomes[i].written) {
        row.state = SheetRowState::kWritten;
      } else if (!outcomes[i].failure.empty()) {
        row.state = SheetRowState::kNotWritten;
        row.failure = outcomes[i].failure;
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<OutputRow> OutputRowsOf(const SheetPlan& plan) {
  std::vector<OutputRow> rows;
  rows.reserve(plan.outputs.size());
  for (const PlannedOutput& out : plan.outputs) {
    const bool ofSheet = out.kind != OutputKind::kPdfSet && out.sheet < plan.sheets.size();
    rows.push_back({&out, ofSheet ? &plan.sheets[out.sheet] : nullptr});
  }
  return rows;
}

std::string PaperName(int32_t code) {
  static const char* const kNames[] = {"A0", "A1", "A2", "A3", "A4", "", "", "", "2A", "3A", "4A", "5A", "10m", "50m", "100m"};
  if (code >= 0 && code < 15 && kNames[code][0]) return kNames[code];
  return std::to_string(code);
}

}  // namespace kelvane
