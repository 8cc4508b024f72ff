// The DXF writer on drawings built in memory: the file's structure, its curves and its texts,
// which the read-back check of whole files (check_dxf.py) sees only from outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "drawing/draw_order.h"
#include "drawing/text_layout.h"
#include "dxf/dxf_context.h"
#include "dxf/dxf_writer.h"
#include "jww/builder.h"
#include "tests/fixtures.h"

namespace kelvane {
namespace {

using Groups = std::vector<std::pair<int, std::string>>;

// The file as (group code, value) pairs.
Groups Parse(const DxfResult& r) {
  std::string all;
  for (const std::string& p : r.parts) all += p;
  Groups g;
  size_t at = 0;
  auto line = [&] {
    const size_t end = all.find('\n', at);
    std::string s = all.substr(at, end - at);
    at = end + 1;
    return s;
  };
  while (at < all.size()) {
    const int code = std::stoi(line());
    g.emplace_back(code, line());
  }
  return g;
}

std::vector<std::string> ValuesOf(const Groups& g, int code) {
  std::vector<std::string> v;
  for (const auto& [c, value] : g)
    if (c == code) v.push_back(value);
  return v;
}

// A drawing with a bit of everything that carries handles and names.
void Build(JwwDocument& doc) {
  InitDrawing(doc, 600, false);
  EntityLists& a = AddBlockDef(doc, 1, JwwString::Sjis("A"));
  AddLine(a, 0, 0, 1, 1);
  AddBlockInsert(a, 2, 0, 0);
  EntityLists& b = AddBlockDef(doc, 2, JwwString::Sjis("B"));
  AddBlockInsert(b, 1, 0, 0);  // closes a cycle A -> B -> A
  AddBlockInsert(doc, 1, 5, 5);
  AddText(doc, 1, 2, JwwString::Sjis("abc"));
  AddArcSolid(doc, 0, 0, 3, 0, 1);
  Attr hidden;
  hidden.layer = 3;
  AddLine(doc, 0, 0, 2, 2, hidden);
  doc.layers[3].state = 0;
  doc.layers[3].name = JwwString::Sjis("a/b");
  doc.NormaliseBlocks();
}

TEST(DxfFile, HandlesAreUniqueAndEveryPointerFindsItsObject) {
  JwwDocument doc;
  Build(doc);
  for (DxfVersion version : {DxfVersion::kR2000, DxfVersion::kR2007}) {
    DxfOptions options;
    options.version = version;
    const Groups g = Parse(MakeDxf(doc, nullptr, options));
    size_t seedAt = 0;
    while (seedAt < g.size() && g[seedAt].second != "$HANDSEED") ++seedAt;
    ASSERT_LT(seedAt + 1, g.size());
    std::set<uint64_t> handles;
    for (size_t k = seedAt + 2; k < g.size(); ++k) {
      if (g[k].first == 5 || g[k].first == 105) {
        EXPECT_TRUE(handles.insert(std::stoull(g[k].second, nullptr, 16)).second) << g[k].second;
      }
    }
    EXPECT_GT(std::stoull(g[seedAt + 1].second, nullptr, 16), *handles.rbegin());
    for (const auto& [code, value] : g) {
      if (code >= 330 && code <= 369 && value != "0") {
        EXPECT_TRUE(handles.count(std::stoull(value, nullptr, 16))) << code << " " << value;
      }
    }
    EXPECT_EQ(ValuesOf(g, 1).front(), version == DxfVersion::kR2000 ? "AC1015" : "AC1021");
  }
}

TEST(DxfFile, CyclesOfBlocksAreCutAndHiddenLayersSwitchedOff) {
  JwwDocument doc;
  Build(doc);
  const Groups g = Parse(MakeDxf(doc, nullptr, DxfOptions{}));
  // The drawing's insert of A, and A's of B; B's insert of A would close the cycle.
  int inserts = 0;
  for (const auto& [code, value] : g) inserts += code == 0 && value == "INSERT";
  EXPECT_EQ(inserts, 2);
  // The hidden layer is there, switched off (a negative colour), its "/" replaced.
  for (size_t k = 0; k + 1 < g.size(); ++k)
    if (g[k].first == 2 && g[k].second == "0-3_a_b") {
      while (g[k].first != 62) ++k;
      EXPECT_EQ(g[k].second, "-7");
      return;
    }
  ADD_FAILURE() << "no layer 0-3_a_b";
}

// Every record of a kind ("LINE", "LAYER"...) as its group codes and values, in order.
std::vector<Groups> RecordsOf(const Groups& g, const std::string& kind) {
  std::vector<Groups> out;
  for (size_t k = 0; k < g.size(); ++k) {
    if (g[k].first != 0 || g[k].second != kind) continue;
    Groups r;
    for (size_t j = k + 1; j < g.size() && g[j].first != 0; ++j) r.push_back(g[j]);
    out.push_back(r);
  }
  return out;
}

std::string ValueOf(const Groups& record, int code) {
  for (const auto& [c, v] : record)
    if (c == code) return v;
  return "";
}

// The LAYER record of a name.
Groups LayerNamed(const Groups& g, const std::string& name) {
  for (const Groups& r : RecordsOf(g, "LAYER"))
    if (ValueOf(r, 2) == name) return r;
  ADD_FAILURE() << "no layer " << name;
  return {};
}

TEST(DxfLayers, BlockMembersShowWithTheirInsertAndHelpersAreThereButNotPlotted) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  Attr onHidden, onShown, helperType, helperColor, onDisplayOnly;
  onHidden.layer = 3;
  onShown.layer = 1;
  helperType.layer = 1, helperType.penStyle = kAuxiliaryLineType;
  helperColor.layer = 1, helperColor.penColor = kAuxiliaryColor;
  onDisplayOnly.layer = 4;
  doc.layers[3].state = 0;
  doc.layers[4].state = 1;
  doc.header.packedSwitchOnes = JwwHeader::kDisplayOnlyLayersUnprinted;
  EntityLists& b = AddBlockDef(doc, 1, JwwString::Sjis("B"));
  AddLine(b, 0, 0, 1, 0, onHidden);       // Jw_cad prints it with the insert: layer "0"
  AddLine(b, 0, 0, 0, 1, onShown);        // keeps its layer
  AddLine(b, 0, 0, 1, 1, onDisplayOnly);  // not printed on its own: layer "0"
  AddBlockInsert(doc, 1, 5, 5, onShown);
  AddLine(doc, 0, 0, 2, 2, onHidden);
  AddLine(doc, 0, 0, 3, 3, helperType);
  AddText(doc, 1, 1, JwwString::Sjis("x"), helperColor);
  AddLine(doc, 0, 0, 4, 4, onDisplayOnly);
  doc.NormaliseBlocks();
  const Groups g = Parse(MakeDxf(doc, nullptr, DxfOptions{}));
  std::vector<std::string> layers;
  for (const Groups& r : RecordsOf(g, "LINE")) layers.push_back(ValueOf(r, 8));
  for (const Groups& r : RecordsOf(g, "TEXT")) layers.push_back(ValueOf(r, 8));
  const std::string helpers = "0-1_\x95\xE2\x8F\x95";  // 0-1_補助
  EXPECT_EQ(layers, (std::vector<std::string>{"0", "0-1", "0", "0-3", helpers, "0-4", helpers}));
  // Hidden: off and frozen, so that no reader shows an insert's members there either. Helpers
  // and what the print leaves out: shown, not plotted. The rest plotted (no 290).
  EXPECT_EQ(ValueOf(LayerNamed(g, "0-3"), 62), "-7");
  EXPECT_EQ(ValueOf(LayerNamed(g, "0-3"), 70), "1");
  EXPECT_EQ(ValueOf(LayerNamed(g, helpers), 62), "7");
  EXPECT_EQ(ValueOf(LayerNamed(g, helpers), 290), "0");
  EXPECT_EQ(ValueOf(LayerNamed(g, "0-4"), 290), "0");
  EXPECT_EQ(ValueOf(LayerNamed(g, "0-1"), 290), "");
  EXPECT_EQ(ValueOf(LayerNamed(g, "0-1"), 70), "0");
}

TEST(DxfNames, CleanedAsCharactersUniqueAndWithinTheCodePage) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  // 表題欄 and ソファ: trail bytes 5C ("\") and 5C again, which byte-wise cleaning changed.
  const std::string title = "\x95\x5C\x91\xE8\x97\x93", sofa = "\x83\x5C\x83\x74\x83\x40";
  AddLine(AddBlockDef(doc, 1, JwwString::Sjis(title)), 0, 0, 1, 1);
  AddBlockInsert(doc, 1, 0, 0);
  Attr second;
  second.layer = 2;
  doc.layers[1].name = JwwString::Sjis(sofa);
  doc.layers[2].name = JwwString::Wide(u"\u3131");  // Hangul: not in code page 932
  Attr first;
  first.layer = 1;
  AddLine(doc, 0, 0, 1, 1, first);
  AddLine(doc, 0, 0, 1, 1, second);
  doc.textStrings.clear(), doc.texts.clear();
  for (const char* font : {"a<b", "a>b", "A_B"}) {
    AddText(doc, 0, 0, JwwString::Sjis("t"));
    doc.textStrings.back().fontName = JwwString::Sjis(font);
  }
  doc.NormaliseBlocks();
  const Groups g = Parse(MakeDxf(doc, nullptr, DxfOptions{}));
  std::set<std::string> blocks, layers, styles;
  for (const Groups& r : RecordsOf(g, "BLOCK")) blocks.insert(ValueOf(r, 2));
  for (const Groups& r : RecordsOf(g, "LAYER")) layers.insert(ValueOf(r, 2));
  for (const Groups& r : RecordsOf(g, "STYLE")) styles.insert(ValueOf(r, 2));
  EXPECT_TRUE(blocks.count(title));
  EXPECT_TRUE(layers.count("0-1_" + sofa));
  EXPECT_TRUE(layers.count("0-2__")) << "a name holds no \\U+ escape";
  EXPECT_EQ(styles, (std::set<std::string>{"Standard", "a_b", "a_b_2", "A_B_3"}));
}

