// Embedded images to PNG on Windows: GDI+ (or WIC) decodes them, the portable writer encodes.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvane {

// Decodes the stored bytes (BMP, JPEG or PNG, gzip data when `gzipped`) and encodes them as PNG,
// without alpha: the decoder gives none. An image of more than 25 million pixels comes out
// scaled down to that many, as the preview shows it. False when the bytes are no image it reads.
bool GdiImageAsPng(const std::vector<uint8_t>& stored, bool gzipped, std::vector<uint8_t>& png);

}  // namespace kelvane
