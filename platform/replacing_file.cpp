// What every platform's replacing file shares: the name of its temporary files.
#include "platform/replacing_file.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace kelvane {

namespace {

// ReplacingFile names its temporary files ".kv-" and eight hexadecimal digits, then ".tmp".
bool IsTemporaryName(const std::string& name) {
  if (name.size() != 16 || name.compare(0, 4, ".kv-") != 0 || name.compare(12, 4, ".tmp") != 0) return false;
  return std::all_of(name.begin() + 4, name.begin() + 12,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

void RemoveStaleTemporaryFiles(const std::filesystem::path& folder, std::filesystem::file_time_type runStart) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::filesystem::path& path = it->path();
    if (!IsTemporaryName(path.filename().string())) continue;
    std::error_code statError;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, statError))) continue;
    const std::filesystem::file_time_type changed = std::filesystem::last_write_time(path, statError);
    if (!statError && changed < runStart) std::filesystem::remove(path, statError);
  }
}

}  // namespace kelvane
