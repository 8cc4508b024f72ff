// The Win32 platform layer: the operating-system services of the window, over the wide API.
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

#include "app/platform.h"
#include "platform/win32/wide_text.h"

namespace kelvane {

// The platform for the Windows program. Message boxes, drops, the status bar and the message
// pump need the main window: it is attached once it exists.
class Win32Platform : public Platform {
 public:
  // Without arguments: the process's own command line and executable. Tests pass their own.
  Win32Platform();
  Win32Platform(std::vector<std::filesystem::path> parameters, std::filesystem::path executable);

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
  std::string ClassesRootDefaultValue(std::string_view key) const override;
  bool ConfirmYesNo(std::string_view sjisText) override;
  void Inform(std::string_view sjisText) override;
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& start) override;
  void AcceptDroppedFiles() override;
  bool EscapeDown() override;
  void ProcessMessages() override;
  void SetStatusText(std::string_view sjisText) override;
  void StartProgram(std::string_view sjisProgram, std::string_view sjisParameters) override;
  void PrintWithHost(std::string_view sjisProgram, const std::filesystem::path& absoluteFile) override;
  std::filesystem::path ToPath(std::string_view sjis) const override;
  std::string ToSjis(const std::filesystem::path& path) const override;

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
