// libFuzzer entry: kelvane::fuzz::RenderList.
#include <cstddef>
#include <cstdint>

#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kelvane::fuzz::RenderList(data, size);
  return 0;
}
