// The main window of the Windows program: its controls, and their events forwarded to TForm1.
#pragma once

#include "app/driver.h"
#include "app/shell.h"
#include "app/win32/win32_platform.h"

namespace kelvane {

// Control identifiers. Button2 is IDOK, so that Enter presses it; Escape arrives as IDCANCEL.
enum Form1Control : int {
  kButton2 = IDOK,
  kGroupBox1 = 101,
  kRadioButton1,
  kRadioButton2,
  kRadioButton3,
  kRadioButton4,
  kEdit1,
  kButton1,
  kLabel5,
  kComboBox1,
  kLabel6,
  kEdit2,
  kLabel9,
  kLabel10,
  kRadioGroup2,
  kRadioGroup2Item0,
  kRadioGroup2Item1,
  kLabel2,
  kEdit3,
  kRadioGroup1,
  kRadioGroup1Item0,
  kRadioGroup1Item1,
  kCheckBox2,
  kLabel4,
  kLabel3,
  kEdit4,
  kCheckBox3,
  kCheckBox1,
  kCheckBox4,
  kLabel1,
  kStatusBar1,
};

// The window `TForm1`. It only moves values between its controls and TForm1's `Controls` and
// forwards the events; start-up, runs and closing are TForm1's.
class Form1Window {
 public:
  explicit Form1Window(Win32Platform& platform);
  ~Form1Window();
  Form1Window(const Form1Window&) = delete;
  Form1Window& operator=(const Form1Window&) = delete;

  // Creates the window and its controls, not yet shown.
  bool Create(HINSTANCE instance);
  // FormShow: loads the settings, shows the window at its place, converts the command line's
  // drawings and, when started with parameters, closes the window.
  void Start(int showCommand);
  // A close request (close box, Button2, Enter, Escape): refused during a run, which then stops
  // before its next drawing.
  void Close();

  HWND Handle() const { return window_; }
  HWND ApplicationWindow() const { return application_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  bool IsOpen() const { return window_ && IsWindow(window_); }
  TForm1& Form() { return form_; }

  // Runs the message loop until the window is gone.
  void RunMessageLoop();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ApplicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void Command(int id, int code, HWND control);
  void DropFiles(HDROP drop);
  void ShowWindowNow();
  void PullControls();
  void PushControls(bool position);
  void UpdateRadioTabStops();
  void LimitBytes(int id, size_t bytes);

  Win32Platform& platform_;
  TForm1 form_;
  SheetDriver driver_;
  HINSTANCE instance_ = nullptr;
  HWND application_ = nullptr;
  HWND window_ = nullptr;
  HWND focus_ = nullptr;
  HFONT font_ = nullptr;
  HFONT smallFont_ = nullptr;
  int showCommand_ = SW_SHOWNORMAL;
  bool started_ = false;
  bool limiting_ = false;
};

}  // namespace kelvane
