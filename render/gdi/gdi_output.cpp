// The GDI backend. Lines are dashed here rather than by GDI pens, whose patterns have no offset
// and differ between systems; consecutive lines of one pen go out as one PolyPolyline.
#include "render/gdi/gdi_output.h"

#include <gdiplus.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "codec/gunzip.h"
#include "drawing/text_layout.h"
#include "platform/win32/wide_text.h"
#include "render/glyph_layout.h"
#include "text/jwwstring.h"

namespace kelvane {

namespace {

// Glyphs are measured and drawn at about their height on the device, at most this many pixels,
// and transformed to their cells. GDI draws a glyph transformed far down from a large font at
// some size of its own, not at the cell's.
constexpr int kLargestFontSize = 100;
constexpr int kMaxPlacementDepth = 64;
// A dash pattern shorter than this many pixels cannot be seen as dashes: it is drawn solid.
constexpr double kShortestVisiblePattern = 2.0;
// More dashes than this on one line are drawn solid rather than stall the painting.
constexpr double kMostDashesPerLine = 100000;
// One image's pixels at most, whatever the budget left: a damaged header must not take the memory.
constexpr uint64_t kMostImagePixels = 100'000'000;
// Images larger than this are decoded scaled down to it: GDI+ holds two full-size copies of an
// image while it decodes, and no screen or page shows more of one.
constexpr uint64_t kMostPixelsDecodedWhole = 25'000'000;
const wchar_t kDefaultFont[] = L"ＭＳ ゴシック";

COLORREF ColorOf(Rgb c) { return RGB(c.r, c.g, c.b); }

std::wstring CodePointToWide(char32_t c) {
  std::wstring s;
  AppendUtf16(s, c);
  return s;
}

std::wstring ToWide(const JwwString& s) {
  return s.unicode ? std::wstring(s.wide.begin(), s.wide.end()) : SjisToWide(s.sjis);
}

class Painter {
 public:
  Painter(HDC dc, const DisplayList& list, const GdiView& view, const RECT& area, const GdiImages* images)
      : dc_(dc), list_(list), view_(view), area_(area), images_(images) {}

  ~Painter() {
    for (auto& [key, pen] : pens_) DeleteObject(pen);
    for (auto& [key, brush] : brushes_) DeleteObject(brush);
    for (auto& [key, font] : fonts_) DeleteObject(font);
  }

  void Paint() {
    const int saved = SaveDC(dc_);
    HBRUSH background = CreateSolidBrush(ColorOf(list_.background));
    FillRect(dc_, &area_, background);
    DeleteObject(background);
    IntersectClipRect(dc_, area_.left, area_.top, area_.right, area_.bottom);
    SetGraphicsMode(dc_, GM_ADVANCED);
    SetBkMode(dc_, TRANSPARENT);
    SetTextAlign(dc_, TA_TOP | TA_LEFT | TA_NOUPDATECP);
    SetPolyFillMode(dc_, ALTERNATE);
    DrawItems(list_, 0);
    Flush();
    RestoreDC(dc_, saved);
  }

 private:
  void DrawItems(const DisplayList& items, int depth) {
    const DisplayList* outer = pools_;
    pools_ = &items;
    for (const ItemRef& r : items.order) {
      switch (r.kind) {
        case ItemKind::kStroke: DrawStroke(items.strokes[r.index]); break;
        case ItemKind::kFill: Flush(); DrawFill(items.fills[r.index]); break;
        case ItemKind::kText: Flush(); DrawText(items.texts[r.index]); break;
        case ItemKind::kPicture: Flush(); DrawPicture(items.pictures[r.index]); break;
        case ItemKind::kPlacement: {
          const Placement& p = items.placements[r.index];
          // A list made by hand could place itself: the depth ends that.
          if (p.list >= list_.sublists.size() || depth >= kMaxPlacementDepth) break;
          const Vec2 outerOffset = offset_;
          offset_ = {offset_.x + p.dx, offset_.y + p.dy};
          DrawItems(list_.sublists[p.list], depth + 1);
          offset_ = outerOffset;
          break;
        }
      }
    }
    pools_ = outer;
  }