TEST(DxfText, ReadersShowExactlyTheDrawingsCharacters) {
  // "%%d" is a degree sign to readers, "^J" a control character, "\U+0041" an A.
  EXPECT_EQ(EscapedText(JwwString::Sjis("90%%d %%c50 %x ^@ \\U+0041 \\x 100%")).sjis,
            "90%%%%d %%%%c50 %x ^ @ \\U+005CU+0041 \\x 100%");
  EXPECT_EQ(EscapedText(JwwString::Wide(u"a^b\\m+1")).wide, u"a^ b\\U+005Cm+1");
  // A Shift_JIS trail byte "^" or "\" is part of its character (ソ is 83 5C, ゾ 83 5E... ).
  EXPECT_EQ(EscapedText(JwwString::Sjis("\x83\x5CU+\x83\x5E")).sjis, "\x83\x5CU+\x83\x5E");
  // Characters code page 932 does not carry there and back, and lone halves of a pair: escaped,
  // so that AutoCAD 2000 files keep them and AutoCAD 2007 files stay UTF-8.
  DxfSink r2000(DxfVersion::kR2000), r2007(DxfVersion::kR2007);
  EXPECT_EQ(r2000.Encode(JwwString::Wide(u"\u00A5\u301C\u2212\u2016\u2014\u00A2\u00A3\u00AC\u203E")),
            "\\U+00A5\\U+301C\\U+2212\\U+2016\\U+2014\\U+00A2\\U+00A3\\U+00AC\\U+203E");
  EXPECT_EQ(r2007.Encode(JwwString::Wide(std::u16string(u"a") + char16_t(0xD800) + u"b")), "a\\U+D800b");
  // Written as TEXT: escaped and encoded.
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddText(doc, 0, 0, JwwString::Sjis("45%%d^"));
  const Groups g = Parse(MakeDxf(doc, nullptr, DxfOptions{}));
  EXPECT_EQ(ValueOf(RecordsOf(g, "TEXT").at(0), 1), "45%%%%d^ ");
}

