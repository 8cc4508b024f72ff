// An image as plain pixels, for a backend that stores them itself (a PDF writer).
#pragma once

#include <cstdint>
#include <vector>

namespace kelvane {

struct RasterImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;    // 3 bytes a pixel, rows top down, not premultiplied
  std::vector<uint8_t> alpha;  // 1 byte a pixel, or empty when every pixel is opaque
};

}  // namespace kelvane