  // A point of the list being drawn, where its placements put it on the page.
  Vec2 Placed(Vec2 p) const { return {p.x + offset_.x, p.y + offset_.y}; }

  struct DPoint {
    double x, y;
  };

  DPoint Device(Vec2 p) const {
    return {view_.left + view_.pixelsPerMm * p.x, view_.top + view_.pixelsPerMm * (list_.height - p.y)};
  }
  static POINT Round(DPoint p) { return {LONG(std::lround(p.x)), LONG(std::lround(p.y))}; }

  // False when the box of the points, grown by `grow` pixels, misses the area.
  bool Touches(const std::vector<DPoint>& pts, double grow) const {
    double x0 = pts[0].x, x1 = x0, y0 = pts[0].y, y1 = y0;
    for (const DPoint& p : pts) {
      x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
      y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    }
    return x1 + grow >= area_.left && x0 - grow <= area_.right && y1 + grow >= area_.top && y0 - grow <= area_.bottom;
  }

  HPEN Pen(Rgb color, int width, bool flatEnds) {
    const uint64_t key = uint64_t(ColorOf(color)) | uint64_t(width) << 24 | uint64_t(flatEnds) << 48;
    if (key == lastPenKey_ && pen_) return pen_;  // lines of one look mostly come together
    lastPenKey_ = key;
    auto it = pens_.find(key);
    if (it != pens_.end()) return it->second;
    HPEN pen;
    if (width <= 1) {
      pen = CreatePen(PS_SOLID, 1, ColorOf(color));  // a cosmetic pen: the fast one-pixel line
    } else {
      LOGBRUSH brush{BS_SOLID, ColorOf(color), 0};
      pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_JOIN_ROUND | (flatEnds ? PS_ENDCAP_FLAT : PS_ENDCAP_ROUND),
                         DWORD(width), &brush, 0, nullptr);
    }
    return pens_.emplace(key, pen).first->second;
  }

  HBRUSH Brush(Rgb color) {
    auto it = brushes_.find(ColorOf(color));
    if (it != brushes_.end()) return it->second;
    return brushes_.emplace(ColorOf(color), CreateSolidBrush(ColorOf(color))).first->second;
  }

  void UsePen(HPEN pen) {
    if (pen == pen_) return;
    Flush();
    pen_ = pen;
  }

  void Flush() {
    if (!counts_.empty()) {
      SelectObject(dc_, pen_);
      PolyPolyline(dc_, batch_.data(), counts_.data(), DWORD(counts_.size()));
    }
    batch_.clear();
    counts_.clear();
  }

  // A point on the pixel of the one before adds nothing to a line: on a drawing fitted small,
  // most of its points are such.
  void AddPiece(const std::vector<DPoint>& pts) {
    const size_t first = batch_.size();
    for (const DPoint& p : pts) {
      const POINT q = Round(p);
      if (batch_.size() > first && batch_.back().x == q.x && batch_.back().y == q.y) continue;
      batch_.push_back(q);
    }
    if (batch_.size() - first < 2) {
      // A line within one pixel: GDI draws nothing for it however many points it has.
      batch_.resize(first);
      return;
    }
    counts_.push_back(DWORD(batch_.size() - first));
    if (batch_.size() > 60000) Flush();
  }

  // Widths, dashes and the thinnest line as the cairo backend draws them on a PNG.
  double PixelLength(double length, bool devicePixels) const {
    return devicePixels ? length : length * view_.pixelsPerMm;
  }

