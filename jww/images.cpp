// The image section: embedded images into memory on read, and back out for the texts that name them.
#include "jww/images.h"

#include <algorithm>
#include <limits>
#include <string>


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

std::u16string UpperName(const JwwString& name) {
  std::u16string t = Widened(name);
  for (char16_t& c : t) c = AsciiUpper(c);
  return t;
}

}  // namespace

std::u16string ReferencedImageName(const JwwString& text) {
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

}  // namespace kelvane
