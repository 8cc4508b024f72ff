// Shift_JIS conversion in the browser build, whose C library (musl) knows plain Shift_JIS but not
// code page 932: the table the Linux build's converter gives (cp932_table.inc), read the way
// platform/posix/text_conversion.cpp reads through iconv, so that names and texts come out the
// same. File names are UTF-8 bytes.
#include "platform/text_conversion.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kelvane {

namespace {

#include "platform/web/cp932_table.inc"

constexpr uint16_t kNone = 0xFFFF;
constexpr uint32_t kDropped = 0xFFFFFFFF;  // converted to nothing at all
constexpr unsigned kTrailFirst = 0x40, kTrailCount = 0xFC - 0x40 + 1;

unsigned Hex4(const char* p) {
  unsigned v = 0;
  for (int i = 0; i < 4; ++i) v = v << 4 | unsigned(p[i] <= '9' ? p[i] - '0' : p[i] - 'A' + 10);
  return v;
}

struct Tables {
  uint16_t singles[256];
  std::vector<uint16_t> pairs;  // (lead - 0x80) * kTrailCount + trail - 0x40
  std::unordered_map<uint32_t, uint32_t> encode;  // code point -> bytes (one or two), or kDropped

  Tables() : pairs(128 * kTrailCount) {
    for (unsigned b = 0; b < 256; ++b) singles[b] = uint16_t(Hex4(kCp932Singles + 4 * b));
    for (size_t i = 0; i < pairs.size(); ++i) pairs[i] = uint16_t(Hex4(kCp932Pairs + 4 * i));
    // Each code point encodes to the first sequence that decodes to it, but for the exceptions.
    for (unsigned b = 0; b < 256; ++b)
      if (singles[b] != kNone) encode.emplace(singles[b], uint16_t(b));
    for (size_t i = 0; i < pairs.size(); ++i)
      if (pairs[i] != kNone) encode.emplace(pairs[i], uint16_t((0x80 + i / kTrailCount) << 8 | (kTrailFirst + i % kTrailCount)));
    for (const auto& e : kCp932Encodings) {
      if (e[1] == 0) encode.erase(e[0]);
      else encode[e[0]] = e[1];
    }
  }
};

const Tables& Cp932() {
  static const Tables tables;
  return tables;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | cp >> 6), out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | cp >> 12), out += char(0x80 | (cp >> 6 & 0x3F)), out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | cp >> 18), out += char(0x80 | (cp >> 12 & 0x3F)), out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Where the iconv reading resumes after a character it cannot convert (as on POSIX).
size_t SjisCharLength(std::string_view s, size_t p) {
  unsigned char b = static_cast<unsigned char>(s[p]);
  bool lead = (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD);
  return lead && p + 1 < s.size() ? 2 : 1;
}

size_t Utf8CharLength(std::string_view s, size_t p) {
  size_t n = 1;
  while (p + n < s.size() && (static_cast<unsigned char>(s[p + n]) & 0xC0) == 0x80) ++n;
  return n;
}

// The code point of the well-formed UTF-8 character at p and its length; false for a broken one.
bool DecodeUtf8(std::string_view s, size_t p, uint32_t& cp, size_t& length) {
  const unsigned char c = static_cast<unsigned char>(s[p]);
  size_t n;
  uint32_t least;
  if (c < 0x80) return cp = c, length = 1, true;
  if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1F, least = 0x80;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0F, least = 0x800;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07, least = 0x10000;
  else return false;
  if (p + n > s.size()) return false;
  for (size_t i = 1; i < n; ++i) {
    const unsigned char k = static_cast<unsigned char>(s[p + i]);
    if ((k & 0xC0) != 0x80) return false;
    cp = cp << 6 | (k & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  length = n;
  return true;
}

}  // namespace

std::string SjisToUtf8(std::string_view sjis, UnreadableSjis unreadable) {
  const Tables& t = Cp932();
  std::string out;
  size_t p = 0;
  while (p < sjis.size()) {
    const unsigned char b = static_cast<unsigned char>(sjis[p]);
    if (t.singles[b] != kNone) {
      AppendUtf8(out, t.singles[b]);
      ++p;
      continue;
    }
    if (b >= 0x80 && p + 1 < sjis.size()) {
      const unsigned char trail = static_cast<unsigned char>(sjis[p + 1]);
      if (trail >= kTrailFirst && trail < kTrailFirst + kTrailCount) {
        const uint16_t cp = t.pairs[(b - 0x80) * kTrailCount + (trail - kTrailFirst)];
        if (cp != kNone) {
          AppendUtf8(out, cp);
          p += 2;
          continue;
        }
      }
    }
    out += '?';
    p += unreadable == UnreadableSjis::kSkipByte ? 1 : SjisCharLength(sjis, p);
  }
  return out;
}

std::string Utf8ToSjis(std::string_view utf8) {
  const Tables& t = Cp932();
  std::string out;
  size_t p = 0;
  while (p < utf8.size()) {
    uint32_t cp = 0;
    size_t length = 0;
    if (DecodeUtf8(utf8, p, cp, length)) {
      auto it = t.encode.find(cp);
      if (it != t.encode.end()) {
        if (it->second == kDropped) {
          p += length;
          continue;
        }
        if (it->second > 0xFF) out += char(it->second >> 8);
        out += char(it->second & 0xFF);
        p += length;
        continue;
      }
    }
    out += '?';
    p += Utf8CharLength(utf8, p);
  }
  return out;
}

std::filesystem::path SjisToPath(std::string_view sjis) { return std::filesystem::path(SjisToUtf8(sjis)); }
std::string PathToSjis(const std::filesystem::path& path) { return Utf8ToSjis(path.native()); }

}  // namespace kelvane
