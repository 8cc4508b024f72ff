// The paper a drawing or sheet is printed on.
#pragma once

#include <cstdint>

#include "split/frames.h"

namespace kelvane {

// Paper size code to millimetres, landscape (0 A0 ... 4 A4, 8 2A ... 14); false for an unknown code.
bool PaperSizeMm(int32_t code, double& width, double& height);

// The page of a sheet: the frame's own paper in the frame's orientation, grown to the frame
// where the frame is larger (a frame above A0). A landscape frame takes the standard size of
// its paper code (code 8 starts from A0); a portrait frame the landscape page of the same frame
// turned, turned back (210x297 gets A4 portrait, not the A3 of its header code).
void SheetPageSize(const PaperFrame& frame, int32_t paperSize, double& width, double& height);

}  // namespace kelvane
