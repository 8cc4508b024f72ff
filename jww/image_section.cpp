// The image section of a JWW file: the images the saved entities refer to, each once.
#include <algorithm>
#include <vector>

#include "jww/document.h"
#include "jww/images.h"
#include "jww/sections.h"

namespace kelvane {

namespace {

// Collects the images the texts among the first `limit` entities name.
void MarkReferences(const EmbeddedImages& images, const EntityLists& lists, const std::vector<EntityRef>& order,
                    int32_t limit, std::vector<uint32_t>& marked) {
  for (int32_t i = 0; i < limit && i < int32_t(order.size()); ++i) {
    const EntityRef& e = order[size_t(i)];
    if (e.kind != kText) continue;
    std::u16string name = ReferencedImageName(lists.textStrings[size_t(e.index)].text);
    if (name.empty()) continue;
    const int32_t k = images.FindReferenced(name);
    if (k >= 0) marked.push_back(uint32_t(k));
  }
}

}  // namespace

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
