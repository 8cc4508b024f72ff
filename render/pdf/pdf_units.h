// The units and limits the parts of a PDF page share.
#pragma once

#include <string>

#include "platform/text_conversion.h"
#include "text/jwwstring.h"

namespace kelvane::pdf {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72;
constexpr double kScreenDpi = 96;  // what a "pixel" width means on a page
// Content coordinates are whole hundredths of a list millimetre: short integers, finer than
// anything printed.
constexpr double kUnitsPerMm = 100;
constexpr double kMaxUnits = 2e9;  // within the integers every reader takes
constexpr int kMaxPlacementDepth = 64;
constexpr int kContentLevel = 6;  // zlib's default: the level every PDF writer uses

// A broken Shift_JIS byte becomes "?" and the next byte is read afresh, as the pictures read it.
inline std::string ToUtf8(const JwwString& s) {
  return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis, UnreadableSjis::kSkipByte);
}

}  // namespace kelvane::pdf
