// The order a drawing's entities are drawn in: what the drawing asks to be drawn first
// (JwwHeader::DrawnFirst), then the rest, each part in file order.
#pragma once

#include <cstddef>
#include <vector>

#include "jww/document.h"

namespace kelvane {

enum class FirstDrawn { kNothing, kImagesAndSolids, kSolids };

FirstDrawn FirstDrawnOf(const JwwDocument& doc);

// Whether entity `e` of `l` is among what is drawn first.
bool DrawnFirst(const EntityLists& l, EntityRef e, FirstDrawn first);

// The first `count` entries of `order` (of `lists`, the drawing or a block definition) in the
// order they are drawn.
std::vector<EntityRef> DrawingOrder(const JwwDocument& doc, const EntityLists& lists,
                                    const std::vector<EntityRef>& order, size_t count);

}  // namespace kelvane
