// TrueType subsetting by glyph: 'glyf' and 'loca' rebuilt, the kept tables copied as they are.
#include "codec/glyph_subset.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace kelvane {

namespace {

uint32_t Read(std::string_view b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int k = 0; k < bytes; ++k) v = v << 8 | (at + size_t(k) < b.size() ? uint8_t(b[at + size_t(k)]) : 0);
  return v;
}

void Write(std::string& b, uint32_t v, int bytes) {
  for (int k = bytes - 1; k >= 0; --k) b += char(v >> (8 * k) & 0xFF);
}

void Pad(std::string& b) { b.append((4 - b.size() % 4) % 4, '\0'); }

// The tables a viewer needs to draw the glyphs of an embedded TrueType font, and its names. A
// document reaches glyphs by id, so the character map (the largest table of a CJK face) goes.
constexpr std::string_view kKeptTables[] = {"OS/2", "cvt ", "fpgm", "glyf", "head", "hhea",
                                            "hmtx", "loca", "maxp", "name", "prep"};

using Tables = std::map<std::string, std::string_view>;

bool ReadTables(std::string_view font, Tables& tables) {
  if (Read(font, 0, 4) != 0x00010000 && Read(font, 0, 4) != 0x74727565) return false;  // TrueType outlines
  const uint32_t count = Read(font, 4, 2);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = 12 + 16 * size_t(i);
    const size_t at = Read(font, entry + 8, 4), length = Read(font, entry + 12, 4);
    if (entry + 16 > font.size() || at > font.size() || length > font.size() - at) return false;
    tables[std::string(font.substr(entry, 4))] = font.substr(at, length);
  }
  return tables.count("head") && tables.count("loca") && tables.count("glyf") && tables.count("maxp");
}

// The glyphs composite glyph data refers to.
void AddComponents(std::string_view glyph, std::vector<uint16_t>& more) {
  if (glyph.size() < 10 || int16_t(Read(glyph, 0, 2)) >= 0) return;
  size_t at = 10;
  for (uint32_t flags = 0x20; flags & 0x20;) {  // MORE_COMPONENTS
    if (at + 4 > glyph.size()) return;
    flags = Read(glyph, at, 2);
    more.push_back(uint16_t(Read(glyph, at + 2, 2)));
    at += 4 + ((flags & 0x1) ? 4 : 2);  // ARG_1_AND_2_ARE_WORDS
    if (flags & 0x8)
      at += 2;  // WE_HAVE_A_SCALE
    else if (flags & 0x40)
      at += 4;  // WE_HAVE_AN_X_AND_Y_SCALE
    else if (flags & 0x80)
      at += 8;  // WE_HAVE_A_TWO_BY_TWO
  }
}

// The new 'glyf' and long 'loca' with only the kept glyphs' outlines, and 'hmtx' with only
// their metrics (the others zero, which compresses to nothing).
bool CutOutlines(const Tables& tables, std::vector<uint16_t> keep, std::string& glyf, std::string& loca,
                 std::string& hmtx) {
  const std::string_view head = tables.at("head"), oldLoca = tables.at("loca"), oldGlyf = tables.at("glyf");
  const uint32_t glyphs = Read(tables.at("maxp"), 4, 2);
  const bool longOffsets = Read(head, 50, 2) != 0;
  auto offset = [&](uint32_t g) { return longOffsets ? Read(oldLoca, 4 * g, 4) : 2 * Read(oldLoca, 2 * g, 2); };
  if (oldLoca.size() < (longOffsets ? 4u : 2u) * (glyphs + 1)) return false;
  std::vector<bool> kept(glyphs, false);
  keep.push_back(0);
  while (!keep.empty()) {
    const uint16_t g = keep.back();
    keep.pop_back();
    if (g >= glyphs || kept[g]) continue;
    kept[g] = true;
    const uint32_t from = offset(g), to = offset(g + 1);
    if (from > to || to > oldGlyf.size()) return false;
    AddComponents(oldGlyf.substr(from, to - from), keep);
  }
  hmtx.assign(tables.count("hmtx") ? tables.at("hmtx") : std::string_view());
  const size_t metrics = Read(tables.count("hhea") ? tables.at("hhea") : std::string_view(), 34, 2);
  for (size_t g = 0; g < glyphs; ++g)
    if (!kept[g] && g < metrics && 4 * g + 4 <= hmtx.size()) hmtx.replace(4 * g, 4, 4, '\0');
  for (uint32_t g = 0; g < glyphs; ++g) {
    Write(loca, uint32_t(glyf.size()), 4);
    if (kept[g]) {
      glyf.append(oldGlyf.substr(offset(g), offset(g + 1) - offset(g)));
      Pad(glyf);
    }
  }
  Write(loca, uint32_t(glyf.size()), 4);
  return true;
}

}  // namespace

std::optional<std::string> KeepGlyphs(const std::string& font, const std::vector<uint16_t>& glyphs) {
  Tables tables;
  if (!ReadTables(font, tables)) return std::nullopt;
  std::string glyf, loca, hmtx;
  if (!CutOutlines(tables, glyphs, glyf, loca, hmtx)) return std::nullopt;
  std::string head(tables.at("head"));
  if (head.size() < 54) return std::nullopt;
  head[50] = 0, head[51] = 1;                   // long 'loca' offsets
  head[8] = head[9] = head[10] = head[11] = 0;  // checkSumAdjustment: not kept up
  std::map<std::string, std::string_view> out;
  for (std::string_view tag : kKeptTables)
    if (auto it = tables.find(std::string(tag)); it != tables.end()) out[it->first] = it->second;
  out["glyf"] = glyf, out["loca"] = loca, out["head"] = head;
  if (!hmtx.empty()) out["hmtx"] = hmtx;

  std::string result;
  const uint16_t n = uint16_t(out.size());
  uint16_t power = 1, log2 = 0;
  while (power * 2 <= n) power = uint16_t(power * 2), ++log2;
  Write(result, 0x00010000, 4);
  Write(result, n, 2);
  Write(result, power * 16u, 2);
  Write(result, log2, 2);
  Write(result, n * 16u - power * 16u, 2);
  size_t at = 12 + 16 * size_t(n);
  for (const auto& [tag, bytes] : out) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 4) sum += Read(bytes, i, 4);
    result += tag;
    Write(result, sum, 4);
    Write(result, uint32_t(at), 4);
    Write(result, uint32_t(bytes.size()), 4);
    at += (bytes.size() + 3) & ~size_t(3);
  }
  for (const auto& [tag, bytes] : out) {
    result.append(bytes);
    Pad(result);
  }
  return result;
}

}  // namespace kelvane
