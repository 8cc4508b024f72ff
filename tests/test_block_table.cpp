// Block numbers to definitions: the first definition of a number, nothing for an unknown one.
#include "drawing/block_table.h"

#include <gtest/gtest.h>

#include "jww/builder.h"

namespace kelvane {
namespace {

TEST(BlockTable, TheFirstDefinitionOfANumberIsTheOneNamed) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddBlockDef(doc, 3, JwwString::Ascii("a", false));
  AddBlockDef(doc, 1, JwwString::Ascii("b", false));
  AddBlockDef(doc, 3, JwwString::Ascii("c", false));
  const BlockTable blocks(doc);
  EXPECT_EQ(blocks.DefinitionOf(3), 0);
  EXPECT_EQ(blocks.DefinitionOf(1), 1);
  for (int32_t unknown : {-1, 0, 2, 4, 2000000}) EXPECT_EQ(blocks.DefinitionOf(unknown), -1) << unknown;
}

}  // namespace
}  // namespace kelvane
