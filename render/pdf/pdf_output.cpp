// The PDF backend: replays display lists onto the pages of one document.
#include "render/pdf/pdf_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "platform/replacing_file.h"
#include "platform/text_conversion.h"
#include "render/glyph_layout.h"
#include "render/pdf/item_bounds.h"
#include "render/pdf/pdf_document.h"
#include "render/pdf/pdf_fonts.h"
#include "drawing/text_layout.h"

namespace kelvane {

namespace {

using namespace pdf;

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72;
constexpr double kScreenDpi = 96;  // what a "pixel" width means on a page
// Content coordinates are whole hundredths of a list millimetre: short integers, finer than
// anything printed.
constexpr double kUnitsPerMm = 100;
constexpr double kMaxUnits = 2e9;  // within the integers every reader takes
// The largest page side in points, as the cairo pages have it.
constexpr double kMaxPagePoints = double(1 << 21);
constexpr int kMaxPlacementDepth = 64;
constexpr double kPi = 3.14159265358979323846;
constexpr double kArcTolerance = 0.01;  // list millimetres, as the display list cuts arcs
constexpr int kContentLevel = 6;  // zlib's default: the level every PDF writer uses
// The largest page side some readers take in default units (200 in); a larger page is written in
// larger units (/UserUnit).
constexpr double kMaxDefaultUnits = 14400;

// A broken Shift_JIS byte becomes "?" and the next byte is read afresh, as the pictures read it.
std::string ToUtf8(const JwwString& s) {
  return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis, UnreadableSjis::kSkipByte);
}

std::string SourceKey(const JwwString& s) {
  if (!s.unicode) return "s" + s.sjis;
  return "u" + std::string(reinterpret_cast<const char*>(s.wide.data()), s.wide.size() * sizeof(char16_t));
}

// The images of the document, each written once however often pages show it. Every page has
// the image budget of a picture of its own: the images it shows count against it, those an
// earlier page stored as well, so a page has exactly the images of its sheet's own PDF.
class DocumentImages {
 public:
  struct Stored {
    int object = 0;
    std::string name;  // "/Im1"
    int width = 0, height = 0;
    ImageProblem problem = ImageProblem::kNone;
  };
  DocumentImages(const PdfOutput& output, ObjectWriter& writer) : output_(output), writer_(writer) {}

  // A new page, with the whole budget.
  void StartPage() {
    pixelsLeft_ = output_.imagePixelBudget;
    onPage_.clear();
  }

  // `smooth(width)`: the image, `width` pixels wide, is shown with its pixels smaller than a
  // point, and is drawn smoothed as the cairo pages draw it; one shown larger keeps its pixels
  // sharp, as Jw_cad shows a bitmap. The first showing decides for every other.
  Stored Load(const JwwString& source, const std::function<bool(int width)>& smooth) {
    const std::string key = SourceKey(source);
    Stored& s = images_[key];
    if (s.object != 0) return Show(key, s);
    // Over an earlier page's budget, an image is tried again on a page of its own budget.
    if (s.problem != ImageProblem::kNone && (s.problem != ImageProblem::kTooManyPixels || onPage_.count(key))) return s;
    onPage_.insert(key);
    s.problem = ImageProblem::kNone;
    std::optional<RasterImage> image;
    try {
      image = output_.image(source, pixelsLeft_, s.problem);
    } catch (const std::bad_alloc&) {
      s.problem = ImageProblem::kTooManyPixels;
      return s;
    }
    if (s.problem == ImageProblem::kNone && !Usable(image)) s.problem = ImageProblem::kUndecodable;
    if (s.problem == ImageProblem::kNone && Pixels(*image) > pixelsLeft_) s.problem = ImageProblem::kTooManyPixels;
    if (s.problem == ImageProblem::kNone) Write(*image, smooth(image->width), s);
    return s;
  }

  std::string ResourceEntries() const {
    std::string entries;
    for (const auto& [key, s] : images_)
      if (s.object) entries += s.name + " " + Ref(s.object);
    return entries;
  }

 private:
  static uint64_t Pixels(const RasterImage& image) { return uint64_t(image.width) * uint64_t(image.height); }
  bool Usable(const std::optional<RasterImage>& image) const {
    if (!image || image->width <= 0 || image->height <= 0) return false;
    const uint64_t pixels = Pixels(*image);
    return image->rgb.size() == pixels * 3 && (image->alpha.empty() || image->alpha.size() == pixels);
  }

  // A stored image shown on the page: it counts once against the page's budget.
  Stored Show(const std::string& key, const Stored& s) {
    if (!onPage_.insert(key).second) return s;
    const uint64_t pixels = uint64_t(s.width) * uint64_t(s.height);
    if (pixels > pixelsLeft_) {
      onPage_.erase(key);
      Stored refused;
      refused.problem = ImageProblem::kTooManyPixels;
      return refused;
    }
    pixelsLeft_ -= pixels;
    return s;
  }

