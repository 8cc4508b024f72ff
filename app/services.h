// The services a session asks of the system it runs on, one interface per job. Each front end
// hands the session those it has: the command line has no window, no registry and no folder
// dialog, and says so by giving none. Texts crossing these interfaces are Shift_JIS; paths are
// std::filesystem::path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_identity.h"

namespace kelvane {

// What the file system holds, and how its names read as Shift_JIS.
class FileQueries {
 public:
  virtual ~FileQueries() = default;
  virtual bool FileExists(const std::filesystem::path& path) const = 0;
  virtual bool FolderExists(const std::filesystem::path& path) const = 0;
  // The identity of an existing file or folder (links followed); nothing when it does not exist.
  virtual std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) const = 0;
  // True where file names differ only in case name the same file (Windows).
  virtual bool NamesIgnoreCase() const = 0;
  // The file's last modification in local time as "<short date> <long time>"; nothing when the
  // file cannot be examined.
  virtual std::optional<std::string> FileTimeText(const std::filesystem::path& path) const = 0;
  // The system's own text conversions, reachable here so that tests can replace them.
  virtual std::filesystem::path ToPath(std::string_view sjis) const = 0;
  virtual std::string ToSjis(const std::filesystem::path& path) const = 0;
};

// Where the program runs: its executable, its parameters, the user's folders and the clock.
class ProgramEnvironment {
 public:
  virtual ~ProgramEnvironment() = default;
  // The full path of the program's own executable.
  virtual std::filesystem::path ExecutablePath() const = 0;
  // The command-line parameters in order, without the program itself.
  virtual std::vector<std::filesystem::path> Parameters() const = 0;
  virtual std::filesystem::path DesktopFolder() const = 0;
  virtual std::filesystem::path DocumentsFolder() const = 0;
  // Where the settings go when the executable's folder cannot take them.
  virtual std::filesystem::path UserSettingsFolder() const = 0;
  // True when the executable was installed into the system's own folders (a package), which
  // nothing but the package manager may write: the settings then live in the user's folder.
  virtual bool ExecutableInSystemFolder() const = 0;
  // The current local date and time, formatted like FileQueries::FileTimeText.
  virtual std::string NowText() const = 0;
};

// Questions and notices the user answers or acknowledges.
class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // A Yes/No confirmation; true for Yes.
  virtual bool ConfirmYesNo(std::string_view sjisText) = 0;
  // A notice the user acknowledges.
  virtual void Inform(std::string_view sjisText) = 0;
};

// What a run says while it goes, and the user's request to stop it.
class RunFeedback {
 public:
  virtual ~RunFeedback() = default;
  // Shows one status text at once (the status bar, a line of the terminal).
  virtual void SetStatusText(std::string_view sjisText) = 0;
  // True once the user asked the run to stop (Escape in the window, Ctrl-C on a terminal).
  virtual bool StopRequested() = 0;
};

// What only a window does: take dropped files, keep answering while a run goes on, and let
// the user pick a folder.
class WindowServices {
 public:
  virtual ~WindowServices() = default;
  // Registers the main window for dropped files.
  virtual void AcceptDroppedFiles() = 0;
  // Handles the window messages that are waiting, from inside a long operation.
  virtual void ProcessMessages() = 0;
  // Lets the user pick a folder, starting in the given one; nothing when cancelled.
  virtual std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& start) = 0;
};

// The Windows registry, where Jw_cad is registered.
class HostRegistry {
 public:
  virtual ~HostRegistry() = default;
  // The default value of a key under HKEY_CLASSES_ROOT, read without creating the key; empty
  // on any failure.
  virtual std::string ClassesRootDefaultValue(std::string_view key) const = 0;
};

class SheetPrinting;

// The services of one session. The first four every front end has; the others are null where
// the system or the front end has no such thing.
struct SessionServices {
  const FileQueries& files;
  const ProgramEnvironment& environment;
  UserDialogs& dialogs;
  RunFeedback& feedback;
  WindowServices* window = nullptr;
  const HostRegistry* registry = nullptr;
  SheetPrinting* printing = nullptr;  // app/sheet_printing.h
};

}  // namespace kelvane
