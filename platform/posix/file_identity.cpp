// File identity on POSIX: device and inode.
#include "platform/file_identity.h"

#include <sys/stat.h>

namespace kelvane {

std::optional<FileIdentity> FileIdentityOf(const std::filesystem::path& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

}  // namespace kelvane
