// Layer and group states as the screen and the print take them.
#include "drawing/layers.h"

namespace kelvane {

std::array<bool, 256> ShownLayers(const JwwDocument& doc, bool printed) {
  const bool skipDisplayOnly = printed && !doc.header.PrintsDisplayOnlyLayers();
  auto shown = [&](int32_t state) { return state != 0 && !(skipDisplayOnly && state == 1); };
  std::array<bool, 256> out{};
  for (size_t key = 0; key < 256; ++key) {
    const size_t g = key / 16;
    const bool group = g < doc.layerGroups.size() ? shown(doc.layerGroups[g].state) : true;
    const bool layer = key < doc.layers.size() ? shown(doc.layers[key].state) : true;
    out[key] = group && layer;
  }
  return out;
}

}  // namespace kelvane