TEST(DxfColors, OwnColoursAsTheNearestIndexInAutoCad2000AndTrueIn2007) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  Attr own;
  own.penColor = kOwnRgbColor;
  AddSolid(doc, 0, 0, 1, 0, 1, 1, 0, 1, own);
  doc.solids.back().color = 0x0000FF;  // COLORREF: red
  for (DxfVersion version : {DxfVersion::kR2000, DxfVersion::kR2007}) {
    DxfOptions options;
    options.version = version;
    const Groups solid = RecordsOf(Parse(MakeDxf(doc, nullptr, options)), "SOLID").at(0);
    EXPECT_EQ(ValueOf(solid, 62), "1");
    EXPECT_EQ(ValueOf(solid, 420), version == DxfVersion::kR2000 ? "" : "16711680");
  }
}

TEST(DxfLineTypes, NamedByFamilyDashFirstInOnePeriodOfTheDrawingsLengths) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  // Jw_cad's defaults for types 2, 5, 7 and 9 (pattern, bits, pitch, print pitch).
  doc.lineTypes[0] = {int32_t(0x99999999u), 4, 1, 10};
  doc.lineTypes[3] = {int32_t(0xF99FF99Fu), 16, 1, 10};
  doc.lineTypes[5] = {int32_t(0xF24FF24Fu), 16, 1, 10};
  doc.lineTypes[7] = {int32_t(0x22222222u), 4, 1, 10};
  EXPECT_EQ(DxfDashes(doc, 2), (std::vector<double>{1.25, -1.25}));
  EXPECT_EQ(DxfDashes(doc, 5), (std::vector<double>{6.25, -1.25, 1.25, -1.25}));
  EXPECT_EQ(DxfDashes(doc, 7), (std::vector<double>{5, -1.25, 0.625, -1.25, 0.625, -1.25}));
  EXPECT_EQ(DxfDashes(doc, 9), (std::vector<double>{0.625, -1.875}));
  Attr a;
  for (int type : {2, 5, 7, 9}) {
    a.penStyle = uint8_t(type);
    AddLine(doc, 0, 0, 1, 1, a);
  }
  const Groups g = Parse(MakeDxf(doc, nullptr, DxfOptions{}));
  std::vector<std::string> used;
  for (const Groups& r : RecordsOf(g, "LINE")) used.push_back(ValueOf(r, 6));
  EXPECT_EQ(used, (std::vector<std::string>{"DASHED", "CENTER", "PHANTOM", "DOT"}));
  for (const Groups& r : RecordsOf(g, "LTYPE"))
    if (ValueOf(r, 2) == "CENTER") {
      EXPECT_EQ(ValueOf(r, 40), "10");
      EXPECT_EQ(ValueOf(r, 49), "6.25");
    }
}

