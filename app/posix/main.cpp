// The command-line entry: converts drawings at once as the window does when started with
// parameters, plus the example drawing and two diagnostic modes.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/example.h"
#include "app/plan_picture.h"
#include "app/posix/command_line.h"
#include "app/posix/console.h"
#include "app/services/posix/cups_print_service.h"
#include "app/services/posix/picture_module.h"
#include "app/services/posix/posix_services.h"
#include "app/services/posix/sheet_printer.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/sheet_printing.h"
#include "app/sheet_rows.h"
#include "dxf/dxf_file.h"
#include "jww/document.h"
#include "jww/images.h"
#include "platform/file_identity.h"
#include "platform/replacing_file.h"
#include "platform/text_conversion.h"
#include "drawing/image_source.h"
#include "text/filters.h"
#include "text/numbers.h"

using namespace kelvane;

namespace {

const char kUsage[] = R"(usage:
  kelvane [options] FILE.jww...   split every drawing into one drawing per paper frame
  kelvane [options] FOLDER...     split every drawing in each folder (with -r, and below)
  kelvane /G                      split the drawing named in JWC_TEMP.TXT beside kelvane
  kelvane --make-example FOLDER   write the example drawing FOLDER/example.jww
  kelvane --info FILE.jww         describe a drawing as one JSON object
  kelvane --roundtrip IN OUT      load IN and save it as OUT in IN's own version
  kelvane --version               show the version, the licence and the libraries in use
  kelvane --plan PICTURE DRAWING.jww [options]
                                  draw the plan of a split: the whole drawing, every paper
                                  frame outlined with its numbers, names and the files the
                                  options would write (empty frames grey, renamed sheets
                                  orange, sheets that would replace an input red); writes
                                  nothing else
  kelvane --render DRAWING.jww PICTURE [--color|--mono] [--dpi N]
                                  draw one drawing on its own paper, as Jw_cad prints it
  kelvane --export DRAWING.jww FILE.dxf [--dxf-version V] [--dxf-units U]
                                  convert one whole drawing to DXF

A paper frame is a rectangle of four lines in the auxiliary colour 9, line type 19 and pen
width 200. Each frame becomes a sheet, moved so that the frame's centre is the origin; a frame
with name texts (texts beginning with 【名】 in colour 9) gives one sheet per name text.
Settings come from the settings file beside the executable (kelvane.dat, as the Windows
program keeps it), or from ~/.config/kelvane/kelvane.dat when that file exists or kelvane
is installed in the system's folders; the options below override single settings for this run only and are
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
                        , . \ / [ ] | ' " + * < > ? ~ :, a blank or a control
                        character)
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
  --print, --no-print   print every written sheet through CUPS: its PDF (the one of
                        --pdf, or a temporary one) 1:1 on paper of the frame's size
                        and orientation, unscaled (the Windows program has Jw_cad
                        print each sheet instead, with /p)
  --printer NAME        print on the CUPS printer NAME rather than the default
                        destination (implies --print)
  --dry-run             write nothing; print every frame and sheet with the file
                        name that would be written
  --png, --svg, --pdf   beside every written sheet, a picture of the same name: one
                        page of the sheet's paper, 1:1 in millimetres, printed with
                        the print widths (PDF text stays text)
  --color, --mono       pictures in the print colours, or in black; without either, as
                        the drawing's colour-print setting says
  --dpi N               resolution of PNG pictures, 10 to 1200 (default 150)
  -r, --recursive       take the drawings of every folder below a folder too, sorted by
                        path (links are followed, but never round a loop)
  -j, --jobs N          split N drawings at once, 1 to 256 (default: one per core); the
                        files and their names are the same with any N
  -q, --quiet           show only errors
  --report FILE.json    write what became of every sheet as JSON (never over an input)
  --pdf-set             beside the sheets of each drawing, NAME.pdf (NAME: the drawing's
                        name) with every written sheet as a page on its own paper, in
                        sheet order, bookmarked with the sheet's number and name
  --pdf-set-plan        the same, with the plan (as --plan draws it) as its first page
  --no-pdf-layers       PDFs without the drawing's layers (by default a reader's layer
                        panel shows and switches them, named as in Jw_cad: "0-2 NAME")
  --dxf                 beside every written sheet, a DXF file of the same name, with
                        its embedded images beside it
  --dxf-version 2000|2007
                        AutoCAD 2000 DXF with Shift_JIS texts (default), or 2007
                        with UTF-8 texts
  --dxf-units true|paper
                        DXF coordinates at true size (paper millimetres times the
                        layer group's scale, the default) or in paper millimetres
  -h, --help            show this text

A PICTURE is a .png, .svg or .pdf file in an existing folder.
Pictures read the images a drawing links to from the local disk: an absolute name as it
is, a relative one beside the drawing only, regular files only. An image that cannot be
drawn is left out with a warning on standard error; the exit status stays 0.

Status texts go to standard output; when standard error is a terminal, a batch longer than a
second shows its progress there and ends with a summary. Ctrl-C stops before the next drawing
(the drawings in progress are finished). No sheet is ever written over a drawing of the run.
The settings file named by --settings is only read. Exit status: 0 when every sheet was
written (and printed, when asked), 1 when some sheet could not be written or printed, or some
drawing or folder could not be read (the reason goes to standard error; sheets written stay),
2 for unusable options, 130 when stopped.
)";

