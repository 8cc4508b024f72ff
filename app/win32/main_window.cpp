// The main window: builds the controls and moves values between them and Session.
#include "app/win32/main_window.h"

#include <commctrl.h>
#include <imm.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>

#include "app/messages.h"
#include "app/plan_picture.h"
#include "dxf/dxf_file.h"
#include "render/gdi/gdi_png.h"
#include "drawing/image_source.h"
#include "text/numbers.h"

namespace kelvane {

namespace {

const wchar_t kWindowClass[] = L"KelvaneMainWindow";
const wchar_t kApplicationClass[] = L"KelvaneApplication";
const wchar_t kCaption[] = L"Kelvane\u3000Ver.1.7";
const wchar_t kApplicationTitle[] = L"Kelvane";
const wchar_t kFontFace[] = L"ＭＳ ゴシック";
constexpr int kClientWidth = 484;
constexpr int kClientHeight = 352;
constexpr int kComboHeight = 21;
constexpr int kStatusHeight = 19;
constexpr UINT kActivateMain = WM_APP + 1;

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

// The radio buttons that act as one group each.
const int kOutputButtons[] = {kOutputToDesktopRadio, kOutputToDocumentsRadio, kOutputToSourceFolderRadio, kOutputToGivenFolderRadio};
const OutputFolder kOutputFolders[] = {OutputFolder::kDesktop, OutputFolder::kDocuments, OutputFolder::kSourceFolder,
                                       OutputFolder::kGivenFolder};
const int kLeadingZeroItems[] = {kLeadingZeroOff, kLeadingZeroOn};
const int kDirectionItems[] = {kNumberByRows, kNumberByColumns};

HFONT MakeFont(int pixels) {
  return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFontFace);
}

std::wstring WindowText(HWND control) {
  std::wstring text(size_t(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(control, text.data(), int(text.size()))));
  return text;
}

bool IsChecked(HWND control) { return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetChecked(HWND control, bool checked) {
  SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // The program's own icon; executables without it (the tests) get the system's.
  wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIcon));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  wc.lpfnWndProc = DefWindowProcW;  // replaced per window
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExW(instance, kWindowClass, &existing) && !RegisterClassExW(&wc)) return false;
  wc.lpszClassName = kApplicationClass;
  if (!GetClassInfoExW(instance, kApplicationClass, &existing) && !RegisterClassExW(&wc)) return false;
  return true;
}

}  // namespace

std::wstring AboutText() {
  return std::wstring(L"Kelvane " KELVANE_VERSION L"\n\n") + kAboutDescription + L"\n\n" + kAboutCopyright + L"\n" +
         kAboutLicence;
}

namespace {

// Folders dropped or named on the command line give every drawing in them and below.
SessionSettings WindowSessionSettings() {
  SessionSettings settings;
  settings.recursive = true;
  return settings;
}

}  // namespace

MainWindow::MainWindow(Win32Platform& platform)
    : platform_(platform), session_(platform, *this, WindowSessionSettings()) {}

// Right after the settings are read: show them, and the window at its stored place.
void MainWindow::SettingsLoaded(SplitOptions&) {
  PushControls(true);
  ShowSavesPdf();
  ShowWindowNow();
}

// The run's limits may have emptied the separator and limited the start number and margin.
void MainWindow::RunStarted(const SplitOptions&) {
  PushControls(false);
}

void MainWindow::DrawingDone(const JwwDocument& doc, const SheetPlan& plan, const std::vector<SheetOutcome>& outcomes) {
  preview_.RunDone(doc, plan, outcomes);
}

CompanionRequest MainWindow::Companions() {
  CompanionRequest request;
  if (SavesPdf()) request.pictures.push_back(PictureFormat::kPdf);
  request.dxf = SavesDxf();
  request.pdfSet = SavesPdfSet();
  // Embedded images go beside the DXF as PNG files.
  request.dxfOptions.toPng = GdiImageAsPng;
  return request;
}

void MainWindow::OutputFailed(const OutputFailure& failure) {
  session_.NoteFailure(FailureStatusText(platform_, failure));
}

void MainWindow::CurrentOptions(SplitOptions& options, std::optional<std::filesystem::path>& outputFolder) {
  PullControls();
  options = session_.options;  // limited as a run limits them, the controls left as they are
  LimitOptions(options);
  outputFolder = session_.RunOutputFolder();
}

void MainWindow::Split(const std::filesystem::path& drawing) {
  if (!started_ || session_.running) return;
  PullControls();
  session_.DropFiles({drawing});
}

std::wstring MainWindow::StatusText() const {
  HWND status = GetDlgItem(window_, kStatusBar);
  const LRESULT length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(size_t(length) + 1, L'\0');
  SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(size_t(length));
  return text;
}

void MainWindow::OpenPreview(const std::filesystem::path* drawing) {
  if (!IsOpen() || !preview_.Open(instance_, application_)) return;
  if (drawing) preview_.Load(*drawing);
}

void MainWindow::SetSavesPdf(bool on) {
  session_.side.options.pdf = on;
  // Unchecking also ends what "/pdf" asked for: the item shows what the next drop does.
  if (!on) pdfSwitch_ = false;
  ShowSavesPdf();
}

void MainWindow::SetSavesDxf(bool on) {
  session_.side.options.dxf = on;
  if (!on) dxfSwitch_ = false;
  ShowSavesPdf();
}

