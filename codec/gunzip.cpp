// Inflating a gzip member with zlib.
#include "codec/gunzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace kelvane {

bool Gunzip(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, size_t most) {
  out.clear();
  z_stream z{};
  if (in.empty() || inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = uInt(std::min<size_t>(in.size(), UINT_MAX));
  constexpr size_t kChunk = 65536;
  int rc = Z_OK;
  while (rc == Z_OK && out.size() < most) {
    const size_t at = out.size();
    out.resize(at + kChunk);
    z.next_out = out.data() + at;
    z.avail_out = uInt(kChunk);
    rc = inflate(&z, Z_NO_FLUSH);
    out.resize(at + (kChunk - z.avail_out));
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

}  // namespace kelvane
