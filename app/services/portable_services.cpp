// File queries over std::filesystem and the core's text conversions.
#include "app/services/portable_services.h"

#include <system_error>

#include "platform/text_conversion.h"

namespace kelvane {

bool StandardFileQueries::FileExists(const std::filesystem::path& path) const {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool StandardFileQueries::FolderExists(const std::filesystem::path& path) const {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::optional<FileIdentity> StandardFileQueries::IdentityOf(const std::filesystem::path& path) const {
  return FileIdentityOf(path);
}

std::filesystem::path StandardFileQueries::ToPath(std::string_view sjis) const { return SjisToPath(sjis); }
std::string StandardFileQueries::ToSjis(const std::filesystem::path& path) const { return PathToSjis(path); }

}  // namespace kelvane
