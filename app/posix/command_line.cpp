// Parsing the Linux program's arguments into a command, with a clear error for anything unusable.
#include "app/posix/command_line.h"

#include <algorithm>
#include <system_error>

#include "platform/text_conversion.h"
#include "text/numbers.h"

namespace kelvane {

namespace {

constexpr int32_t kMaxJobs = 256;

// Reads an integer option in a range; nothing else is accepted.
std::optional<int32_t> IntArg(const std::string& text, int32_t lo, int32_t hi) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6) return {};
  int32_t v = TextToInt(text);
  if (v < lo || v > hi) return {};
  return v;
}

CommandLineResult Error(std::string message) {
  CommandLineResult r;
  r.error = std::move(message);
  return r;
}

CommandLineResult Mode(CommandMode mode, std::vector<std::filesystem::path> operands) {
  CommandLine c;
  c.mode = mode;
  c.operands = std::move(operands);
  CommandLineResult r;
  r.command = std::move(c);
  return r;
}

// One option of a split; answers an error text, empty when the option was taken.
class SplitArguments {
 public:
  SplitArguments(const std::vector<std::string>& args, CommandLine& command) : args_(args), c_(command) {}

  std::string Parse() {
    for (i_ = 0; i_ < args_.size(); ++i_) {
      std::string error = Option(args_[i_]);
      if (!error.empty()) return error;
    }
    if (c_.operands.empty()) return "no drawing given";
    if (c_.mode == CommandMode::kPlan && c_.operands.size() != 1) return "--plan draws the plan of one drawing";
    if (c_.mode == CommandMode::kRender && c_.operands.size() != 1) return "--render draws one drawing";
    if (c_.mode == CommandMode::kExport && c_.operands.size() != 1) return "--export converts one drawing";
    return std::string();
  }

 private:
  bool Value(std::string& out) {
    if (i_ + 1 >= args_.size()) return false;
    out = args_[++i_];
    return true;
  }

  // Each group answers nothing for an option that is not its own, else "" or the problem.
  std::string Option(const std::string& a) {
    if (std::optional<std::string> r = SettingOption(a)) return *r;
    if (std::optional<std::string> r = OutputOption(a)) return *r;
    if (std::optional<std::string> r = RunOption(a)) return *r;
    if (a.size() > 1 && a[0] == '-' && a != "-") return "unknown option " + a;
    c_.operands.emplace_back(a);
    return std::string();
  }

  // The options that override one setting of the settings file for this run.
  std::optional<std::string> SettingOption(const std::string& a) {
    OptionOverrides& o = c_.overrides;
    std::string v;
    if (a == "--pattern") {
      const std::optional<int32_t> pattern = Value(v) ? IntArg(v, 0, kNamingPatternCount - 1) : std::nullopt;
      if (!pattern) return "--pattern takes a number from 0 to 6";
      o.pattern = NamingPattern(*pattern);
    } else if (a == "--start") {
      if (!Value(v) || !(o.start = IntArg(v, 0, 9999))) return "--start takes a number from 0 to 9999";
    } else if (a == "--direction") {
      if (!Value(v) || (v != "rows" && v != "columns")) return "--direction takes rows or columns";
      o.direction = v == "rows" ? NumberingDirection::kRows : NumberingDirection::kColumns;
    } else if (a == "--separator") {
      return Separator();
    } else if (a == "--margin") {
      if (!Value(v)) return "--margin needs a number";
      const double m = TextToReal(v);
      if ((m == 0 && v.find_first_not_of("0.") != std::string::npos) || m < 0 || m > 100)
        return "--margin takes a number of millimetres from 0 to 100";
      o.margin = MarginAsShown(m);
    } else if (a == "--leading-zeros" || a == "--no-leading-zeros") {
      o.leadingZeros = a == "--leading-zeros";
    } else if (a == "--frame" || a == "--no-frame") {
      o.frame = a == "--frame";
    } else if (a == "--compact" || a == "--no-compact") {
      o.compact = a == "--compact";
    } else if (a == "--print" || a == "--no-print") {
      o.print = a == "--print";
    } else if (a == "--printer") {
      if (!Value(v) || v.empty()) return "--printer needs the name of a printer";
      c_.printer = v;
      o.print = true;
    } else {
      return std::nullopt;
    }
    return std::string();
  }

  // What a run writes beside its sheets, and the drawing modes that write pictures or DXF.
  std::optional<std::string> OutputOption(const std::string& a) {
    std::string v;
    if (a == "--plan" || a == "--render") {
      return PictureMode(a);
    } else if (a == "--png" || a == "--svg" || a == "--pdf") {
      const PictureFormat f = *PictureFormatFor("x." + a.substr(2));
      if (std::find(c_.sheetPictures.begin(), c_.sheetPictures.end(), f) == c_.sheetPictures.end())
        c_.sheetPictures.push_back(f);
    } else if (a == "--no-pdf-layers") {
      c_.pdfLayers = false;
    } else if (a == "--pdf-set" || a == "--pdf-set-plan") {
      c_.pdfSet = true;
      c_.pdfSetPlan = c_.pdfSetPlan || a == "--pdf-set-plan";
    } else if (a == "--dxf") {
      c_.sheetDxf = true;
    } else if (a == "--export") {
      return ExportMode();
    } else if (a == "--dxf-version") {
      if (!Value(v) || (v != "2000" && v != "2007")) return "--dxf-version takes 2000 or 2007";
      c_.dxf.version = v == "2000" ? DxfVersion::kR2000 : DxfVersion::kR2007;
    } else if (a == "--dxf-units") {
      if (!Value(v) || (v != "true" && v != "paper")) return "--dxf-units takes true or paper";
      c_.dxf.units = v == "true" ? DxfUnits::kTrueSize : DxfUnits::kPaper;
    } else if (a == "--color" || a == "--mono") {
      c_.color = a == "--color";
    } else if (a == "--dpi") {
      const std::optional<int32_t> dpi = Value(v) ? IntArg(v, kMinDpi, kMaxDpi) : std::nullopt;
      if (!dpi) return "--dpi takes a number from 10 to 1200";
      c_.dpi = *dpi;
    } else {
      return std::nullopt;
    }
    return std::string();
  }

