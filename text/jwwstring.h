// A string as a JWW archive stores it: Shift_JIS bytes, or UTF-16 text in the archive's Unicode form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane {

// Jw_cad 8 writes every string in the archive's Unicode form; older versions write Shift_JIS.
// A string remembers its form so that it is written back the way it was read.
struct JwwString {
  std::string sjis;      // the bytes, when !unicode
  std::u16string wide;   // the UTF-16 code units, when unicode
  bool unicode = false;

  JwwString() = default;
  static JwwString Sjis(std::string bytes) {
    JwwString s;
    s.sjis = std::move(bytes);
    return s;
  }
  static JwwString Wide(std::u16string units) {
    JwwString s;
    s.wide = std::move(units);
    s.unicode = true;
    return s;
  }
  // An ASCII literal in the given form.
  static JwwString Ascii(std::string_view ascii, bool unicode);

  bool empty() const { return unicode ? wide.empty() : sjis.empty(); }
  // Length in the stored unit: bytes for Shift_JIS, code units for Unicode.
  size_t size() const { return unicode ? wide.size() : sjis.size(); }
  bool operator==(const JwwString& o) const {
    return unicode == o.unicode && (unicode ? wide == o.wide : sjis == o.sjis);
  }
};

// Shift_JIS: a byte in 0x80..0x9F or 0xE0..0xFD starts a two-byte character.
inline bool IsLeadByte(unsigned char b) { return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD); }

// Characters of either form, one at a time. A Shift_JIS two-byte character is (lead << 8 | trail);
// a Unicode character is its code point (a surrogate pair joined). `width` is the character's
// length in the string's own units.
struct JwwChar {
  uint32_t code;
  uint32_t width;
};
JwwChar CharAt(const JwwString& s, size_t pos);

// Appends one code point to UTF-16 text (a std::u16string, or a std::wstring on Windows): a
// surrogate pair above U+FFFF.
template <class Utf16String>
void AppendUtf16(Utf16String& out, uint32_t code) {
  using Unit = typename Utf16String::value_type;
  if (code >= 0x10000) {
    code -= 0x10000;
    out.push_back(Unit(0xD800 + (code >> 10)));
    out.push_back(Unit(0xDC00 + (code & 0x3FF)));
  } else {
    out.push_back(Unit(code));
  }
}

// Appends one character (as returned by CharAt) in the string's form.
void AppendChar(JwwString& s, uint32_t code);

}  // namespace kelvane