// Warning lines, each on standard error; they leave the exit status as it is.
void Warn(const std::string& lines) {
  size_t from = 0;
  for (size_t end; (end = lines.find('\n', from)) != std::string::npos; from = end + 1)
    std::cerr << "kelvane: warning: " << PrintableText(lines.substr(from, end - from)) << "\n";
}

// The first line is the version alone, for scripts and manual-page tools.
int Version() {
  std::cout << "kelvane " KELVANE_VERSION "\n";
  std::string error;
  if (const PictureLibrary* pictures = LoadPictureModule(error)) {
    const char* separator = "running with ";
    for (const auto& [name, version] : pictures->libraryVersions()) {
      std::cout << separator << name << " " << version;
      separator = ", ";
    }
  } else {
    std::cout << "no pictures: " << PrintableText(error);
  }
  std::cout << "\nMIT License; the notices of the libraries it uses come with it (THIRD_PARTY.md).\n";
  return 0;
}

int Fail(const std::string& message) {
  std::cerr << "kelvane: " << message << "\n(kelvane --help shows the options)\n";
  return 2;
}

std::string ToUtf8(const JwwString& s) { return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis); }


int Info(const std::filesystem::path& path) {
  JwwDocument doc;
  bool loaded = doc.LoadFromFile(path);
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  const JwwDiagnostics& d = doc.diagnostics;
  std::string strings = d.unicodeStrings == 0 ? "ansi" : (d.ansiStrings == 0 ? "unicode" : "mixed");
  std::string sig;
  for (char c : doc.header.signature) sig += (c >= 0x20 && c < 0x7F) ? c : '?';
  std::cout << "{" << JsonFileName("file", path.string()) << ",\"signature\":" << JsonString(sig)
            << ",\"version\":" << doc.header.version << ",\"loaded\":" << (loaded ? "true" : "false")
            << ",\"bytesRead\":" << d.bytesRead << ",\"fileSize\":" << (ec ? 0 : size)
            << ",\"memo\":" << JsonString(ToUtf8(doc.header.memo)) << ",\"paperSize\":" << doc.header.paperSize
            << ",\"entityCount\":" << doc.entityCount << ",\"counts\":{\"lines\":" << doc.LineCount()
            << ",\"arcs\":" << doc.ArcCount() << ",\"points\":" << doc.PointCount()
            << ",\"texts\":" << doc.TextCount() << ",\"dimensions\":" << doc.DimensionCount()
            << ",\"solids\":" << doc.SolidCount() << ",\"blockInserts\":" << doc.BlockInsertCount()
            << "},\"blockDefs\":" << doc.BlockDefCount() << ",\"usedBlockDefs\":" << doc.usedBlockDefCount
            << ",\"images\":[";
  for (size_t i = 0; i < doc.images.size(); ++i)
    std::cout << (i ? "," : "") << "{\"name\":" << JsonString(ToUtf8(doc.images[i].name))
              << ",\"size\":" << doc.images[i].size << "}";
  std::cout << "],\"strings\":" << JsonString(strings);
  if (!loaded) std::cout << ",\"error\":{\"offset\":" << d.errorOffset << ",\"reason\":" << JsonString(d.reason) << "}";
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

// The plan of one drawing, a line per sheet, as the dry run shows it.
void PrintPlan(const SheetPlan& plan) {
  std::cout << PrintableText(plan.source.string()) << ": " << plan.frames.size() << " frame(s)\n";
  for (const SheetRow& row : SheetRowsOf(plan)) {
    const PlannedSheet& p = *row.sheet;
    const PaperFrame& f = *row.frame;
    const size_t s = size_t(p.sheet);
    std::string name = row.name ? ToUtf8(*row.name) : std::string();
    std::string layers =
        f.sheetLayerLists[s].empty() || f.sheetLayerGroups[s] < 0
            ? "none"
            : "group " + std::to_string(f.sheetLayerGroups[s]) + " layers " + ToUtf8(f.sheetLayerLists[s]);
    char rect[160];
    std::snprintf(rect, sizeof rect, "(%g, %g)-(%g, %g)", f.minX, f.minY, f.maxX, f.maxY);
    std::cout << "frame " << p.frame + 1 << " sheet " << p.sheet + 1 << ": number " << p.number << ", rect " << rect
              << ", paper " << p.paperSize << ", name " << JsonString(name) << ", layers " << layers << ", file ";
    if (row.state == SheetRowState::kEmpty)
      std::cout << "(empty: not written)";
    else if (!p.ToBeWritten())
      std::cout << "(not written: " << PrintableText(SjisToUtf8(p.note)) << ")";
    else
      std::cout << PrintableText(p.file.string());
    std::cout << "\n";
  }
}

// How the run's DXF files are written: the command line's choices, the drawing's folder for
// its linked images, embedded images converted to PNG.
DxfOptions DxfOptionsFor(const CommandLine& command, const std::filesystem::path& drawing) {
  DxfOptions options = command.dxf;
  options.drawingFolder = DrawingFolder(drawing);
  // Without the PDF module an embedded image is left out of the DXF, with a warning.
  options.toPng = [](const std::vector<uint8_t>& stored, bool gzipped, std::vector<uint8_t>& png) {
    std::string error;
    const PdfLibrary* pdf = LoadPdfModule(error);
    return pdf && pdf->imageAsPng(stored, gzipped, png);
  };
  return options;
}

// When this run started: temporary files older than that in a folder it writes pictures into
// are left from a killed run.
const std::filesystem::file_time_type kRunStart = std::filesystem::file_time_type::clock::now();

// Tidies each folder once, before the first picture goes there.
class PictureFolders {
 public:
  void Prepare(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.parent_path();
    if (tidied_.insert(folder).second) RemoveStaleTemporaryFiles(folder, kRunStart);
  }

 private:
  std::set<std::filesystem::path> tidied_;
};

// Pictures through the picture modules, loaded at the first one: PDF files through the PDF
// module alone, so that a run that writes only those never loads cairo and pango.
class ModulePictures final : public PictureWriter {
 public:
  explicit ModulePictures(const CommandLine& command) : command_(command) {}
  bool WriteSheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet, PictureFormat format,
                         const std::filesystem::path& file, const std::set<FileIdentity>& protectedFiles,
                         std::string& reason, std::string& warnings) override {
    if (format == PictureFormat::kPdf) {
      const PdfLibrary* pdf = LoadPdfModule(reason);
      return pdf && pdf->writeSheetPdf(doc, plan, sheet, file, Options(protectedFiles), reason, &warnings);
    }
    const PictureLibrary* library = LoadPictureModule(reason);
    return library && library->writeSheetPicture(doc, plan, sheet, format, file, Options(protectedFiles), reason,
                                                 &warnings);
  }
  bool WriteSheetSet(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets, bool withPlan,
                     const std::filesystem::path& file, const std::set<FileIdentity>& protectedFiles,
                     std::string& reason, std::string& warnings) override {
    const PdfLibrary* pdf = LoadPdfModule(reason);
    return pdf && pdf->writeSheetSetPdfAt(doc, plan, sheets, withPlan, file, Options(protectedFiles), reason, &warnings);
  }

 private:
  PictureOptions Options(const std::set<FileIdentity>& protectedFiles) const {
    PictureOptions options{{}, command_.color, command_.dpi, protectedFiles};
    options.pdfLayers = command_.pdfLayers;
    return options;
  }
  const CommandLine& command_;
};

