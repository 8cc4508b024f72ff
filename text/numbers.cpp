// Number parsers and formatters of the settings file and the options: lenient like the originals they replace.
#include "text/numbers.h"

#include "text/filters.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
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

namespace kelvane {

char* ShortestReal(char* p, double value) {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
  return std::to_chars(p, p + 24, value).ptr;
#else
  return ShortestRealPortable(p, value);
#endif
}

namespace {

// Significant decimal digits and the power of ten of the first: value = d.ddd × 10^exponent.
struct DecimalDigits {
  char digits[24] = {};
  int count = 0, exponent = 0;
};

bool ReadsBack(const char* mantissa, int n, int exponent, double value) {
  char again[48];
  int k = 0;
  again[k++] = mantissa[0];
  again[k++] = '.';
  for (int i = 1; i < n; ++i) again[k++] = mantissa[i];
  std::snprintf(again + k, sizeof again - size_t(k), "e%d", exponent);
  return std::strtod(again, nullptr) == value;
}

// The mantissa one unit in its last place up (step +1) or down (-1); false when there is none
// below it.
bool StepMantissa(char* m, int n, int& exponent, int step) {
  int i = n - 1;
  if (step > 0) {
    while (i >= 0 && m[i] == '9') m[i--] = '0';
    if (i < 0) {
      m[0] = '1';
      ++exponent;
    } else {
      ++m[i];
    }
    return true;
  }
  while (i >= 0 && m[i] == '0') m[i--] = '9';
  if (i < 0) return false;
  --m[i];
  if (m[0] == '0') {
    std::memmove(m, m + 1, size_t(n - 1));
    m[n - 1] = '9';
    --exponent;
  }
  return true;
}

// The fewest significant digits that read back: the correctly rounded ones of each precision, or
// their neighbour one unit away where the rounding interval is lopsided (a power of two).
DecimalDigits ShortestDigits(double value) {
  DecimalDigits shortest;
  auto take = [&shortest](const char* m, int n, int e) {
    std::memcpy(shortest.digits, m, size_t(n));
    shortest.count = n;
    shortest.exponent = e;
    return shortest;
  };
  for (int precision = 1; precision <= 17; ++precision) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*e", precision - 1, value);
    char mantissa[24] = {};
    int n = 0;
    const char* q = text;
    for (; *q != 'e'; ++q)
      if (*q != '.') mantissa[n++] = *q;
    const int x = std::atoi(q + 1);
    if (ReadsBack(mantissa, n, x, value)) return take(mantissa, n, x);
    for (int step : {+1, -1}) {
      char m[24];
      std::memcpy(m, mantissa, size_t(n));
      int e = x;
      if (StepMantissa(m, n, e, step) && ReadsBack(m, n, e, value)) return take(m, n, e);
    }
  }
  return shortest;
}

// The digits in plain or exponent form, whichever is shorter (plain on a tie).
char* WriteDigits(char* p, double value, const DecimalDigits& d) {
  const int count = d.count, exponent = d.exponent;
  const int exponentDigits = std::abs(exponent) >= 100 ? 3 : 2;
  const int scientificLength = count + (count > 1 ? 1 : 0) + 2 + exponentDigits;
  const int plainLength =
      exponent >= 0 ? (count <= exponent + 1 ? exponent + 1 : count + 1) : 2 + (-exponent - 1) + count;
  if (plainLength <= scientificLength && exponent >= 0 && count <= exponent + 1) {
    // A whole number is written with all its digits, exactly, as "%.0f" writes it.
    char whole[32];
    const int n = std::snprintf(whole, sizeof whole, "%.0f", value);
    std::memcpy(p, whole, size_t(n));
    return p + n;
  }
  if (plainLength <= scientificLength && exponent >= 0) {
    for (int i = 0; i <= exponent; ++i) *p++ = d.digits[i];
    *p++ = '.';
    for (int i = exponent + 1; i < count; ++i) *p++ = d.digits[i];
    return p;
  }
  if (plainLength <= scientificLength) {
    *p++ = '0';
    *p++ = '.';
    for (int i = 0; i < -exponent - 1; ++i) *p++ = '0';
    for (int i = 0; i < count; ++i) *p++ = d.digits[i];
    return p;
  }
  *p++ = d.digits[0];
  if (count > 1) {
    *p++ = '.';
    for (int i = 1; i < count; ++i) *p++ = d.digits[i];
  }
  char tail[8];  // no terminating zero at p: the caller's 24 bytes hold the text alone
  const int n = std::snprintf(tail, sizeof tail, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  std::memcpy(p, tail, size_t(n));
  return p + n;
}

}  // namespace

char* ShortestRealPortable(char* p, double value) {
  auto put = [&p](std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    p += s.size();
  };
  if (std::isnan(value)) {
    put(std::signbit(value) ? "-nan" : "nan");
    return p;
  }
  if (std::signbit(value)) {
    *p++ = '-';
    value = -value;
  }
  if (std::isinf(value)) {
    put("inf");
    return p;
  }
  if (value == 0) {
    *p++ = '0';
    return p;
  }
  DecimalDigits digits = ShortestDigits(value);
  while (digits.count > 1 && digits.digits[digits.count - 1] == '0') --digits.count;
  return WriteDigits(p, value, digits);
}

std::string GeneralReal15(double value) {
  char text[40];
  const int n = std::snprintf(text, sizeof text, "%.15g", value);
  return std::string(text, size_t(std::max(n, 0)));
}

}  // namespace kelvane
