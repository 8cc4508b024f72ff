// libFuzzer entry: kelvane::fuzz::SheetNames.
#include <cstddef>
#include <cstdint>

#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kelvane::fuzz::SheetNames(data, size);
  return 0;
}