  void DrawStroke(const Stroke& s) {
    if (s.points.count < 2) return;
    pts_.clear();
    for (uint32_t k = 0; k < s.points.count; ++k)
      pts_.push_back(Device(Placed(pools_->points[s.points.first + k])));
    if (s.closed) pts_.push_back(pts_.front());
    const StrokeStyle& style = list_.strokeStyles[s.style];
    const double width = std::max(PixelLength(style.width, style.devicePixels), 1.0);
    if (!Touches(pts_, width)) return;
    const int penWidth = std::max(1, int(std::lround(width)));

    dashes_.clear();
    double period = 0;
    for (uint32_t k = 0; k < style.dashes.count; ++k) {
      dashes_.push_back(std::max(0.0, PixelLength(list_.dashes[style.dashes.first + k], style.devicePixels)));
      period += dashes_.back();
    }
    if (dashes_.size() % 2 == 1) {  // an odd pattern repeats with on and off swapped
      dashes_.insert(dashes_.end(), dashes_.begin(), dashes_.end());
      period *= 2;
    }
    double length = 0;
    if (!dashes_.empty())
      for (size_t k = 1; k < pts_.size(); ++k) length += std::hypot(pts_[k].x - pts_[k - 1].x, pts_[k].y - pts_[k - 1].y);
    if (dashes_.empty() || period < kShortestVisiblePattern || length / period > kMostDashesPerLine) {
      UsePen(Pen(style.color, penWidth, false));
      AddPiece(pts_);
      return;
    }
    UsePen(Pen(style.color, penWidth, true));
    Dash(PixelLength(style.dashOffset, style.devicePixels), period);
  }

  // Cuts the polyline in pts_ into its dashes: the pattern runs on across the corners.
  void Dash(double offset, double period) {
    size_t i = 0;
    double left = std::fmod(offset, period);
    if (left < 0) left += period;
    while (left >= dashes_[i]) {
      left -= dashes_[i];
      i = (i + 1) % dashes_.size();
    }
    double rest = dashes_[i] - left;  // what is left of element i
    std::vector<DPoint> piece;
    for (size_t k = 1; k < pts_.size(); ++k) {
      const DPoint p = pts_[k - 1], q = pts_[k];
      const double len = std::hypot(q.x - p.x, q.y - p.y);
      double t = 0;
      while (true) {
        const bool on = i % 2 == 0;
        const double step = std::min(rest, len - t);
        if (on) {
          const double from = len > 0 ? t / len : 0, to = len > 0 ? (t + step) / len : 0;
          if (piece.empty()) piece.push_back({p.x + (q.x - p.x) * from, p.y + (q.y - p.y) * from});
          piece.push_back({p.x + (q.x - p.x) * to, p.y + (q.y - p.y) * to});
        }
        t += step;
        rest -= step;
        if (rest > 0) break;  // the segment ended inside this element
        if (on && piece.size() >= 2) AddPiece(piece);
        piece.clear();
        i = (i + 1) % dashes_.size();
        rest = dashes_[i];
        if (t >= len && rest > 0) break;
      }
    }
    if (piece.size() >= 2) AddPiece(piece);
  }

  void DrawFill(const Fill& f) {
    std::vector<POINT> points;
    std::vector<INT> counts;
    for (uint32_t r = 0; r < f.rings.count; ++r) {
      const Span& ring = pools_->rings[f.rings.first + r];
      if (ring.count < 3) continue;
      pts_.clear();
      for (uint32_t k = 0; k < ring.count; ++k) pts_.push_back(Device(Placed(pools_->points[ring.first + k])));
      for (const DPoint& p : pts_) points.push_back(Round(p));
      counts.push_back(INT(ring.count));
    }
    if (counts.empty()) return;
    double x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
    for (const POINT& p : points) {
      x0 = std::min<double>(x0, p.x), x1 = std::max<double>(x1, p.x);
      y0 = std::min<double>(y0, p.y), y1 = std::max<double>(y1, p.y);
    }
    if (x1 < area_.left || x0 > area_.right || y1 < area_.top || y0 > area_.bottom) return;
    if (x0 == x1 || y0 == y1) return;  // no area on the pixel grid: GDI would fill nothing
    SelectObject(dc_, GetStockObject(NULL_PEN));
    SelectObject(dc_, Brush(f.color));
    pen_ = nullptr;
    PolyPolygon(dc_, points.data(), counts.data(), int(counts.size()));
  }

