// libFuzzer entry: kelvane::fuzz::RenderPdf.
#include <cstddef>
#include <cstdint>

#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kelvane::fuzz::RenderPdf(data, size);
  return 0;
}
