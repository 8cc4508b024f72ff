// The cairo backend: replays a display list onto a PNG, SVG or PDF page.
#include "render/cairo/cairo_output.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>
#include <new>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "codec/png_encode.h"
#include "platform/replacing_file.h"
#include "platform/text_conversion.h"
#include "render/image_decode.h"
#include "render/glyph_layout.h"
#include "drawing/image_source.h"
#include "drawing/text_layout.h"
#include "render/page_limit.h"

extern const char kKelvaneFontsConf[];  // platform/posix/fonts.conf, built in

namespace kelvane {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72;
constexpr double kScreenDpi = 96;  // what a "pixel" width means on a vector page
constexpr int kMaxPixels = 32767;  // cairo's largest image side
// Glyphs are laid out at this size (layout units) and scaled to their cells, so that no hinting
// at a small size moves them.
constexpr double kNominalFontSize = 100;
constexpr int kMaxPlacementDepth = 64;

// Fontconfig with the project's font names, loaded once for the process.
PangoFontMap* FontMap() {
  static PangoFontMap* map = [] {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config) FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kKelvaneFontsConf), FcTrue);
    PangoFontMap* m = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (m && config && PANGO_IS_FC_FONT_MAP(m)) pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(m), config);
    if (config) FcConfigDestroy(config);
    return m;
  }();
  return map;
}

// A broken Shift_JIS byte becomes "?" and the next byte is read afresh, as this backend always did.
std::string ToUtf8(const JwwString& s) {
  return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis, UnreadableSjis::kSkipByte);
}

class Painter {
 public:
  Painter(cairo_surface_t* surface, const DisplayList& list, const PictureOutput& output, double devicePerMm,
          bool raster)
      : surface_(surface), cr_(cairo_create(surface)), list_(list), output_(output), devicePerMm_(devicePerMm),
        raster_(raster) {}
  ~Painter() { cairo_destroy(cr_); }
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  // True when every image drawn was enlarged on the page (and at least one was drawn).
  bool OnlyEnlargedImages() const { return enlargedImages_ && !reducedImages_; }

  // The context drawn with last: a new one when an item put the first in its error state.
  cairo_t* Context() const { return cr_; }