  HFONT Font(const TextRun& t, int height) {
    const uint64_t key = uint64_t(t.font) << 9 | uint64_t(height) << 2 | uint64_t(t.bold) << 1 | uint64_t(t.italic);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    std::wstring face = ToWide(list_.fonts[t.font]);
    if (face.empty()) face = kDefaultFont;
    face.resize(std::min<size_t>(face.size(), LF_FACESIZE - 1));
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfWeight = t.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = t.italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfQuality = ANTIALIASED_QUALITY;
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    return fonts_.emplace(key, CreateFontIndirectW(&lf)).first->second;
  }

  void DrawText(const TextRun& t) {
    SetTextColor(dc_, ColorOf(t.color));
    HFONT selected = nullptr;
    const double s = view_.pixelsPerMm;
    const Glyph* glyphs = &pools_->glyphs[t.glyphs.first];
    if (IsProportionalFont(list_.fonts[t.font])) glyphs = FitToFontWidths(t, selected);
    for (uint32_t k = 0; k < t.glyphs.count; ++k) {
      const Glyph& g = glyphs[k];
      GlyphCell cell;
      if (!CellOfGlyph(g, Placed(g.origin), cell)) continue;
      // A cell under two pixels high shows no readable glyph, and GDI (Wine's at least) draws a
      // glyph that small at a size of its own, far larger than the cell.
      if (cell.upLen * s < 2) continue;
      const Vec2 o = cell.origin;
      pts_.assign({Device(o), Device({o.x + cell.across.x + cell.up.x, o.y + cell.across.y + cell.up.y})});
      if (!Touches(pts_, cell.upLen * s + cell.acrossLen * s)) continue;
      if (IsBlankGlyph(g.code, t.unicode)) continue;
      const std::wstring& text = glyphTexts_(g.code, t.unicode);
      if (text.empty()) continue;
      const int size = std::clamp(int(std::lround(cell.upLen * s)), 2, kLargestFontSize);
      HFONT font = Font(t, size);
      if (font != selected) SelectObject(dc_, selected = font);
      const double advance = Advance(text, uint64_t(g.code) | uint64_t(t.unicode) << 32 | uint64_t(size) << 33 |
                                               uint64_t(t.bold) << 40 | uint64_t(t.italic) << 41 | uint64_t(t.font) << 42);
      const GlyphPlacement p = PlaceGlyph(cell, g.code, t.unicode, size, advance);
      // Glyph space to the page, then to the device.
      XFORM xf;
      xf.eM11 = FLOAT(s * p.a.x * p.h);
      xf.eM21 = FLOAT(-s * p.u.x * p.v);
      xf.eDx = FLOAT(view_.left + s * p.top.x);
      xf.eM12 = FLOAT(-s * p.a.y * p.h);
      xf.eM22 = FLOAT(s * p.u.y * p.v);
      xf.eDy = FLOAT(view_.top + s * (list_.height - p.top.y));
      if (!SetWorldTransform(dc_, &xf)) continue;
      TextOutW(dc_, 0, 0, text.data(), int(text.size()));
      ModifyWorldTransform(dc_, nullptr, MWT_IDENTITY);
    }
  }

