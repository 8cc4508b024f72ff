// Image bytes: this is the one place that knows where a loaded drawing keeps its embedded images.
#include "render/image_source.h"

#include <fstream>
#include <iterator>

#include "jww/images.h"

namespace kelvane {

namespace {

const char16_t kTempPrefix[] = u"%temp%";

std::u16string Units(const JwwString& s) {
  if (s.unicode) return s.wide;
  std::u16string t;
  for (unsigned char c : s.sjis) t.push_back(char16_t(c < 0x80 ? c : 0xF700 + c));  // non-ASCII kept distinct
  return t;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  if (!f) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

bool IsGzipName(const JwwString& source) {
  const std::u16string u = Units(source);
  return u.size() >= 3 && SameName(u.substr(u.size() - 3), u".GZ");
}

std::vector<uint8_t> ImageBytesFor(const EmbeddedImages& images, const JwwString& source,
                                   const std::filesystem::path& drawingFolder) {
  const std::u16string u = Units(source);
  const std::u16string prefix(kTempPrefix);
  if (u.size() > prefix.size() && SameName(u.substr(0, prefix.size()), prefix)) {
    const std::u16string name = u.substr(prefix.size());
    for (size_t i = 0; i < images.size(); ++i)
      if (images.HasBytes(i) && SameName(Units(images[i].name), name))
        return std::vector<uint8_t>(images.Bytes(i), images.Bytes(i) + images[i].size);
    return {};
  }
  // A file: only names this portable code can turn into a path (Unicode, or ASCII Shift_JIS).
  std::filesystem::path p;
  if (source.unicode) {
    p = std::filesystem::path(source.wide);
  } else {
    for (unsigned char c : source.sjis)
      if (c >= 0x80) return {};
    p = std::filesystem::path(source.sjis);
  }
  std::vector<uint8_t> bytes = ReadFile(p);
  if (bytes.empty() && !drawingFolder.empty()) bytes = ReadFile(drawingFolder / p.filename());
  return bytes;
}

}  // namespace kelvane
