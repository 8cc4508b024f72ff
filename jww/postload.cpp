// After a load: resolve block insertions, mark the definitions in use and number them compactly.
#include <unordered_map>

#include "jww/sections.h"

namespace kelvane {

void NormaliseBlocks(TJwwData& doc) {
  doc.BlockTree.clear();
  for (TEntJwwBlockDef& d : doc.BlockDefs) {
    d.used = false;
    d.newNumber = -1;
  }
  if (doc.BlockInsertCount() == 0) return;

  // The first definition in list order with a number is the one that number reaches.
  std::unordered_map<int32_t, int32_t> firstWithNumber;
  for (int32_t i = 0; i < doc.BlockDefCount(); ++i) firstWithNumber.try_emplace(doc.BlockDefs[size_t(i)].number(), i);
  auto resolve = [&](int32_t number) {
    auto it = firstWithNumber.find(number);
    int32_t def = it == firstWithNumber.end() ? -1 : it->second;
    if (def >= 0) doc.BlockDefs[size_t(def)].used = true;
    doc.BlockTree.push_back({number, def});
  };

  for (const BlockInsertRecord& b : doc.BlockInserts) resolve(b.blockNumber);
  // Walk the growing list. A definition is expanded once only: a definition that inserts
  // itself, directly or through others, would otherwise make the list grow without end.
  // Expanding it again could only mark definitions that are already marked.
  std::vector<bool> expanded(doc.BlockDefs.size(), false);
  for (size_t i = 0; i < doc.BlockTree.size(); ++i) {
    int32_t def = doc.BlockTree[i].definition;
    if (def < 0 || expanded[size_t(def)]) continue;
    expanded[size_t(def)] = true;
    for (const BlockInsertRecord& b : doc.BlockDefs[size_t(def)].entities.BlockInserts) resolve(b.blockNumber);
  }

  int32_t next = 0;
  for (TEntJwwBlockDef& d : doc.BlockDefs)
    if (d.used) d.newNumber = next++;
  doc.UsedBlockDefCount = next;
}

}  // namespace kelvane
