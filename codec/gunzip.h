// Inflating a gzip member (the images a drawing names "*.gz"), the same for every picture
// backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvane {

// No image file inflates beyond this: a damaged or hostile member stops here.
inline constexpr size_t kMostInflatedImageBytes = size_t(512) << 20;

// The member's bytes in `out`; false when `in` is not one whole gzip member or inflates beyond
// `most` bytes.
bool Gunzip(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, size_t most = kMostInflatedImageBytes);

}  // namespace kelvane
