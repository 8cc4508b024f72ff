// The split preview window: its controls and layout, the drawing it shows and plans, and its
// messages. The sheet list is in preview_list.cpp, the plan's canvas in preview_canvas.cpp.
#include "app/win32/preview_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <system_error>

#include "app/messages.h"
#include "app/plan_picture.h"
#include "app/session.h"
#include "app/sheet_rows.h"
#include "app/win32/owned_window.h"
#include "app/win32/window_font.h"
#include "jww/images.h"
#include "drawing/image_source.h"
#include "platform/text_conversion.h"
#include "platform/win32/wide_text.h"

namespace kelvane {

namespace {

const wchar_t kPreviewClass[] = L"KelvanePreview";
const wchar_t kCanvasClass[] = L"KelvanePlanView";
const wchar_t kCaption[] = L"Kelvane - 分割プレビュー";
constexpr int kClientWidth = 1000, kClientHeight = 640;
constexpr int kListWidth = 420;
constexpr int kStatusHeight = 20;
constexpr int kButtonHeight = 25;
constexpr int kGap = 4;
constexpr UINT_PTR kReplanTimer = 1;
constexpr UINT kReplanDelayMs = 250;  // typing in an option field plans once, after the typing
bool RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.lpfnWndProc = DefWindowProcW;  // replaced per window
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPreviewClass;
  if (!GetClassInfoExW(instance, kPreviewClass, &existing) && !RegisterClassExW(&wc)) return false;
  // The canvas paints every pixel itself; double clicks fit the drawing again.
  wc.style = CS_DBLCLKS;
  wc.hbrBackground = nullptr;
  wc.hIcon = nullptr;
  wc.lpszClassName = kCanvasClass;
  if (!GetClassInfoExW(instance, kCanvasClass, &existing) && !RegisterClassExW(&wc)) return false;
  return true;
}

}  // namespace

PreviewWindow::PreviewWindow(PreviewHost& host) : host_(host) {}

PreviewWindow::~PreviewWindow() {
  if (IsOpen()) DestroyWindow(window_);
  if (bitmap_) DeleteObject(bitmap_);
  if (font_) DeleteObject(font_);
}

bool PreviewWindow::Open(HINSTANCE instance, HWND owner) {
  if (!IsOpen()) {
    instance_ = instance;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (!RegisterClasses(instance)) return false;
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window_ = CreateWindowExW(WS_EX_ACCEPTFILES, kPreviewClass, kCaption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, owner, nullptr, instance, nullptr);
    if (!window_) return false;
    AttachOwner<PreviewWindow, &PreviewWindow::window_, &PreviewWindow::OnMessage>(this);
    font_ = font_ ? font_ : MakeWindowFont(12);
    CreateControls();
    Layout();
  }
  ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOWNORMAL);
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(window_);
  OptionsChanged();
  UpdateWindow(window_);
  return true;
}

void PreviewWindow::CreateControls() {
  auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    HWND control = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
  };
  canvas_ = make(WS_EX_CLIENTEDGE, kCanvasClass, L"", 0, kPreviewCanvas);
  AttachOwner<PreviewWindow, &PreviewWindow::canvas_, &PreviewWindow::OnCanvasMessage>(this);
  HWND list = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                   WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, kPreviewList);
  SetUpList(list);
  make(0, L"Button", L"この内容で分割", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, kPreviewSplitButton);
  make(0, L"Button", L"PDFも保存(&P)", WS_TABSTOP | BS_AUTOCHECKBOX, kPreviewSavePdfCheck);
  SavePdfChanged();
  make(0, L"Static", L"JWW ファイルをここにドロップするとプレビューします（ファイルは書き出しません）",
       SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kPreviewStatus);
}

void PreviewWindow::Layout() {
  RECT r{};
  GetClientRect(window_, &r);
  const int w = r.right, h = r.bottom;
  const int listWidth = std::min(kListWidth, std::max(160, w / 2));
  const int body = std::max(0, h - kStatusHeight);
  MoveWindow(canvas_, 0, 0, std::max(0, w - listWidth - kGap), body, TRUE);
  const int x = w - listWidth;
  MoveWindow(Control(kPreviewList), x, 0, listWidth, std::max(0, body - kButtonHeight - 2 * kGap), TRUE);
  MoveWindow(Control(kPreviewSplitButton), x, body - kButtonHeight - kGap, 160, kButtonHeight, TRUE);
  MoveWindow(Control(kPreviewSavePdfCheck), x + 160 + 3 * kGap, body - kButtonHeight - kGap,
             std::max(0, listWidth - 160 - 3 * kGap), kButtonHeight, TRUE);
  MoveWindow(Control(kPreviewStatus), kGap, body + 3, std::max(0, w - 2 * kGap), kStatusHeight - 4, TRUE);
}

