// The main window's logic without the window: start-up, input list, batch run and closing.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/options.h"
#include "app/platform.h"
#include "jww/document.h"

namespace kelvane {

// Jw_cad's executable for printing: the registry's open command cut at its first blank, or the
// default path when the value is empty, wrapped in double quotes whatever it holds.
std::string HostExePathFrom(std::string_view registryValue);

// True when the file name's extension (from its last "."), upper-cased, is ".JWW".
bool HasJwwExtension(std::string_view sjisFileName);

// The window's state and handlers. The Win32 window copies its controls to and from `controls`
// and forwards its events here; the command line drives the same calls without a window.
class Session {
 public:
  explicit Session(Platform& platform);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Hooks into the other subsystems, set by the front end (tests inject fakes).
  // Splits one loaded drawing into its sheet files; it reads `options` and `hostExePath`.
  // The folder ends in a separator. `pending` holds the drawing itself and the inputs of the
  // run that are still to be split: no sheet may be written over any of them.
  std::function<void(JwwDocument& doc, const std::filesystem::path& outputFolder, const std::filesystem::path& source,
                     const std::vector<std::filesystem::path>& pending)>
      splitDrawing;
  // A run starts: the sheets written by earlier runs may be replaced again.
  std::function<void()> runStarting = [] {};
  // After a run: what could not be written (Shift_JIS), empty when nothing failed. It is added
  // to the final status text so that a failure is never reported as plain success.
  std::function<std::string()> failureSummary = [] { return std::string(); };

  // An output folder given as a path (the command line's); it replaces the folder controls,
  // and also reaches folders whose names Shift_JIS cannot express.
  std::optional<std::filesystem::path> outputFolderOverride;
  // Deletes the temporary image files of the drawing read last.
  std::function<void()> deleteTemporaryImages = [] {};
  // Empties the image list (the image subsystem keeps its own temporary folder).
  std::function<void()> clearImageList = [] {};
  // Empties the frame list and the kept entity order of the sheet driver.
  std::function<void()> clearFrames = [] {};
  // Called right after the settings are loaded, before any run: the command line's options
  // override the controls here.
  std::function<void(OptionControls& controls)> overrideControls = [](OptionControls&) {};

  // A settings file named by the caller replaces the default one (and gets no fallback).
  std::optional<std::filesystem::path> namedSettingsFile;

  OptionControls controls;
  SplitOptions options;  // captured from controls at the start of every run and at closing
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
  void CaptureOptions(bool writeBack);
  // Answers whether the window may close; during a run the request becomes a cancel request.
  bool CanClose();
  // The window is closing: captures the options, frees the document and writes the settings.
  void Close();
  // The "参照" button: lets the user pick the output folder into outputFolderEdit.
  void ChooseOutputFolder();

  JwwDocument* Document() { return document_.get(); }
  // The settings file read at start-up and written at closing.
  std::filesystem::path SettingsFile() const;

 private:
  Platform& platform_;
  std::unique_ptr<JwwDocument> document_;
  std::filesystem::path settingsFile_;
};

}  // namespace kelvane
