// The Windows program's entry: the application, its main window and the message loop.
#include "app/win32/main_window.h"

#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // The shell's folder and program-start calls want COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  int result = 1;
  {
    kelvane::Win32Services services;
    kelvane::MainWindow window(services);
    if (window.Create(instance)) {
      window.Start(showCommand);
      window.RunMessageLoop();
      result = 0;
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
