// The services of the app layer on Windows, over the wide API: files, shell folders, the
// registry, message boxes, drops, the status bar, the message pump and printing through Jw_cad.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/services.h"
#include "app/sheet_printing.h"
#include "platform/win32/wide_text.h"

namespace kelvane {

// Every service of the Windows program's session. They are one object because message boxes,
// drops, the status bar, the message pump and the programs started all belong to the main
// window, which is attached once it exists.
class Win32Services : public FileQueries,
                      public ProgramEnvironment,
                      public UserDialogs,
                      public RunFeedback,
                      public WindowServices,
                      public HostRegistry,
                      public SheetPrinting {
 public:
  // Without arguments: the process's own command line and executable. Tests pass their own.
  Win32Services();
  Win32Services(std::vector<std::filesystem::path> parameters, std::filesystem::path executable);

  // All of them, for the session.
  SessionServices Services() { return {*this, *this, *this, *this, this, this, this}; }

  void AttachWindow(HWND mainWindow, HWND statusBar);
  // Takes "/preview" (any case) and the drawing after it out of the parameters, so that the
  // session does not split that drawing; false when the switch is not there.
  bool TakePreviewSwitch(std::filesystem::path& drawing);
  // Takes every parameter equal to the switch (any case, e.g. "/pdf") out of the parameters;
  // false when there is none.
  bool TakeSwitch(std::wstring_view name);
  HWND MainWindow() const { return mainWindow_; }

  std::filesystem::path ExecutablePath() const override;
  std::vector<std::filesystem::path> Parameters() const override;
  bool FileExists(const std::filesystem::path& path) const override;
  bool FolderExists(const std::filesystem::path& path) const override;
  std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) const override;
  bool NamesIgnoreCase() const override { return true; }
  std::optional<std::string> FileTimeText(const std::filesystem::path& path) const override;
  std::string NowText() const override;
  std::filesystem::path DesktopFolder() const override;
  std::filesystem::path DocumentsFolder() const override;
  std::filesystem::path UserSettingsFolder() const override;
  bool ExecutableInSystemFolder() const override { return false; }
  std::string ClassesRootDefaultValue(std::string_view key) const override;
  bool ConfirmYesNo(std::string_view sjisText) override;
  void Inform(std::string_view sjisText) override;
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& start) override;
  void AcceptDroppedFiles() override;
  // The instantaneous state of the Escape key.
  bool StopRequested() override;
  void ProcessMessages() override;
  void SetStatusText(std::string_view sjisText) override;
  // Has Jw_cad print the sheet (PrintWithHost with the request's program and file).
  void PrintSheet(const SheetToPrint& sheet) override;
  std::filesystem::path ToPath(std::string_view sjis) const override;
  std::string ToSjis(const std::filesystem::path& path) const override;

  // Starts a program with the given parameters and does not wait for it; failures are ignored.
  void StartProgram(std::string_view sjisProgram, std::string_view sjisParameters);
  // Has Jw_cad print a saved sheet: starts the program with "/p" and the file's absolute path
  // in double quotes, passed as wide text, so that no folder name is lost to code page 932.
  void PrintWithHost(std::string_view sjisProgram, const std::filesystem::path& absoluteFile);

 private:
  std::vector<std::filesystem::path> parameters_;
  std::filesystem::path executable_;
  HWND mainWindow_ = nullptr;
  HWND statusBar_ = nullptr;
};

// Hands one queued message on the way the main loop does: the main window's dialog keys (Tab,
// Enter, Escape) first.
void DispatchWindowMessage(HWND mainWindow, MSG& msg);

}  // namespace kelvane
