// Image decoding with stb_image (BMP, JPEG, PNG only) and zlib for gzip.
#include "render/cairo/image_decode.h"

#include <zlib.h>

#include <algorithm>

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

DecodeResult DecodeImageWithin(const std::vector<uint8_t>& bytes, bool gzipped, uint64_t maxPixels,
                               DecodedImage& out) {
  std::vector<uint8_t> plain;
  const std::vector<uint8_t>* data = &bytes;
  if (gzipped) {
    if (!Gunzip(bytes, plain)) return DecodeResult::kNotAnImage;
    data = &plain;
  }
  if (data->empty() || data->size() > size_t(INT32_MAX)) return DecodeResult::kNotAnImage;
  int w = 0, h = 0, n = 0;
  if (!stbi_info_from_memory(data->data(), int(data->size()), &w, &h, &n)) return DecodeResult::kNotAnImage;
  if (w <= 0 || h <= 0) return DecodeResult::kNotAnImage;
  const uint64_t pixels = uint64_t(w) * uint64_t(h);
  if (pixels > kMaxPixels) return DecodeResult::kNotAnImage;
  if (pixels > maxPixels) return DecodeResult::kTooManyPixels;
  stbi_uc* px = stbi_load_from_memory(data->data(), int(data->size()), &w, &h, &n, 4);
  if (!px) return DecodeResult::kNotAnImage;
  out.width = w;
  out.height = h;
  out.argb.resize(size_t(w) * size_t(h));
  for (size_t i = 0; i < out.argb.size(); ++i) {
    const uint32_t r = px[4 * i], g = px[4 * i + 1], b = px[4 * i + 2], a = px[4 * i + 3];
    out.argb[i] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
  }
  stbi_image_free(px);
  return DecodeResult::kDecoded;
}

bool DecodeImage(const std::vector<uint8_t>& bytes, bool gzipped, DecodedImage& out) {
  return DecodeImageWithin(bytes, gzipped, kMaxPixels, out) == DecodeResult::kDecoded;
}

void FitWithin(DecodedImage& image, int maxSide) {
  if (maxSide <= 0 || (image.width <= maxSide && image.height <= maxSide)) return;
  const double shrink = double(std::max(image.width, image.height)) / maxSide;
  const int w = std::clamp(int(image.width / shrink), 1, maxSide);
  const int h = std::clamp(int(image.height / shrink), 1, maxSide);
  // Each new pixel the average of the old ones it covers (whole pixels, at least one).
  std::vector<uint32_t> scaled(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y) {
    const int y0 = int(int64_t(y) * image.height / h), y1 = std::max(y0 + 1, int(int64_t(y + 1) * image.height / h));
    for (int x = 0; x < w; ++x) {
      const int x0 = int(int64_t(x) * image.width / w), x1 = std::max(x0 + 1, int(int64_t(x + 1) * image.width / w));
      uint64_t sum[4] = {};
      for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx) {
          const uint32_t v = image.argb[size_t(yy) * size_t(image.width) + size_t(xx)];
          for (int c = 0; c < 4; ++c) sum[c] += (v >> (8 * c)) & 0xFF;
        }
      const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
      uint32_t v = 0;
      for (int c = 0; c < 4; ++c) v |= uint32_t((sum[c] + n / 2) / n) << (8 * c);
      scaled[size_t(y) * size_t(w) + size_t(x)] = v;
    }
  }
  image.width = w;
  image.height = h;
  image.argb.swap(scaled);
}

}  // namespace kelvane
