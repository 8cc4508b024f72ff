// Replacing a file on POSIX: an exclusive temporary file beside the target, renamed over it.
#include "platform/replacing_file.h"

#include <fcntl.h>
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
};

ReplacingFile::ReplacingFile(const std::filesystem::path& target) : impl_(std::make_unique<Impl>()) {
  impl_->target = target;
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  for (int attempt = 0; attempt < 100 && impl_->fd < 0; ++attempt) {
    const std::filesystem::path candidate = folder / TemporaryName(random);
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
  const int fd = f.fd;
  f.fd = -1;
  if (::close(fd) != 0) {
    f.error = std::string("write failed: ") + std::strerror(errno);
    f.Discard();
    return false;
  }
  if (::rename(f.temporary.c_str(), f.target.c_str()) != 0) {
    f.error = std::string("cannot replace the file: ") + std::strerror(errno);
    f.Discard();
    return false;
  }
  f.committed = true;
  return true;
}

}  // namespace kelvane
