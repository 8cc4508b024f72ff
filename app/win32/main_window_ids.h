// The main window's controls by identifier, for its files and the window tests.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kelvane {

// Control identifiers. The close button is IDOK, so that Enter presses it; Escape arrives as IDCANCEL.
enum MainWindowControl : int {
  kCloseButton = IDOK,
  kOutputGroup = 101,
  kOutputToDesktopRadio,
  kOutputToDocumentsRadio,
  kOutputToSourceFolderRadio,
  kOutputToGivenFolderRadio,
  kOutputFolderEdit,
  kBrowseButton,
  kNamingPatternLabel,
  kNamingPatternCombo,
  kSeparatorLabel,
  kSeparatorEdit,
  kForbiddenCharsLabel,
  kForbiddenCharsNote,
  kLeadingZeroGroup,
  kLeadingZeroOff,
  kLeadingZeroOn,
  kStartNumberLabel,
  kStartNumberEdit,
  kNumberingDirectionGroup,
  kNumberByRows,
  kNumberByColumns,
  kDrawFrameCheck,
  kMarginLabel,
  kMarginUnitLabel,
  kMarginEdit,
  kCompactNumbersCheck,
  kPrintAfterSplitCheck,
  kConfirmSavedCheck,
  kFrameRuleLabel,
  kStatusBar,
};

}  // namespace kelvane
