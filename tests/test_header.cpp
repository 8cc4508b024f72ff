// The header: which blocks each version holds, and the corrections the writer makes.
#include <gtest/gtest.h>

#include "jww/builder.h"
#include "jww/document.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

// Saves the drawing at a version and loads the file again into `back`.
std::vector<uint8_t> SaveAndLoad(JwwDocument& doc, int32_t version, JwwDocument& back) {
  TempDir dir;
  EXPECT_TRUE(doc.SaveToFile(dir / "h.jww", version));
  EXPECT_TRUE(back.LoadFromFile(dir / "h.jww")) << back.diagnostics.reason;
  return ReadBytes(dir / "h.jww");
}

size_t EmptyDrawingSize(int32_t version) {
  JwwDocument doc, back;
  InitDrawing(doc, version, false);
  return SaveAndLoad(doc, version, back).size();
}

TEST(HeaderVersions, BlocksGrowAtEveryThreshold) {
  EXPECT_EQ(EmptyDrawingSize(223) - EmptyDrawingSize(222), 60u);   // drawing time and the 223 values
  EXPECT_EQ(EmptyDrawingSize(224), EmptyDrawingSize(223));
  EXPECT_EQ(EmptyDrawingSize(226) - EmptyDrawingSize(224), 32u);   // four reals from 225
  EXPECT_EQ(EmptyDrawingSize(230) - EmptyDrawingSize(229), 8u);    // two ints from 230
  EXPECT_EQ(EmptyDrawingSize(231) - EmptyDrawingSize(230), 184u);  // zoom jumps 96 -> 280 bytes
  EXPECT_EQ(EmptyDrawingSize(300) - EmptyDrawingSize(299), 16u);   // sky view
  EXPECT_EQ(EmptyDrawingSize(351), EmptyDrawingSize(350));         // the header has no pen widths
  EXPECT_GT(EmptyDrawingSize(420), EmptyDrawingSize(419) + 257 * 8 + 33 * 16);
  EXPECT_EQ(EmptyDrawingSize(700) - EmptyDrawingSize(600), 4u);    // the image count
}

TEST(HeaderVersions, FieldsOfEachVersionSurviveAndOthersKeepDefaults) {
  for (int32_t v : {220, 223, 225, 230, 231, 300, 420, 600, 700}) {
    JwwDocument doc, back;
    InitDrawing(doc, v, v >= 700);
    JwwHeader& h = doc.header;
    h.memo = JwwString::Ascii("memo", v >= 700);
    h.paperSize = 4;
    h.gridSpacingX = 12.5;
    h.skyViewLevel = 3.25;
    h.zoomJumpScale[3] = 7.0;
    h.zoomJumpScale[6] = 9.0;
    h.zoomJumpLayerGroup[2] = 5;
    h.reservedRecords[1].values[2] = 4.5;
    h.drawingTime = 3600;
    h.lastCircleRadius = 2.75;
    h.solidDefaultColor = 11;
    h.textBaseShiftY[2] = -1.5;
    doc.layers[37].name = JwwString::Ascii("walls", v >= 700);
    doc.extendedColors[200].color = 0x123456;
    SaveAndLoad(doc, v, back);
    const JwwHeader& b = back.header;
    EXPECT_EQ(b.version, v);
    EXPECT_EQ(b.memo, h.memo);
    EXPECT_EQ(b.paperSize, 4);
    EXPECT_EQ(b.gridSpacingX, 12.5);
    EXPECT_EQ(b.skyViewLevel, v >= 300 ? 3.25 : 0.0) << v;
    EXPECT_EQ(b.zoomJumpScale[3], 7.0);
    EXPECT_EQ(b.zoomJumpScale[6], v >= 231 ? 9.0 : 1.0) << v;
    EXPECT_EQ(b.zoomJumpLayerGroup[2], v >= 231 ? 5 : -1) << v;
    EXPECT_EQ(b.reservedRecords[1].values[2], v >= 231 ? 4.5 : 0.0) << v;
    EXPECT_EQ(b.drawingTime, v >= 223 ? 3600 : 0) << v;
    EXPECT_EQ(b.lastCircleRadius, v >= 225 ? 2.75 : 0.0) << v;
    EXPECT_EQ(b.solidDefaultColor, v >= 230 ? 11 : 0) << v;
    EXPECT_EQ(b.textBaseShiftY[2], -1.5);
    EXPECT_EQ(back.layers[37].name, doc.layers[37].name);
    EXPECT_EQ(back.extendedColors[200].color, v >= 420 ? 0x123456 : 0) << v;
  }
}

