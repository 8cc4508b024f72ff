// What a run did, sheet by sheet and drawing by drawing: the closing summary a terminal shows
// and the report file scripts read, both made from the same records.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "app/output_plan.h"
#include "app/sheet_plan.h"
#include "app/sheet_writer.h"

namespace kelvane {

// One planned sheet and what became of it. Texts are UTF-8.
struct SheetRecord {
  std::filesystem::path source;
  size_t frame = 0;  // 1-based, in numbering order
  int sheet = 0;     // 1-based within its frame
  std::string number;
  std::string name;            // the frame's name text for this sheet; empty without one
  std::filesystem::path file;  // empty when the sheet has no file
  SheetDecision decision = SheetDecision::kEmpty;
  std::string outcome;  // "written", "failed", "skipped" or "planned" (a dry run)
  std::string failure;  // why a sheet to be written was not
};

// A drawing that could not be read, or whose sheets could not be saved, or a folder among the
// inputs that could not be read.
struct FailedDrawing {
  std::filesystem::path source;
  std::string reason;    // UTF-8
  bool listing = false;  // a folder or an entry the input listing could not take, told as it was found
};

struct RunSummary {
  size_t drawingsListed = 0;
  size_t drawingsRead = 0;
  bool dryRun = false;
  bool cancelled = false;
  std::vector<SheetRecord> sheets;
  std::vector<FailedDrawing> failedDrawings;
  // Files beside the sheets that were asked for and not written, in input order.
  std::vector<OutputFailure> outputFailures;

  // A drawing's plan and outcomes (empty in a dry run), added in input order.
  void AddDrawing(const SheetPlan& plan, const std::vector<SheetOutcome>& outcomes);
  size_t Count(SheetDecision decision) const;
  size_t SheetsWritten() const;
  size_t SheetsFailed() const;  // could not be saved
};

// The summary for a person, a few lines each ending in "\n": drawings read, sheets written,
// renamed, empty, refused by reason, and every failed drawing with its reason.
std::string SummaryText(const RunSummary& summary);

// True when `text` is well-formed UTF-8: no overlong form, no surrogate, nothing above U+10FFFF.
bool IsUtf8(const std::string& text);

// A JSON string of UTF-8 text, quoted; bytes that are not well-formed UTF-8 (a file name may
// hold them) become U+FFFD, so that every strict parser takes it.
std::string JsonString(const std::string& utf8);

// `"key":NAME` for a file name given as its bytes; when they are not UTF-8, also
// `,"keyBytes":"HEX"`, the bytes in lowercase hexadecimal, so that two such names never look
// the same and each can be found again.
std::string JsonFileName(const std::string& key, const std::string& bytes);

// The same as one JSON object with an entry per sheet (docs/report.schema.json describes it).
std::string ReportJson(const RunSummary& summary);

}  // namespace kelvane
