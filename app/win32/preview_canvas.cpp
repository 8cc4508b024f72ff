// The preview's canvas: the plan picture fitted, zoomed and panned, painted from an off-screen
// bitmap.
#include "app/win32/preview_window.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>

namespace kelvane {

namespace {

constexpr int kFitMargin = 8;  // pixels around the fitted drawing
constexpr UINT_PTR kRebuildTimer = 2;
constexpr UINT kRebuildDelayMs = 150;  // the picture is painted anew once the wheel rests this long
// The zoom stays between a quarter of the fitted view and this many times it, which also keeps
// every coordinate GDI sees far inside its range.
constexpr double kMostZoom = 2000;

}  // namespace

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

}  // namespace kelvane