// The dry run's lines for the files beside a drawing's sheets, as the run names them.
void PrintCompanions(const SheetPlan& plan) {
  for (const OutputRow& row : OutputRowsOf(plan)) {
    const PlannedOutput& out = *row.output;
    std::cout << "  also " << PrintableText(out.file.string());
    if (out.state == OutputState::kRefused) std::cout << " (not written: " << out.reason << ")";
    std::cout << "\n";
  }
}

// The command line's part of a session: its options override the settings for this run, and a
// dry run prints every plan.
class CommandLineFrontEnd final : public SessionFrontEnd {
 public:
  CommandLineFrontEnd(const CommandLine& command, Console& console) : command_(command), console_(console), pictures_(command) {}
  // The session whose inputs and settings files no picture may replace.
  void Protect(const Session& session) { session_ = &session; }
  void SettingsLoaded(SplitOptions& options) override { command_.overrides.ApplyTo(options); }
  bool DrawingDoneReadsDrawing() const override { return command_.mode == CommandMode::kPlan; }
  CompanionRequest Companions() override {
    // The plan picture shows them too, planned and not written.
    CompanionRequest request;
    request.pictures = command_.sheetPictures;
    request.dxf = command_.sheetDxf;
    request.pdfSet = command_.pdfSet;
    request.pdfSetPlan = command_.pdfSetPlan;
    request.dxfOptions = command_.dxf;
    // Without the PDF module an embedded image goes beside the DXF as it is stored.
    std::string error;
    if (request.dxf && LoadPdfModule(error))
      request.dxfOptions.toPng = [](const std::vector<uint8_t>& stored, bool gzipped, std::vector<uint8_t>& png) {
        std::string unused;
        const PdfLibrary* pdf = LoadPdfModule(unused);
        return pdf && pdf->imageAsPng(stored, gzipped, png);
      };
    return request;
  }
  PictureWriter* Pictures() override { return &pictures_; }
  void OutputFailed(const OutputFailure& failure) override {
    ++failedPictures;
    console_.ErrorLine("kelvane: " + PrintableText(FailureLine(failure)));
  }
  // Said even with -q: a picture without some of its contents is not what was asked for.
  void OutputWarnings(const std::string& lines) override { Warn(lines); }
  void ReportNotWritten(const OutputFailure& failure) override {
    reportFailed = true;
    console_.ErrorLine("kelvane: " + PrintableText(FailureLine(failure)));
  }
  void DrawingDone(const JwwDocument& doc, const SheetPlan& plan, const std::vector<SheetOutcome>&) override {
    if (command_.mode == CommandMode::kPlan) return DrawPlan(doc, plan);
    if (!command_.dryRun) return;
    PrintPlan(plan);
    PrintCompanions(plan);
  }
  void InputNotListed(const ListingProblem& problem) override {
    if (problem.repeated)
      return console_.Quiet() ? void() : Warn(PrintableText(problem.path.string()) + ": " + problem.reason + "\n");
    console_.ErrorLine("kelvane: " + PrintableText(problem.path.string()) + ": " + problem.reason);
  }
  void DrawingFinished(const RunSummary& summary, size_t done) override {
    console_.Progress(done, summary.drawingsListed, summary.SheetsWritten());
  }
  void RunFinished(const RunSummary& summary) override {
    if (console_.Quiet()) {
      // The status lines that said so were not shown: every failure is named here instead.
      for (const FailedDrawing& f : summary.failedDrawings)
        if (!f.listing)  // told when the listing found it
          console_.ErrorLine("kelvane: " + PrintableText(f.source.string()) + ": " + PrintableText(f.reason));
      for (const SheetRecord& sheet : summary.sheets)
        if (sheet.outcome == "failed") console_.ErrorLine("kelvane: " + PrintableText(sheet.failure));
    }
    console_.Finish(SummaryText(summary));
    if (command_.reportFile && *command_.reportFile == "-") std::cout << ReportJson(summary) << std::flush;
  }
  // Pictures that could not be written, and the first reason.
  int failedPictures = 0;
  bool reportFailed = false;

