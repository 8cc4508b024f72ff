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
#include <vector>

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

std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
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

// The glyph of a character beyond the Basic Multilingual Plane, from the face's UCS-4 'cmap'
// subtable (format 12): GetGlyphIndicesW takes single UTF-16 units and cannot ask for it. 0 when
// the face has none.
uint16_t SupplementaryGlyph(const std::string& cmap, char32_t codePoint) {
  const uint16_t count = U16(cmap, 2);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t record = 4 + 8 * size_t(i);
    const uint16_t platform = U16(cmap, record), encoding = U16(cmap, record + 2);
    const size_t at = U32(cmap, record + 4);
    const bool ucs4 = (platform == 3 && encoding == 10) || (platform == 0 && (encoding == 4 || encoding == 6));
    if (!ucs4 || U16(cmap, at) != 12) continue;
    size_t low = 0, high = U32(cmap, at + 12);  // groups, sorted by their first character
    while (low < high) {
      const size_t middle = low + (high - low) / 2, group = at + 16 + 12 * middle;
      if (group + 12 > cmap.size()) return 0;
      const uint32_t first = U32(cmap, group), last = U32(cmap, group + 4);
      if (codePoint < first) {
        high = middle;
      } else if (codePoint > last) {
        low = middle + 1;
      } else {
        const uint32_t glyph = U32(cmap, group + 8) + (codePoint - first);
        return glyph <= 0xFFFF ? uint16_t(glyph) : 0;
      }
    }
  }
  return 0;
}

// The glyph of a character in the face selected into `dc`; 0 when the face has none. `cmap` is
// the face's 'cmap' table, read only when the character needs it (empty: not read yet).
uint16_t GlyphIn(HDC dc, char32_t codePoint, std::string& cmap) {
  if (codePoint >= 0xD800 && codePoint < 0xE000) return 0;
  if (codePoint > 0xFFFF) {
    if (cmap.empty()) cmap = TableOf(dc, Tag("cmap"));
    return SupplementaryGlyph(cmap, codePoint);
  }
  const wchar_t c = wchar_t(codePoint);
  WORD glyph = 0xFFFF;
  if (GetGlyphIndicesW(dc, &c, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) return 0;
  return glyph == 0xFFFF ? 0 : glyph;
}

// Frees a device context made by SelectFace, with its font.
void ReleaseFace(HDC dc) {
  DeleteObject(SelectObject(dc, GetStockObject(SYSTEM_FONT)));
  DeleteDC(dc);
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
  ~GdiFont() override { ReleaseFace(dc_); }

  std::string PostScriptName() const override { return postScriptName_.empty() ? "KelvaneFont" : postScriptName_; }
  int UnitsPerEm() const override { return unitsPerEm_; }
  FontMetrics Metrics() const override { return metrics_; }

  uint16_t GlyphFor(char32_t codePoint) override {
    std::lock_guard<std::mutex> lock(cmapLock_);
    return GlyphIn(dc_, codePoint, cmap_);
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
  std::mutex cmapLock_;
  std::string cmap_;  // read at the first character beyond the Basic Multilingual Plane
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
// no TrueType font (its tables cannot be read, or it has no TrueType outlines).
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
  // Only TrueType outlines are cut down and embedded here; a CFF face (an .otf) is passed over.
  const DWORD outlines = GetFontData(dc, Tag("glyf"), 0, nullptr, 0);
  if (GetFontData(dc, Tag("head"), 0, nullptr, 0) == GDI_ERROR || outlines == GDI_ERROR || outlines == 0) {
    ReleaseFace(dc);
    return nullptr;
  }
  return dc;
}

// What GDI does to a face asked for in a weight or slant the face itself lacks: it thickens or
// slants the plain outlines. The selected face's own tables say which it lacks.
struct Simulation {
  bool bold = false, italic = false;
};
Simulation SimulationOf(HDC dc, bool bold, bool italic) {
  const std::string os2 = TableOf(dc, Tag("OS/2")), head = TableOf(dc, Tag("head"));
  const uint16_t weightClass = U16(os2, 4), selection = U16(os2, 62), macStyle = U16(head, 44);
  const bool boldFace = weightClass >= 600 || (selection & 0x0020) != 0 || (macStyle & 1) != 0;
  const bool slantedFace = (selection & 0x0201) != 0 || (macStyle & 2) != 0;  // italic or oblique
  return {bold && !boldFace, italic && !slantedFace};
}

// Whether the face in `dc` has a glyph for the character; frees the context.
bool FaceHas(HDC dc, char32_t codePoint) {
  if (!dc) return false;
  std::string cmap;
  const bool has = GlyphIn(dc, codePoint, cmap) != 0;
  ReleaseFace(dc);
  return has;
}

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM found) {
  auto& faces = *reinterpret_cast<std::pair<std::vector<std::wstring>, std::vector<std::wstring>>*>(found);
  const std::wstring name = font->lfFaceName;
  if (!(type & TRUETYPE_FONTTYPE) || name.empty() || name[0] == L'@') return 1;  // '@': drawn vertically
  std::vector<std::wstring>& list = font->lfCharSet == SHIFTJIS_CHARSET ? faces.first : faces.second;
  if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
  return 1;
}

// The installed TrueType families, Japanese ones first: where a drawing's missing characters
// are most likely found.
std::vector<std::wstring> InstalledFamilies() {
  std::pair<std::vector<std::wstring>, std::vector<std::wstring>> found;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return {};
  LOGFONTW all{};
  all.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc, &all, CollectFace, reinterpret_cast<LPARAM>(&found), 0);
  DeleteDC(dc);
  std::vector<std::wstring> families = found.first;
  for (const std::wstring& name : found.second)
    if (std::find(families.begin(), families.end(), name) == families.end()) families.push_back(name);
  return families;
}

