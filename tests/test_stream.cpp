// The entity stream and block definitions: version forms, the prefix check and block usage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "jww/builder.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

std::vector<uint8_t> Save(JwwDocument& doc, int32_t version) {
  TempDir dir;
  doc.NormaliseBlocks();
  EXPECT_TRUE(doc.SaveToFile(dir / "s.jww", version)) << doc.diagnostics.reason;
  return ReadBytes(dir / "s.jww");
}

void Load(const std::vector<uint8_t>& bytes, JwwDocument& back, bool expectOk = true) {
  EXPECT_EQ(back.LoadFromBytes(bytes.data(), bytes.size()), expectOk) << back.diagnostics.reason;
}

size_t Find(const std::vector<uint8_t>& hay, const std::string& needle, size_t from = 0) {
  auto it = std::search(hay.begin() + long(from), hay.end(), needle.begin(), needle.end());
  return it == hay.end() ? std::string::npos : size_t(it - hay.begin());
}

// Offset of the entity section: the empty drawing's size minus its empty lists.
size_t EntitySectionStart(int32_t version, bool unicode) {
  JwwDocument empty;
  InitDrawing(empty, version, unicode);
  return Save(empty, version).size() - 4 - (version >= 700 ? 4 : 0);
}

TEST(StreamClasses, FirstLineNamesItsClassAndLaterOnesReferToIt) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  for (int i = 0; i < 3; ++i) AddLine(doc, i, 0, i, 10);
  auto bytes = Save(doc, 600);
  size_t p = EntitySectionStart(600, false);
  const uint8_t head[] = {0x03, 0x00, 0xFF, 0xFF, 0x58, 0x02, 0x08, 0x00, 'C', 'D', 'a', 't', 'a', 'S', 'e', 'n'};
  ASSERT_GE(bytes.size(), p + sizeof head);
  EXPECT_EQ(0, std::memcmp(bytes.data() + p, head, sizeof head));
  size_t second = p + sizeof head + 47;
  EXPECT_EQ(bytes[second], 0x01);  // class index 1: the counter starts at 1
  EXPECT_EQ(bytes[second + 1], 0x80);
  EXPECT_EQ(bytes[second + 2 + 47], 0x01);
  EXPECT_EQ(bytes[second + 2 + 47 + 1], 0x80);
}

TEST(StreamCounts, LargeEntityCountUsesTheLongForm) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  for (int i = 0; i < 70000; ++i) AddLine(doc, i, 0, i, 1);
  auto bytes = Save(doc, 600);
  size_t p = EntitySectionStart(600, false);
  EXPECT_EQ(bytes[p], 0xFF);
  EXPECT_EQ(bytes[p + 1], 0xFF);
  int32_t n;
  std::memcpy(&n, bytes.data() + p + 2, 4);
  EXPECT_EQ(n, 70000);
  Load(bytes, back);
  EXPECT_EQ(back.LineCount(), 70000);
  EXPECT_EQ(back.lines[69999].startX, 69999.0);
}

TEST(StreamVersions, PenWidthOnlyFrom351) {
  JwwDocument doc;
  InitDrawing(doc, 351, false);
  Attr a;
  a.penWidth = 200;
  a.layer = 5;
  a.layerGroup = 7;
  for (int i = 0; i < 10; ++i) AddLine(doc, i, 0, i, 1, a);
  AddArc(doc, 0, 0, 5, 0, 1, a);
  AddText(doc, 0, 0, JwwString::Sjis("abc"), a);
  size_t old = Save(doc, 350).size(), current = Save(doc, 351).size();
  EXPECT_EQ(current - old, 12u * 2);
  JwwDocument back;
  Load(Save(doc, 350), back);
  EXPECT_EQ(back.lines[3].attr.penWidth, 0);
  EXPECT_EQ(back.lines[3].attr.layer, 5);  // fields after the missing width land in place
  EXPECT_EQ(back.lines[3].attr.layerGroup, 7);
  EXPECT_EQ(back.lines[3].endY, 1.0);
  EXPECT_EQ(back.textStrings[0].text.sjis, "abc");
  Load(Save(doc, 351), back);
  EXPECT_EQ(back.lines[3].attr.penWidth, 200);
}