  void Paint() {
    cairo_save(cr_);
    cairo_set_source_rgb(cr_, list_.background.r / 255.0, list_.background.g / 255.0, list_.background.b / 255.0);
    cairo_paint(cr_);
    cairo_restore(cr_);
    // Page millimetres, +y up, from the lower-left corner.
    cairo_translate(cr_, 0, list_.height * devicePerMm_);
    cairo_scale(cr_, devicePerMm_, -devicePerMm_);
    context_ = pango_font_map_create_context(FontMap());
    cairo_font_options_t* fo = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context_, fo);
    cairo_font_options_destroy(fo);
    layout_ = pango_layout_new(context_);
    DrawItems(list_, 0);
    for (auto& [key, shape] : shapes_)
      if (shape.owner) g_object_unref(shape.owner);
    g_object_unref(layout_);
    g_object_unref(context_);
  }

 private:
  void DrawItems(const DisplayList& items, int depth) {
    const DisplayList* outer = pools_;
    pools_ = &items;
    cairo_get_matrix(cr_, &levels_.emplace_back());
    for (const ItemRef& r : items.order) {
      if (lost_) break;
      switch (r.kind) {
        case ItemKind::kStroke: DrawStroke(items.strokes[r.index]); break;
        case ItemKind::kFill: DrawFill(items.fills[r.index]); break;
        case ItemKind::kText: DrawText(items.texts[r.index]); break;
        case ItemKind::kPicture: DrawPicture(items.pictures[r.index]); break;
        case ItemKind::kPlacement: {
          const Placement& p = items.placements[r.index];
          // A list made by hand could place itself: the depth ends that.
          if (p.list >= list_.sublists.size() || depth >= kMaxPlacementDepth) break;
          cairo_save(cr_);
          cairo_translate(cr_, p.dx, p.dy);
          DrawItems(list_.sublists[p.list], depth + 1);
          cairo_restore(cr_);
          break;
        }
      }
      if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) Recover();
    }
    levels_.pop_back();
    pools_ = outer;
  }

  // cairo stops drawing for good once one call fails (a matrix it cannot invert, say): the item
  // is lost, and a new context takes over with the transforms of the placements drawn within.
  void Recover() {
    cairo_destroy(cr_);
    cr_ = cairo_create(surface_);
    for (size_t k = 0; k + 1 < levels_.size(); ++k) {
      cairo_set_matrix(cr_, &levels_[k]);
      cairo_save(cr_);
    }
    cairo_set_matrix(cr_, &levels_.back());
    lost_ = cairo_status(cr_) != CAIRO_STATUS_SUCCESS;  // the surface itself failed: nothing more draws
  }

  void SetColor(Rgb c) { cairo_set_source_rgb(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

  // Millimetres on the list for a length given in output pixels.
  double PixelsToMm(double px) const {
    const double devicePx = raster_ ? px : px * kPointsPerInch / kScreenDpi;
    return devicePx / devicePerMm_;
  }

  void DrawStroke(const Stroke& s) {
    if (s.points.count < 2) return;
    const PagePoint* p = &pools_->points[s.points.first];
    cairo_new_path(cr_);
    cairo_move_to(cr_, p[0].x, p[0].y);
    for (uint32_t k = 1; k < s.points.count; ++k) cairo_line_to(cr_, p[k].x, p[k].y);
    if (s.closed) cairo_close_path(cr_);
    const StrokeStyle& style = list_.strokeStyles[s.style];
    double width = style.devicePixels ? PixelsToMm(style.width) : style.width;
    // The thinnest line an output draws: one pixel on a PNG, a hairline of 0.1 mm on a page.
    const double thinnest = raster_ ? 1.0 / devicePerMm_ : 0.1;
    width = std::max(width, thinnest);
    cairo_set_line_width(cr_, width);
    if (style.dashes.count > 0) {
      const auto first = list_.dashes.begin() + style.dashes.first;
      dashes_.assign(first, first + style.dashes.count);
      double offset = style.dashOffset;
      if (style.devicePixels) {
        for (double& d : dashes_) d = PixelsToMm(d);
        offset = PixelsToMm(offset);
      }
      cairo_set_dash(cr_, dashes_.data(), int(dashes_.size()), offset);
      cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    } else {
      cairo_set_dash(cr_, nullptr, 0, 0);
      cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    }
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    SetColor(style.color);
    cairo_stroke(cr_);
  }

  void DrawFill(const Fill& f) {
    cairo_new_path(cr_);
    for (uint32_t r = 0; r < f.rings.count; ++r) {
      const Span& ring = pools_->rings[f.rings.first + r];
      const PagePoint* p = &pools_->points[ring.first];
      cairo_move_to(cr_, p[0].x, p[0].y);
      for (uint32_t k = 1; k < ring.count; ++k) cairo_line_to(cr_, p[k].x, p[k].y);
      cairo_close_path(cr_);
    }
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
    SetColor(f.color);
    cairo_fill(cr_);
  }

  // A glyph as the font draws it, measured once at the nominal size with the context at rest, so
  // that no glyph or text drawn before changes it.
  struct GlyphShape {
    cairo_scaled_font_t* font = nullptr;  // owned by `owner`
    PangoFont* owner = nullptr;
    std::vector<cairo_glyph_t> glyphs;  // from the em's upper-left corner, in glyph units
    double advance = 0;
    bool missing = false;  // no installed font has the character
  };

  void SelectFont(const TextRun& t) {
    PangoFontDescription* desc = pango_font_description_new();
    const std::string family = ToUtf8(list_.fonts[t.font]);
    pango_font_description_set_family(desc, family.empty() ? "IPAGothic" : family.c_str());
    pango_font_description_set_absolute_size(desc, kNominalFontSize * PANGO_SCALE);
    if (t.bold) pango_font_description_set_weight(desc, PANGO_WEIGHT_BOLD);
    if (t.italic) pango_font_description_set_style(desc, PANGO_STYLE_ITALIC);
    pango_layout_set_font_description(layout_, desc);
    pango_font_description_free(desc);
  }

  void Measure(const std::string& text, GlyphShape& shape) {
    pango_layout_set_text(layout_, text.c_str(), int(text.size()));
    PangoRectangle logical;
    pango_layout_get_extents(layout_, nullptr, &logical);
    shape.advance = double(logical.width) / PANGO_SCALE;
    if (pango_layout_get_unknown_glyphs_count(layout_) > 0) {
      shape.missing = true;
      return;
    }
    PangoLayoutIter* iter = pango_layout_get_iter(layout_);
    const double baseline = double(pango_layout_iter_get_baseline(iter) - logical.y) / PANGO_SCALE;
    do {
      PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
      if (!run) continue;
      PangoRectangle runLogical;
      pango_layout_iter_get_run_extents(iter, nullptr, &runLogical);
      double x = double(runLogical.x - logical.x) / PANGO_SCALE;
      if (!shape.owner) shape.owner = PANGO_FONT(g_object_ref(run->item->analysis.font));
      if (run->item->analysis.font != shape.owner) continue;  // one font per glyph
      for (int k = 0; k < run->glyphs->num_glyphs; ++k) {
        const PangoGlyphInfo& info = run->glyphs->glyphs[k];
        if (info.glyph != PANGO_GLYPH_EMPTY)
          shape.glyphs.push_back({info.glyph, x + double(info.geometry.x_offset) / PANGO_SCALE,
                                  baseline + double(info.geometry.y_offset) / PANGO_SCALE});
        x += double(info.geometry.width) / PANGO_SCALE;
      }
    } while (pango_layout_iter_next_run(iter));
    pango_layout_iter_free(iter);
    if (shape.owner) shape.font = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(shape.owner));
    if (!shape.font) shape.glyphs.clear();
  }

  const GlyphShape& ShapeOf(const TextRun& t, const Glyph& g, const std::string& text) {
    const uint64_t key = uint64_t(g.code) | uint64_t(t.unicode) << 32 | uint64_t(t.bold) << 33 |
                         uint64_t(t.italic) << 34 | uint64_t(t.font) << 35;
    auto it = shapes_.find(key);
    if (it != shapes_.end()) return it->second;
    if (t.font != selectedFont_ || t.bold != selectedBold_ || t.italic != selectedItalic_) {
      SelectFont(t);
      selectedFont_ = t.font, selectedBold_ = t.bold, selectedItalic_ = t.italic;
    }
    GlyphShape& shape = shapes_[key];
    Measure(text, shape);
    return shape;
  }

  // Glyphs that share a font and a cell shape, drawn as one run with the text they show, so that
  // a PDF reader finds the text whole where each glyph still sits in its own cell.
  struct GlyphRun {
    cairo_scaled_font_t* font = nullptr;
    cairo_matrix_t toPage{};  // glyph space of the run's first em to the page
    cairo_matrix_t fromPage{};
    std::vector<cairo_glyph_t> glyphs;
    std::string text;
  };

  // A text's runs, drawn when the text is complete. A text of several runs (a script, a glyph
  // from another font) gives all its characters to the first, so that they read as one word; the
  // others show their glyphs with no text of their own.
  void DrawRuns() {
    for (size_t k = 1; k < runCount_; ++k) {
      runs_[0].text += runs_[k].text;
      runs_[k].text.clear();
    }
    for (size_t k = 0; k < runCount_; ++k) {
      GlyphRun& run = runs_[k];
      cairo_save(cr_);
      cairo_transform(cr_, &run.toPage);
      cairo_set_scaled_font(cr_, run.font);
      const cairo_text_cluster_t whole{int(run.text.size()), int(run.glyphs.size())};
      cairo_show_text_glyphs(cr_, run.text.data(), int(run.text.size()), run.glyphs.data(), int(run.glyphs.size()),
                             &whole, 1, cairo_text_cluster_flags_t(0));
      cairo_restore(cr_);
      run.glyphs.clear();
      run.text.clear();
    }
    runCount_ = 0;
  }

  static bool SameShape(const cairo_matrix_t& a, const cairo_matrix_t& b) {
    const double scale = std::abs(a.xx) + std::abs(a.yx) + std::abs(a.xy) + std::abs(a.yy);
    const double d = std::abs(a.xx - b.xx) + std::abs(a.yx - b.yx) + std::abs(a.xy - b.xy) + std::abs(a.yy - b.yy);
    return d <= scale * 1e-12;
  }

  void AddToRun(const GlyphShape& shape, const GlyphPlacement& p, const std::string& text) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, p.a.x * p.h, p.a.y * p.h, -p.u.x * p.v, -p.u.y * p.v, p.top.x, p.top.y);
    GlyphRun* run = runCount_ > 0 ? &runs_[runCount_ - 1] : nullptr;
    if (!run || run->font != shape.font || !SameShape(m, run->toPage)) {
      cairo_matrix_t fromPage = m;
      if (cairo_matrix_invert(&fromPage) != CAIRO_STATUS_SUCCESS) return;
      if (runs_.size() == runCount_) runs_.emplace_back();
      run = &runs_[runCount_++];
      run->font = shape.font;
      run->toPage = m;
      run->fromPage = fromPage;
    }
    // This em's corner in the run's glyph space.
    double x = p.top.x, y = p.top.y;
    cairo_matrix_transform_point(&run->fromPage, &x, &y);
    for (cairo_glyph_t g : shape.glyphs) run->glyphs.push_back({g.index, g.x + x, g.y + y});
    run->text += text;
  }

  void DrawText(const TextRun& t) {
    SetColor(t.color);
    const Glyph* glyphs = &pools_->glyphs[t.glyphs.first];
    const bool fitted = IsProportionalFont(list_.fonts[t.font]);
    if (fitted) glyphs = FitToFontWidths(t);
    for (uint32_t k = 0; k < t.glyphs.count; ++k) {
      const Glyph& g = glyphs[k];
      if (IsBlankGlyph(g.code, t.unicode)) {
        if (runCount_ > 0) runs_[runCount_ - 1].text += ' ';  // a space within the text keeps its words apart
        continue;
      }
      const std::string& text = glyphTexts_(g.code, t.unicode);
      GlyphCell cell;
      if (text.empty() || !CellOfGlyph(g, g.origin, cell)) continue;
      const GlyphShape& shape = ShapeOf(t, g, text);
      if (shape.missing) {
        // No installed font has the character: its box, not pango's code-point box at the font's size.
        DrawMissingGlyph(MissingGlyphBoxIn(cell));
        continue;
      }
      if (shape.glyphs.empty()) continue;
      AddToRun(shape, PlaceGlyph(cell, g.code, t.unicode, kNominalFontSize, shape.advance), text);
    }
    DrawRuns();
  }

  // The run's cells respaced by the font's own widths, measured as the glyphs themselves are (in
  // the font's own units, untouched by any page transform).
  const Glyph* FitToFontWidths(const TextRun& t) {
    const Glyph* glyphs = &pools_->glyphs[t.glyphs.first];
    advances_.resize(t.glyphs.count);
    fitted_.resize(t.glyphs.count);
    for (uint32_t k = 0; k < t.glyphs.count; ++k) {
      const std::string& text = glyphTexts_(glyphs[k].code, t.unicode);
      advances_[k] = text.empty() ? 0 : ShapeOf(t, glyphs[k], text).advance / kNominalFontSize;
    }
    FitProportionalRun(glyphs, t.glyphs.count, t.unicode, advances_.data(), fitted_.data());
    return fitted_.data();
  }

  void DrawMissingGlyph(const MissingGlyphBox& box) {
    cairo_new_path(cr_);
    cairo_move_to(cr_, box.start.x, box.start.y);
    cairo_rel_line_to(cr_, box.across.x, box.across.y);
    cairo_rel_line_to(cr_, box.up.x, box.up.y);
    cairo_rel_line_to(cr_, -box.across.x, -box.across.y);
    cairo_close_path(cr_);
    cairo_set_dash(cr_, nullptr, 0, 0);
    cairo_set_line_width(cr_, box.lineWidth);
    cairo_stroke(cr_);
  }

  // An image decoded for this picture, shared by every reference to the same source.
  struct LoadedImage {
    DecodedImage image;
    cairo_surface_t* surface = nullptr;
    ImageProblem problem = ImageProblem::kNone;
    LoadedImage() = default;
    LoadedImage(const LoadedImage&) = delete;
    LoadedImage& operator=(const LoadedImage&) = delete;
    ~LoadedImage() {
      if (surface) cairo_surface_destroy(surface);  // before its pixels go
    }
  };

  static std::string SourceKey(const JwwString& s) {
    if (!s.unicode) return "s" + s.sjis;
    return "u" + std::string(reinterpret_cast<const char*>(s.wide.data()), s.wide.size() * sizeof(char16_t));
  }

  void LeaveOut(ImageProblem problem) {
    if (output_.imagesLeftOut) output_.imagesLeftOut->Add(problem);
  }

  void Decode(const std::vector<uint8_t>& bytes, bool gzipped, LoadedImage& img) {
    switch (DecodeImageWithin(bytes, gzipped, pixelsLeft_, img.image)) {
      case DecodeResult::kNotAnImage: img.problem = ImageProblem::kUndecodable; return;
      case DecodeResult::kTooManyPixels: img.problem = ImageProblem::kTooManyPixels; return;
      case DecodeResult::kDecoded: break;
    }
    pixelsLeft_ -= uint64_t(img.image.width) * uint64_t(img.image.height);
    // Wider than cairo takes: scaled (the clip is in fractions, so it still fits). To half the
    // limit, as pixman's 16.16 sample positions draw nothing for an image right at it.
    if (img.image.width > kMaxPixels || img.image.height > kMaxPixels) FitWithin(img.image, kMaxPixels / 2 + 1);
    img.surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(img.image.argb.data()),
                                                      CAIRO_FORMAT_ARGB32, img.image.width, img.image.height,
                                                      img.image.width * 4);
    if (cairo_surface_status(img.surface) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(img.surface);
      img.surface = nullptr;
      img.problem = ImageProblem::kUndecodable;
    }
  }

  LoadedImage& Load(const JwwString& source) {
    std::unique_ptr<LoadedImage>& slot = images_[SourceKey(source)];
    if (slot) return *slot;
    slot = std::make_unique<LoadedImage>();
    LoadedImage& img = *slot;
    try {
      const std::vector<uint8_t> bytes = output_.imageBytes(source, img.problem);
      if (img.problem == ImageProblem::kNone) {
        if (bytes.empty()) img.problem = ImageProblem::kMissing;
        else Decode(bytes, IsGzipName(source), img);
      }
    } catch (const std::bad_alloc&) {
      img.image = DecodedImage{};
      img.problem = ImageProblem::kTooManyPixels;
    }
    return img;
  }

  void DrawPicture(const Picture& p) {
    if (!output_.imageBytes) return;
    if (!PictureIsDrawable(p, list_)) return LeaveOut(ImageProblem::kBadPlacement);
    const LoadedImage& loaded = Load(list_.imageSources[p.source]);
    if (loaded.problem != ImageProblem::kNone) return LeaveOut(loaded.problem);
    const DecodedImage& img = loaded.image;
    // The shown part in image pixels (rows top down); the clip is given from the lower left.
    const double sx = p.clipX * img.width, sw = p.clipWidth * img.width;
    const double sh = p.clipHeight * img.height, sy = img.height - p.clipY * img.height - sh;
    if (!(sw > 0 && sh > 0)) return;
    cairo_matrix_t m;
    // Pixel (x, y) goes to origin + across·(x - sx)/sw + up·(sy + sh - y)/sh.
    cairo_matrix_init(&m, p.across.x / sw, p.across.y / sw, -p.up.x / sh, -p.up.y / sh,
                      p.origin.x - p.across.x * sx / sw + p.up.x * (sy + sh) / sh,
                      p.origin.y - p.across.y * sx / sw + p.up.y * (sy + sh) / sh);
    cairo_matrix_t inverse = m;
    if (cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS) return LeaveOut(ImageProblem::kBadPlacement);
    cairo_save(cr_);
    cairo_transform(cr_, &m);
    cairo_rectangle(cr_, sx, sy, sw, sh);
    cairo_clip(cr_);
    cairo_set_source_surface(cr_, loaded.surface, 0, 0);
    // An image enlarged on the page keeps its pixels sharp, as Jw_cad shows a bitmap.
    const double enlarge = std::hypot(p.across.x, p.across.y) * devicePerMm_ / sw;
    cairo_pattern_set_filter(cairo_get_source(cr_), enlarge > 1 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    (enlarge > 1 ? enlargedImages_ : reducedImages_) = true;
    cairo_paint(cr_);
    cairo_restore(cr_);
  }

  cairo_surface_t* surface_;
  cairo_t* cr_;
  std::vector<cairo_matrix_t> levels_;  // the transform of each list being drawn, outermost first
  bool lost_ = false;
  bool enlargedImages_ = false, reducedImages_ = false;
  const DisplayList& list_;             // the whole list: its shared tables and sublists
  const DisplayList* pools_ = nullptr;  // the list (or sublist) whose items are being drawn
  const PictureOutput& output_;
  double devicePerMm_;
  bool raster_;
  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  std::unordered_map<uint64_t, GlyphShape> shapes_;
  uint32_t selectedFont_ = ~0u;
  bool selectedBold_ = false, selectedItalic_ = false;
  std::vector<GlyphRun> runs_;  // reused from text to text
  size_t runCount_ = 0;
  std::vector<double> advances_;  // a proportional run's glyph widths, kept between runs
  std::vector<Glyph> fitted_;     // and its cells fitted by them
  std::vector<double> dashes_;
  GlyphTexts<std::string> glyphTexts_{CodePointToUtf8, [](const std::string& sjis) { return SjisToUtf8(sjis, UnreadableSjis::kSkipByte); }};
  std::unordered_map<std::string, std::unique_ptr<LoadedImage>> images_;
  uint64_t pixelsLeft_ = kImagePixelBudget;
};

