// The main window's messages: commands of its controls and its system menu, dropped files, and
// the application window's activation and closing.
#include "app/win32/main_window.h"

#include <shellapi.h>

#include "app/messages.h"
#include "app/win32/main_window.h"
#include "app/win32/main_window_parts.h"
#include "platform/win32/wide_text.h"

namespace kelvane {

using namespace main_window;

void MainWindow::DropFiles(HDROP drop) {
  std::vector<std::filesystem::path> files;
  // A drop during a run leaves the running batch as it is.
  const bool accept = started_ && !session_.running;
  if (accept) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      std::wstring path(size_t(DragQueryFileW(drop, i, nullptr, 0)) + 1, L'\0');
      path.resize(DragQueryFileW(drop, i, path.data(), UINT(path.size())));
      files.emplace_back(path);
    }
  }
  DragFinish(drop);
  if (!accept) return;
  PullControls();
  session_.DropFiles(files);
}

void MainWindow::Command(int id, int code, HWND) {
  // Whatever an option control changes, the preview shows the plan a drop would now make.
  if (code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELCHANGE) preview_.OptionControlEdited();
  switch (id) {
    case IDOK:
    case IDCANCEL:  // Enter and Escape press the close button
      if (code == BN_CLICKED) Close();
      break;
    case kBrowseButton:
      if (code == BN_CLICKED && started_) {
        PullControls();
        session_.ChooseOutputFolder();
        SetWindowTextW(Control(kOutputFolderEdit), SjisToWide(session_.options.givenFolder).c_str());
      }
      break;
    case kSeparatorEdit:
      if (code == EN_CHANGE) LimitBytes(kSeparatorEdit, 8);
      break;
    case kStartNumberEdit:
      if (code == EN_CHANGE) LimitBytes(kStartNumberEdit, 4);
      break;
    case kOutputToDesktopRadio:
    case kOutputToDocumentsRadio:
    case kOutputToSourceFolderRadio:
    case kOutputToGivenFolderRadio:
    case kLeadingZeroOff:
    case kLeadingZeroOn:
    case kNumberByRows:
    case kNumberByColumns:
      if (code == BN_CLICKED) UpdateRadioTabStops();
      break;
    default:
      break;
  }
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SYSCOMMAND:
      // Minimising the main window minimises the application, whose task-bar button brings it back.
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        ShowWindow(application_, SW_MINIMIZE);
        return 0;
      }
      if ((wParam & 0xFFF0) == kPreviewMenuCommand) {
        OpenPreview();
        return 0;
      }
      if ((wParam & 0xFFF0) == kPdfMenuCommand) {
        SetSavesPdf(!SavesPdf());
        return 0;
      }
      if ((wParam & 0xFFF0) == kDxfMenuCommand) {
        SetSavesDxf(!SavesDxf());
        return 0;
      }
      if ((wParam & 0xFFF0) == kPdfSetMenuCommand) {
        SetSavesPdfSet(!SavesPdfSet());
        return 0;
      }
      if ((wParam & 0xFFF0) == kAboutMenuCommand) {
        MessageBoxW(window_, AboutText().c_str(), kAboutTitle, MB_OK | MB_ICONINFORMATION);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window_, focus)) focus_ = focus;
      } else if (focus_ && IsWindow(focus_)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      services_.AttachWindow(nullptr, nullptr);
      window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT MainWindow::OnApplicationMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND application = application_;
  switch (message) {
    case WM_CLOSE:  // from the task bar
      if (IsOpen()) Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(application, kActivateMain, 0, 0);
      break;
    case kActivateMain:
      // The preview, when it is the window being activated, stays in front.
      if (preview_.IsOpen() && GetActiveWindow() == preview_.Handle()) return 0;
      if (IsOpen() && IsWindowVisible(window_) && IsWindowEnabled(window_)) SetActiveWindow(window_);
      return 0;
    case WM_NCDESTROY:
      application_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(application, message, wParam, lParam);
}

}  // namespace kelvane