 private:
  std::set<FileIdentity> ProtectedFiles() const { return session_ ? session_->ProtectedFiles() : std::set<FileIdentity>(); }
  void DrawPlan(const JwwDocument& doc, const SheetPlan& plan) {
    std::string error, warnings;
    folders_.Prepare(*command_.pictureFile);
    const PictureOptions pictures{command_.sheetPictures, command_.color, command_.dpi, ProtectedFiles()};
    const PictureLibrary* library = LoadPictureModule(error);
    if (!library)
      Failed(command_.pictureFile->string() + ": picture not written: " + error);
    else if (library->writePlanPicture(doc, plan, *command_.pictureFile, pictures, error, &warnings))
      std::cout << PrintableText(command_.pictureFile->string()) << "\n";
    else
      Failed(error);
    Warn(warnings);
  }
  void Failed(const std::string& error) {
    ++failedPictures;
    console_.ErrorLine("kelvane: " + PrintableText(error));
  }
  const CommandLine& command_;
  Console& console_;
  ModulePictures pictures_;
  const Session* session_ = nullptr;
  PictureFolders folders_;
};

// The session's printing on the command line: every written sheet's PDF through CUPS, each
// job or failure told on the console.
class CommandLinePrinting final : public SheetPrinting {
 public:
  CommandLinePrinting(const CommandLine& command, Console& console, SheetPrinter& printer)
      : command_(command), console_(console), printer_(printer) {}
  // The session whose inputs and settings files no temporary PDF may replace.
  void Protect(const Session& session) { session_ = &session; }
  // Sends a written sheet to the printer: its PDF when the run wrote one.
  void PrintSheet(const SheetToPrint& request) override {
    const SheetPlan& plan = request.plan;
    const PlannedSheet& sheet = plan.sheets[request.index];
    std::filesystem::path pdf;
    bool anyPicture = false;
    for (const PlannedOutput& out : plan.outputs) {
      if (out.kind != OutputKind::kPicture || out.sheet != request.index) continue;
      anyPicture = true;
      if (out.format == PictureFormat::kPdf && out.state == OutputState::kWritten) pdf = out.file;
    }
    PictureOptions pictures{{}, command_.color, command_.dpi, ProtectedFiles()};
    pictures.pdfLayers = command_.pdfLayers;
    std::string error, warnings;
    const std::string job =
        printer_.Print(request.document, plan, sheet, pictures, pdf, error, anyPicture ? nullptr : &warnings);
    // Shown even when quiet: the run succeeds, so only these lines tell what was left out.
    Warn(warnings);
    if (!job.empty()) {
      console_.StatusLine(PrintableText(sheet.file.string()) + ": printed as job " + PrintableText(job));
      return;
    }
    if (failedPrints++ == 0) firstPrintFailure = error;
    console_.ErrorLine("kelvane: " + PrintableText(sheet.file.string()) + ": not printed: " + PrintableText(error));
  }
  // Sheets written but not printed, and the first reason.
  int failedPrints = 0;
  std::string firstPrintFailure;

