// The image section: embedded images into memory on read, and back out for the texts that name them.
#include "jww/images.h"

#include <algorithm>
#include <limits>
#include <string>

#include "jww/document.h"
#include "jww/sections.h"

namespace kelvane {

namespace {

const char kTempPrefixSjis[] = "^@BM%temp%";

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }

// A string as UTF-16 units for comparing names. Shift_JIS bytes are widened one by one (bytes
// above 0x7F into a private range), which keeps the ASCII marker, comma and letters as they are
// and every other byte distinct from ASCII. Letters are upper-cased byte-wise, as names of
// image files compare regardless of case.
std::u16string Widened(const JwwString& s) {
  std::u16string t;
  if (s.unicode) {
    t = s.wide;
  } else {
    t.reserve(s.sjis.size());
    for (unsigned char c : s.sjis) t.push_back(char16_t(c < 0x80 ? c : 0xF700 + c));
  }
  return t;
}

// The name of an image reference text, upper-cased; empty when the text is none.
std::u16string ReferencedName(const JwwString& text) {
  const std::u16string t = Widened(text);
  if (t.size() <= 10) return {};
  for (size_t i = 0; i < 10; ++i)
    if (t[i] != char16_t(kTempPrefixSjis[i])) return {};
  size_t comma = t.find(u',', 10);
  if (comma == std::u16string::npos) return {};
  std::u16string name = t.substr(10, comma - 10);
  for (char16_t& c : name) c = AsciiUpper(c);
  return name;
}

std::u16string UpperName(const JwwString& name) {
  std::u16string t = Widened(name);
  for (char16_t& c : t) c = AsciiUpper(c);
  return t;
}

// Collects the images the texts among the first `limit` entities name.
void MarkReferences(const EmbeddedImages& images, const EntityLists& lists, const std::vector<EntityRef>& order,
                    int32_t limit, std::vector<uint32_t>& marked) {
  for (int32_t i = 0; i < limit && i < int32_t(order.size()); ++i) {
    const EntityRef& e = order[size_t(i)];
    if (e.kind != kText) continue;
    std::u16string name = ReferencedName(lists.textStrings[size_t(e.index)].text);
    if (name.empty()) continue;
    const int32_t k = images.FindReferenced(name);
    if (k >= 0) marked.push_back(uint32_t(k));
  }
}

}  // namespace

void EmbeddedImages::Clear() {
  std::vector<ImageEntry>().swap(entries_);
  std::vector<uint8_t>().swap(bytes_);
  indexed_ = false;
  std::vector<std::u16string>().swap(upper_);
  std::vector<uint32_t>().swap(sorted_);
  std::vector<uint32_t>().swap(lowest_);
  std::vector<uint32_t>().swap(stored_);
}

uint8_t* EmbeddedImages::Append(const JwwString& name, int32_t size) {
  indexed_ = false;
  ImageEntry e;
  e.name = name;
  e.size = size;
  e.offset = bytes_.size();
  entries_.push_back(std::move(e));
  if (!HasBytes(entries_.size() - 1)) return nullptr;
  bytes_.resize(bytes_.size() + size_t(size));
  return bytes_.data() + entries_.back().offset;
}

void EmbeddedImages::Add(const JwwString& name, const uint8_t* data, int32_t size) {
  uint8_t* to = Append(name, size);
  if (to) std::copy(data, data + size, to);
}

void EmbeddedImages::RemoveLast() {
  bytes_.resize(entries_.back().offset);
  entries_.pop_back();
  indexed_ = false;
}

void EmbeddedImages::BuildIndex() const {
  const size_t n = entries_.size();
  upper_.resize(n);
  for (size_t k = 0; k < n; ++k) upper_[k] = UpperName(entries_[k].name);
  sorted_.resize(n);
  for (size_t k = 0; k < n; ++k) sorted_[k] = uint32_t(k);
  std::stable_sort(sorted_.begin(), sorted_.end(), [&](uint32_t a, uint32_t b) { return upper_[a] < upper_[b]; });
  // A bottom-up tree of minima: leaves at n.., each inner node the smaller of its two children.
  lowest_.assign(2 * n, std::numeric_limits<uint32_t>::max());
  for (size_t k = 0; k < n; ++k) lowest_[n + k] = sorted_[k];
  for (size_t k = n - 1; k >= 1 && k < n; --k) lowest_[k] = std::min(lowest_[2 * k], lowest_[2 * k + 1]);
  stored_.clear();
  for (uint32_t k : sorted_)
    if (HasBytes(k)) stored_.push_back(k);
  indexed_ = true;
}

