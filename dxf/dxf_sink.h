// Group codes and their values as DXF text, with handles and the strings of the file's version.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "dxf/dxf_writer.h"
#include "text/jwwstring.h"

namespace kelvane {

// Every group code's line, made once. Without AutoCAD's padding to three columns: readers take
// the number either way, and a large sheet's file is a tenth smaller.
struct DxfCodeLines {
  static constexpr int kCount = 1072;
  char text[kCount][8];
  uint8_t size[kCount];
  DxfCodeLines();
};
extern const DxfCodeLines kDxfCodeLines;

// "00" to "99", for writing two digits at once.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The text is written straight into a buffer that grows by doubling: a large sheet's millions of
// group codes cost little more than their bytes.
class DxfSink {
 public:
  explicit DxfSink(DxfVersion version) : version_(version) {}

  bool Utf8() const { return version_ == DxfVersion::kR2007; }
  // Makes room for this many more bytes at once.
  void Reserve(size_t bytes) { buffer_.reserve(used_ + bytes); }
  // Writes into `part` from here to End(part): its text is replaced, its memory used again. Its
  // old text is the first room, so that memory already written is not cleared again.
  void Begin(std::string& part) {
    std::swap(buffer_, part);
    used_ = 0;
  }
  void End(std::string& part) {
    buffer_.resize(used_);
    std::swap(buffer_, part);
    used_ = 0;
  }

  // Bytes already made, written again as they are; with Used and Since they are taken.
  void Raw(std::string_view bytes) {
    std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  size_t Used() const { return used_; }
  std::string_view Since(size_t from) const { return std::string_view(buffer_.data() + from, used_ - from); }

  // A group code and its value, each on a line of its own.
  void Str(int code, std::string_view value) {
    char* p = CodeAt(Room(value.size() + 16), code);
    std::memcpy(p, value.data(), value.size());
    p[value.size()] = '\n';
    Done(p + value.size() + 1);
  }
  void Int(int code, int64_t value) {
    char* p = CodeAt(Room(40), code);
    char* end = std::to_chars(p, p + 23, value).ptr;
    *end++ = '\n';
    Done(end);
  }
  void Real(int code, double value) {
    // The shortest form that reads back as the same double; a value no reader takes becomes 0.
    if (!std::isfinite(value) || value == 0) value = 0;  // no "-0" either
    char* p = CodeAt(Room(56), code);
    char* end = Decimal(p, value);
    *end++ = '\n';
    Done(end);
  }
  // A double as text that reads back as the same double. Drawings are mostly made of values with
  // at most four decimals: those are written with integer arithmetic, the rest in the shortest form.
  // Up to 40 bytes at `p` may be written over, though fewer are kept.
  static char* Decimal(char* p, double v) {
    const double scaled = v * 10000.0;
    if (std::fabs(scaled) < 4e15) {
      const int64_t k = int64_t(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
      // The decimal k/10000 reads back as the correctly rounded quotient, which this is.
      if (double(k) / 10000.0 == v) {
        uint64_t u = k < 0 ? uint64_t(-k) : uint64_t(k);
        if (k < 0) *p++ = '-';
        p = std::to_chars(p, p + 20, u / 10000).ptr;
        const unsigned fraction = unsigned(u % 10000);
        if (fraction != 0) {
          // All four digits at once, then as many as are not trailing zeros.
          const unsigned high = fraction / 100, low = fraction % 100;
          *p = '.';
          std::memcpy(p + 1, kDigitPairs + 2 * high, 2);
          std::memcpy(p + 3, kDigitPairs + 2 * low, 2);
          p += low != 0 ? (low % 10 != 0 ? 5 : 4) : (high % 10 != 0 ? 3 : 2);
        }
        return p;
      }
    }
    return Shortest(p, v);
  }
  void Hex(int code, uint64_t handle) {
    char digits[16];
    int n = 0;
    do {
      digits[n++] = "0123456789ABCDEF"[handle & 15];
      handle >>= 4;
    } while (handle != 0);
    char* p = CodeAt(Room(34), code);
    for (int k = 0; k < n; ++k) p[k] = digits[n - 1 - k];
    p[n] = '\n';
    Done(p + n + 1);
  }
  void Point(int code, double x, double y) {
    Real(code, x);
    Real(code + 10, y);
    Real(code + 20, 0.0);
  }
  // A point of an entity: readers take a missing z as 0, and a file of many entities is smaller.
  void Flat(int code, double x, double y) {
    Real(code, x);
    Real(code + 10, y);
  }

  // A new handle, written under group code 5 (or `code`); answers it.
  uint64_t NewHandle() { return next_++; }
  uint64_t Handle(int code = 5) {
    const uint64_t h = next_++;
    Hex(code, h);
    return h;
  }
  uint64_t NextHandle() const { return next_; }

  // A drawing string in the file's encoding: Shift_JIS bytes for AC1015 (characters outside code
  // page 932 as \U+XXXX), UTF-8 for AC1021. Control characters are left out.
  std::string Encode(const JwwString& s);
  // The same for UTF-8 text of the program's own.
  std::string EncodeUtf8(std::string_view utf8);

 private:
  char* Room(size_t n) {
    if (buffer_.size() - used_ < n) Grow(n);
    return buffer_.data() + used_;
  }
  void Grow(size_t n);
  // Writes the group code's line at `p`, where 16 bytes are free; answers where it ends.
  static char* CodeAt(char* p, int code) {
    if (code >= 0 && code < DxfCodeLines::kCount) {
      std::memcpy(p, kDxfCodeLines.text[code], 8);
      return p + kDxfCodeLines.size[code];
    }
    p = std::to_chars(p, p + 12, code).ptr;
    *p++ = '\n';
    return p;
  }
  void Done(char* end) { used_ = size_t(end - buffer_.data()); }
  // The shortest form, through a small table of values met before: arc angles and the like
  // recur, and their digits cost many times those of a short decimal.
  static char* Shortest(char* p, double v);
  const std::string& SjisOf(uint32_t code);

  DxfVersion version_;
  std::string buffer_;  // its size is the room; used_ bytes of it are written
  size_t used_ = 0;
  uint64_t next_ = 0x20;
  // Characters of Unicode texts already converted, by code point: the system converter is slow.
  std::unordered_map<uint32_t, std::string> sjisCache_;
};

}  // namespace kelvane