TEST(DxfOrder, SolidsFirstWhenTheDrawingAsksAndOnlyTheBlocksTheSheetUses) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddLine(AddBlockDef(doc, 1, JwwString::Sjis("used")), 0, 0, 1, 1);
  AddLine(AddBlockDef(doc, 2, JwwString::Sjis("inner")), 0, 0, 1, 1);
  AddBlockInsert(doc.blockDefs[0].entities, 2, 0, 0);
  AddLine(AddBlockDef(doc, 3, JwwString::Sjis("elsewhere")), 0, 0, 1, 1);
  AddLine(doc, 0, 0, 5, 5);
  AddSolid(doc, 0, 0, 1, 0, 1, 1, 0, 1);
  AddBlockInsert(doc, 1, 0, 0);
  AddBlockInsert(doc, 3, 100, 0);
  doc.NormaliseBlocks();
  doc.header.drawSwitches[JwwHeader::kDrawOrderSwitch] = 2;  // solids first
  SheetView view;
  view.order.assign(doc.order.begin(), doc.order.begin() + 3);  // not the insert of "elsewhere"
  const Groups g = Parse(MakeDxf(doc, &view, DxfOptions{}));
  std::vector<std::string> kinds;
  bool inEntities = false;
  for (const auto& [code, value] : g) {
    if (code == 2 && value == "ENTITIES") inEntities = true;
    if (inEntities && code == 0 && value != "ENDSEC" && value != "SECTION") kinds.push_back(value);
    if (inEntities && code == 0 && value == "ENDSEC") break;
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"SOLID", "LINE", "INSERT"}));
  std::set<std::string> blocks;
  for (const Groups& r : RecordsOf(g, "BLOCK_RECORD")) blocks.insert(ValueOf(r, 2));
  EXPECT_EQ(blocks, (std::set<std::string>{"*Model_Space", "*Paper_Space", "used", "inner"}));
}

