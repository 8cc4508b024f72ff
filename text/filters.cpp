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
