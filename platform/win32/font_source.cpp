// The Windows fonts a document embeds: the face GDI selects for a family, its tables read with
// GetFontData, cut down by the system's font subsetter (fontsub.dll) when it is there.
#include "platform/font_source.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// fontsub.h needs windows.h first.
#include <fontsub.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "codec/glyph_subset.h"

namespace kelvane {

namespace {

// The face GDI falls back to for a text without a font name, as the GDI backend draws it.
const wchar_t kDefaultFace[] = L"ＭＳ ゴシック";
// Where a character missing from its face is looked for, in order: the Japanese faces, then the
// faces of Windows and of other systems that carry symbols.
const char* const kFallbackFamilies[] = {"ＭＳ ゴシック",  "ＭＳ 明朝",        "Segoe UI Symbol",
                                         "Segoe UI Emoji", "Arial Unicode MS", "DejaVu Sans"};

constexpr DWORD Tag(const char (&t)[5]) {
  return DWORD(uint8_t(t[0])) | DWORD(uint8_t(t[1])) << 8 | DWORD(uint8_t(t[2])) << 16 | DWORD(uint8_t(t[3])) << 24;
}

std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring wide(size_t(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
  return wide;
}

uint16_t U16(const std::string& b, size_t at) {
  return at + 2 <= b.size() ? uint16_t(uint8_t(b[at]) << 8 | uint8_t(b[at + 1])) : 0;
}
int16_t S16(const std::string& b, size_t at) { return int16_t(U16(b, at)); }
uint32_t U32(const std::string& b, size_t at) { return uint32_t(U16(b, at)) << 16 | U16(b, at + 2); }

void Put16(std::string& b, uint16_t v) {
  b += char(v >> 8);
  b += char(v & 0xFF);
}
void Put32(std::string& b, uint32_t v) {
  Put16(b, uint16_t(v >> 16));
  Put16(b, uint16_t(v));
}

uint32_t Checksum(const std::string& b, size_t from, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i < length; i += 4) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) word = word << 8 | (i + k < length ? uint8_t(b[from + i + k]) : 0);
    sum += word;
  }
  return sum;
}

// One table of the face selected into `dc` (tag 0: the face's own table directory); empty when
// the face has none.
std::string TableOf(HDC dc, DWORD tag) {
  const DWORD size = GetFontData(dc, tag, 0, nullptr, 0);
  if (size == GDI_ERROR || size == 0) return {};
  std::string bytes(size, '\0');
  if (GetFontData(dc, tag, 0, bytes.data(), size) != size) return {};
  return bytes;
}

// The selected face as a font file of its own. A face of a collection (.ttc) is read table by
// table: its table directory points into the whole collection, so the file is laid out anew.
std::string StandaloneFace(HDC dc) {
  const DWORD head = GetFontData(dc, 0, 0, nullptr, 0);
  if (head == GDI_ERROR || head < 12) return {};
  std::string directory(12, '\0');
  if (GetFontData(dc, 0, 0, directory.data(), 12) != 12) return {};
  const uint16_t count = U16(directory, 4);
  directory.resize(12 + 16 * size_t(count));
  if (GetFontData(dc, 0, 0, directory.data(), DWORD(directory.size())) != directory.size()) return {};
  std::vector<std::pair<uint32_t, std::string>> tables;
  for (uint16_t i = 0; i < count; ++i) {
    const uint32_t tag = U32(directory, 12 + 16 * size_t(i));
    const DWORD gdiTag = (tag >> 24) | (tag >> 8 & 0xFF00) | (tag << 8 & 0xFF0000) | (tag << 24);
    std::string table = TableOf(dc, gdiTag);
    if (!table.empty()) tables.emplace_back(tag, std::move(table));
  }
  std::sort(tables.begin(), tables.end());
  std::string out;
  Put32(out, U32(directory, 0));
  const uint16_t n = uint16_t(tables.size());
  uint16_t power = 1, log2 = 0;
  while (power * 2 <= n) power *= 2, ++log2;
  Put16(out, n);
  Put16(out, uint16_t(power * 16));
  Put16(out, log2);
  Put16(out, uint16_t(n * 16 - power * 16));
  size_t offset = 12 + 16 * size_t(n);
  for (const auto& [tag, bytes] : tables) {
    Put32(out, tag);
    Put32(out, Checksum(bytes, 0, bytes.size()));
    Put32(out, uint32_t(offset));
    Put32(out, uint32_t(bytes.size()));
    offset += (bytes.size() + 3) & ~size_t(3);
  }
  for (const auto& [tag, bytes] : tables) {
    out += bytes;
    out.append(((bytes.size() + 3) & ~size_t(3)) - bytes.size(), '\0');
  }
  return out;
}

