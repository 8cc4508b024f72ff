// Tests of the sheet name texts and the sheet layer restriction, in both stored string forms.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "jww/builder.h"
#include "jww/document.h"
#include "split/frames.h"
#include "split/sheetnames.h"
#include "text/jwwstring.h"

namespace kelvane {
namespace {

// Whether (layerGroup, layer) belongs to the sheet's listed layers, the restriction aside.
bool LayerPasses(const PaperFrame& frame, int sheet, uint16_t layerGroup, uint16_t layer) {
  return MakeSheetLayerFilter(frame, sheet).Passes(layerGroup, layer);
}

// Texts are written in a small notation so that one table serves both forms: "{tok}" stands for
// a character (or the markers) given in both forms below; every other byte is an ASCII character.
struct Token {
  std::string_view name;
  std::string_view sjis;
  std::u16string_view wide;
};

constexpr Token kTokens[] = {
    {"N", "\x81\x79\x96\xBC\x81\x7A", u"\u3010\u540D\u3011"},  // 【名】
    {"L", "\x81\x79\x82\x6B\x81\x7A", u"\u3010\uFF2C\u3011"},  // 【Ｌ】
    {"IS", "\x81\x40", u"\u3000"},                             // ideographic space
    {"fa", "\x82\x81", u"\uFF41"},
    {"FA", "\x82\x60", u"\uFF21"},
    {"fz", "\x82\x9A", u"\uFF5A"},
    {"FZ", "\x82\x79", u"\uFF3A"},
    {"alpha", "\x83\xBF", u"\u03B1"},
    {"ALPHA", "\x83\x9F", u"\u0391"},
    {"omega", "\x83\xD6", u"\u03C9"},
    {"OMEGA", "\x83\xB6", u"\u03A9"},
    {"zhe", "\x84\x77", u"\u0436"},
    {"ZHE", "\x84\x47", u"\u0416"},
    {"o", "\x84\x80", u"\u043E"},  // Cyrillic, just past the unused trail byte 0x7F
    {"O", "\x84\x4F", u"\u041E"},
    {"ya", "\x84\x91", u"\u044F"},
    {"YA", "\x84\x60", u"\u042F"},
    {"yo", "\x84\x76", u"\u0451"},
    {"YO", "\x84\x46", u"\u0401"},
    {"fcomma", "\x81\x43", u"\uFF0C"},  // full-width comma: not the ASCII one
    {"ze", "\x83\x5B", u"\u30BC"},      // Shift_JIS trail byte "["
    {"so", "\x83\x5C", u"\u30BD"},      // trail byte "\"
    {"zo", "\x83\x5D", u"\u30BE"},      // trail byte "]"
    {"po", "\x83\x7C", u"\u30DD"},      // trail byte "|"
    {"mi", "\x83\x7E", u"\u30DF"},      // trail byte "~"
    {"akana", "\x83\x41", u"\u30A2"},   // trail byte "A"
    {"ma", "\x82\xDC", u"\u307E"},      // UTF-16 low byte "~"
};

JwwString Make(std::string_view notation, bool unicode) {
  JwwString s = unicode ? JwwString::Wide(u"") : JwwString::Sjis("");
  for (size_t i = 0; i < notation.size();) {
    if (notation[i] == '{') {
      size_t close = notation.find('}', i);
      std::string_view name = notation.substr(i + 1, close - i - 1);
      const Token* found = nullptr;
      for (const Token& t : kTokens)
        if (t.name == name) found = &t;
      if (found == nullptr) ADD_FAILURE() << "unknown token " << name;
      if (found != nullptr) {
        if (unicode) s.wide += found->wide;
        else s.sjis += found->sjis;
      }
      i = close + 1;
      continue;
    }
    if (unicode) s.wide.push_back(char16_t(static_cast<unsigned char>(notation[i])));
    else s.sjis.push_back(notation[i]);
    ++i;
  }
  return s;
}

std::string Shown(const JwwString& s) {
  std::string out = s.unicode ? "U\"" : "S\"";
  char buf[16];
  if (s.unicode) {
    for (char16_t c : s.wide) {
      if (c >= 0x20 && c < 0x7F) out.push_back(char(c));
      else std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c)), out += buf;
    }
  } else {
    for (char c : s.sjis) {
      unsigned char b = static_cast<unsigned char>(c);
      if (b >= 0x20 && b < 0x7F) out.push_back(c);
      else std::snprintf(buf, sizeof buf, "\\x%02X", unsigned(b)), out += buf;
    }
  }
  return out + "\"";
}

