// Archive primitives: strings, counts and class references, byte for byte in both directions.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "jww/archive.h"

using namespace kelvane;

namespace {

std::vector<uint8_t> Written(const std::function<void(ByteWriter&)>& write) {
  std::ostringstream s;
  ByteWriter w(s);
  write(w);
  EXPECT_TRUE(w.flush());
  std::string bytes = s.str();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> Concat(std::vector<uint8_t> head, const std::string& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(ArchiveStrings, ShortAndLongSingleByteForms) {
  EXPECT_EQ(Written([](ByteWriter& w) { w.WriteCString(JwwString::Sjis("")); }), std::vector<uint8_t>{0x00});
  std::string t254(254, 'a'), t255(255, 'b'), t300;
  for (int i = 0; i < 300; ++i) t300.push_back(char('A' + i % 26));
  EXPECT_EQ(Written([&](ByteWriter& w) { w.WriteCString(JwwString::Sjis(t254)); }),
            Concat({0xFE}, t254));
  EXPECT_EQ(Written([&](ByteWriter& w) { w.WriteCString(JwwString::Sjis(t255)); }),
            Concat({0xFF, 0xFF, 0x00}, t255));
  EXPECT_EQ(Written([&](ByteWriter& w) { w.WriteCString(JwwString::Sjis(t300)); }),
            Concat({0xFF, 0x2C, 0x01}, t300));

  for (const std::string& t : {std::string(), t254, t255, t300}) {
    auto bytes = Written([&](ByteWriter& w) { w.WriteCString(JwwString::Sjis(t)); });
    ByteReader r(bytes.data(), bytes.size());
    JwwString back = r.cstring();
    EXPECT_TRUE(r.ok());
    EXPECT_FALSE(back.unicode);
    EXPECT_EQ(back.sjis, t);
    EXPECT_EQ(r.remaining(), 0u);
  }
}

TEST(ArchiveStrings, UnicodeFormRoundTripsEveryCharacter) {
  // 0xFF, the word 0xFFFE, the length in UTF-16 units, then UTF-16LE.
  std::vector<uint8_t> bytes = {0xFF, 0xFE, 0xFF, 0x03, 0x41, 0x00, 0xE5, 0x65, 0x3D, 0xD8};
  ByteReader shortRead(bytes.data(), bytes.size() - 1);  // one byte short of the third unit
  shortRead.cstring();
  EXPECT_FALSE(shortRead.ok());
  ByteReader r(bytes.data(), bytes.size());
  JwwString s = r.cstring();
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(s.unicode);
  EXPECT_EQ(s.wide, (std::u16string{u'A', u'\u65E5', char16_t(0xD83D)}));

  std::u16string long300(300, u'\u20AC');
  long300[7] = char16_t(0xD83D);  // any unit survives, also a lone surrogate
  for (const std::u16string& w : {std::u16string(), std::u16string(u"日本語"), long300}) {
    auto out = Written([&](ByteWriter& wr) { wr.WriteCString(JwwString::Wide(w)); });
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFE);
    EXPECT_EQ(out[2], 0xFF);
    ByteReader back(out.data(), out.size());
    JwwString got = back.cstring();
    EXPECT_TRUE(got.unicode);
    EXPECT_EQ(got.wide, w);
    EXPECT_EQ(back.remaining(), 0u);
  }
  auto empty = Written([](ByteWriter& w) { w.WriteCString(JwwString::Wide(u"")); });
  EXPECT_EQ(empty, (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0x00}));
}

TEST(ArchiveStrings, ALengthPastTheEndFailsWithoutReadingPartly) {
  std::vector<uint8_t> bytes = {0xFF, 0x00, 0x10, 'a', 'b'};  // announces 4096 bytes
  ByteReader r(bytes.data(), bytes.size());
  JwwString s = r.cstring();
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(s.sjis.empty());
  std::vector<uint8_t> wide = {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};  // 2^31 units
  ByteReader r2(wide.data(), wide.size());
  r2.cstring();
  EXPECT_FALSE(r2.ok());
}

TEST(ArchiveCounts, WordOrMarkedInt32) {
  EXPECT_EQ(Written([](ByteWriter& w) { w.WriteCount(65534); }), (std::vector<uint8_t>{0xFE, 0xFF}));
  EXPECT_EQ(Written([](ByteWriter& w) { w.WriteCount(65535); }),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
  for (int64_t n : {0, 1, 65534, 65535, 70000, 0x7FFFFFFF}) {
    auto b = Written([&](ByteWriter& w) { w.WriteCount(n); });
    ByteReader r(b.data(), b.size());
    EXPECT_EQ(r.count(), n);
  }
}

TEST(ArchiveClassRefs, ShortAndLongIndices) {
  EXPECT_EQ(Written([](ByteWriter& w) { w.WriteClassRef(1); }), (std::vector<uint8_t>{0x01, 0x80}));
  EXPECT_EQ(Written([](ByteWriter& w) { w.WriteClassRef(0x7FFE); }), (std::vector<uint8_t>{0xFE, 0xFF}));
  EXPECT_EQ(Written([](ByteWriter& w) { w.WriteClassRef(0x7FFF); }),
            (std::vector<uint8_t>{0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80}));
}

TEST(ArchiveReader, StickyErrorYieldsZerosAfterTheEnd) {
  std::vector<uint8_t> bytes = {0x01, 0x02, 0x03};
  ByteReader r(bytes.data(), bytes.size());
  EXPECT_EQ(r.u16(), 0x0201);
  EXPECT_EQ(r.i32(), 0);  // only one byte left
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.errorOffset(), 2u);
  EXPECT_EQ(r.u8(), 0);  // the byte that was there is not read after the failure
  EXPECT_EQ(r.f64(), 0.0);
}

// A stream whose device fails after some bytes, as a disk or network share can mid-file.
class FailingBuffer : public std::streambuf {
 public:
  FailingBuffer(std::string data, size_t failAt) : data_(std::move(data)), failAt_(failAt) {}

