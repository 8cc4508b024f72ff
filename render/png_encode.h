// A portable PNG writer over zlib: how images leave the program where no image library writes
// them (the embedded images beside a DXF, on Windows as on Linux).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace kelvane {

// Fills `row` with row `y` (top first): width × 4 bytes of red, green, blue and alpha (straight,
// not premultiplied) when the image has alpha, width × 3 without.
using PngRowSource = std::function<void(int y, uint8_t* row)>;

// The PNG file of an image of 8-bit channels, rows filtered by the row above; false when the
// size is empty or beyond what PNG holds, or zlib fails.
bool EncodePng(int width, int height, bool alpha, const PngRowSource& rowOf, std::vector<uint8_t>& png);

}  // namespace kelvane
