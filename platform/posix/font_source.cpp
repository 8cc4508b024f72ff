// Linux fonts for documents: found through fontconfig with Kelvane's own font names (the mapping
// the pictures draw with), measured and cut down by HarfBuzz.
#include "platform/font_source.h"

#include <fontconfig/fontconfig.h>
#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>

extern const char kKelvaneFontsConf[];  // platform/posix/fonts.conf, built in

namespace kelvane {

namespace {

uint16_t BigEndian16(const char* p) { return uint16_t(uint8_t(p[0]) << 8 | uint8_t(p[1])); }

// A table's bytes, or an empty view when the face has none.
std::string TableOf(hb_face_t* face, hb_tag_t tag) {
  hb_blob_t* blob = hb_face_reference_table(face, tag);
  unsigned int length = 0;
  const char* data = hb_blob_get_data(blob, &length);
  std::string bytes(data ? data : "", data ? length : 0);
  hb_blob_destroy(blob);
  return bytes;
}

// A PostScript name as a PDF name may carry it: printable ASCII without delimiters.
std::string CleanName(const std::string& name) {
  std::string clean;
  for (char c : name)
    if (c > ' ' && c < 127 && std::string_view("()<>[]{}/%#").find(c) == std::string_view::npos) clean += c;
  return clean.empty() ? "Font" : clean;
}

// Subsets of one face cut from the face itself before it is prepared for cutting (measured with
// IPA Gothic: preparing takes about 20 ms, and saves 1.5 to 2 ms on every later subset).
constexpr int kSubsetsBeforePreparing = 10;

// Reads a bare CFF program: its INDEXes, its Top DICT and its charset. Out-of-range reads give
// -1 (a byte) or 0, so a damaged program gives no CIDs rather than a fault.
class CffReader {
 public:
  explicit CffReader(std::string_view cff) : cff_(cff) {}

  // The CIDs of a CID-keyed program's glyphs, by glyph id; empty when the program is not
  // CID-keyed (its glyphs are shown by glyph id) or cannot be read.
  std::vector<uint16_t> CidsOfGlyphs() const {
    if (cff_.size() < 4) return {};
    const Index names = IndexAt(size_t(Byte(2)));
    const Index top = IndexAt(names.end);
    if (top.count == 0 || top.end > cff_.size()) return {};
    const TopDict dict = ReadTopDict(top.data + Card(top.offsets, top.offSize),
                                     top.data + Card(top.offsets + size_t(top.offSize), top.offSize));
    if (!dict.cidKeyed || dict.charset <= 2 || dict.charStrings <= 0 || size_t(dict.charStrings) >= cff_.size())
      return {};
    return CharsetCids(size_t(dict.charset), Card(size_t(dict.charStrings), 2));
  }

 private:
  // An INDEX: its count, where its offsets and its data start and where it ends.
  struct Index {
    uint32_t count = 0;
    size_t offsets = 0, data = 0, end = 0;
    int offSize = 0;
  };
  // What the Top DICT says: whether it names a registry (ROS, 12 30), and where the charset and
  // the CharStrings are.
  struct TopDict {
    bool cidKeyed = false;
    long charset = 0, charStrings = 0;
  };

  int Byte(size_t at) const { return at < cff_.size() ? uint8_t(cff_[at]) : -1; }
  uint32_t Card(size_t at, int size) const {
    uint32_t v = 0;
    for (int k = 0; k < size; ++k) v = v << 8 | uint32_t(std::max(Byte(at + size_t(k)), 0));
    return v;
  }

  Index IndexAt(size_t at) const {
    Index x;
    x.count = Card(at, 2);
    if (x.count == 0) {
      x.end = at + 2;
      return x;
    }
    x.offSize = Byte(at + 2);
    if (x.offSize < 1 || x.offSize > 4) return Index{0, 0, 0, cff_.size() + 1};
    x.offsets = at + 3;
    x.data = x.offsets + size_t(x.count + 1) * size_t(x.offSize) - 1;
    x.end = x.data + Card(x.offsets + size_t(x.count) * size_t(x.offSize), x.offSize);
    return x;
  }

