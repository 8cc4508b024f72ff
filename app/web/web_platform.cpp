// The page's platform services over the memory file system.
#include "app/web/web_platform.h"

#include <system_error>

#include "platform/text_conversion.h"

namespace kelvane {

bool WebPlatform::FileExists(const std::filesystem::path& path) const {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool WebPlatform::FolderExists(const std::filesystem::path& path) const {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::optional<FileIdentity> WebPlatform::IdentityOf(const std::filesystem::path& path) const {
  return FileIdentityOf(path);
}

std::filesystem::path WebPlatform::ToPath(std::string_view sjis) const { return SjisToPath(sjis); }
std::string WebPlatform::ToSjis(const std::filesystem::path& path) const { return PathToSjis(path); }

}  // namespace kelvane
