// Images and solids drawn before the rest, when the drawing asks for it.
#include "drawing/draw_order.h"

#include <algorithm>

#include "drawing/text_layout.h"

namespace kelvane {

FirstDrawn FirstDrawnOf(const JwwDocument& doc) {
  switch (doc.header.DrawnFirst()) {
    case JwwHeader::kImagesAndSolidsFirst:
      return FirstDrawn::kImagesAndSolids;
    case JwwHeader::kSolidsFirst:
      return FirstDrawn::kSolids;
    default:
      return FirstDrawn::kNothing;
  }
}

bool DrawnFirst(const EntityLists& l, EntityRef e, FirstDrawn first) {
  const size_t i = size_t(e.index);
  if (e.kind == kSolid) return true;
  if (first != FirstDrawn::kImagesAndSolids || e.kind != kText || i >= l.textStrings.size()) return false;
  const JwwString& s = l.textStrings[i].text;
  ImageReference ref;
  return !s.empty() && CharAt(s, 0).code == '^' && ParseImageReference(s, ref);
}

std::vector<EntityRef> DrawingOrder(const JwwDocument& doc, const EntityLists& lists,
                                    const std::vector<EntityRef>& order, size_t count) {
  const FirstDrawn first = FirstDrawnOf(doc);
  count = std::min(count, order.size());
  std::vector<EntityRef> out(order.begin(), order.begin() + std::ptrdiff_t(count));
  if (first != FirstDrawn::kNothing)
    std::stable_partition(out.begin(), out.end(), [&](EntityRef e) { return DrawnFirst(lists, e, first); });
  return out;
}

}  // namespace kelvane