  // One DICT operand at `at`, appended to `operands`; the position after it.
  size_t Operand(size_t at, size_t to, std::vector<long>& operands) const {
    const int b0 = Byte(at);
    if (b0 == 28) return operands.push_back(int16_t(Card(at + 1, 2))), at + 3;
    if (b0 == 29) return operands.push_back(int32_t(Card(at + 1, 4))), at + 5;
    if (b0 == 30) {  // a real: skipped to its end nibble
      for (++at; at < to && (Byte(at) & 0x0F) != 0x0F && (Byte(at) >> 4) != 0x0F; ++at) {}
      return operands.push_back(0), at + 1;
    }
    if (b0 >= 32 && b0 <= 246) return operands.push_back(b0 - 139), at + 1;
    if (b0 >= 247 && b0 <= 250) return operands.push_back((b0 - 247) * 256 + Byte(at + 1) + 108), at + 2;
    return operands.push_back(-(b0 - 251) * 256 - Byte(at + 1) - 108), at + 2;
  }

  TopDict ReadTopDict(size_t from, size_t to) const {
    TopDict dict;
    std::vector<long> operands;
    for (size_t at = from; at < to && at < cff_.size();) {
      const int b0 = Byte(at);
      if (b0 >= 28 && b0 != 31 && b0 != 255) {
        at = Operand(at, to, operands);
        continue;
      }
      const int op = b0 == 12 ? 1200 + Byte(at + 1) : b0;
      at += b0 == 12 ? 2 : 1;
      if (op == 1230) dict.cidKeyed = true;
      if (op == 15 && !operands.empty()) dict.charset = operands.back();
      if (op == 17 && !operands.empty()) dict.charStrings = operands.back();
      operands.clear();
    }
    return dict;
  }

  std::vector<uint16_t> CharsetCids(size_t at, uint32_t glyphs) const {
    std::vector<uint16_t> cids(glyphs, 0);
    const int format = Byte(at++);
    for (uint32_t g = 1; g < glyphs;) {
      if (at >= cff_.size()) return {};
      if (format == 0) {
        cids[g++] = uint16_t(Card(at, 2)), at += 2;
        continue;
      }
      if (format != 1 && format != 2) return {};
      const uint32_t first = Card(at, 2), left = Card(at + 2, format == 1 ? 1 : 2);
      at += format == 1 ? 3 : 4;
      for (uint32_t k = 0; k <= left && g < glyphs; ++k) cids[g++] = uint16_t(first + k);
    }
    return cids;
  }

  std::string_view cff_;
};

class HarfBuzzFont final : public EmbeddableFont {
 public:
  // Shared by every thread writing a document: HarfBuzz reads an immutable face and font from
  // any thread, and a subset is a new face of its own.
  HarfBuzzFont(hb_face_t* face, std::string fallbackName) : face_(face), font_(hb_font_create(face)) {
    hb_face_make_immutable(face_);
    hb_font_make_immutable(font_);
    // Read in place: a CJK face's CFF program is megabytes.
    hb_blob_t* cff = hb_face_reference_table(face_, HB_TAG('C', 'F', 'F', ' '));
    unsigned int length = 0;
    const char* data = hb_blob_get_data(cff, &length);
    cff_ = data && length > 0;
    if (cff_) cidOfGlyph_ = CffReader(std::string_view(data, length)).CidsOfGlyphs();
    hb_blob_destroy(cff);
    for (size_t g = 0; g < cidOfGlyph_.size(); ++g) glyphOfCid_.emplace(cidOfGlyph_[g], uint16_t(g));
    if (!cidOfGlyph_.empty()) glyphOfCid_[0] = 0;
    char name[256];
    unsigned int size = sizeof name;
    if (hb_ot_name_get_utf8(face_, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &size, name) > 0)
      name_ = CleanName(name);
    else
      name_ = CleanName(fallbackName);
  }
  ~HarfBuzzFont() override {
    if (prepared_) hb_face_destroy(prepared_);
    hb_font_destroy(font_);
    hb_face_destroy(face_);
  }
  HarfBuzzFont(const HarfBuzzFont&) = delete;
  HarfBuzzFont& operator=(const HarfBuzzFont&) = delete;