::testing::AssertionResult Same(const JwwString& actual, const JwwString& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << Shown(actual) << ", expected " << Shown(expected);
}

PaperFrame Frame(double minX, double minY, double maxX, double maxY) {
  PaperFrame f;
  f.minX = minX, f.minY = minY, f.maxX = maxX, f.maxY = maxY;
  return f;
}

// A frame with no sheet of its own naming: one sheet, empty name, no layer limit.
::testing::AssertionResult HasDefaultSheet(const PaperFrame& f) {
  if (f.sheetCount != 1) return ::testing::AssertionFailure() << "sheetCount " << f.sheetCount;
  for (int s = 0; s < kMaxSheetsPerFrame; ++s) {
    if (!f.sheetNames[s].empty()) return ::testing::AssertionFailure() << "name " << s << " " << Shown(f.sheetNames[s]);
    if (f.sheetLayerGroups[s] != -1) return ::testing::AssertionFailure() << "group " << s << " " << f.sheetLayerGroups[s];
    if (!f.sheetLayerLists[s].empty()) return ::testing::AssertionFailure() << "list " << s << " " << Shown(f.sheetLayerLists[s]);
  }
  return ::testing::AssertionSuccess();
}

class SheetNameTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    InitDrawing(doc, unicode() ? 800 : 700, unicode());
    frames = {Frame(0, 0, 100, 100), Frame(200, 0, 300, 100)};
  }
  bool unicode() const { return GetParam(); }
  JwwString S(std::string_view notation) const { return Make(notation, unicode()); }

  int32_t AddName(double x, double y, std::string_view notation, uint16_t layerGroup = 0, uint16_t penColor = 9,
                  int32_t textType = 0) {
    Attr a;
    a.penColor = penColor;
    a.layerGroup = layerGroup;
    a.layer = 4;
    int32_t i = AddText(doc, x, y, S(notation), a);
    doc.texts[i].textType = textType;
    return i;
  }

  JwwDocument doc;
  std::vector<PaperFrame> frames;
};

INSTANTIATE_TEST_SUITE_P(BothForms, SheetNameTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "ShiftJis"; });

// --- Which texts are name texts ---

struct KindCase {
  const char* what;
  uint16_t penColor;
  int32_t textType;
  const char* text;
  bool isName;
};

TEST_P(SheetNameTest, NameTextNeedsColourNineTypeMultipleOfHundredAndMarker) {
  const KindCase cases[] = {
      {"plain name text", 9, 0, "{N}Plan", true},
      {"text type 100", 9, 100, "{N}Plan", true},
      {"text type 200", 9, 200, "{N}Plan", true},
      {"marker alone", 9, 0, "{N}", true},
      {"colour 8", 8, 0, "{N}Plan", false},
      {"colour 1", 1, 0, "{N}Plan", false},
      {"text type 5", 9, 5, "{N}Plan", false},
      {"text type 2 (a fresh text)", 9, 2, "{N}Plan", false},
      {"-100 is not a multiple of 100 unsigned", 9, -100, "{N}Plan", false},
      {"-96 is 4294967200 unsigned, a multiple", 9, -96, "{N}Plan", true},
      {"INT32_MIN unsigned is 2147483648", 9, INT32_MIN, "{N}Plan", false},
      {"blank before the marker", 9, 0, " {N}Plan", false},
      {"marker later in the text", 9, 0, "Plan{N}", false},
      {"layer marker instead", 9, 0, "{L}Plan", false},
      {"ideographic space before the marker", 9, 0, "{IS}{N}Plan", false},
      {"empty text", 9, 0, "", false},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.what);
    TextRecord r{};
    r.attr.penColor = c.penColor;
    r.textType = c.textType;
    EXPECT_EQ(IsSheetNameText(r, S(c.text)), c.isName);
  }
}

TEST(SheetNameText, PartialMarkerIsNotAName) {
  TextRecord r{};
  r.attr.penColor = 9;
  EXPECT_FALSE(IsSheetNameText(r, JwwString::Sjis("\x81\x79\x96\xBC")));   // 【名 only
  EXPECT_FALSE(IsSheetNameText(r, JwwString::Sjis("\x81\x79\x96\xBC\x81")));  // cut inside 】
  EXPECT_FALSE(IsSheetNameText(r, JwwString::Wide(u"\u3010\u540D")));
}