TEST(StreamVersions, DimensionsBefore420GetSynthesizedMembers) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  Attr a;
  a.penColor = 3;
  a.layer = 2;
  AddDimension(doc, 0, 0, 100, 0, JwwString::Sjis("100"), a);
  doc.dimensions[0].sxfMode = 7;
  Load(Save(doc, 419), back);
  const DimensionRecord& d = back.dimensions[0];
  EXPECT_EQ(d.sxfMode, 0);
  EXPECT_EQ(d.auxLine2.attr.penColor, 3);
  EXPECT_EQ(d.auxLine2.endY, 0.0);
  EXPECT_EQ(d.auxPoint3.attr.penStyle, 0);
  EXPECT_EQ(d.auxPoint3.attr.layer, 2);
  EXPECT_EQ(d.auxPoint3.scale, 0.0);
  EXPECT_EQ(d.line.endX, 100.0);
  EXPECT_EQ(back.dimensionStrings[0].text.sjis, "100");
  Load(Save(doc, 420), back);
  EXPECT_EQ(back.dimensions[0].sxfMode, 7);
  EXPECT_EQ(back.dimensions[0].auxLine2.startY, -5.0);
}

TEST(StreamRecords, OptionalTailsOfPointsAndSolids) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddPoint(doc, 1, 2);
  AddSolid(doc, 0, 0, 1, 0, 1, 1, 0, 1);
  size_t plain = Save(doc, 600).size();
  doc.points[0].attr.penStyle = 100;
  doc.points[0].code = 9;
  doc.points[0].rotation = 0.5;
  doc.points[0].scale = 2.0;
  doc.solids[0].attr.penColor = 10;
  doc.solids[0].color = 0x00FF00;
  auto bytes = Save(doc, 600);
  EXPECT_EQ(bytes.size() - plain, 20u + 4u);
  JwwDocument back;
  Load(bytes, back);
  EXPECT_EQ(back.points[0].code, 9);
  EXPECT_EQ(back.points[0].scale, 2.0);
  EXPECT_EQ(back.solids[0].color, 0x00FF00);
  doc.points[0].attr.penStyle = 1;
  doc.solids[0].attr.penColor = 2;
  Load(Save(doc, 600), back);
  EXPECT_EQ(back.points[0].scale, 1.0);  // a plain point of the drawing has scale 1
  EXPECT_EQ(back.points[0].code, 0);
  EXPECT_EQ(back.solids[0].color, 0);
}

TEST(StreamPrefixCheck, WrittenBytesAreCorrectedButRecordsAreNot) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  Attr a;
  a.penColor = 0;
  AddLine(doc, 0, 0, 1, 1, a);  // colour 0 stays 0
  a = {};
  a.penStyle = 10;
  AddLine(doc, 0, 0, 1, 1, a);  // line type 10 is not a line type: 0
  a = {};
  a.penStyle = 5;
  AddPoint(doc, 0, 0, a);  // points know only 1 and 100
  AddText(doc, 0, 0, JwwString::Sjis("t"));
  doc.texts[0].attr.penStyle = 12;
  a = {};
  a.penColor = 105;
  a.penStyle = 33;
  AddArc(doc, 0, 0, 1, 0, 1, a);
  a = {};
  a.layer = 16;
  a.layerGroup = 200;
  a.penWidth = 30001;
  a.penColor = 10;
  AddSolid(doc, 0, 0, 1, 0, 1, 1, 0, 1, a);
  a.penColor = 10;
  AddLine(doc, 0, 0, 1, 1, a);  // only solids have colour 10
  Load(Save(doc, 600), back);
  EXPECT_EQ(back.lines[0].attr.penColor, 0);
  EXPECT_EQ(back.lines[1].attr.penStyle, 0);
  EXPECT_EQ(back.points[0].attr.penStyle, 1);
  EXPECT_EQ(back.texts[0].attr.penStyle, 1);
  EXPECT_EQ(back.arcs[0].attr.penColor, 105);  // extended colours exist from 420
  EXPECT_EQ(back.arcs[0].attr.penStyle, 33);
  EXPECT_EQ(back.solids[0].attr.layer, 0);
  EXPECT_EQ(back.solids[0].attr.layerGroup, 0);
  EXPECT_EQ(back.solids[0].attr.penWidth, 0);
  EXPECT_EQ(back.solids[0].attr.penColor, 10);
  EXPECT_EQ(back.lines[2].attr.penColor, 0);
  Load(Save(doc, 419), back);
  EXPECT_EQ(back.arcs[0].attr.penColor, 4);  // 105 -> 4 before extended colours
  EXPECT_EQ(back.arcs[0].attr.penStyle, 3);  // 33 -> 3
  EXPECT_EQ(doc.arcs[0].attr.penColor, 105);
  EXPECT_EQ(doc.texts[0].attr.penStyle, 12);
}

