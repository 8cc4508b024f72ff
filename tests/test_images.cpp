// Embedded images: held in memory with their drawing on load, back in for the texts that name them.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "jww/builder.h"
#include "jww/images.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
  return v;
}

void AddImage(JwwDocument& doc, const JwwString& name, const std::vector<uint8_t>& bytes) {
  doc.images.Add(name, bytes.data(), int32_t(bytes.size()));
}

std::vector<uint8_t> BytesOf(const EmbeddedImages& images, size_t i) {
  return std::vector<uint8_t>(images.Bytes(i), images.Bytes(i) + images[i].size);
}

class Images : public ::testing::Test {
 protected:
  // Saves the drawing, then loads it again; the loaded drawing then holds what the file embeds.
  void SaveAndLoad(JwwDocument& doc, JwwDocument& back) {
    ASSERT_TRUE(doc.SaveToFile(dir / "i.jww", doc.header.version));
    ASSERT_TRUE(back.LoadFromFile(dir / "i.jww")) << back.diagnostics.reason;
  }
  TempDir dir;
};

TEST_F(Images, OnlyReferencedImagesAreEmbeddedMatchingCaseAndPrefix) {
  for (bool unicode : {false, true}) {
    auto ascii = [&](const std::string& s) { return JwwString::Ascii(s, unicode); };
    JwwDocument doc, back;
    InitDrawing(doc, 700, unicode);
    AddImage(doc, ascii("Photo.BMP"), Pattern(4096, 1));
    AddImage(doc, ascii("unused.bmp"), Pattern(10, 2));
    AddImage(doc, ascii("plan.jpg"), Pattern(4097, 3));
    AddImage(doc, ascii("zero.bmp"), {});
    AddText(doc, 0, 0, ascii("^@BM%temp%photo.bmp,100,100,0,1"));  // other case
    EntityLists& def = AddBlockDef(doc, 1, ascii("b"));  // definitions count, used or not
    AddText(def, 0, 0, ascii("^@BM%temp%PLAN,1,1"));       // a prefix of the stored name
    AddText(doc, 0, 0, ascii("^@BM%temp%,1,1"));           // an empty name marks nothing
    AddText(doc, 0, 0, ascii("^@BM%temp%zero.bmp,1,1"));   // no data: never embedded again
    AddText(doc, 0, 0, ascii("^@BMC:\\outside.bmp,1,1"));  // no %temp%: not embedded
    doc.NormaliseBlocks();
    SaveAndLoad(doc, back);
    ASSERT_EQ(back.images.size(), 2u) << unicode;
    EXPECT_EQ(back.images[0].name, ascii("Photo.BMP"));
    EXPECT_EQ(back.images[1].name, ascii("plan.jpg"));
    EXPECT_EQ(BytesOf(back.images, 0), Pattern(4096, 1));
    EXPECT_EQ(BytesOf(back.images, 1), Pattern(4097, 3));
    EXPECT_EQ(back.textStrings[0].text, ascii("^@BM%temp%photo.bmp,100,100,0,1"));  // texts unchanged
  }
}

TEST_F(Images, ASheetWithoutReferencesHasAnImageCountOfZero) {
  JwwDocument doc;
  InitDrawing(doc, 700, false);
  AddImage(doc, JwwString::Sjis("a.bmp"), Pattern(5, 0));
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%a.bmp,1"));
  doc.order[0].kind += 100;  // a kind the writer skips: the referring text is not on this sheet
  ASSERT_TRUE(doc.SaveToFile(dir / "s.jww", 700));
  auto bytes = ReadBytes(dir / "s.jww");
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST_F(Images, HostileNamesStayNamesAndNoFileIsMade) {
  const std::string names[] = {"..\\..\\evil.txt", "../../evil.txt", "C:\\evil.txt", "/tmp/evil.txt",
                               std::string(300, 'x') + ".bmp", "a\x01" "b.bmp"};
  JwwDocument doc, back;
  InitDrawing(doc, 700, false);
  for (const std::string& n : names) AddImage(doc, JwwString::Sjis(n), Pattern(16, 9));
  for (const std::string& n : names) AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%" + n + ",1"));
  SaveAndLoad(doc, back);
  ASSERT_EQ(back.images.size(), std::size(names));
  for (size_t i = 0; i < back.images.size(); ++i) {
    if (i + 1 < back.images.size()) {
      EXPECT_EQ(back.images[i].name.sjis, names[i]);  // the last loses its control character
    }
    EXPECT_EQ(BytesOf(back.images, i), Pattern(16, 9));
  }
  // The folder holds the saved drawing alone.
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
  EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "evil.txt"));
}

