// A file written beside its target and moved over it only when complete: a failed write never
// leaves a partial file and never destroys an earlier one. Implemented once per platform.
#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

namespace kelvane {

class ReplacingFile {
 public:
  // Creates the temporary file exclusively, under a short random name in the target's folder
  // (".kv-XXXXXXXX.tmp"): an existing name, a planted link among them, is never opened; another
  // name is tried instead. The name's length does not depend on the target's, so any name the
  // file system takes can be saved.
  explicit ReplacingFile(const std::filesystem::path& target);
  // Removes the temporary file unless it was committed.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // False when the temporary file could not be created; error() says why.
  bool ok() const;
  const std::string& error() const;
  // Where the contents go.
  std::ostream& stream();
  // Flushes and closes the temporary file and moves it over the target. False, with error()
  // set and the temporary file removed, when any write or the move failed.
  bool Commit();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Removes the temporary files that an earlier, killed run left in `folder`: only names of
// ReplacingFile's own pattern, only regular files, only those last changed before `runStart`,
// so that a run writing there at the same time keeps its own.
void RemoveStaleTemporaryFiles(const std::filesystem::path& folder, std::filesystem::file_time_type runStart);

}  // namespace kelvane
