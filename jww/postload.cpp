// After a load: resolve block insertions, mark the definitions in use and number them compactly.
#include <unordered_map>

#include "jww/document.h"
#include "jww/sections.h"

namespace kelvane {

void NormaliseBlocks(JwwDocument& doc) {
  doc.blockTree.clear();
  for (BlockDefinition& d : doc.blockDefs) {
    d.used = false;
    d.newNumber = -1;
  }
  // Reset before the early return: a count left from an earlier state would be saved over
  // definitions that are no longer written.
  doc.usedBlockDefCount = 0;
  if (doc.BlockInsertCount() == 0) return;

  // The first definition in list order with a number is the one that number reaches.
  std::unordered_map<int32_t, int32_t> firstWithNumber;
  for (int32_t i = 0; i < doc.BlockDefCount(); ++i) firstWithNumber.try_emplace(doc.blockDefs[size_t(i)].number(), i);
  auto resolve = [&](int32_t number) {
    auto it = firstWithNumber.find(number);
    int32_t def = it == firstWithNumber.end() ? -1 : it->second;
    if (def >= 0) doc.blockDefs[size_t(def)].used = true;
    doc.blockTree.push_back({number, def});
  };

  for (const BlockInsertRecord& b : doc.blockInserts) resolve(b.blockNumber);
  // Walk the growing list. A definition is expanded once only: a definition that inserts
  // itself, directly or through others, would otherwise make the list grow without end.
  // Expanding it again could only mark definitions that are already marked.
  std::vector<bool> expanded(doc.blockDefs.size(), false);
  for (size_t i = 0; i < doc.blockTree.size(); ++i) {
    int32_t def = doc.blockTree[i].definition;
    if (def < 0 || expanded[size_t(def)]) continue;
    expanded[size_t(def)] = true;
    for (const BlockInsertRecord& b : doc.blockDefs[size_t(def)].entities.blockInserts) resolve(b.blockNumber);
  }

  int32_t next = 0;
  for (BlockDefinition& d : doc.blockDefs)
    if (d.used) d.newNumber = next++;
  doc.usedBlockDefCount = next;
}

}  // namespace kelvane
