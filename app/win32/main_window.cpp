// The main window: its creation, its start and closing, and its part as the session's front end.
// Its controls, their mapping to the options and its messages are in main_window_*.cpp.
#include "app/win32/main_window.h"

#include <commctrl.h>
#include <imm.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>

#include "app/messages.h"
#include "app/plan_picture.h"
#include "app/win32/main_window_parts.h"
#include "app/win32/owned_window.h"
#include "app/win32/window_font.h"
#include "dxf/dxf_file.h"
#include "render/gdi/gdi_png.h"
#include "drawing/image_source.h"
#include "text/numbers.h"

namespace kelvane {

using namespace main_window;

namespace {

const wchar_t kWindowClass[] = L"KelvaneMainWindow";
const wchar_t kApplicationClass[] = L"KelvaneApplication";
const wchar_t kCaption[] = L"Kelvane\u3000Ver.1.7";
const wchar_t kApplicationTitle[] = L"Kelvane";

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

MainWindow::MainWindow(Win32Services& services)
    : services_(services), session_(services.Services(), *this, WindowSessionSettings()) {}

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
  session_.NoteFailure(FailureStatusText(services_, failure));
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
  AttachOwner<MainWindow, &MainWindow::application_, &MainWindow::OnApplicationMessage>(this);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  window_ = CreateWindowExW(0, kWindowClass, kCaption, style, 192, 107, frame.right - frame.left,
                            frame.bottom - frame.top, application_, nullptr, instance, nullptr);
  if (!window_) return false;
  AttachOwner<MainWindow, &MainWindow::window_, &MainWindow::OnMessage>(this);

  // The frame's size is the system's business: correct whatever the estimate missed.
  RECT client{}, outer{};
  GetClientRect(window_, &client);
  GetWindowRect(window_, &outer);
  const int dw = kClientWidth - (client.right - client.left), dh = kClientHeight - (client.bottom - client.top);
  if (dw != 0 || dh != 0)
    SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  font_ = MakeWindowFont(13);
  smallFont_ = MakeWindowFont(11);
  CreateControls();
  services_.AttachWindow(window_, Control(kStatusBar));
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

void MainWindow::Start(int showCommand) {
  showCommand_ = showCommand;
  started_ = true;
  // "/preview DRAWING" shows the drawing's plan instead of splitting it.
  std::filesystem::path previewDrawing;
  const bool preview = services_.TakePreviewSwitch(previewDrawing);
  pdfSwitch_ = services_.TakeSwitch(L"/pdf");
  dxfSwitch_ = services_.TakeSwitch(L"/dxf");
  pdfSetSwitch_ = services_.TakeSwitch(L"/pdfset");
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

}  // namespace kelvane
