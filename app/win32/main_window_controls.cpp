// The main window's controls: their layout table, their creation and the tab stops of its
// radio groups.
#include "app/win32/main_window.h"

#include <commctrl.h>
#include <imm.h>

#include <string_view>

#include "app/win32/main_window_parts.h"

namespace kelvane {

using namespace main_window;

namespace {

constexpr int kComboHeight = 21;
constexpr int kStatusHeight = 19;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kTab = WS_TABSTOP | WS_GROUP;

struct ControlLayout {
  int id;
  const wchar_t* windowClass;
  DWORD style;
  int x, y, width, height;  // a label's size follows its text
  const wchar_t* text;
};

// In tab order: creation order is the z-order, which the dialog keys follow.
const ControlLayout kControls[] = {
    {kOutputGroup, L"Button", BS_GROUPBOX | WS_GROUP, 0, 0, 465, 65, L"保存先(&S)"},
    {kOutputToDesktopRadio, L"Button", BS_AUTORADIOBUTTON | WS_GROUP, 8, 16, 129, 17, L"デスクトップ"},
    {kOutputToDocumentsRadio, L"Button", BS_AUTORADIOBUTTON, 144, 16, 145, 17, L"マイドキュメント"},
    {kOutputToSourceFolderRadio, L"Button", BS_AUTORADIOBUTTON, 288, 16, 169, 17, L"元ファイルのフォルダ"},
    {kOutputToGivenFolderRadio, L"Button", BS_AUTORADIOBUTTON, 8, 40, 113, 17, L"指定フォルダ"},
    {kOutputFolderEdit, L"Edit", kTab | ES_AUTOHSCROLL, 120, 36, 305, 21, L""},
    {kBrowseButton, L"Button", kTab | BS_PUSHBUTTON, 424, 36, 35, 22, L"参照"},
    {kNamingPatternLabel, L"Static", SS_LEFT | WS_GROUP, 8, 72, 0, 0, L"ファイル名："},
    {kNamingPatternCombo, L"ComboBox", kTab | WS_VSCROLL | CBS_DROPDOWNLIST, 96, 68, 385, 200, nullptr},
    {kSeparatorLabel, L"Static", SS_LEFT | WS_GROUP, 8, 100, 0, 0, L"ファイル名と数値の区切り文字："},
    {kSeparatorEdit, L"Edit", kTab | ES_AUTOHSCROLL, 216, 96, 73, 21, L""},
    {kForbiddenCharsLabel, L"Static", SS_LEFT | WS_GROUP, 304, 96, 0, 0, L"※,.\\/ []|'\"+*?<>~"},
    {kForbiddenCharsNote, L"Static", SS_LEFT | WS_GROUP, 320, 112, 0, 0, L"の文字は使えません"},
    {kLeadingZeroGroup, L"Button", BS_GROUPBOX | WS_GROUP, 0, 120, 289, 40, L"数値が１桁の場合"},
    {kLeadingZeroOff, L"Button", BS_AUTORADIOBUTTON | WS_GROUP, 0, 0, 0, 0, L"前に0を付けない"},
    {kLeadingZeroOn, L"Button", BS_AUTORADIOBUTTON, 0, 0, 0, 0, L"前に0を付ける"},
    {kStartNumberLabel, L"Static", SS_LEFT | WS_GROUP, 296, 140, 0, 0, L"数値の開始番号："},
    {kStartNumberEdit, L"Edit", kTab | ES_AUTOHSCROLL, 408, 136, 57, 21, L""},
    {kNumberingDirectionGroup, L"Button", BS_GROUPBOX | WS_GROUP, 0, 160, 289, 40, L"用紙枠の番号付け方向"},
    {kNumberByRows, L"Button", BS_AUTORADIOBUTTON | WS_GROUP, 0, 0, 0, 0, L"左方向→下"},
    {kNumberByColumns, L"Button", BS_AUTORADIOBUTTON, 0, 0, 0, 0, L"下方向→左"},
    {kDrawFrameCheck, L"Button", kTab | BS_AUTOCHECKBOX, 8, 204, 217, 17, L"[F-F]レイヤに補助線枠を作図"},
    {kMarginLabel, L"Static", SS_LEFT | WS_GROUP, 296, 204, 0, 0, L"マージン間隔："},
    {kMarginUnitLabel, L"Static", SS_LEFT | WS_GROUP, 468, 204, 0, 0, L"mm"},
    {kMarginEdit, L"Edit", kTab | ES_AUTOHSCROLL, 408, 200, 57, 21, L""},
    {kCompactNumbersCheck, L"Button", kTab | BS_AUTOCHECKBOX, 8, 224, 457, 17, L"用紙枠内が空（空図面）の番号を詰める"},
    {kPrintAfterSplitCheck, L"Button", kTab | BS_AUTOCHECKBOX, 8, 244, 457, 17,
     L"バラした後にJw_cadで印刷（※通常使うプリンタの設定で印刷）"},
    {kConfirmSavedCheck, L"Button", kTab | BS_AUTOCHECKBOX, 8, 264, 457, 17, L"実行直前に上書き保存の確認メッセージを表示する"},
    {kFrameRuleLabel, L"Static", SS_LEFT | WS_GROUP, 8, 284, 0, 0, L"作図する用紙枠は、補助線色・倍長線種４・線幅200固定とします。"},
    {kCloseButton, L"Button", kTab | BS_DEFPUSHBUTTON, 168, 304, 145, 25, L"ＯＫ（閉じる）"},
};

const ControlLayout& LayoutOf(int id) {
  for (const ControlLayout& c : kControls)
    if (c.id == id) return c;
  return kControls[0];
}

const wchar_t* const kNamingPatterns[] = {
    L"数値＋区切り文字＋元ファイル名",
    L"元ファイル名＋区切り文字＋数値",
    L"元ファイル名＋区切り文字＋補助文字ファイル名",
    L"数値＋区切＋元ファイル名＋区切＋補助文字ファイル名",
    L"元ファイル名＋区切＋数値＋区切＋補助文字ファイル名",
    L"補助文字ファイル名",
    L"数値＋区切り文字＋補助文字ファイル名",
};

// The naming patterns in the drop-down list, the first selected.
void FillNamingPatterns(HWND combo) {
  for (const wchar_t* item : kNamingPatterns) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  // The closed list's height follows its selection field, which the font sets; bring it to
  // the designed height (a few steps, as the frame around the field is the system's).
  LRESULT requested = SendMessageW(combo, CB_GETITEMHEIGHT, WPARAM(-1), 0);
  for (int step = 0; step < 4 && requested != CB_ERR; ++step) {
    RECT r{};
    GetWindowRect(combo, &r);
    const int excess = (r.bottom - r.top) - kComboHeight;
    if (excess == 0 || requested - excess < 1) break;
    requested -= excess;
    SendMessageW(combo, CB_SETITEMHEIGHT, WPARAM(-1), requested);
  }
}

}  // namespace

void MainWindow::CreateControls() {
  HDC dc = GetDC(window_);
  HGDIOBJ old = SelectObject(dc, font_);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);

