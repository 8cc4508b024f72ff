// Text and number helpers: parsers with their failure values, filters, and byte-exact copies.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "text/filters.h"
#include "text/numbers.h"

using namespace kelvane;

namespace {

const std::string kIdeographicSpace = "\x81\x40";
const std::string kFullWidthOne = "\x82\x50";

TEST(TextToBool, AcceptsTheTenTrueWordsAfterBlanksAndCase) {
  struct Case {
    std::string text;
    bool expected;
  } cases[] = {
      {"  true ", true},       {"t r u e", true},  {"TRUE" + kIdeographicSpace, true},
      {"on", true},            {"T", true},        {"tru", true},
      {kFullWidthOne, true},   {"\x81\x9B", true}, {"\x90\x5E", true},
      {"\x90\xB3", true},      {"1", true},        {"yes", false},
      {"F", false},            {"0", false},       {"", false},
      {"truex", false},        {"11", false},      {"\tON\r\n", true},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToBool(c.text), c.expected) << "[" << c.text << "]";
  EXPECT_EQ(BoolToText(true), "1");
  EXPECT_EQ(BoolToText(false), "0");
}

TEST(TextToInt, ReadsDecimalAndHexAndGivesZeroOtherwise) {
  struct Case {
    std::string text;
    int32_t expected;
  } cases[] = {
      {"42", 42},         {" 42", 42},          {"42 ", 0},          {"$1F", 31},   {"0x10", 16},
      {"X10", 16},        {"-7", -7},           {"+7", 7},           {"2147483647", 2147483647},
      {"2147483648", 0},  {"-2147483648", INT32_MIN},                {"abc", 0},    {"", 0},
      {"-", 0},           {"$", 0},             {"12a", 0},          {"0x", 0},     {"99999999999999999999", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToInt(c.text), c.expected) << "[" << c.text << "]";
}

TEST(TextToReal, ReadsPointDecimalsOnly) {
  struct Case {
    std::string text;
    double expected;
  } cases[] = {
      {"2.5", 2.5}, {"1E2", 100}, {"2,5", 0}, {" 3", 3}, {"", 0}, {"-0.25", -0.25},
      {"1e-3", 0.001}, {".5", 0.5}, {"5.", 5}, {"e5", 0}, {"1e", 0}, {"1.5 ", 0}, {"abc", 0},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(TextToReal(c.text), c.expected) << "[" << c.text << "]";
}

TEST(MbcsCopy, TakesOnlyWholeCharactersInsideTheWindow) {
  const std::string text = "ab\x82\xA0\x82\xA2";  // a, b, two double-byte characters
  EXPECT_EQ(MbcsCopy(text, 1, 5), "ab\x82\xA0");
  EXPECT_EQ(MbcsCopy(text, 1, 4), "ab\x82\xA0");
  EXPECT_EQ(MbcsCopy(text, 1, 3), "ab");
  EXPECT_EQ(MbcsCopy(text, 4, 3), "\x82\xA2");  // the first one starts before the window
  EXPECT_EQ(MbcsCopy("abc", 2, 2), "bc");
  EXPECT_EQ(MbcsCopy("abc", 2, 9), "bc");
  EXPECT_EQ(MbcsCopy("abc", 0, 2), "");
  EXPECT_EQ(MbcsCopy("abc", 4, 2), "");
  EXPECT_EQ(MbcsCopy("abc", 1, 0), "");
  EXPECT_EQ(MbcsCopy("", 1, 3), "");
  // A separator of 9 bytes whose eighth byte starts a double-byte character keeps 7 bytes.
  EXPECT_EQ(MbcsCopy("abcdefg\x82\xA0", 1, 8), "abcdefg");
  EXPECT_EQ(MbcsCopy("\x82\xA0\x82\xA2\x82\xA4xyz", 1, 8), "\x82\xA0\x82\xA2\x82\xA4xy");
}

TEST(Filters, WriteFilterDropsCaretMAndControlsAndKeepsEmpty) {
  EXPECT_EQ(FilterTextForWrite("a^mb"), "ab");
  EXPECT_EQ(FilterTextForWrite("a^Mb"), "a^Mb");
  EXPECT_EQ(FilterTextForWrite("\t"), " ");
  EXPECT_EQ(FilterTextForWrite(""), "");
  EXPECT_EQ(FilterTextForWrite("^m"), " ");
  // The second byte of a double-byte character is never taken for "^" or a control.
  EXPECT_EQ(FilterTextForWrite("\x81^m"), "\x81^m");
  EXPECT_EQ(FilterTextForWrite("x\x82"), "x\x82");
}

TEST(Filters, ReadFilterDropsControlsAndALoneLeadByte) {
  EXPECT_EQ(FilterTextForRead("A\tB"), "AB");
  EXPECT_EQ(FilterTextForRead("A\x82"), "A");
  EXPECT_EQ(FilterTextForRead("\x82\xA0"), "\x82\xA0");
  EXPECT_EQ(FilterTextForRead("\x95\x5C"), "\x95\x5C");  // second byte is the backslash code
  EXPECT_EQ(FilterTextForRead("\x82\x09"), "\x82\x09");  // a second byte is never dropped
  EXPECT_EQ(FilterTextForRead(""), "");
}

TEST(Filters, UnicodeStringsFollowTheSameRulesPerCharacter) {
  JwwString w = JwwString::Wide(u"a^m\u00e9\t\U0001F600b");
  EXPECT_EQ(FilterTextForWrite(w).wide, u"a\u00e9\U0001F600b");
  EXPECT_EQ(FilterTextForRead(w).wide, u"a^m\u00e9\U0001F600b");
  EXPECT_TRUE(FilterTextForWrite(w).unicode);
  EXPECT_EQ(FilterTextForWrite(JwwString::Wide(u"\r\n")).wide, u" ");
  EXPECT_TRUE(FilterTextForWrite(JwwString::Wide(u"")).empty());
  EXPECT_EQ(RemoveBlanks(JwwString::Wide(u" a\u3000b\t")).wide, u"ab");
}

// The quick "would it change" answers against the filters themselves: every short string over
// the bytes that matter, and longer ones with such bytes at every position of the word scan.
TEST(Filters, ChangedAnswersAgreeWithTheFiltersOverManyStrings) {
  const unsigned char kBytes[] = {0x00, 0x09, 0x1F, 0x20, '^', 'm', 'M', 'a', 0x40, 0x5E, 0x6D, 0x7F,
                                  0x80, 0x81, 0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD, 0xFE, 0xFF};
  const char16_t kUnits[] = {0x0000, 0x0009, 0x001F, 0x0020, u'^', u'm', u'a', 0x005F, 0x205E, 0x5E00,
                             0x3000, 0x801F, 0x8000, 0xD800, 0xDC00, 0xFFFF};
  auto check = [](const JwwString& s) {
    ASSERT_EQ(ChangedByReadFilter(s), !(FilterTextForRead(s) == s)) << (s.unicode ? "wide " : "") << s.size();
    ASSERT_EQ(ChangedByWriteFilter(s), !(FilterTextForWrite(s) == s)) << (s.unicode ? "wide " : "") << s.size();
  };
  const size_t nb = sizeof kBytes, nu = sizeof kUnits / sizeof kUnits[0];
  for (size_t len = 0; len <= 3; ++len) {
    size_t total = 1;
    for (size_t k = 0; k < len; ++k) total *= nb;
    for (size_t code = 0; code < total; ++code) {
      std::string t;
      for (size_t k = 0, c = code; k < len; ++k, c /= nb) t.push_back(char(kBytes[c % nb]));
      check(JwwString::Sjis(t));
    }
    total = 1;
    for (size_t k = 0; k < len; ++k) total *= nu;
    for (size_t code = 0; code < total; ++code) {
      std::u16string w;
      for (size_t k = 0, c = code; k < len; ++k, c /= nu) w.push_back(kUnits[c % nu]);
      check(JwwString::Wide(w));
    }
  }
  // Plain texts of every length up to 40, each with one or two of the bytes that matter put in.
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };
  const std::string plain = "text 12 ABC \x82\xA0\x82\xA2 xyz-0123456789 \x83\x53\x83\x56 more words";
  for (size_t len = 0; len <= 40; ++len) {
    for (int round = 0; round < 400; ++round) {
      std::string t = plain.substr(next() % (plain.size() - len + 1), len);
      std::u16string w(t.begin(), t.end());
      const int changes = round == 0 ? 0 : 1 + int(next() % 2);
      for (int k = 0; k < changes && len > 0; ++k) {
        t[next() % len] = char(kBytes[next() % nb]);
        w[next() % len] = kUnits[next() % nu];
      }
      check(JwwString::Sjis(t));
      check(JwwString::Wide(w));
    }
  }
}

TEST(RemoveBlanks, DropsBlanksControlsAndIdeographicSpaces) {
  EXPECT_EQ(RemoveBlanks(" a" + kIdeographicSpace + "b\t"), "ab");
  EXPECT_EQ(RemoveBlanks("\x82\x20"), "\x82\x20");  // a blank as second byte stays
  EXPECT_EQ(RemoveBlanks(""), "");
}

TEST(Buffers, CopyTouchesOnlyItsBytes) {
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  CopyToBuffer(buf, "hello", 8);
  EXPECT_EQ(std::string(buf, 8), "hello###");
  std::memset(buf, '#', sizeof buf);
  CopyToBuffer(buf, "hello", -3);
  EXPECT_EQ(std::string(buf, 8), "hel#####");
  double a = 1.5, b = -0.0;
  SwapReals(a, b);
  EXPECT_TRUE(std::signbit(a) && a == 0.0);
  EXPECT_EQ(b, 1.5);
}

TEST(JwwChars, WalksBothFormsByCharacter) {
  JwwString s = JwwString::Sjis("a\x82\xA0");
  EXPECT_EQ(CharAt(s, 0).code, uint32_t('a'));
  EXPECT_EQ(CharAt(s, 1).code, 0x82A0u);
  EXPECT_EQ(CharAt(s, 1).width, 2u);
  JwwString w = JwwString::Wide(u"\U0001F600x");
  EXPECT_EQ(CharAt(w, 0).code, 0x1F600u);
  EXPECT_EQ(CharAt(w, 0).width, 2u);
  JwwString rebuilt = JwwString::Wide(u"");
  AppendChar(rebuilt, 0x1F600);
  AppendChar(rebuilt, 'x');
  EXPECT_EQ(rebuilt, w);
}

}  // namespace

// The formatter for C++ libraries without std::to_chars for reals writes what it writes, byte for
// byte, so that DXF and option texts do not depend on the library the program was built with.
TEST(NumbersTest, PortableShortestRealMatchesToChars) {
  auto expect = [](double v) {
    char want[40], got[40];
    const std::string_view a(want, size_t(std::to_chars(want, want + sizeof want, v).ptr - want));
    const std::string_view b(got, size_t(ShortestRealPortable(got, v) - got));
    EXPECT_EQ(a, b) << std::hexfloat << v;
    const std::string_view c(got, size_t(ShortestReal(got, v) - got));
    EXPECT_EQ(a, c);
  };
  for (double v : {0.0, -0.0, 1.0, -1.0, 0.1, 0.001, 1e-4, 123456.0, 100000.0, 1e15, 1e16, 1e17, 1e20, 1e21, 1e22,
                   1e23, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, 9007199254740993.0, 0.3,
                   2.0 / 3.0, 1.0 / 3.0, 1234.5678, -0.000123, 8.41e21, 5e-5, std::ldexp(1.0, 60), std::ldexp(1.0, -60),
                   std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
    expect(v);
  // Every exponent, powers of two (lopsided rounding intervals) and random bit patterns.
  for (int e = -1074; e <= 1023 && !HasFailure(); ++e) expect(std::ldexp(1.0, e));
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 15000 && !HasFailure(); ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    double v;
    std::memcpy(&v, &state, sizeof v);
    if (std::isfinite(v)) expect(v);
    expect(double(int64_t(state % 2000000001) - 1000000000) / 10000.0 * 3.7);
  }
  char buf[40];
  EXPECT_EQ(GeneralReal15(0.1), std::string(buf, std::to_chars(buf, buf + 40, 0.1, std::chars_format::general, 15).ptr));
  EXPECT_EQ(GeneralReal15(12.5), "12.5");
  EXPECT_EQ(GeneralReal15(1e20), "1e+20");
  EXPECT_EQ(GeneralReal15(2.0 / 3.0), "0.666666666666667");
}