// The PostScript name (name id 6) from the 'name' table, ASCII; empty when there is none.
std::string PostScriptNameIn(const std::string& name) {
  const uint16_t count = U16(name, 2), strings = U16(name, 4);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t record = 6 + 12 * size_t(i);
    const uint16_t platform = U16(name, record), id = U16(name, record + 6);
    const size_t length = U16(name, record + 8), at = size_t(strings) + U16(name, record + 10);
    if (id != 6 || at + length > name.size()) continue;
    std::string text;
    const bool wide = platform == 0 || platform == 3;
    for (size_t k = 0; k < length; k += wide ? 2 : 1) {
      const unsigned c = wide ? U16(name, at + k) : uint8_t(name[at + k]);
      if (c > 32 && c < 127 && !std::strchr("[](){}<>/%", int(c))) text += char(c);
    }
    if (!text.empty()) return text;
  }
  return {};
}

using CreateFontPackageFn = decltype(&CreateFontPackage);

void* CFP_Allocate(size_t size) { return std::malloc(size); }
void* CFP_Reallocate(void* p, size_t size) { return std::realloc(p, size); }
void CFP_Free(void* p) { std::free(p); }

// fontsub.dll's subsetter, loaded once at run time so that the program needs nothing beyond
// the system; none when it is missing.
CreateFontPackageFn Subsetter() {
  static const CreateFontPackageFn function = [] {
    HMODULE module = LoadLibraryW(L"fontsub.dll");
    FARPROC address = module ? GetProcAddress(module, "CreateFontPackage") : nullptr;
    return reinterpret_cast<CreateFontPackageFn>(reinterpret_cast<void*>(address));
  }();
  return function;
}

