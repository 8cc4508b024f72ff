// File identity on Windows: the volume serial number and the file index.
#include "platform/file_identity.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kelvane {

std::optional<FileIdentity> FileIdentityOf(const std::filesystem::path& path) {
  // Backup semantics let a folder be opened too; no access is needed to read the identity.
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (uint64_t(info.nFileIndexHigh) << 32) | uint64_t(info.nFileIndexLow)};
}

}  // namespace kelvane