  auto make = [&](const ControlLayout& c, int x, int y, int width, int height) {
    const DWORD exStyle = std::wstring_view(c.windowClass) == L"Edit" ? WS_EX_CLIENTEDGE : 0;
    HWND control = CreateWindowExW(exStyle, c.windowClass, c.text, kChild | c.style, x, y, width, height, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(c.id == kBrowseButton ? smallFont_ : font_), FALSE);
    return control;
  };

  for (const ControlLayout& c : kControls) {
    int x = c.x, y = c.y, width = c.width, height = c.height;
    if (c.windowClass == std::wstring_view(L"Static")) {
      RECT r{0, 0, 0, 0};
      DrawTextW(dc, c.text, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
      width = r.right;
      height = r.bottom;
    }
    const bool leadingItem = c.id == kLeadingZeroOff || c.id == kLeadingZeroOn;
    const bool directionItem = c.id == kNumberByRows || c.id == kNumberByColumns;
    if (leadingItem || directionItem) {
      // A radio group lays its items out in its columns below its caption.
      const ControlLayout& group = LayoutOf(leadingItem ? kLeadingZeroGroup : kNumberingDirectionGroup);
      const int index = c.id == kLeadingZeroOn || c.id == kNumberByColumns ? 1 : 0;
      const int columnWidth = (group.width - 10) / 2;
      const int rest = group.height - metrics.tmHeight - 5;
      x = group.x + 8 + index * columnWidth;
      y = group.y + metrics.tmHeight + 1;
      width = columnWidth;
      height = rest;
    }
    make(c, x, y, width, height);
  }
  SelectObject(dc, old);
  ReleaseDC(window_, dc);

  FillNamingPatterns(Control(kNamingPatternCombo));

  SendMessageW(Control(kSeparatorEdit), EM_LIMITTEXT, 8, 0);
  SendMessageW(Control(kStartNumberEdit), EM_LIMITTEXT, 4, 0);
  // Numbers only: no input method editor on these two.
  ImmAssociateContext(Control(kStartNumberEdit), nullptr);
  ImmAssociateContext(Control(kMarginEdit), nullptr);

  HWND status = CreateWindowExW(0, STATUSCLASSNAMEW, L"", kChild | CCS_NORESIZE | CCS_NOPARENTALIGN, 0,
                                kClientHeight - kStatusHeight, kClientWidth, kStatusHeight, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBar)), instance_, nullptr);
  SendMessageW(status, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SendMessageW(status, SB_SIMPLE, TRUE, 0);

  SetChecked(Control(kOutputToSourceFolderRadio), true);
  SetChecked(Control(kLeadingZeroOff), true);
  SetChecked(Control(kNumberByRows), true);
  UpdateRadioTabStops();
}

void MainWindow::UpdateRadioTabStops() {
  // Tab enters a group of radio buttons at its selected one (the first when none is).
  auto update = [this](const int* ids, size_t count) {
    size_t stop = 0;
    for (size_t i = 0; i < count; ++i)
      if (IsChecked(Control(ids[i]))) stop = i;
    for (size_t i = 0; i < count; ++i) {
      HWND button = Control(ids[i]);
      LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
      style = i == stop ? style | WS_TABSTOP : style & ~LONG_PTR(WS_TABSTOP);
      SetWindowLongPtrW(button, GWL_STYLE, style);
    }
  };
  update(kOutputButtons, 4);
  update(kLeadingZeroItems, 2);
  update(kDirectionItems, 2);
}

}  // namespace kelvane
