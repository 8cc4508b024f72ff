// A stream buffer that hands whole blocks to a device, for the platforms' file writers.
#pragma once

#include <cstddef>
#include <streambuf>

namespace kelvane {

// Collects small writes into blocks and passes large ones straight through; the first failed
// device write sticks, and nothing reaches the device after it.
class DeviceBuffer : public std::streambuf {
 public:
  DeviceBuffer() { setp(buffer_, buffer_ + sizeof buffer_); }
  bool failed() const { return failed_; }

 protected:
  // Writes all n bytes, or answers false.
  virtual bool WriteToDevice(const char* p, size_t n) = 0;

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
      if (!Drain() || !Write(s, size_t(n))) return 0;
      return n;
    }
    return std::streambuf::xsputn(s, n);
  }

 private:
  bool Drain() {
    const size_t n = size_t(pptr() - pbase());
    setp(buffer_, buffer_ + sizeof buffer_);
    return Write(buffer_, n);
  }
  bool Write(const char* p, size_t n) {
    if (!failed_ && n > 0 && !WriteToDevice(p, n)) failed_ = true;
    return !failed_;
  }

  bool failed_ = false;
  char buffer_[1 << 16];
};

}  // namespace kelvane
