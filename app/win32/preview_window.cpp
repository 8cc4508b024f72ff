// The split preview window: the plan picture on an off-screen bitmap, the sheet list, the button.
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
#include "jww/images.h"
#include "drawing/image_source.h"

namespace kelvane {

namespace {

const wchar_t kPreviewClass[] = L"KelvanePreview";
const wchar_t kCanvasClass[] = L"KelvanePlanView";
const wchar_t kCaption[] = L"Kelvane - 分割プレビュー";
const wchar_t kFontFace[] = L"ＭＳ ゴシック";
constexpr int kClientWidth = 1000, kClientHeight = 640;
constexpr int kListWidth = 420;
constexpr int kStatusHeight = 20;
constexpr int kButtonHeight = 25;
constexpr int kGap = 4;
constexpr int kFitMargin = 8;  // pixels around the fitted drawing
constexpr UINT_PTR kReplanTimer = 1;
constexpr UINT kReplanDelayMs = 250;  // typing in an option field plans once, after the typing
constexpr UINT_PTR kRebuildTimer = 2;
constexpr UINT kRebuildDelayMs = 150;  // the picture is painted anew once the wheel rests this long
// The zoom stays between a quarter of the fitted view and this many times it, which also keeps
// every coordinate GDI sees far inside its range.
constexpr double kMostZoom = 2000;

// The sheet list's columns and their narrowest widths.
const struct {
  const wchar_t* title;
  int width;
} kColumns[] = {{L"番号", 44}, {L"名前", 90}, {L"用紙", 44}, {L"ファイル名", 130}, {L"処理", 200}};

std::wstring ToWide(const JwwString& s) {
  return s.unicode ? std::wstring(s.wide.begin(), s.wide.end()) : SjisToWide(s.sjis);
}

// Jw_cad's paper size codes.
std::wstring PaperName(int32_t code) {
  static const wchar_t* const kNames[] = {L"A0", L"A1", L"A2", L"A3", L"A4", L"", L"", L"",
                                          L"2A", L"3A", L"4A", L"5A", L"10m", L"50m", L"100m"};
  if (code >= 0 && code < 15 && kNames[code][0]) return kNames[code];
  return std::to_wstring(code);
}

std::wstring WideOfUtf8(const std::string& utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::wstring DecisionText(SheetDecision d) {
  switch (d) {
    case SheetDecision::kWrite: return kSheetToWrite;
    case SheetDecision::kRenamed: return kSheetToWriteRenamed;
    case SheetDecision::kEmpty: return kSheetEmpty;
    case SheetDecision::kProtectedInput: return kSheetWouldReplaceInput;
    case SheetDecision::kNameNotUsable: return kSheetNameNotUsable;
  }
  return L"";
}

HFONT MakeFont(int pixels) {
  return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFontFace);
}

// Rows as tall as the font's lowest ink needs, above the grid line: the list view sizes them
// from the font's cell alone, which cuts the underscore ("0-1_example.jww" read "0-1 example.jww").
// The height comes in as the height of a small-image list, which the list view takes for rows.
void SizeRowsToFont(HWND list, HFONT font) {
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  GLYPHMETRICS gm{};
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  int inkBottom = tm.tmHeight;
  if (GetGlyphOutlineW(dc, L'_', GGO_METRICS, &gm, 0, nullptr, &identity) != GDI_ERROR)
    inkBottom = std::max(inkBottom, int(tm.tmAscent - gm.gmptGlyphOrigin.y + int(gm.gmBlackBoxY)));
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  // The text is centred: what reaches below the cell needs as much again above it.
  const int height = tm.tmHeight + 2 * (inkBottom - tm.tmHeight) + 4;
  if (HIMAGELIST rows = ImageList_Create(1, height, ILC_COLOR, 1, 0))
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(rows));
}

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
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PreviewWindow::WindowProc));
    font_ = font_ ? font_ : MakeFont(12);
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
  SetWindowLongPtrW(canvas_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(canvas_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PreviewWindow::CanvasProc));
  HWND list = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                   WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, kPreviewList);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  SizeRowsToFont(list, font_);
  const auto& columns = kColumns;
  for (int i = 0; i < 5; ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.pszText = const_cast<wchar_t*>(columns[i].title);
    c.cx = columns[i].width;
    c.iSubItem = i;
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
  }
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
  Platform& platform = host_.HostPlatform();
  planned_ = true;
  outcomes_.clear();
  std::wstring refusal;
  try {
    // What a drop of this one drawing on the main window would plan.
    RunContext run;
    AddRunInput(run, platform, file_);
    plan_ = PlanSheets(*doc_, options_, file_, outputFolder_ ? *outputFolder_ : file_.parent_path() / "", run, platform);
    RecordPlannedSheets(run, platform, plan_);
    PlanCompanions(plan_, *doc_, host_.CurrentCompanions(), run, platform);
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

void PreviewWindow::FillRows() {
  HWND list = Control(kPreviewList);
  if (!list) return;
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  for (size_t i = 0; i < plan_.sheets.size(); ++i) {
    const PlannedSheet& s = plan_.sheets[i];
    const PaperFrame& frame = plan_.frames[s.frame];
    std::wstring action = DecisionText(s.decision);
    if (i < outcomes_.size()) {
      if (outcomes_[i].written) action = kSheetWritten;
      else if (!outcomes_[i].failure.empty()) action = kSheetNotWritten + SjisToWide(outcomes_[i].failure);
    }
    const std::wstring cells[] = {
        SjisToWide(s.number),
        s.sheet >= 0 && size_t(s.sheet) < frame.sheetNames.size() ? ToWide(frame.sheetNames[size_t(s.sheet)]) : L"",
        PaperName(s.paperSize),
        s.file.empty() ? L"" : s.file.filename().wstring(),
        action,
    };
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = int(i);
    item.pszText = const_cast<wchar_t*>(cells[0].c_str());
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int c = 1; c < 5; ++c) {
      item.iSubItem = c;
      item.pszText = const_cast<wchar_t*>(cells[c].c_str());
      SendMessageW(list, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
    }
  }
  // The files beside the sheets, each under its sheet's number, as the run names them.
  for (size_t i = 0; i < plan_.outputs.size(); ++i) {
    const PlannedOutput& out = plan_.outputs[i];
    const bool ofSheet = out.kind != OutputKind::kPdfSet && out.sheet < plan_.sheets.size();
    std::wstring action = out.kind == OutputKind::kPdfSet   ? kOutputPdfSet
                          : out.kind == OutputKind::kDxf      ? kOutputDxf
                          : out.kind == OutputKind::kDxfImage ? kOutputDxfImage
                                                              : kOutputPdf;
    switch (out.state) {
      case OutputState::kWritten: action += L"：" + std::wstring(kSheetWritten); break;
      case OutputState::kFailed: action += L"：" + std::wstring(kSheetNotWritten) + WideOfUtf8(out.reason); break;
      case OutputState::kRefused: action += kOutputNotToWrite + WideOfUtf8(out.reason) + L"）"; break;
      case OutputState::kPlanned: action += L"：" + std::wstring(kSheetToWrite); break;
      case OutputState::kNotNeeded: break;
    }
    const std::wstring cells[] = {ofSheet ? SjisToWide(plan_.sheets[out.sheet].number) : L"", L"", L"",
                                  out.file.filename().wstring(), action};
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = int(plan_.sheets.size() + i);
    item.pszText = const_cast<wchar_t*>(cells[0].c_str());
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int c = 1; c < 5; ++c) {
      item.iSubItem = c;
      item.pszText = const_cast<wchar_t*>(cells[c].c_str());
      SendMessageW(list, LVM_SETITEMTEXTW, plan_.sheets.size() + i, reinterpret_cast<LPARAM>(&item));
    }
  }
  // Every cell readable: a column as wide as its widest text (the list scrolls sideways).
  for (int c = 0; c < 5; ++c) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE);
    const int width = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, c, std::max(width + 8, kColumns[c].width));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  EnableWindow(Control(kPreviewSplitButton), doc_ && !plan_.sheets.empty());
}

