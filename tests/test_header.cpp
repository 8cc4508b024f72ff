// The header: which blocks each version holds, and the corrections the writer makes.
#include <gtest/gtest.h>

#include "jww/builder.h"
#include "jww/jwwunit.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

// Saves the drawing at a version and loads the file again into `back`.
std::vector<uint8_t> SaveAndLoad(TJwwData& doc, int32_t version, TJwwData& back) {
  TempDir dir;
  EXPECT_TRUE(doc.SaveToFile(dir / "h.jww", version));
  EXPECT_TRUE(back.LoadFromFile(dir / "h.jww")) << back.Diagnostics.reason;
  return ReadBytes(dir / "h.jww");
}

size_t EmptyDrawingSize(int32_t version) {
  TJwwData doc, back;
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
    TJwwData doc, back;
    InitDrawing(doc, v, v >= 700);
    TEntJwwHeader& h = doc.Header;
    h.memo = JwwString::Ascii("memo", v >= 700);
    h.paperSize = 4;
    h.gridSpacingX = 12.5;
    h.skyViewLevel = 3.25;
    h.zoomJumpScale[3] = 7.0;
    h.zoomJumpScale[6] = 9.0;
    h.zoomJumpLayerGroup[2] = 5;
    h.extraViewB.a[2] = 4.5;
    h.drawingTime = 3600;
    h.v225Reals[3] = 2.75;
    h.v230Ints[1] = 11;
    h.textBaseShiftY[2] = -1.5;
    doc.Layers[37].name = JwwString::Ascii("walls", v >= 700);
    doc.ExtendedColors[200].color = 0x123456;
    SaveAndLoad(doc, v, back);
    const TEntJwwHeader& b = back.Header;
    EXPECT_EQ(b.version, v);
    EXPECT_EQ(b.memo, h.memo);
    EXPECT_EQ(b.paperSize, 4);
    EXPECT_EQ(b.gridSpacingX, 12.5);
    EXPECT_EQ(b.skyViewLevel, v >= 300 ? 3.25 : 0.0) << v;
    EXPECT_EQ(b.zoomJumpScale[3], 7.0);
    EXPECT_EQ(b.zoomJumpScale[6], v >= 231 ? 9.0 : 1.0) << v;
    EXPECT_EQ(b.zoomJumpLayerGroup[2], v >= 231 ? 5 : -1) << v;
    EXPECT_EQ(b.extraViewB.a[2], v >= 231 ? 4.5 : 0.0) << v;
    EXPECT_EQ(b.drawingTime, v >= 223 ? 3600 : 0) << v;
    EXPECT_EQ(b.v225Reals[3], v >= 225 ? 2.75 : 0.0) << v;
    EXPECT_EQ(b.v230Ints[1], v >= 230 ? 11 : 0) << v;
    EXPECT_EQ(b.textBaseShiftY[2], -1.5);
    EXPECT_EQ(back.Layers[37].name, doc.Layers[37].name);
    EXPECT_EQ(back.ExtendedColors[200].color, v >= 420 ? 0x123456 : 0) << v;
  }
}

TEST(HeaderVersions, Version219YieldsOnlySignatureAndVersion) {
  TJwwData doc, back;
  InitDrawing(doc, 600, false);
  AddLine(doc, 0, 0, 10, 10);
  TempDir dir;
  ASSERT_TRUE(doc.SaveToFile(dir / "a.jww", 600));
  auto bytes = ReadBytes(dir / "a.jww");
  bytes[8] = 219 & 0xFF;
  bytes[9] = 0;
  EXPECT_FALSE(back.LoadFromBytes(bytes.data(), bytes.size()));
  EXPECT_EQ(back.Header.version, 219);
  EXPECT_EQ(back.Header.signature, "JwwData.");
  EXPECT_EQ(back.Layers.size(), 256u);
  EXPECT_EQ(back.ExtendedColors.size(), 257u);
  EXPECT_EQ(back.LineCount(), 0);
  EXPECT_TRUE(back.Header.memo.empty());

  TJwwData old, oldBack;
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
    TJwwData doc, back;
    InitDrawing(doc, c.version, false);
    doc.Header.packedSwitchOnes = c.stored % 10;
    doc.Header.packedSwitchTens = c.stored / 10;
    SaveAndLoad(doc, c.version, back);
    EXPECT_EQ(back.Header.packedSwitchOnes, c.ones) << c.stored << "@" << c.version;
    EXPECT_EQ(back.Header.packedSwitchTens, c.tens) << c.stored << "@" << c.version;
  }
}