std::mutex g_cairoLock;  // fontconfig and the font map are shared by the process

// An RGB PNG of the page, packed for speed (kPngPage): cairo's own writer tries every row filter
// at zlib's default level, which takes longer than drawing the page.
cairo_status_t WritePagePng(cairo_surface_t* surface, std::ostream& out) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* pixels = cairo_image_surface_get_data(surface);
  if (!pixels) return CAIRO_STATUS_INVALID_SIZE;
  const PngRowSource rowOf = [&](int y, uint8_t* row) {
    const uint32_t* src = reinterpret_cast<const uint32_t*>(pixels + size_t(y) * size_t(stride));
    for (int x = 0; x < width; ++x, row += 3) {
      const uint32_t v = src[x];
      row[0] = uint8_t(v >> 16), row[1] = uint8_t(v >> 8), row[2] = uint8_t(v);
    }
  };
  const PngSink sink = [&out](const uint8_t* data, size_t size) {
    return bool(out.write(reinterpret_cast<const char*>(data), std::streamsize(size)));
  };
  switch (WritePng(width, height, false, rowOf, kPngPage, sink)) {
    case PngResult::kWritten: return CAIRO_STATUS_SUCCESS;
    case PngResult::kBadSize: return CAIRO_STATUS_INVALID_SIZE;
    case PngResult::kNoMemory: return CAIRO_STATUS_NO_MEMORY;
    case PngResult::kWriteFailed: break;
  }
  return CAIRO_STATUS_WRITE_ERROR;
}

