// Decoding the images drawings embed or refer to: BMP, JPEG and PNG, each possibly gzipped.
#pragma once

#include <cstdint>
#include <vector>

#include "render/raster_image.h"

namespace kelvane {

struct DecodedImage {
  int width = 0, height = 0;
  std::vector<uint32_t> argb;  // premultiplied ARGB, rows top down (cairo's ARGB32)
};

enum class DecodeResult : uint8_t { kDecoded, kNotAnImage, kTooManyPixels };

// Decodes an image of at most maxPixels pixels (and never more than 100 million); its size is
// read from the header before any pixel is.
DecodeResult DecodeImageWithin(const std::vector<uint8_t>& bytes, bool gzipped, uint64_t maxPixels,
                               DecodedImage& out);

// False when the bytes are no image these formats can read.
bool DecodeImage(const std::vector<uint8_t>& bytes, bool gzipped, DecodedImage& out);

// Scales the image down, keeping its proportions as near as whole pixels allow, until neither
// side is longer than maxSide; an image within that is left as it is.
void FitWithin(DecodedImage& image, int maxSide);

// The same pixels unpremultiplied, as RGB with an alpha plane only when some pixel is not opaque.
RasterImage ToRasterImage(const DecodedImage& image);

}  // namespace kelvane