 private:
  std::set<FileIdentity> ProtectedFiles() const { return session_ ? session_->ProtectedFiles() : std::set<FileIdentity>(); }
  const CommandLine& command_;
  Console& console_;
  SheetPrinter& printer_;
  const Session* session_ = nullptr;
};

// One drawing on its own paper, as Jw_cad prints it. The drawing itself is never replaced.
int Render(const CommandLine& command) {
  const std::filesystem::path& drawing = command.operands[0];
  JwwDocument doc;
  const bool loaded = doc.LoadFromFile(drawing);
  std::string error = loaded ? std::string() : "cannot load " + drawing.string() + ": " + doc.diagnostics.reason;
  std::string warnings;
  if (loaded) {
    PictureOptions options{{}, command.color, command.dpi, {}};
    options.pdfLayers = command.pdfLayers;
    if (std::optional<FileIdentity> id = FileIdentityOf(drawing)) options.protectedFiles.insert(*id);
    PictureFolders().Prepare(*command.pictureFile);
    if (const PictureLibrary* library = LoadPictureModule(error))
      library->writeDrawingPicture(doc, drawing, *command.pictureFile, options, error, &warnings);
    else
      error = command.pictureFile->string() + ": picture not written: " + error;
  }
  Warn(warnings);
  if (!error.empty()) {
    std::cerr << "kelvane: " << PrintableText(error) << "\n";
    return 1;
  }
  return 0;
}

// One whole drawing as one DXF file; the drawing itself is never replaced.
int Export(const CommandLine& command) {
  const std::filesystem::path& drawing = command.operands[0];
  JwwDocument doc;
  std::string error;
  if (!doc.LoadFromFile(drawing)) {
    error = "cannot load " + drawing.string() + ": " + doc.diagnostics.reason;
  } else {
    std::set<FileIdentity> inputs;
    if (std::optional<FileIdentity> id = FileIdentityOf(drawing)) inputs.insert(*id);
    PictureFolders().Prepare(*command.exportFile);
    WriteDxfFile(doc, nullptr, *command.exportFile, DxfOptionsFor(command, drawing), inputs, error);
  }
  if (!error.empty()) {
    std::cerr << "kelvane: " << PrintableText(error) << "\n";
    return 1;
  }
  return 0;
}

