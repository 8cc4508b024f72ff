// Shift_JIS-aware text filters and byte-exact copies into fixed record slots.
#include "text/filters.h"

#include <cstring>

namespace kelvane {

namespace {

bool IsControl(uint32_t c) { return c < 0x20; }
constexpr uint32_t kIdeographicSpaceWide = 0x3000;

}  // namespace

void CopyToBuffer(void* buffer, std::string_view text, int32_t n) {
  int64_t count = n < 0 ? -int64_t(n) : int64_t(n);
  if (count > int64_t(text.size())) count = int64_t(text.size());
  if (count > 0) std::memcpy(buffer, text.data(), size_t(count));
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
//
// Nearly every text passes unchanged, so the exact walk below runs only for a text that holds a
// byte the walk could act on: one below 0x20 or a '^' anywhere, whether it starts a character
// or not. Eight bytes are looked at together.

namespace {

constexpr uint64_t kEachByte = 0x0101010101010101ull;
constexpr uint64_t kEachUnit = 0x0001000100010001ull;

uint64_t Load64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
uint32_t Load32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Nonzero exactly when some lane holds a control code (or, with Caret, a '^'). The borrow of a
// lane below the bound only carries into higher lanes, so whether the result is zero is exact.
template <bool Caret>
uint64_t SuspectBytes(uint64_t x) {
  uint64_t m = (x - kEachByte * 0x20) & ~x;
  if constexpr (Caret) {
    const uint64_t y = x ^ (kEachByte * '^');
    m |= (y - kEachByte) & ~y;
  }
  return m & (kEachByte * 0x80);
}
template <bool Caret>
uint64_t SuspectUnits(uint64_t x) {
  uint64_t m = (x - kEachUnit * 0x20) & ~x;
  if constexpr (Caret) {
    const uint64_t y = x ^ (kEachUnit * '^');
    m |= (y - kEachUnit) & ~y;
  }
  return m & (kEachUnit * 0x8000);
}

// Over `n` bytes: whole words, and the last word laid over the end of the one before (a byte
// seen twice does no harm). Shorter runs are packed into a word padded with a harmless 'A'.
template <bool Caret>
bool AnySuspectByte(const unsigned char* p, size_t n) {
  if (n > 16) {
    uint64_t m = 0;
    for (size_t i = 0; i + 8 <= n; i += 8) m |= SuspectBytes<Caret>(Load64(p + i));
    return (m | SuspectBytes<Caret>(Load64(p + n - 8))) != 0;
  }
  if (n >= 8) return (SuspectBytes<Caret>(Load64(p)) | SuspectBytes<Caret>(Load64(p + n - 8))) != 0;
  if (n >= 4) return SuspectBytes<Caret>(uint64_t(Load32(p)) << 32 | Load32(p + n - 4)) != 0;
  if (n == 0) return false;
  const uint64_t x = (kEachByte * 'A') << 24 | uint64_t(p[0]) << 16 | uint64_t(p[n / 2]) << 8 | p[n - 1];
  return SuspectBytes<Caret>(x) != 0;
}

// The same over `n` UTF-16 units; loads start on a unit, so lanes never straddle two.
template <bool Caret>
bool AnySuspectUnit(const char16_t* units, size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(units);
  const size_t bytes = n * 2;
  if (bytes > 16) {
    uint64_t m = 0;
    for (size_t i = 0; i + 8 <= bytes; i += 8) m |= SuspectUnits<Caret>(Load64(p + i));
    return (m | SuspectUnits<Caret>(Load64(p + bytes - 8))) != 0;
  }
  if (bytes >= 8) return (SuspectUnits<Caret>(Load64(p)) | SuspectUnits<Caret>(Load64(p + bytes - 8))) != 0;
  if (bytes >= 4) return SuspectUnits<Caret>(uint64_t(Load32(p)) << 32 | Load32(p + bytes - 4)) != 0;
  if (n == 0) return false;
  return SuspectUnits<Caret>((kEachUnit * 'A') << 16 | units[0]) != 0;
}

// True when the last byte starts a character and is a lead byte with nothing after it. The byte
// after any other byte starts a character, so the run of lead-capable bytes at the end pairs up
// from its first byte: the last one is alone when the run is odd.
bool EndsInLoneLeadByte(const std::string& t) {
  size_t run = 0;
  while (run < t.size() && IsLeadByte(static_cast<unsigned char>(t[t.size() - 1 - run]))) ++run;
  return run % 2 == 1;
}

bool ReadFilterWalk(const JwwString& text) {
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

bool WriteFilterWalk(const JwwString& text) {
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

}  // namespace

bool ChangedByReadFilter(const JwwString& text) {
  if (text.unicode) return AnySuspectUnit<false>(text.wide.data(), text.wide.size()) && ReadFilterWalk(text);
  const auto* p = reinterpret_cast<const unsigned char*>(text.sjis.data());
  if (!AnySuspectByte<false>(p, text.sjis.size())) return EndsInLoneLeadByte(text.sjis);
  return ReadFilterWalk(text);
}

bool ChangedByWriteFilter(const JwwString& text) {
  if (text.unicode) return AnySuspectUnit<true>(text.wide.data(), text.wide.size()) && WriteFilterWalk(text);
  const auto* p = reinterpret_cast<const unsigned char*>(text.sjis.data());
  return AnySuspectByte<true>(p, text.sjis.size()) && WriteFilterWalk(text);
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
