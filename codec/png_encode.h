// The program's one PNG writer, over zlib: the pictures of pages (cairo backend) and the images
// beside a DXF (on Windows as on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kelvane {

// Fills `row` with row `y` (top first): width × 4 bytes of red, green, blue and alpha (straight,
// not premultiplied) when the image has alpha, width × 3 without.
using PngRowSource = std::function<void(int y, uint8_t* row)>;

// Takes the next bytes of the file; false stops the writing.
using PngSink = std::function<bool(const uint8_t* data, size_t size)>;

// How the filtered rows are deflated and cut into data chunks. The rows are always filtered by
// the row above ("up"); the two kinds of image the program writes are packed differently.
struct PngPacking {
  int level = 6;           // zlib's compression level
  int memLevel = 8;        // zlib's memory level
  bool runLength = false;  // zlib's run-length strategy instead of the default one
  // Data chunks of exactly this many bytes (the last one less), or, when 0, one chunk for each
  // piece zlib gives, written as it comes.
  size_t chunkBytes = size_t(1) << 20;
};

// Images beside DXF files: small, so as small as zlib's default makes them, in chunks of 1 MiB.
inline constexpr PngPacking kPngSmall{};
// A picture of a page, mostly blank paper, which "up" turns into runs of zeros: packed as runs
// at level 1, the file is about a fifth larger than at the default, four times sooner. Streamed
// out in chunks as zlib makes them, so the deflated page is never held whole.
inline constexpr PngPacking kPngPage{1, 9, true, 0};

enum class PngResult { kWritten, kBadSize, kNoMemory, kWriteFailed };

// Writes the PNG file of an image of 8-bit channels to `sink`: kBadSize when the size is empty
// or beyond what PNG holds, kNoMemory when zlib cannot start, kWriteFailed when the sink refuses
// bytes or zlib fails.
PngResult WritePng(int width, int height, bool alpha, const PngRowSource& rowOf, const PngPacking& packing,
                   const PngSink& sink);

// The PNG file in `png`, packed as kPngSmall; false (and `png` empty) when WritePng fails.
bool EncodePng(int width, int height, bool alpha, const PngRowSource& rowOf, std::vector<uint8_t>& png);

}  // namespace kelvane
