// The command-line entry: converts drawings at once as the window does when started with
// parameters, plus the example drawing and two diagnostic modes.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/driver.h"
#include "app/example.h"
#include "app/platform.h"
#include "app/session.h"
#include "jww/images.h"
#include "jww/document.h"
#include "text/filters.h"
#include "text/numbers.h"

using namespace kelvane;

namespace {

const char kUsage[] = R"(usage:
  kelvane [options] FILE.jww...   split every drawing into one drawing per paper frame
  kelvane /G                      split the drawing named in JWC_TEMP.TXT beside kelvane
  kelvane --make-example FOLDER   write the example drawing FOLDER/example.jww
  kelvane --info FILE.jww         describe a drawing as one JSON object
  kelvane --roundtrip IN OUT      load IN and save it as OUT in IN's own version

A paper frame is a rectangle of four lines in the auxiliary colour 9, line type 19 and pen
width 200. Each frame becomes a sheet, moved so that the frame's centre is the origin; a frame
with name texts (texts beginning with 【名】 in colour 9) gives one sheet per name text.
Settings come from the settings file beside the executable (kelvane.dat, as the Windows
program keeps it); the options below override single settings for this run only and are
not stored.

options:
  --settings FILE       read the settings from FILE instead
  -o, --output DIR      write every sheet into DIR (default: the settings' choice,
                        normally each drawing's own folder)
  --pattern N           file names: 0 number_source, 1 source_number,
                        2 source_name, 3 number_source_name, 4 source_number_name,
                        5 name, 6 number_name (name: the sheet's name text; patterns
                        2 and 5 fall back to source_number without one)
  --separator TEXT      put between the parts of a file name (may be empty; none of
                        , . \ / [ ] | ' " + * < > ? ~ or a blank)
  --start N             number of the first frame, 0 to 9999
  --leading-zeros, --no-leading-zeros
                        pad the numbers to the width of the highest number
  --direction rows|columns
                        number frames row by row from the top, or column by column
                        from the left
  --frame, --no-frame   draw a frame on layer [F-F] of every sheet
  --margin MM           inset of that frame from the paper frame, 0 to 100
  --compact, --no-compact
                        frames without content use no number
  --print, --no-print   have Jw_cad print every written sheet
  --dry-run             write nothing; print every frame and sheet with the file
                        name that would be written
  -h, --help            show this text

Status texts go to standard output. Ctrl-C stops before the next drawing (the drawing in
progress is finished). Exit status: 0 when every sheet was written, 1 when some sheet could
not be written (the reason goes to standard error), 2 for unusable options, 130 when stopped.
)";

int Fail(const std::string& message) {
  std::cerr << "kelvane: " << message << "\n(kelvane --help shows the options)\n";
  return 2;
}

std::string ToUtf8(const JwwString& s) { return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis); }

std::string Json(const std::string& utf8) {
  std::string o = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      o += '\\';
      o += char(c);
    } else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      o += b;
    } else {
      o += char(c);
    }
  }
  return o + "\"";
}

int Info(const std::filesystem::path& path) {
  JwwDocument doc;
  bool loaded = doc.LoadFromFile(path);
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  const JwwDiagnostics& d = doc.diagnostics;
  std::string strings = d.unicodeStrings == 0 ? "ansi" : (d.ansiStrings == 0 ? "unicode" : "mixed");
  std::string sig;
  for (char c : doc.header.signature) sig += (c >= 0x20 && c < 0x7F) ? c : '?';
  std::cout << "{\"file\":" << Json(path.string()) << ",\"signature\":" << Json(sig)
            << ",\"version\":" << doc.header.version << ",\"loaded\":" << (loaded ? "true" : "false")
            << ",\"bytesRead\":" << d.bytesRead << ",\"fileSize\":" << (ec ? 0 : size)
            << ",\"memo\":" << Json(ToUtf8(doc.header.memo)) << ",\"paperSize\":" << doc.header.paperSize
            << ",\"entityCount\":" << doc.entityCount << ",\"counts\":{\"lines\":" << doc.LineCount()
            << ",\"arcs\":" << doc.ArcCount() << ",\"points\":" << doc.PointCount()
            << ",\"texts\":" << doc.TextCount() << ",\"dimensions\":" << doc.DimensionCount()
            << ",\"solids\":" << doc.SolidCount() << ",\"blockInserts\":" << doc.BlockInsertCount()
            << "},\"blockDefs\":" << doc.BlockDefCount() << ",\"usedBlockDefs\":" << doc.usedBlockDefCount
            << ",\"images\":[";
  for (size_t i = 0; i < doc.images.size(); ++i)
    std::cout << (i ? "," : "") << "{\"name\":" << Json(ToUtf8(doc.images[i].name))
              << ",\"size\":" << doc.images[i].size << "}";
  std::cout << "],\"strings\":" << Json(strings);
  if (!loaded) std::cout << ",\"error\":{\"offset\":" << d.errorOffset << ",\"reason\":" << Json(d.reason) << "}";
  std::cout << "}\n";
  return loaded ? 0 : 1;
}

