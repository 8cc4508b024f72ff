// Mapped files on POSIX: mmap of the whole file, pages let go of with madvise.
#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvane {

MappedFile::MappedFile(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    void* p = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (p != MAP_FAILED) {
      data_ = p;
      size_ = uint64_t(st.st_size);
      madvise(p, size_t(size_), MADV_SEQUENTIAL);
    }
  }
  close(fd);  // the mapping keeps the file
}

MappedFile::~MappedFile() {
  if (data_) munmap(data_, size_t(size_));
}

void MappedFile::Release(uint64_t from, uint64_t to) {
  if (!data_) return;
  const uint64_t page = uint64_t(sysconf(_SC_PAGESIZE));
  // From the page `from` lies in, which is behind the reader too, to the last whole page before
  // `to`: rounding the start up would keep one page at every call.
  from = from / page * page;
  to = to >= size_ ? size_ : to / page * page;
  if (to > from) madvise(static_cast<uint8_t*>(data_) + from, size_t(to - from), MADV_DONTNEED);
}

}  // namespace kelvane
