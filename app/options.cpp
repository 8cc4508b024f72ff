// Capture of the option controls into SplitOptions, with their checks and limits.
#include "app/options.h"

#include <algorithm>
#include <charconv>

#include "text/Func_.h"

namespace kelvane {

void SetOutputRadioButton(FormControls& controls, int n, bool selected) {
  bool* buttons[] = {&controls.RadioButton1, &controls.RadioButton2, &controls.RadioButton3,
                     &controls.RadioButton4};
  if (n < 1 || n > 4) return;
  if (selected)
    for (bool* b : buttons) *b = false;
  *buttons[n - 1] = selected;
}

bool HasForbiddenSeparatorChar(std::string_view sjis) {
  static constexpr std::string_view kForbidden = ",.\\/[]| '\"+*<>?~";
  for (size_t p = 0; p < sjis.size();) {
    unsigned char b = static_cast<unsigned char>(sjis[p]);
    if (IsLeadByte(b)) {
      p += 2;  // its second byte may be 0x5C, the backslash's code
      continue;
    }
    if (kForbidden.find(char(b)) != std::string_view::npos) return true;
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

void CaptureOptions(FormControls& controls, SplitOptions& options, bool writeBack) {
  if (HasForbiddenSeparatorChar(controls.Edit2)) controls.Edit2.clear();
  // The edit box takes at most 8 bytes; the model keeps the same limit for other sources.
  options.Separator = MbcsCopy(controls.Edit2, 1, 8);

  // The window's lists cannot leave their ranges; a model filled from elsewhere can.
  options.NamingPattern = std::clamp<int32_t>(controls.ComboBox1, 0, 6);
  options.LeadingZero = std::clamp<int32_t>(controls.RadioGroup2, 0, 1);
  options.NumberingDirection = std::clamp<int32_t>(controls.RadioGroup1, 0, 1);

  options.StartNumber = std::clamp<int32_t>(TextToInt(controls.Edit3), 0, 9999);
  if (writeBack) controls.Edit3 = std::to_string(options.StartNumber);

  options.PrintAfterSplit = controls.CheckBox1;
  options.DrawFrameOnFF = controls.CheckBox2;
  options.CompactEmptyNumbers = controls.CheckBox3;
  options.ConfirmSavedBeforeRun = controls.CheckBox4;

  options.Margin = std::clamp(TextToReal(controls.Edit4), 0.0, 100.0);
  if (writeBack) controls.Edit4 = FormatReal(options.Margin);
}

}  // namespace kelvane
