// PNG files by hand: signature, header, the deflated rows in data chunks, end.
#include "render/png_encode.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace kelvane {

namespace {

// Data chunks of at most this many bytes: any reader takes them, however large the image.
constexpr size_t kChunkData = size_t(1) << 20;

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  out.insert(out.end(), b, b + 4);
}

void PutChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
  PutBig32(out, uint32_t(size));
  const size_t at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + size);
  PutBig32(out, uint32_t(crc32(0, out.data() + at, uInt(size + 4))));
}

// The rows, each with its filter byte ("up": the difference from the row above), deflated.
bool DeflateRows(int width, int height, size_t channels, const PngRowSource& rowOf, std::vector<uint8_t>& deflated) {
  const size_t rowBytes = size_t(width) * channels;
  std::vector<uint8_t> above(rowBytes, 0), row(rowBytes), filtered(rowBytes + 1);
  z_stream z{};
  if (deflateInit(&z, 6) != Z_OK) return false;
  std::vector<uint8_t> buffer(std::max<size_t>(rowBytes, 1 << 16));
  bool ok = true;
  for (int y = 0; y <= height && ok; ++y) {
    const bool last = y == height;
    if (!last) {
      rowOf(y, row.data());
      filtered[0] = 2;
      for (size_t i = 0; i < rowBytes; ++i) filtered[i + 1] = uint8_t(row[i] - above[i]);
      std::swap(above, row);
      z.next_in = filtered.data();
      z.avail_in = uInt(filtered.size());
    }
    int status = Z_OK;
    do {
      z.next_out = buffer.data();
      z.avail_out = uInt(buffer.size());
      status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) ok = false;
      deflated.insert(deflated.end(), buffer.data(), buffer.data() + (buffer.size() - z.avail_out));
    } while (ok && (z.avail_in != 0 || (last && status != Z_STREAM_END)));
  }
  deflateEnd(&z);
  return ok;
}

}  // namespace

bool EncodePng(int width, int height, bool alpha, const PngRowSource& rowOf, std::vector<uint8_t>& png) {
  png.clear();
  const size_t channels = alpha ? 4 : 3;
  // PNG sizes are at most 2^31 - 1; a row has to fit what zlib takes at once.
  if (width <= 0 || height <= 0 || size_t(width) * channels + 1 > 0x7FFFFFFFu) return false;
  std::vector<uint8_t> deflated;
  if (!DeflateRows(width, height, channels, rowOf, deflated)) return false;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png.assign(kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  PutBig32(header, uint32_t(width));
  PutBig32(header, uint32_t(height));
  // 8 bits per channel, RGB or RGBA, deflate, adaptive filters, not interlaced.
  const uint8_t rest[5] = {8, uint8_t(alpha ? 6 : 2), 0, 0, 0};
  header.insert(header.end(), rest, rest + 5);
  PutChunk(png, "IHDR", header.data(), header.size());
  png.reserve(png.size() + deflated.size() + (deflated.size() / kChunkData + 2) * 12);
  for (size_t at = 0; at < deflated.size(); at += kChunkData)
    PutChunk(png, "IDAT", deflated.data() + at, std::min(kChunkData, deflated.size() - at));
  PutChunk(png, "IEND", nullptr, 0);
  return true;
}

}  // namespace kelvane
