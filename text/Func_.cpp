// Text and number helpers: Shift_JIS-aware filters, option parsers and buffer copies.
#include "text/Func_.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace kelvane {

namespace {

bool IsControl(uint32_t c) { return c < 0x20; }
constexpr uint32_t kIdeographicSpaceWide = 0x3000;

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void SwapReals(double& a, double& b) {
  double t = a;
  a = b;
  b = t;
}

void CopyToBuffer(void* buffer, std::string_view text, int32_t n) {
  int64_t count = n < 0 ? -int64_t(n) : int64_t(n);
  if (count > int64_t(text.size())) count = int64_t(text.size());
  if (count > 0) std::memcpy(buffer, text.data(), size_t(count));
}

void FillBuffer(void* buffer, uint8_t value, int32_t n) {
  if (n > 0) std::memset(buffer, value, size_t(n));
}

std::string MbcsCopy(std::string_view text, int32_t start, int32_t count) {
  std::string out;
  if (text.empty() || start <= 0 || int64_t(text.size()) < start || count <= 0) return out;
  const int64_t last = int64_t(start) + count - 1;
  int64_t p = 1;  // 1-based, from the text's first byte so that boundaries are the text's own
  const int64_t n = int64_t(text.size());
  while (p <= n) {
    unsigned char b = static_cast<unsigned char>(text[size_t(p - 1)]);
    if (IsLeadByte(b)) {
      if (p >= start && p + 1 <= last && p + 1 <= n) out.append(text.substr(size_t(p - 1), 2));
      p += 2;
    } else {
      if (p >= start && p <= last) out.push_back(char(b));
      p += 1;
    }
  }
  return out;
}

bool TextToBool(std::string_view text) {
  std::string t = RemoveBlanks(text);
  for (char& c : t)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  static const char* const kTrue[] = {"T", "TR", "TRU", "TRUE", "1", "\x82\x50" /* １ */,
                                      "\x81\x9B" /* ○ */, "ON", "\x90\x5E" /* 真 */,
                                      "\x90\xB3" /* 正 */};
  for (const char* k : kTrue)
    if (t == k) return true;
  return false;
}

std::string BoolToText(bool value) { return value ? "1" : "0"; }

int32_t TextToInt(std::string_view text) {
  size_t p = 0;
  while (p < text.size() && text[p] == ' ') ++p;
  if (p == text.size()) return 0;
  bool negative = false;
  if (text[p] == '-' || text[p] == '+') negative = text[p++] == '-';
  int base = 10;
  if (p < text.size() && text[p] == '$') {
    base = 16;
    ++p;
  } else if (p + 1 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
    base = 16;
    p += 2;
  } else if (p < text.size() && (text[p] == 'x' || text[p] == 'X')) {
    base = 16;
    ++p;
  }
  if (p == text.size()) return 0;
  int64_t value = 0;
  for (; p < text.size(); ++p) {
    int d = base == 16 ? HexValue(text[p]) : (IsAsciiDigit(text[p]) ? text[p] - '0' : -1);
    if (d < 0) return 0;
    value = value * base + d;
    if (value > 0xFFFFFFFFLL) return 0;
  }
  if (base == 16) {
    // A hexadecimal literal names the 32-bit pattern: $FFFFFFFF is -1.
    int32_t bits = static_cast<int32_t>(static_cast<uint32_t>(value));
    return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(bits)) : bits;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return 0;
  return static_cast<int32_t>(value);
}

double TextToReal(std::string_view text) {
  size_t p = 0;
  while (p < text.size() && text[p] == ' ') ++p;
  if (p == text.size()) return 0;
  const size_t begin = p;
  if (text[p] == '-' || text[p] == '+') ++p;
  size_t digits = 0;
  while (p < text.size() && IsAsciiDigit(text[p])) ++p, ++digits;
  if (p < text.size() && text[p] == '.') {
    ++p;
    while (p < text.size() && IsAsciiDigit(text[p])) ++p, ++digits;
  }
  if (digits == 0) return 0;
  if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
    ++p;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) ++p;
    size_t expDigits = 0;
    while (p < text.size() && IsAsciiDigit(text[p])) ++p, ++expDigits;
    if (expDigits == 0) return 0;
  }
  if (p != text.size()) return 0;
  // strtod on a copy that holds only what was validated: the decimal point is always '.'
  // because the text was checked above and the C locale is never changed by this program.
  std::string number(text.substr(begin));
  return std::strtod(number.c_str(), nullptr);
}

