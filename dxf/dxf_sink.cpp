// DXF text output: group codes, numbers that read back exactly, and drawing strings in the
// encoding of the file's version.
#include "dxf/dxf_sink.h"

#include <algorithm>
#include <cstdio>

#include "platform/text_conversion.h"
#include "text/numbers.h"

namespace kelvane {

DxfCodeLines::DxfCodeLines() {
  for (int code = 0; code < kCount; ++code) {
    char b[8];
    auto [end, ec] = std::to_chars(b, b + sizeof b, code);
    (void)ec;
    const size_t n = size_t(end - b);
    std::memset(text[code], ' ', sizeof text[code]);
    std::memcpy(text[code], b, n);
    text[code][n] = '\n';
    size[code] = uint8_t(n + 1);
  }
}

const DxfCodeLines kDxfCodeLines;

void DxfSink::Grow(size_t n) {
  // Within the memory the buffer has, only as far as is needed soon: growing clears the bytes.
  size_t room = std::max(used_ + n, buffer_.size() + (size_t(1) << 16));
  if (room > buffer_.capacity()) room = std::max(room, buffer_.capacity() * 2);
  buffer_.resize(room);
}

char* DxfSink::Shortest(char* p, double v) {
  struct Known {
    uint64_t bits = 0;
    uint8_t size = 0;  // 0: empty
    char text[31];
  };
  static thread_local Known known[64];
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  Known& k = known[(bits * 0x9E3779B97F4A7C15ull) >> 58];
  if (k.size == 0 || k.bits != bits) {
    const char* end = ShortestReal(k.text, v);
    k.bits = bits;
    k.size = uint8_t(end - k.text);
  }
  std::memcpy(p, k.text, sizeof k.text);
  return p + k.size;
}

const std::string& DxfSink::SjisOf(uint32_t code) {
  auto [it, fresh] = sjisCache_.try_emplace(code);
  if (fresh) {
    const std::string utf8 = CodePointToUtf8(char32_t(code));
    std::string sjis = Utf8ToSjis(utf8);
    // Only a character that goes to code page 932 and comes back unchanged is written as such.
    if (sjis.empty() || SjisToUtf8(sjis) != utf8 || (sjis == "?" && code != '?')) {
      char b[16];
      std::snprintf(b, sizeof b, "\\U+%04X", unsigned(code));
      sjis = b;
    }
    it->second = std::move(sjis);
  }
  return it->second;
}

std::string DxfSink::Encode(const JwwString& s) {
  std::string o;
  if (!s.unicode) {
    if (Utf8()) return EncodeUtf8(SjisToUtf8(s.sjis));
    o.reserve(s.sjis.size());
    for (size_t p = 0; p < s.sjis.size(); ++p) {
      const unsigned char c = static_cast<unsigned char>(s.sjis[p]);
      if (IsLeadByte(c) && p + 1 < s.sjis.size()) {
        o += char(c);
        o += s.sjis[++p];
      } else if (c >= 0x20 && c != 0x7F) {
        o += char(c);
      }
    }
    return o;
  }
  for (size_t p = 0; p < s.wide.size();) {
    const JwwChar c = CharAt(s, p);
    if (c.width == 0) break;
    p += c.width;
    if (c.code < 0x20 || c.code == 0x7F) continue;
    if (c.code < 0x80) {
      o += char(c.code);
    } else if (Utf8() && (c.code < 0xD800 || c.code > 0xDFFF)) {
      o += CodePointToUtf8(char32_t(c.code));
    } else if (Utf8()) {
      // Half of a pair without its other half is no character UTF-8 can hold: escaped.
      char b[16];
      std::snprintf(b, sizeof b, "\\U+%04X", unsigned(c.code));
      o += b;
    } else if (c.code > 0xFFFF) {
      // Beyond the basic plane: each half of its UTF-16 pair, as AutoCAD escapes them.
      const uint32_t v = c.code - 0x10000;
      o += SjisOf(0xD800 + (v >> 10));
      o += SjisOf(0xDC00 + (v & 0x3FF));
    } else {
      o += SjisOf(c.code);
    }
  }
  return o;
}

std::string DxfSink::EncodeUtf8(std::string_view utf8) {
  std::string o;
  o.reserve(utf8.size());
  if (Utf8()) {
    for (char ch : utf8)
      if (static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F) o += ch;
    return o;
  }
  return Encode(JwwString::Wide(Utf8ToUtf16(utf8)));
}

}  // namespace kelvane
