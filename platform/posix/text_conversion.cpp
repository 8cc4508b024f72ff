// Shift_JIS conversion on POSIX, through iconv's CP932 table; file names are UTF-8 bytes.
#include "platform/text_conversion.h"

#include <iconv.h>

#include <cerrno>

namespace kelvane {

namespace {

// Length of the character that starts at p, so that an unconvertible one is skipped whole.
size_t SjisCharLength(std::string_view s, size_t p) {
  unsigned char b = static_cast<unsigned char>(s[p]);
  bool lead = (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD);
  return lead && p + 1 < s.size() ? 2 : 1;
}

size_t SjisByteLength(std::string_view, size_t) { return 1; }

size_t Utf8CharLength(std::string_view s, size_t p) {
  size_t n = 1;
  while (p + n < s.size() && (static_cast<unsigned char>(s[p + n]) & 0xC0) == 0x80) ++n;
  return n;
}

// An open iconv converter. Opening one looks its tables up under a lock the whole process
// shares, which several drawings converted at once would take turns on: each thread keeps its
// converters open instead.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

Converter& SjisToUtf8Converter() {
  thread_local Converter converter("UTF-8", "CP932");
  return converter;
}
Converter& Utf8ToSjisConverter() {
  thread_local Converter converter("CP932", "UTF-8");
  return converter;
}

// Converts with iconv; a character the target cannot express (or a broken source sequence)
// becomes "?", and reading resumes after the `skip` bytes there. Without a converter the answer
// is `unconverted`.
std::string Convert(std::string_view in, Converter& converter, size_t (*skip)(std::string_view, size_t),
                    std::string_view unconverted) {
  std::string out;
  if (in.empty()) return out;
  if (!converter.ok()) return std::string(unconverted);
  iconv_t cd = converter.get();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // from the initial state, whatever came before
  size_t p = 0;
  char buffer[1024];
  while (p < in.size()) {
    char* src = const_cast<char*>(in.data() + p);
    size_t srcLeft = in.size() - p;
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, size_t(dst - buffer));
    p = in.size() - srcLeft;
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back('?');
      p += skip(in, p);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace

std::string SjisToUtf8(std::string_view sjis, UnreadableSjis unreadable) {
  // Font names and glyphs (kSkipByte) are better empty than raw Shift_JIS handed on as UTF-8.
  if (unreadable == UnreadableSjis::kSkipByte) return Convert(sjis, SjisToUtf8Converter(), SjisByteLength, {});
  return Convert(sjis, SjisToUtf8Converter(), SjisCharLength, sjis);
}

std::string Utf8ToSjis(std::string_view utf8) { return Convert(utf8, Utf8ToSjisConverter(), Utf8CharLength, utf8); }

std::filesystem::path SjisToPath(std::string_view sjis) { return std::filesystem::path(SjisToUtf8(sjis)); }
std::string PathToSjis(const std::filesystem::path& path) { return Utf8ToSjis(path.native()); }

}  // namespace kelvane