std::string RemoveBlanks(std::string_view text) {
  std::string out;
  for (size_t p = 0; p < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[p]);
    if (IsLeadByte(b)) {
      std::string_view ch = text.substr(p, 2);
      if (!(ch.size() == 2 && static_cast<unsigned char>(ch[1]) == 0x40 && b == 0x81)) out.append(ch);
      p += 2;
    } else {
      if (b != ' ' && !IsControl(b)) out.push_back(char(b));
      p += 1;
    }
  }
  return out;
}

std::string FilterTextForWrite(std::string_view text) {
  if (text.empty()) return std::string();
  std::string out;
  for (size_t p = 0; p < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[p]);
    if (IsLeadByte(b)) {
      out.append(text.substr(p, 2));
      p += 2;
    } else if (b == '^' && p + 1 < text.size() && text[p + 1] == 'm') {
      p += 2;
    } else {
      if (!IsControl(b)) out.push_back(char(b));
      p += 1;
    }
  }
  if (out.empty()) out = " ";
  return out;
}

std::string FilterTextForRead(std::string_view text) {
  std::string out;
  for (size_t p = 0; p < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[p]);
    if (IsLeadByte(b)) {
      if (p + 1 < text.size()) out.append(text.substr(p, 2));
      p += 2;
    } else {
      if (!IsControl(b)) out.push_back(char(b));
      p += 1;
    }
  }
  return out;
}

// Unicode strings: the same rules on UTF-16 code units. A surrogate pair passes as a whole.

bool ChangedByReadFilter(const JwwString& text) {
  if (text.unicode) {
    for (char16_t c : text.wide)
      if (IsControl(c)) return true;
    return false;
  }
  const std::string& t = text.sjis;
  for (size_t p = 0; p < t.size();) {
    unsigned char b = static_cast<unsigned char>(t[p]);
    if (IsLeadByte(b)) {
      if (p + 1 >= t.size()) return true;
      p += 2;
    } else {
      if (IsControl(b)) return true;
      p += 1;
    }
  }
  return false;
}

bool ChangedByWriteFilter(const JwwString& text) {
  if (text.unicode) {
    const std::u16string& w = text.wide;
    for (size_t p = 0; p < w.size(); ++p)
      if (IsControl(w[p]) || (w[p] == u'^' && p + 1 < w.size() && w[p + 1] == u'm')) return true;
    return false;
  }
  const std::string& t = text.sjis;
  for (size_t p = 0; p < t.size();) {
    unsigned char b = static_cast<unsigned char>(t[p]);
    if (IsLeadByte(b)) {
      p += 2;
    } else {
      if (IsControl(b) || (b == '^' && p + 1 < t.size() && t[p + 1] == 'm')) return true;
      p += 1;
    }
  }
  return false;
}

JwwString RemoveBlanks(const JwwString& text) {
  if (!text.unicode) return JwwString::Sjis(RemoveBlanks(text.sjis));
  std::u16string out;
  for (char16_t c : text.wide)
    if (c != u' ' && c != kIdeographicSpaceWide && !IsControl(c)) out.push_back(c);
  return JwwString::Wide(std::move(out));
}

JwwString FilterTextForWrite(const JwwString& text) {
  if (!text.unicode) return JwwString::Sjis(FilterTextForWrite(text.sjis));
  if (text.wide.empty()) return text;
  std::u16string out;
  const std::u16string& w = text.wide;
  for (size_t p = 0; p < w.size();) {
    if (w[p] == u'^' && p + 1 < w.size() && w[p + 1] == u'm') {
      p += 2;
      continue;
    }
    if (!IsControl(w[p])) out.push_back(w[p]);
    p += 1;
  }
  if (out.empty()) out = u" ";
  return JwwString::Wide(std::move(out));
}

JwwString FilterTextForRead(const JwwString& text) {
  if (!text.unicode) return JwwString::Sjis(FilterTextForRead(text.sjis));
  std::u16string out;
  for (char16_t c : text.wide)
    if (!IsControl(c)) out.push_back(c);
  return JwwString::Wide(std::move(out));
}

}  // namespace kelvane