TEST(HeaderVersions, Version219YieldsOnlySignatureAndVersion) {
  JwwDocument doc, back;
  InitDrawing(doc, 600, false);
  AddLine(doc, 0, 0, 10, 10);
  TempDir dir;
  ASSERT_TRUE(doc.SaveToFile(dir / "a.jww", 600));
  auto bytes = ReadBytes(dir / "a.jww");
  bytes[8] = 219 & 0xFF;
  bytes[9] = 0;
  EXPECT_FALSE(back.LoadFromBytes(bytes.data(), bytes.size()));
  EXPECT_EQ(back.header.version, 219);
  EXPECT_EQ(back.header.signature, "JwwData.");
  EXPECT_EQ(back.layers.size(), 256u);
  EXPECT_EQ(back.extendedColors.size(), 257u);
  EXPECT_EQ(back.LineCount(), 0);
  EXPECT_TRUE(back.header.memo.empty());

  JwwDocument old, oldBack;
  InitDrawing(old, 220, false);
  AddLine(old, 0, 0, 10, 10);
  SaveAndLoad(old, 220, oldBack);
  EXPECT_EQ(oldBack.LineCount(), 1);
}

TEST(HeaderWriter, PackedSwitchValueDependsOnVersion) {
  struct Case {
    int32_t stored, version, ones, tens;
  } cases[] = {{23, 600, 3, 2}, {23, 420, 3, 0}, {5, 600, 5, 1}, {-23, 420, -3, 0}};
  for (const Case& c : cases) {
    JwwDocument doc, back;
    InitDrawing(doc, c.version, false);
    doc.header.packedSwitchOnes = c.stored % 10;
    doc.header.packedSwitchTens = c.stored / 10;
    SaveAndLoad(doc, c.version, back);
    EXPECT_EQ(back.header.packedSwitchOnes, c.ones) << c.stored << "@" << c.version;
    EXPECT_EQ(back.header.packedSwitchTens, c.tens) << c.stored << "@" << c.version;
  }
}

TEST(HeaderWriter, ValuesBroughtIntoRangeWithoutChangingTheDocument) {
  for (int32_t v : {420, 600}) {
    JwwDocument doc, back;
    InitDrawing(doc, v, false);
    doc.header.penWidthUnit = -250;
    doc.pens[0].printColor = 0x112233;
    doc.pens[1].width = 0;
    doc.pens[2].width = 20;
    doc.pens[3].color = -5;
    doc.pens[4].printWidth = 900;
    doc.pens[5].printPointRadius = 0.01;
    doc.pens[6].printPointRadius = 11.0;
    doc.pens[7].printColor = 0x1000000;
    SaveAndLoad(doc, v, back);
    EXPECT_EQ(back.header.penWidthUnit, v == 420 ? -101 : -250);
    EXPECT_EQ(back.pens[0].printColor, 0xFFFFFF);
    EXPECT_EQ(back.pens[1].width, 1);
    EXPECT_EQ(back.pens[2].width, 16);
    EXPECT_EQ(back.pens[3].color, 0);
    EXPECT_EQ(back.pens[4].printWidth, 500);
    EXPECT_EQ(back.pens[5].printPointRadius, 0.1);
    EXPECT_EQ(back.pens[6].printPointRadius, 10.0);
    EXPECT_EQ(back.pens[7].printColor, 0);
    EXPECT_EQ(doc.header.penWidthUnit, -250);  // the writer corrects bytes, not the document
    EXPECT_EQ(doc.pens[1].width, 0);
  }
}

