// Memory advice on POSIX: transparent huge pages where Linux offers them.
#include "platform/memory_advice.h"

#include <sys/mman.h>

#include <cstdint>

namespace kelvane {

void AdviseLargeFill(void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const auto begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t end = begin + bytes;
  const uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1), last = end & ~(kHuge - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace kelvane
