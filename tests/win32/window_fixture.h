// Helpers of the window tests: fresh folders, drawings, recording services, a live window, drops.
#pragma once

#include "app/win32/main_window.h"

#include <commctrl.h>
#include <imm.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kelvane::test {

// A new empty folder under the temporary folder.
std::filesystem::path FreshFolder(const std::string& name);
// A 24-bit BMP of one colour.
std::vector<uint8_t> SolidBmp(int w, int h, uint8_t r, uint8_t g, uint8_t b);
// Writes the example drawing (several frames) to the path.
void MakeDrawing(const std::filesystem::path& path);
// The files in the folder whose names start with the prefix, sorted.
std::vector<std::wstring> FilesStartingWith(const std::filesystem::path& folder, std::wstring_view prefix);
std::wstring WindowText(HWND window);
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// Shift_JIS bytes of a UTF-16 text, for comparing with the portable code's texts.
std::string Sjis(std::wstring_view text);

// The real services, recording the status texts and letting a test act between drawings.
class RecordingServices : public Win32Services {
 public:
  using Win32Services::Win32Services;
  std::vector<std::string> statusTexts;
  std::function<void()> onProcessMessages;
  int processMessagesCalls = 0;
  void SetStatusText(std::string_view text) override;
  void ProcessMessages() override;
};

// A window as the program makes it, for an executable "kelvane.exe" in the given folder, with
// its own application-data folder (by default inside that folder).
class LiveWindow {
 public:
  explicit LiveWindow(const std::filesystem::path& exeFolder, std::vector<std::filesystem::path> parameters = {},
                      std::filesystem::path appData = {});
  ~LiveWindow();
  void Start() { window.Start(SW_SHOWNORMAL); }
  HWND Control(int id) const { return window.Control(id); }
  std::string StatusText() const;
  void SetText(int id, std::wstring_view text);
  void Click(int id);

  std::filesystem::path exeFolder;
  RecordingServices platform;
  MainWindow window;
};

// A drop-files handle as the shell hands it over.
HDROP MakeDrop(const std::vector<std::filesystem::path>& files);

// Watches on its own thread for a dialog box of this process with the given caption and acts
// on it once; gives up after a minute so that a missing box fails the test instead of hanging.
class DialogWatcher {
 public:
  DialogWatcher(std::wstring caption, std::function<void(HWND)> action);
  ~DialogWatcher();
  // Waits for the watcher to finish; true when the box was found.
  bool Join();

 private:
  std::wstring caption_;
  std::function<void(HWND)> action_;
  std::atomic<bool> found_{false};
  std::thread thread_;
};

// Presses a button of a dialog box from another thread.
void PressDialogButton(HWND dialog, int id);
// The message text of a message box.
std::wstring MessageBoxText(HWND box);

}  // namespace kelvane::test