TEST(StreamTexts, LongAndUnicodeTextsAreNeverCut) {
  JwwDocument doc, back;
  InitDrawing(doc, 700, false);
  std::string longText;
  for (int i = 0; i < 200; ++i) longText += "\x82\xA0";  // 400 bytes of double-byte characters
  AddText(doc, 0, 0, JwwString::Sjis(longText));
  std::u16string wide(300, u'\u00e9');
  wide[0] = char16_t(0xD83D);
  wide[1] = char16_t(0xDE00);
  AddText(doc, 0, 0, JwwString::Wide(wide));
  doc.textStrings[0].fontName = JwwString::Sjis(std::string(300, 'F'));
  AddDimension(doc, 0, 0, 100, 0, JwwString::Sjis(longText));
  Load(Save(doc, 700), back);
  EXPECT_EQ(back.textStrings[0].text.sjis, longText);
  EXPECT_EQ(back.textStrings[0].fontName.sjis, std::string(300, 'F'));
  EXPECT_EQ(back.textStrings[1].text, JwwString::Wide(wide));
  EXPECT_EQ(back.textStrings[1].fontName, doc.textStrings[1].fontName);
  EXPECT_EQ(back.dimensionStrings[0].text.sjis, longText);
  EXPECT_EQ(back.texts[1].endX, doc.texts[1].endX);  // the fields before the strings stay in place
  EXPECT_EQ(back.dimensions[0].auxLine2.startY, doc.dimensions[0].auxLine2.startY);  // and those after them
}

TEST(StreamBlocks, LongTimeStampIsSkippedAndReplacedByPosition) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  AddLine(AddBlockDef(doc, 1, JwwString::Sjis("a")), 0, 0, 1, 1);
  AddLine(AddBlockDef(doc, 2, JwwString::Sjis("b")), 0, 0, 2, 2);
  AddBlockInsert(doc, 1, 0, 0);
  AddBlockInsert(doc, 2, 0, 0);
  doc.blockDefs[1].head.timeStamp = 0x12345678;
  auto bytes = Save(doc, 600);
  size_t at = Find(bytes, std::string("\x78\x56\x34\x12", 4));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 3] |= 0x80;
  bytes.insert(bytes.begin() + long(at + 4), 8, 0xAB);
  Load(bytes, back);
  EXPECT_EQ(back.blockDefs[1].head.timeStamp, 2);
  EXPECT_EQ(back.blockDefs[1].entities.lines[0].endX, 2.0);
  auto again = Save(back, 600);
  EXPECT_EQ(again.size(), bytes.size() - 8);
}

TEST(StreamBlocks, OnlyReachedDefinitionsAreWrittenAndRenumbered) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  AddLine(AddBlockDef(doc, 10, JwwString::Sjis("unused")), 0, 0, 1, 1);
  AddBlockInsert(AddBlockDef(doc, 20, JwwString::Sjis("outer")), 30, 0, 0);
  AddLine(AddBlockDef(doc, 30, JwwString::Sjis("inner")), 0, 0, 3, 3);
  AddBlockInsert(AddBlockDef(doc, 40, JwwString::Sjis("orphan-parent")), 10, 0, 0);
  AddBlockInsert(doc, 20, 5, 5);
  AddBlockInsert(doc, 20, 6, 6);
  AddBlockInsert(doc, 99, 7, 7);  // no such definition
  doc.NormaliseBlocks();
  EXPECT_EQ(doc.usedBlockDefCount, 2);
  EXPECT_FALSE(doc.blockDefs[0].used);
  EXPECT_EQ(doc.blockDefs[0].newNumber, -1);
  EXPECT_EQ(doc.blockDefs[1].newNumber, 0);
  EXPECT_EQ(doc.blockDefs[2].newNumber, 1);
  EXPECT_FALSE(doc.blockDefs[3].used);  // inserts 10, but nothing inserts it
  EXPECT_EQ(doc.MapBlockNumber(99), 0);
  EXPECT_EQ(doc.MapBlockNumber(10), 10);
  EXPECT_EQ(doc.MapBlockNumber(30), 1);
  Load(Save(doc, 600), back);
  ASSERT_EQ(back.BlockDefCount(), 2);
  EXPECT_EQ(back.blockDefs[0].number(), 0);
  EXPECT_EQ(back.blockDefs[0].name.sjis, "outer");
  EXPECT_EQ(back.blockDefs[0].entities.blockInserts[0].blockNumber, 1);
  EXPECT_EQ(back.blockDefs[1].number(), 1);
  EXPECT_EQ(back.blockInserts[0].blockNumber, 0);
  EXPECT_EQ(back.blockInserts[1].blockNumber, 0);
  EXPECT_EQ(back.blockInserts[2].blockNumber, 0);
  EXPECT_EQ(back.usedBlockDefCount, 2);
}