TEST_P(SheetNameTest, OrdinaryTextsNameNothing) {
  AddName(50, 50, "{N}Colour8", 0, 8, 0);
  AddName(50, 50, "{N}Type5", 0, 9, 5);
  AddName(50, 50, "{N}Type2", 0, 9, 2);
  AddName(50, 50, "Plain", 0, 9, 0);
  CollectSheetNames(frames, doc);
  EXPECT_TRUE(HasDefaultSheet(frames[0]));
  EXPECT_TRUE(HasDefaultSheet(frames[1]));
}

// --- Reading one name text ---

struct NameCase {
  const char* what;
  const char* text;
  bool named;  // false: ignored, the frame keeps its default sheet
  const char* name = "";
  const char* layers = "";
};

TEST_P(SheetNameTest, NameAndLayerPartOfOneText) {
  const NameCase cases[] = {
      {"plain name", "{N}Plan", true, "Plan"},
      {"space inside the name", "{N}North wing", false},
      {"leading space trimmed", "{N} North", true, "North"},
      {"blanks and controls trimmed at both ends", "{N}\t\x01 North \x1F\r\n", true, "North"},
      {"ideographic space is not trimmed", "{N}{IS}North{IS}", true, "{IS}North{IS}"},
      {"control character inside is kept", "{N}No\trth", true, "No\trth"},
      {"marker alone", "{N}", false},
      {"only blanks after the marker", "{N} \t ", false},
      {"layer part", "{N}Plan{L}01A", true, "Plan", "01A"},
      {"empty name with a layer list", "{N}{L}2", true, "", "2"},
      {"layer marker with an empty list", "{N}Plan{L}", true, "Plan", ""},
      {"first layer marker splits", "{N}Plan{L}0{L}1", true, "Plan", "0{L}1"},
      {"parts are not trimmed again", "{N}Plan\t{L}\t1", true, "Plan\t", "\t1"},
      {"trimming comes before the split", "{N} Plan{L}12\t", true, "Plan", "12"},
      {"lower-case list kept as written", "{N}P{L}0a", true, "P", "0a"},
      {"unusable character in the layer part", "{N}Plan{L}1,2", false},
      {"space in the layer part", "{N}Plan{L}1 2", false},
      {"name marker inside the name is plain text", "{N}{N}Plan", true, "{N}Plan"},
      {"full-width letters and comma are usable", "{N}{FA}{fcomma}{fa}", true, "{FA}{fcomma}{fa}"},
      {"kana whose codes hold [ \\ ] | ~ bytes", "{N}{ze}{so}{zo}{po}{mi}{ma}", true, "{ze}{so}{zo}{po}{mi}{ma}"},
      {"Greek and Cyrillic", "{N}{alpha}{ZHE}{L}3", true, "{alpha}{ZHE}", "3"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.what);
    InitDrawing(doc, unicode() ? 800 : 700, unicode());
    AddName(50, 50, c.text, 3);
    CollectSheetNames(frames, doc);
    EXPECT_TRUE(HasDefaultSheet(frames[1]));
    if (!c.named) {
      EXPECT_TRUE(HasDefaultSheet(frames[0]));
      continue;
    }
    ASSERT_EQ(frames[0].sheetCount, 1);
    EXPECT_TRUE(Same(frames[0].sheetNames[0], S(c.name)));
    EXPECT_EQ(frames[0].sheetLayerGroups[0], 3);
    EXPECT_TRUE(Same(frames[0].sheetLayerLists[0], S(c.layers)));
  }
}

TEST_P(SheetNameTest, EachUnusableCharacterRejectsTheText) {
  const std::string unusable = ",.\\/[]| '\"+*<>?~";
  ASSERT_EQ(unusable.size(), 16u);
  for (char ch : unusable) {
    const std::string c(1, ch);
    std::vector<std::string> texts = {"{N}A" + c + "B", "{N}A{L}1" + c + "2", "{N}{L}" + c + "1"};
    if (ch != ' ') {  // a blank at either end is trimmed, not rejected
      texts.push_back("{N}" + c + "A");
      texts.push_back("{N}A{L}1" + c);
    }
    for (const std::string& text : texts) {
      SCOPED_TRACE(text);
      InitDrawing(doc, unicode() ? 800 : 700, unicode());
      AddName(50, 50, text);
      CollectSheetNames(frames, doc);
      EXPECT_TRUE(HasDefaultSheet(frames[0]));
    }
  }
}

