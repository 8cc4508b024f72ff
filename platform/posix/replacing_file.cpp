// Replacing a file on POSIX: an exclusive temporary file beside the target, renamed over it.
// Where the system has unnamed files (Linux's O_TMPFILE), the file is written without a name
// and linked in under the target's name when complete, if that name is free: one change to the
// folder instead of two, which writers in the same folder take turns on, and nothing left behind
// by a killed run. A target that exists is replaced through a named temporary file renamed over
// it, since an unnamed file cannot be linked in over a name that is taken.
#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/device_buffer.h"

namespace kelvane {

namespace {

// A stream buffer over a file descriptor.
class DescriptorBuffer final : public DeviceBuffer {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {}
  int error() const { return error_; }

 protected:
  bool WriteToDevice(const char* p, size_t n) override {
    while (n > 0) {
      const ssize_t w = ::write(fd_, p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        error_ = w < 0 ? errno : EIO;
        return false;
      }
      p += w;
      n -= size_t(w);
    }
    return true;
  }

 private:
  int fd_;
  int error_ = 0;
};

std::string TemporaryName(std::mt19937_64& random) {
  char name[32];
  std::snprintf(name, sizeof name, ".kv-%08llx.tmp", static_cast<unsigned long long>(random() & 0xFFFFFFFFull));
  return name;
}

std::mt19937_64& Random() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return random;
}

// Gives an unnamed file the name `path`; fails with EEXIST when the name is taken.
int LinkUnnamed(int fd, const std::filesystem::path& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
}

// Gives the file that replaces `target` the target's permission bits, and its group when the
// user may set it: a file its owner made private stays private after a rerun. When the group
// cannot be kept, the group's bits go too, so that no other group gains what the old one had.
void KeepModeOf(const std::filesystem::path& target, int fd) {
  struct stat old {}, now {};
  if (::lstat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode) || ::fstat(fd, &now) != 0) return;
  mode_t mode = old.st_mode & 0777;
  if (old.st_gid != now.st_gid && ::fchown(fd, uid_t(-1), old.st_gid) != 0) mode &= ~mode_t(070);
  ::fchmod(fd, mode);
}

}  // namespace

struct ReplacingFile::Impl {
  std::filesystem::path target, temporary;
  int fd = -1;
  std::unique_ptr<DescriptorBuffer> buffer;
  std::ostream out{nullptr};
  std::string error;
  bool committed = false;

  void Discard() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (!temporary.empty()) ::unlink(temporary.c_str());
  }
  // An unnamed file: linked in under the target's name when it is free, or under a temporary
  // name then. False, with errno set, when neither could be done.
  bool LinkUnnamed(bool& atTarget) {
    atTarget = kelvane::LinkUnnamed(fd, target) == 0;
    if (atTarget) return true;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::filesystem::path candidate = target.parent_path() / TemporaryName(Random());
      if (kelvane::LinkUnnamed(fd, candidate) == 0) {
        temporary = candidate;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
  }
  bool unnamed = false;
};

ReplacingFile::ReplacingFile(const std::filesystem::path& target) : impl_(std::make_unique<Impl>()) {
  impl_->target = target;
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  if (impl_->target.parent_path().empty()) impl_->target = folder / target;
#ifdef O_TMPFILE
  // Linking needs the process's descriptors in /proc. Any refusal (no such files here, no right
  // to write) leaves it to the named file, whose error is the one to tell.
  static const bool canLink = ::access("/proc/self/fd", X_OK) == 0;
  if (canLink) impl_->fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  impl_->unnamed = impl_->fd >= 0;
#endif
  for (int attempt = 0; attempt < 100 && impl_->fd < 0; ++attempt) {
    const std::filesystem::path candidate = folder / TemporaryName(Random());
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      impl_->fd = fd;
      impl_->temporary = candidate;
    } else if (errno != EEXIST) {
      impl_->error = std::string("cannot create the file: ") + std::strerror(errno);
      return;
    }
  }
  if (impl_->fd < 0) {
    impl_->error = "cannot create the file: every temporary name is taken";
    return;
  }
  impl_->buffer = std::make_unique<DescriptorBuffer>(impl_->fd);
  impl_->out.rdbuf(impl_->buffer.get());
}

ReplacingFile::~ReplacingFile() {
  if (!impl_->committed) impl_->Discard();
}

bool ReplacingFile::ok() const { return impl_->fd >= 0; }
const std::string& ReplacingFile::error() const { return impl_->error; }
std::ostream& ReplacingFile::stream() { return impl_->out; }

bool ReplacingFile::Commit() {
  Impl& f = *impl_;
  if (f.fd < 0) return false;
  f.out.flush();
  if (f.buffer->failed() || !f.out) {
    f.error = std::string("write failed: ") + std::strerror(f.buffer->error() ? f.buffer->error() : EIO);
    f.Discard();
    return false;
  }
  // A folder, pipe, socket or device at the name (or a link to one, /dev/stdout say) is never
  // replaced by a regular file: refused, whoever asked.
  struct stat there {};
  if ((::stat(f.target.c_str(), &there) == 0 && !S_ISREG(there.st_mode)) ||
      (::lstat(f.target.c_str(), &there) == 0 && !S_ISREG(there.st_mode) && !S_ISLNK(there.st_mode))) {
    f.error = "something that is not a regular file is there";
    f.Discard();
    return false;
  }
  bool atTarget = false;
  if (f.unnamed && !f.LinkUnnamed(atTarget)) {
    f.error = std::string("cannot replace the file: ") + std::strerror(errno);
    f.Discard();
    return false;
  }
  if (!atTarget) KeepModeOf(f.target, f.fd);
  const int fd = f.fd;
  f.fd = -1;
  if (::close(fd) != 0) {
    // A name given before the write was known to be complete goes again: it was free before.
    if (atTarget) ::unlink(f.target.c_str());
    f.error = std::string("write failed: ") + std::strerror(errno);
    f.Discard();
    return false;
  }
  if (!atTarget && ::rename(f.temporary.c_str(), f.target.c_str()) != 0) {
    f.error = std::string("cannot replace the file: ") + std::strerror(errno);
    f.Discard();
    return false;
  }
  f.committed = true;
  return true;
}

}  // namespace kelvane