  void Write(const RasterImage& image, bool smooth, Stored& s) {
    pixelsLeft_ -= Pixels(image);
    s.width = image.width, s.height = image.height;
    s.object = writer_.Allocate();
    s.name = "/Im" + std::to_string(++count_);
    const std::string size = "/Type/XObject/Subtype/Image/Width " + std::to_string(image.width) + "/Height " +
                             std::to_string(image.height) + "/BitsPerComponent 8/Filter/FlateDecode";
    std::string packed, mask;
    if (!image.alpha.empty()) {
      const int maskObject = writer_.Allocate();
      Deflate(image.alpha.data(), image.alpha.size(), kContentLevel, packed);
      writer_.WriteStream(maskObject, size + "/ColorSpace/DeviceGray", packed);
      mask = "/SMask " + Ref(maskObject);
    }
    Deflate(image.rgb.data(), image.rgb.size(), kContentLevel, packed);
    writer_.WriteStream(s.object, size + "/ColorSpace/DeviceRGB" + mask + (smooth ? "/Interpolate true" : ""), packed);
  }

  const PdfOutput& output_;
  ObjectWriter& writer_;
  std::unordered_map<std::string, Stored> images_;
  std::unordered_set<std::string> onPage_;  // the images the page shows or was refused
  uint64_t pixelsLeft_ = 0;                  // of the page's budget
  int count_ = 0;
};

// The drawing's layer groups and layers that have something on a page, as optional content:
// one group (OCG) per layer group and per layer, a layer's content marked inside its group's, so
// that it shows only while both are on.
class DocumentLayers {
 public:
  explicit DocumentLayers(ObjectWriter& writer) : writer_(writer) {}

  // The marks that open the layer (group · 16 + layer) of a list with these names: its group's,
  // then its own; two EMC close them.
  const std::string& MarksFor(uint16_t code, const std::vector<JwwString>& names) {
    const size_t group = code / 16, layer = code % 16;
    const std::string groupName = Named(Hex(group), names, group);
    const std::string layerName = Named(Hex(group) + "-" + Hex(layer), names, 16 + size_t(code));
    Group& g = groups_[{group, groupName}];
    if (g.object == 0) {
      g.object = writer_.Allocate(), g.name = groupName, g.resource = "/OC" + std::to_string(++count_);
      order_.push_back({group, groupName});
    }
    Layer& l = g.layers[{layer, layerName}];
    if (l.object == 0) {
      l.object = writer_.Allocate();
      l.name = layerName;
      l.resource = "/OC" + std::to_string(++count_);
      l.marks = "/OC " + g.resource + " BDC /OC " + l.resource + " BDC\n";
      g.order.push_back({layer, layerName});
    }
    return l.marks;
  }

  bool Empty() const { return groups_.empty(); }

  // "/OC1 12 0 R..." for the resources' /Properties.
  std::string ResourceEntries() const {
    std::string entries;
    for (const auto& [key, g] : groups_) {
      entries += g.resource + " " + Ref(g.object);
      for (const auto& [lkey, l] : g.layers) entries += l.resource + " " + Ref(l.object);
    }
    return entries;
  }

  // Writes the groups and answers the catalog's /OCProperties entry: every group on, as printed,
  // each layer group with its layers under it in the reader's panel.
  std::string Write() {
    std::string all, order;
    for (const auto& gkey : order_) {
      Group& g = groups_[gkey];
      WriteGroup(g.object, g.name);
      all += Ref(g.object) + " ";
      order += Ref(g.object) + "[";
      for (const auto& lkey : g.order) {
        const Layer& l = g.layers[lkey];
        WriteGroup(l.object, l.name);
        all += Ref(l.object) + " ";
        order += Ref(l.object) + " ";
      }
      order += "]";
    }
    return "/OCProperties<</OCGs[" + all + "]/D<</Order[" + order + "]/BaseState/ON>>>>";
  }

 private:
  struct Layer {
    int object = 0;
    std::string name, resource, marks;
  };
  using Key = std::pair<size_t, std::string>;
  struct Group {
    int object = 0;
    std::string name, resource;
    std::map<Key, Layer> layers;
    std::vector<Key> order;
  };

  static std::string Hex(size_t v) { return std::string(1, "0123456789ABCDEF"[v & 15]); }
  static std::string Named(const std::string& number, const std::vector<JwwString>& names, size_t k) {
    const std::string name = k < names.size() ? ToUtf8(names[k]) : std::string();
    return name.empty() ? number : number + " " + name;
  }
  void WriteGroup(int object, const std::string& name) {
    std::string body = "<</Type/OCG/Name";
    AppendTextString(body, name);
    writer_.Write(object, body + ">>");  // shown and printed: the default configuration's base state
  }

  ObjectWriter& writer_;
  std::map<Key, Group> groups_;
  std::vector<Key> order_;  // groups as first met
  int count_ = 0;
};

// What the content stream has set, so that it is set again only when it changes; kept on a
// stack beside the stream's own q/Q.
struct GraphicsState {
  Rgb stroke{0, 0, 0}, fill{0, 0, 0};
  double width = 1;  // in content units
  int64_t dash = -1;  // the stroke style whose dashes are set; -1 for a solid line
  int cap = 0;
  int textMode = 0;  // text filled (0), filled and stroked (2, thickened) or invisible (3)
};

// How far a slanted face leans (x per y), and how much a thickened one grows (its outline moves
// out by half of this, in ems), as fontconfig and FreeType make them for the screen.
constexpr double kSyntheticSlant = 0.2;
constexpr double kSyntheticBold = 1.0 / 24;

// A character of a run as the page shows it, looked up once.
struct Character {
  FaceGlyph glyph;
  std::u16string text;
  bool missing = true;  // no face has it: a box is drawn
};

class PagePainter {
 public:
  PagePainter(const DisplayList& list, double pageScale, DeflateStream& out, DocumentFonts& fonts,
              DocumentImages& images, const PdfOutput& output, double userUnit = 1, DocumentLayers* layers = nullptr)
      : list_(list), devicePerMm_(pageScale * kPointsPerInch / kMmPerInch), userUnit_(userUnit), layers_(layers),
        out_(out), fonts_(fonts),
        images_(images), output_(output), bounds_(list, kPointsPerInch / kScreenDpi / devicePerMm_, kMaxPlacementDepth) {
    page_.Add(0, 0);
    page_.Add(list.width, list.height);
  }