// A byte-wise search would find 【Ｌ】 starting on the trail byte 0x81 of "ａ" (82 81).
TEST(SheetNameText, ShiftJisLayerMarkerNeverStartsOnATrailByte) {
  JwwDocument doc;
  InitDrawing(doc, 700, false);
  const std::string name = std::string("P") + "\x82\x81" + "y" + "\x82\x6B" + "\x81\x7A" + "1";
  Attr a;
  a.penColor = 9;
  int32_t i = AddText(doc, 50, 50, JwwString::Sjis(std::string("\x81\x79\x96\xBC\x81\x7A") + name), a);
  doc.texts[i].textType = 0;
  std::vector<PaperFrame> frames = {Frame(0, 0, 100, 100)};
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 1);
  EXPECT_TRUE(Same(frames[0].sheetNames[0], JwwString::Sjis(name)));
  EXPECT_TRUE(frames[0].sheetLayerLists[0].empty());
}

TEST(SheetNameText, UnicodeNameOutsideTheCodePageIsKeptExactly) {
  JwwDocument doc;
  InitDrawing(doc, 800, true);
  const std::u16string cases[] = {
      u"\U00020BB7",                 // 𠮷, a surrogate pair
      u"A\U0001F600B",               // an emoji between letters
      u"\u00E9t\u00E9",              // é: no Shift_JIS form
      std::u16string(1, u'\xD800') + u"x",  // a lone surrogate stays as it was read
  };
  Attr a;
  a.penColor = 9;
  for (const std::u16string& name : cases) {
    int32_t i = AddText(doc, 50, 50, JwwString::Wide(u"\u3010\u540D\u3011" + name + u"\u3010\uFF2C\u3011A"), a);
    doc.texts[i].textType = 0;
  }
  std::vector<PaperFrame> frames = {Frame(0, 0, 100, 100)};
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 4);
  for (int s = 0; s < 4; ++s) {
    EXPECT_TRUE(Same(frames[0].sheetNames[s], JwwString::Wide(cases[s])));
    EXPECT_TRUE(Same(frames[0].sheetLayerLists[s], JwwString::Wide(u"A")));
  }
}

// --- Repeat numbers ---

struct RepeatCase {
  const char* what;
  std::vector<const char*> texts;  // name texts, all in the first frame, in stored order
  std::vector<const char*> names;  // the sheet names they give
};

TEST_P(SheetNameTest, RepeatedNamesGetTheirCountCaseInsensitively) {
  const RepeatCase cases[] = {
      {"ASCII letters", {"Plan", "plan", "PLAN"}, {"Plan", "plan~1", "PLAN~2"}},
      {"full-width Latin", {"{fa}{fz}", "{FA}{FZ}"}, {"{fa}{fz}", "{FA}{FZ}~1"}},
      {"Greek", {"{alpha}{omega}", "{ALPHA}{OMEGA}"}, {"{alpha}{omega}", "{ALPHA}{OMEGA}~1"}},
      {"Cyrillic on both sides of the gap", {"{zhe}{o}{ya}{yo}", "{ZHE}{O}{YA}{YO}"},
       {"{zhe}{o}{ya}{yo}", "{ZHE}{O}{YA}{YO}~1"}},
      {"full-width and ASCII letters differ", {"a", "{FA}", "{fa}"}, {"a", "{FA}", "{fa}~1"}},
      {"a repeat number is no other name", {"Plan", "Plan", "Plan1"}, {"Plan", "Plan~1", "Plan1"}},
      {"prefixes do not repeat", {"Plan", "Pla", "Plans"}, {"Plan", "Pla", "Plans"}},
      {"the layer part takes no part", {"Plan{L}1", "Plan{L}2", "plan"}, {"Plan", "Plan~1", "plan~2"}},
      {"stored names cut at a whole ~ only", {"{mi}x", "{mi}X"}, {"{mi}x", "{mi}X~1"}},
      {"empty names repeat as well", {"{L}1", "{L}2"}, {"", "~1"}},
  };
  for (const RepeatCase& c : cases) {
    SCOPED_TRACE(c.what);
    InitDrawing(doc, unicode() ? 800 : 700, unicode());
    for (const char* t : c.texts) AddName(50, 50, std::string("{N}") + t);
    CollectSheetNames(frames, doc);
    ASSERT_EQ(frames[0].sheetCount, int32_t(c.names.size()));
    for (size_t s = 0; s < c.names.size(); ++s) EXPECT_TRUE(Same(frames[0].sheetNames[s], S(c.names[s]))) << s;
  }
}