TEST(HeaderWriter, ValuesBroughtIntoRangeWithoutChangingTheDocument) {
  for (int32_t v : {420, 600}) {
    TJwwData doc, back;
    InitDrawing(doc, v, false);
    doc.Header.penWidthUnit = -250;
    doc.Pens[0].printColor = 0x112233;
    doc.Pens[1].width = 0;
    doc.Pens[2].width = 20;
    doc.Pens[3].color = -5;
    doc.Pens[4].printWidth = 900;
    doc.Pens[5].printPointRadius = 0.01;
    doc.Pens[6].printPointRadius = 11.0;
    doc.Pens[7].printColor = 0x1000000;
    SaveAndLoad(doc, v, back);
    EXPECT_EQ(back.Header.penWidthUnit, v == 420 ? -101 : -250);
    EXPECT_EQ(back.Pens[0].printColor, 0xFFFFFF);
    EXPECT_EQ(back.Pens[1].width, 1);
    EXPECT_EQ(back.Pens[2].width, 16);
    EXPECT_EQ(back.Pens[3].color, 0);
    EXPECT_EQ(back.Pens[4].printWidth, 500);
    EXPECT_EQ(back.Pens[5].printPointRadius, 0.1);
    EXPECT_EQ(back.Pens[6].printPointRadius, 10.0);
    EXPECT_EQ(back.Pens[7].printColor, 0);
    EXPECT_EQ(doc.Header.penWidthUnit, -250);  // the writer corrects bytes, not the document
    EXPECT_EQ(doc.Pens[1].width, 0);
  }
}

TEST(HeaderWriter, NamesAreCleanedAndDefaulted) {
  for (bool unicode : {false, true}) {
    TJwwData doc, back;
    InitDrawing(doc, 700, unicode);
    doc.Layers[1].name = unicode ? JwwString::Wide(u"\t\r") : JwwString::Sjis("\t\r");
    doc.Layers[2].name = JwwString::Ascii("", unicode);
    doc.Layers[3].name = JwwString::Ascii("a^mb", unicode);
    doc.LayerGroups[4].name = JwwString::Ascii("^m", unicode);
    doc.ExtendedColors[20].name = JwwString::Ascii("", unicode);
    doc.ExtendedColors[21].name = unicode ? JwwString::Wide(u"\u3000 ") : JwwString::Sjis("\x81\x40 ");
    doc.ExtendedColors[22].name = JwwString::Ascii("mine", unicode);
    doc.ExtendedColors[18].printColor = 0x010203;
    doc.ExtendedColors[18].color = 0x0A0B0C;
    doc.ExtendedLineTypes[20].segmentCount = 3;
    doc.ExtendedLineTypes[20].name = JwwString::Ascii("dashes", unicode);
    doc.ExtendedLineTypes[20].pattern = 77;
    doc.ExtendedLineTypes[20].pitches[5] = 3.0;
    doc.ExtendedLineTypes[10].segmentCount = 3;
    doc.ExtendedLineTypes[10].name = JwwString::Ascii("ten", unicode);
    doc.ExtendedLineTypes[10].pattern = 0;
    doc.ExtendedLineTypes[22].name = JwwString::Ascii("", unicode);
    doc.ExtendedLineTypes[22].segmentCount = 4;
    SaveAndLoad(doc, 700, back);
    auto ascii = [&](const char* s) { return JwwString::Ascii(s, unicode); };
    EXPECT_EQ(back.Layers[1].name, ascii(" "));
    EXPECT_EQ(back.Layers[2].name, ascii(""));  // empty names stay empty
    EXPECT_EQ(back.Layers[3].name, ascii("ab"));
    EXPECT_EQ(back.LayerGroups[4].name, ascii(" "));
    EXPECT_EQ(back.ExtendedColors[20].name, ascii("Color_20"));
    EXPECT_EQ(back.ExtendedColors[21].name, ascii("Color_21"));
    EXPECT_EQ(back.ExtendedColors[22].name, ascii("mine"));
    EXPECT_EQ(back.ExtendedColors[18].printColor, 0x0A0B0C);  // from 17 on the colour is printed
    EXPECT_EQ(back.ExtendedLineTypes[20].name, ascii("LType_20"));
    EXPECT_EQ(back.ExtendedLineTypes[20].segmentCount, 2);
    EXPECT_EQ(uint32_t(back.ExtendedLineTypes[20].pattern), 0xC3C3C3C3u);
    EXPECT_EQ(back.ExtendedLineTypes[20].unitDots, 8);
    EXPECT_EQ(back.ExtendedLineTypes[20].pitch, 1);
    EXPECT_EQ(back.ExtendedLineTypes[20].printPitch, 8);
    EXPECT_EQ(back.ExtendedLineTypes[20].pitches[1], 1.0);
    EXPECT_EQ(back.ExtendedLineTypes[20].pitches[5], 0.0);
    EXPECT_EQ(back.ExtendedLineTypes[10].name, ascii("ten"));
    EXPECT_EQ(back.ExtendedLineTypes[10].segmentCount, 3);
    EXPECT_EQ(back.ExtendedLineTypes[10].pattern, -1);  // a zero pattern is written as -1
    EXPECT_EQ(back.ExtendedLineTypes[22].name, ascii("LType_22"));
  }
}

}  // namespace
