// Number parsers and formatters of the settings file and the options: lenient like the originals they replace.
#include "text/numbers.h"

#include "text/filters.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace kelvane {

namespace {

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

}  // namespace kelvane
