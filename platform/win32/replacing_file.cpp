// Replacing a file on Windows: a temporary file created new beside the target, moved over it.
#include "platform/replacing_file.h"

#include <windows.h>

#include <cstdio>
#include <random>

#include "platform/device_buffer.h"

namespace kelvane {

namespace {

// A stream buffer over a file handle.
class HandleBuffer final : public DeviceBuffer {
 public:
  explicit HandleBuffer(HANDLE file) : file_(file) {}

 protected:
  bool WriteToDevice(const char* p, size_t n) override {
    while (n > 0) {
      const DWORD chunk = n > (1u << 30) ? (1u << 30) : DWORD(n);
      DWORD written = 0;
      if (!WriteFile(file_, p, chunk, &written, nullptr) || written == 0) return false;
      p += written;
      n -= written;
    }
    return true;
  }

 private:
  HANDLE file_;
};

std::wstring TemporaryName(std::mt19937_64& random) {
  wchar_t name[32];
  std::swprintf(name, 32, L".kv-%08llx.tmp", static_cast<unsigned long long>(random() & 0xFFFFFFFFull));
  return name;
}

std::string LastError(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

}  // namespace

struct ReplacingFile::Impl {
  std::filesystem::path target, temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  std::unique_ptr<HandleBuffer> buffer;
  std::ostream out{nullptr};
  std::string error;
  bool committed = false;

  void Discard() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    if (!temporary.empty()) DeleteFileW(temporary.c_str());
  }
};

ReplacingFile::ReplacingFile(const std::filesystem::path& target) : impl_(std::make_unique<Impl>()) {
  impl_->target = target;
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path folder = target.parent_path().empty() ? L"." : target.parent_path();
  for (int attempt = 0; attempt < 100 && impl_->file == INVALID_HANDLE_VALUE; ++attempt) {
    const std::filesystem::path candidate = folder / TemporaryName(random);
    // CREATE_NEW never opens an existing name, a planted link included.
    HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      impl_->file = file;
      impl_->temporary = candidate;
    } else if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      impl_->error = LastError("cannot create the file");
      return;
    }
  }
  if (impl_->file == INVALID_HANDLE_VALUE) {
    impl_->error = "cannot create the file: every temporary name is taken";
    return;
  }
  impl_->buffer = std::make_unique<HandleBuffer>(impl_->file);
  impl_->out.rdbuf(impl_->buffer.get());
}

ReplacingFile::~ReplacingFile() {
  if (!impl_->committed) impl_->Discard();
}

bool ReplacingFile::ok() const { return impl_->file != INVALID_HANDLE_VALUE; }
const std::string& ReplacingFile::error() const { return impl_->error; }
std::ostream& ReplacingFile::stream() { return impl_->out; }

bool ReplacingFile::Commit() {
  Impl& f = *impl_;
  if (f.file == INVALID_HANDLE_VALUE) return false;
  f.out.flush();
  if (f.buffer->failed() || !f.out) {
    f.error = LastError("write failed");
    f.Discard();
    return false;
  }
  HANDLE file = f.file;
  f.file = INVALID_HANDLE_VALUE;
  if (!CloseHandle(file)) {
    f.error = LastError("write failed");
    f.Discard();
    return false;
  }
  if (!MoveFileExW(f.temporary.c_str(), f.target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    f.error = LastError("cannot replace the file");
    f.Discard();
    return false;
  }
  f.committed = true;
  return true;
}

}  // namespace kelvane