// cairo's PDF and SVG writers hand their bytes here; a failed write stops them.
cairo_status_t WriteToStream(void* closure, const unsigned char* data, unsigned int length) {
  std::ostream& out = *static_cast<std::ostream*>(closure);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(length));
  return out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

// The page in device units (pixels or points), or a reason it cannot be made. Checked in
// double precision: a page of any size, or none, gives a message and not an overflow.
std::string PageProblem(double w, double h, PictureFormat format, double dpi) {
  if (format != PictureFormat::kPng) return VectorPageProblem(w, h);
  if (!(w > 0 && h > 0)) return "the page is empty";
  if (w - 1e-6 <= kMaxPixels && h - 1e-6 <= kMaxPixels) return {};
  char size[96];
  std::snprintf(size, sizeof size, "%.0f x %.0f", std::ceil(std::min(w, 1e18) - 1e-6),
                std::ceil(std::min(h, 1e18) - 1e-6));
  return std::string("the picture would be ") + size + " pixels, more than " + std::to_string(kMaxPixels) +
         " a side" + (dpi > kMinDpi ? ": use a lower --dpi" : "");
}

// An SVG on its way out. cairo's SVG writer drops the filter of an image, so where the page
// only enlarges images, each is marked to keep its pixels sharp, as PNG and PDF show them.
struct SvgWriter {
  std::ostream& out;
  bool sharpImages = false;  // known once the page is drawn, before the document is written
  size_t matched = 0;        // of the tag, over a break between writes
};

