// The run's summary and its JSON report.
#include "app/run_summary.h"

#include <cstdio>
#include <string_view>

#include "platform/text_conversion.h"

namespace kelvane {

namespace {

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

std::string Utf8Of(const JwwString& s) { return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis); }

// The length of the well-formed UTF-8 sequence at `at`, or 0: no overlong form, no surrogate
// (U+D800 to U+DFFF), nothing above U+10FFFF, so lead bytes C0, C1 and F5 to FF never start one.
size_t SequenceLength(const std::string& s, size_t at) {
  const unsigned char b = static_cast<unsigned char>(s[at]);
  if (b < 0x80) return 1;
  size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) low = 0xA0;   // below: overlong
    if (b == 0xED) high = 0x9F;  // above: a surrogate
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) low = 0x90;   // below: overlong
    if (b == 0xF4) high = 0x8F;  // above: past U+10FFFF
  } else {
    return 0;
  }
  if (at + n > s.size()) return 0;
  const unsigned char second = static_cast<unsigned char>(s[at + 1]);
  if (second < low || second > high) return 0;
  for (size_t i = 2; i < n; ++i)
    if ((static_cast<unsigned char>(s[at + i]) & 0xC0) != 0x80) return 0;
  return n;
}

std::string SourceJson(const std::filesystem::path& source) { return JsonFileName("source", Utf8Of(source)); }

const char* DecisionName(SheetDecision d) {
  switch (d) {
    case SheetDecision::kWrite:
      return "write";
    case SheetDecision::kRenamed:
      return "renamed";
    case SheetDecision::kEmpty:
      return "empty";
    case SheetDecision::kProtectedInput:
      return "would-replace-input";
    case SheetDecision::kNameNotUsable:
      return "name-not-usable";
  }
  return "";
}

std::string SheetJson(const SheetRecord& r) {
  return "{" + SourceJson(r.source) + ",\"frame\":" + std::to_string(r.frame) +
         ",\"sheet\":" + std::to_string(r.sheet) + ",\"number\":" + JsonString(r.number) +
         ",\"name\":" + JsonString(r.name) + "," +
         (r.file.empty() ? std::string("\"file\":null") : JsonFileName("file", Utf8Of(r.file))) + ",\"decision\":\"" +
         DecisionName(r.decision) + "\",\"outcome\":\"" + r.outcome + "\"" +
         (r.failure.empty() ? std::string() : ",\"failure\":" + JsonString(r.failure)) + "}";
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string o = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = SequenceLength(text, i);
    if (n == 0) {
      o += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      o += '\\';
      o += char(c);
    } else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      o += b;
    } else {
      o.append(text, i, n);
    }
    i += n;
  }
  return o + "\"";
}

bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = SequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string JsonFileName(const std::string& key, const std::string& bytes) {
  std::string o = "\"" + key + "\":" + JsonString(bytes);
  if (IsUtf8(bytes)) return o;
  static const char kHex[] = "0123456789abcdef";
  o += ",\"" + key + "Bytes\":\"";
  for (const char c : bytes) {
    const unsigned char b = static_cast<unsigned char>(c);
    o += kHex[b >> 4];
    o += kHex[b & 15];
  }
  return o + "\"";
}

void RunSummary::AddDrawing(const SheetPlan& plan, const std::vector<SheetOutcome>& outcomes) {
  for (size_t i = 0; i < plan.sheets.size(); ++i) {
    const PlannedSheet& p = plan.sheets[i];
    SheetRecord& r = sheets.emplace_back();
    r.source = plan.source;
    r.frame = p.frame + 1;
    r.sheet = p.sheet + 1;
    r.number = p.number;
    r.name = Utf8Of(plan.frames[p.frame].sheetNames[size_t(p.sheet)]);
    r.file = p.file;  // for a sheet refused as replacing an input: that input
    r.decision = p.decision;
    if (!p.ToBeWritten()) {
      r.outcome = "skipped";
    } else if (i >= outcomes.size()) {
      r.outcome = "planned";
    } else {
      r.outcome = outcomes[i].written ? "written" : "failed";
      r.failure = SjisToUtf8(outcomes[i].failure);
    }
  }
}