 protected:
  int_type underflow() override {
    if (pos_ >= failAt_ || pos_ >= data_.size()) return traits_type::eof();
    ch_ = data_[pos_++];
    setg(&ch_, &ch_, &ch_ + 1);
    return traits_type::to_int_type(ch_);
  }

 private:
  std::string data_;
  size_t failAt_, pos_ = 0;
  char ch_ = 0;
};

TEST(ArchiveReader, AReadErrorMidFileStopsCleanly) {
  std::string data(100000, 'x');
  FailingBuffer buffer(data, 70000);
  std::istream in(&buffer);
  ByteReader r(in, data.size());  // the size says more than the device delivers
  std::vector<uint8_t> block(1000);
  size_t got = 0;
  while (r.bytes(block.data(), block.size())) got += block.size();
  EXPECT_EQ(got, 70000u);
  EXPECT_EQ(r.error(), "read error");
  EXPECT_EQ(r.u8(), 0);
}

// A device that takes this many bytes, then refuses every write.
class FullDevice : public std::streambuf {
 public:
  explicit FullDevice(size_t room) : room_(room) {}
  size_t taken = 0;

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    const size_t take = std::min(size_t(n), room_ - taken);
    taken += take;
    return std::streamsize(take);
  }
  int_type overflow(int_type c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }

 private:
  size_t room_;
};

TEST(ArchiveWriter, AFailedWriteSticks) {
  FullDevice device(70000);
  std::ostream s(&device);
  ByteWriter w(s);
  std::vector<uint8_t> block(1000, 7);
  for (int i = 0; i < 100; ++i) w.bytes(block.data(), block.size());
  EXPECT_FALSE(w.flush());
  EXPECT_FALSE(w.ok());
  EXPECT_LE(device.taken, 70000u);
  const size_t taken = device.taken;
  w.u8(1);
  EXPECT_FALSE(w.flush());
  EXPECT_EQ(device.taken, taken);  // nothing more reaches the device
}

}  // namespace
