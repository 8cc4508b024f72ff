// PDF file syntax.
#include "render/pdf/pdf_document.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/text_conversion.h"

namespace kelvane::pdf {

void AppendInt(std::string& out, int64_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void AppendFixed(std::string& out, double v, int decimals) {
  static constexpr double kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  if (!std::isfinite(v) || std::abs(v) > 1e12) v = std::isfinite(v) && v > 0 ? 1e12 : std::isfinite(v) ? -1e12 : 0;
  int64_t scaled = std::llround(v * kScale[decimals]);
  if (scaled < 0) out += '-', scaled = -scaled;
  const int64_t whole = scaled / int64_t(kScale[decimals]);
  int64_t part = scaled % int64_t(kScale[decimals]);
  AppendInt(out, whole);
  if (part == 0) return;
  while (part % 10 == 0) part /= 10, --decimals;
  char digits[8];
  const int n = std::snprintf(digits, sizeof digits, "%0*lld", decimals, static_cast<long long>(part));
  out += '.';
  out.append(digits, size_t(n));
}

void AppendReal(std::string& out, double v) {
  if (!std::isfinite(v) || v == 0) {
    out += '0';
    return;
  }
  v = std::clamp(v, -1e12, 1e12);
  const int magnitude = int(std::ceil(std::log10(std::abs(v))));
  const int decimals = std::clamp(7 - magnitude, 0, 15);
  char buf[48];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  char* end = r.ptr;
  if (decimals > 0) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  if (end - buf == 2 && buf[0] == '-' && buf[1] == '0') {
    out += '0';
    return;
  }
  out.append(buf, end);
}

void AppendTextString(std::string& out, std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::u16string wide = Utf8ToUtf16(std::string(utf8));
  out += "<FEFF";
  for (char16_t c : wide)
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
  out += '>';
}

DeflateStream::DeflateStream(int level) {
  auto* z = new z_stream{};
  ok_ = deflateInit(z, level) == Z_OK;
  z_ = z;
}

DeflateStream::~DeflateStream() {
  auto* z = static_cast<z_stream*>(z_);
  deflateEnd(z);
  delete z;
}

void DeflateStream::Run(const void* data, size_t size, int mode) {
  auto* z = static_cast<z_stream*>(z_);
  z->next_in = static_cast<Bytef*>(const_cast<void*>(data));
  z->avail_in = uInt(size);
  char buffer[1 << 16];
  int rc = Z_OK;
  do {
    z->next_out = reinterpret_cast<Bytef*>(buffer);
    z->avail_out = sizeof buffer;
    rc = deflate(z, mode);
    if (rc == Z_STREAM_ERROR) ok_ = false;
    out_.append(buffer, sizeof buffer - z->avail_out);
  } while (ok_ && (z->avail_out == 0 || (mode == Z_FINISH && rc != Z_STREAM_END)));
}

void DeflateStream::Compress(const void* data, size_t size) {
  Flush();
  const char* p = static_cast<const char*>(data);
  while (ok_ && size > 0) {
    const size_t piece = std::min(size, size_t(1) << 30);
    Run(p, piece, Z_NO_FLUSH);
    p += piece, size -= piece;
  }
}

void DeflateStream::Flush() {
  if (!pending_.empty() && ok_) Run(pending_.data(), pending_.size(), Z_NO_FLUSH);
  pending_.clear();
}

bool DeflateStream::Finish(std::string& compressed) {
  Flush();
  if (ok_) Run(nullptr, 0, Z_FINISH);
  compressed = std::move(out_);
  out_.clear();
  return ok_;
}

bool Deflate(const void* data, size_t size, int level, std::string& compressed) {
  DeflateStream z(level);
  z.Compress(data, size);
  return z.Finish(compressed);
}

ObjectWriter::ObjectWriter(std::ostream& out) : out_(out) {
  // The binary comment tells a transfer that the file is not text.
  static constexpr char kHeader[] = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  out_.write(kHeader, sizeof kHeader - 1);
  position_ = sizeof kHeader - 1;
}

std::string Ref(int number) { return std::to_string(number) + " 0 R"; }

void ObjectWriter::Begin(int number) {
  if (number >= 1 && size_t(number) <= places_.size()) places_[size_t(number) - 1].offset = position_;
  const std::string head = std::to_string(number) + " 0 obj\n";
  out_.write(head.data(), std::streamsize(head.size()));
  position_ += int64_t(head.size());
}

void ObjectWriter::Write(int number, std::string_view body) {
  Begin(number);
  out_.write(body.data(), std::streamsize(body.size()));
  out_.write("\nendobj\n", 8);
  position_ += int64_t(body.size()) + 8;
}

namespace {

// Objects per object stream: enough to pack well, few enough that a reader finds one quickly.
constexpr size_t kObjectsPerStream = 100;
// Fewer objects than this are smaller written plainly than with an object stream's own header.
constexpr size_t kFewestPacked = 4;

// Appends v big-endian in `width` bytes.
void AppendBigEndian(std::string& out, uint64_t v, int width) {
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out += char(uint8_t(v >> shift));
}

}  // namespace

void ObjectWriter::WritePacked(int number, std::string_view body) {
  if (number < 1 || size_t(number) > places_.size()) return;
  packed_.emplace_back(number, packedBodies_.size());
  packedBodies_.append(body);
  packedBodies_ += '\n';
  if (packed_.size() >= kObjectsPerStream) FlushPacked();
}

bool ObjectWriter::FlushPacked() {
  if (packed_.size() < kFewestPacked) {
    for (size_t k = 0; k < packed_.size(); ++k) {
      const size_t from = packed_[k].second;
      const size_t to = k + 1 < packed_.size() ? packed_[k + 1].second : packedBodies_.size();
      Write(packed_[k].first, std::string_view(packedBodies_).substr(from, to - from - 1));  // less its '\n'
    }
    packed_.clear();
    packedBodies_.clear();
    return ok_;
  }
  const int stream = Allocate();
  std::string index;
  for (size_t k = 0; k < packed_.size(); ++k) {
    const auto [number, offset] = packed_[k];
    places_[size_t(number) - 1] = Place{-1, stream, int(k)};
    index += std::to_string(number) + ' ' + std::to_string(offset) + ' ';
  }
  std::string compressed;
  const std::string whole = index + packedBodies_;
  ok_ = Deflate(whole.data(), whole.size(), 6, compressed) && ok_;
  WriteStream(stream, "/Type/ObjStm/N " + std::to_string(packed_.size()) + "/First " + std::to_string(index.size()) +
                          "/Filter/FlateDecode",
              compressed);
  packed_.clear();
  packedBodies_.clear();
  return ok_;
}

void ObjectWriter::WriteStream(int number, std::string_view dict, std::string_view bytes) {
  Begin(number);
  const std::string head = "<<" + std::string(dict) + "/Length " + std::to_string(bytes.size()) + ">>\nstream\n";
  out_.write(head.data(), std::streamsize(head.size()));
  out_.write(bytes.data(), std::streamsize(bytes.size()));
  out_.write("\nendstream\nendobj\n", 18);
  position_ += int64_t(head.size() + bytes.size()) + 18;
}

bool ObjectWriter::Finish(int catalog) { return Finish(catalog, 0); }

// Each entry: its type (0 free, 1 at an offset, 2 in an object stream), the offset or the stream's
// number, and the generation or the index in the stream.
bool ObjectWriter::Finish(int catalog, int info) {
  FlushPacked();
  const int table = Allocate();
  places_[size_t(table) - 1].offset = position_;
  uint64_t largest = uint64_t(position_);
  for (const Place& p : places_) largest = std::max(largest, uint64_t(std::max<int64_t>(p.offset, p.stream)));
  int width = 1;
  while (width < 8 && (largest >> (8 * width)) != 0) ++width;
  std::string entries;
  AppendBigEndian(entries, 0, 1);
  AppendBigEndian(entries, 0, width);
  AppendBigEndian(entries, 65535, 2);
  bool complete = true;
  for (const Place& p : places_) {
    const bool packed = p.stream > 0;
    AppendBigEndian(entries, packed ? 2 : 1, 1);
    AppendBigEndian(entries, packed ? uint64_t(p.stream) : uint64_t(std::max<int64_t>(p.offset, 0)), width);
    AppendBigEndian(entries, packed ? uint64_t(p.index) : 0, 2);
    complete = complete && (packed || p.offset >= 0);
  }
  std::string compressed;
  ok_ = Deflate(entries.data(), entries.size(), 6, compressed) && ok_;
  const int64_t start = position_;
  WriteStream(table,
              "/Type/XRef/Size " + std::to_string(places_.size() + 1) + "/W[1 " + std::to_string(width) + " 2]/Root " +
                  Ref(catalog) + (info > 0 ? "/Info " + Ref(info) : std::string()) + "/Filter/FlateDecode",
              compressed);
  const std::string end = "startxref\n" + std::to_string(start) + "\n%%EOF\n";
  out_.write(end.data(), std::streamsize(end.size()));
  return complete && ok_ && bool(out_);
}

}  // namespace kelvane::pdf
