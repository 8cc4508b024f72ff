// Which file a path names, so that two spellings of one file (links, case, relative parts) are
// recognised as the same.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace kelvane {

// One file on its volume: device and inode on POSIX, volume serial number and file index on
// Windows. Two paths name the same file exactly when their identities are equal.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// The identity of an existing file or folder (links followed); nothing when it does not exist.
std::optional<FileIdentity> FileIdentityOf(const std::filesystem::path& path);

// Why `file` may not be written: it names, by any spelling, one of `protectedFiles` (a run's
// inputs and settings files). Empty when it names none of them.
inline std::string ProtectedTargetProblem(const std::filesystem::path& file, const std::set<FileIdentity>& protectedFiles) {
  const std::optional<FileIdentity> id = FileIdentityOf(file);
  if (id && protectedFiles.count(*id)) return "it would replace an input of the run or the settings file";
  return {};
}

}  // namespace kelvane
