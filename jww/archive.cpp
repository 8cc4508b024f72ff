// Archive primitives: bounded reading and buffered writing of numbers, strings and counts.
#include "jww/archive.h"

#include <algorithm>

namespace kelvane {

const char* const kClassNames[9] = {"",           "CDataSen",   "CDataEnko", "CDataTen",  "CDataMoji",
                                    "CDataSunpou", "CDataSolid", "CDataBlock", "CDataList"};

namespace {
constexpr size_t kReadBuffer = 1 << 16;
constexpr uint16_t kUnicodeMark = 0xFFFE;
}  // namespace

ByteReader::ByteReader(const uint8_t* data, size_t size)
    : base_(data), cursor_(data), avail_(size), size_(size) {}

ByteReader::ByteReader(std::istream& file, uint64_t size) : file_(&file), buf_(kReadBuffer), size_(size) {
  cursor_ = buf_.data();
}

void ByteReader::fail(const std::string& reason) {
  if (!error_.empty()) return;
  error_ = reason;
  errorOffset_ = pos_;
}

bool ByteReader::refill() {
  if (!file_) return false;
  std::memmove(buf_.data(), cursor_, avail_);
  file_->read(reinterpret_cast<char*>(buf_.data() + avail_), std::streamsize(buf_.size() - avail_));
  size_t got = size_t(file_->gcount());
  cursor_ = buf_.data();
  avail_ += got;
  return got > 0;
}

bool ByteReader::slowBytes(void* dst, size_t n) {
  if (!error_.empty() || n > remaining()) {
    if (error_.empty()) fail("unexpected end of file");
    if (n) std::memset(dst, 0, n);
    return false;
  }
  auto* out = static_cast<uint8_t*>(dst);
  size_t done = 0;
  while (done < n) {
    if (avail_ == 0 && !refill()) {
      fail("read error");
      std::memset(out + done, 0, n - done);
      return false;
    }
    size_t take = std::min(n - done, avail_);
    std::memcpy(out + done, cursor_, take);
    cursor_ += take;
    avail_ -= take;
    done += take;
    pos_ += take;
  }
  return true;
}

bool ByteReader::slowSkip(uint64_t n) {
  if (!error_.empty() || n > remaining()) {
    fail("unexpected end of file");
    return false;
  }
  while (n > 0) {
    if (avail_ == 0 && !refill()) {
      fail("read error");
      return false;
    }
    size_t step = size_t(std::min<uint64_t>(n, avail_));
    cursor_ += step;
    avail_ -= step;
    pos_ += step;
    n -= step;
  }
  return true;
}

bool ByteReader::stringHead(uint64_t& bytes, bool& unicode) {
  unicode = false;
  uint64_t length = u8();
  if (length == 0xFF) {
    length = u16();
    if (length == kUnicodeMark) {
      // Unicode form: the length in UTF-16 units follows, by the same byte/word scheme.
      unicode = true;
      length = u8();
      if (length == 0xFF) {
        length = u16();
        if (length == 0xFFFF) length = uint32_t(i32());
      }
    }
  }
  if (!ok()) return false;
  bytes = unicode ? length * 2 : length;
  if (bytes > remaining()) {
    // Checked before allocating: a length the file cannot hold must not size a buffer.
    fail("string longer than the rest of the file");
    return false;
  }
  return true;
}

JwwString ByteReader::cstring() {
  JwwString s;
  cstring(s);
  return s;
}

bool ByteReader::cstring(JwwString& s) {
  // A short string that lies whole in memory or in the buffer: its one-byte length and its
  // bytes taken together, with no bounds check beyond this one.
  if (avail_ > 0 && error_.empty()) {
    const size_t n = cursor_[0];
    if (n < 0xFF && n < avail_) {
      s.unicode = false;
      s.sjis.assign(reinterpret_cast<const char*>(cursor_ + 1), n);
      s.wide.clear();
      cursor_ += n + 1;
      avail_ -= n + 1;
      pos_ += n + 1;
      return true;
    }
    // The same for a short string in the Unicode form, as Jw_cad 8 writes every string.
    if (n == 0xFF && avail_ >= 4 && cursor_[1] == 0xFE && cursor_[2] == 0xFF && cursor_[3] < 0xFF &&
        4 + size_t(cursor_[3]) * 2 <= avail_) {
      const size_t units = cursor_[3], taken = 4 + units * 2;
      s.unicode = true;
      s.sjis.clear();
      s.wide.resize(units);
      if (units) std::memcpy(s.wide.data(), cursor_ + 4, units * 2);
      cursor_ += taken;
      avail_ -= taken;
      pos_ += taken;
      return true;
    }
  }
  uint64_t n = 0;
  bool unicode = false;
  const bool head = stringHead(n, unicode);
  s.unicode = unicode;
  s.sjis.clear();
  s.wide.clear();
  if (!head) return false;
  if (unicode) {
    // Straight into the string: the file's UTF-16 is little-endian, as is the machine.
    s.wide.resize(size_t(n / 2));
    return bytes(s.wide.data(), size_t(n));
  }
  s.sjis.resize(size_t(n));
  return bytes(s.sjis.data(), s.sjis.size());
}

bool ByteReader::skipCString() {
  if (avail_ > 0 && error_.empty()) {
    const size_t n = cursor_[0];
    if (n < 0xFF && n < avail_) {
      cursor_ += n + 1;
      avail_ -= n + 1;
      pos_ += n + 1;
      return true;
    }
  }
  uint64_t n = 0;
  bool unicode;
  return stringHead(n, unicode) && skip(n);
}

void ByteReader::rewind(uint64_t position) {
  if (position > size_) position = size_;
  error_.clear();
  errorOffset_ = 0;
  if (base_) {
    cursor_ = base_ + position;
    avail_ = size_ - position;
  } else {
    file_->clear();
    file_->seekg(std::streamoff(position));
    cursor_ = buf_.data();
    avail_ = 0;
  }
  pos_ = position;
}

int64_t ByteReader::count() {
  uint16_t w = u16();
  if (w == 0xFFFF) return i32();
  return w;
}

namespace {
constexpr size_t kWriteBufferFirst = 1 << 16;
constexpr size_t kWriteBufferLarge = 1 << 20;
}  // namespace

ByteWriter::ByteWriter(std::ostream& file)
    : file_(&file), buf_(new uint8_t[kWriteBufferFirst]), capacity_(kWriteBufferFirst) {}

ByteWriter::~ByteWriter() = default;

void ByteWriter::slowBytes(const void* src, size_t n) {
  if (!error_.empty() || n == 0) return;
  const auto* p = static_cast<const uint8_t*>(src);
  if (n > capacity_ - used_) {
    if (!flush()) return;
    if (capacity_ < kWriteBufferLarge) {
      buf_.reset(new uint8_t[kWriteBufferLarge]);  // not zeroed: only written bytes are read
      capacity_ = kWriteBufferLarge;
    }
    if (n >= capacity_) {
      if (!file_->write(reinterpret_cast<const char*>(p), std::streamsize(n))) error_ = "write failed";
      pos_ += n;
      return;
    }
  }
  std::memcpy(buf_.get() + used_, p, n);
  used_ += n;
  pos_ += n;
}

void ByteWriter::zeros(size_t n) {
  static const uint8_t kZeros[64] = {};
  while (n > 0) {
    size_t step = std::min(n, sizeof kZeros);
    bytes(kZeros, step);
    n -= step;
  }
}

bool ByteWriter::flush() {
  if (!error_.empty()) return false;
  if (used_ > 0 && !file_->write(reinterpret_cast<const char*>(buf_.get()), std::streamsize(used_)))
    error_ = "write failed";
  used_ = 0;
  return error_.empty();
}

void ByteWriter::WriteCString(const JwwString& text) {
  if (!text.unicode) {
    size_t n = text.sjis.size();
    if (n < 255 && n < capacity_ - used_ && error_.empty()) {
      // The usual short string: its length byte and its bytes in one step.
      uint8_t* at = buf_.get() + used_;
      at[0] = uint8_t(n);
      std::memcpy(at + 1, text.sjis.data(), n);
      used_ += n + 1;
      pos_ += n + 1;
      return;
    }
    if (n < 255) {
      u8(uint8_t(n));
    } else if (n <= 0xFFFF) {
      u8(0xFF);
      u16(uint16_t(n));
    } else {
      // A 16-bit length cannot hold it; stop the save rather than write a corrupt string.
      error_ = "text of 65536 bytes or more";
      return;
    }
    bytes(text.sjis.data(), n);
    return;
  }
  size_t n = text.wide.size();
  if (n < 255 && 4 + n * 2 <= capacity_ - used_ && error_.empty()) {
    uint8_t* at = buf_.get() + used_;
    at[0] = 0xFF;
    at[1] = uint8_t(kUnicodeMark);
    at[2] = uint8_t(kUnicodeMark >> 8);
    at[3] = uint8_t(n);
    if (n) std::memcpy(at + 4, text.wide.data(), n * 2);  // little-endian on file and in memory
    used_ += 4 + n * 2;
    pos_ += 4 + n * 2;
    return;
  }
  u8(0xFF);
  u16(kUnicodeMark);
  if (n < 255) {
    u8(uint8_t(n));
  } else if (n < 0xFFFF) {
    u8(0xFF);
    u16(uint16_t(n));
  } else {
    u8(0xFF);
    u16(0xFFFF);
    i32(int32_t(n));
  }
  bytes(text.wide.data(), n * 2);  // little-endian on file and in memory
}

void ByteWriter::WriteCount(int64_t count) {
  if (count < 0xFFFF) {
    u16(uint16_t(count));
  } else {
    u16(0xFFFF);
    i32(int32_t(count));
  }
}

void ByteWriter::WriteClassRef(int32_t classIndex) {
  if (classIndex < 0x7FFF) {
    u16(uint16_t(0x8000 + classIndex));
  } else {
    u16(0x7FFF);
    i32(int32_t(uint32_t(classIndex) | 0x80000000u));
  }
}

}  // namespace kelvane
