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
  if (number >= 1 && size_t(number) <= offsets_.size()) offsets_[size_t(number) - 1] = position_;
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

void ObjectWriter::WriteStream(int number, std::string_view dict, std::string_view bytes) {
  Begin(number);
  const std::string head = "<<" + std::string(dict) + "/Length " + std::to_string(bytes.size()) + ">>\nstream\n";
  out_.write(head.data(), std::streamsize(head.size()));
  out_.write(bytes.data(), std::streamsize(bytes.size()));
  out_.write("\nendstream\nendobj\n", 18);
  position_ += int64_t(head.size() + bytes.size()) + 18;
}

bool ObjectWriter::Finish(int catalog) { return Finish(catalog, 0); }

bool ObjectWriter::Finish(int catalog, int info) {
  std::string table = "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
  bool complete = true;
  for (int64_t offset : offsets_) {
    char line[40];
    std::snprintf(line, sizeof line, "%010lld 00000 n \n", static_cast<long long>(offset < 0 ? 0 : offset));
    table += line;
    complete = complete && offset >= 0;
  }
  table += "trailer\n<</Size " + std::to_string(offsets_.size() + 1) + "/Root " + Ref(catalog) +
           (info > 0 ? "/Info " + Ref(info) : std::string()) + ">>\nstartxref\n" + std::to_string(position_) + "\n%%EOF\n";
  out_.write(table.data(), std::streamsize(table.size()));
  return complete && bool(out_);
}

}  // namespace kelvane::pdf
