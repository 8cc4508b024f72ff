// The document: signature check, load and save results, failed saves, and hostile input.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "jww/builder.h"
#include "jww/images.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;
using kelvane::testing::WriteBytes;

namespace {

void MakeMixedDrawing(JwwDocument& doc, int32_t version) {
  bool unicode = version >= 700;
  InitDrawing(doc, version, unicode);
  for (int i = 0; i < 4; ++i) AddLine(doc, i, 0, i, 10);
  AddArc(doc, 5, 5, 3, 0, 1.5);
  AddCircle(doc, 5, 5, 2);
  AddPoint(doc, 1, 1);
  AddText(doc, 0, 0, JwwString::Ascii("hello", unicode));
  AddDimension(doc, 0, 0, 10, 0, JwwString::Ascii("10", unicode));
  AddSolid(doc, 0, 0, 1, 0, 1, 1, 0, 1);
  AddArcSolid(doc, 0, 0, 4, 0, 1);
  AddLine(AddBlockDef(doc, 3, JwwString::Ascii("blk", unicode)), 0, 0, 1, 1);
  AddBlockInsert(doc, 3, 2, 2);
  doc.NormaliseBlocks();
}

TEST(IsJwwFile, OnlyTheExactSignature) {
  TempDir dir;
  WriteBytes(dir / "ok.jww", {'J', 'w', 'w', 'D', 'a', 't', 'a', '.', 1, 2, 3});
  WriteBytes(dir / "exact.jww", {'J', 'w', 'w', 'D', 'a', 't', 'a', '.'});
  WriteBytes(dir / "case.jww", {'j', 'w', 'w', 'D', 'a', 't', 'a', '.', 0});
  WriteBytes(dir / "jwc.jwc", {'J', 'W', 'C', '2', '.', '0', '0', 'A', 0, 0});
  WriteBytes(dir / "short.jww", {'J', 'w', 'w', 'D', 'a', 't', 'a'});
  EXPECT_TRUE(JwwDocument::IsJwwFile(dir / "ok.jww"));
  EXPECT_TRUE(JwwDocument::IsJwwFile(dir / "exact.jww"));
  EXPECT_FALSE(JwwDocument::IsJwwFile(dir / "case.jww"));
  EXPECT_FALSE(JwwDocument::IsJwwFile(dir / "jwc.jwc"));
  EXPECT_FALSE(JwwDocument::IsJwwFile(dir / "short.jww"));
  EXPECT_FALSE(JwwDocument::IsJwwFile(dir / "missing.jww"));
  EXPECT_FALSE(JwwDocument::IsJwwFile(dir.path()));
}

TEST(Document, ClearAndReleaseRestoreDefaults) {
  JwwDocument doc;
  MakeMixedDrawing(doc, 600);
  doc.Release();
  EXPECT_EQ(doc.header.version, 0);
  EXPECT_EQ(doc.header.printScale, 1.0);
  EXPECT_EQ(doc.header.zoomJumpLayerGroup[8], -1);
  EXPECT_EQ(doc.LineCount() + doc.BlockDefCount() + doc.usedBlockDefCount + doc.entityCount, 0);
  EXPECT_TRUE(doc.layers.empty());
}

TEST(Document, LoadOfMissingFileFailsWithAReason) {
  JwwDocument doc;
  EXPECT_FALSE(doc.LoadFromFile("/nonexistent/x.jww"));
  EXPECT_FALSE(doc.diagnostics.reason.empty());
}

TEST(Save, IntoAMissingFolderFailsAndCreatesNothing) {
  TempDir dir;
  JwwDocument doc;
  MakeMixedDrawing(doc, 600);
  EXPECT_FALSE(doc.SaveToFile(dir / "no" / "x.jww", 600));
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

// The file system refuses to let a file grow past a limit, as a full disk would: every save
// that hits it fails cleanly, keeps the earlier file and leaves no temporary file behind.
TEST(Save, FailureMidFileKeepsTheEarlierFileAndLeavesNoPartialFile) {
  TempDir dir;
  JwwDocument doc;
  MakeMixedDrawing(doc, 600);
  WriteBytes(dir / "x.jww", {'o', 'l', 'd'});
  struct rlimit kept {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &kept), 0);
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of ending the test
  for (rlim_t limit : {rlim_t(1), rlim_t(100), rlim_t(3000), rlim_t(9000)}) {
    struct rlimit small = kept;
    small.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = doc.SaveToFile(dir / "x.jww", 600);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kept), 0);
    EXPECT_FALSE(saved) << limit;
    EXPECT_FALSE(doc.diagnostics.reason.empty());
    EXPECT_EQ(ReadBytes(dir / "x.jww"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1u) << "a temporary file was left behind";
  }
  EXPECT_TRUE(doc.SaveToFile(dir / "x.jww", 600));
  JwwDocument back;
  EXPECT_TRUE(back.LoadFromFile(dir / "x.jww"));
  EXPECT_EQ(back.LineCount(), 4);
}

