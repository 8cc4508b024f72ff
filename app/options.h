// The splitting options: one model that the settings file, the window and the command line fill.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane {

// How a sheet's file is named from its number, the source drawing's name and the frame's name text.
enum class NamingPattern : int32_t {
  kNumberSource,
  kSourceNumber,
  kSourceName,
  kNumberSourceName,
  kSourceNumberName,
  kName,
  kNumberName,
};
inline constexpr int32_t kNamingPatternCount = 7;

// The order in which paper frames are numbered: rows from the top, or columns from the left.
enum class NumberingDirection : int32_t { kRows, kColumns };

// Where the sheets go. kNone: no choice made (a settings file can say so); a run then uses the
// given folder when it exists, else each drawing's own folder.
enum class OutputFolder : int32_t { kNone, kDesktop, kDocuments, kSourceFolder, kGivenFolder };

// Every option of a run. Whatever fills it, LimitOptions brings it into range before a run uses it.
struct SplitOptions {
  OutputFolder outputFolder = OutputFolder::kSourceFolder;
  std::string givenFolder;  // Shift_JIS, as typed or chosen; used by kGivenFolder and kNone
  std::string separator = "_";  // Shift_JIS, at most 8 bytes, none of the forbidden characters
  NamingPattern namingPattern = NamingPattern::kNumberSource;
  bool leadingZeros = false;
  int32_t startNumber = 0;  // 0 to 9999
  NumberingDirection numberingDirection = NumberingDirection::kRows;
  bool printAfterSplit = false;
  bool drawFrameOnFF = false;
  bool compactEmptyNumbers = false;
  bool confirmSavedBeforeRun = false;
  double margin = 0;  // millimetres, 0 to 100

  bool operator==(const SplitOptions&) const = default;
};

// The main window's place on the screen, kept in the settings file beside the options.
struct WindowPosition {
  int32_t left = 192;
  int32_t top = 107;

  bool operator==(const WindowPosition&) const = default;
};

// True when the text holds one of the sixteen characters that may not appear in a separator, ":"
// or a control character (never matched on the second byte of a double-byte character).
bool HasForbiddenSeparatorChar(std::string_view sjis);

// The shortest general decimal text of a real, up to 15 significant digits, always with ".".
std::string FormatReal(double value);

// The margin as a box showing 15 significant digits gives it back.
double MarginAsShown(double margin);

// The checks a run makes of options from any source: a separator with a forbidden character
// becomes empty and is cut to 8 bytes; the start number and margin are limited to their ranges.
void LimitOptions(SplitOptions& options);

}  // namespace kelvane
