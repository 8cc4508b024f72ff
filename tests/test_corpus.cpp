// Real drawings saved by Jw_cad: every one loads to its last byte and is written back faithfully.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "jww/images.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using namespace kelvane;
using namespace kelvane::testing;

namespace {

// One field of a header as laid out on file; `rule` names why the writer may change it.
struct Field {
  size_t offset, length;
  const char* rule;
};

// An independent walk over the header's layout, so that the test does not trust the reader.
class HeaderWalk {
 public:
  explicit HeaderWalk(const std::vector<uint8_t>& b) : b_(b) {
    int32_t v;
    std::memcpy(&v, b.data() + 8, 4);
    Fixed(12, nullptr);
    String(nullptr);                          // memo
    Fixed(8 + 16 * 148, nullptr);             // paper, layer groups and layers
    Fixed(56, "block C reserved bytes are written as zeros");
    Fixed(20, nullptr);
    Fixed(4, "block C reserved bytes are written as zeros");
    Fixed(76, nullptr);
    for (int i = 0; i < 272; ++i) String(nullptr);  // layer and group names
    Fixed(v >= 300 ? 44 : 28, nullptr);
    Fixed(52, nullptr);
    Fixed(v >= 231 ? 280 : 96, nullptr);
    Fixed(168 + 160 + 128 + 164, nullptr);
    Fixed(v >= 230 ? 144 : v >= 225 ? 136 : v >= 223 ? 104 : 44, nullptr);
    if (v >= 420) {
      Fixed(257 * 8, nullptr);
      for (int i = 0; i < 257; ++i) {
        String("extended colour names are cleaned and defaulted");
        Fixed(16, nullptr);
      }
      for (int i = 0; i < 33; ++i) Fixed(16, "extended line-type patterns are brought to the defaults");
      for (int i = 0; i < 33; ++i) {
        String("extended line-type names are cleaned and defaulted");
        Fixed(84, "segment counts and pitches of invalid extended line types are defaulted");
      }
    }
    Fixed(280 + 100, nullptr);
  }
  const std::vector<Field>& fields() const { return fields_; }
  size_t end() const { return pos_; }

 private:
  void Fixed(size_t n, const char* rule) {
    fields_.push_back({pos_, n, rule});
    pos_ += n;
  }
  void String(const char* rule) {
    size_t start = pos_;
    size_t n = b_[pos_++];
    size_t unit = 1;
    if (n == 0xFF) {
      n = b_[pos_] | b_[pos_ + 1] << 8;
      pos_ += 2;
      if (n == 0xFFFE) {
        unit = 2;
        n = b_[pos_++];
        if (n == 0xFF) {
          n = b_[pos_] | b_[pos_ + 1] << 8;
          pos_ += 2;
        }
      }
    }
    pos_ += n * unit;
    fields_.push_back({start, pos_ - start, rule});
  }
  const std::vector<uint8_t>& b_;
  std::vector<Field> fields_;
  size_t pos_ = 0;
};

std::string Label(const std::filesystem::path& p) { return p.filename().string(); }

TEST(Corpus, EveryDrawingLoadsToItsLastByte) {
  auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder at " << CorpusFolder();
  for (const auto& f : files) {
    JwwDocument doc;
    EXPECT_TRUE(doc.LoadFromFile(f)) << Label(f) << ": " << doc.diagnostics.reason;
    EXPECT_EQ(doc.diagnostics.bytesRead, std::filesystem::file_size(f)) << Label(f);
    EXPECT_GT(doc.entityCount, 0) << Label(f);
  }
}

TEST(Corpus, RoundTripIsByteFaithfulExceptWhereTheWriterCorrects) {
  auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder";
  TempDir dir;
  for (const auto& f : files) {
    JwwDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(f)) << Label(f);
    ASSERT_TRUE(doc.SaveToFile(dir / "out.jww", doc.header.version)) << Label(f);
    auto a = ReadBytes(f), b = ReadBytes(dir / "out.jww");
    HeaderWalk wa(a), wb(b);
    ASSERT_EQ(wa.fields().size(), wb.fields().size());
    for (size_t i = 0; i < wa.fields().size(); ++i) {
      const Field& x = wa.fields()[i];
      const Field& y = wb.fields()[i];
      bool same = x.length == y.length && std::memcmp(a.data() + x.offset, b.data() + y.offset, x.length) == 0;
      if (!same) {
        EXPECT_NE(x.rule, nullptr) << Label(f) << ": header bytes at " << x.offset << " (" << x.length
                                   << " bytes) differ and no writer rule explains it";
      }
    }
    // From the entity count to the end of the file: byte for byte.
    ASSERT_EQ(a.size() - wa.end(), b.size() - wb.end()) << Label(f);
    EXPECT_TRUE(std::equal(a.begin() + long(wa.end()), a.end(), b.begin() + long(wb.end()))) << Label(f);
  }
}

TEST(Corpus, OlderVersionsKeepEntitiesAndCoordinates) {
  auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder";
  std::filesystem::path source;
  for (const auto& f : files)
    if (Label(f) == "Test1.jww") source = f;
  if (source.empty()) GTEST_SKIP() << "Test1.jww is not in the corpus";
  JwwDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(source));
  ASSERT_EQ(doc.header.version, 600);
  TempDir dir;
  for (int32_t v : {230, 300, 351, 420}) {
    ASSERT_TRUE(doc.SaveToFile(dir / "old.jww", v));
    JwwDocument back;
    ASSERT_TRUE(back.LoadFromFile(dir / "old.jww")) << v << ": " << back.diagnostics.reason;
    EXPECT_EQ(back.header.version, v);
    EXPECT_EQ(back.entityCount, doc.entityCount);
    ASSERT_EQ(back.LineCount(), doc.LineCount());
    ASSERT_EQ(back.ArcCount(), doc.ArcCount());
    ASSERT_EQ(back.PointCount(), doc.PointCount());
    ASSERT_EQ(back.TextCount(), doc.TextCount());
    for (int i = 0; i < doc.LineCount(); ++i) {
      EXPECT_EQ(back.lines[i].startX, doc.lines[i].startX);
      EXPECT_EQ(back.lines[i].endY, doc.lines[i].endY);
    }
    for (int i = 0; i < doc.ArcCount(); ++i) EXPECT_EQ(back.arcs[i].radius, doc.arcs[i].radius);
    for (int i = 0; i < doc.TextCount(); ++i) {
      EXPECT_EQ(back.texts[i].startX, doc.texts[i].startX);
      EXPECT_EQ(back.textStrings[i].text, doc.textStrings[i].text);
    }
  }
}

TEST(Corpus, TruncatedAndDamagedRealDrawingsFailCleanly) {
  auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder";
  size_t smallest = 0;
  for (size_t i = 0; i < files.size(); ++i)
    if (std::filesystem::file_size(files[i]) < std::filesystem::file_size(files[smallest])) smallest = i;
  for (size_t i = 0; i < files.size(); ++i) {
    auto bytes = ReadBytes(files[i]);
    // Every offset of the smallest drawing, every 97th of the others.
    size_t step = i == smallest ? 1 : 97;
    JwwDocument doc;
    for (size_t n = 0; n < bytes.size(); n += step) {
      EXPECT_FALSE(doc.LoadFromBytes(bytes.data(), n)) << Label(files[i]) << " cut at " << n;
      EXPECT_LE(doc.diagnostics.bytesRead, n);
    }
  }
}

}  // namespace