  // The run's cells respaced by the font's own widths, each measured at the size it is drawn at.
  const Glyph* FitToFontWidths(const TextRun& t, HFONT& selected) {
    const Glyph* glyphs = &pools_->glyphs[t.glyphs.first];
    fittedAdvances_.assign(t.glyphs.count, 0.0);
    fitted_.resize(t.glyphs.count);
    for (uint32_t k = 0; k < t.glyphs.count; ++k) {
      const Glyph& g = glyphs[k];
      const std::wstring& text = glyphTexts_(g.code, t.unicode);
      const Vec2 up = g.up;
      const int size = std::clamp(int(std::lround(std::hypot(up.x, up.y) * view_.pixelsPerMm)), 2, kLargestFontSize);
      if (text.empty()) continue;
      HFONT font = Font(t, size);
      if (font != selected) SelectObject(dc_, selected = font);
      fittedAdvances_[k] = Advance(text, uint64_t(g.code) | uint64_t(t.unicode) << 32 | uint64_t(size) << 33 |
                                             uint64_t(t.bold) << 40 | uint64_t(t.italic) << 41 | uint64_t(t.font) << 42) /
                           size;
    }
    FitProportionalRun(glyphs, t.glyphs.count, t.unicode, fittedAdvances_.data(), fitted_.data());
    return fitted_.data();
  }

  // The glyph's advance at the nominal size, measured once.
  double Advance(const std::wstring& text, uint64_t key) {
    auto it = advances_.find(key);
    if (it != advances_.end()) return it->second;
    SIZE size{};
    GetTextExtentPoint32W(dc_, text.data(), int(text.size()), &size);
    return advances_.emplace(key, double(size.cx)).first->second;
  }

  void DrawPicture(const Picture& p) {
    if (!images_ || !PictureIsDrawable(p, list_)) return;
    auto found = images_->find(p.source);
    if (found == images_->end() || !found->second || found->second->width <= 0 || found->second->height <= 0) return;
    const GdiImage& img = *found->second;
    // The shown part in image pixels (rows top down); the clip is given from the lower left.
    const double sx = p.clipX * img.width, sw = p.clipWidth * img.width;
    const double sh = p.clipHeight * img.height, sy = img.height - p.clipY * img.height - sh;
    if (!(sw > 0 && sh > 0)) return;
    const double s = view_.pixelsPerMm, H = list_.height;
    const Vec2 origin = Placed(p.origin);
    // Pixel (x, y) goes to origin + across·(x - sx)/sw + up·(sy + sh - y)/sh on the page.
    XFORM xf;
    xf.eM11 = FLOAT(s * p.across.x / sw);
    xf.eM21 = FLOAT(-s * p.up.x / sh);
    xf.eDx = FLOAT(view_.left + s * (origin.x - p.across.x * sx / sw + p.up.x * (sy + sh) / sh));
    xf.eM12 = FLOAT(-s * p.across.y / sw);
    xf.eM22 = FLOAT(s * p.up.y / sh);
    xf.eDy = FLOAT(view_.top + s * H - s * (origin.y - p.across.y * sx / sw + p.up.y * (sy + sh) / sh));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = img.width;
    bi.bmiHeader.biHeight = -img.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return;
    std::copy(img.pixels.begin(), img.pixels.end(), static_cast<uint32_t*>(bits));
    HDC source = CreateCompatibleDC(dc_);
    HGDIOBJ old = SelectObject(source, bitmap);
    // An image enlarged on the page keeps its pixels sharp, as Jw_cad shows a bitmap.
    const double enlarge = std::hypot(p.across.x, p.across.y) * s / sw;
    SetStretchBltMode(dc_, enlarge > 1 ? COLORONCOLOR : HALFTONE);
    SetBrushOrgEx(dc_, 0, 0, nullptr);
    if (SetWorldTransform(dc_, &xf)) {
      const int x = int(std::lround(sx)), y = int(std::lround(sy));
      const int w = std::max(1, int(std::lround(sw))), hgt = std::max(1, int(std::lround(sh)));
      StretchBlt(dc_, x, y, w, hgt, source, x, y, w, hgt, SRCCOPY);
      ModifyWorldTransform(dc_, nullptr, MWT_IDENTITY);
    }
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(bitmap);
  }

