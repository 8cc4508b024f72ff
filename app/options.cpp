// The checks and limits of the splitting options.
#include "app/options.h"

#include <algorithm>
#include <charconv>

#include "text/filters.h"
#include "text/numbers.h"

namespace kelvane {

bool HasForbiddenSeparatorChar(std::string_view sjis) {
  // The sixteen of the window's note, plus ":" and control characters, which no Windows file
  // name can hold either.
  static constexpr std::string_view kForbidden = ",.\\/[]| '\"+*<>?~:";
  for (size_t p = 0; p < sjis.size();) {
    unsigned char b = static_cast<unsigned char>(sjis[p]);
    if (IsLeadByte(b)) {
      p += 2;  // its second byte may be 0x5C, the backslash's code
      continue;
    }
    if (kForbidden.find(char(b)) != std::string_view::npos || b < 0x20 || b == 0x7F) return true;
    ++p;
  }
  return false;
}

std::string FormatReal(double value) {
  if (value == 0) value = 0;  // no "-0"
  return GeneralReal15(value);
}

double MarginAsShown(double margin) { return TextToReal(FormatReal(margin)); }

void LimitOptions(SplitOptions& options) {
  if (HasForbiddenSeparatorChar(options.separator)) options.separator.clear();
  // The edit box takes at most 8 bytes; the model keeps the same limit for other sources.
  options.separator = MbcsCopy(options.separator, 1, 8);
  options.startNumber = std::clamp<int32_t>(options.startNumber, 0, 9999);
  options.margin = std::clamp(options.margin, 0.0, 100.0);
}

}  // namespace kelvane