  std::string PostScriptName() const override { return name_; }
  int UnitsPerEm() const override { return int(hb_face_get_upem(face_)); }

  FontMetrics Metrics() const override {
    FontMetrics m;
    hb_font_extents_t extents{};
    hb_font_get_h_extents(font_, &extents);
    m.ascent = extents.ascender;
    m.descent = extents.descender;
    hb_position_t cap = 0;
    m.capHeight = hb_ot_metrics_get_position(font_, HB_OT_METRICS_TAG_CAP_HEIGHT, &cap) ? cap : m.ascent;
    const std::string head = TableOf(face_, HB_TAG('h', 'e', 'a', 'd'));
    if (head.size() >= 44) {
      m.xMin = int16_t(BigEndian16(&head[36])), m.yMin = int16_t(BigEndian16(&head[38]));
      m.xMax = int16_t(BigEndian16(&head[40])), m.yMax = int16_t(BigEndian16(&head[42]));
    }
    return m;
  }

  uint16_t GlyphFor(char32_t codePoint) override {
    hb_codepoint_t glyph = 0;
    if (!hb_font_get_nominal_glyph(font_, codePoint, &glyph) || glyph > 0xFFFF) return 0;
    if (cidOfGlyph_.empty()) return uint16_t(glyph);
    return glyph < cidOfGlyph_.size() ? cidOfGlyph_[glyph] : 0;
  }

  int Advance(uint16_t glyph) override { return hb_font_get_glyph_h_advance(font_, GlyphId(glyph)); }

  std::optional<std::string> Subset(const std::vector<uint16_t>& glyphs) override;
  FontProgramKind ProgramKind() const override { return cff_ ? FontProgramKind::kCff : FontProgramKind::kTrueType; }

 private:
  // The face to cut down from: after the first kSubsetsBeforePreparing subsets, the face as
  // HarfBuzz prepares it for cutting (its tables parsed once, for every later subset of the
  // process). Preparing a large CJK face costs about ten subsets' time and the face's size in
  // memory, so a run that cuts a face a few times (one drawing) does not pay for it; a batch does.
  hb_face_t* SubsetSource();

  // The glyph id of what the document calls a glyph (a CID in a CID-keyed face).
  hb_codepoint_t GlyphId(uint16_t glyph) const {
    if (cidOfGlyph_.empty()) return glyph;
    auto it = glyphOfCid_.find(glyph);
    return it == glyphOfCid_.end() ? 0 : it->second;
  }

  hb_face_t* face_;
  hb_font_t* font_;
  std::string name_;
  // Set once, by the constructor: read from every thread.
  bool cff_ = false;
  std::vector<uint16_t> cidOfGlyph_;  // by glyph id, for a CID-keyed CFF face
  std::unordered_map<uint16_t, uint16_t> glyphOfCid_;
  std::mutex mutex_;  // guards the ones below
  int subsets_ = 0;
  bool preparing_ = false, unpreparable_ = false;
  hb_face_t* prepared_ = nullptr;
};

// The licence bits of the face's OS/2 table: 2 forbids embedding, 0x100 cutting down, 0x200
// allows only bitmaps (which a TrueType program does not carry).
uint16_t EmbeddingBits(hb_face_t* face) {
  const std::string os2 = TableOf(face, HB_TAG('O', 'S', '/', '2'));
  return os2.size() >= 10 ? BigEndian16(&os2[8]) : 0;
}

std::string WholeFace(hb_face_t* face) {
  hb_blob_t* blob = hb_face_reference_blob(face);
  unsigned int length = 0;
  const char* data = hb_blob_get_data(blob, &length);
  std::string bytes(data ? data : "", data ? length : 0);
  hb_blob_destroy(blob);
  return bytes;
}

hb_face_t* HarfBuzzFont::SubsetSource() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (prepared_) return prepared_;
    // While one thread prepares the face, the others go on cutting from the face itself.
    if (unpreparable_ || preparing_ || ++subsets_ <= kSubsetsBeforePreparing) return face_;
    preparing_ = true;
  }
  hb_face_t* prepared = hb_subset_preprocess(face_);
  // It answers the face itself when it cannot prepare it.
  const bool failed = !prepared || prepared == face_ || prepared == hb_face_get_empty();
  if (!failed) hb_face_make_immutable(prepared);
  std::lock_guard<std::mutex> lock(mutex_);
  preparing_ = false;
  unpreparable_ = failed;
  if (failed) return face_;
  return prepared_ = prepared;
}

