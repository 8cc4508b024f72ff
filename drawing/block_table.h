// Which block definition an insert's block number names.
#pragma once

#include <cstdint>
#include <vector>

#include "jww/document.h"

namespace kelvane {

class BlockTable {
 public:
  explicit BlockTable(const JwwDocument& doc);
  // The definition (an index into blockDefs) block number `number` names, or -1: the first
  // definition of that number, as Jw_cad takes it.
  int32_t DefinitionOf(int32_t number) const {
    return number >= 0 && size_t(number) < index_.size() ? index_[size_t(number)] : -1;
  }

 private:
  std::vector<int32_t> index_;  // block number -> definition, for numbers 0..N
};

}  // namespace kelvane