  // Where the run reads and writes, and how it goes through a batch.
  std::optional<std::string> RunOption(const std::string& a) {
    std::string v;
    if (a == "--settings") {
      if (!Value(v)) return "--settings needs a file";
      c_.settingsFile = v;
    } else if (a == "-o" || a == "--output") {
      if (!Value(v)) return a + " needs a folder";
      std::error_code ec;
      if (!std::filesystem::is_directory(v, ec)) return "the output folder " + v + " does not exist";
      c_.outputFolder = v;
    } else if (a == "--dry-run") {
      c_.dryRun = true;
    } else if (a == "-r" || a == "--recursive") {
      c_.recursive = true;
    } else if (a == "-q" || a == "--quiet") {
      c_.quiet = true;
    } else if (a == "-j" || a == "--jobs") {
      const std::optional<int32_t> jobs = Value(v) ? IntArg(v, 1, kMaxJobs) : std::nullopt;
      if (!jobs) return a + " takes a number from 1 to 256";
      c_.jobs = unsigned(*jobs);
    } else if (a == "--report") {
      return Report();
    } else {
      return std::nullopt;
    }
    return std::string();
  }

  // "--plan FILE" and "--render DRAWING FILE": the picture's file must be usable now, before
  // anything is drawn.
  std::string PictureMode(const std::string& a) {
    if (c_.mode != CommandMode::kSplit) return "--plan and --render go alone";
    std::string drawing, file;
    if (a == "--render" && !Value(drawing)) return "--render needs a drawing and a picture file";
    if (!Value(file)) return a + " needs a picture file";
    if (!PictureFormatFor(file)) return "a picture file must end in .png, .svg or .pdf: " + file;
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
      return "the folder of the picture " + file + " does not exist";
    c_.mode = a == "--plan" ? CommandMode::kPlan : CommandMode::kRender;
    c_.pictureFile = file;
    if (!drawing.empty()) c_.operands.emplace_back(drawing);
    return std::string();
  }

  // "--report FILE.json": its folder must exist now, before anything is converted.
  std::string Report() {
    std::string file;
    if (!Value(file)) return "--report needs a file";
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
      return "the folder of the report " + file + " does not exist";
    if (std::filesystem::is_directory(file, ec)) return "the report " + file + " is a folder";
    c_.reportFile = file;
    return std::string();
  }

  // "--export DRAWING FILE": the DXF's folder must exist now, before anything is read.
  std::string ExportMode() {
    if (c_.mode != CommandMode::kSplit) return "--export goes alone";
    std::string drawing, file;
    if (!Value(drawing) || !Value(file)) return "--export needs a drawing and a DXF file";
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
      return "the folder of the DXF file " + file + " does not exist";
    c_.mode = CommandMode::kExport;
    c_.exportFile = file;
    c_.operands.emplace_back(drawing);
    return std::string();
  }

  std::string Separator() {
    std::string v;
    if (!Value(v)) return "--separator needs a text (it may be empty)";
    const std::string sjis = Utf8ToSjis(v);
    if (HasForbiddenSeparatorChar(sjis) || SjisToUtf8(sjis) != v)
      return "the separator may not hold , . \\ / [ ] | ' \" + * < > ? ~ : a blank or a control character";
    if (sjis.size() > 8) return "the separator may be at most 8 bytes in Shift_JIS";
    c_.overrides.separator = sjis;
    return std::string();
  }

  const std::vector<std::string>& args_;
  CommandLine& c_;
  size_t i_ = 0;
};

}  // namespace

void OptionOverrides::ApplyTo(SplitOptions& o) const {
  if (pattern) o.namingPattern = *pattern;
  if (start) o.startNumber = *start;
  if (direction) o.numberingDirection = *direction;
  if (separator) o.separator = *separator;
  if (leadingZeros) o.leadingZeros = *leadingZeros;
  if (frame) o.drawFrameOnFF = *frame;
  if (compact) o.compactEmptyNumbers = *compact;
  if (print) o.printAfterSplit = *print;
  if (margin) o.margin = *margin;
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) {
    CommandLineResult r = Mode(CommandMode::kHelp, {});
    r.usageWithoutArguments = true;
    return r;
  }
  const std::string& first = args[0];
  if (first == "-h" || first == "--help") return Mode(CommandMode::kHelp, {});
  if (first == "--version")
    return args.size() == 1 ? Mode(CommandMode::kVersion, {}) : Error("--version takes nothing else");
  if (first == "--info")
    return args.size() == 2 ? Mode(CommandMode::kInfo, {args[1]}) : Error("--info takes one drawing");
  if (first == "--roundtrip")
    return args.size() == 3 ? Mode(CommandMode::kRoundtrip, {args[1], args[2]}) : Error("--roundtrip takes two paths");
  if (first == "--make-example")
    return args.size() == 2 ? Mode(CommandMode::kMakeExample, {args[1]}) : Error("--make-example takes a folder");

  CommandLine command;
  std::string error = SplitArguments(args, command).Parse();
  if (!error.empty()) return Error(std::move(error));
  CommandLineResult r;
  r.command = std::move(command);
  return r;
}

}  // namespace kelvane
