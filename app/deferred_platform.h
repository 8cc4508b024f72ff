// A platform that holds back what a drawing shows and prints until its turn comes, so that
// drawings converted at the same time report in input order. Everything else goes straight
// to the platform underneath, which must answer those calls from any thread.
#pragma once

#include <functional>
#include <vector>

#include "app/platform.h"

namespace kelvane {

class DeferredPlatform final : public Platform {
 public:
  explicit DeferredPlatform(Platform& base) : base_(base) {}

  // Carries out what was held back, in order, and forgets it.
  void Release() {
    for (const std::function<void()>& action : held_) action();
    held_.clear();
  }

  void SetStatusText(std::string_view sjisText) override {
    held_.push_back([this, text = std::string(sjisText)] { base_.SetStatusText(text); });
  }
  void PrintWithHost(std::string_view sjisProgram, const std::filesystem::path& absoluteFile) override {
    held_.push_back(
        [this, program = std::string(sjisProgram), absoluteFile] { base_.PrintWithHost(program, absoluteFile); });
  }
  void StartProgram(std::string_view sjisProgram, std::string_view sjisParameters) override {
    held_.push_back([this, program = std::string(sjisProgram), parameters = std::string(sjisParameters)] {
      base_.StartProgram(program, parameters);
    });
  }

  std::filesystem::path ExecutablePath() const override { return base_.ExecutablePath(); }
  std::vector<std::filesystem::path> Parameters() const override { return base_.Parameters(); }
  bool FileExists(const std::filesystem::path& path) const override { return base_.FileExists(path); }
  bool FolderExists(const std::filesystem::path& path) const override { return base_.FolderExists(path); }
  std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) const override {
    return base_.IdentityOf(path);
  }
  bool NamesIgnoreCase() const override { return base_.NamesIgnoreCase(); }
  std::optional<std::string> FileTimeText(const std::filesystem::path& path) const override {
    return base_.FileTimeText(path);
  }
  std::string NowText() const override { return base_.NowText(); }
  std::filesystem::path DesktopFolder() const override { return base_.DesktopFolder(); }
  std::filesystem::path DocumentsFolder() const override { return base_.DocumentsFolder(); }
  std::filesystem::path UserSettingsFolder() const override { return base_.UserSettingsFolder(); }
  std::string ClassesRootDefaultValue(std::string_view key) const override {
    return base_.ClassesRootDefaultValue(key);
  }
  std::filesystem::path ToPath(std::string_view sjis) const override { return base_.ToPath(sjis); }
  std::string ToSjis(const std::filesystem::path& path) const override { return base_.ToSjis(path); }

  // Conversions never ask the user or touch the window: these are not reached.
  bool ConfirmYesNo(std::string_view) override { return false; }
  void Inform(std::string_view) override {}
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path&) override { return std::nullopt; }
  void AcceptDroppedFiles() override {}
  bool EscapeDown() override { return false; }
  void ProcessMessages() override {}

 private:
  Platform& base_;
  std::vector<std::function<void()>> held_;
};

}  // namespace kelvane
