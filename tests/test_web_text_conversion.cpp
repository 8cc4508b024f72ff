// The browser build's code page 932 (platform/web/text_conversion.cpp, over a table) converts as
// glibc's iconv does through platform/posix/: every byte, every pair, every code point, and broken
// input resumed at the same place.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <random>
#include <string>

#include "platform/text_conversion.h"

using namespace kelvane;

namespace {

size_t SjisCharLength(std::string_view s, size_t p) {
  unsigned char b = static_cast<unsigned char>(s[p]);
  bool lead = (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD);
  return lead && p + 1 < s.size() ? 2 : 1;
}
size_t Utf8CharLength(std::string_view s, size_t p) {
  size_t n = 1;
  while (p + n < s.size() && (static_cast<unsigned char>(s[p + n]) & 0xC0) == 0x80) ++n;
  return n;
}

// What the POSIX build answers: iconv, "?" for what it cannot convert, resuming after `skip`.
std::string Iconv(const char* to, const char* from, std::string_view in, size_t (*skip)(std::string_view, size_t)) {
  iconv_t cd = iconv_open(to, from);
  std::string out;
  size_t p = 0;
  while (p < in.size()) {
    char* src = const_cast<char*>(in.data() + p);
    size_t left = in.size() - p;
    char buffer[256];
    char* dst = buffer;
    size_t room = sizeof buffer;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buffer, size_t(dst - buffer));
    p = in.size() - left;
    if (r == size_t(-1) && errno != E2BIG) {
      out += '?';
      p += skip(in, p);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}
std::string GlibcToUtf8(std::string_view s) { return Iconv("UTF-8", "CP932", s, SjisCharLength); }
std::string GlibcToSjis(std::string_view s) { return Iconv("CP932", "UTF-8", s, Utf8CharLength); }

TEST(WebTextConversion, EveryByteAndPairDecodesAsGlibcDoes) {
  for (unsigned b = 0; b < 256; ++b) {
    const std::string one(1, char(b));
    ASSERT_EQ(SjisToUtf8(one), GlibcToUtf8(one)) << b;
    for (unsigned t = 0; t < 256; ++t) {
      const std::string two{char(b), char(t)};
      ASSERT_EQ(SjisToUtf8(two), GlibcToUtf8(two)) << b << " " << t;
    }
  }
}

TEST(WebTextConversion, EveryCodePointEncodesAsGlibcDoes) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::string utf8 = CodePointToUtf8(cp);
    ASSERT_EQ(Utf8ToSjis(utf8), GlibcToSjis(utf8)) << std::hex << unsigned(cp);
  }
}

TEST(WebTextConversion, BrokenInputResumesWhereGlibcDoes) {
  std::mt19937 rng(34);
  const std::string sample = "\x82\xa0\x87\x40\xfa\x40\x81\x5c\\~\xa5\xfd\x80\xa0\xff";
  for (int i = 0; i < 20000; ++i) {
    std::string s;
    const int n = int(rng() % 12);
    for (int k = 0; k < n; ++k) s += rng() % 3 ? sample[rng() % sample.size()] : char(rng() % 256);
    ASSERT_EQ(SjisToUtf8(s), GlibcToUtf8(s));
    ASSERT_EQ(Utf8ToSjis(s), GlibcToSjis(s));
  }
}

}  // namespace
