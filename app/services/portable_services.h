// Services every system gives through the standard library alone: file queries over
// std::filesystem, and feedback that nobody sees. The page in the browser and the benchmarks
// use them as they are; the command line's file queries add the file times.
#pragma once

#include "app/services.h"

namespace kelvane {

// Names never ignore case; file times are not known.
class StandardFileQueries : public FileQueries {
 public:
  bool FileExists(const std::filesystem::path& path) const override;
  bool FolderExists(const std::filesystem::path& path) const override;
  std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) const override;
  bool NamesIgnoreCase() const override { return false; }
  std::optional<std::string> FileTimeText(const std::filesystem::path&) const override { return std::nullopt; }
  std::filesystem::path ToPath(std::string_view sjis) const override;
  std::string ToSjis(const std::filesystem::path& path) const override;
};

// Status texts go nowhere and nothing asks a run to stop.
class SilentFeedback final : public RunFeedback {
 public:
  void SetStatusText(std::string_view) override {}
  bool StopRequested() override { return false; }
};

}  // namespace kelvane