// Temporary files have a short name of their own: a name of 250 bytes, with ".jww" at the very
// limit of 255, still saves.
TEST(Save, TheLongestNameTheFileSystemTakesSaves) {
  TempDir dir;
  JwwDocument doc;
  MakeMixedDrawing(doc, 600);
  const std::string name = std::string(251, 'a') + ".jww";
  EXPECT_TRUE(doc.SaveToFile(dir / name, 600)) << doc.diagnostics.reason;
  EXPECT_TRUE(std::filesystem::exists(dir / name));
}

// Every prefix of a drawing loads as false, quickly, and keeps what it could read.
void ExpectTruncationsFail(const std::vector<uint8_t>& bytes, size_t step) {
  JwwDocument doc;
  for (size_t n = 0; n < bytes.size(); n += step) {
    EXPECT_FALSE(doc.LoadFromBytes(bytes.data(), n)) << "prefix of " << n << " bytes";
    EXPECT_LE(doc.diagnostics.bytesRead, n);
    EXPECT_LE(doc.entityCount, 16);
  }
  EXPECT_TRUE(doc.LoadFromBytes(bytes.data(), bytes.size()));
}

TEST(HostileInput, EveryTruncationOfGeneratedDrawingsFails) {
  for (int32_t v : {300, 420, 600, 700}) {
    JwwDocument doc;
    MakeMixedDrawing(doc, v);
    TempDir dir;
    ASSERT_TRUE(doc.SaveToFile(dir / "m.jww", v));
    ExpectTruncationsFail(ReadBytes(dir / "m.jww"), 1);
  }
}

TEST(HostileInput, RandomByteFlipsNeverCrashOrHang) {
  std::mt19937 rng(12345);
  for (int32_t v : {351, 600, 700}) {
    JwwDocument doc;
    MakeMixedDrawing(doc, v);
    TempDir dir;
    ASSERT_TRUE(doc.SaveToFile(dir / "m.jww", v));
    const auto original = ReadBytes(dir / "m.jww");
    for (int round = 0; round < 3000; ++round) {
      auto bytes = original;
      int flips = 1 + int(rng() % 8);
      for (int k = 0; k < flips; ++k) bytes[rng() % bytes.size()] ^= uint8_t(1 + rng() % 255);
      JwwDocument back;
      bool ok = back.LoadFromBytes(bytes.data(), bytes.size());
      EXPECT_LE(back.diagnostics.bytesRead, bytes.size());
      // Whatever loads saves, and what is saved loads again.
      if (ok && back.SaveToFile(dir / "again.jww", back.header.version)) {
        JwwDocument again;
        EXPECT_TRUE(again.LoadFromFile(dir / "again.jww")) << again.diagnostics.reason;
      }
    }
  }
}

TEST(HostileInput, HugeCountsAllocateNothingTheBytesCannotHold) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  TempDir dir;
  ASSERT_TRUE(doc.SaveToFile(dir / "e.jww", 600));
  auto bytes = ReadBytes(dir / "e.jww");
  // Replace the empty lists by an entity count of 2,000,000,000 and 100 bytes of lines.
  bytes.resize(bytes.size() - 4);
  const uint8_t count[] = {0xFF, 0xFF, 0x00, 0x94, 0x35, 0x77};
  bytes.insert(bytes.end(), count, count + 6);
  bytes.insert(bytes.end(), 100, 0x00);
  JwwDocument back;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(back.LoadFromBytes(bytes.data(), bytes.size()));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(back.order.capacity(), 100u);
  EXPECT_LT(ms, 2000);  // a guard against a hang, not a speed measurement
  // The same for the definition count and an image count.
  bytes.resize(bytes.size() - 106);
  const uint8_t defs[] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
  bytes.insert(bytes.end(), defs, defs + 8);
  EXPECT_FALSE(back.LoadFromBytes(bytes.data(), bytes.size()));
  EXPECT_LT(back.blockDefs.capacity(), 10u);
}

TEST(HostileInput, UnknownClassesStopTheLoad) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddLine(doc, 0, 0, 1, 1);
  AddLine(doc, 0, 0, 2, 2);
  TempDir dir;
  ASSERT_TRUE(doc.SaveToFile(dir / "c.jww", 600));
  auto bytes = ReadBytes(dir / "c.jww");
  auto at = std::search(bytes.begin(), bytes.end(), std::begin("CDataSen"), std::end("CDataSen") - 1);
  ASSERT_NE(at, bytes.end());
  at[5] = 'X';
  JwwDocument back;
  EXPECT_FALSE(back.LoadFromBytes(bytes.data(), bytes.size()));
  EXPECT_NE(back.diagnostics.reason.find("unknown class"), std::string::npos);
  EXPECT_EQ(back.LineCount(), 0);
}

}  // namespace
