// The splitting options, the state of the window's option controls, and the capture between them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane {

// The option values a run reads; captured from the controls at the start of every run.
struct SplitOptions {
  std::string separator = "_";     // Shift_JIS, at most 8 bytes, none of the forbidden characters
  int32_t namingPattern = 0;       // 0 to 6
  int32_t leadingZero = 0;         // 0 or 1
  int32_t startNumber = 0;         // 0 to 9999
  int32_t numberingDirection = 0;  // 0 or 1
  bool printAfterSplit = false;
  bool drawFrameOnFF = false;
  bool compactEmptyNumbers = false;
  bool confirmSavedBeforeRun = false;
  double margin = 0;  // millimetres, 0 to 100
};

// What the main window's controls hold. The Win32 window copies its controls to and from this;
// the command line overrides fields of it. texts are Shift_JIS.
struct OptionControls {
  // The output-folder radio buttons form one group: at most one is selected.
  bool outputToDesktop = false;         // desktop
  bool outputToDocuments = false;       // documents
  bool outputToSourceFolder = true;     // each drawing's own folder
  bool outputToGivenFolder = false;     // the folder in outputFolderEdit
  std::string outputFolderEdit;         // the given output folder
  std::string separatorEdit = "_";      // separator
  std::string startNumberEdit = "0";    // start number
  std::string marginEdit = "0";         // margin
  int32_t namingPatternCombo = 0;       // naming pattern
  int32_t numberingDirectionGroup = 0;  // numbering direction
  int32_t leadingZeroGroup = 0;         // leading zero
  bool printAfterSplitCheck = false;    // print after splitting
  bool drawFrameCheck = false;          // draw the [F-F] frame
  bool compactNumbersCheck = false;     // compact the numbers of empty frames
  bool confirmSavedCheck = false;       // confirm the drawing was saved before a run started by Jw_cad
  int32_t left = 192;                   // window position
  int32_t top = 107;
};

// Sets radio button n (1 to 4) as a click or an assignment would: selecting one unselects the
// others of the group; clearing one leaves the others as they are.
void SetOutputRadioButton(OptionControls& controls, int n, bool selected);

// True when the text holds one of the sixteen characters that may not appear in a separator, ":"
// or a control character (never matched on the second byte of a double-byte character).
bool HasForbiddenSeparatorChar(std::string_view sjis);

// The shortest general decimal text of a real, up to 15 significant digits, always with ".".
std::string FormatReal(double value);

// Reads and checks the controls into the options. In a run (writeBack) startNumberEdit and marginEdit then show
// the values as limited; an invalid separator empties separatorEdit either way.
void CaptureOptions(OptionControls& controls, SplitOptions& options, bool writeBack);

}  // namespace kelvane
