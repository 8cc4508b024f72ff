// The splitting options, the state of the window's option controls, and the capture between them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane {

// The option values a run reads; captured from the controls at the start of every run.
struct SplitOptions {
  std::string Separator = "_";  // Shift_JIS, at most 8 bytes, none of the forbidden characters
  int32_t NamingPattern = 0;    // 0 to 6
  int32_t LeadingZero = 0;      // 0 or 1
  int32_t StartNumber = 0;      // 0 to 9999
  int32_t NumberingDirection = 0;  // 0 or 1
  bool PrintAfterSplit = false;
  bool DrawFrameOnFF = false;
  bool CompactEmptyNumbers = false;
  bool ConfirmSavedBeforeRun = false;
  double Margin = 0;  // millimetres, 0 to 100
};

// What the main window's controls hold. The Win32 window copies its controls to and from this;
// the command line overrides fields of it. Texts are Shift_JIS.
struct FormControls {
  // The output-folder radio buttons form one group: at most one is selected.
  bool RadioButton1 = false;  // desktop
  bool RadioButton2 = false;  // documents
  bool RadioButton3 = true;   // each drawing's own folder
  bool RadioButton4 = false;  // the folder in Edit1
  std::string Edit1;          // the given output folder
  std::string Edit2 = "_";    // separator
  std::string Edit3 = "0";    // start number
  std::string Edit4 = "0";    // margin
  int32_t ComboBox1 = 0;      // naming pattern
  int32_t RadioGroup1 = 0;    // numbering direction
  int32_t RadioGroup2 = 0;    // leading zero
  bool CheckBox1 = false;     // print after splitting
  bool CheckBox2 = false;     // draw the [F-F] frame
  bool CheckBox3 = false;     // compact the numbers of empty frames
  bool CheckBox4 = false;     // confirm the drawing was saved before a run started by Jw_cad
  int32_t Left = 192;         // window position
  int32_t Top = 107;
};

// Sets radio button n (1 to 4) as a click or an assignment would: selecting one unselects the
// others of the group; clearing one leaves the others as they are.
void SetOutputRadioButton(FormControls& controls, int n, bool selected);

// True when the text holds one of the sixteen characters that may not appear in a separator
// (never matched on the second byte of a double-byte character).
bool HasForbiddenSeparatorChar(std::string_view sjis);

// The shortest general decimal text of a real, up to 15 significant digits, always with ".".
std::string FormatReal(double value);

// Reads and checks the controls into the options. In a run (writeBack) Edit3 and Edit4 then show
// the values as limited; an invalid separator empties Edit2 either way.
void CaptureOptions(FormControls& controls, SplitOptions& options, bool writeBack);

}  // namespace kelvane
