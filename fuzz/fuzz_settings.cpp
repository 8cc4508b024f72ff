// libFuzzer entry: kelvane::fuzz::SettingsFile.
#include <cstddef>
#include <cstdint>

#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kelvane::fuzz::SettingsFile(data, size);
  return 0;
}
