// Characters of JWW strings in either stored form, and UTF-8/UTF-16 conversion.
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
  if (code >= 0x10000) {
    code -= 0x10000;
    s.wide.push_back(char16_t(0xD800 + (code >> 10)));
    s.wide.push_back(char16_t(0xDC00 + (code & 0x3FF)));
  } else {
    s.wide.push_back(char16_t(code));
  }
}

std::string Utf16ToUtf8(std::u16string_view units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(char(0xE0 | (c >> 12)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (c >> 18)));
      out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    uint32_t c;
    size_t n;
    if (b < 0x80) {
      c = b, n = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, n = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, n = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, n = 4;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (i + n > utf8.size()) {
      out.push_back(0xFFFD);
      break;
    }
    bool bad = false;
    for (size_t k = 1; k < n; ++k) {
      unsigned char t = static_cast<unsigned char>(utf8[i + k]);
      if ((t & 0xC0) != 0x80) bad = true;
      c = (c << 6) | (t & 0x3F);
    }
    i += bad ? 1 : n;
    if (bad) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(char16_t(0xD800 + (c >> 10)));
      out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(char16_t(c));
    }
  }
  return out;
}

}  // namespace kelvane
