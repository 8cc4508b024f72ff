// Embedded images to PNG through the cairo backend's decoders and cairo's PNG writer.
#include "app/pictures/png_image.h"

#include <cairo.h>

#include "render/cairo/image_decode.h"
#include "render/image_source.h"

namespace kelvane {

bool ImageAsPng(const std::vector<uint8_t>& stored, bool gzipped, std::vector<uint8_t>& png) {
  DecodedImage image;
  if (DecodeImageWithin(stored, gzipped, kImagePixelBudget, image) != DecodeResult::kDecoded) return false;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width);
  if (stride != image.width * 4) return false;
  cairo_surface_t* surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(image.argb.data()),
                                                                 CAIRO_FORMAT_ARGB32, image.width, image.height, stride);
  png.clear();
  const cairo_status_t status = cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<std::vector<uint8_t>*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(surface);
  return status == CAIRO_STATUS_SUCCESS;
}

}  // namespace kelvane
