// Advice to the operating system about memory the reader is about to fill, implemented once per
// platform.
#pragma once

#include <cstddef>

namespace kelvane {

// The array of `bytes` at `data` is about to be written from its first byte to its last. Where
// the system can, it backs the array with large pages: faulting fresh memory in a small page at
// a time costs more than parsing the records that fill it. Only advice; nothing changes if the
// system ignores it.
void AdviseLargeFill(void* data, size_t bytes);

}  // namespace kelvane
