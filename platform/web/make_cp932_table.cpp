// Writes cp932_table.inc: code page 932 as the C library of the Linux build converts it (glibc's
// iconv), for the browser build, whose C library has no such table. Every byte and byte pair
// decoded, every code point encoded; the encoding is kept as the exceptions to the decoding's
// first match.  Usage: kelvane_cp932_table > platform/web/cp932_table.inc
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "platform/text_conversion.h"

using namespace kelvane;

namespace {

// The one code point of UTF-8 text, or -1 when the text is not exactly one.
long OneCodePoint(const std::string& s) {
  if (s.empty()) return -1;
  const unsigned char c = static_cast<unsigned char>(s[0]);
  const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (s.size() != n) return -1;
  long cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
  for (size_t i = 1; i < n; ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  return cp;
}

// The code point a sequence decodes to, or 0xFFFF when it does not decode to one.
unsigned Decode(const std::string& bytes) {
  const std::string utf8 = SjisToUtf8(bytes, UnreadableSjis::kSkipByte);
  const long cp = OneCodePoint(utf8);
  if (cp < 0 || cp > 0xFFFE || (cp == '?' && bytes != "?")) return 0xFFFF;
  return unsigned(cp);
}

}  // namespace

int main() {
  std::printf("// Made by platform/web/make_cp932_table.cpp from glibc's CP932 converter; do not edit.\n");
  std::map<unsigned, unsigned> first;  // code point -> the first byte sequence decoding to it
  std::printf("// Each byte alone: four hexadecimal digits of its code point, FFFF for none.\n");
  std::printf("constexpr char kCp932Singles[] =");
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned cp = Decode(std::string(1, char(b)));
    if (cp != 0xFFFF) first.emplace(cp, b);
    std::printf("%s%04X%s", b % 64 == 0 ? "\n    \"" : "", cp, b % 64 == 63 ? "\"" : "");
  }
  std::printf(";\n// Lead bytes 80 to FF, each with trail bytes 40 to FC, the same way.\n");
  std::printf("constexpr char kCp932Pairs[] =");
  int column = 0;
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead)
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string bytes{char(lead), char(trail)};
      // A pair only when the lead byte does not decode alone.
      const unsigned cp = Decode(std::string(1, char(lead))) == 0xFFFF ? Decode(bytes) : 0xFFFF;
      if (cp != 0xFFFF) first.emplace(cp, lead << 8 | trail);
      std::printf("%s%04X%s", column % 63 == 0 ? "\n    \"" : "", cp, column % 63 == 62 ? "\"" : "");
      ++column;
    }
  if (column % 63 != 0) std::printf("\"");
  std::printf(";\n// Code points that encode otherwise than to the first sequence decoding to them (0: not at\n"
              "// all, FFFFFFFF: to nothing).\nconstexpr uint32_t kCp932Encodings[][2] = {");
  int exceptions = 0;
  for (unsigned cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::string sjis = Utf8ToSjis(CodePointToUtf8(char32_t(cp)));
    unsigned code = 0;
    if (sjis.empty()) code = 0xFFFFFFFF;  // dropped without a trace (the tag characters)
    else if (sjis.size() == 1 && !(sjis == "?" && cp != '?')) code = static_cast<unsigned char>(sjis[0]);
    else if (sjis.size() == 2) code = unsigned(static_cast<unsigned char>(sjis[0])) << 8 | static_cast<unsigned char>(sjis[1]);
    auto it = first.find(cp);
    const unsigned expected = it == first.end() ? 0 : it->second;
    if (code != expected) std::printf("%s{0x%X, 0x%X},", exceptions++ % 6 == 0 ? "\n    " : " ", cp, code);
  }
  std::printf("\n};\n");
  return 0;
}
