// Embedded images to PNG: the cairo backend's decoders, and the portable PNG writer that the
// Windows program uses too.
#include "app/pictures/png_image.h"

#include <algorithm>

#include "codec/png_encode.h"
#include "render/image_decode.h"
#include "drawing/image_source.h"

namespace kelvane {

bool ImageAsPng(const std::vector<uint8_t>& stored, bool gzipped, std::vector<uint8_t>& png) {
  DecodedImage image;
  if (DecodeImageWithin(stored, gzipped, kImagePixelBudget, image) != DecodeResult::kDecoded) return false;
  const size_t width = size_t(std::max(0, image.width));
  if (image.argb.size() != width * size_t(std::max(0, image.height))) return false;
  // An image with no transparent pixel is written without alpha: a smaller file, the same image.
  const bool alpha = std::any_of(image.argb.begin(), image.argb.end(), [](uint32_t p) { return p >> 24 != 0xFF; });
  return EncodePng(image.width, image.height, alpha,
                   [&](int y, uint8_t* row) {
                     const uint32_t* in = image.argb.data() + size_t(y) * width;
                     for (size_t x = 0; x < width; ++x) {
                       const uint32_t p = in[x], a = p >> 24;
                       uint32_t rgb[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
                       // Cairo's pixels are premultiplied; PNG's are not.
                       if (a != 0xFF)
                         for (uint32_t& c : rgb) c = a == 0 ? 0 : std::min<uint32_t>(255, (c * 255 + a / 2) / a);
                       for (uint32_t c : rgb) *row++ = uint8_t(c);
                       if (alpha) *row++ = uint8_t(a);
                     }
                   },
                   png);
}

}  // namespace kelvane