TEST_P(SheetNameTest, RepeatCountRunsAcrossFramesAndPastNine) {
  AddName(50, 50, "{N}Plan");
  AddName(250, 50, "{N}plan");
  AddName(50, 50, "{N}Plan");
  for (int i = 0; i < 10; ++i) AddName(250, 50, "{N}PLAN");
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 2);
  EXPECT_TRUE(Same(frames[0].sheetNames[0], S("Plan")));
  EXPECT_TRUE(Same(frames[0].sheetNames[1], S("Plan~2")));
  ASSERT_EQ(frames[1].sheetCount, 11);
  EXPECT_TRUE(Same(frames[1].sheetNames[0], S("plan~1")));
  EXPECT_TRUE(Same(frames[1].sheetNames[1], S("PLAN~3")));
  EXPECT_TRUE(Same(frames[1].sheetNames[10], S("PLAN~12")));
}

TEST_P(SheetNameTest, UnplacedTextsDoNotCountForRepeats) {
  AddName(0, 50, "{N}Plan");     // on the edge
  AddName(150, 50, "{N}Plan");   // between the frames
  for (int i = 0; i < 16; ++i) AddName(250, 50, "{N}S" + std::to_string(i));
  AddName(250, 50, "{N}Plan");   // seventeenth in its frame
  AddName(50, 50, "{N}plan");
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 1);
  EXPECT_TRUE(Same(frames[0].sheetNames[0], S("plan")));
}

TEST(SheetNameText, UnicodeGreekSigmaFoldsWithFinalSigma) {
  JwwDocument doc;
  InitDrawing(doc, 800, true);
  Attr a;
  a.penColor = 9;
  for (const char16_t* n : {u"\u03C3\u03C2", u"\u03A3\u03A3", u"\u03C2\u03C3"}) {
    int32_t i = AddText(doc, 50, 50, JwwString::Wide(std::u16string(u"\u3010\u540D\u3011") + n), a);
    doc.texts[i].textType = 0;
  }
  std::vector<PaperFrame> frames = {Frame(0, 0, 100, 100)};
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 3);
  EXPECT_TRUE(Same(frames[0].sheetNames[1], JwwString::Wide(u"\u03A3\u03A3~1")));
  EXPECT_TRUE(Same(frames[0].sheetNames[2], JwwString::Wide(u"\u03C2\u03C3~2")));
}

// --- Placement ---

struct PlaceCase {
  const char* what;
  double x, y;
  int frame;  // -1: names nothing
};

TEST_P(SheetNameTest, StartPointMustLieStrictlyInsideAFrame) {
  const PlaceCase cases[] = {
      {"inside the first", 50, 50, 0},
      {"inside the second", 250, 99, 1},
      {"on the left edge", 0, 50, -1},
      {"on the top edge", 50, 100, -1},
      {"on a corner", 300, 0, -1},
      {"1e-13 inside an edge", 100 - 1e-13, 50, -1},
      {"just over 1e-12 inside", 100 - 1e-9, 50, 0},
      {"between the frames", 150, 50, -1},
      {"outside every frame", 50, 500, -1},
  };
  for (const PlaceCase& c : cases) {
    SCOPED_TRACE(c.what);
    InitDrawing(doc, unicode() ? 800 : 700, unicode());
    AddName(c.x, c.y, "{N}Plan");
    CollectSheetNames(frames, doc);
    for (int f = 0; f < 2; ++f) {
      if (f != c.frame) {
        EXPECT_TRUE(HasDefaultSheet(frames[f])) << f;
        continue;
      }
      ASSERT_EQ(frames[f].sheetCount, 1);
      EXPECT_TRUE(Same(frames[f].sheetNames[0], S("Plan")));
    }
  }
}

TEST_P(SheetNameTest, OnlyTheStartPointPlacesTheText) {
  AddName(-40, 50, "{N}LongNameReachingIn");  // its baseline ends well inside the first frame
  ASSERT_GT(doc.texts[0].endX, 10.0);
  CollectSheetNames(frames, doc);
  EXPECT_TRUE(HasDefaultSheet(frames[0]));
}