std::optional<std::string> HarfBuzzFont::Subset(const std::vector<uint16_t>& glyphs) {
  const uint16_t bits = EmbeddingBits(face_);
  if ((bits & 0x000F) == 0x0002 || (bits & 0x0200)) return std::nullopt;
  // A face inside a collection is cut out even when it may not be cut down, so that the
  // program is one face.
  hb_subset_input_t* input = hb_subset_input_create_or_fail();
  if (!input) return WholeFace(face_);
  hb_set_t* set = hb_subset_input_glyph_set(input);
  hb_set_add(set, 0);
  for (uint16_t g : glyphs) hb_set_add(set, GlyphId(g));
  if (bits & 0x0100) hb_set_add_range(set, 0, hb_face_get_glyph_count(face_));
  // Glyphs keep their ids, by which a document shows them; a CID-keyed CFF face is shown by its
  // CIDs, which its cut-down charset keeps, so its glyphs may close up (tens of thousands of empty
  // glyphs would cost a CJK subset a hundred kilobytes).
  hb_subset_input_set_flags(input, (cidOfGlyph_.empty() ? HB_SUBSET_FLAGS_RETAIN_GIDS : HB_SUBSET_FLAGS_DEFAULT) |
                                       HB_SUBSET_FLAGS_NO_HINTING);
  // A document shows glyphs by id: the layout and vertical tables only add bytes.
  hb_set_t* drop = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
  for (hb_tag_t tag : {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
                       HB_TAG('B', 'A', 'S', 'E'), HB_TAG('v', 'h', 'e', 'a'), HB_TAG('v', 'm', 't', 'x'),
                       HB_TAG('V', 'O', 'R', 'G'), HB_TAG('J', 'S', 'T', 'F'), HB_TAG('D', 'S', 'I', 'G')})
    hb_set_add(drop, tag);
  hb_face_t* cut = hb_subset_or_fail(SubsetSource(), input);
  hb_subset_input_destroy(input);
  // A CFF face goes into a document as its bare CFF program, which keeps the glyphs' CIDs.
  if (cff_) {
    std::string program = TableOf(cut ? cut : face_, HB_TAG('C', 'F', 'F', ' '));
    if (cut) hb_face_destroy(cut);
    if (program.empty()) program = TableOf(face_, HB_TAG('C', 'F', 'F', ' '));
    return program;
  }
  if (!cut) return WholeFace(face_);
  std::string bytes = WholeFace(cut);
  hb_face_destroy(cut);
  return bytes.empty() ? WholeFace(face_) : bytes;
}

// A font fontconfig chose: its file, its face in it, and what the screen makes of it.
struct MatchedFace {
  std::string file;
  int index = 0;
  bool embolden = false, slant = false;
};

// Fontconfig with the project's font names, and the faces opened so far (one per file and index,
// shared by every family that falls back to it).
class FontconfigSource final : public FontSource {
 public:
  FontconfigSource() : config_(FcInitLoadConfigAndFonts()) {
    if (config_) FcConfigParseAndLoadFromMemory(config_, reinterpret_cast<const FcChar8*>(kKelvaneFontsConf), FcTrue);
  }
  ~FontconfigSource() override {
    fallbacks_.clear();
    if (config_) FcConfigDestroy(config_);
  }
  FontconfigSource(const FontconfigSource&) = delete;
  FontconfigSource& operator=(const FontconfigSource&) = delete;

  std::shared_ptr<EmbeddableFont> Open(std::string_view familyUtf8, bool bold, bool italic) override;
  std::shared_ptr<EmbeddableFont> OpenFallback(std::string_view familyUtf8, bool bold, bool italic,
                                               char32_t codePoint) override;