// The values after a header variable.
std::vector<std::string> HeaderValue(const Groups& g, const std::string& name) {
  std::vector<std::string> v;
  for (size_t k = 0; k < g.size(); ++k)
    if (g[k].first == 9 && g[k].second == name)
      for (size_t j = k + 1; j < g.size() && g[j].first != 9 && g[j].first != 0; ++j) v.push_back(g[j].second);
  return v;
}

TEST(DxfPaper, ExtentsViewLimitsAndLayoutAreTheSheetsPaper) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  doc.header.paperSize = 0;  // A0: the drawing holds several sheets
  doc.layerGroups[0].scale = 50;
  AddLine(doc, 800, 0, 1200, 0);
  AddLine(doc, 1000, -120, 1000, 140);  // with the other, beyond A4 landscape, within A3
  SheetView view;
  view.order = doc.order;
  view.centerX = 1000;
  DxfOptions portraitA4;  // the sheet's page, as the caller knows it
  portraitA4.paperWidth = 210, portraitA4.paperHeight = 297;
  const Groups g = Parse(MakeDxf(doc, &view, portraitA4));
  EXPECT_EQ(HeaderValue(g, "$PLIMMAX"), (std::vector<std::string>{"210", "297"}));
  EXPECT_EQ(HeaderValue(g, "$EXTMIN"), (std::vector<std::string>{"-5250", "-7425", "0"}));
  EXPECT_EQ(HeaderValue(g, "$EXTMAX"), (std::vector<std::string>{"5250", "7425", "0"}));
  const Groups active = RecordsOf(g, "VPORT").at(0);
  EXPECT_EQ(ValueOf(active, 12) + " " + ValueOf(active, 22) + " " + ValueOf(active, 40), "0 0 14850");
  for (const Groups& layout : RecordsOf(g, "LAYOUT")) {
    EXPECT_EQ(ValueOf(layout, 44), "210");
    EXPECT_EQ(ValueOf(layout, 45), "297");
  }
  // Not told: the smallest paper that holds the sheet's lines (A3), not the drawing's A0.
  EXPECT_EQ(HeaderValue(Parse(MakeDxf(doc, &view, DxfOptions{})), "$PLIMMAX"),
            (std::vector<std::string>{"420", "297"}));
  // The whole drawing: its own paper.
  EXPECT_EQ(HeaderValue(Parse(MakeDxf(doc, nullptr, DxfOptions{})), "$PLIMMAX"),
            (std::vector<std::string>{"1189", "841"}));
}

// The bytes of a JPEG file of `width` x `height` pixels as far as a reader of its size goes: a
// JFIF header, a quantisation and a Huffman table, then the frame.
std::vector<uint8_t> JpegHeader(int width, int height) {
  std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  b.insert(b.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
  b.insert(b.end(), 64, 0x10);
  b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x1F, 0x00});
  b.insert(b.end(), 28, 0x07);
  b.insert(b.end(), {0xFF, 0xC0, 0x00, 0x11, 0x08, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
                     uint8_t(width), 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xD9});
  return b;
}