TEST_F(Images, ADrawingCutInsideAnImageKeepsTheWholeOnesOnly) {
  JwwDocument doc, back;
  InitDrawing(doc, 700, false);
  AddImage(doc, JwwString::Sjis("whole.bmp"), Pattern(100, 1));
  AddImage(doc, JwwString::Sjis("cut.bmp"), Pattern(5000, 2));
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%whole.bmp,1"));
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%cut.bmp,1"));
  ASSERT_TRUE(doc.SaveToFile(dir / "c.jww", 700));
  auto bytes = ReadBytes(dir / "c.jww");
  bytes.resize(bytes.size() - 1000);  // inside the second image's data
  EXPECT_FALSE(back.LoadFromBytes(bytes.data(), bytes.size()));
  ASSERT_EQ(back.images.size(), 1u);  // the whole one; the cut one was never kept
  EXPECT_EQ(BytesOf(back.images, 0), Pattern(100, 1));
}

TEST_F(Images, ImagesOlderThan700AreNeitherReadNorWritten) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  AddImage(doc, JwwString::Sjis("a.bmp"), Pattern(8, 0));
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%a.bmp,1"));
  ASSERT_TRUE(doc.SaveToFile(dir / "old.jww", 600));
  ASSERT_TRUE(back.LoadFromFile(dir / "old.jww"));
  EXPECT_TRUE(back.images.empty());
  auto withList = ReadBytes(dir / "old.jww");
  doc.images.Clear();
  ASSERT_TRUE(doc.SaveToFile(dir / "old.jww", 600));
  EXPECT_EQ(ReadBytes(dir / "old.jww"), withList);  // no image section at all
}

// Each image is found as the first one in list order whose name begins with the reference, as
// a walk over the list finds it; names share prefixes and differ in case.
TEST(ImageLookup, FirstImageInListOrderWhoseNameBeginsWithTheReference) {
  std::mt19937 rng(5);
  for (int round = 0; round < 50; ++round) {
    EmbeddedImages images;
    const uint8_t byte = 1;
    auto randomName = [&] {
      std::string s;
      const size_t n = rng() % 4;
      for (size_t i = 0; i < n; ++i) s += "aAbB."[rng() % 5];
      return s;
    };
    std::vector<std::u16string> upper;
    for (int k = 0; k < 60; ++k) {
      const std::string name = randomName();
      images.Add(JwwString::Sjis(name), &byte, 1);
      std::u16string u;
      for (char c : name) u += char16_t(c >= 'a' && c <= 'z' ? c - 32 : c);
      upper.push_back(u);
    }
    for (int q = 0; q < 40; ++q) {
      std::u16string ref;
      for (char c : randomName()) ref += char16_t(c >= 'a' && c <= 'z' ? c - 32 : c);
      int32_t expected = -1;
      for (size_t k = 0; k < upper.size() && !ref.empty(); ++k)
        if (upper[k].compare(0, ref.size(), ref) == 0) {
          expected = int32_t(k);
          break;
        }
      ASSERT_EQ(images.FindReferenced(ref), expected) << round << "/" << q;
    }
  }
}

// 200,000 one-byte images, each named by a text: the load keeps them in one buffer and the save
// finds each by its name; a walk over the list per name, or a file per image, would take minutes.
TEST(ImageLookup, ManyTinyImagesLoadAndSaveQuickly) {
  TempDir dir;
  constexpr int kImages = 200000;
  JwwDocument doc, back;
  InitDrawing(doc, 700, false);
  for (int k = 0; k < kImages; ++k) {
    const uint8_t byte = uint8_t(k * 31);
    const std::string name = "i" + std::to_string(k);
    doc.images.Add(JwwString::Sjis(name), &byte, 1);
    AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%" + name + ",1"));
  }
  ASSERT_TRUE(doc.SaveToFile(dir / "many.jww", 700));
  ASSERT_TRUE(back.LoadFromFile(dir / "many.jww")) << back.diagnostics.reason;
  ASSERT_EQ(back.images.size(), size_t(kImages));
  for (int k : {0, 1, 9999, kImages - 1}) {
    EXPECT_EQ(back.images[size_t(k)].name.sjis, "i" + std::to_string(k));
    EXPECT_EQ(BytesOf(back.images, size_t(k)), std::vector<uint8_t>{uint8_t(k * 31)});
  }
  ASSERT_TRUE(back.SaveToFile(dir / "again.jww", 700));
  EXPECT_EQ(ReadBytes(dir / "again.jww"), ReadBytes(dir / "many.jww"));
}

}  // namespace
