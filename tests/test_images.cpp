// Embedded images: out to private temporary files on load, back in for the texts that name them.
#include <gtest/gtest.h>

#include <fstream>

#include "jww/builder.h"
#include "jww/images.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;
using kelvane::testing::WriteBytes;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
  return v;
}

// Puts an image into the process's list as a load would.
void AddImage(const JwwString& name, const std::vector<uint8_t>& bytes) {
  ImageEntry e;
  e.name = name;
  e.size = int32_t(bytes.size());
  if (!bytes.empty()) {
    e.tempPath = ImageFolder() / ("test" + std::to_string(ImageList.size()));
    WriteBytes(e.tempPath, bytes);
  }
  ImageList.push_back(e);
}

class Images : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTemporaryImages();
    ClearImageList();
  }
  void TearDown() override {
    DeleteTemporaryImages();
    ClearImageList();
  }
  // Saves the drawing, then loads it again; the list then holds what the file embeds.
  void SaveAndLoad(JwwDocument& doc, JwwDocument& back) {
    ASSERT_TRUE(doc.SaveToFile(dir / "i.jww", doc.header.version));
    DeleteTemporaryImages();
    ClearImageList();
    ASSERT_TRUE(back.LoadFromFile(dir / "i.jww")) << back.diagnostics.reason;
  }
  TempDir dir;
};

TEST_F(Images, OnlyReferencedImagesAreEmbeddedMatchingCaseAndPrefix) {
  for (bool unicode : {false, true}) {
    SetUp();
    auto ascii = [&](const std::string& s) { return JwwString::Ascii(s, unicode); };
    AddImage(ascii("Photo.BMP"), Pattern(4096, 1));
    AddImage(ascii("unused.bmp"), Pattern(10, 2));
    AddImage(ascii("plan.jpg"), Pattern(4097, 3));
    AddImage(ascii("zero.bmp"), {});
    JwwDocument doc, back;
    InitDrawing(doc, 700, unicode);
    AddText(doc, 0, 0, ascii("^@BM%temp%photo.bmp,100,100,0,1"));  // other case
    EntityLists& def = AddBlockDef(doc, 1, ascii("b"));  // definitions count, used or not
    AddText(def, 0, 0, ascii("^@BM%temp%PLAN,1,1"));       // a prefix of the stored name
    AddText(doc, 0, 0, ascii("^@BM%temp%,1,1"));           // an empty name marks nothing
    AddText(doc, 0, 0, ascii("^@BM%temp%zero.bmp,1,1"));   // no data: never embedded again
    AddText(doc, 0, 0, ascii("^@BMC:\\outside.bmp,1,1"));  // no %temp%: not embedded
    doc.NormaliseBlocks();
    SaveAndLoad(doc, back);
    ASSERT_EQ(ImageList.size(), 2u) << unicode;
    EXPECT_EQ(ImageList[0].name, ascii("Photo.BMP"));
    EXPECT_EQ(ImageList[1].name, ascii("plan.jpg"));
    EXPECT_EQ(ReadBytes(ImageList[0].tempPath), Pattern(4096, 1));
    EXPECT_EQ(ReadBytes(ImageList[1].tempPath), Pattern(4097, 3));
    EXPECT_EQ(back.textStrings[0].text, ascii("^@BM%temp%photo.bmp,100,100,0,1"));  // texts unchanged
  }
}