TEST(StreamBlocks, EmptyDefinitionsBetweenOthersKeepEveryListInPlace) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  AddLine(AddBlockDef(doc, 1, JwwString::Sjis("a")), 0, 0, 1, 1);
  AddBlockDef(doc, 2, JwwString::Sjis("empty"));
  EntityLists& c = AddBlockDef(doc, 3, JwwString::Sjis("c"));
  for (int i = 0; i < 3; ++i) AddText(c, i, 0, JwwString::Sjis("t"));
  AddArc(c, 0, 0, 1, 0, 1);
  for (int n = 1; n <= 3; ++n) AddBlockInsert(doc, n, 0, 0);
  Load(Save(doc, 600), back);
  ASSERT_EQ(back.BlockDefCount(), 3);
  EXPECT_EQ(back.blockDefs[0].entities.LineCount(), 1);
  EXPECT_EQ(back.blockDefs[1].entities.entityCount, 0);
  EXPECT_EQ(back.blockDefs[2].entities.TextCount(), 3);
  EXPECT_EQ(back.blockDefs[2].entities.ArcCount(), 1);
  EXPECT_EQ(back.blockDefs[2].entities.texts.capacity(), 3u);  // sized exactly, no spare room
}

TEST(StreamBlocks, FirstOfTwoEqualNumbersWinsAndNoDrawingInsertsMeansNoDefinitions) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddLine(AddBlockDef(doc, 5, JwwString::Sjis("first")), 0, 0, 1, 1);
  AddLine(AddBlockDef(doc, 5, JwwString::Sjis("second")), 0, 0, 1, 1);
  doc.NormaliseBlocks();
  EXPECT_EQ(doc.usedBlockDefCount, 0);
  AddBlockInsert(doc, 5, 0, 0);
  doc.NormaliseBlocks();
  EXPECT_TRUE(doc.blockDefs[0].used);
  EXPECT_FALSE(doc.blockDefs[1].used);
  EXPECT_EQ(doc.usedBlockDefCount, 1);
}

TEST(StreamBlocks, DefinitionsNoLongerInsertedAreCountedOutBeforeSaving) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  AddLine(AddBlockDef(doc, 1, JwwString::Sjis("a")), 0, 0, 1, 1);
  AddBlockInsert(doc, 1, 0, 0);
  doc.NormaliseBlocks();
  ASSERT_EQ(doc.usedBlockDefCount, 1);
  doc.ClearEntities();  // the only insertion is gone; the definition stays
  AddLine(doc, 0, 0, 2, 2);
  Load(Save(doc, 600), back);
  EXPECT_EQ(doc.usedBlockDefCount, 0);
  EXPECT_EQ(back.BlockDefCount(), 0);
  EXPECT_EQ(back.LineCount(), 1);
}

TEST(StreamBlocks, DefinitionsThatInsertThemselvesTerminate) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  AddBlockInsert(AddBlockDef(doc, 1, JwwString::Sjis("a")), 2, 0, 0);  // a -> b -> c -> a
  AddBlockInsert(AddBlockDef(doc, 2, JwwString::Sjis("b")), 3, 0, 0);
  AddBlockInsert(AddBlockDef(doc, 3, JwwString::Sjis("c")), 1, 0, 0);
  AddBlockInsert(AddBlockDef(doc, 4, JwwString::Sjis("self")), 4, 0, 0);
  AddBlockInsert(doc, 1, 0, 0);
  AddBlockInsert(doc, 4, 0, 0);
  doc.NormaliseBlocks();
  EXPECT_EQ(doc.usedBlockDefCount, 4);
  EXPECT_LT(doc.BlockTreeCount(), 20);
  Load(Save(doc, 600), back);
  EXPECT_EQ(back.BlockDefCount(), 4);
}

TEST(StreamTruncation, EntitiesBeforeTheCutStay) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  for (int i = 0; i < 5; ++i) AddLine(doc, i, 0, i, 1);
  AddBlockInsert(doc, 1, 0, 0);
  AddBlockInsert(AddBlockDef(doc, 1, JwwString::Sjis("b")), 1, 0, 0);
  auto bytes = Save(doc, 600);
  size_t start = EntitySectionStart(600, false);
  // Cut inside the fourth line: three lines stay, post-load still ran.
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(start + 2 + 14 + 47 + 2 * 49 + 20));
  Load(cut, back, false);
  EXPECT_EQ(back.LineCount(), 3);
  EXPECT_EQ(back.entityCount, 3);
  EXPECT_EQ(back.lines[2].startX, 2.0);
  // Reading stopped at the start of the field that ran past the end.
  EXPECT_GT(back.diagnostics.bytesRead, start + 2 + 14 + 47 + 2 * 49);
  EXPECT_LT(back.diagnostics.bytesRead, cut.size());
  // Cut inside the definitions: the drawing's insertion is still resolved against them.
  std::vector<uint8_t> cut2(bytes.begin(), bytes.end() - 10);
  Load(cut2, back, false);
  EXPECT_EQ(back.BlockInsertCount(), 1);
  EXPECT_EQ(back.BlockDefCount(), 1);
  EXPECT_EQ(back.usedBlockDefCount, 1);
}

}  // namespace
