// The mapping between the main window's controls and the session's options, one line each way
// per option.
#include "app/win32/main_window.h"

#include <algorithm>
#include <iterator>

#include "app/win32/main_window_parts.h"
#include "platform/win32/wide_text.h"
#include "text/numbers.h"

namespace kelvane {

using namespace main_window;

void MainWindow::PullControls() {
  SplitOptions& o = session_.options;
  o.outputFolder = OutputFolder::kNone;
  for (size_t i = 0; i < std::size(kOutputButtons) && o.outputFolder == OutputFolder::kNone; ++i)
    if (IsChecked(Control(kOutputButtons[i]))) o.outputFolder = kOutputFolders[i];
  o.givenFolder = WideToSjis(WindowText(Control(kOutputFolderEdit)));
  // The texts as typed; a run limits them and shows the result (see RunStarted).
  o.separator = WideToSjis(WindowText(Control(kSeparatorEdit)));
  o.startNumber = TextToInt(WideToSjis(WindowText(Control(kStartNumberEdit))));
  o.margin = TextToReal(WideToSjis(WindowText(Control(kMarginEdit))));
  const auto pattern = int32_t(SendMessageW(Control(kNamingPatternCombo), CB_GETCURSEL, 0, 0));
  o.namingPattern = NamingPattern(std::clamp<int32_t>(pattern, 0, kNamingPatternCount - 1));
  o.leadingZeros = IsChecked(Control(kLeadingZeroOn));
  o.numberingDirection = IsChecked(Control(kNumberByColumns)) ? NumberingDirection::kColumns : NumberingDirection::kRows;
  o.printAfterSplit = IsChecked(Control(kPrintAfterSplitCheck));
  o.drawFrameOnFF = IsChecked(Control(kDrawFrameCheck));
  o.compactEmptyNumbers = IsChecked(Control(kCompactNumbersCheck));
  o.confirmSavedBeforeRun = IsChecked(Control(kConfirmSavedCheck));
  RECT r{};
  GetWindowRect(window_, &r);
  session_.position = {r.left, r.top};
}

void MainWindow::PushControls(bool position) {
  const SplitOptions& o = session_.options;
  for (size_t i = 0; i < std::size(kOutputButtons); ++i)
    SetChecked(Control(kOutputButtons[i]), o.outputFolder == kOutputFolders[i]);
  SetWindowTextW(Control(kOutputFolderEdit), SjisToWide(o.givenFolder).c_str());
  SetWindowTextW(Control(kSeparatorEdit), SjisToWide(o.separator).c_str());
  SetWindowTextW(Control(kStartNumberEdit), SjisToWide(std::to_string(o.startNumber)).c_str());
  SetWindowTextW(Control(kMarginEdit), SjisToWide(FormatReal(o.margin)).c_str());
  SendMessageW(Control(kNamingPatternCombo), CB_SETCURSEL, WPARAM(o.namingPattern), 0);
  SetChecked(Control(kLeadingZeroOff), !o.leadingZeros);
  SetChecked(Control(kLeadingZeroOn), o.leadingZeros);
  SetChecked(Control(kNumberByRows), o.numberingDirection == NumberingDirection::kRows);
  SetChecked(Control(kNumberByColumns), o.numberingDirection == NumberingDirection::kColumns);
  SetChecked(Control(kPrintAfterSplitCheck), o.printAfterSplit);
  SetChecked(Control(kDrawFrameCheck), o.drawFrameOnFF);
  SetChecked(Control(kCompactNumbersCheck), o.compactEmptyNumbers);
  SetChecked(Control(kConfirmSavedCheck), o.confirmSavedBeforeRun);
  UpdateRadioTabStops();
  // A stored position is applied as it is, also off the screen.
  const WindowPosition& p = session_.position;
  if (position) SetWindowPos(window_, nullptr, p.left, p.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::LimitBytes(int id, size_t bytes) {
  if (limiting_) return;
  HWND edit = Control(id);
  std::wstring text = WindowText(edit);
  if (WideToSjis(text).size() <= bytes) return;
  // Cut whole characters until the Shift_JIS text fits.
  while (!text.empty() && WideToSjis(text).size() > bytes) text.pop_back();
  limiting_ = true;
  SetWindowTextW(edit, text.c_str());
  SendMessageW(edit, EM_SETSEL, text.size(), text.size());
  limiting_ = false;
}

}  // namespace kelvane