TEST_F(Images, ASheetWithoutReferencesHasAnImageCountOfZero) {
  AddImage(JwwString::Sjis("a.bmp"), Pattern(5, 0));
  JwwDocument doc, back;
  InitDrawing(doc, 700, false);
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%a.bmp,1"));
  doc.order[0].kind += kExcluded;  // the referring text is not on this sheet
  ASSERT_TRUE(doc.SaveToFile(dir / "s.jww", 700));
  auto bytes = ReadBytes(dir / "s.jww");
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST_F(Images, HostileNamesNeverLeaveThePrivateFolder) {
  const std::string names[] = {"..\\..\\evil.txt", "../../evil.txt", "C:\\evil.txt", "/tmp/evil.txt",
                               std::string(300, 'x') + ".bmp", "a\x01" "b.bmp"};
  for (const std::string& n : names) AddImage(JwwString::Sjis(n), Pattern(16, 9));
  JwwDocument doc, back;
  InitDrawing(doc, 700, false);
  for (const std::string& n : names) AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%" + n + ",1"));
  SaveAndLoad(doc, back);
  ASSERT_EQ(ImageList.size(), std::size(names));
  for (const ImageEntry& e : ImageList) {
    EXPECT_EQ(e.tempPath.parent_path(), ImageFolder());
    EXPECT_EQ(ReadBytes(e.tempPath), Pattern(16, 9));
  }
  EXPECT_FALSE(std::filesystem::exists(ImageFolder().parent_path().parent_path() / "evil.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "evil.txt"));
  // Deleting removes exactly the private copies.
  DeleteTemporaryImages();
  for (const ImageEntry& e : ImageList) EXPECT_FALSE(std::filesystem::exists(e.tempPath));
}

TEST_F(Images, ThePrivateFolderLivesUnderTheSystemTemporaryFolder) {
  const auto& folder = ImageFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(folder.parent_path(), std::filesystem::temp_directory_path());
  EXPECT_EQ(&ImageFolder(), &folder);  // one folder for the whole process
}

TEST_F(Images, AMissingTemporaryFileLeavesItsImageOut) {
  AddImage(JwwString::Sjis("gone.bmp"), Pattern(8, 0));
  AddImage(JwwString::Sjis("kept.bmp"), Pattern(8, 1));
  std::filesystem::remove(ImageList[0].tempPath);
  JwwDocument doc, back;
  InitDrawing(doc, 700, false);
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%gone.bmp,1"));
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%kept.bmp,1"));
  SaveAndLoad(doc, back);
  ASSERT_EQ(ImageList.size(), 1u);
  EXPECT_EQ(ImageList[0].name.sjis, "kept.bmp");
}

TEST_F(Images, ADrawingCutInsideAnImageLeavesNoTemporaryFile) {
  AddImage(JwwString::Sjis("whole.bmp"), Pattern(100, 1));
  AddImage(JwwString::Sjis("cut.bmp"), Pattern(5000, 2));
  JwwDocument doc, back;
  InitDrawing(doc, 700, false);
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%whole.bmp,1"));
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%cut.bmp,1"));
  ASSERT_TRUE(doc.SaveToFile(dir / "c.jww", 700));
  DeleteTemporaryImages();
  ClearImageList();
  auto bytes = ReadBytes(dir / "c.jww");
  bytes.resize(bytes.size() - 1000);  // inside the second image's data
  EXPECT_FALSE(back.LoadFromBytes(bytes.data(), bytes.size()));
  ASSERT_EQ(ImageList.size(), 1u);  // the whole one; the cut one was never made
  EXPECT_EQ(ReadBytes(ImageList[0].tempPath), Pattern(100, 1));
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(ImageFolder())) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
  DeleteTemporaryImages();  // as the batch run does after every drawing, loaded or not
  EXPECT_TRUE(std::filesystem::is_empty(ImageFolder()));
}

TEST_F(Images, ImagesOlderThan700AreNeitherReadNorWritten) {
  AddImage(JwwString::Sjis("a.bmp"), Pattern(8, 0));
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  AddText(doc, 0, 0, JwwString::Sjis("^@BM%temp%a.bmp,1"));
  ASSERT_TRUE(doc.SaveToFile(dir / "old.jww", 600));
  ASSERT_TRUE(back.LoadFromFile(dir / "old.jww"));
  EXPECT_EQ(ImageList.size(), 1u);  // the list of the last version-700 drawing stays
  auto withList = ReadBytes(dir / "old.jww");
  ClearImageList();
  ASSERT_TRUE(doc.SaveToFile(dir / "old.jww", 600));
  EXPECT_EQ(ReadBytes(dir / "old.jww"), withList);  // no image section at all
}

}  // namespace
