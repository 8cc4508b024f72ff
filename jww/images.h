// Images embedded in drawings of version 700 on, kept in memory with the drawing that holds them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/jwwstring.h"

namespace kelvane {

struct ImageEntry {
  JwwString name;  // the image file name as stored in the drawing; it never names a file here
  int32_t size = 0;
  // Where its bytes start in the list's buffer. Only an image with a name and a size has bytes:
  // a nameless one is stored without them.
  uint64_t offset = 0;
};

// The images of one drawing. Their bytes lie one after another in one buffer, so the list is no
// larger than the file it came from however many images it holds, and nothing touches the disk.
class EmbeddedImages {
 public:
  // Empties the list and gives its memory back.
  void Clear();
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const ImageEntry& operator[](size_t i) const { return entries_[i]; }
  std::vector<ImageEntry>::const_iterator begin() const { return entries_.begin(); }
  std::vector<ImageEntry>::const_iterator end() const { return entries_.end(); }

  // Appends an image with a copy of its bytes (none for a nameless image).
  void Add(const JwwString& name, const uint8_t* data, int32_t size);
  // Appends an image and returns where its `size` bytes go; valid until the next append.
  uint8_t* Append(const JwwString& name, int32_t size);
  void RemoveLast();
  // Makes room for this many bytes of images to come.
  void Reserve(uint64_t bytes) { bytes_.reserve(bytes); }

  bool HasBytes(size_t i) const { return !entries_[i].name.empty() && entries_[i].size > 0; }
  const uint8_t* Bytes(size_t i) const { return bytes_.data() + entries_[i].offset; }

  // The first image in list order whose name, in upper-case ASCII, begins with upperName;
  // -1 when there is none or upperName is empty.
  int32_t FindReferenced(const std::u16string& upperName) const;
  // The first image in list order with bytes whose name, in upper-case ASCII, is upperName;
  // -1 when there is none.
  int32_t FindStored(const std::u16string& upperName) const;

 private:
  void BuildIndex() const;

  std::vector<ImageEntry> entries_;
  std::vector<uint8_t> bytes_;
  // Built on the first look-up: names by upper-cased order, with the lowest list position over
  // ranges of that order, so a look-up costs a logarithm rather than a walk over every image.
  mutable bool indexed_ = false;
  mutable std::vector<std::u16string> upper_;
  mutable std::vector<uint32_t> sorted_;
  mutable std::vector<uint32_t> lowest_;
  mutable std::vector<uint32_t> stored_;  // the images with bytes, in the same order
};

// The embedded image an image reference text ("^@BM%temp%NAME,...") names, upper-cased as
// FindReferenced takes it; empty when the text is no such reference.
std::u16string ReferencedImageName(const JwwString& text);

}  // namespace kelvane
