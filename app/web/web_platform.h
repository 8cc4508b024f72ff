// The platform services of the page: files live in the module's memory file system, which the
// page fills with the drawings it opened; nothing asks the user, prints or starts a program.
#pragma once

#include "app/platform.h"

namespace kelvane {

class WebPlatform final : public Platform {
 public:
  std::filesystem::path ExecutablePath() const override { return "/kelvane"; }
  std::vector<std::filesystem::path> Parameters() const override { return {}; }
  bool FileExists(const std::filesystem::path& path) const override;
  bool FolderExists(const std::filesystem::path& path) const override;
  std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) const override;
  bool NamesIgnoreCase() const override { return false; }
  std::optional<std::string> FileTimeText(const std::filesystem::path&) const override { return std::nullopt; }
  std::string NowText() const override { return {}; }
  std::filesystem::path DesktopFolder() const override { return "/out"; }
  std::filesystem::path DocumentsFolder() const override { return "/out"; }
  std::filesystem::path UserSettingsFolder() const override { return "/settings"; }
  std::string ClassesRootDefaultValue(std::string_view) const override { return {}; }
  bool ConfirmYesNo(std::string_view) override { return false; }
  void Inform(std::string_view) override {}
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path&) override { return std::nullopt; }
  void AcceptDroppedFiles() override {}
  bool EscapeDown() override { return false; }
  void ProcessMessages() override {}
  void SetStatusText(std::string_view) override {}
  void StartProgram(std::string_view, std::string_view) override {}
  void PrintWithHost(std::string_view, const std::filesystem::path&) override {}
  std::filesystem::path ToPath(std::string_view sjis) const override;
  std::string ToSjis(const std::filesystem::path& path) const override;
};

}  // namespace kelvane
