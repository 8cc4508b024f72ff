// Memory advice on Windows: none; large pages there need a privilege users do not have.
#include "platform/memory_advice.h"

namespace kelvane {

void AdviseLargeFill(void*, size_t) {}

}  // namespace kelvane