void PreviewWindow::SavePdfChanged() {
  if (HWND check = IsOpen() ? Control(kPreviewSavePdfCheck) : nullptr)
    SendMessageW(check, BM_SETCHECK, host_.SavePdfChecked() ? BST_CHECKED : BST_UNCHECKED, 0);
}

void PreviewWindow::SetStatus(const std::wstring& text) { SetWindowTextW(Control(kPreviewStatus), text.c_str()); }

void PreviewWindow::Load(const std::filesystem::path& drawing) {
  if (host_.Running()) return;
  file_ = drawing;
  planned_ = false;
  plan_ = SheetPlan{};
  outcomes_.clear();
  images_.clear();
  std::wstring failure;
  try {
    doc_ = std::make_unique<JwwDocument>();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(drawing, ec) || !JwwDocument::IsJwwFile(drawing)) {
      failure = kNotJwwFile;
    } else if (!doc_->LoadFromFile(drawing)) {
      failure = SjisToWide(doc_->diagnostics.reason);
    }
  } catch (const std::bad_alloc&) {
    failure = kPreviewOutOfMemory;
  } catch (const std::exception&) {
    failure = kPreviewNotDrawn;
  }
  if (!failure.empty()) {
    doc_.reset();
    ShowPicture(DisplayList{});
    FillRows();
    SetStatus(SjisToWide(kCannotRead) + drawing.wstring() + L" (" + failure + L")");
    return;
  }
  imagesLoaded_ = false;
  Replan();
  ViewChanged();
}

// Decoded once per drawing: the drawing's part of the picture, and so its image numbering, is
// the same whatever the options.
void PreviewWindow::LoadImages() {
  imagesLoaded_ = true;
  const std::filesystem::path folder = DrawingFolder(file_);
  try {
    images_ = DecodeListImages(picture_, [&](const JwwString& source) {
      return ImageBytesFor(doc_->images, source, folder);
    });
  } catch (const std::exception&) {
    // Out of memory amid the images: the plan is shown without them.
    images_.clear();
  }
}

void PreviewWindow::OptionsChanged() {
  if (!IsOpen() || !doc_ || host_.Running()) return;
  SplitOptions options;
  std::optional<std::filesystem::path> folder;
  host_.CurrentOptions(options, folder);
  // The folder choice matters to the plan only through the folder it gives.
  options.outputFolder = options_.outputFolder;
  options.givenFolder = options_.givenFolder;
  if (planned_ && options == options_ && folder == outputFolder_) return;
  Replan();
}

void PreviewWindow::OptionControlEdited() {
  if (IsOpen()) SetTimer(window_, kReplanTimer, kReplanDelayMs, nullptr);
}

void PreviewWindow::Replan() {
  if (!doc_) return;
  host_.CurrentOptions(options_, outputFolder_);
  const FileQueries& files = host_.HostFiles();
  planned_ = true;
  outcomes_.clear();
  std::wstring refusal;
  try {
    // What a drop of this one drawing on the main window would plan.
    RunContext run;
    AddRunInput(run, files, file_);
    plan_ = PlanSheets(*doc_, options_, file_, outputFolder_ ? *outputFolder_ : file_.parent_path() / "", run, files);
    RecordPlannedSheets(run, files, plan_);
    PlanCompanions(plan_, *doc_, host_.CurrentCompanions(), run, files);
    refusal = ShowPlan(*doc_, plan_);
  } catch (const std::exception& e) {
    plan_ = SheetPlan{};
    refusal = RefusalFor(e);
    ShowPicture(DisplayList{});
  }
  FillRows();
  if (!refusal.empty()) {
    SetStatus(file_.wstring() + kPreviewNotShownLabel + refusal);
    return;
  }
  if (!imagesLoaded_) LoadImages();
  size_t written = 0;
  for (const PlannedSheet& s : plan_.sheets) written += s.ToBeWritten() ? 1 : 0;
  SetStatus(file_.wstring() + kPreviewFramesLabel + std::to_wstring(plan_.frames.size()) + kPreviewSheetsLabel +
            std::to_wstring(written) + LeftOutNote());
}