  void Paint() {
    std::string& s = out_.Text();
    AppendReal(s, devicePerMm_ / kUnitsPerMm / userUnit_);
    s += " 0 0 ";
    AppendReal(s, devicePerMm_ / kUnitsPerMm / userUnit_);
    s += " 0 0 cm 1 j\n";
    SetFill(list_.background);
    s += "0 0 ";
    AppendInt(s, std::llround(list_.width * kUnitsPerMm));
    s += ' ';
    AppendInt(s, std::llround(list_.height * kUnitsPerMm));
    s += " re f\n";
    DrawItems(list_, 0);
  }

 private:
  void DrawItems(const DisplayList& items, int depth) {
    const DisplayList* outer = pools_;
    pools_ = &items;
    const bool layered = layers_ && !items.layers.empty();
    size_t run = 0;                // the next layer run
    uint16_t layer = kNoLayer;     // of the item at hand
    uint16_t open = kNoLayer;      // whose marked content is open
    for (size_t k = 0; k < items.order.size(); ++k) {
      const ItemRef& r = items.order[k];
      if (layered)
        for (; run < items.layers.size() && items.layers[run].first <= k; ++run) layer = items.layers[run].layer;
      // What falls wholly off the page is left out, as the cairo pages leave it out.
      if (!bounds_.Of(items, r, depth).Meets(page_, offsetX_, offsetY_)) continue;
      if (layer != open) {
        if (open != kNoLayer) out_.Text() += "EMC EMC\n";
        if (layer != kNoLayer) out_.Text() += layers_->MarksFor(layer, list_.layerNames);
        open = layer;
      }
      switch (r.kind) {
        case ItemKind::kStroke: DrawStroke(items.strokes[r.index], r.index); break;
        case ItemKind::kFill: DrawFill(items.fills[r.index]); break;
        case ItemKind::kText: DrawText(items.texts[r.index]); break;
        case ItemKind::kPicture: DrawPicture(items.pictures[r.index]); break;
        case ItemKind::kPlacement: DrawPlacement(items.placements[r.index], depth); break;
      }
      out_.FlushIfLarge();
    }
    if (open != kNoLayer) out_.Text() += "EMC EMC\n";
    pools_ = outer;
  }

  void DrawPlacement(const Placement& p, int depth) {
    // A list made by hand could place itself: the depth ends that.
    if (p.list >= list_.sublists.size() || depth >= kMaxPlacementDepth) return;
    const double dx = p.dx * kUnitsPerMm, dy = p.dy * kUnitsPerMm;
    if (!(std::abs(dx) < kMaxUnits && std::abs(dy) < kMaxUnits)) return;
    std::string& s = out_.Text();
    s += "q 1 0 0 1 ";
    AppendInt(s, std::llround(dx));
    s += ' ';
    AppendInt(s, std::llround(dy));
    s += " cm\n";
    states_.push_back(state_);
    offsetX_ += p.dx, offsetY_ += p.dy;
    DrawItems(list_.sublists[p.list], depth + 1);
    offsetX_ -= p.dx, offsetY_ -= p.dy;
    state_ = states_.back();
    states_.pop_back();
    out_.Text() += "Q\n";
  }

  // Appends a point; false for one not finite or far beyond any page.
  bool Point(std::string& s, double x, double y) {
    x *= kUnitsPerMm, y *= kUnitsPerMm;
    if (!(std::abs(x) < kMaxUnits && std::abs(y) < kMaxUnits)) return false;
    AppendInt(s, std::llround(x));
    s += ' ';
    AppendInt(s, std::llround(y));
    return true;
  }

  // Appends a polyline as a path; false (and nothing appended) when a point cannot be drawn.
  bool Path(std::string& s, const PagePoint* p, uint32_t count, bool closed) {
    const size_t mark = s.size();
    for (uint32_t k = 0; k < count; ++k) {
      if (!Point(s, p[k].x, p[k].y)) {
        s.resize(mark);
        return false;
      }
      s += k == 0 ? " m\n" : " l\n";
    }
    if (closed) s += "h\n";
    return true;
  }

  static void AppendColor(std::string& s, Rgb c, const char* op) {
    AppendFixed(s, c.r / 255.0, 3);
    s += ' ';
    AppendFixed(s, c.g / 255.0, 3);
    s += ' ';
    AppendFixed(s, c.b / 255.0, 3);
    s += op;
  }
  void SetStroke(Rgb c) {
    if (c == state_.stroke) return;
    AppendColor(out_.Text(), c, " RG\n");
    state_.stroke = c;
  }
  void SetFill(Rgb c) {
    if (c == state_.fill) return;
    AppendColor(out_.Text(), c, " rg\n");
    state_.fill = c;
  }

  void SetWidth(double width) {
    if (width == state_.width) return;
    std::string& s = out_.Text();
    AppendReal(s, width);
    s += " w\n";
    state_.width = width;
  }

  void SetCap(int cap) {
    if (cap == state_.cap) return;
    out_.Text() += cap == 1 ? "1 J\n" : "0 J\n";
    state_.cap = cap;
  }