TEST_P(SheetNameTest, OverlappingFramesTakeTheFirstInNumberingOrder) {
  frames = {Frame(0, 0, 100, 100), Frame(50, 50, 200, 200)};
  AddName(75, 75, "{N}Both");
  AddName(150, 150, "{N}Second");
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 1);
  EXPECT_TRUE(Same(frames[0].sheetNames[0], S("Both")));
  ASSERT_EQ(frames[1].sheetCount, 1);
  EXPECT_TRUE(Same(frames[1].sheetNames[0], S("Second")));
}

TEST_P(SheetNameTest, SixteenSheetsPerFrameInStoredOrder) {
  for (int i = 0; i < 17; ++i) AddName(50, 10 + i, "{N}S" + std::to_string(i), uint16_t(i % 16));
  AddName(250, 50, "{N}Other");
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 16);
  for (int s = 0; s < 16; ++s) {
    EXPECT_TRUE(Same(frames[0].sheetNames[s], S("S" + std::to_string(s)))) << s;
    EXPECT_EQ(frames[0].sheetLayerGroups[s], s % 16) << s;
  }
  ASSERT_EQ(frames[1].sheetCount, 1);
  EXPECT_TRUE(Same(frames[1].sheetNames[0], S("Other")));
}

TEST_P(SheetNameTest, EachSheetKeepsItsOwnTextsLayerGroup) {
  AddName(50, 50, "{N}A{L}1", 3);
  AddName(50, 50, "{N}B", 7);
  AddName(50, 50, "{N}C{L}F", 15);
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 3);
  EXPECT_EQ(frames[0].sheetLayerGroups[0], 3);
  EXPECT_EQ(frames[0].sheetLayerGroups[1], 7);
  EXPECT_EQ(frames[0].sheetLayerGroups[2], 15);
  EXPECT_TRUE(Same(frames[0].sheetLayerLists[0], S("1")));
  EXPECT_TRUE(Same(frames[0].sheetLayerLists[1], S("")));
  EXPECT_TRUE(Same(frames[0].sheetLayerLists[2], S("F")));
  for (int s = 3; s < kMaxSheetsPerFrame; ++s) {
    EXPECT_TRUE(frames[0].sheetNames[s].empty());
    EXPECT_EQ(frames[0].sheetLayerGroups[s], -1);
  }
}

TEST_P(SheetNameTest, EarlierSheetFieldsAreResetAndTheCallRepeats) {
  for (PaperFrame& f : frames) {
    f.sheetCount = 9;
    for (int s = 0; s < kMaxSheetsPerFrame; ++s) {
      f.sheetNames.Set(s, S("old"));
      f.sheetLayerGroups[s] = 4;
      f.sheetLayerLists.Set(s, S("12"));
    }
  }
  AddName(250, 50, "{N}Plan");
  CollectSheetNames(frames, doc);
  CollectSheetNames(frames, doc);  // a second run must not see the first run's names
  EXPECT_TRUE(HasDefaultSheet(frames[0]));
  ASSERT_EQ(frames[1].sheetCount, 1);
  EXPECT_TRUE(Same(frames[1].sheetNames[0], S("Plan")));
  for (int s = 1; s < kMaxSheetsPerFrame; ++s) {
    EXPECT_TRUE(frames[1].sheetNames[s].empty());
    EXPECT_EQ(frames[1].sheetLayerGroups[s], -1);
    EXPECT_TRUE(frames[1].sheetLayerLists[s].empty());
  }
}

TEST_P(SheetNameTest, TextsInsideBlockDefinitionsAreNotRead) {
  EntityLists& def = AddBlockDef(doc, 1, S("blk"));
  Attr a;
  a.penColor = 9;
  int32_t i = AddText(def, 50, 50, S("{N}Inner"), a);
  def.texts[i].textType = 0;
  CollectSheetNames(frames, doc);
  EXPECT_TRUE(HasDefaultSheet(frames[0]));
}

TEST_P(SheetNameTest, NoFramesIsHarmless) {
  frames.clear();
  AddName(50, 50, "{N}Plan");
  CollectSheetNames(frames, doc);
  EXPECT_TRUE(frames.empty());
}

// --- The sheet layer restriction ---

struct MaskCase {
  const char* list;
  uint16_t mask;
};

