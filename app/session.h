// One session of the program, with or without a window: start-up, the input list, the batch
// run that plans and writes every drawing's sheets, and closing.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/input_files.h"
#include "app/options.h"
#include "app/output_writer.h"
#include "app/services.h"
#include "app/run_summary.h"
#include "app/sheet_plan.h"
#include "app/sheet_writer.h"
#include "app/side_settings.h"
#include "jww/document.h"

namespace kelvane {

struct BatchSetup;

// Jw_cad's executable for printing: the registry's open command cut at its first blank, or the
// default path when the value is empty, wrapped in double quotes whatever it holds.
std::string HostExePathFrom(std::string_view registryValue);

// What differs between the window and the command line beyond the system's services: where
// the option values come from and who looks at the plans. Every call has a default that does
// nothing.
class SessionFrontEnd {
 public:
  virtual ~SessionFrontEnd() = default;
  // The settings were just read: show them, or override some for this run.
  virtual void SettingsLoaded(SplitOptions&) {}
  // A run has limited its options; the limits may have corrected what was shown.
  virtual void RunStarted(const SplitOptions&) {}
  // A drawing's sheets were planned and then written (outcomes has one entry per planned
  // sheet), or only planned in a dry run (outcomes is empty).
  virtual void DrawingDone(const JwwDocument&, const SheetPlan&, const std::vector<SheetOutcome>&) {}
  // False when DrawingDone never looks at the drawing itself (no pictures, no printing): a
  // batch may then unload each drawing once written and report it later, in input order.
  virtual bool DrawingDoneReadsDrawing() const { return true; }
  // What to write beside every written sheet in the run about to start, and what draws its
  // pictures (none: no pictures).
  virtual CompanionRequest Companions() { return {}; }
  virtual PictureWriter* Pictures() { return nullptr; }
  // A file beside the sheets was refused or could not be written (the run then fails), or a
  // picture was written without something it holds (one line each).
  virtual void OutputFailed(const OutputFailure&) {}
  virtual void OutputWarnings(const std::string& /*lines*/) {}
  // The report file cannot be written where it is asked for (said when the run starts; the
  // run goes on without it), or writing it failed at the end.
  virtual void ReportNotWritten(const OutputFailure&) {}
  // A folder among the inputs, or an entry of one, could not be listed.
  virtual void InputNotListed(const ListingProblem&) {}
  // Drawing number `done` (1-based, in input order) is finished, whatever became of it.
  virtual void DrawingFinished(const RunSummary&, size_t /*done*/) {}
  // The run is over; its closing status text was shown.
  virtual void RunFinished(const RunSummary&) {}
};

// How a session runs, as its front end set it up.
struct SessionSettings {
  // A settings file named by the caller replaces the default one; it is only read.
  std::optional<std::filesystem::path> namedSettingsFile;
  // An output folder given as a path (the command line's); it replaces the folder options,
  // and also reaches folders whose names Shift_JIS cannot express.
  std::optional<std::filesystem::path> outputFolder;
  // Plan and report every sheet, write nothing.
  bool dryRun = false;
  // A folder among the inputs gives the drawings in it and, when set, in every folder below.
  bool recursive = false;
  // Drawings converted at the same time; the result is the same with any number.
  unsigned jobs = 1;
  // The file the run's report goes to once it is over; reserved before the first write, so that
  // no file of the run takes its name and it replaces no input or settings file.
  std::optional<std::filesystem::path> reportFile{};
};

class Session {
 public:
  Session(const SessionServices& services, SessionFrontEnd& frontEnd, SessionSettings settings = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Filled by the settings file and the front end; limited at the start of every run and at closing.
  SplitOptions options;
  WindowPosition position;
  // The options of the side file beside the settings file, read and written with it.
  SideSettings side;
  std::vector<std::filesystem::path> inputFiles;
  bool running = false;
  bool cancelRequested = false;
  std::string hostExePath;          // Shift_JIS, in double quotes
  std::filesystem::path exeFolder;  // ends in a separator

  // Start-up, once when the window is first shown. Converts at once when started with
  // parameters. Answers true when the window is to close now.
  bool Start();
  // Jw_cad's open command from the registry; empty on any failure.
  std::string FindHostExecutable() const;
  // The drawing path of Jw_cad's hand-over file beside the executable, or empty.
  std::string ReadHandOverFile() const;
  // The overwrite confirmation for the given drawing.
  std::string OverwriteConfirmationText(const std::filesystem::path& file) const;
  // Files dropped on the window, in order: the accepted ones become the input list and are
  // converted. A drop during a run is ignored so that the running batch is not disturbed.
  void DropFiles(const std::vector<std::filesystem::path>& dropped);
  // Converts every drawing of inputFiles, reporting through the status bar.
  void RunBatch();
  // The last run's report at SessionSettings::reportFile, whole or not at all.
  void WriteReport();
  // Answers whether the window may close; during a run the request becomes a cancel request.
  bool CanClose();
  // The window is closing: limits the options, frees the document and writes the settings.
  void Close();
  // The "参照" button: lets the user pick the output folder.
  void ChooseOutputFolder();

  JwwDocument* Document() { return document_.get(); }
  // The settings file read at start-up and written at closing.
  std::filesystem::path SettingsFile() const;
  // The side file read at start-up and written at closing, beside the settings file.
  std::filesystem::path SideSettingsFile() const { return SideSettingsFileOf(SettingsFile()); }
  // Something written beside a sheet (a picture of it) failed: the status bar says so and the
  // run ends as a failure, as for a sheet.
  void NoteFailure(const std::string& sjisText);
  // What the last run could not do: sheets not written and drawings not read.
  const RunFailures& Failures() const { return failures_; }
  // What the last run did, sheet by sheet, and the inputs its listing could not read.
  const RunSummary& Summary() const { return summary_; }
  // Files no file of a run may replace: the inputs and the settings files, by identity.
  std::set<FileIdentity> ProtectedFiles() const;
  // Folders among the inputs that could not be read since start-up.
  size_t UnreadableInputs() const { return unreadableInputs_; }
  // The output folder of a run; empty means each drawing's own folder.
  std::optional<std::filesystem::path> RunOutputFolder() const;

 private:
  // The drawings the files and folders name; what could not be listed goes to the front end.
  std::vector<std::filesystem::path> ListInputs(const std::vector<std::filesystem::path>& parameters, bool recursive);
  // Has the batch write the files beside the sheets, and tells the front end what failed.
  void WriteCompanionsWith(BatchSetup& setup);

  SessionServices services_;
  const FileQueries& files_;
  const ProgramEnvironment& environment_;
  SessionFrontEnd& frontEnd_;
  SessionSettings settings_;
  std::unique_ptr<JwwDocument> document_;
  std::filesystem::path settingsFile_;
  RunContext run_;
  RunFailures failures_;
  RunSummary summary_;
  size_t unreadableInputs_ = 0;
  CompanionRequest companions_;
  bool reportRefused_ = false;
  std::set<FileIdentity> protectedIdentities_;  // of the run: its inputs and settings files
  std::vector<FailedDrawing> listingFailures_;  // of the last listing, for the run's summary
};

}  // namespace kelvane