  // Content units for a length given in output pixels.
  double PixelsToUnits(double px) const { return px * kPointsPerInch / kScreenDpi / devicePerMm_ * kUnitsPerMm; }

  // Sets the style's dashes; false when they draw nothing sensible (negative, none long, not
  // finite), for which the stroke is left out as the cairo pages leave it out.
  bool SetDashes(const StrokeStyle& style, uint32_t index) {
    if (style.dashes.count == 0) {
      if (state_.dash != -1) out_.Text() += "[] 0 d\n";
      state_.dash = -1;
      SetCap(1);
      return true;
    }
    if (state_.dash == int64_t(index)) return true;
    const double scale = style.devicePixels ? PixelsToUnits(1) : kUnitsPerMm;
    std::string d = "[";
    double total = 0;
    for (uint32_t k = 0; k < style.dashes.count; ++k) {
      const double v = list_.dashes[style.dashes.first + k] * scale;
      if (!(v >= 0 && v < kMaxUnits)) return false;
      total += v;
      if (k > 0) d += ' ';
      AppendReal(d, v);
    }
    if (!(total > 0) || !std::isfinite(style.dashOffset * scale)) return false;
    d += "] ";
    AppendReal(d, style.dashOffset * scale);
    out_.Text() += d + " d\n";
    state_.dash = index;
    SetCap(0);
    return true;
  }

  // The arc a stroke is, when the list gives one.
  const StrokeArc* ArcOf(uint32_t stroke) const {
    const std::vector<StrokeArc>& arcs = pools_->arcs;
    if (arcs.empty()) return nullptr;
    auto it = std::lower_bound(arcs.begin(), arcs.end(), stroke,
                               [](const StrokeArc& a, uint32_t s) { return a.stroke < s; });
    return it != arcs.end() && it->stroke == stroke ? &*it : nullptr;
  }

  // Appends an arc of an ellipse as Bézier curves, each near enough to the true arc that with
  // the rounding of its points it stays within the arc tolerance; false (nothing appended) when
  // it cannot be drawn so.
  bool Curves(std::string& s, const StrokeArc& arc, bool closed) {
    const double big = std::max(std::hypot(double(arc.a), double(arc.b)), std::hypot(double(arc.c), double(arc.d)));
    const double sweep = arc.sweep;
    if (!(big > 0 && big < kMaxUnits / kUnitsPerMm) || !std::isfinite(sweep) || !std::isfinite(double(arc.start)) ||
        std::fabs(sweep) > 4.5 * kPi)
      return false;
    // A cubic over a turn of θ strays from its circle by about r·θ⁶/15600 at most (2.7e-4·r for
    // a quarter turn); a tenth of the tolerance leaves the rest to the rounding.
    const double step = std::min(kPi / 2, std::pow(kArcTolerance / 10 * 15600 / big, 1.0 / 6));
    const int n = std::max(1, int(std::ceil(std::fabs(sweep) / step - 1e-9)));
    const double dt = sweep / n, h = 4.0 / 3 * std::tan(dt / 4);
    const size_t mark = s.size();
    auto point = [&](double x, double y) {
      const double px = (arc.a * x + arc.c * y + arc.e) * kUnitsPerMm, py = (arc.b * x + arc.d * y + arc.f) * kUnitsPerMm;
      if (!(std::abs(px) < kMaxUnits && std::abs(py) < kMaxUnits)) return false;
      AppendFixed(s, px, 1);
      s += ' ';
      AppendFixed(s, py, 1);
      s += ' ';
      return true;
    };
    double t = arc.start, c0 = std::cos(t), s0 = std::sin(t);
    if (!point(c0, s0)) return s.resize(mark), false;
    s += "m\n";
    for (int k = 1; k <= n; ++k) {
      const double t1 = arc.start + dt * k, c1 = std::cos(t1), s1 = std::sin(t1);
      if (!point(c0 - h * s0, s0 + h * c0) || !point(c1 + h * s1, s1 - h * c1) || !point(c1, s1)) return s.resize(mark), false;
      s += "c\n";
      c0 = c1, s0 = s1;
    }
    if (closed) s += "h\n";
    return true;
  }

  void DrawStroke(const Stroke& s, uint32_t index) {
    if (s.points.count < 2 || s.style >= list_.strokeStyles.size()) return;
    const StrokeStyle& style = list_.strokeStyles[s.style];
    double width = style.devicePixels ? PixelsToUnits(style.width) : style.width * kUnitsPerMm;
    // The thinnest line a page draws: a hairline of 0.1 mm.
    width = std::max(width, 0.1 * kUnitsPerMm);
    if (!(width < kMaxUnits)) return;
    std::string path;
    const StrokeArc* arc = ArcOf(index);
    if (!(arc && Curves(path, *arc, s.closed)) && !Path(path, &pools_->points[s.points.first], s.points.count, s.closed))
      return;
    if (!SetDashes(style, s.style)) return;
    SetWidth(width);
    SetStroke(style.color);
    std::string& c = out_.Text();
    c += path;
    c += "S\n";
  }

  void DrawFill(const Fill& f) {
    std::string& s = out_.Text();
    const size_t mark = s.size();
    for (uint32_t r = 0; r < f.rings.count; ++r) {
      const Span& ring = pools_->rings[f.rings.first + r];
      if (ring.count == 0) continue;
      if (!Path(s, &pools_->points[ring.first], ring.count, true)) {
        s.resize(mark);
        return;
      }
    }
    if (s.size() == mark) return;
    const std::string path = s.substr(mark);
    s.resize(mark);
    SetFill(f.color);
    out_.Text() += path + "f*\n";
  }