// A drawing that holds a JPEG: the image goes beside the DXF as stored, under its own
// extension, and the IMAGE spans the JPEG's own pixels.
TEST(DxfImages, AnEmbeddedJpegGoesBesideAsStoredWithItsPixelSize) {
  JwwDocument doc;
  InitDrawing(doc, 700, true);
  AddText(doc, 10, 10, JwwString::Wide(u"^@BM%temp%photo.jpg,64,24"), Attr{}, 1.0);
  const std::vector<uint8_t> jpeg = JpegHeader(321, 123);
  doc.images.Add(JwwString::Wide(u"photo.jpg"), jpeg.data(), int32_t(jpeg.size()));
  doc.NormaliseBlocks();
  const DxfResult r = MakeDxf(doc, nullptr, DxfOptions{});
  ASSERT_EQ(r.images.size(), 1u);
  EXPECT_EQ(r.images[0].name, "image-1.jpg");
  EXPECT_EQ(r.images[0].bytes, jpeg);
  const Groups g = Parse(r);
  const std::vector<Groups> images = RecordsOf(g, "IMAGE"), defs = RecordsOf(g, "IMAGEDEF");
  ASSERT_EQ(images.size(), 1u);
  ASSERT_EQ(defs.size(), 1u);
  EXPECT_EQ(std::stod(ValueOf(images[0], 13)), 321);
  EXPECT_EQ(std::stod(ValueOf(images[0], 23)), 123);
  EXPECT_EQ(ValueOf(defs[0], 1), "image-1.jpg");
  EXPECT_EQ(std::stod(ValueOf(defs[0], 10)), 321);
  EXPECT_EQ(std::stod(ValueOf(defs[0], 20)), 123);
}

TEST(DxfText, CapitalsAtTheFontsProportionAndRunFromStartToEndAsJwCadSetsIt) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddText(doc, 0, 0, JwwString::Sjis("ab"), {}, 4);  // two half cells
  doc.texts.back().sizeX = 2, doc.texts.back().spacing = 1;
  AddText(doc, 0, 0, JwwString::Sjis("\x82\xA0\x82\xA0^2"), {}, 4);  // あa, narrowed by two half cells
  for (TextStrings& t : doc.textStrings) t.fontName = JwwString::Sjis("\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E");
  DxfOptions paper;
  paper.units = DxfUnits::kPaper;
  const std::vector<Groups> texts = RecordsOf(Parse(MakeDxf(doc, nullptr, paper)), "TEXT");
  // 4 mm of em in ＭＳ ゴシック: capitals 1538/2048 of it.
  EXPECT_NEAR(std::stod(ValueOf(texts.at(0), 40)), 4 * 1538 / 2048.0, 1e-12);
  // Jw_cad: 0.5 * (2 + 1) twice, less the last spacing's half: 2.5 mm over one em of 4 mm.
  EXPECT_NEAR(std::stod(ValueOf(texts.at(0), 41)), 2.5 / 4, 1e-12);
  // Two full cells of 4 less two half cells: 4 mm over two ems.
  EXPECT_NEAR(std::stod(ValueOf(texts.at(1), 41)), 0.5, 1e-12);
}

TEST(DxfText, CorpusTextsRunAsLongAsJwCadSetsThem) {
  // A reader sets a text's characters at half or a whole em each, an em being the height over
  // the capitals' share, times the width factor; Jw_cad's layout says where the text ends.
  size_t checked = 0, off = 0;
  for (const std::filesystem::path& file : testing::CorpusFiles()) {
    JwwDocument doc;
    if (!doc.LoadFromFile(file)) continue;
    DxfOptions paper;
    paper.units = DxfUnits::kPaper;
    Groups all = Parse(MakeDxf(doc, nullptr, paper));
    all.erase(all.begin(), std::find(all.begin(), all.end(), std::make_pair(2, std::string("ENTITIES"))));
    const std::vector<Groups> texts = RecordsOf(all, "TEXT");
    size_t k = 0;
    for (EntityRef e : DrawingOrder(doc, doc, doc.order, size_t(std::max(0, doc.entityCount)))) {
      if (e.kind != kText && e.kind != kDimension) continue;
      const TextRecord& t = e.kind == kText ? doc.texts[size_t(e.index)] : doc.dimensions[size_t(e.index)].text;
      const TextStrings& strings = e.kind == kText ? doc.textStrings[size_t(e.index)] : doc.dimensionStrings[size_t(e.index)];
      ImageReference ref;
      if (IsSettingsText(t) || (!strings.text.empty() && CharAt(strings.text, 0).code == '^' &&
                                ParseImageReference(strings.text, ref)))
        continue;
      ASSERT_LT(k, texts.size()) << file;
      const Groups& written = texts[k++];
      if ((t.attr.flags & 0x20) != 0 || IsProportionalFont(strings.fontName) || !(t.sizeY > 0)) continue;
      const TextLayout jw = LayOutText(t, strings.text);
      const double jwLength = std::hypot(jw.end.x - t.startX, jw.end.y - t.startY);
      TextLayoutBuffers chars;
      ReadTextChars(strings.text, chars);
      double ems = 0;
      for (const auto& c : chars.chars) ems += c.width;
      // The reader's em is the height over its face's capitals: sizeY in the faces measured.
      const std::string factor = ValueOf(written, 41);
      const double length = ems * t.sizeY * (factor.empty() ? 1.0 : std::stod(factor));
      ++checked;
      if (std::fabs(length - jwLength) > 0.01 * jwLength + 1e-9) {
        if (++off <= 3) ADD_FAILURE() << file.filename() << ": " << length << " against " << jwLength;
      }
    }
  }
  if (checked == 0) GTEST_SKIP() << "no corpus";
}