TEST_P(SheetNameTest, LayerMaskTakesWholeUpperCaseHexDigits) {
  const MaskCase cases[] = {
      {"0A", 0x0401},
      {"0a", 0x0001},
      {"01A", 0x0403},
      {"", 0},
      {"0123456789ABCDEF", 0xFFFF},
      {"F", 0x8000},
      {"AA", 0x0400},
      {"G9", 0x0200},
      {"abcdef", 0},
      {"{FA}{fa}", 0},      // full-width A is not the digit A
      {"{akana}", 0},       // Shift_JIS trail byte "A" is not a character
      {"0{L}1", 0x0003},
      {"\t1", 0x0002},
  };
  for (const MaskCase& c : cases) {
    SCOPED_TRACE(c.list);
    PaperFrame f = Frame(0, 0, 100, 100);
    f.sheetLayerGroups[2] = 5;
    f.sheetLayerLists.Set(2, S(c.list));
    EXPECT_EQ(LayerMask(f, 2), c.mask);
    EXPECT_EQ(LayerMask(f, 0), 0);
  }
}

struct AppliesCase {
  const char* list;
  int32_t group;
  bool applies;
};

TEST_P(SheetNameTest, RestrictionNeedsAListAndAGroup) {
  const AppliesCase cases[] = {
      {"0A", 2, true}, {"0A", 0, true}, {"", 2, false}, {"0A", -1, false}, {"a", 2, true}, {"{IS}", 2, true},
  };
  for (const AppliesCase& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " group " + std::to_string(c.group));
    PaperFrame f = Frame(0, 0, 100, 100);
    f.sheetLayerGroups[1] = c.group;
    f.sheetLayerLists.Set(1, S(c.list));
    EXPECT_EQ(LayerRestrictionApplies(f, 1), c.applies);
    EXPECT_FALSE(LayerRestrictionApplies(f, 0));
    EXPECT_EQ(MakeSheetLayerFilter(f, 1).applies, c.applies);
  }
}

struct PassCase {
  const char* list;
  int32_t group;
  std::vector<int> layers;  // the layers of that group that pass; no other pair does
};

TEST_P(SheetNameTest, OnlyListedLayersOfTheSheetsGroupPass) {
  const PassCase cases[] = {
      {"0A", 2, {0, 10}},
      {"0a", 2, {0}},
      {"a", 2, {}},
      {"01A", 3, {0, 1, 10}},
      {"F", 15, {15}},
      {"0123456789ABCDEF", 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
  };
  for (const PassCase& c : cases) {
    SCOPED_TRACE(c.list);
    PaperFrame f = Frame(0, 0, 100, 100);
    f.sheetLayerGroups[3] = c.group;
    f.sheetLayerLists.Set(3, S(c.list));
    const SheetLayerFilter filter = MakeSheetLayerFilter(f, 3);
    for (uint16_t g = 0; g < 16; ++g) {
      for (uint16_t n = 0; n < 18; ++n) {
        bool listed = false;
        for (int l : c.layers) listed = listed || l == n;
        const bool expected = int32_t(g) == c.group && listed;
        EXPECT_EQ(filter.Passes(g, n), expected) << "group " << g << " layer " << n;
        EXPECT_EQ(filter.Keeps(g, n), expected) << "group " << g << " layer " << n;
      }
    }
  }
}

TEST_P(SheetNameTest, UnrestrictedSheetKeepsEverything) {
  PaperFrame f = Frame(0, 0, 100, 100);
  f.sheetLayerGroups[0] = 2;  // a group without a list does not restrict
  f.sheetLayerLists.Set(1, S("0A"));  // nor a list without a group
  for (int sheet : {0, 1, 2, -1, 16}) {
    SCOPED_TRACE(sheet);
    const SheetLayerFilter filter = MakeSheetLayerFilter(f, sheet);
    EXPECT_FALSE(filter.applies);
    for (uint16_t g = 0; g < 16; ++g)
      for (uint16_t n = 0; n < 16; ++n) EXPECT_TRUE(filter.Keeps(g, n));
  }
  EXPECT_EQ(LayerMask(f, -1), 0);
  EXPECT_EQ(LayerMask(f, 16), 0);
  EXPECT_FALSE(LayerPasses(f, 16, 0, 0));
}

TEST_P(SheetNameTest, CollectedLayerPartDrivesTheRestriction) {
  AddName(50, 50, "{N}Plan{L}01A", 3);
  AddName(50, 50, "{N}Free{L}", 3);
  AddName(50, 50, "{N}{L}2", 6);
  CollectSheetNames(frames, doc);
  ASSERT_EQ(frames[0].sheetCount, 3);

  EXPECT_TRUE(Same(frames[0].sheetNames[0], S("Plan")));
  EXPECT_TRUE(LayerRestrictionApplies(frames[0], 0));
  EXPECT_TRUE(LayerPasses(frames[0], 0, 3, 0));
  EXPECT_TRUE(LayerPasses(frames[0], 0, 3, 1));
  EXPECT_TRUE(LayerPasses(frames[0], 0, 3, 10));
  EXPECT_FALSE(LayerPasses(frames[0], 0, 3, 2));
  EXPECT_FALSE(LayerPasses(frames[0], 0, 2, 0));

  EXPECT_TRUE(Same(frames[0].sheetNames[1], S("Free")));
  EXPECT_FALSE(LayerRestrictionApplies(frames[0], 1));

  EXPECT_TRUE(frames[0].sheetNames[2].empty());
  EXPECT_TRUE(LayerRestrictionApplies(frames[0], 2));
  EXPECT_TRUE(LayerPasses(frames[0], 2, 6, 2));
  EXPECT_FALSE(LayerPasses(frames[0], 2, 6, 3));
}

}  // namespace
}  // namespace kelvane