cairo_status_t WriteSvgToStream(void* closure, const unsigned char* data, unsigned int length) {
  SvgWriter& w = *static_cast<SvgWriter*>(closure);
  static constexpr char kTag[] = "<image";
  constexpr size_t kTagSize = sizeof kTag - 1;
  unsigned int from = 0;
  for (unsigned int k = 0; k < length && w.sharpImages; ++k) {
    w.matched = data[k] == kTag[w.matched] ? w.matched + 1 : data[k] == '<' ? 1 : 0;
    if (w.matched < kTagSize) continue;
    w.matched = 0;
    w.out.write(reinterpret_cast<const char*>(data + from), std::streamsize(k + 1 - from));
    w.out << " style=\"image-rendering:pixelated\"";
    from = k + 1;
  }
  return WriteToStream(&w.out, data + from, length - from);
}

cairo_surface_t* MakeSurface(double w, double h, PictureFormat format, SvgWriter& out) {
  if (format == PictureFormat::kPng)
    return cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(std::ceil(w - 1e-6)), int(std::ceil(h - 1e-6)));
  if (format == PictureFormat::kPdf) return cairo_pdf_surface_create_for_stream(WriteToStream, &out.out, w, h);
  cairo_surface_t* surface = cairo_svg_surface_create_for_stream(WriteSvgToStream, &out, w, h);
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS)
    cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PT);
  return surface;
}

