// Characters of JWW strings in either stored form.
#include "text/jwwstring.h"

namespace kelvane {

JwwString JwwString::Ascii(std::string_view ascii, bool unicode) {
  if (!unicode) return Sjis(std::string(ascii));
  std::u16string w(ascii.begin(), ascii.end());
  return Wide(std::move(w));
}

JwwChar CharAt(const JwwString& s, size_t pos) {
  if (!s.unicode) {
    unsigned char b = static_cast<unsigned char>(s.sjis[pos]);
    if (IsLeadByte(b) && pos + 1 < s.sjis.size())
      return {uint32_t(b) << 8 | static_cast<unsigned char>(s.sjis[pos + 1]), 2};
    return {b, 1};
  }
  char16_t c = s.wide[pos];
  if (c >= 0xD800 && c <= 0xDBFF && pos + 1 < s.wide.size()) {
    char16_t d = s.wide[pos + 1];
    if (d >= 0xDC00 && d <= 0xDFFF) return {0x10000 + ((uint32_t(c) - 0xD800) << 10) + (d - 0xDC00), 2};
  }
  return {c, 1};
}

void AppendChar(JwwString& s, uint32_t code) {
  if (!s.unicode) {
    if (code > 0xFF) s.sjis.push_back(char(code >> 8));
    s.sjis.push_back(char(code & 0xFF));
    return;
  }
  AppendUtf16(s.wide, code);
}

}  // namespace kelvane
