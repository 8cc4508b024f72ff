// An image a drawing embeds, as a PNG file: how DXF files carry it beside them.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvane {

// Decodes the stored bytes (BMP, JPEG or PNG, gzip data when `gzipped`) and encodes them as PNG;
// false when they are no image it can read or too large to decode.
bool ImageAsPng(const std::vector<uint8_t>& stored, bool gzipped, std::vector<uint8_t>& png);

}  // namespace kelvane