// A failed write says why in the system's words; any other cairo failure in cairo's.
std::string StatusText(cairo_status_t status, const std::ostream& out, const std::string& writeError) {
  if (status == CAIRO_STATUS_WRITE_ERROR || !out) return writeError.empty() ? "write failed" : writeError;
  if (status == CAIRO_STATUS_NO_MEMORY) return "out of memory while drawing";
  return cairo_status_to_string(status);
}

}  // namespace

bool WritePicture(const DisplayList& list, std::ostream& out, PictureFormat format, const PictureOutput& output,
                  std::string& error) {
  std::lock_guard<std::mutex> lock(g_cairoLock);
  const double scale = output.pageScale > 0 ? output.pageScale : 1.0;
  const bool raster = format == PictureFormat::kPng;
  const double devicePerMm = scale * (raster ? output.dpi : kPointsPerInch) / kMmPerInch;
  const double w = list.width * devicePerMm, h = list.height * devicePerMm;
  error = PageProblem(w, h, format, output.dpi);
  if (!error.empty()) return false;
  SvgWriter svg{out};
  cairo_surface_t* surface = MakeSurface(w, h, format, svg);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot make the picture: ") + StatusText(cairo_surface_status(surface), out, {});
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_status_t status;
  {
    Painter painter(surface, list, output, devicePerMm, raster);
    painter.Paint();
    status = cairo_status(painter.Context());
    svg.sharpImages = painter.OnlyEnlargedImages();
  }
  if (status == CAIRO_STATUS_SUCCESS && raster) status = WritePagePng(surface, out);
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status == CAIRO_STATUS_SUCCESS) out.flush();
  if (status == CAIRO_STATUS_SUCCESS && out) return true;
  error = StatusText(status, out, {});
  return false;
}

bool WritePicture(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                  const PictureOutput& output, std::string& error) {
  ReplacingFile target(file);
  if (!target.ok()) {
    error = target.error();
    return false;
  }
  if (!WritePicture(list, target.stream(), format, output, error)) {
    // A write that failed says why in the system's words, which only the commit learns.
    if (!target.stream() && !target.Commit()) error = target.error();
    return false;
  }
  if (target.Commit()) return true;
  error = target.error();
  return false;
}

}  // namespace kelvane
