// Reads the sheet name texts into the frames' sheet fields and tests entities against a sheet's layer list.
#include "split/sheetnames.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "split/geometry.h"

namespace kelvane {
namespace {

// Characters as CharAt gives them: Shift_JIS two-byte codes (lead << 8 | trail) or code points.
using Chars = std::u32string;

// "【名】" and "【Ｌ】" in both forms.
constexpr char32_t kNameMarkSjis[] = {0x8179, 0x96BC, 0x817A};
constexpr char32_t kNameMarkWide[] = {0x3010, 0x540D, 0x3011};
constexpr char32_t kLayerMarkSjis[] = {0x8179, 0x826B, 0x817A};
constexpr char32_t kLayerMarkWide[] = {0x3010, 0xFF2C, 0x3011};

constexpr char32_t kRepeatMark = U'~';

std::u32string_view NameMark(bool unicode) {
  return unicode ? std::u32string_view(kNameMarkWide, 3) : std::u32string_view(kNameMarkSjis, 3);
}
std::u32string_view LayerMark(bool unicode) {
  return unicode ? std::u32string_view(kLayerMarkWide, 3) : std::u32string_view(kLayerMarkSjis, 3);
}

// Splitting into whole characters first makes every later search character-aligned, so a
// trail byte that happens to equal "\" or "~" is never taken for one.
Chars Decode(const JwwString& s) {
  Chars out;
  for (size_t pos = 0; pos < s.size();) {
    JwwChar c = CharAt(s, pos);
    out.push_back(c.code);
    pos += c.width;
  }
  return out;
}

JwwString Encode(std::u32string_view chars, bool unicode) {
  JwwString s = unicode ? JwwString::Wide({}) : JwwString::Sjis({});
  for (char32_t c : chars) AppendChar(s, c);
  return s;
}

// Only the ASCII blank and control characters are trimmed: the ideographic space is a character
// of the name like any other (it is not among the unusable ones either).
bool IsTrimmed(char32_t c) { return c <= 0x20; }

std::u32string_view Trim(std::u32string_view s) {
  while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

bool IsUnusable(char32_t c) {
  switch (c) {
    case U',': case U'.': case U'\\': case U'/': case U'[': case U']': case U'|': case U' ':
    case U'\'': case U'"': case U'+': case U'*': case U'<': case U'>': case U'?': case U'~':
      return true;
    default:
      return false;
  }
}

// Upper case for the repeat count: ASCII, full-width Latin, Greek and Cyrillic letters, which
// are the letters with case in the Japanese code page; the Unicode form folds the same letters.
char32_t FoldSjis(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0x8281 && c <= 0x829A) return c - 0x21;  // ａ-ｚ -> Ａ-Ｚ
  if (c >= 0x83BF && c <= 0x83D6) return c - 0x20;  // α-ω -> Α-Ω
  if (c >= 0x8470 && c <= 0x847E) return c - 0x30;  // а-н -> А-Н
  if (c >= 0x8480 && c <= 0x8491) return c - 0x31;  // о-я -> О-Я (the trail byte 0x7F is unused)
  return c;
}

char32_t FoldWide(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;  // ａ-ｚ
  if (c == 0x03C2) return 0x03A3;                    // final sigma
  if (c >= 0x03B1 && c <= 0x03C9) return c - 0x20;  // α-ω
  if (c >= 0x0430 && c <= 0x044F) return c - 0x20;  // а-я
  if (c >= 0x0450 && c <= 0x045F) return c - 0x50;  // ѐ-џ, ё among them
  return c;
}

Chars Fold(std::u32string_view s, bool unicode) {
  Chars out(s);
  for (char32_t& c : out) c = unicode ? FoldWide(c) : FoldSjis(c);
  return out;
}

// What a stored name counts as for later names: its part before the first "~", folded.
Chars RepeatKey(std::u32string_view storedName, bool unicode) {
  size_t cut = storedName.find(kRepeatMark);
  return Fold(storedName.substr(0, cut), unicode);
}

bool SheetInRange(int sheet) { return sheet >= 0 && sheet < kMaxSheetsPerFrame; }

}  // namespace

bool IsSheetNameText(const TextRecord& record, const JwwString& text) {
  if (record.attr.penColor != kAuxiliaryColor) return false;
  if (static_cast<uint32_t>(record.textType) % 100u != 0) return false;
  std::u32string_view mark = NameMark(text.unicode);
  size_t pos = 0;
  for (char32_t expected : mark) {
    if (pos >= text.size()) return false;
    JwwChar c = CharAt(text, pos);
    if (c.code != expected) return false;
    pos += c.width;
  }
  return true;
}

namespace {

void ClearSheets(PaperFrame& f) {
  f.sheetCount = 0;
  f.sheetNames.Clear();
  f.sheetLayerLists.Clear();
  f.sheetLayerGroups.fill(-1);
}

// The first frame in numbering order that holds the point strictly inside; -1 when none does.
int32_t FirstFrameHolding(const std::vector<PaperFrame>& frames, const BoxIndex& index, double x, double y,
                          std::vector<int32_t>& near) {
  index.Meeting(Box{x, y, x, y}, near);
  int32_t first = -1;
  for (int32_t j : near) {
    const PaperFrame& f = frames[size_t(j)];
    if ((first < 0 || j < first) && PointInRect(x, y, f.minX, f.minY, f.maxX, f.maxY) == kInsideRect) first = j;
  }
  return first;
}

}  // namespace

void CollectSheetNames(std::vector<PaperFrame>& frames, const JwwDocument& doc) {
  for (PaperFrame& f : frames) ClearSheets(f);

  // How many stored names share each repeat key (form, folded name before "~"): the same count
  // as walking every filled sheet, without the walk.
  std::map<std::pair<bool, Chars>, int> used;

  std::vector<Box> boxes;
  boxes.reserve(frames.size());
  for (const PaperFrame& f : frames) boxes.push_back(Box{f.minX, f.minY, f.maxX, f.maxY});
  const BoxIndex index(boxes);
  std::vector<int32_t> near;

  const size_t textCount = std::min(doc.texts.size(), doc.textStrings.size());
  for (size_t i = 0; i < textCount; ++i) {
    const TextRecord& record = doc.texts[i];
    const JwwString& text = doc.textStrings[i].text;
    if (!IsSheetNameText(record, text)) continue;
    const bool unicode = text.unicode;

    Chars all = Decode(text);
    std::u32string_view name = Trim(std::u32string_view(all).substr(NameMark(unicode).size()));
    if (name.empty()) continue;
    bool unusable = false;
    for (char32_t c : name) unusable = unusable || IsUnusable(c);
    if (unusable) continue;

    std::u32string_view layers;
    size_t d = name.find(LayerMark(unicode));
    if (d != std::u32string_view::npos) {
      layers = name.substr(d + LayerMark(unicode).size());
      name = name.substr(0, d);
    }

    // Placement first: a text that lands nowhere stores nothing and so counts for nothing.
    const int32_t first = FirstFrameHolding(frames, index, record.startX, record.startY, near);
    if (first < 0) continue;
    PaperFrame* target = &frames[size_t(first)];
    if (target->sheetCount >= kMaxSheetsPerFrame) continue;

    Chars stored(name);
    int& count = used[{unicode, RepeatKey(name, unicode)}];
    if (count > 0) {
      stored.push_back(kRepeatMark);
      for (char ch : std::to_string(count)) stored.push_back(char32_t(ch));
    }
    ++count;

    const int s = target->sheetCount;
    target->sheetNames.Set(size_t(s), Encode(stored, unicode));
    target->sheetLayerGroups[s] = record.attr.layerGroup;
    target->sheetLayerLists.Set(size_t(s), Encode(layers, unicode));
    target->sheetCount = s + 1;
  }

  for (PaperFrame& f : frames)
    if (f.sheetCount == 0) f.sheetCount = 1;
}

bool LayerRestrictionApplies(const PaperFrame& frame, int sheet) {
  return SheetInRange(sheet) && !frame.sheetLayerLists[sheet].empty() && frame.sheetLayerGroups[sheet] != -1;
}

uint16_t LayerMask(const PaperFrame& frame, int sheet) {
  if (!SheetInRange(sheet)) return 0;
  const JwwString& list = frame.sheetLayerLists[sheet];
  uint16_t mask = 0;
  for (size_t pos = 0; pos < list.size();) {
    JwwChar c = CharAt(list, pos);
    pos += c.width;
    if (c.code >= U'0' && c.code <= U'9') mask |= uint16_t(1u << (c.code - U'0'));
    if (c.code >= U'A' && c.code <= U'F') mask |= uint16_t(1u << (c.code - U'A' + 10));
  }
  return mask;
}

SheetLayerFilter MakeSheetLayerFilter(const PaperFrame& frame, int sheet) {
  SheetLayerFilter f;
  if (!SheetInRange(sheet)) return f;
  f.applies = LayerRestrictionApplies(frame, sheet);
  f.group = frame.sheetLayerGroups[sheet];
  f.mask = LayerMask(frame, sheet);
  return f;
}

}  // namespace kelvane