// What the picture could not show, so that a missing part is never taken for the drawing's.
std::wstring PreviewWindow::LeftOutNote() const {
  std::wstring note;
  if (picture_.skippedEntities > 0) note += kPreviewEntitiesLeftOut + std::to_wstring(picture_.skippedEntities);
  size_t images = 0;
  for (uint32_t i = 0; i < picture_.imageSources.size(); ++i) images += images_.count(i) ? 0 : 1;
  if (images > 0) note += kPreviewImagesLeftOut + std::to_wstring(images);
  return note;
}

std::wstring PreviewWindow::RefusalFor(const std::exception& e) {
  return dynamic_cast<const std::bad_alloc*>(&e) ? kPreviewOutOfMemory : kPreviewNotDrawn;
}

std::wstring PreviewWindow::ShowPlan(const JwwDocument& doc, const SheetPlan& plan) {
  try {
    DisplayList picture = PlanPicture(doc, plan);
    // A list stopped at its budget is part of a plan: none is shown rather than a misleading one.
    if (picture.overBudget) {
      ShowPicture(DisplayList{});
      return kPreviewTooManyBlocks;
    }
    ShowPicture(std::move(picture));
    return {};
  } catch (const std::exception& e) {
    ShowPicture(DisplayList{});
    return RefusalFor(e);
  }
}

void PreviewWindow::RunDone(const JwwDocument& doc, const SheetPlan& plan, const std::vector<SheetOutcome>& outcomes) {
  if (!IsOpen() || !doc_ || plan.source != file_) return;
  plan_ = plan;
  outcomes_ = outcomes;
  ShowPlan(doc, plan);
  FillRows();
}

void PreviewWindow::ShowPicture(DisplayList picture) {
  picture_ = std::move(picture);
  if (fitted_ || !(view_.pixelsPerMm > 0)) Fit();
  ViewChanged();
}

void PreviewWindow::DropFiles(HDROP drop) {
  std::filesystem::path chosen;
  if (!host_.Running()) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && chosen.empty(); ++i) {
      std::wstring path(size_t(DragQueryFileW(drop, i, nullptr, 0)) + 1, L'\0');
      path.resize(DragQueryFileW(drop, i, path.data(), UINT(path.size())));
      const std::filesystem::path p(path);
      if (HasJwwExtension(WideToSjis(p.filename().wstring()))) chosen = p;
    }
  }
  DragFinish(drop);
  if (!chosen.empty()) Load(chosen);
}

void PreviewWindow::SplitShown() {
  if (!doc_ || file_.empty() || host_.Running()) return;
  EnableWindow(Control(kPreviewSplitButton), FALSE);
  host_.Split(file_);
  SetStatus(host_.StatusText());
  EnableWindow(Control(kPreviewSplitButton), IsOpen() && doc_ != nullptr);
}

LRESULT PreviewWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {420, 260};
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kPreviewSplitButton && HIWORD(wParam) == BN_CLICKED) SplitShown();
      if (LOWORD(wParam) == kPreviewSavePdfCheck && HIWORD(wParam) == BN_CLICKED)
        host_.SavePdfClicked(SendMessageW(Control(kPreviewSavePdfCheck), BM_GETCHECK, 0, 0) == BST_CHECKED);
      return 0;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) OptionsChanged();
      break;
    case WM_TIMER:
      if (wParam == kReplanTimer) {
        KillTimer(window_, kReplanTimer);
        OptionsChanged();
      }
      return 0;
    case WM_MOUSEWHEEL: {
      // The wheel zooms the picture under the cursor, whichever control has the focus.
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (WindowFromPoint(p) == canvas_) return SendMessageW(canvas_, message, wParam, lParam);
      break;
    }
    case WM_NCDESTROY:
      // A closed preview holds no drawing: a large one would keep its memory for nothing.
      window_ = nullptr;
      canvas_ = nullptr;
      doc_.reset();
      file_.clear();
      plan_ = SheetPlan{};
      planned_ = false;
      outcomes_.clear();
      picture_ = DisplayList{};
      images_.clear();
      fitted_ = true;
      if (bitmap_) DeleteObject(bitmap_);
      bitmap_ = nullptr;
      bitmapSize_ = {0, 0};
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace kelvane