 private:
  FcPattern* PatternFor(std::string_view familyUtf8, bool bold, bool italic);
  bool Match(std::string_view family, bool bold, bool italic, MatchedFace& face);
  FcFontSet* FallbackFonts(std::string_view family, bool bold, bool italic, FcPattern*& pattern);
  std::shared_ptr<EmbeddableFont> FirstLoadable(std::string_view family, bool bold, bool italic, char32_t codePoint);
  std::shared_ptr<EmbeddableFont> Load(const MatchedFace& matched, std::string_view family);

  std::mutex lock_;  // fontconfig's config and the cache are shared by every thread writing
  FcConfig* config_;
  std::map<std::pair<std::string, int>, std::shared_ptr<EmbeddableFont>> faces_;
  std::set<std::pair<std::string, int>> unloadable_;  // tried once, not embeddable
  std::map<std::tuple<std::string, int, bool, bool>, std::shared_ptr<EmbeddableFont>> synthetic_;
  struct FallbackOrder {
    std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern{nullptr, FcPatternDestroy};
    std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> fonts{nullptr, FcFontSetDestroy};
  };
  std::map<std::string, FallbackOrder> fallbacks_;  // by weight, slant and family
  std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<EmbeddableFont>> opened_;  // what Open answered
};

// The family's pattern after the configuration's substitutions (the project's names and the
// fallbacks after them), as pango asks for it; an empty name is IPA Gothic, as the pictures draw it.
FcPattern* FontconfigSource::PatternFor(std::string_view familyUtf8, bool bold, bool italic) {
  const std::string family = familyUtf8.empty() ? "IPAGothic" : std::string(familyUtf8);
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  return pattern;
}

// The face a matched pattern names, and whether fontconfig asks for it thickened or slanted (as
// its synthetic rules do for a face without a bold or italic of its own).
bool FileOf(FcPattern* font, MatchedFace& face) {
  FcChar8* path = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &path) != FcResultMatch || !path) return false;
  face.file = reinterpret_cast<const char*>(path);
  if (FcPatternGetInteger(font, FC_INDEX, 0, &face.index) != FcResultMatch) face.index = 0;
  FcBool embolden = FcFalse;
  face.embolden = FcPatternGetBool(font, FC_EMBOLDEN, 0, &embolden) == FcResultMatch && embolden;
  FcMatrix* matrix = nullptr;
  face.slant = FcPatternGetMatrix(font, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix && matrix->xy != 0;
  return true;
}

// The file and face index fontconfig draws the family in.
bool FontconfigSource::Match(std::string_view family, bool bold, bool italic, MatchedFace& face) {
  if (!config_) return false;
  FcPattern* pattern = PatternFor(family, bold, italic);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  const bool found = FileOf(match, face);
  FcPatternDestroy(match);
  return found;
}

// The faces in fontconfig's order for the family, as pango goes through them: made once per
// family, weight and slant, so that a drawing of many characters no face of its family has asks
// for it once each.
FcFontSet* FontconfigSource::FallbackFonts(std::string_view family, bool bold, bool italic, FcPattern*& pattern) {
  if (!config_) return nullptr;
  FallbackOrder& order = fallbacks_[std::string(bold ? "b" : "-") + (italic ? "i" : "-") + std::string(family)];
  if (!order.pattern) {
    order.pattern.reset(PatternFor(family, bold, italic));
    FcResult result = FcResultNoMatch;
    order.fonts.reset(FcFontSort(config_, order.pattern.get(), FcTrue, nullptr, &result));
  }
  pattern = order.pattern.get();
  return order.fonts.get();
}