  HDC dc_;
  const DisplayList& list_;             // the whole list: its shared tables and sublists
  const DisplayList* pools_ = nullptr;  // the list (or sublist) whose items are being drawn
  Vec2 offset_;                         // where the placements leading to it moved it
  GdiView view_;
  RECT area_;
  const GdiImages* images_;
  HPEN pen_ = nullptr;
  uint64_t lastPenKey_ = ~uint64_t(0);
  std::vector<POINT> batch_;
  std::vector<DWORD> counts_;
  std::vector<DPoint> pts_;
  std::vector<double> dashes_;
  std::unordered_map<uint64_t, HPEN> pens_;
  std::unordered_map<COLORREF, HBRUSH> brushes_;
  std::unordered_map<uint64_t, HFONT> fonts_;
  GlyphTexts<std::wstring> glyphTexts_{CodePointToWide, [](const std::string& sjis) { return SjisToWide(sjis); }};
  std::unordered_map<uint64_t, double> advances_;
  std::vector<double> fittedAdvances_;  // a proportional run's glyph widths in ems, kept between runs
  std::vector<Glyph> fitted_;           // and its cells fitted by them
};

}  // namespace

GdiView FitView(const DisplayList& list, int width, int height, int margin) {
  GdiView view;
  if (!(list.width > 0 && list.height > 0)) return view;
  const double w = std::max(1, width - 2 * margin), h = std::max(1, height - 2 * margin);
  view.pixelsPerMm = std::min(w / list.width, h / list.height);
  view.left = (width - list.width * view.pixelsPerMm) / 2;
  view.top = (height - list.height * view.pixelsPerMm) / 2;
  return view;
}

namespace {

// Releases a COM object when it goes out of scope.
template <class T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

// The size of the first frame of an image, read from its header through WIC; false when WIC
// cannot read it.
bool WicFrame(IWICImagingFactory* factory, const std::vector<uint8_t>& bytes, ComPtr<IWICStream>& stream,
              ComPtr<IWICBitmapDecoder>& decoder, ComPtr<IWICBitmapFrameDecode>& frame, UINT& w, UINT& h) {
  return SUCCEEDED(factory->CreateStream(&stream)) &&
         SUCCEEDED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), DWORD(bytes.size()))) &&
         SUCCEEDED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
         SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&w, &h));
}

// Decodes an image larger than kMostPixelsDecodedWhole scaled down to that many pixels, row by
// row through WIC, so that only the decoder's own copy is ever full-size. `large` is false when
// the image is not that large (or WIC cannot read it): GDI+ then decodes it whole.
bool DecodeLargeImage(const std::vector<uint8_t>& bytes, GdiImage& out, uint64_t maxPixels, bool& large) {
  large = false;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool ok = false;
  {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT w = 0, h = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   reinterpret_cast<void**>(&factory))) &&
        WicFrame(factory.p, bytes, stream, decoder, frame, w, h) && uint64_t(w) * h > kMostPixelsDecodedWhole) {
      large = true;
      const double scale = std::sqrt(double(kMostPixelsDecodedWhole) / (double(w) * h));
      const UINT sw = std::max(1u, UINT(w * scale)), sh = std::max(1u, UINT(h * scale));
      ComPtr<IWICFormatConverter> converter;
      ComPtr<IWICBitmapScaler> scaler;
      if (uint64_t(w) * h <= std::min(maxPixels, kMostImagePixels) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
          SUCCEEDED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                          WICBitmapPaletteTypeCustom)) &&
          SUCCEEDED(factory->CreateBitmapScaler(&scaler)) &&
          SUCCEEDED(scaler->Initialize(converter.p, sw, sh, WICBitmapInterpolationModeFant))) {
        out.pixels.assign(size_t(sw) * sh, 0);
        // In bands: a scaler asked for the whole image reads the whole source at once.
        ok = true;
        for (UINT y = 0; ok && y < sh; y += 16) {
          const WICRect band{0, INT(y), INT(sw), INT(std::min(16u, sh - y))};
          ok = SUCCEEDED(scaler->CopyPixels(&band, sw * 4, sw * 4 * UINT(band.Height),
                                            reinterpret_cast<BYTE*>(out.pixels.data() + size_t(y) * sw)));
        }
        if (ok) out.width = int(sw), out.height = int(sh);
        else out.pixels = {};
      }
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return ok;
}

}  // namespace