// Whether a family name is written in ASCII only: Jw_cad's Japanese families are not, and a face
// standing in for one of them should draw Japanese.
bool IsAsciiName(const std::wstring& family) {
  return std::all_of(family.begin(), family.end(), [](wchar_t c) { return c < 0x80; });
}

class GdiFontSource final : public FontSource {
 public:
  std::shared_ptr<EmbeddableFont> Open(std::string_view familyUtf8, bool bold, bool italic) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return OpenLocked(std::string(familyUtf8), bold, italic);
  }

  // The family's own face first, then the faces of the fallback list, then every installed face,
  // Japanese ones first: a character some face has is never drawn as missing.
  std::shared_ptr<EmbeddableFont> OpenFallback(std::string_view familyUtf8, bool bold, bool italic,
                                               char32_t codePoint) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto known = fallbackFamily_.find(codePoint);
    if (known == fallbackFamily_.end()) known = fallbackFamily_.emplace(codePoint, FamilyWith(familyUtf8, codePoint)).first;
    return known->second.empty() ? nullptr : OpenLocked(known->second, bold, italic);
  }

 private:
  std::shared_ptr<EmbeddableFont> OpenLocked(const std::string& familyUtf8, bool bold, bool italic) {
    const auto key = std::make_tuple(familyUtf8, bold, italic);
    if (auto it = opened_.find(key); it != opened_.end()) return it->second;
    std::shared_ptr<EmbeddableFont> font;
    HDC dc = SelectStandIn(familyUtf8, bold, italic);
    const Simulation simulated = dc ? SimulationOf(dc, bold, italic) : Simulation{};
    if (dc && !simulated.bold && !simulated.italic) {
      font = std::make_shared<GdiFont>(dc);
    } else if (dc) {
      // Drawn from the plain face's outlines, so a document embeds that program once.
      ReleaseFace(dc);
      std::shared_ptr<EmbeddableFont> plain =
          OpenLocked(familyUtf8, bold && !simulated.bold, italic && !simulated.italic);
      if (plain) font = std::make_shared<SyntheticFont>(plain, simulated.bold, simulated.italic);
    }
    opened_.emplace(key, font);
    return font;
  }

  // The face GDI picks for the family; when the family is not installed and GDI's stand-in draws
  // no Japanese for a Japanese name, or no face can be read, the first installed Japanese face.
  HDC SelectStandIn(const std::string& familyUtf8, bool bold, bool italic) {
    std::wstring family = Utf8ToWide(familyUtf8);
    if (family.empty()) family = kDefaultFace;
    HDC dc = SelectFace(family, bold, italic);
    if (!dc && family != kDefaultFace) dc = SelectFace(kDefaultFace, bold, italic);
    std::string cmap;
    if (dc && (IsAsciiName(family) || GlyphIn(dc, U'\u3042', cmap) != 0)) return dc;
    for (const std::wstring& installed : Installed()) {
      if (!FaceHas(SelectFace(installed, false, false), U'\u3042')) continue;
      if (HDC japanese = SelectFace(installed, bold, italic)) {
        if (dc) ReleaseFace(dc);
        return japanese;
      }
    }
    return dc;
  }

  // The first family of the chain whose face, as Open gives it, has the character.
  std::string FamilyWith(std::string_view familyUtf8, char32_t codePoint) {
    if (codePoint == 0) return {};
    for (const char* family : kFallbackFamilies)
      if (family != familyUtf8 && FaceHas(SelectStandIn(family, false, false), codePoint)) return family;
    for (const std::wstring& family : Installed()) {
      const std::string name = WideToUtf8(family);
      if (FaceHas(SelectStandIn(name, false, false), codePoint)) return name;
    }
    return {};
  }

  const std::vector<std::wstring>& Installed() {
    if (!installedRead_) installed_ = InstalledFamilies(), installedRead_ = true;
    return installed_;
  }

  std::mutex mutex_;
  std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<EmbeddableFont>> opened_;
  std::map<char32_t, std::string> fallbackFamily_;  // per character: the family that has it, or ""
  std::vector<std::wstring> installed_;
  bool installedRead_ = false;
};

}  // namespace

std::unique_ptr<FontSource> MakeSystemFontSource() { return std::make_unique<GdiFontSource>(); }

}  // namespace kelvane
