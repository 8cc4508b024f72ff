// Image decoding with stb_image (BMP, JPEG, PNG only) and zlib for gzip.
#include "render/cairo/image_decode.h"

#include <zlib.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace kelvane {

namespace {

// A decoded image is refused above this many pixels: a damaged header must not take the memory.
constexpr uint64_t kMaxPixels = 100'000'000;
constexpr size_t kMaxInflated = 512u << 20;

bool Gunzip(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = uInt(in.size());
  out.clear();
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (out.size() >= kMaxInflated) break;
    const size_t at = out.size();
    out.resize(at + 65536);
    z.next_out = out.data() + at;
    z.avail_out = 65536;
    rc = inflate(&z, Z_NO_FLUSH);
    out.resize(at + (65536 - z.avail_out));
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

}  // namespace

bool DecodeImage(const std::vector<uint8_t>& bytes, bool gzipped, DecodedImage& out) {
  std::vector<uint8_t> plain;
  const std::vector<uint8_t>* data = &bytes;
  if (gzipped) {
    if (!Gunzip(bytes, plain)) return false;
    data = &plain;
  }
  if (data->empty() || data->size() > size_t(INT32_MAX)) return false;
  int w = 0, h = 0, n = 0;
  if (!stbi_info_from_memory(data->data(), int(data->size()), &w, &h, &n)) return false;
  if (w <= 0 || h <= 0 || uint64_t(w) * uint64_t(h) > kMaxPixels) return false;
  stbi_uc* px = stbi_load_from_memory(data->data(), int(data->size()), &w, &h, &n, 4);
  if (!px) return false;
  out.width = w;
  out.height = h;
  out.argb.resize(size_t(w) * size_t(h));
  for (size_t i = 0; i < out.argb.size(); ++i) {
    const uint32_t r = px[4 * i], g = px[4 * i + 1], b = px[4 * i + 2], a = px[4 * i + 3];
    out.argb[i] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
  }
  stbi_image_free(px);
  return true;
}

}  // namespace kelvane
