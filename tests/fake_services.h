// Every service of a session, for tests: real files, settable folders and keys, and a record of
// what was shown and printed.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/services.h"
#include "app/sheet_printing.h"

namespace kelvane {

class FakeServices final : public FileQueries,
                           public ProgramEnvironment,
                           public UserDialogs,
                           public RunFeedback,
                           public WindowServices,
                           public HostRegistry,
                           public SheetPrinting {
 public:
  // All of them, as a window's session has them.
  SessionServices Services() { return {*this, *this, *this, *this, this, this, this}; }

  // Settable state.
  std::filesystem::path executable = "/nonexistent/kelvane/kelvane";
  std::vector<std::filesystem::path> parameters;
  std::filesystem::path desktop = "/nonexistent/desktop";
  std::filesystem::path documents = "/nonexistent/documents";
  std::filesystem::path userSettings = "/nonexistent/user-settings";
  std::string registryValue;
  bool escapeDown = false;
  bool namesIgnoreCase = false;
  bool systemExecutable = false;
  bool confirmAnswer = true;
  std::optional<std::filesystem::path> chosenFolder;
  std::string fileTime = "2024/01/02 03:04:05";
  std::string now = "2024/05/06 07:08:09";
  // Runs at every ProcessMessages, as window messages arriving between drawings would.
  std::function<void()> onProcessMessages;

  // What happened.
  std::vector<std::string> statusTexts;
  std::vector<std::string> confirmations;
  std::vector<std::string> informations;
  mutable std::vector<std::string> registryKeysRead;
  std::vector<std::filesystem::path> folderDialogStarts;
  std::vector<std::pair<std::string, std::filesystem::path>> printed;
  int dropRegistrations = 0;
  int processMessagesCalls = 0;

  std::filesystem::path ExecutablePath() const override { return executable; }
  std::vector<std::filesystem::path> Parameters() const override { return parameters; }
  bool FileExists(const std::filesystem::path& path) const override {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
  }
  bool FolderExists(const std::filesystem::path& path) const override {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
  }
  std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) const override {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
  }
  bool NamesIgnoreCase() const override { return namesIgnoreCase; }
  std::optional<std::string> FileTimeText(const std::filesystem::path& path) const override {
    if (!FileExists(path)) return std::nullopt;
    return fileTime;
  }
  std::string NowText() const override { return now; }
  std::filesystem::path DesktopFolder() const override { return desktop; }
  std::filesystem::path DocumentsFolder() const override { return documents; }
  std::filesystem::path UserSettingsFolder() const override { return userSettings; }
  bool ExecutableInSystemFolder() const override { return systemExecutable; }
  std::string ClassesRootDefaultValue(std::string_view key) const override {
    registryKeysRead.emplace_back(key);
    return registryValue;
  }
  bool ConfirmYesNo(std::string_view text) override {
    confirmations.emplace_back(text);
    return confirmAnswer;
  }
  void Inform(std::string_view text) override { informations.emplace_back(text); }
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& start) override {
    folderDialogStarts.push_back(start);
    return chosenFolder;
  }
  void AcceptDroppedFiles() override { ++dropRegistrations; }
  bool StopRequested() override { return escapeDown; }
  void ProcessMessages() override {
    ++processMessagesCalls;
    if (onProcessMessages) onProcessMessages();
  }
  void SetStatusText(std::string_view text) override { statusTexts.emplace_back(text); }
  void PrintSheet(const SheetToPrint& sheet) override { printed.emplace_back(sheet.hostExePath, sheet.absoluteFile); }
  // The tests' paths are ASCII, so bytes pass through unchanged.
  std::filesystem::path ToPath(std::string_view sjis) const override {
    return std::filesystem::path(std::string(sjis));
  }
  std::string ToSjis(const std::filesystem::path& path) const override { return path.string(); }
};

}  // namespace kelvane
