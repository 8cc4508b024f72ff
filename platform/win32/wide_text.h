// Shift_JIS and the wide (UTF-16) text of the Win32 API, for the Windows program's own code.
#pragma once

#include <string>
#include <string_view>

#include "platform/text_conversion.h"

namespace kelvane {

// Shift_JIS (code page 932) to UTF-16 and back, whatever the system's code page; a character
// that the other side cannot express becomes "?".
std::wstring SjisToWide(std::string_view sjis);
std::string WideToSjis(std::wstring_view wide);

}  // namespace kelvane
