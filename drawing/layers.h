// Which of a drawing's layers show on screen and on paper.
#pragma once

#include <array>

#include "jww/document.h"

namespace kelvane {

// The 256 layers by key (group · 16 + layer): shown when neither the group nor the layer is
// hidden; when `printed`, display-only groups and layers (state 1) are left off too if the
// drawing leaves those off the print (JwwHeader::PrintsDisplayOnlyLayers).
std::array<bool, 256> ShownLayers(const JwwDocument& doc, bool printed);

}  // namespace kelvane
