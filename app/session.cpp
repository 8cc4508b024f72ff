// One session: start-up, the input list, the batch run with its status texts, closing.
#include "app/session.h"

#include <system_error>

#include "app/batch_run.h"
#include "app/messages.h"
#include "platform/replacing_file.h"
#include "app/settings.h"
#include "app/text_file.h"

namespace kelvane {

namespace {

constexpr std::string_view kHostRegistryKey = "Jwwin.Document\\shell\\open\\command";
constexpr std::string_view kDefaultHostExe = "C:\\JWW\\Jw_win.exe";
constexpr std::string_view kHandOverFile = "JWC_TEMP.TXT";
constexpr std::string_view kHandOverSwitch = "/G";

// A hand-over file is a few short lines; anything longer is not one.
constexpr size_t kHandOverMaxLineBytes = 64 * 1024;
constexpr size_t kHandOverMaxLines = 1024;

// The side file is written once it holds something: a program that never set a side option
// leaves no file behind.
void KeepSideSettings(const std::filesystem::path& file, const SideSettings& side) {
  std::error_code ec;
  if (side.options == SideOptions{} && side.otherLines.empty() && !std::filesystem::exists(file, ec)) return;
  SaveSideSettings(file, side);
}

// Leading and trailing blanks and control characters removed.
std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string HostExePathFrom(std::string_view registryValue) {
  std::string_view exe = registryValue;
  size_t closing;
  if (exe.empty()) {
    exe = kDefaultHostExe;
  } else if (exe[0] == '"' && (closing = exe.find('"', 1)) != std::string_view::npos) {
    // A quoted path is taken whole: cut at its first blank, "C:\Program Files\..." could never
    // print. The quotes are put back below.
    exe = exe.substr(1, closing - 1);
  } else if (size_t blank = exe.find(' '); blank != std::string_view::npos) {
    exe = exe.substr(0, blank);
  }
  std::string quoted = "\"";
  quoted += exe;
  quoted += '"';
  return quoted;
}

Session::Session(const SessionServices& services, SessionFrontEnd& frontEnd, SessionSettings settings)
    : services_(services), files_(services.files), environment_(services.environment), frontEnd_(frontEnd),
      settings_(std::move(settings)) {}

Session::~Session() = default;

std::filesystem::path Session::SettingsFile() const {
  if (!settingsFile_.empty()) return settingsFile_;
  return settings_.namedSettingsFile ? *settings_.namedSettingsFile : DefaultSettingsFile(files_, environment_);
}

bool Session::Start() {
  running = false;
  cancelRequested = false;
  if (services_.window) services_.window->AcceptDroppedFiles();
  exeFolder = environment_.ExecutablePath().parent_path() / "";

  settingsFile_ = SettingsFile();
  LoadSettings(settingsFile_, options, position);
  side = LoadSideSettings(SideSettingsFileOf(settingsFile_));
  frontEnd_.SettingsLoaded(options);

  document_ = std::make_unique<JwwDocument>();
  hostExePath = HostExePathFrom(FindHostExecutable());

  const std::vector<std::filesystem::path> parameters = environment_.Parameters();
  const bool handOver = parameters.size() == 1 && files_.ToSjis(parameters[0]) == kHandOverSwitch;
  inputFiles.clear();
  if (handOver) {
    std::string named = ReadHandOverFile();
    if (!named.empty() && files_.FileExists(files_.ToPath(named))) inputFiles.push_back(files_.ToPath(named));
  } else {
    inputFiles = ListInputs(parameters, settings_.recursive);
  }

  // Jw_cad starts us on its current drawing, perhaps unsaved: ask first when so set. Without a
  // drawing to name there is nothing to ask about (nothing is converted either way).
  if (handOver && options.confirmSavedBeforeRun && !inputFiles.empty() &&
      !services_.dialogs.ConfirmYesNo(OverwriteConfirmationText(inputFiles.back()))) {
    services_.dialogs.Inform(kRunAborted);
    return true;
  }

  if (!inputFiles.empty())
    RunBatch();
  else if (settings_.reportFile)
    WriteReport();  // what the listing found, even when it found no drawing
  return !parameters.empty();
}

std::string Session::FindHostExecutable() const {
  return services_.registry ? services_.registry->ClassesRootDefaultValue(kHostRegistryKey) : std::string();
}

std::string Session::ReadHandOverFile() const {
  const std::filesystem::path file = exeFolder / kHandOverFile;
  if (!files_.FileExists(file)) return std::string();
  const std::optional<std::vector<std::string>> lines = ReadTextLines(file, kHandOverMaxLineBytes, kHandOverMaxLines);
  if (!lines) return std::string();
  for (const std::string& line : *lines)
    if (line.compare(0, 5, "file=") == 0) return std::string(Trim(std::string_view(line).substr(5)));
  return std::string();
}

std::string Session::OverwriteConfirmationText(const std::filesystem::path& file) const {
  std::optional<std::string> stamp;
  if (files_.FileExists(file)) stamp = files_.FileTimeText(file);
  std::string text(kSavedQuestion);
  text += "\r\n";
  text += kFileNameLabel;
  text += files_.ToSjis(file);
  text += "\r\n";
  text += kTimeStampLabel;
  text += stamp ? *stamp : std::string(kFileNotFound);
  text += "\r\n";
  text += kNowLabel;
  text += environment_.NowText();
  return text;
}

void Session::DropFiles(const std::vector<std::filesystem::path>& dropped) {
  if (running) return;
  inputFiles = ListInputs(dropped, settings_.recursive);
  if (!inputFiles.empty()) RunBatch();
}

std::vector<std::filesystem::path> Session::ListInputs(const std::vector<std::filesystem::path>& parameters,
                                                       bool recursive) {
  InputListing listing = ListInputFiles(files_, parameters, recursive);
  listingFailures_.clear();
  for (const ListingProblem& problem : listing.problems) {
    if (!problem.repeated) {
      ++unreadableInputs_;
      listingFailures_.push_back({problem.path, problem.reason, true});
    }
    frontEnd_.InputNotListed(problem);
  }
  summary_ = RunSummary{};
  summary_.failedDrawings = listingFailures_;
  return std::move(listing.files);
}

std::optional<std::filesystem::path> Session::RunOutputFolder() const {
  if (settings_.outputFolder) return *settings_.outputFolder / "";
  if (options.outputFolder == OutputFolder::kDesktop) return environment_.DesktopFolder() / "";
  if (options.outputFolder == OutputFolder::kDocuments) return environment_.DocumentsFolder() / "";
  if (options.outputFolder != OutputFolder::kSourceFolder && !options.givenFolder.empty()) {
    std::filesystem::path given = files_.ToPath(options.givenFolder);
    if (files_.FolderExists(given)) return given / "";
  }
  return std::nullopt;
}

void Session::RunBatch() {
  running = true;
  cancelRequested = false;
  if (!document_) document_ = std::make_unique<JwwDocument>();

  // One output folder for the whole run; none means each drawing's own folder.
  const std::optional<std::filesystem::path> outputFolder = RunOutputFolder();
  LimitOptions(options);
  frontEnd_.RunStarted(options);

  // A copy: the list must stay as it is for the whole run. Every input is protected from the
  // start, so that no sheet replaces a drawing split earlier in the run or one still waiting.
  const std::vector<std::filesystem::path> files = inputFiles;
  run_.Clear();
  run_.started = std::filesystem::file_time_type::clock::now();
  failures_ = RunFailures{};
  for (const std::filesystem::path& file : files) AddRunInput(run_, files_, file);
  for (const std::filesystem::path& file : {SettingsFile(), SideSettingsFile()}) AddProtectedFile(run_, files_, file);

  const size_t n = files.size();
  summary_ = RunSummary{};
  summary_.failedDrawings = listingFailures_;  // the folders that could not be read come first
  summary_.drawingsListed = n;
  summary_.dryRun = settings_.dryRun;
  reportRefused_ = false;
  if (settings_.reportFile) {
    // Said before anything is written; the sheets still go, the report does not.
    if (const std::optional<OutputRefusal> refusal = ReserveRunFile(run_, files_, *settings_.reportFile)) {
      reportRefused_ = true;
      frontEnd_.ReportNotWritten({*settings_.reportFile, OutputKind::kReport, RefusalText(*refusal)});
    }
  }
  companions_ = frontEnd_.Companions();
  BatchSetup setup{files_,  services_.feedback, services_.window, {},   {},        options,
                   settings_.dryRun, run_,      failures_,         summary_, cancelRequested};
  // Printed once the drawing's files are all written, so that a sheet's PDF is there to print.
  SheetPrinting* printing = options.printAfterSplit ? services_.printing : nullptr;
  setup.drawingDone = [this, printing](const JwwDocument& doc, const SheetPlan& plan,
                                       const std::vector<SheetOutcome>& outcomes) {
    if (printing) PrintWrittenSheets(*printing, doc, plan, outcomes, hostExePath);
    frontEnd_.DrawingDone(doc, plan, outcomes);
  };
  setup.drawingFinished = [this](size_t done) { frontEnd_.DrawingFinished(summary_, done); };
  setup.drawingDoneReadsDrawing = frontEnd_.DrawingDoneReadsDrawing() || printing;
  if (companions_.Any()) WriteCompanionsWith(setup);
  ConvertDrawings(setup, files, outputFolder, settings_.jobs, *document_);
  summary_.cancelled = cancelRequested;

  std::string status = cancelRequested ? std::string(kCancelledStatus) : std::string(kConvertedStatus) + std::to_string(n) + ")";
  const std::string failures = failures_.Summary();
  if (!failures.empty()) status += " " + failures;
  services_.feedback.SetStatusText(status);
  frontEnd_.RunFinished(summary_);
  if (settings_.reportFile && !reportRefused_) WriteReport();
  running = false;
}

void Session::WriteCompanionsWith(BatchSetup& setup) {
  setup.companions = &companions_;
  setup.pictures = frontEnd_.Pictures();
  // Known from the start: asking every input again for every drawing grew with the square of
  // a batch.
  protectedIdentities_ = run_.inputIdentities;
  protectedIdentities_.insert(run_.protectedIdentities.begin(), run_.protectedIdentities.end());
  setup.protectedFiles = &protectedIdentities_;
  setup.companionsDone = [this](const CompanionResult& result) {
    for (const OutputFailure& failure : result.failures) {
      summary_.outputFailures.push_back(failure);
      frontEnd_.OutputFailed(failure);
    }
    if (!result.warnings.empty()) frontEnd_.OutputWarnings(result.warnings);
  };
}

std::set<FileIdentity> Session::ProtectedFiles() const {
  std::set<FileIdentity> ids;
  for (const std::filesystem::path& input : inputFiles)
    if (std::optional<FileIdentity> id = files_.IdentityOf(input)) ids.insert(*id);
  for (const std::filesystem::path& file : {SettingsFile(), SideSettingsFile()})
    if (std::optional<FileIdentity> id = files_.IdentityOf(file)) ids.insert(*id);
  return ids;
}

void Session::WriteReport() {
  const std::filesystem::path& file = *settings_.reportFile;
  std::string problem = ProtectedTargetProblem(file, ProtectedFiles());  // changed since it was reserved
  if (problem.empty()) {
    ReplacingFile out(file);
    if (out.ok()) out.stream() << ReportJson(summary_);
    if (!out.ok() || !out.Commit()) problem = out.error();
  }
  if (!problem.empty()) frontEnd_.ReportNotWritten({file, OutputKind::kReport, problem});
}

void Session::NoteFailure(const std::string& sjisText) {
  services_.feedback.SetStatusText(sjisText);
  failures_.Note(sjisText);
}

bool Session::CanClose() {
  if (!running) return true;
  cancelRequested = true;
  return false;
}

void Session::Close() {
  LimitOptions(options);
  inputFiles.clear();
  document_.reset();

  // A settings file named by the caller is only read: whatever it is, it stays as it was.
  if (settings_.namedSettingsFile) return;
  const std::filesystem::path file = SettingsFile();
  std::error_code ec;
  if (file == UserSettingsFile(environment_)) std::filesystem::create_directories(file.parent_path(), ec);
  if (SaveSettings(file, options, position)) {
    KeepSideSettings(SideSettingsFileOf(file), side);
    return;
  }
  // The executable's folder refused the file (read-only install): keep the settings in the
  // user's folder instead, where the next start looks first.
  if (file != SettingsFileBeside(environment_.ExecutablePath())) return;
  const std::filesystem::path user = UserSettingsFile(environment_);
  std::filesystem::create_directories(user.parent_path(), ec);
  if (SaveSettings(user, options, position)) KeepSideSettings(SideSettingsFileOf(user), side);
}

void Session::ChooseOutputFolder() {
  std::filesystem::path start = files_.ToPath(options.givenFolder);
  if (options.givenFolder.empty() || !files_.FolderExists(start)) start = exeFolder;
  if (!services_.window) return;
  if (std::optional<std::filesystem::path> chosen = services_.window->ChooseFolder(start))
    options.givenFolder = files_.ToSjis(*chosen / "");
}

}  // namespace kelvane
