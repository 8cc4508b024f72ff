// Capture of the option controls into SplitOptions, with their checks and limits.
#include "app/options.h"

#include <algorithm>
#include <charconv>

#include "text/filters.h"
#include "text/numbers.h"

namespace kelvane {

void SetOutputRadioButton(OptionControls& controls, int n, bool selected) {
  bool* buttons[] = {&controls.outputToDesktop, &controls.outputToDocuments, &controls.outputToSourceFolder,
                     &controls.outputToGivenFolder};
  if (n < 1 || n > 4) return;
  if (selected)
    for (bool* b : buttons) *b = false;
  *buttons[n - 1] = selected;
}

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
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return std::string(text, result.ptr);
}

void CaptureOptions(OptionControls& controls, SplitOptions& options, bool writeBack) {
  if (HasForbiddenSeparatorChar(controls.separatorEdit)) controls.separatorEdit.clear();
  // The edit box takes at most 8 bytes; the model keeps the same limit for other sources.
  options.separator = MbcsCopy(controls.separatorEdit, 1, 8);

  // The window's lists cannot leave their ranges; a model filled from elsewhere can.
  options.namingPattern = std::clamp<int32_t>(controls.namingPatternCombo, 0, 6);
  options.leadingZero = std::clamp<int32_t>(controls.leadingZeroGroup, 0, 1);
  options.numberingDirection = std::clamp<int32_t>(controls.numberingDirectionGroup, 0, 1);

  options.startNumber = std::clamp<int32_t>(TextToInt(controls.startNumberEdit), 0, 9999);
  if (writeBack) controls.startNumberEdit = std::to_string(options.startNumber);

  options.printAfterSplit = controls.printAfterSplitCheck;
  options.drawFrameOnFF = controls.drawFrameCheck;
  options.compactEmptyNumbers = controls.compactNumbersCheck;
  options.confirmSavedBeforeRun = controls.confirmSavedCheck;

  options.margin = std::clamp(TextToReal(controls.marginEdit), 0.0, 100.0);
  if (writeBack) controls.marginEdit = FormatReal(options.margin);
}

}  // namespace kelvane