void MainWindow::SetSavesPdfSet(bool on) {
  session_.side.options.pdfSet = on;
  if (!on) pdfSetSwitch_ = false;
  ShowSavesPdf();
}

void MainWindow::ShowSavesPdf() {
  if (HMENU menu = window_ ? GetSystemMenu(window_, FALSE) : nullptr) {
    CheckMenuItem(menu, kPdfMenuCommand, MF_BYCOMMAND | (SavesPdf() ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, kDxfMenuCommand, MF_BYCOMMAND | (SavesDxf() ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, kPdfSetMenuCommand, MF_BYCOMMAND | (SavesPdfSet() ? MF_CHECKED : MF_UNCHECKED));
  }
  preview_.SavePdfChanged();
}

MainWindow::~MainWindow() {
  if (application_ && IsWindow(application_)) DestroyWindow(application_);
  if (font_) DeleteObject(font_);
  if (smallFont_) DeleteObject(smallFont_);
}

bool MainWindow::Create(HINSTANCE instance) {
  instance_ = instance;
  if (!RegisterClasses(instance)) return false;

  // The application's own window carries the title "Kelvane" on the task bar and owns the main
  // window, as the main window's caption is the program's name with its version.
  const int cx = GetSystemMetrics(SM_CXSCREEN) / 2, cy = GetSystemMetrics(SM_CYSCREEN) / 2;
  application_ = CreateWindowExW(0, kApplicationClass, kApplicationTitle,
                                 WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, cx, cy, 0, 0,
                                 nullptr, nullptr, instance, nullptr);
  if (!application_) return false;
  SetWindowLongPtrW(application_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(application_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::ApplicationProc));

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  window_ = CreateWindowExW(0, kWindowClass, kCaption, style, 192, 107, frame.right - frame.left,
                            frame.bottom - frame.top, application_, nullptr, instance, nullptr);
  if (!window_) return false;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::WindowProc));

  // The frame's size is the system's business: correct whatever the estimate missed.
  RECT client{}, outer{};
  GetClientRect(window_, &client);
  GetWindowRect(window_, &outer);
  const int dw = kClientWidth - (client.right - client.left), dh = kClientHeight - (client.bottom - client.top);
  if (dw != 0 || dh != 0)
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  font_ = MakeFont(13);
  smallFont_ = MakeFont(11);
  CreateControls();
  platform_.AttachWindow(window_, Control(kStatusBar));
  // The preview is reached from the system menu, so that the client area keeps its layout.
  if (HMENU menu = GetSystemMenu(window_, FALSE)) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kPreviewMenuCommand, L"分割プレビュー(&V)...");
    AppendMenuW(menu, MF_STRING | MF_UNCHECKED, kPdfMenuCommand, L"PDFも保存(&P)");
    AppendMenuW(menu, MF_STRING | MF_UNCHECKED, kDxfMenuCommand, L"DXFも保存(&D)");
    AppendMenuW(menu, MF_STRING | MF_UNCHECKED, kPdfSetMenuCommand, L"PDFセットも保存(&S)");
    AppendMenuW(menu, MF_STRING, kAboutMenuCommand, L"バージョン情報(&A)...");
  }
  return true;
}

namespace {

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

void MainWindow::Start(int showCommand) {
  showCommand_ = showCommand;
  started_ = true;
  // "/preview DRAWING" shows the drawing's plan instead of splitting it.
  std::filesystem::path previewDrawing;
  const bool preview = platform_.TakePreviewSwitch(previewDrawing);
  pdfSwitch_ = platform_.TakeSwitch(L"/pdf");
  dxfSwitch_ = platform_.TakeSwitch(L"/dxf");
  pdfSetSwitch_ = platform_.TakeSwitch(L"/pdfset");
  const bool closeNow = session_.Start();
  if (!IsOpen()) return;
  ShowWindowNow();
  if (closeNow) Close();
  if (preview && IsOpen()) OpenPreview(previewDrawing.empty() ? nullptr : &previewDrawing);
}

void MainWindow::ShowWindowNow() {
  if (IsWindowVisible(window_)) return;
  ShowWindow(application_, SW_SHOWNORMAL);
  ShowWindow(window_, showCommand_ == SW_HIDE ? SW_HIDE : SW_SHOWNORMAL);
  UpdateWindow(window_);
  if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) SetFocus(first);
}

void MainWindow::Close() {
  if (!IsOpen()) return;
  if (started_) {
    if (!session_.CanClose()) return;  // a run is going on: it stops before its next drawing
    PullControls();
    session_.Close();
  }
  DestroyWindow(application_);  // takes the main window with it
}

void MainWindow::RunMessageLoop() {
  MSG msg;
  while (IsOpen() && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchWindowMessage(window_, msg);
}

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
      platform_.AttachWindow(nullptr, nullptr);
      window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::ApplicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    switch (message) {
      case WM_CLOSE:  // from the task bar
        if (self->IsOpen()) self->Close();
        return 0;
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(window, kActivateMain, 0, 0);
        break;
      case kActivateMain:
        // The preview, when it is the window being activated, stays in front.
        if (self->preview_.IsOpen() && GetActiveWindow() == self->preview_.Handle()) return 0;
        if (self->IsOpen() && IsWindowVisible(self->window_) && IsWindowEnabled(self->window_))
          SetActiveWindow(self->window_);
        return 0;
      case WM_NCDESTROY:
        self->application_ = nullptr;
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kelvane