  const Character& CharacterOf(const TextRun& t, uint32_t code, int face) {
    const uint64_t key = uint64_t(code) | uint64_t(t.unicode) << 32 | uint64_t(t.bold) << 33 |
                         uint64_t(t.italic) << 34 | uint64_t(t.font) << 35;
    auto it = characters_.find(key);
    if (it != characters_.end()) return it->second;
    Character& c = characters_[key];
    const std::string text = t.unicode ? CodePointToUtf8(code) : SjisToUtf8(SjisBytesOf(code), UnreadableSjis::kSkipByte);
    c.text = Utf8ToUtf16(text);
    if (c.text.empty()) return c;
    char32_t cp = c.text[0];
    if (c.text.size() >= 2 && cp >= 0xD800 && cp < 0xDC00) cp = 0x10000 + ((cp - 0xD800) << 10) + (c.text[1] - 0xDC00);
    if (face >= 0) c.glyph = fonts_.GlyphOf(face, cp);
    if (c.glyph.glyph == 0) {
      // Another face has it, as the screen finds one.
      const int fallback = fonts_.FallbackFor(ToUtf8(list_.fonts[t.font]), t.bold, t.italic, cp);
      if (fallback >= 0) c.glyph = fonts_.GlyphOf(fallback, cp);
    }
    c.missing = c.glyph.glyph == 0;
    return c;
  }

  void DrawText(const TextRun& t);
  void SetTextOutline(int face, double emUnits, bool invisible);
  void ShowGlyph(const Character& c, const GlyphPlacement& p, bool invisible = false);
  void DrawMissingGlyph(const MissingGlyphBox& box, Rgb color);
  const Glyph* FitToFontWidths(const TextRun& t, int face);
  void DrawPicture(const Picture& p);
  void LeaveOut(ImageProblem problem) {
    if (output_.imagesLeftOut) output_.imagesLeftOut->Add(problem);
  }