int Roundtrip(const std::filesystem::path& in, const std::filesystem::path& out) {
  JwwDocument doc;
  if (!doc.LoadFromFile(in)) {
    std::cerr << "kelvane: cannot load " << in.string() << ": " << doc.diagnostics.reason << " at byte "
              << doc.diagnostics.errorOffset << "\n";
    return 1;
  }
  bool saved = doc.SaveToFile(out, doc.header.version);
  if (!saved) {
    std::cerr << "kelvane: cannot save " << out.string() << ": " << doc.diagnostics.reason << "\n";
    return 1;
  }
  return 0;
}

int MakeExample(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::filesystem::path file = folder / "example.jww";
  if (!WriteExampleDrawing(file)) {
    std::cerr << "kelvane: cannot write " << file.string() << "\n";
    return 1;
  }
  std::cout << file.string() << "\n";
  return 0;
}

// Reads an integer option in a range; nothing else is accepted.
std::optional<int32_t> IntArg(const std::string& text, int32_t lo, int32_t hi) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6) return {};
  int32_t v = TextToInt(text);
  if (v < lo || v > hi) return {};
  return v;
}

struct Overrides {
  std::optional<std::filesystem::path> settings, output;
  std::optional<int32_t> pattern, start, direction;
  std::optional<std::string> separator;
  std::optional<bool> leadingZeros, frame, compact, print;
  std::optional<std::string> margin;
  bool dryRun = false;
  bool any() const {
    return output || pattern || start || direction || separator || leadingZeros || frame || compact || print || margin;
  }
};

