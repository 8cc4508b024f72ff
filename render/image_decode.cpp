// Image decoding with stb_image (BMP, JPEG, PNG only) and zlib for gzip. stb_image refuses two
// kinds of BMP that Windows writes - pixels that start after a gap, and RLE4/RLE8 - so those are
// rewritten first into the plain layout it reads.
#include "render/image_decode.h"

#include <algorithm>

#include "codec/gunzip.h"

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

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) v = (v << 8) | b[at + size_t(k)];
  return v;
}

void PutLe(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
}

struct BmpLayout {
  uint32_t offset = 0;  // where the file says its pixels start
  size_t pixelsAt = 0;  // where stb_image looks for them: after the headers, masks and palette
  int64_t width = 0, height = 0;
  uint32_t bpp = 0, compression = 0;
};

// The layout of a BMP with a Windows info header (40 bytes or more); false for anything else,
// which stb_image is left to read or refuse.
bool ReadBmpLayout(const std::vector<uint8_t>& b, BmpLayout& l) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
  const uint32_t headerSize = Le(b, 14, 4);
  if (headerSize < 40 || headerSize > 124) return false;
  l.offset = Le(b, 10, 4);
  l.width = int32_t(Le(b, 18, 4));
  l.height = int32_t(Le(b, 22, 4));
  l.bpp = Le(b, 28, 2);
  l.compression = Le(b, 30, 4);
  const uint64_t used = Le(b, 46, 4);
  uint64_t palette = 0;
  if (l.bpp <= 8) palette = (used == 0 || used > (1u << l.bpp)) ? (1u << l.bpp) : used;
  // Bit masks follow a 40-byte header; longer headers hold them.
  const uint64_t masks = (headerSize == 40 && l.compression == 3) ? 12 : 0;
  const uint64_t at = 14 + uint64_t(headerSize) + masks + 4 * palette;
  if (at > b.size()) return false;
  l.pixelsAt = size_t(at);
  return true;
}

// RLE8 or RLE4 pixels as one palette index a byte, rows bottom up and padded to 4 bytes as an
// uncompressed 8-bit BMP keeps them; pixels the runs skip keep index 0.
std::vector<uint8_t> ExpandRle(const std::vector<uint8_t>& b, const BmpLayout& l) {
  const bool rle4 = l.compression == 2;
  const size_t w = size_t(l.width), h = size_t(l.height), stride = (w + 3) & ~size_t(3);
  std::vector<uint8_t> out(stride * h, 0);
  size_t x = 0, y = 0, i = l.offset;
  auto put = [&](size_t k, uint8_t index) {
    if (x + k < w && y < h) out[y * stride + x + k] = index;
  };
  while (i + 1 < b.size() && y < h) {
    const uint8_t count = b[i], code = b[i + 1];
    i += 2;
    if (count > 0) {  // a run: one index, or two alternating ones in RLE4
      for (size_t k = 0; k < count; ++k) put(k, rle4 ? uint8_t(k % 2 ? code & 15 : code >> 4) : code);
      x += count;
    } else if (code == 0) {  // end of line
      x = 0, ++y;
    } else if (code == 1) {  // end of the picture
      break;
    } else if (code == 2) {  // move right and up
      if (i + 1 >= b.size()) break;
      x += b[i], y += b[i + 1];
      i += 2;
    } else {  // `code` indexes as they are, padded to a whole 16-bit word
      const size_t bytes = rle4 ? (code + 1u) / 2 : code;
      if (i + bytes > b.size()) break;
      for (size_t k = 0; k < code; ++k)
        put(k, rle4 ? uint8_t(k % 2 ? b[i + k / 2] & 15 : b[i + k / 2] >> 4) : b[i + k]);
      x += code;
      i += (bytes + 1) & ~size_t(1);
    }
  }
  return out;
}

// The BMP rewritten for stb_image, or false when it reads this one as it is. An RLE picture of
// more than maxPixels keeps only its headers, enough for its size to be read and refused.
bool BmpForStb(const std::vector<uint8_t>& b, uint64_t maxPixels, std::vector<uint8_t>& fixed) {
  BmpLayout l;
  if (!ReadBmpLayout(b, l)) return false;
  const bool rle = (l.compression == 1 && l.bpp == 8) || (l.compression == 2 && l.bpp == 4);
  if (l.offset >= b.size() || (!rle && l.offset <= l.pixelsAt)) return false;
  if (rle && (l.width <= 0 || l.height <= 0)) return false;  // RLE rows are always bottom up
  fixed.assign(b.begin(), b.begin() + ptrdiff_t(l.pixelsAt));
  PutLe(fixed, 10, uint32_t(l.pixelsAt), 4);
  if (!rle) {
    fixed.insert(fixed.end(), b.begin() + ptrdiff_t(l.offset), b.end());
  } else {
    PutLe(fixed, 28, 8, 2);  // one byte an index
    PutLe(fixed, 30, 0, 4);  // uncompressed
    PutLe(fixed, 34, 0, 4);  // its size left to the reader
    if (uint64_t(l.width) * uint64_t(l.height) > maxPixels) return true;
    const std::vector<uint8_t> pixels = ExpandRle(b, l);
    fixed.insert(fixed.end(), pixels.begin(), pixels.end());
  }
  PutLe(fixed, 2, uint32_t(fixed.size()), 4);
  return true;
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
  std::vector<uint8_t> fixed;
  if (BmpForStb(*data, std::min(maxPixels, kMaxPixels), fixed)) data = &fixed;
  if (data->empty() || data->size() > size_t(INT32_MAX)) return DecodeResult::kNotAnImage;
  int w = 0, h = 0, n = 0;
  if (!stbi_info_from_memory(data->data(), int(data->size()), &w, &h, &n)) return DecodeResult::kNotAnImage;
  if (h < 0 && h != INT32_MIN) h = -h;  // stb_image tells a top-down BMP's height as stored
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

RasterImage ToRasterImage(const DecodedImage& image) {
  RasterImage r;
  r.width = image.width, r.height = image.height;
  const size_t pixels = image.argb.size();
  r.rgb.resize(pixels * 3);
  bool opaque = true;
  for (size_t k = 0; k < pixels; ++k) {
    const uint32_t v = image.argb[k];
    const unsigned a = v >> 24;
    opaque = opaque && a == 255;
    uint8_t* c = &r.rgb[k * 3];
    for (int ch = 0; ch < 3; ++ch) {
      const unsigned premultiplied = (v >> (16 - 8 * ch)) & 0xFF;
      c[ch] = uint8_t(a == 255 ? premultiplied : a == 0 ? 0 : std::min(255u, (premultiplied * 255 + a / 2) / a));
    }
  }
  if (opaque) return r;
  r.alpha.resize(pixels);
  for (size_t k = 0; k < pixels; ++k) r.alpha[k] = uint8_t(image.argb[k] >> 24);
  return r;
}

}  // namespace kelvane
