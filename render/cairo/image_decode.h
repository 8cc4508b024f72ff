// Decoding the images drawings embed or refer to: BMP, JPEG and PNG, each possibly gzipped.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvane {

struct DecodedImage {
  int width = 0, height = 0;
  std::vector<uint32_t> argb;  // premultiplied ARGB, rows top down (cairo's ARGB32)
};

// False when the bytes are no image these formats can read.
bool DecodeImage(const std::vector<uint8_t>& bytes, bool gzipped, DecodedImage& out);

}  // namespace kelvane