class GdiFont final : public EmbeddableFont {
 public:
  explicit GdiFont(HDC dc) : dc_(dc) {
    const std::string head = TableOf(dc_, Tag("head")), hhea = TableOf(dc_, Tag("hhea")),
                      os2 = TableOf(dc_, Tag("OS/2"));
    hmtx_ = TableOf(dc_, Tag("hmtx"));
    unitsPerEm_ = std::max<int>(16, U16(head, 18));
    metrics_.xMin = S16(head, 36), metrics_.yMin = S16(head, 38);
    metrics_.xMax = S16(head, 40), metrics_.yMax = S16(head, 42);
    metrics_.ascent = S16(hhea, 4), metrics_.descent = S16(hhea, 6);
    metricCount_ = U16(hhea, 34);
    metrics_.capHeight = U16(os2, 0) >= 2 && os2.size() >= 90 ? S16(os2, 88) : metrics_.ascent;
    postScriptName_ = PostScriptNameIn(TableOf(dc_, Tag("name")));
  }
  ~GdiFont() override {
    HGDIOBJ font = SelectObject(dc_, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    DeleteDC(dc_);
  }

  std::string PostScriptName() const override { return postScriptName_.empty() ? "KelvaneFont" : postScriptName_; }
  int UnitsPerEm() const override { return unitsPerEm_; }
  FontMetrics Metrics() const override { return metrics_; }

  uint16_t GlyphFor(char32_t codePoint) override {
    if (codePoint > 0xFFFF || (codePoint >= 0xD800 && codePoint < 0xE000)) return 0;
    const wchar_t c = wchar_t(codePoint);
    WORD glyph = 0xFFFF;
    if (GetGlyphIndicesW(dc_, &c, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) return 0;
    return glyph == 0xFFFF ? 0 : glyph;
  }

  int Advance(uint16_t glyph) override {
    if (metricCount_ == 0) return 0;
    const size_t entry = std::min<size_t>(glyph, metricCount_ - 1u);
    return U16(hmtx_, 4 * entry);
  }

  std::optional<std::string> Subset(const std::vector<uint16_t>& glyphs) override;

 private:
  HDC dc_;
  std::string whole_;  // the face as a font file of its own, once asked for
  std::string hmtx_;
  std::string postScriptName_;
  int unitsPerEm_ = 1000;
  uint16_t metricCount_ = 0;
  FontMetrics metrics_;
};

// Bit 1 of the OS/2 table's fsType: restricted licence, not to be embedded.
bool MayEmbed(HDC dc) {
  const std::string os2 = TableOf(dc, Tag("OS/2"));
  return os2.size() < 10 || (U16(os2, 8) & 0x000F) != 0x0002;
}

std::optional<std::string> GdiFont::Subset(const std::vector<uint16_t>& glyphs) {
  if (!MayEmbed(dc_)) return std::nullopt;
  // Read once: every PDF of a run cuts the same face.
  if (whole_.empty()) whole_ = StandaloneFace(dc_);
  const std::string& whole = whole_;
  if (whole.empty()) return std::nullopt;
  CreateFontPackageFn subset = Subsetter();
  if (!subset) {
    std::optional<std::string> cut = KeepGlyphs(whole, glyphs);
    return cut ? cut : whole;
  }
  std::vector<unsigned short> keep(glyphs.begin(), glyphs.end());
  keep.push_back(0);  // .notdef stays
  unsigned char* out = nullptr;
  ULONG outSize = 0, written = 0;
  const ULONG failed =
      subset(reinterpret_cast<const unsigned char*>(whole.data()), ULONG(whole.size()), &out, &outSize, &written,
             TTFCFP_FLAGS_SUBSET | TTFCFP_FLAGS_GLYPHLIST, 0, TTFCFP_SUBSET, 0, TTFCFP_MS_PLATFORMID, TTFCFP_DONT_CARE,
             keep.data(), USHORT(keep.size()), CFP_Allocate, CFP_Reallocate, CFP_Free, nullptr);
  std::optional<std::string> result;
  if (failed == 0 && out && written > 12) result = std::string(reinterpret_cast<const char*>(out), written);
  CFP_Free(out);
  // A subsetter that gives the face back whole (Wine's does) or fails: cut it here.
  if (!result || result->size() >= whole.size()) result = KeepGlyphs(whole, glyphs);
  return result ? result : whole;
}

// A memory device context holding the face GDI picks for the family; nothing when that face is
// no TrueType font (its tables cannot be read).
HDC SelectFace(const std::wstring& family, bool bold, bool italic) {
  LOGFONTW lf{};
  lf.lfHeight = -1000;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  const std::wstring name = family.substr(0, LF_FACESIZE - 1);
  std::copy(name.begin(), name.end(), lf.lfFaceName);
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = dc ? CreateFontIndirectW(&lf) : nullptr;
  if (!font) {
    if (dc) DeleteDC(dc);
    return nullptr;
  }
  SelectObject(dc, font);
  if (GetFontData(dc, Tag("head"), 0, nullptr, 0) == GDI_ERROR) {
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    DeleteDC(dc);
    return nullptr;
  }
  return dc;
}

class GdiFontSource final : public FontSource {
 public:
  std::shared_ptr<EmbeddableFont> Open(std::string_view familyUtf8, bool bold, bool italic) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = std::make_tuple(std::string(familyUtf8), bold, italic);
    if (auto it = opened_.find(key); it != opened_.end()) return it->second;
    std::wstring family = Utf8ToWide(familyUtf8);
    if (family.empty()) family = kDefaultFace;
    HDC dc = SelectFace(family, bold, italic);
    if (!dc && family != kDefaultFace) dc = SelectFace(kDefaultFace, bold, italic);
    std::shared_ptr<EmbeddableFont> font = dc ? std::make_shared<GdiFont>(dc) : nullptr;
    opened_.emplace(key, font);
    return font;
  }

  std::shared_ptr<EmbeddableFont> OpenFallback(std::string_view familyUtf8, bool bold, bool italic,
                                               char32_t codePoint) override {
    for (const char* family : kFallbackFamilies) {
      if (family == familyUtf8) continue;
      std::shared_ptr<EmbeddableFont> font = Open(family, bold, italic);
      if (font && font->GlyphFor(codePoint) != 0) return font;
    }
    return nullptr;
  }

 private:
  std::mutex mutex_;
  std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<EmbeddableFont>> opened_;
};

}  // namespace

std::unique_ptr<FontSource> MakeSystemFontSource() { return std::make_unique<GdiFontSource>(); }

}  // namespace kelvane
