// One answer for every failure while a picture is drawn and written, so that none escapes a
// writer and each is told in the same words.
#pragma once

#include <exception>
#include <new>
#include <string>

namespace kelvane {

// Runs `draw(reason)`, which answers whether it succeeded and says why not in `reason`; a
// failure it throws is false with its reason ("out of memory while drawing" for memory).
template <typename Draw>
bool GuardedDraw(std::string& reason, Draw&& draw) {
  try {
    return draw(reason);
  } catch (const std::bad_alloc&) {
    reason = "out of memory while drawing";
  } catch (const std::exception& e) {
    reason = e.what();
  }
  return false;
}

}  // namespace kelvane