int Split(const CommandLine& command) {
  if (command.settingsFile) {
    const std::string problem = CheckNamedSettingsFile(*command.settingsFile);
    if (!problem.empty())
      return Fail("the settings file " + PrintableText(command.settingsFile->string()) + " " + problem);
  }
  Console console(command.quiet);
  const PosixFileQueries files;
  const PosixEnvironment environment(command.operands);
  TerminalDialogs dialogs;
  TerminalFeedback feedback([&console](const std::string& line) { console.StatusLine(line); });
  const std::unique_ptr<PrintService> cups = MakeCupsPrintService();
  SheetPrinter printer(*cups, command.printer.value_or(std::string()), LoadPictureModule);
  CommandLinePrinting printing(command, console, printer);
  CommandLineFrontEnd frontEnd(command, console);
  SessionSettings settings;
  settings.namedSettingsFile = command.settingsFile;
  settings.outputFolder = command.outputFolder;
  settings.dryRun = command.dryRun || command.mode == CommandMode::kPlan;
  settings.recursive = command.recursive;
  settings.jobs = command.jobs ? *command.jobs : std::max(1u, std::thread::hardware_concurrency());
  if (command.reportFile && *command.reportFile != "-") settings.reportFile = command.reportFile;
  SessionServices services{files, environment, dialogs, feedback};
  services.printing = &printing;
  Session session(services, frontEnd, settings);
  frontEnd.Protect(session);
  printing.Protect(session);

  const bool closeNow = session.Start();
  const bool cancelled = session.cancelRequested;
  const bool anyInput = !session.inputFiles.empty();  // closing empties the list
  // Options given here are for this run only: the settings file keeps what the user set.
  if (closeNow && !command.overrides.Any() && !settings.dryRun && session.CanClose()) session.Close();
  if (!anyInput) {
    if (command.reportFile && *command.reportFile == "-") std::cout << ReportJson(session.Summary()) << std::flush;
    std::cerr << "kelvane: no drawing to convert (a drawing must exist and end in .jww)\n";
    return 1;
  }
  if (cancelled) return 130;
  const RunFailures& failures = session.Failures();
  if (failures.count > 0)
    std::cerr << "kelvane: " << failures.count
              << " sheet(s) or drawing(s) could not be written; first: " << PrintableText(SjisToUtf8(failures.first))
              << "\n";
  // The status above says the conversion is done; this last line says what was not printed.
  if (printing.failedPrints > 0)
    std::cerr << "kelvane: " << printing.failedPrints
              << " written sheet(s) not printed; first: " << PrintableText(printing.firstPrintFailure) << "\n";
  if (frontEnd.failedPictures > 0 || printing.failedPrints > 0 || !session.Summary().outputFailures.empty()) return 1;
  return failures.count > 0 || frontEnd.reportFailed || session.UnreadableInputs() > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the file-size limit fails with EFBIG, and is told
  const CommandLineResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.command) return Fail(parsed.error);
  const CommandLine& command = *parsed.command;
  const auto& operands = command.operands;
  switch (command.mode) {
    case CommandMode::kHelp:
      std::cout << kUsage;
      return parsed.usageWithoutArguments ? 2 : 0;
    case CommandMode::kVersion:
      return Version();
    case CommandMode::kInfo:
      return Info(operands[0]);
    case CommandMode::kRoundtrip:
      return Roundtrip(operands[0], operands[1]);
    case CommandMode::kMakeExample:
      return MakeExample(operands[0]);
    case CommandMode::kRender:
    case CommandMode::kExport:
    case CommandMode::kSplit:
    case CommandMode::kPlan:
      break;
  }
  try {
    if (command.mode == CommandMode::kExport) return Export(command);
    return command.mode == CommandMode::kRender ? Render(command) : Split(command);
  } catch (const std::exception& e) {
    // Nothing should get here; if it does, say so instead of aborting.
    std::cerr << "kelvane: " << PrintableText(e.what()) << "\n";
    return 1;
  }
}