size_t RunSummary::Count(SheetDecision decision) const {
  size_t n = 0;
  for (const SheetRecord& r : sheets) n += r.decision == decision;
  return n;
}

namespace {

size_t SheetsWith(const std::vector<SheetRecord>& sheets, std::string_view outcome) {
  size_t n = 0;
  for (const SheetRecord& r : sheets) n += r.outcome == outcome;
  return n;
}

}  // namespace

size_t RunSummary::SheetsWritten() const { return SheetsWith(sheets, "written"); }

size_t RunSummary::SheetsFailed() const { return SheetsWith(sheets, "failed"); }

std::string SummaryText(const RunSummary& s) {
  const size_t failedSheets = s.SheetsFailed();
  std::string text = std::to_string(s.drawingsRead) + " of " + std::to_string(s.drawingsListed) + " drawing(s) read, " +
                     std::to_string(s.SheetsWritten()) +
                     (s.dryRun ? " sheet(s) written (dry run), " : " sheet(s) written, ") +
                     std::to_string(s.Count(SheetDecision::kRenamed)) + " renamed, " +
                     std::to_string(s.Count(SheetDecision::kEmpty)) + " empty\n";
  const size_t replacing = s.Count(SheetDecision::kProtectedInput), unusable = s.Count(SheetDecision::kNameNotUsable);
  if (replacing + unusable + failedSheets > 0)
    text += "refused: " + std::to_string(replacing) + " would replace an input, " + std::to_string(unusable) +
            " name(s) not usable; " + std::to_string(failedSheets) + " sheet(s) could not be saved\n";
  for (const FailedDrawing& f : s.failedDrawings) text += "failed: " + Utf8Of(f.source) + ": " + f.reason + "\n";
  if (!s.outputFailures.empty())
    text += std::to_string(s.outputFailures.size()) + " file(s) beside the sheets not written\n";
  if (s.cancelled) text += "stopped before the end\n";
  return text;
}

std::string ReportJson(const RunSummary& s) {
  const size_t failedSheets = s.SheetsFailed();
  std::string o =
      "{\"drawingsListed\":" + std::to_string(s.drawingsListed) +
      ",\"drawingsRead\":" + std::to_string(s.drawingsRead) + ",\"dryRun\":" + (s.dryRun ? "true" : "false") +
      ",\"cancelled\":" + (s.cancelled ? "true" : "false") + ",\"sheetsWritten\":" + std::to_string(s.SheetsWritten()) +
      ",\"renamed\":" + std::to_string(s.Count(SheetDecision::kRenamed)) +
      ",\"empty\":" + std::to_string(s.Count(SheetDecision::kEmpty)) +
      ",\"refused\":{\"wouldReplaceInput\":" + std::to_string(s.Count(SheetDecision::kProtectedInput)) +
      ",\"nameNotUsable\":" + std::to_string(s.Count(SheetDecision::kNameNotUsable)) +
      ",\"notSaved\":" + std::to_string(failedSheets) + "},\"failedDrawings\":[";
  for (size_t i = 0; i < s.failedDrawings.size(); ++i)
    o += (i ? ",{" : "{") + SourceJson(s.failedDrawings[i].source) +
         ",\"reason\":" + JsonString(s.failedDrawings[i].reason) + "}";
  o += "],\"failedFiles\":[";
  for (size_t i = 0; i < s.outputFailures.size(); ++i) {
    const OutputFailure& f = s.outputFailures[i];
    o += (i ? ",{" : "{") + JsonFileName("file", f.file.string()) + ",\"kind\":\"" + OutputKindName(f.kind) +
         "\",\"reason\":" + JsonString(f.reason) + "}";
  }
  o += "],\"sheets\":[";
  for (size_t i = 0; i < s.sheets.size(); ++i) o += (i ? ",\n" : "\n") + SheetJson(s.sheets[i]);
  return o + "\n]}\n";
}

}  // namespace kelvane
