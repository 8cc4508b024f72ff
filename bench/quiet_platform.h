// A platform that does nothing, for the benchmarks: they time the work, not a terminal.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"

namespace kelvane {

class QuietPlatform final : public Platform {
 public:
  std::filesystem::path ExecutablePath() const override { return "/bench/kelvane"; }
  std::vector<std::filesystem::path> Parameters() const override { return {}; }
  bool FileExists(const std::filesystem::path& p) const override { return std::filesystem::is_regular_file(p); }
  bool FolderExists(const std::filesystem::path& p) const override { return std::filesystem::is_directory(p); }
  std::optional<std::string> FileTimeText(const std::filesystem::path&) const override { return std::nullopt; }
  std::string NowText() const override { return {}; }
  std::filesystem::path DesktopFolder() const override { return {}; }
  std::filesystem::path DocumentsFolder() const override { return {}; }
  std::filesystem::path UserSettingsFolder() const override { return {}; }
  std::string ClassesRootDefaultValue(std::string_view) const override { return {}; }
  bool ConfirmYesNo(std::string_view) override { return true; }
  void Inform(std::string_view) override {}
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path&) override { return std::nullopt; }
  void AcceptDroppedFiles() override {}
  bool EscapeDown() override { return false; }
  void ProcessMessages() override {}
  void SetStatusText(std::string_view) override {}
  void StartProgram(std::string_view, std::string_view) override {}
  void PrintWithHost(std::string_view, const std::filesystem::path&) override {}
  std::optional<FileIdentity> IdentityOf(const std::filesystem::path&) const override { return std::nullopt; }
  bool NamesIgnoreCase() const override { return false; }
  std::filesystem::path ToPath(std::string_view s) const override { return std::string(s); }
  std::string ToSjis(const std::filesystem::path& p) const override { return p.string(); }
};

}  // namespace kelvane