void PreviewWindow::Fit() {
  RECT r{};
  GetClientRect(canvas_, &r);
  view_ = FitView(picture_, r.right, r.bottom, kFitMargin);
  fitted_ = true;
}

void PreviewWindow::ViewChanged() {
  bitmapStale_ = true;
  if (canvas_) InvalidateRect(canvas_, nullptr, FALSE);
}

void PreviewWindow::Zoom(POINT cursor, double factor) {
  RECT r{};
  GetClientRect(canvas_, &r);
  const double fit = FitView(picture_, r.right, r.bottom, kFitMargin).pixelsPerMm;
  if (!(fit > 0)) return;
  const double scale = std::clamp(view_.pixelsPerMm * factor, fit / 4, fit * kMostZoom);
  const double k = scale / view_.pixelsPerMm;
  // The page point under the cursor stays under it.
  view_.left = cursor.x - (cursor.x - view_.left) * k;
  view_.top = cursor.y - (cursor.y - view_.top) * k;
  view_.pixelsPerMm = scale;
  fitted_ = false;
  // The picture at hand is stretched at once; it is painted anew when the wheel rests.
  InvalidateRect(canvas_, nullptr, FALSE);
  SetTimer(canvas_, kRebuildTimer, kRebuildDelayMs, nullptr);
}