// A point of Jw_cad's curve C + Rot(tilt)·(r cos t, r·f sin t) beside DXF's at parameter u.
struct P {
  double x, y;
};
P JwPoint(double r, double f, double tilt, double t) {
  const double x = r * std::cos(t), y = r * f * std::sin(t);
  return {x * std::cos(tilt) - y * std::sin(tilt), x * std::sin(tilt) + y * std::cos(tilt)};
}
P DxfPoint(const EllipseForm& e, double u) {
  if (e.circle) {
    const double a = u * 3.14159265358979323846 / 180;
    return {e.radius * std::cos(a), e.radius * std::sin(a)};
  }
  // The minor axis is the major turned a quarter counter-clockwise, times the ratio.
  return {e.majorX * std::cos(u) - e.ratio * e.majorY * std::sin(u),
          e.majorY * std::cos(u) + e.ratio * e.majorX * std::sin(u)};
}

TEST(DxfCurves, EllipsesAndArcsStartAndEndWhereJwCadDrawsThem) {
  struct Case {
    double r, flat, tilt, start, sweep;
  } cases[] = {{5, 1, 0, 0.5, 2}, {5, 1, 0.7, 0.5, -2}, {5, 0.4, 0.3, 1, 2.5},
               {5, 2.5, 0.3, 1, 2.5}, {5, 2.5, -1.2, 4, -3}, {5, -0.5, 0.2, 0.3, 1}};
  for (const Case& k : cases) {
    const EllipseForm e = FormOf(k.r, k.flat, k.tilt, k.start, k.sweep, false);
    EXPECT_LE(e.ratio, 1.0);
    const bool circle = e.circle;
    const P a = DxfPoint(e, circle ? e.startAngle : e.start), b = DxfPoint(e, circle ? e.endAngle : e.end);
    const P s = JwPoint(k.r, k.flat, k.tilt, k.start), t = JwPoint(k.r, k.flat, k.tilt, k.start + k.sweep);
    // DXF runs counter-clockwise: a negative sweep (or a mirroring flatness) swaps the ends.
    const bool swapped = std::fabs(a.x - s.x) + std::fabs(a.y - s.y) > 1e-9;
    const P& first = swapped ? t : s;
    const P& last = swapped ? s : t;
    EXPECT_NEAR(a.x, first.x, 1e-9) << k.flat << " " << k.sweep;
    EXPECT_NEAR(a.y, first.y, 1e-9);
    EXPECT_NEAR(b.x, last.x, 1e-9);
    EXPECT_NEAR(b.y, last.y, 1e-9);
    // The middle of the arc lies on the DXF curve's middle too: the right way round.
    const double mid = circle ? (e.startAngle + std::fmod(e.endAngle - e.startAngle + 360, 360) / 2)
                              : (e.start + std::fmod(e.end - e.start + 2 * 3.14159265358979323846, 2 * 3.14159265358979323846) / 2);
    const P m = DxfPoint(e, mid), jm = JwPoint(k.r, k.flat, k.tilt, k.start + k.sweep / 2);
    EXPECT_NEAR(m.x, jm.x, 1e-9) << k.flat << " " << k.sweep;
    EXPECT_NEAR(m.y, jm.y, 1e-9);
  }
}

