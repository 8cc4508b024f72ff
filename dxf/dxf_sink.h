// Group codes and their values as DXF text, with handles and the strings of the file's version.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "dxf/dxf_writer.h"
#include "text/jwwstring.h"

namespace kelvane {

class DxfSink {
 public:
  explicit DxfSink(DxfVersion version) : version_(version) {}

  bool Utf8() const { return version_ == DxfVersion::kR2007; }
  std::string& out() { return out_; }

  // A group code and its value, each on a line of its own.
  void Str(int code, std::string_view value);
  void Int(int code, int64_t value);
  void Real(int code, double value);
  void Point(int code, double x, double y) {
    Real(code, x);
    Real(code + 10, y);
    Real(code + 20, 0.0);
  }
  void Hex(int code, uint64_t handle);

  // A new handle, written under group code 5 (or `code`); answers it.
  uint64_t NewHandle() { return next_++; }
  uint64_t Handle(int code = 5) {
    const uint64_t h = next_++;
    Hex(code, h);
    return h;
  }
  uint64_t NextHandle() const { return next_; }

  // A drawing string in the file's encoding: Shift_JIS bytes for AC1015 (characters outside code
  // page 932 as \U+XXXX), UTF-8 for AC1021. Control characters are left out.
  std::string Encode(const JwwString& s);
  // The same for UTF-8 text of the program's own.
  std::string EncodeUtf8(std::string_view utf8);

 private:
  const std::string& SjisOf(uint32_t code);
  void AppendCode(int code);

  DxfVersion version_;
  std::string out_;
  uint64_t next_ = 0x20;
  // Characters of Unicode texts already converted, by code point: the system converter is slow.
  std::unordered_map<uint32_t, std::string> sjisCache_;
};

}  // namespace kelvane
