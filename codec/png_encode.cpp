// PNG files by hand: signature, header, the deflated rows in data chunks, end.
#include "codec/png_encode.h"

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace kelvane {

namespace {

// zlib's output is taken in pieces of this size; when chunks follow the pieces, no chunk is larger.
constexpr size_t kPieceBytes = size_t(1) << 18;

void PutBig32(uint8_t* at, uint32_t v) {
  at[0] = uint8_t(v >> 24), at[1] = uint8_t(v >> 16), at[2] = uint8_t(v >> 8), at[3] = uint8_t(v);
}

// The chunks of one file on their way to the sink; the first refusal stops everything after it.
class ChunkWriter {
 public:
  ChunkWriter(const PngSink& sink, size_t chunkBytes) : sink_(sink), chunkBytes_(chunkBytes) {}

  bool ok() const { return ok_; }

  void Bytes(const uint8_t* data, size_t size) { ok_ = ok_ && sink_(data, size); }

  void Chunk(const char type[4], const uint8_t* data, size_t size) {
    uint8_t head[8], tail[4];
    PutBig32(head, uint32_t(size));
    for (int k = 0; k < 4; ++k) head[4 + k] = uint8_t(type[k]);
    uLong crc = crc32(0L, head + 4, 4);
    if (size > 0) crc = crc32(crc, data, uInt(size));
    PutBig32(tail, uint32_t(crc));
    Bytes(head, 8);
    if (size > 0) Bytes(data, size);
    Bytes(tail, 4);
  }

  // Deflated bytes: a chunk of their own, or gathered into chunks of the fixed size.
  void Data(const uint8_t* data, size_t size) {
    if (chunkBytes_ == 0) return Chunk("IDAT", data, size);
    pending_.insert(pending_.end(), data, data + size);
    size_t at = 0;
    for (; ok_ && pending_.size() - at >= chunkBytes_; at += chunkBytes_) Chunk("IDAT", pending_.data() + at, chunkBytes_);
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(at));
  }

  void EndData() {
    if (!pending_.empty()) Chunk("IDAT", pending_.data(), pending_.size());
    pending_.clear();
  }

 private:
  const PngSink& sink_;
  const size_t chunkBytes_;
  std::vector<uint8_t> pending_;
  bool ok_ = true;
};

void PutHeader(ChunkWriter& out, int width, int height, bool alpha) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  out.Bytes(kSignature, 8);
  uint8_t header[13];
  PutBig32(header, uint32_t(width));
  PutBig32(header + 4, uint32_t(height));
  // 8 bits per channel, RGB or RGBA, deflate, filters per row, not interlaced.
  const uint8_t rest[5] = {8, uint8_t(alpha ? 6 : 2), 0, 0, 0};
  std::copy(rest, rest + 5, header + 8);
  out.Chunk("IHDR", header, 13);
}

// The rows, each with its filter byte ("up": each byte less the one above it), deflated.
bool PutRows(ChunkWriter& out, z_stream& z, int height, size_t rowBytes, const PngRowSource& rowOf) {
  std::vector<uint8_t> above(rowBytes, 0), row(rowBytes), filtered(rowBytes + 1), piece(kPieceBytes);
  auto drain = [&](int flush) {
    int rc = Z_OK;
    do {
      z.next_out = piece.data();
      z.avail_out = uInt(piece.size());
      rc = deflate(&z, flush);
      const size_t made = piece.size() - z.avail_out;
      if (made > 0) out.Data(piece.data(), made);
    } while (out.ok() && rc != Z_STREAM_ERROR && z.avail_out == 0);
    return rc;
  };
  filtered[0] = 2;
  for (int y = 0; y < height && out.ok(); ++y) {
    rowOf(y, row.data());
    for (size_t i = 0; i < rowBytes; ++i) filtered[i + 1] = uint8_t(row[i] - above[i]);
    std::swap(above, row);
    z.next_in = filtered.data();
    z.avail_in = uInt(filtered.size());
    if (drain(Z_NO_FLUSH) == Z_STREAM_ERROR) return false;
  }
  const bool finished = out.ok() && drain(Z_FINISH) == Z_STREAM_END;
  out.EndData();
  return finished;
}

}  // namespace

PngResult WritePng(int width, int height, bool alpha, const PngRowSource& rowOf, const PngPacking& packing,
                   const PngSink& sink) {
  const size_t channels = alpha ? 4 : 3;
  // PNG sizes are at most 2^31 - 1; a row has to fit what zlib takes at once.
  if (width <= 0 || height <= 0 || size_t(width) * channels + 1 > 0x7FFFFFFFu) return PngResult::kBadSize;
  z_stream z{};
  if (deflateInit2(&z, packing.level, Z_DEFLATED, 15, packing.memLevel,
                   packing.runLength ? Z_RLE : Z_DEFAULT_STRATEGY) != Z_OK)
    return PngResult::kNoMemory;
  ChunkWriter out(sink, packing.chunkBytes);
  PutHeader(out, width, height, alpha);
  const bool rows = out.ok() && PutRows(out, z, height, size_t(width) * channels, rowOf);
  deflateEnd(&z);
  if (rows) out.Chunk("IEND", nullptr, 0);
  return rows && out.ok() ? PngResult::kWritten : PngResult::kWriteFailed;
}

bool EncodePng(int width, int height, bool alpha, const PngRowSource& rowOf, std::vector<uint8_t>& png) {
  png.clear();
  const PngSink append = [&png](const uint8_t* data, size_t size) {
    png.insert(png.end(), data, data + size);
    return true;
  };
  if (WritePng(width, height, alpha, rowOf, kPngSmall, append) == PngResult::kWritten) return true;
  png.clear();
  return false;
}

}  // namespace kelvane