int32_t EmbeddedImages::FindReferenced(const std::u16string& upperName) const {
  if (upperName.empty() || entries_.empty()) return -1;
  if (!indexed_) BuildIndex();
  const size_t n = entries_.size();
  auto startsWith = [&](uint32_t k) { return upper_[k].compare(0, upperName.size(), upperName) == 0; };
  // Names beginning with upperName follow one another in sorted order, from the first not below it.
  const auto from = std::lower_bound(sorted_.begin(), sorted_.end(), upperName,
                                     [&](uint32_t k, const std::u16string& v) { return upper_[k] < v; });
  const auto to = std::partition_point(from, sorted_.end(), startsWith);
  size_t lo = size_t(from - sorted_.begin()) + n, hi = size_t(to - sorted_.begin()) + n;
  uint32_t best = std::numeric_limits<uint32_t>::max();
  for (; lo < hi; lo /= 2, hi /= 2) {
    if (lo & 1) best = std::min(best, lowest_[lo++]);
    if (hi & 1) best = std::min(best, lowest_[--hi]);
  }
  return best == std::numeric_limits<uint32_t>::max() ? -1 : int32_t(best);
}

int32_t EmbeddedImages::FindStored(const std::u16string& upperName) const {
  if (upperName.empty() || entries_.empty()) return -1;
  if (!indexed_) BuildIndex();
  // Equal names keep their list order in the sort, so the first equal one is the earliest.
  const auto at = std::lower_bound(stored_.begin(), stored_.end(), upperName,
                                   [&](uint32_t k, const std::u16string& v) { return upper_[k] < v; });
  return at != stored_.end() && upper_[*at] == upperName ? int32_t(*at) : -1;
}

void ReadImageSection(ByteReader& in, JwwDocument& doc) {
  EmbeddedImages& images = doc.images;
  images.Clear();
  int32_t count = in.i32();
  if (!in.ok() || count <= 0) return;
  images.Reserve(in.remaining());
  for (int32_t i = 0; i < count && in.ok(); ++i) {
    const JwwString name = ReadText(in, doc.diagnostics);
    const int32_t size = in.i32();
    if (!in.ok()) break;
    if (size < 0) {
      in.fail("negative image size");
      break;
    }
    if (uint64_t(size) > in.remaining()) {
      in.fail("image longer than the rest of the file");
      break;
    }
    // A nameless image is listed without its bytes, which the next entry is then read from.
    uint8_t* to = images.Append(name, size);
    if (to && !in.bytes(to, size_t(size))) images.RemoveLast();
  }
}

void WriteImageSection(ByteWriter& out, const JwwDocument& doc, const SheetView* sheet) {
  const EmbeddedImages& images = doc.images;
  std::vector<uint32_t> marked;
  if (!images.empty()) {
    if (sheet)
      MarkReferences(images, doc, sheet->order, int32_t(sheet->order.size()), marked);
    else
      MarkReferences(images, doc, doc.order, doc.entityCount, marked);
    for (const BlockDefinition& d : doc.blockDefs)
      MarkReferences(images, d.entities, d.entities.order, d.entities.entityCount, marked);
  }
  // In list order, each once; an image without bytes is never embedded again.
  std::sort(marked.begin(), marked.end());
  marked.erase(std::unique(marked.begin(), marked.end()), marked.end());
  std::erase_if(marked, [&](uint32_t k) { return !images.HasBytes(k); });
  out.i32(int32_t(marked.size()));
  for (uint32_t k : marked) {
    out.WriteCString(images[k].name);
    out.i32(images[k].size);
    out.bytes(images.Bytes(k), size_t(images[k].size));
  }
}

}  // namespace kelvane