void PrintDryRun(const std::vector<SheetRecord>& records, const std::vector<PaperFrame>& frames) {
  for (const SheetRecord& r : records) {
    const PaperFrame& f = frames[r.frame];
    std::string name = ToUtf8(f.sheetNames[size_t(r.sheet)]);
    std::string layers = f.sheetLayerLists[size_t(r.sheet)].empty() || f.sheetLayerGroups[size_t(r.sheet)] < 0
                             ? "none"
                             : "group " + std::to_string(f.sheetLayerGroups[size_t(r.sheet)]) + " layers " +
                                   ToUtf8(f.sheetLayerLists[size_t(r.sheet)]);
    char rect[160];
    std::snprintf(rect, sizeof rect, "(%g, %g)-(%g, %g)", f.minX, f.minY, f.maxX, f.maxY);
    std::cout << "frame " << r.frame + 1 << " sheet " << r.sheet + 1 << ": number " << r.number << ", rect " << rect
              << ", paper " << r.paperSize << ", name " << Json(name) << ", layers " << layers << ", file ";
    if (r.empty)
      std::cout << "(empty: not written)";
    else if (r.file.empty())
      std::cout << "(not written: " << SjisToUtf8(r.note) << ")";
    else
      std::cout << r.file.string();
    std::cout << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "-h" || args[0] == "--help") {
    std::cout << kUsage;
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--info") return args.size() == 2 ? Info(args[1]) : Fail("--info takes one drawing");
  if (args[0] == "--roundtrip")
    return args.size() == 3 ? Roundtrip(args[1], args[2]) : Fail("--roundtrip takes two paths");
  if (args[0] == "--make-example")
    return args.size() == 2 ? MakeExample(args[1]) : Fail("--make-example takes a folder");

  Overrides o;
  std::vector<std::filesystem::path> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--settings") {
      if (!value(v)) return Fail("--settings needs a file");
      o.settings = v;
    } else if (a == "-o" || a == "--output") {
      if (!value(v)) return Fail(a + " needs a folder");
      if (!std::filesystem::is_directory(v)) return Fail("the output folder " + v + " does not exist");
      o.output = v;
    } else if (a == "--pattern") {
      if (!value(v) || !(o.pattern = IntArg(v, 0, 6))) return Fail("--pattern takes a number from 0 to 6");
    } else if (a == "--start") {
      if (!value(v) || !(o.start = IntArg(v, 0, 9999))) return Fail("--start takes a number from 0 to 9999");
    } else if (a == "--direction") {
      if (!value(v) || (v != "rows" && v != "columns")) return Fail("--direction takes rows or columns");
      o.direction = v == "rows" ? 0 : 1;
    } else if (a == "--separator") {
      if (!value(v)) return Fail("--separator needs a text (it may be empty)");
      std::string sjis = Utf8ToSjis(v);
      if (HasForbiddenSeparatorChar(sjis) || SjisToUtf8(sjis) != v)
        return Fail("the separator may not hold , . \\ / [ ] | ' \" + * < > ? ~ or a blank");
      if (sjis.size() > 8) return Fail("the separator may be at most 8 bytes in Shift_JIS");
      o.separator = sjis;
    } else if (a == "--margin") {
      if (!value(v)) return Fail("--margin needs a number");
      double m = TextToReal(v);
      if ((m == 0 && v.find_first_not_of("0.") != std::string::npos) || m < 0 || m > 100)
        return Fail("--margin takes a number of millimetres from 0 to 100");
      o.margin = FormatReal(m);
    } else if (a == "--leading-zeros" || a == "--no-leading-zeros") {
      o.leadingZeros = a == "--leading-zeros";
    } else if (a == "--frame" || a == "--no-frame") {
      o.frame = a == "--frame";
    } else if (a == "--compact" || a == "--no-compact") {
      o.compact = a == "--compact";
    } else if (a == "--print" || a == "--no-print") {
      o.print = a == "--print";
    } else if (a == "--dry-run") {
      o.dryRun = true;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return Fail("unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return Fail("no drawing given");

  std::unique_ptr<Platform> platform = MakePosixPlatform(files);
  Session form(*platform);
  if (o.settings) form.namedSettingsFile = *o.settings;
  form.outputFolderOverride = o.output;
  form.overrideControls = [&](OptionControls& c) {
    if (o.pattern) c.namingPatternCombo = *o.pattern;
    if (o.start) c.startNumberEdit = std::to_string(*o.start);
    if (o.direction) c.numberingDirectionGroup = *o.direction;
    if (o.separator) c.separatorEdit = *o.separator;
    if (o.leadingZeros) c.leadingZeroGroup = *o.leadingZeros ? 1 : 0;
    if (o.frame) c.drawFrameCheck = *o.frame;
    if (o.compact) c.compactNumbersCheck = *o.compact;
    if (o.print) c.printAfterSplitCheck = *o.print;
    if (o.margin) c.marginEdit = *o.margin;
  };

  SheetDriver driver(*platform, form.options, form.hostExePath);
  form.runStarting = [&] { driver.RunStarting(); };
  form.clearFrames = [&] { driver.ClearFrames(); };
  form.failureSummary = [&] { return driver.FailureSummary(); };
  form.splitDrawing = [&](JwwDocument& doc, const std::filesystem::path& folder, const std::filesystem::path& source,
                          const std::vector<std::filesystem::path>& pending) {
    auto records = driver.SplitDrawing(doc, folder, source, pending, o.dryRun);
    if (o.dryRun) {
      std::cout << source.string() << ": " << driver.Frames().size() << " frame(s)\n";
      PrintDryRun(records, driver.Frames());
    }
  };

  const bool closeNow = form.Start();
  const bool cancelled = form.cancelRequested;
  const bool anyInput = !form.inputFiles.empty();  // closing empties the list
  // Options given here are for this run only: the settings file keeps what the user set.
  if (closeNow && !o.any() && !o.dryRun && form.CanClose()) form.Close();
  if (!anyInput) {
    std::cerr << "kelvane: no drawing to convert (a drawing must exist and end in .jww)\n";
    return 1;
  }
  if (cancelled) return 130;
  if (driver.FailedSheets() > 0) {
    std::cerr << "kelvane: " << driver.FailedSheets() << " sheet(s) could not be written; first: "
              << SjisToUtf8(driver.FirstFailure()) << "\n";
    return 1;
  }
  return 0;
}
