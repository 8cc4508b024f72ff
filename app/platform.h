// The services the session asks of its front end, declared once and implemented by the command
// line (app/posix/) and the window (app/win32/).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_identity.h"

namespace kelvane {

// Everything the window's logic asks of the operating system. Texts crossing this boundary
// are Shift_JIS; paths are std::filesystem::path.
class Platform {
 public:
  virtual ~Platform() = default;

  // The full path of the program's own executable.
  virtual std::filesystem::path ExecutablePath() const = 0;
  // The command-line parameters in order, without the program itself.
  virtual std::vector<std::filesystem::path> Parameters() const = 0;

  virtual bool FileExists(const std::filesystem::path& path) const = 0;
  virtual bool FolderExists(const std::filesystem::path& path) const = 0;
  // The identity of an existing file or folder (links followed); nothing when it does not exist.
  virtual std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) const = 0;
  // True where file names differ only in case name the same file (Windows).
  virtual bool NamesIgnoreCase() const = 0;
  // The file's last modification in local time as "<short date> <long time>"; nothing when the
  // file cannot be examined.
  virtual std::optional<std::string> FileTimeText(const std::filesystem::path& path) const = 0;
  // The current local date and time, formatted like FileTimeText.
  virtual std::string NowText() const = 0;

  virtual std::filesystem::path DesktopFolder() const = 0;
  virtual std::filesystem::path DocumentsFolder() const = 0;
  // Where the settings go when the executable's folder cannot take them.
  virtual std::filesystem::path UserSettingsFolder() const = 0;
  // True when the executable was installed into the system's own folders (a package), which
  // nothing but the package manager may write: the settings then live in the user's folder.
  virtual bool ExecutableInSystemFolder() const { return false; }

  // The default value of a key under HKEY_CLASSES_ROOT, read without creating the key; empty
  // on any failure.
  virtual std::string ClassesRootDefaultValue(std::string_view key) const = 0;

  // A Yes/No confirmation box; true for Yes.
  virtual bool ConfirmYesNo(std::string_view sjisText) = 0;
  // An information box with an OK button.
  virtual void Inform(std::string_view sjisText) = 0;
  // Lets the user pick a folder, starting in the given one; nothing when cancelled.
  virtual std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& start) = 0;

  // Registers the main window for dropped files.
  virtual void AcceptDroppedFiles() = 0;
  // The instantaneous state of the Escape key.
  virtual bool EscapeDown() = 0;
  // Handles the window messages that are waiting, from inside a long operation.
  virtual void ProcessMessages() = 0;
  // Shows the text in the status bar and repaints it at once.
  virtual void SetStatusText(std::string_view sjisText) = 0;
  // Starts a program with the given parameters and does not wait for it; failures are ignored.
  virtual void StartProgram(std::string_view sjisProgram, std::string_view sjisParameters) = 0;
  // Has Jw_cad print a saved sheet: starts the program with "/p" and the file's absolute path
  // in double quotes, passed as wide text where the platform has it, so that no folder name is
  // lost to code page 932.
  virtual void PrintWithHost(std::string_view sjisProgram, const std::filesystem::path& absoluteFile) = 0;

  // The platform's own text conversions, reachable through the interface so that tests can
  // replace them.
  virtual std::filesystem::path ToPath(std::string_view sjis) const = 0;
  virtual std::string ToSjis(const std::filesystem::path& path) const = 0;
};

}  // namespace kelvane
