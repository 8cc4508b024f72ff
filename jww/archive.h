// Archive primitives of the JWW format: a bounded reader and a mirroring writer.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "text/jwwstring.h"

namespace kelvane {

// Records, numbers and UTF-16 strings are copied as they lie in the file.
static_assert(std::endian::native == std::endian::little);

// A cursor over a file or a memory block that cannot run off the end: the first short read
// sets a sticky error, and every read after it yields zeros, so callers check once per record.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size);  // whole input in memory
  ByteReader(std::istream& file, uint64_t size);  // buffered file

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  uint64_t errorOffset() const { return errorOffset_; }
  uint64_t pos() const { return pos_; }
  uint64_t size() const { return size_; }
  uint64_t remaining() const { return size_ - pos_; }
  // Records a failure at the current position; the first one sticks.
  void fail(const std::string& reason);

  bool bytes(void* dst, size_t n) {
    // The common case, whole in memory or in the buffer, stays inline.
    if (n <= avail_ && error_.empty()) {
      if (n == 0) return true;  // an empty string's buffer may be null
      std::memcpy(dst, cursor_, n);
      cursor_ += n;
      avail_ -= n;
      pos_ += n;
      return true;
    }
    return slowBytes(dst, n);
  }
  bool skip(uint64_t n) {
    if (n <= avail_ && error_.empty()) {
      cursor_ += n;
      avail_ -= n;
      pos_ += n;
      return true;
    }
    return slowSkip(n);
  }
  uint8_t u8() {
    uint8_t v = 0;
    bytes(&v, 1);
    return v;
  }
  uint16_t u16() {
    uint8_t b[2] = {};
    bytes(b, 2);
    return uint16_t(b[0] | b[1] << 8);
  }
  int32_t i32() {
    uint8_t b[4] = {};
    bytes(b, 4);
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  }
  double f64() {
    uint8_t b[8] = {};
    bytes(b, 8);
    double v;
    std::memcpy(&v, b, 8);  // the file is little-endian, as is every machine this runs on
    return v;
  }

  // A length-prefixed string, single-byte or in the archive's Unicode form, unfiltered.
  JwwString cstring();
  // The same into a string kept elsewhere, reusing its storage; false when the read failed.
  bool cstring(JwwString& into);
  // Passes over a string without keeping it; false when it runs past the end.
  bool skipCString();
  // Goes back to an earlier position and forgets any failure (for a second pass).
  void rewind(uint64_t position);
  // An object count: a word, or 0xFFFF and an int32.
  int64_t count();

 private:
  bool refill();
  bool slowBytes(void* dst, size_t n);
  bool slowSkip(uint64_t n);
  // Reads a string's length prefix: the number of bytes that follow, and its form.
  bool stringHead(uint64_t& bytes, bool& unicode);

  const uint8_t* base_ = nullptr;  // the whole input, when it is in memory

  std::istream* file_ = nullptr;
  std::vector<uint8_t> buf_;
  const uint8_t* cursor_ = nullptr;  // next unread byte
  size_t avail_ = 0;                 // bytes from cursor_ that are ready
  uint64_t pos_ = 0, size_ = 0;
  std::string error_;
  uint64_t errorOffset_ = 0;
};

// Writes to a file through a buffer; the first failed write sticks and later writes are dropped.
class ByteWriter {
 public:
  explicit ByteWriter(std::ostream& file);
  ~ByteWriter();
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  uint64_t pos() const { return pos_; }
  void fail(const std::string& reason) {
    if (error_.empty()) error_ = reason;
  }

  void bytes(const void* src, size_t n) {
    if (n <= capacity_ - used_ && error_.empty()) {
      if (n == 0) return;  // an empty string's buffer may be null
      std::memcpy(buf_.get() + used_, src, n);
      used_ += n;
      pos_ += n;
      return;
    }
    slowBytes(src, n);
  }
  void zeros(size_t n);
  void u8(uint8_t v) { bytes(&v, 1); }
  void u16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    bytes(b, 2);
  }
  void i32(int32_t v) {
    uint32_t u = uint32_t(v);
    uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    bytes(b, 4);
  }
  void f64(double v) { bytes(&v, 8); }

  void WriteCString(const JwwString& text);
  void WriteCount(int64_t count);
  void WriteClassRef(int32_t classIndex);
  // Writes buffered bytes to the file; false when anything failed.
  bool flush();

 private:
  void slowBytes(const void* src, size_t n);

  std::ostream* file_;
  // Starts small, for the many small sheet files; grows once a file fills it, since a write
  // to the system costs about as much per call as for many kilobytes.
  std::unique_ptr<uint8_t[]> buf_;
  size_t capacity_;
  size_t used_ = 0;
  uint64_t pos_ = 0;
  std::string error_;
};

// Class names of the entity kinds 1..7 and of a block definition (index 8).
extern const char* const kClassNames[9];

}  // namespace kelvane