void PreviewWindow::PaintCanvas() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(canvas_, &ps);
  RECT r{};
  GetClientRect(canvas_, &r);
  HDC memory = CreateCompatibleDC(dc);
  if (!bitmap_ || bitmapSize_.cx != r.right || bitmapSize_.cy != r.bottom) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = CreateCompatibleBitmap(dc, std::max<LONG>(1, r.right), std::max<LONG>(1, r.bottom));
    bitmapSize_ = {r.right, r.bottom};
    bitmapStale_ = true;
  }
  HGDIOBJ old = SelectObject(memory, bitmap_);
  if (bitmapStale_) {
    KillTimer(canvas_, kRebuildTimer);
    try {
      PaintDisplayList(memory, picture_, view_, r, &images_);
    } catch (const std::exception&) {
      // Out of memory amid the painting: what was painted stays; the program goes on.
    }
    GdiFlush();
    bitmapView_ = view_;
    bitmapStale_ = false;
    ++rebuilds_;
  }
  // While the mouse pans or the wheel turns, the picture at hand is moved and scaled to the view
  // shown; what it does not cover is background until it is painted for the new view.
  const double k = view_.pixelsPerMm / bitmapView_.pixelsPerMm;
  const int x = int(std::lround(view_.left + dragBy_.x - bitmapView_.left * k));
  const int y = int(std::lround(view_.top + dragBy_.y - bitmapView_.top * k));
  const int w = int(std::lround(r.right * k)), h = int(std::lround(r.bottom * k));
  if (w == r.right && h == r.bottom) {
    BitBlt(dc, x, y, w, h, memory, 0, 0, SRCCOPY);
  } else {
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, x, y, w, h, memory, 0, 0, r.right, r.bottom, SRCCOPY);
  }
  if (x > 0 || y > 0 || x + w < r.right || y + h < r.bottom) {
    ExcludeClipRect(dc, x, y, x + w, y + h);
    HBRUSH background = CreateSolidBrush(RGB(picture_.background.r, picture_.background.g, picture_.background.b));
    FillRect(dc, &r, background);
    DeleteObject(background);
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  EndPaint(canvas_, &ps);
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

LRESULT PreviewWindow::OnCanvasMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      PaintCanvas();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      if (fitted_) Fit();
      ViewChanged();
      return 0;
    case WM_MOUSEWHEEL: {
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(canvas_, &p);
      Zoom(p, std::pow(1.25, GET_WHEEL_DELTA_WPARAM(wParam) / double(WHEEL_DELTA)));
      return 0;
    }
    case WM_LBUTTONDOWN:
      SetFocus(canvas_);
      SetCapture(canvas_);
      dragging_ = true;
      dragFrom_ = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      dragBy_ = {0, 0};
      return 0;
    case WM_MOUSEMOVE:
      if (dragging_) {
        dragBy_ = {GET_X_LPARAM(lParam) - dragFrom_.x, GET_Y_LPARAM(lParam) - dragFrom_.y};
        InvalidateRect(canvas_, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (dragging_) {
        dragging_ = false;
        if (GetCapture() == canvas_) ReleaseCapture();
        if (dragBy_.x != 0 || dragBy_.y != 0) {
          view_.left += dragBy_.x;
          view_.top += dragBy_.y;
          fitted_ = false;
          dragBy_ = {0, 0};
          ViewChanged();
        }
      }
      return 0;
    case WM_TIMER:
      if (wParam == kRebuildTimer) {
        KillTimer(canvas_, kRebuildTimer);
        ViewChanged();
      }
      return 0;
    case WM_LBUTTONDBLCLK:
      Fit();
      ViewChanged();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(canvas_, message, wParam, lParam);
}

LRESULT CALLBACK PreviewWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT CALLBACK PreviewWindow::CanvasProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->canvas_ != window) return DefWindowProcW(window, message, wParam, lParam);
  return self->OnCanvasMessage(message, wParam, lParam);
}

}  // namespace kelvane
