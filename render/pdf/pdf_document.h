// The bytes of a PDF file: numbered objects, compressed streams, the cross-reference table, and
// the numbers and strings of content streams written quickly.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
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

// The file's objects, each written once by its number; the table of their places at the end.
class ObjectWriter {
 public:
  explicit ObjectWriter(std::ostream& out);
  int Allocate() {
    offsets_.push_back(-1);
    return int(offsets_.size());
  }
  // Writes "n 0 obj <body> endobj".
  void Write(int number, std::string_view body);
  // Writes a stream object: `dict` holds its entries (without /Length) and bytes follow.
  void WriteStream(int number, std::string_view dict, std::string_view bytes);
  // The cross-reference table and trailer; false when an allocated object was never written or
  // the stream failed.
  bool Finish(int catalog);
  // The same with the document information dictionary `info`.
  bool Finish(int catalog, int info);

 private:
  void Begin(int number);
  std::ostream& out_;
  int64_t position_ = 0;
  std::vector<int64_t> offsets_;
};

std::string Ref(int number);

}  // namespace kelvane::pdf
