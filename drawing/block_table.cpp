// The block numbers of a drawing, indexed once.
#include "drawing/block_table.h"

namespace kelvane {

BlockTable::BlockTable(const JwwDocument& doc) {
  // Numbers beyond a million are no drawing's: an index that large would be memory for nothing.
  for (size_t i = 0; i < doc.blockDefs.size(); ++i) {
    const int32_t n = doc.blockDefs[i].number();
    if (n < 0 || n > 1000000) continue;
    if (size_t(n) >= index_.size()) index_.resize(size_t(n) + 1, -1);
    if (index_[size_t(n)] < 0) index_[size_t(n)] = int32_t(i);
  }
}

}  // namespace kelvane
