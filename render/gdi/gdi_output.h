// The GDI backend: replays a display list into a device context, as the cairo backend draws it
// into a PNG.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "drawing/image_source.h"
#include "render/display_list.h"

namespace kelvane {

// Where the page lands on the device: pixels per millimetre, and the device position of the
// page's upper-left corner. Device y grows downwards, the list's upwards.
struct GdiView {
  double pixelsPerMm = 1;
  double left = 0, top = 0;
};

// The view that shows the whole page centred in a client area of the given size, with a margin
// of `margin` pixels on every side.
GdiView FitView(const DisplayList& list, int width, int height, int margin);

// A decoded raster image: 32-bit pixels (blue, green, red, unused), rows top down.
struct GdiImage {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// Decodes BMP, JPEG or PNG bytes (through GDI+, or WIC for an image of more than 25 million
// pixels, which comes out scaled down to that many); false when they are none of these, or when
// the image has more than `maxPixels` pixels.
bool DecodeGdiImage(const std::vector<uint8_t>& bytes, GdiImage& out, uint64_t maxPixels = kImagePixelBudget);

// DecodeGdiImage of the bytes, first inflated when they are gzip data (an image named "*.gz").
bool DecodeImageBytes(const std::vector<uint8_t>& bytes, bool gzipped, GdiImage& out,
                      uint64_t maxPixels = kImagePixelBudget);

// The images of a list by image source index; a source without an entry is not drawn. The
// references to one source share its decoded image.
using GdiImages = std::map<uint32_t, std::shared_ptr<const GdiImage>>;

// The stored bytes of an image source (empty when there are none).
using ImageBytesSource = std::function<std::vector<uint8_t>(const JwwString& source)>;

// Decodes the images of the list for one picture, as the cairo backend does: each distinct
// source once, whatever the number of its references, and no more than `pixelBudget` decoded
// pixels in all (an image past it is left out). `decoded` receives how many were decoded.
GdiImages DecodeListImages(const DisplayList& list, const ImageBytesSource& bytesFor,
                           uint64_t pixelBudget = kImagePixelBudget, int* decoded = nullptr);

// Paints the list: the background over the whole `area` (device pixels), then every item in
// order. Items wholly outside the area are skipped.
void PaintDisplayList(HDC dc, const DisplayList& list, const GdiView& view, const RECT& area,
                      const GdiImages* images = nullptr);

}  // namespace kelvane
