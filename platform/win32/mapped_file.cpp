// Mapped files on Windows: a read-only view of a file mapping; pages let go of by unlocking
// them, which takes them out of the working set.
#include "platform/mapped_file.h"

#include <windows.h>

namespace kelvane {

MappedFile::MappedFile(const std::filesystem::path& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && uint64_t(size.QuadPart) <= SIZE_MAX) {
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping) {
      void* p = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
      if (p) {
        data_ = p;
        size_ = uint64_t(size.QuadPart);
        handle_ = mapping;
      } else {
        CloseHandle(mapping);
      }
    }
  }
  CloseHandle(file);  // the mapping keeps the file
}

MappedFile::~MappedFile() {
  if (data_) UnmapViewOfFile(data_);
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

void MappedFile::Release(uint64_t from, uint64_t to) {
  if (!data_) return;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const uint64_t page = info.dwPageSize;
  from = from / page * page;  // the page `from` lies in is behind the reader too
  to = to >= size_ ? size_ : to / page * page;
  // Unlocking pages that are not locked fails, but takes them out of the working set.
  if (to > from) VirtualUnlock(static_cast<uint8_t*>(data_) + from, size_t(to - from));
}

}  // namespace kelvane
