// Replacing a file on Windows: a temporary file created new beside the target, moved over it.
#include "jww/replacing_file.h"

#include <windows.h>

#include <cstdio>
#include <random>
#include <streambuf>

namespace kelvane {

namespace {

// A stream buffer over a file handle; the first failed write sticks.
class HandleBuffer final : public std::streambuf {
 public:
  explicit HandleBuffer(HANDLE file) : file_(file) { setp(buffer_, buffer_ + sizeof buffer_); }
  bool failed() const { return failed_; }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return Drain() ? 0 : -1; }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (n >= std::streamsize(sizeof buffer_)) {
      if (!Drain() || !WriteAll(s, size_t(n))) return 0;
      return n;
    }
    return std::streambuf::xsputn(s, n);
  }

 private:
  bool Drain() {
    const size_t n = size_t(pptr() - pbase());
    setp(buffer_, buffer_ + sizeof buffer_);
    return WriteAll(buffer_, n);
  }
  bool WriteAll(const char* p, size_t n) {
    while (n > 0 && !failed_) {
      const DWORD chunk = n > (1u << 30) ? (1u << 30) : DWORD(n);
      DWORD written = 0;
      if (!WriteFile(file_, p, chunk, &written, nullptr) || written == 0) {
        failed_ = true;
        break;
      }
      p += written;
      n -= written;
    }
    return !failed_;
  }

  HANDLE file_;
  bool failed_ = false;
  char buffer_[1 << 16];
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
  static std::mt19937_64 random{std::random_device{}()};
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