bool DecodeGdiImage(const std::vector<uint8_t>& bytes, GdiImage& out, uint64_t maxPixels) {
  bool large = false;
  if (!bytes.empty() && bytes.size() <= 0xFFFFFFFFu) {
    const bool decoded = DecodeLargeImage(bytes, out, maxPixels, large);
    if (large) return decoded;
  }
  static const bool started = [] {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  if (!started || bytes.empty()) return false;
  IStream* stream = SHCreateMemStream(bytes.data(), UINT(bytes.size()));
  if (!stream) return false;
  bool ok = false;
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok && bitmap) {
    UINT w = 0, h = 0;
    Gdiplus::DllExports::GdipGetImageWidth(bitmap, &w);
    Gdiplus::DllExports::GdipGetImageHeight(bitmap, &h);
    const uint64_t pixels = uint64_t(w) * h;
    if (w > 0 && h > 0 && pixels <= maxPixels && pixels <= kMostImagePixels) {
      Gdiplus::Rect rect(0, 0, INT(w), INT(h));
      Gdiplus::BitmapData data{};
      if (Gdiplus::DllExports::GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppRGB,
                                                  &data) == Gdiplus::Ok) {
        out.width = int(w);
        out.height = int(h);
        out.pixels.resize(size_t(w) * h);
        for (UINT y = 0; y < h; ++y) {
          const auto* row =
              reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(y) * data.Stride);
          std::copy(row, row + w, out.pixels.begin() + ptrdiff_t(y) * w);
        }
        Gdiplus::DllExports::GdipBitmapUnlockBits(bitmap, &data);
        ok = true;
      }
    }
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
  }
  stream->Release();
  return ok;
}

bool DecodeImageBytes(const std::vector<uint8_t>& bytes, bool gzipped, GdiImage& out, uint64_t maxPixels) {
  if (!gzipped) return DecodeGdiImage(bytes, out, maxPixels);
  std::vector<uint8_t> inflated;
  return Gunzip(bytes, inflated) && DecodeGdiImage(inflated, out, maxPixels);
}

GdiImages DecodeListImages(const DisplayList& list, const ImageBytesSource& bytesFor, uint64_t pixelBudget,
                           int* decoded) {
  GdiImages images;
  // By the source as the drawing stores it: its references share one decoding, or one failure.
  std::map<std::pair<bool, std::u16string>, std::shared_ptr<const GdiImage>> bySource;
  int count = 0;
  for (uint32_t i = 0; i < list.imageSources.size(); ++i) {
    const JwwString& source = list.imageSources[i];
    const std::u16string key = source.unicode ? source.wide : std::u16string(source.sjis.begin(), source.sjis.end());
    auto [slot, added] = bySource.try_emplace({source.unicode, key});
    if (added) {
      auto image = std::make_shared<GdiImage>();
      if (DecodeImageBytes(bytesFor(source), IsGzipName(source), *image, pixelBudget)) {
        pixelBudget -= uint64_t(image->width) * uint64_t(image->height);
        slot->second = std::move(image);
        ++count;
      }
    }
    if (slot->second) images.emplace(i, slot->second);
  }
  if (decoded) *decoded = count;
  return images;
}

void PaintDisplayList(HDC dc, const DisplayList& list, const GdiView& view, const RECT& area, const GdiImages* images) {
  Painter(dc, list, view, area, images).Paint();
}

}  // namespace kelvane
