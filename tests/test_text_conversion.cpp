// Text conversion: Shift_JIS, UTF-8 and UTF-16 both ways, and what broken input turns into.
#include <gtest/gtest.h>

#include "platform/text_conversion.h"

namespace kelvane {
namespace {

TEST(TextConversion, ShiftJisAndUtf8BothWays) {
  EXPECT_EQ(SjisToUtf8("\x95\x5C\x8E\xA6"), "表示");
  EXPECT_EQ(Utf8ToSjis("表示"), "\x95\x5C\x8E\xA6");
  EXPECT_EQ(SjisToUtf8("a\xB1"), "a\uFF71");  // half-width katakana
  EXPECT_EQ(SjisToUtf8(""), "");
  // A character without a code in 932, or a broken UTF-8 byte, becomes one "?".
  EXPECT_EQ(Utf8ToSjis("a\u00FCb"), "a?b");
  EXPECT_EQ(Utf8ToSjis("a\xFF" "b"), "a?b");
  EXPECT_EQ(SjisToPath("\x90\x7D\x96\xCA/a.jww").native(), "図面/a.jww");
  EXPECT_EQ(PathToSjis("図面/a.jww"), "\x90\x7D\x96\xCA/a.jww");
}

// The status texts skip a broken character whole; the cairo backend's glyphs and font names
// resume at the next byte. Either way a picture or a message must not change.
TEST(TextConversion, BrokenShiftJisSkipsTheCharacterOrOneByteAsAsked) {
  EXPECT_EQ(SjisToUtf8("\x81\x20x"), "?x");
  EXPECT_EQ(SjisToUtf8("\x81\x20x", UnreadableSjis::kSkipByte), "? x");
  EXPECT_EQ(SjisToUtf8("a\x81"), "a?");  // a lead byte at the end
  EXPECT_EQ(SjisToUtf8("a\x81", UnreadableSjis::kSkipByte), "a?");
}

TEST(TextConversion, Utf16AndUtf8WithLoneSurrogatesAndBrokenSequences) {
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(u"日本\U0001F600")), u"日本\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"a\xD800" "b"), "a\uFFFDb");
  EXPECT_EQ(Utf16ToUtf8(u"a\xDC00"), "a\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("a\xE8\xA1"), u"a\uFFFD");  // cut short at the end
  EXPECT_EQ(Utf8ToUtf16("\xE8" "ab"), u"\uFFFD" "ab");  // broken inside: reading goes on
  EXPECT_EQ(CodePointToUtf8(U'\U0001F600'), "\xF0\x9F\x98\x80");
  EXPECT_EQ(CodePointToUtf8(U'表'), "\xE8\xA1\xA8");
}

}  // namespace
}  // namespace kelvane