TEST(HeaderWriter, NamesAreCleanedAndDefaulted) {
  for (bool unicode : {false, true}) {
    JwwDocument doc, back;
    InitDrawing(doc, 700, unicode);
    doc.layers[1].name = unicode ? JwwString::Wide(u"\t\r") : JwwString::Sjis("\t\r");
    doc.layers[2].name = JwwString::Ascii("", unicode);
    doc.layers[3].name = JwwString::Ascii("a^mb", unicode);
    doc.layerGroups[4].name = JwwString::Ascii("^m", unicode);
    doc.extendedColors[20].name = JwwString::Ascii("", unicode);
    doc.extendedColors[21].name = unicode ? JwwString::Wide(u"\u3000 ") : JwwString::Sjis("\x81\x40 ");
    doc.extendedColors[22].name = JwwString::Ascii("mine", unicode);
    doc.extendedColors[18].printColor = 0x010203;
    doc.extendedColors[18].color = 0x0A0B0C;
    doc.extendedLineTypes[20].segmentCount = 3;
    doc.extendedLineTypes[20].name = JwwString::Ascii("dashes", unicode);
    doc.extendedLineTypes[20].pattern = 77;
    doc.extendedLineTypes[20].pitches[5] = 3.0;
    doc.extendedLineTypes[10].segmentCount = 3;
    doc.extendedLineTypes[10].name = JwwString::Ascii("ten", unicode);
    doc.extendedLineTypes[10].pattern = 0;
    doc.extendedLineTypes[22].name = JwwString::Ascii("", unicode);
    doc.extendedLineTypes[22].segmentCount = 4;
    SaveAndLoad(doc, 700, back);
    auto ascii = [&](const char* s) { return JwwString::Ascii(s, unicode); };
    EXPECT_EQ(back.layers[1].name, ascii(" "));
    EXPECT_EQ(back.layers[2].name, ascii(""));  // empty names stay empty
    EXPECT_EQ(back.layers[3].name, ascii("ab"));
    EXPECT_EQ(back.layerGroups[4].name, ascii(" "));
    EXPECT_EQ(back.extendedColors[20].name, ascii("Color_20"));
    EXPECT_EQ(back.extendedColors[21].name, ascii("Color_21"));
    EXPECT_EQ(back.extendedColors[22].name, ascii("mine"));
    EXPECT_EQ(back.extendedColors[18].printColor, 0x0A0B0C);  // from 17 on the colour is printed
    EXPECT_EQ(back.extendedLineTypes[20].name, ascii("LType_20"));
    EXPECT_EQ(back.extendedLineTypes[20].segmentCount, 2);
    EXPECT_EQ(uint32_t(back.extendedLineTypes[20].pattern), 0xC3C3C3C3u);
    EXPECT_EQ(back.extendedLineTypes[20].unitDots, 8);
    EXPECT_EQ(back.extendedLineTypes[20].pitch, 1);
    EXPECT_EQ(back.extendedLineTypes[20].printPitch, 8);
    EXPECT_EQ(back.extendedLineTypes[20].pitches[1], 1.0);
    EXPECT_EQ(back.extendedLineTypes[20].pitches[5], 0.0);
    EXPECT_EQ(back.extendedLineTypes[10].name, ascii("ten"));
    EXPECT_EQ(back.extendedLineTypes[10].segmentCount, 3);
    EXPECT_EQ(back.extendedLineTypes[10].pattern, -1);  // a zero pattern is written as -1
    EXPECT_EQ(back.extendedLineTypes[22].name, ascii("LType_22"));
  }
}

}  // namespace