  const DisplayList& list_;
  const DisplayList* pools_ = nullptr;
  double devicePerMm_;  // points of the page per list millimetre
  double userUnit_;     // points per unit of the page's own space
  DocumentLayers* layers_;  // none: the layers are not marked
  DeflateStream& out_;
  DocumentFonts& fonts_;
  DocumentImages& images_;
  const PdfOutput& output_;
  GraphicsState state_;
  std::vector<GraphicsState> states_;
  ItemBounds bounds_;
  Box page_;                            // in list millimetres
  double offsetX_ = 0, offsetY_ = 0;    // of the list being drawn, by the placements around it
  std::unordered_map<uint64_t, Character> characters_;
  std::unordered_map<uint32_t, int> faces_;  // by font, bold and italic
  std::string text_;      // the text object being put together
  std::string actual_;    // its characters, for a reader that extracts the text whole
  int textFont_ = -1;     // the font resource the text object has selected
  bool inText_ = false;   // between BT and ET
  Rgb textColor_;          // of the text being put together
  std::vector<double> advances_;
  std::vector<Glyph> fitted_;
};

// The run's cells respaced by the face's own widths, as the cairo pages fit them.
const Glyph* PagePainter::FitToFontWidths(const TextRun& t, int face) {
  const Glyph* glyphs = &pools_->glyphs[t.glyphs.first];
  advances_.resize(t.glyphs.count);
  fitted_.resize(t.glyphs.count);
  for (uint32_t k = 0; k < t.glyphs.count; ++k) {
    const Character& c = CharacterOf(t, glyphs[k].code, face);
    advances_[k] = c.missing ? 0 : c.glyph.advance;
  }
  FitProportionalRun(glyphs, t.glyphs.count, t.unicode, advances_.data(), fitted_.data());
  return fitted_.data();
}

void PagePainter::DrawMissingGlyph(const MissingGlyphBox& box, Rgb color) {
  if (inText_) text_ += "ET\n", inText_ = false;
  const double x = box.start.x, y = box.start.y;
  const PagePoint corners[4] = {PagePoint(Vec2{x, y}), PagePoint(Vec2{x + box.across.x, y + box.across.y}),
                                PagePoint(Vec2{x + box.across.x + box.up.x, y + box.across.y + box.up.y}),
                                PagePoint(Vec2{x + box.up.x, y + box.up.y})};
  std::string path;
  if (!Path(path, corners, 4, true)) return;
  // The box is drawn inside the text's marked content: its state goes there too.
  std::string& s = out_.Text();
  const size_t mark = s.size();
  if (state_.dash != -1) s += "[] 0 d\n", state_.dash = -1;
  SetWidth(box.lineWidth * kUnitsPerMm);
  SetStroke(color);
  text_ += s.substr(mark) + path + "S\n";
  s.resize(mark);
}

// A thickened face is filled and stroked with a line as wide as FreeType grows its outlines; a
// plain one only filled; a character drawn as a box is shown invisibly, for its text. The line
// width is the page's, set inside the text object.
void PagePainter::SetTextOutline(int face, double emUnits, bool invisible) {
  const bool outlined = !invisible && fonts_.Bold(face);
  const int mode = invisible ? 3 : outlined ? 2 : 0;
  if (mode != state_.textMode) text_ += std::to_string(mode) + " Tr\n";
  state_.textMode = mode;
  if (!outlined) return;
  if (!(state_.stroke == textColor_)) {
    AppendColor(text_, textColor_, " RG\n");
    state_.stroke = textColor_;
  }
  const double width = emUnits * kSyntheticBold;
  if (width != state_.width) {
    AppendReal(text_, width);
    text_ += " w\n";
    state_.width = width;
  }
}

void PagePainter::ShowGlyph(const Character& c, const GlyphPlacement& p, bool invisible) {
  const double ascent = fonts_.Ascent(c.glyph.face);
  double m[6] = {p.a.x * p.h, p.a.y * p.h, p.u.x * p.v, p.u.y * p.v, p.top.x - p.u.x * p.v * ascent,
                 p.top.y - p.u.y * p.v * ascent};
  if (fonts_.Bold(c.glyph.face)) {
    // FreeType's thickened outline grows right and up, not evenly around the glyph: its left
    // and bottom edges stay where they were.
    for (int k = 0; k < 2; ++k) m[4 + k] += (m[k] + m[2 + k]) * kSyntheticBold / 2;
  }
  if (fonts_.Italic(c.glyph.face)) m[2] += kSyntheticSlant * m[0], m[3] += kSyntheticSlant * m[1];
  std::string cm;
  for (int k = 0; k < 4; ++k) AppendReal(cm, m[k] * kUnitsPerMm), cm += ' ';
  if (!Point(cm, m[4], m[5])) return;
  if (!inText_) text_ += "BT\n", inText_ = true, textFont_ = -1;
  SetTextOutline(c.glyph.face, p.v * kUnitsPerMm, invisible);
  const int font = fonts_.Use(c.glyph.face, c.glyph.glyph, invisible ? std::u16string() : c.text);
  if (textFont_ != font) {
    text_ += fonts_.ResourceName(font) + " 1 Tf\n";
    textFont_ = font;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char id[4] = {kHex[c.glyph.glyph >> 12], kHex[(c.glyph.glyph >> 8) & 15], kHex[(c.glyph.glyph >> 4) & 15],
                      kHex[c.glyph.glyph & 15]};
  text_ += cm;
  text_ += " Tm<";
  text_.append(id, 4);
  text_ += ">Tj\n";
}

void PagePainter::DrawText(const TextRun& t) {
  if (t.font >= list_.fonts.size()) return;
  const uint32_t faceKey = t.font << 2 | uint32_t(t.bold) << 1 | uint32_t(t.italic);
  auto found = faces_.find(faceKey);
  if (found == faces_.end()) found = faces_.emplace(faceKey, fonts_.FaceFor(ToUtf8(list_.fonts[t.font]), t.bold, t.italic)).first;
  const int face = found->second;
  const Glyph* glyphs = &pools_->glyphs[t.glyphs.first];
  if (IsProportionalFont(list_.fonts[t.font])) glyphs = FitToFontWidths(t, face);
  text_.clear(), actual_.clear();
  textColor_ = t.color;
  for (uint32_t k = 0; k < t.glyphs.count; ++k) {
    const Glyph& g = glyphs[k];
    if (IsBlankGlyph(g.code, t.unicode)) {
      if (!actual_.empty()) actual_ += ' ';  // a space within the text keeps its words apart
      continue;
    }
    GlyphCell cell;
    if (!CellOfGlyph(g, g.origin, cell)) continue;
    const Character& c = CharacterOf(t, g.code, face);
    if (c.text.empty()) continue;
    if (c.missing) {
      DrawMissingGlyph(MissingGlyphBoxIn(cell), t.color);
      // The box stands for the character in the text a reader extracts: an invisible glyph of
      // the run's face carries it there.
      if (face >= 0) {
        Character hidden = c;
        hidden.glyph = fonts_.GlyphOf(face, 0);
        hidden.glyph.glyph = 0;
        ShowGlyph(hidden, PlaceGlyph(cell, g.code, t.unicode, 1.0, hidden.glyph.advance), true);
        actual_ += Utf16ToUtf8(c.text);
      }
      continue;
    }
    ShowGlyph(c, PlaceGlyph(cell, g.code, t.unicode, 1.0, c.glyph.advance));
    actual_ += Utf16ToUtf8(c.text);
  }
  if (inText_) text_ += "ET\n", inText_ = false;
  if (text_.empty()) return;
  SetFill(t.color);
  std::string& s = out_.Text();
  if (!actual_.empty()) {
    s += "/Span<</ActualText";
    AppendTextString(s, actual_);
    s += ">>BDC\n";
  }
  s += text_;
  if (!actual_.empty()) s += "EMC\n";
}

void PagePainter::DrawPicture(const Picture& p) {
  if (!output_.image || p.source >= list_.imageSources.size()) return;
  if (!PictureIsDrawable(p, list_)) return LeaveOut(ImageProblem::kBadPlacement);
  const double pointsAcross = std::hypot(p.across.x, p.across.y) * devicePerMm_;
  const DocumentImages::Stored img =
      images_.Load(list_.imageSources[p.source], [&](int width) { return pointsAcross / (p.clipWidth * width) <= 1; });
  if (img.problem != ImageProblem::kNone) return LeaveOut(img.problem);
  // The shown part in image pixels (rows top down); the clip is given from the lower left.
  const double sx = p.clipX * img.width, sw = p.clipWidth * img.width;
  const double sh = p.clipHeight * img.height, sy = img.height - p.clipY * img.height - sh;
  if (!(sw > 0 && sh > 0)) return;
  // Pixel (x, y) goes to origin + across·(x - sx)/sw + up·(sy + sh - y)/sh.
  const double m[6] = {p.across.x / sw, p.across.y / sw, -p.up.x / sh, -p.up.y / sh,
                       p.origin.x - p.across.x * sx / sw + p.up.x * (sy + sh) / sh,
                       p.origin.y - p.across.y * sx / sw + p.up.y * (sy + sh) / sh};
  const double det = m[0] * m[3] - m[1] * m[2];
  if (!std::isfinite(det) || det == 0) return LeaveOut(ImageProblem::kBadPlacement);
  std::string s = "q ";
  for (int k = 0; k < 4; ++k) AppendReal(s, m[k] * kUnitsPerMm), s += ' ';
  if (!Point(s, m[4], m[5])) return LeaveOut(ImageProblem::kBadPlacement);
  s += " cm ";
  for (double v : {sx, sy, sw, sh}) AppendReal(s, v), s += ' ';
  s += "re W n " + std::to_string(img.width) + " 0 0 -" + std::to_string(img.height) + " 0 " +
       std::to_string(img.height) + " cm " + img.name + " Do Q\n";
  out_.Text() += s;
}

// The page in points, or a reason it cannot be made, as the cairo pages say it.
std::string PageProblem(double w, double h) {
  if (!(w > 0 && h > 0)) return "the page is empty";
  if (w <= kMaxPagePoints && h <= kMaxPagePoints) return {};
  char size[96];
  std::snprintf(size, sizeof size, "%.0f x %.0f", std::min(w, 1e18) * kMmPerInch / kPointsPerInch,
                std::min(h, 1e18) * kMmPerInch / kPointsPerInch);
  return std::string("the page would be ") + size + " mm, more than " +
         std::to_string(int(kMaxPagePoints * kMmPerInch / kPointsPerInch / 1000)) + " m a side";
}

// A date as PDF writes it, in UTC: "D:20261208070000Z".
std::string PdfDate(int64_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm utc{};
#ifdef _WIN32
  if (gmtime_s(&utc, &t) != 0) return "D:19700101000000Z";
#else
  if (!gmtime_r(&t, &utc)) return "D:19700101000000Z";
#endif
  char date[64];
  std::snprintf(date, sizeof date, "D:%04d%02d%02d%02d%02d%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  return date;
}

// When the document was made: as given, or SOURCE_DATE_EPOCH (for reproducible builds of
// documents), or now.
int64_t CreationTime(const PdfOutput& output) {
  if (output.created >= 0) return output.created;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    const long long v = std::strtoll(epoch, &end, 10);
    if (end != epoch && *end == '\0' && v >= 0 && v < 253402300800LL) return v;
  }
  return int64_t(std::time(nullptr));
}

// The document around the pages: the page tree, the shared resources, the outline.
class Document {
 public:
  Document(std::ostream& out, const PdfOutput& output)
      : writer_(out), fonts_(output.fonts, writer_), images_(output, writer_), layers_(writer_), output_(output) {
    catalog_ = writer_.Allocate();
    pageTree_ = writer_.Allocate();
    resources_ = writer_.Allocate();
  }

  bool AddPage(const PdfPage& page, std::string& error);
  bool Finish(std::string& error);

 private:
  int WriteOutline();

  ObjectWriter writer_;
  DocumentFonts fonts_;
  DocumentImages images_;
  DocumentLayers layers_;
  const PdfOutput& output_;
  int catalog_ = 0, pageTree_ = 0, resources_ = 0;
  std::vector<int> pageObjects_;
  std::vector<std::string> bookmarks_;  // one per page, empty for none
};

bool Document::AddPage(const PdfPage& page, std::string& error) {
  const DisplayList& list = *page.list;
  const double scale = page.pageScale > 0 && std::isfinite(page.pageScale) ? page.pageScale : 1.0;
  const double w = list.width * scale * kPointsPerInch / kMmPerInch, h = list.height * scale * kPointsPerInch / kMmPerInch;
  error = PageProblem(w, h);
  if (!error.empty()) return false;
  // A page over 200 in a side is given in units of whole hundredths of a point that bring it
  // within, as some readers take no larger page.
  double userUnit = 1;
  if (std::max(w, h) > kMaxDefaultUnits) userUnit = std::ceil(std::max(w, h) / kMaxDefaultUnits * 100) / 100;
  DeflateStream content(kContentLevel);
  images_.StartPage();
  PagePainter(list, scale, content, fonts_, images_, output_, userUnit, output_.layers ? &layers_ : nullptr).Paint();
  std::string packed;
  if (!content.Finish(packed)) {
    error = "out of memory while drawing";
    return false;
  }
  const int pageObject = writer_.Allocate(), contentObject = writer_.Allocate();
  writer_.WriteStream(contentObject, "/Filter/FlateDecode", packed);
  std::string box;
  AppendFixed(box, w / userUnit, 4);
  box += ' ';
  AppendFixed(box, h / userUnit, 4);
  box += ']';
  if (userUnit != 1) box += "/UserUnit ", AppendFixed(box, userUnit, 2);
  writer_.Write(pageObject, "<</Type/Page/Parent " + Ref(pageTree_) + "/MediaBox[0 0 " + box + "/Resources " +
                                Ref(resources_) + "/Contents " + Ref(contentObject) + ">>");
  pageObjects_.push_back(pageObject);
  bookmarks_.push_back(page.bookmark);
  return true;
}

// One entry per page that has a bookmark, in page order; 0 when there is none.
int Document::WriteOutline() {
  std::vector<size_t> marked;
  for (size_t k = 0; k < bookmarks_.size(); ++k)
    if (!bookmarks_[k].empty()) marked.push_back(k);
  if (marked.empty()) return 0;
  const int root = writer_.Allocate();
  std::vector<int> items;
  for (size_t k = 0; k < marked.size(); ++k) items.push_back(writer_.Allocate());
  for (size_t k = 0; k < marked.size(); ++k) {
    std::string item = "<</Title";
    AppendTextString(item, bookmarks_[marked[k]]);
    item += "/Parent " + Ref(root) + "/Dest[" + Ref(pageObjects_[marked[k]]) + "/Fit]";
    if (k > 0) item += "/Prev " + Ref(items[k - 1]);
    if (k + 1 < items.size()) item += "/Next " + Ref(items[k + 1]);
    writer_.Write(items[k], item + ">>");
  }
  writer_.Write(root, "<</Type/Outlines/First " + Ref(items.front()) + "/Last " + Ref(items.back()) + "/Count " +
                          std::to_string(items.size()) + ">>");
  return root;
}

bool Document::Finish(std::string& error) {
  fonts_.WriteAll();
  writer_.Write(resources_, "<</ProcSet[/PDF/Text/ImageB/ImageC]/Font<<" + fonts_.ResourceEntries() +
                                ">>/XObject<<" + images_.ResourceEntries() + ">>" +
                                (layers_.Empty() ? std::string() : "/Properties<<" + layers_.ResourceEntries() + ">>") +
                                ">>");
  std::string kids;
  for (int p : pageObjects_) kids += Ref(p) + " ";
  writer_.Write(pageTree_, "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(pageObjects_.size()) + ">>");
  const int outline = WriteOutline();
  const int info = writer_.Allocate();
  std::string infoBody = "<<";
  if (!output_.title.empty()) infoBody += "/Title", AppendTextString(infoBody, output_.title);
  const std::string date = PdfDate(CreationTime(output_));
  infoBody += "/Creator(Kelvane " KELVANE_VERSION ")/Producer(Kelvane " KELVANE_VERSION ")/CreationDate(" + date +
              ")/ModDate(" + date + ")>>";
  writer_.Write(info, infoBody);
  std::string catalog = "<</Type/Catalog/Pages " + Ref(pageTree_);
  if (outline) catalog += "/Outlines " + Ref(outline) + "/PageMode/UseOutlines";
  if (!layers_.Empty()) catalog += layers_.Write();
  writer_.Write(catalog_, catalog + ">>");
  if (writer_.Finish(catalog_, info)) return true;
  error = "write failed";
  return false;
}

}  // namespace

bool WritePdf(size_t count, const PdfPageMaker& make, std::ostream& out, const PdfOutput& output, std::string& error) {
  error.clear();
  try {
    if (count == 0) {
      error = "the document has no page";
      return false;
    }
    Document document(out, output);
    for (size_t k = 0; k < count; ++k) {
      const PdfPage page = make(k);
      if (!page.list || page.list->overBudget) {
        error = page.list ? OverBudgetMessage() : "the page is empty";
        return false;
      }
      if (!document.AddPage(page, error)) return false;
    }
    if (!document.Finish(error)) return false;
    out.flush();
    if (out) return true;
    error = "write failed";
  } catch (const std::bad_alloc&) {
    error = "out of memory while drawing";
  } catch (const std::exception& e) {
    error = e.what();
  }
  return false;
}

bool WritePdf(size_t count, const PdfPageMaker& make, const std::filesystem::path& file, const PdfOutput& output,
              std::string& error) {
  ReplacingFile target(file);
  if (!target.ok()) {
    error = target.error();
    return false;
  }
  PdfOutput named = output;
  if (named.title.empty()) {
    const auto stem = file.stem().u8string();
    named.title.assign(stem.begin(), stem.end());
  }
  if (!WritePdf(count, make, target.stream(), named, error)) {
    // A write that failed says why in the system's words, which only the commit learns.
    if (!target.stream() && !target.Commit()) error = target.error();
    return false;
  }
  if (target.Commit()) return true;
  error = target.error();
  return false;
}

namespace {

// The pages of a list, checked before anything is written.
PdfPageMaker PagesOf(const std::vector<PdfPage>& pages) {
  return [&pages](size_t k) { return pages[k]; };
}

bool PagesProblem(const std::vector<PdfPage>& pages, std::string& error) {
  for (const PdfPage& page : pages)
    if (!page.list || page.list->overBudget) {
      error = page.list ? OverBudgetMessage() : "the page is empty";
      return true;
    }
  return false;
}

}  // namespace

bool WritePdf(const std::vector<PdfPage>& pages, std::ostream& out, const PdfOutput& output, std::string& error) {
  error.clear();
  if (PagesProblem(pages, error)) return false;
  return WritePdf(pages.size(), PagesOf(pages), out, output, error);
}

bool WritePdf(const std::vector<PdfPage>& pages, const std::filesystem::path& file, const PdfOutput& output,
              std::string& error) {
  error.clear();
  if (PagesProblem(pages, error)) return false;
  return WritePdf(pages.size(), PagesOf(pages), file, output, error);
}

}  // namespace kelvane
