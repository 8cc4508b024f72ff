// Archive primitives: bounded reading and buffered writing of numbers, strings and counts.
#include "jww/archive.h"

#include <algorithm>

namespace kelvane {

const char* const kClassNames[9] = {"",           "CDataSen",   "CDataEnko", "CDataTen",  "CDataMoji",
                                    "CDataSunpou", "CDataSolid", "CDataBlock", "CDataList"};

namespace {
constexpr size_t kReadBuffer = 1 << 16;
constexpr size_t kWriteBuffer = 1 << 16;
constexpr uint16_t kUnicodeMark = 0xFFFE;
}  // namespace

ByteReader::ByteReader(const uint8_t* data, size_t size) : mem_(data), size_(size) {}

ByteReader::ByteReader(std::istream& file, uint64_t size) : file_(&file), buf_(kReadBuffer), size_(size) {}

void ByteReader::fail(const std::string& reason) {
  if (!error_.empty()) return;
  error_ = reason;
  errorOffset_ = pos_;
}

bool ByteReader::refill() {
  size_t keep = bufLen_ - bufPos_;
  std::memmove(buf_.data(), buf_.data() + bufPos_, keep);
  bufPos_ = 0;
  bufLen_ = keep;
  file_->read(reinterpret_cast<char*>(buf_.data() + keep), std::streamsize(buf_.size() - keep));
  size_t got = size_t(file_->gcount());
  bufLen_ += got;
  return got > 0;
}

bool ByteReader::bytes(void* dst, size_t n) {
  if (!error_.empty() || n > remaining()) {
    if (error_.empty()) fail("unexpected end of file");
    if (n) std::memset(dst, 0, n);
    return false;
  }
  if (mem_) {
    if (n) std::memcpy(dst, mem_ + pos_, n);
    pos_ += n;
    return true;
  }
  auto* out = static_cast<uint8_t*>(dst);
  size_t done = 0;
  while (done < n) {
    if (bufPos_ == bufLen_ && !refill()) {
      fail("read error");
      std::memset(out + done, 0, n - done);
      return false;
    }
    size_t take = std::min(n - done, bufLen_ - bufPos_);
    std::memcpy(out + done, buf_.data() + bufPos_, take);
    bufPos_ += take;
    done += take;
    pos_ += take;
  }
  return true;
}

bool ByteReader::skip(uint64_t n) {
  if (!error_.empty() || n > remaining()) {
    fail("unexpected end of file");
    return false;
  }
  uint8_t scratch[256];
  while (n > 0) {
    size_t step = size_t(std::min<uint64_t>(n, sizeof scratch));
    if (!bytes(scratch, step)) return false;
    n -= step;
  }
  return true;
}

JwwString ByteReader::cstring() {
  JwwString s;
  uint64_t length = u8();
  if (length == 0xFF) {
    length = u16();
    if (length == kUnicodeMark) {
      // Unicode form: the length in UTF-16 units follows, by the same byte/word scheme.
      s.unicode = true;
      length = u8();
      if (length == 0xFF) {
        length = u16();
        if (length == 0xFFFF) length = uint32_t(i32());
      }
    }
  }
  if (!ok()) return s;
  uint64_t bytesNeeded = s.unicode ? length * 2 : length;
  if (bytesNeeded > remaining()) {
    // Checked before allocating: a length the file cannot hold must not size a buffer.
    fail("string longer than the rest of the file");
    return s;
  }
  if (s.unicode) {
    s.wide.resize(size_t(length));
    std::vector<uint8_t> raw(static_cast<size_t>(bytesNeeded));
    bytes(raw.data(), raw.size());
    for (size_t i = 0; i < s.wide.size(); ++i) s.wide[i] = char16_t(raw[2 * i] | raw[2 * i + 1] << 8);
  } else {
    s.sjis.resize(size_t(length));
    bytes(s.sjis.data(), s.sjis.size());
  }
  return s;
}

int64_t ByteReader::count() {
  uint16_t w = u16();
  if (w == 0xFFFF) return i32();
  return w;
}

ByteWriter::ByteWriter(std::ostream& file, int64_t failAfterBytes) : file_(&file), failAfter_(failAfterBytes) {
  buf_.reserve(kWriteBuffer);
}

ByteWriter::~ByteWriter() = default;

void ByteWriter::bytes(const void* src, size_t n) {
  if (!error_.empty()) return;
  if (failAfter_ >= 0 && pos_ + n > uint64_t(failAfter_)) {
    error_ = "write failed (injected)";
    return;
  }
  const auto* p = static_cast<const uint8_t*>(src);
  if (buf_.size() + n > kWriteBuffer) {
    if (!flush()) return;
    if (n >= kWriteBuffer) {
      if (!file_->write(reinterpret_cast<const char*>(p), std::streamsize(n))) error_ = "write failed";
      pos_ += n;
      return;
    }
  }
  buf_.insert(buf_.end(), p, p + n);
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
  if (!buf_.empty() && !file_->write(reinterpret_cast<const char*>(buf_.data()), std::streamsize(buf_.size())))
    error_ = "write failed";
  buf_.clear();
  return error_.empty();
}

void ByteWriter::WriteCString(const JwwString& text) {
  if (!text.unicode) {
    size_t n = text.sjis.size();
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
  for (char16_t c : text.wide) u16(uint16_t(c));
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
