// A file's bytes read in place from the system's file cache, without copying them into the
// process: mapped read-only where the system allows it. Implemented once per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace kelvane {

class MappedFile {
 public:
  // Maps the whole file; when that fails (no such file, an empty file, a system that refuses),
  // ok() is false and the caller reads the file as a stream instead.
  explicit MappedFile(const std::filesystem::path& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool ok() const { return data_ != nullptr; }
  const uint8_t* data() const { return static_cast<const uint8_t*>(data_); }
  uint64_t size() const { return size_; }

  // The bytes before `to` from the page holding `from` on are not needed soon (the caller has
  // read them all): the process lets go of their pages, which
  // stay in the file cache, so that what it holds of the file does not grow with the file. A
  // later read of them is still valid and only costs a page fault.
  void Release(uint64_t from, uint64_t to);

 private:
  void* data_ = nullptr;
  uint64_t size_ = 0;
  void* handle_ = nullptr;  // the mapping object, where the system has one
};

}  // namespace kelvane