#include <limits>
#include <random>

#include "tests/reference/reference.h"

namespace kelvane {
namespace {

// Each name text goes to the first frame holding its start point, as trying every frame finds,
// whatever the coordinates; texts outside every frame cost no more than texts inside.
TEST(SheetNamePlacement, FirstFrameHoldingTheStartPointWhateverTheCoordinates) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const double odd[] = {nan, inf, -inf, 1e308, -1e308, 50.0, 120.0, 0.0};
  std::mt19937 rng(3);
  auto v = [&] { return rng() % 3 == 0 ? odd[rng() % std::size(odd)] : double(int(rng() % 300) - 50); };
  for (int round = 0; round < 30; ++round) {
    std::vector<PaperFrame> frames(6);
    for (PaperFrame& f : frames) {
      const double x = double(int(rng() % 200)), y = double(int(rng() % 200));
      f.minX = x, f.minY = y, f.maxX = x + 10 + double(rng() % 150), f.maxY = y + 10 + double(rng() % 150);
    }
    if (round % 3 == 0) frames[2].minX = nan;
    JwwDocument doc;
    InitDrawing(doc, 600, false);
    Attr aux;
    aux.penColor = 9;
    std::vector<int> expected(frames.size(), 0);
    for (int t = 0; t < 200; ++t) {
      const double x = v(), y = v();
      const int32_t i = AddText(doc, x, y, JwwString::Sjis("\x81\x79\x96\xBC\x81\x7A" "n" + std::to_string(t)), aux);
      doc.texts[size_t(i)].textType = 0;
      const int32_t j = FrameOfPointReference(frames, x, y);
      if (j >= 0) ++expected[size_t(j)];
    }
    CollectSheetNames(frames, doc);
    for (size_t j = 0; j < frames.size(); ++j)
      EXPECT_EQ(frames[j].sheetCount, std::clamp(expected[j], 1, kMaxSheetsPerFrame)) << round << "/" << j;
  }
  // 20,000 frames and 50,000 name texts in the gaps between them: a search of every frame for
  // every text would take 10^9 steps.
  std::vector<PaperFrame> many(20000);
  for (size_t f = 0; f < many.size(); ++f) {
    many[f].minX = double(f % 100) * 450, many[f].maxX = many[f].minX + 420;
    many[f].minY = double(f / 100) * -350, many[f].maxY = many[f].minY + 297;
  }
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  Attr aux;
  aux.penColor = 9;
  for (int t = 0; t < 50000; ++t) {
    const int32_t i = AddText(doc, double(t % 100) * 450 + 10, double((t / 100) % 200) * -350 - 20,
                              JwwString::Sjis("\x81\x79\x96\xBC\x81\x7A" "x"), aux);
    doc.texts[size_t(i)].textType = 0;
  }
  CollectSheetNames(many, doc);
  for (const PaperFrame& f : many) ASSERT_TRUE(f.sheetCount == 1 && f.sheetNames[0].empty());
}

}  // namespace
}  // namespace kelvane
