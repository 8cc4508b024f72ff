// The bytes of a PDF file: numbered objects, compressed streams, the cross-reference table, and
// the numbers and strings of content streams written quickly.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvane::pdf {

// Appends v rounded to an integer (content coordinates are whole hundredths of a millimetre).
void AppendInt(std::string& out, int64_t v);
// Appends v with at most `decimals` decimals and no trailing zeros; 0 for a value not finite.
void AppendFixed(std::string& out, double v, int decimals);
// Appends v with about seven significant digits, in the plain notation PDF reads (no exponent).
void AppendReal(std::string& out, double v);
// Appends text (UTF-8) as a PDF text string: <FEFF...> in UTF-16BE.
void AppendTextString(std::string& out, std::string_view utf8);

// Deflates (zlib) what is appended to it, a piece at a time, so that a large content stream is
// never held whole before it is compressed.
class DeflateStream {
 public:
  explicit DeflateStream(int level);
  ~DeflateStream();
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;

  std::string& Text() { return pending_; }  // append here; compressed when it grows
  void Compress(const void* data, size_t size);
  void FlushIfLarge() {
    if (pending_.size() >= kChunk) Flush();
  }
  // The compressed bytes; false when zlib failed (no memory).
  bool Finish(std::string& compressed);

 private:
  static constexpr size_t kChunk = size_t(1) << 18;
  void Flush();
  void Run(const void* data, size_t size, int mode);

  void* z_;  // z_stream, kept out of the header
  bool ok_ = true;
  std::string pending_;
  std::string out_;
};

// Compresses bytes whole.
bool Deflate(const void* data, size_t size, int level, std::string& compressed);

// The file's objects, each written once by its number; a compressed table of their places (a
// cross-reference stream) at the end.
class ObjectWriter {
 public:
  explicit ObjectWriter(std::ostream& out);
  int Allocate() {
    places_.emplace_back();
    return int(places_.size());
  }
  // Writes "n 0 obj <body> endobj".
  void Write(int number, std::string_view body);
  // Writes the object into a compressed object stream instead: for the many small dictionaries
  // (the drawing's layers) whose own headers and table entries would outweigh them.
  void WritePacked(int number, std::string_view body);
  // Writes a stream object: `dict` holds its entries (without /Length) and bytes follow.
  void WriteStream(int number, std::string_view dict, std::string_view bytes);
  // The cross-reference stream and the file's end; false when an allocated object was never
  // written, compression failed or the stream failed.
  bool Finish(int catalog);
  // The same with the document information dictionary `info`.
  bool Finish(int catalog, int info);

 private:
  // Where an object is: at a byte offset, or as the index-th object of an object stream.
  struct Place {
    int64_t offset = -1;
    int stream = 0;
    int index = 0;
  };
  void Begin(int number);
  bool FlushPacked();
  std::ostream& out_;
  int64_t position_ = 0;
  std::vector<Place> places_;
  bool ok_ = true;
  // The object stream being filled: its objects' numbers, their offsets in `packedBodies_`.
  std::vector<std::pair<int, size_t>> packed_;
  std::string packedBodies_;
};

std::string Ref(int number);

}  // namespace kelvane::pdf