TEST(DxfText, CodePage932WithEscapesOrUtf8AndNoControlSequences) {
  DxfSink r2000(DxfVersion::kR2000), r2007(DxfVersion::kR2007);
  // 漢字, a Hangul letter (not in code page 932) and a character beyond the basic plane.
  const JwwString wide = JwwString::Wide(u"\u6F22\u5B57\u3131\U0001F600");
  EXPECT_EQ(r2000.Encode(wide), "\x8A\xBF\x8E\x9A\\U+3131\\U+D83D\\U+DE00");
  EXPECT_EQ(r2007.Encode(wide), "\xE6\xBC\xA2\xE5\xAD\x97\xE3\x84\xB1\xF0\x9F\x98\x80");
  EXPECT_EQ(r2007.Encode(JwwString::Sjis("\x8A\xBF\x8E\x9A")), "\xE6\xBC\xA2\xE5\xAD\x97");
  // A Shift_JIS trail byte that is "\" stays part of its character (ソ is 83 5C).
  EXPECT_EQ(r2000.Encode(JwwString::Sjis("\x83\x5C\n")), "\x83\x5C");
  EXPECT_EQ(PlainText(JwwString::Sjis("^uA^dB^$3C^o^2D^3")).sjis, "ABC^2D");
  EXPECT_EQ(PlainText(JwwString::Wide(u"x^$5y^9")).wide, u"xy");
}

TEST(DxfFile, TrueSizeIsPaperTimesTheGroupScale) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  doc.layerGroups[1].scale = 50;
  Attr inGroup1;
  inGroup1.layerGroup = 1;
  AddLine(doc, 1.5, -2, 3, 4.25, inGroup1);
  SheetView view;
  view.order = doc.order;
  view.centerX = 1, view.centerY = 2;
  DxfOptions options;
  // The line's ends: (x - centre) times the scale of its group.
  auto ends = [&] {
    const Groups g = Parse(MakeDxf(doc, &view, options));
    size_t k = 0;
    while (k < g.size() && g[k] != std::make_pair(0, std::string("LINE"))) ++k;
    std::map<int, std::string> v;
    for (++k; k < g.size() && g[k].first != 0; ++k) v[g[k].first] = g[k].second;
    return std::vector<std::string>{v[10], v[20], v[11], v[21], v[8]};
  };
  EXPECT_EQ(ends(), (std::vector<std::string>{"25", "-200", "100", "112.5", "1-0"}));
  options.units = DxfUnits::kPaper;
  EXPECT_EQ(ends(), (std::vector<std::string>{"0.5", "-4", "2", "2.25", "1-0"}));
}

TEST(DxfNumbers, EveryValueReadsBackAsTheSameDouble) {
  char b[48];
  for (double v : {0.1, -0.0001, 123456.7891, 1e-7, 3.0000000000000004, -7.25e15, 1e300, 2.5e-320, 0.30000000000000004,
                   -12345678.9012})
    EXPECT_EQ(std::strtod(std::string(b, DxfSink::Decimal(b, v)).c_str(), nullptr), v) << v;
  // Short decimals without trailing zeros; a value met again (arc angles) written the same.
  const auto text = [&](double v) { return std::string(b, DxfSink::Decimal(b, v)); };
  EXPECT_EQ(text(12.5), "12.5");
  EXPECT_EQ(text(-0.05), "-0.05");
  EXPECT_EQ(text(3.0104), "3.0104");
  EXPECT_EQ(text(7.012), "7.012");
  EXPECT_EQ(text(1200), "1200");
  EXPECT_EQ(text(28.64788975654116), "28.64788975654116");
  EXPECT_EQ(text(28.64788975654116), "28.64788975654116");
  EXPECT_EQ(text(-1e-5), "-1e-05");
}

}  // namespace
}  // namespace kelvane
