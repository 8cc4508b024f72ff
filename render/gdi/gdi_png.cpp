// Embedded images to PNG on Windows, as the Linux program writes them through cairo's decoders.
#include "render/gdi/gdi_png.h"

#include "codec/png_encode.h"
#include "render/gdi/gdi_output.h"

namespace kelvane {

bool GdiImageAsPng(const std::vector<uint8_t>& stored, bool gzipped, std::vector<uint8_t>& png) {
  GdiImage image;
  if (!DecodeImageBytes(stored, gzipped, image)) return false;
  const size_t width = size_t(image.width > 0 ? image.width : 0);
  if (image.height <= 0 || image.pixels.size() != width * size_t(image.height)) return false;
  return EncodePng(image.width, image.height, false,
                   [&](int y, uint8_t* row) {
                     // Blue, green, red, unused in memory: 0x00RRGGBB as a number.
                     const uint32_t* in = image.pixels.data() + size_t(y) * width;
                     for (size_t x = 0; x < width; ++x) {
                       *row++ = uint8_t(in[x] >> 16);
                       *row++ = uint8_t(in[x] >> 8);
                       *row++ = uint8_t(in[x]);
                     }
                   },
                   png);
}

}  // namespace kelvane