// The first face in that order that has the character (any character when it is 0) and can be
// embedded: one that cannot be loaded (a Type 1 or bitmap file) passes to the next.
std::shared_ptr<EmbeddableFont> FontconfigSource::FirstLoadable(std::string_view family, bool bold, bool italic,
                                                                char32_t codePoint) {
  FcPattern* pattern = nullptr;
  FcFontSet* fonts = FallbackFonts(family, bold, italic, pattern);
  for (int k = 0; fonts && k < fonts->nfont; ++k) {
    FcCharSet* chars = nullptr;
    if (codePoint != 0 && (FcPatternGetCharSet(fonts->fonts[k], FC_CHARSET, 0, &chars) != FcResultMatch ||
                           !FcCharSetHasChar(chars, codePoint)))
      continue;
    FcPattern* font = FcFontRenderPrepare(config_, pattern, fonts->fonts[k]);
    MatchedFace matched;
    const bool found = font && FileOf(font, matched);
    if (font) FcPatternDestroy(font);
    if (!found) continue;
    std::shared_ptr<EmbeddableFont> face = Load(matched, family);
    if (face && (codePoint == 0 || face->GlyphFor(codePoint) != 0)) return face;
  }
  return nullptr;
}

std::shared_ptr<EmbeddableFont> FontconfigSource::Load(const MatchedFace& matched, std::string_view family) {
  if (matched.embolden || matched.slant) {
    std::shared_ptr<EmbeddableFont>& styled = synthetic_[{matched.file, matched.index, matched.embolden, matched.slant}];
    if (!styled) {
      MatchedFace plain = matched;
      plain.embolden = plain.slant = false;
      if (std::shared_ptr<EmbeddableFont> face = Load(plain, family))
        styled = std::make_shared<SyntheticFont>(face, matched.embolden, matched.slant);
    }
    return styled;
  }
  std::shared_ptr<EmbeddableFont>& face = faces_[{matched.file, matched.index}];
  if (face || unloadable_.count({matched.file, matched.index})) return face;
  unloadable_.insert({matched.file, matched.index});  // until it has loaded
  hb_blob_t* blob = hb_blob_create_from_file_or_fail(matched.file.c_str());
  if (!blob) return nullptr;
  hb_face_t* hbFace = hb_face_create(blob, unsigned(matched.index));
  hb_blob_destroy(blob);
  // TrueType and CFF outlines go into a document (a variable CFF2 face or a Type 1 file does not).
  bool outlines = false;
  for (hb_tag_t tag : {HB_TAG('g', 'l', 'y', 'f'), HB_TAG('C', 'F', 'F', ' ')}) {
    hb_blob_t* table = hb_face_reference_table(hbFace, tag);
    outlines = outlines || hb_blob_get_length(table) > 0;
    hb_blob_destroy(table);
  }
  if (!outlines || hb_face_get_upem(hbFace) == 0 || hb_face_get_glyph_count(hbFace) == 0) {
    hb_face_destroy(hbFace);
    return nullptr;
  }
  face = std::make_shared<HarfBuzzFont>(hbFace, std::string(family));
  unloadable_.erase({matched.file, matched.index});
  return face;
}

std::shared_ptr<EmbeddableFont> FontconfigSource::Open(std::string_view familyUtf8, bool bold, bool italic) {
  std::lock_guard<std::mutex> guard(lock_);
  // Asked by every document for each of its families: matched once for the process.
  const auto key = std::make_tuple(std::string(familyUtf8), bold, italic);
  if (auto known = opened_.find(key); known != opened_.end()) return known->second;
  MatchedFace matched;
  std::shared_ptr<EmbeddableFont> face = Match(familyUtf8, bold, italic, matched) ? Load(matched, familyUtf8) : nullptr;
  // The family's face cannot be embedded: the next one in the screen's order stands for it.
  if (!face) face = FirstLoadable(familyUtf8, bold, italic, 0);
  return opened_[key] = face;
}

std::shared_ptr<EmbeddableFont> FontconfigSource::OpenFallback(std::string_view familyUtf8, bool bold, bool italic,
                                                               char32_t codePoint) {
  std::lock_guard<std::mutex> guard(lock_);
  if (codePoint == 0) return nullptr;
  return FirstLoadable(familyUtf8, bold, italic, codePoint);
}

}  // namespace

std::unique_ptr<FontSource> MakeSystemFontSource() { return std::make_unique<FontconfigSource>(); }

}  // namespace kelvane
