// What the main window's files share: its client size, its radio groups and the small
// helpers that read and set its controls.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "app/options.h"
#include "app/win32/main_window_ids.h"

namespace kelvane::main_window {

inline constexpr int kClientWidth = 484;
inline constexpr int kClientHeight = 352;
// Posted to the application's window when it is activated, to pass the activation on.
inline constexpr UINT kActivateMain = WM_APP + 1;

// The radio buttons that act as one group each.
inline const int kOutputButtons[] = {kOutputToDesktopRadio, kOutputToDocumentsRadio, kOutputToSourceFolderRadio,
                                     kOutputToGivenFolderRadio};
inline const OutputFolder kOutputFolders[] = {OutputFolder::kDesktop, OutputFolder::kDocuments,
                                              OutputFolder::kSourceFolder, OutputFolder::kGivenFolder};
inline const int kLeadingZeroItems[] = {kLeadingZeroOff, kLeadingZeroOn};
inline const int kDirectionItems[] = {kNumberByRows, kNumberByColumns};

inline std::wstring WindowText(HWND control) {
  std::wstring text(size_t(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(control, text.data(), int(text.size()))));
  return text;
}

inline bool IsChecked(HWND control) { return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED; }

inline void SetChecked(HWND control, bool checked) {
  SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace kelvane::main_window
