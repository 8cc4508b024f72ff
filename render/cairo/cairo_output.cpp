// The cairo backend: replays a display list onto a PNG, SVG or PDF page.
#include "render/cairo/cairo_output.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <iconv.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "render/cairo/image_decode.h"
#include "render/image_source.h"
#include "render/text_layout.h"

extern const char kKelvaneFontsConf[];  // render/fonts.conf, built in

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

std::string SjisToUtf8(const std::string& sjis) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == iconv_t(-1)) return std::string();
  std::string in = sjis, out(sjis.size() * 4 + 8, '\0');
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  while (il > 0) {
    if (iconv(cd, &ip, &il, &op, &ol) != size_t(-1)) break;
    if (ol < 4) break;
    // A byte the table lacks becomes "?" and the rest goes on.
    *op++ = '?';
    --ol;
    ++ip;
    --il;
  }
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

std::string CodePointToUtf8(uint32_t c) {
  std::string s;
  if (c < 0x80) {
    s.push_back(char(c));
  } else if (c < 0x800) {
    s.push_back(char(0xC0 | (c >> 6)));
    s.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    s.push_back(char(0xE0 | (c >> 12)));
    s.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(char(0x80 | (c & 0x3F)));
  } else {
    s.push_back(char(0xF0 | (c >> 18)));
    s.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    s.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(char(0x80 | (c & 0x3F)));
  }
  return s;
}

std::string ToUtf8(const JwwString& s) { return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis); }

class Painter {
 public:
  Painter(cairo_surface_t* surface, const DisplayList& list, const PictureOutput& output, double devicePerMm,
          bool raster)
      : surface_(surface), cr_(cairo_create(surface)), list_(list), output_(output), devicePerMm_(devicePerMm),
        raster_(raster) {}
  ~Painter() { cairo_destroy(cr_); }
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

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

  const std::string& GlyphText(uint32_t code, bool unicode) {
    const uint64_t key = uint64_t(code) | (unicode ? (uint64_t(1) << 40) : 0);
    auto it = glyphText_.find(key);
    if (it != glyphText_.end()) return it->second;
    std::string s;
    if (unicode) {
      s = CodePointToUtf8(code);
    } else {
      std::string b;
      if (code > 0xFF) b.push_back(char(code >> 8));
      b.push_back(char(code & 0xFF));
      s = SjisToUtf8(b);
    }
    return glyphText_.emplace(key, s).first->second;
  }

  void DrawText(const TextRun& t) {
    PangoFontDescription* desc = pango_font_description_new();
    const std::string family = ToUtf8(list_.fonts[t.font]);
    pango_font_description_set_family(desc, family.empty() ? "IPAGothic" : family.c_str());
    pango_font_description_set_absolute_size(desc, kNominalFontSize * PANGO_SCALE);
    if (t.bold) pango_font_description_set_weight(desc, PANGO_WEIGHT_BOLD);
    if (t.italic) pango_font_description_set_style(desc, PANGO_STYLE_ITALIC);
    pango_layout_set_font_description(layout_, desc);
    pango_font_description_free(desc);
    SetColor(t.color);
    for (uint32_t k = 0; k < t.glyphs.count; ++k) {
      const Glyph& g = pools_->glyphs[t.glyphs.first + k];
      const Vec2 origin = g.origin, across = g.across, up = g.up;  // worked on in double
      const std::string& text = GlyphText(g.code, t.unicode);
      if (text.empty() || text == " " || text == "\xE3\x80\x80") continue;  // blanks draw nothing
      const double acrossLen = std::hypot(across.x, across.y), upLen = std::hypot(up.x, up.y);
      if (!(acrossLen > 0 && upLen > 0 && std::isfinite(acrossLen + upLen + origin.x + origin.y))) continue;
      pango_layout_set_text(layout_, text.c_str(), int(text.size()));
      PangoRectangle logical;
      pango_layout_get_extents(layout_, nullptr, &logical);
      const double lw = double(logical.width) / PANGO_SCALE;
      if (pango_layout_get_unknown_glyphs_count(layout_) > 0) {
        // No installed font has the character: an empty box in its cell, as Windows shows it,
        // rather than pango's code-point box at the font's own size.
        const double in = 0.15;
        cairo_new_path(cr_);
        cairo_move_to(cr_, origin.x + in * (across.x + up.x), origin.y + in * (across.y + up.y));
        cairo_rel_line_to(cr_, across.x * (1 - 2 * in), across.y * (1 - 2 * in));
        cairo_rel_line_to(cr_, up.x * (1 - 2 * in), up.y * (1 - 2 * in));
        cairo_rel_line_to(cr_, -across.x * (1 - 2 * in), -across.y * (1 - 2 * in));
        cairo_close_path(cr_);
        cairo_set_dash(cr_, nullptr, 0, 0);
        cairo_set_line_width(cr_, upLen / 20);
        cairo_stroke(cr_);
        continue;
      }
      // The em fills the cell's height; across, a full-width character's em fills the cell's
      // width, so a proportional glyph keeps its own width and sits centred in its cell.
      const double cells = CellWidthOf(g.code, t.unicode);
      const double v = upLen / kNominalFontSize;
      const double h = acrossLen / cells / kNominalFontSize;
      const double x0 = (acrossLen - lw * h) / 2;
      const Vec2 a{across.x / acrossLen, across.y / acrossLen}, u{up.x / upLen, up.y / upLen};
      cairo_matrix_t m;
      cairo_matrix_init(&m, a.x * h, a.y * h, -u.x * v, -u.y * v, origin.x + a.x * x0 + u.x * upLen,
                        origin.y + a.y * x0 + u.y * upLen);
      cairo_save(cr_);
      cairo_transform(cr_, &m);
      cairo_move_to(cr_, -double(logical.x) / PANGO_SCALE, -double(logical.y) / PANGO_SCALE);
      pango_cairo_update_context(cr_, context_);
      pango_cairo_show_layout(cr_, layout_);
      cairo_restore(cr_);
    }
  }

  void DrawPicture(const Picture& p) {
    if (!output_.imageBytes) return;
    const JwwString& source = list_.imageSources[p.source];
    const std::vector<uint8_t> bytes = output_.imageBytes(source);
    DecodedImage img;
    if (bytes.empty() || !DecodeImage(bytes, IsGzipName(source), img)) return;
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(img.argb.data()),
                                                             CAIRO_FORMAT_ARGB32, img.width, img.height,
                                                             img.width * 4);
    // The shown part in image pixels (rows top down); the clip is given from the lower left.
    const double sx = p.clipX * img.width, sw = p.clipWidth * img.width;
    const double sh = p.clipHeight * img.height, sy = img.height - p.clipY * img.height - sh;
    if (sw > 0 && sh > 0) {
      cairo_matrix_t m;
      // Pixel (x, y) goes to origin + across·(x - sx)/sw + up·(sy + sh - y)/sh.
      cairo_matrix_init(&m, p.across.x / sw, p.across.y / sw, -p.up.x / sh, -p.up.y / sh,
                        p.origin.x - p.across.x * sx / sw + p.up.x * (sy + sh) / sh,
                        p.origin.y - p.across.y * sx / sw + p.up.y * (sy + sh) / sh);
      cairo_save(cr_);
      cairo_transform(cr_, &m);
      cairo_rectangle(cr_, sx, sy, sw, sh);
      cairo_clip(cr_);
      cairo_set_source_surface(cr_, s, 0, 0);
      // An image enlarged on the page keeps its pixels sharp, as Jw_cad shows a bitmap.
      const double enlarge = std::hypot(p.across.x, p.across.y) * devicePerMm_ / sw;
      cairo_pattern_set_filter(cairo_get_source(cr_), enlarge > 1 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
      cairo_paint(cr_);
      cairo_restore(cr_);
    }
    cairo_surface_destroy(s);
  }

  cairo_surface_t* surface_;
  cairo_t* cr_;
  std::vector<cairo_matrix_t> levels_;  // the transform of each list being drawn, outermost first
  bool lost_ = false;
  const DisplayList& list_;             // the whole list: its shared tables and sublists
  const DisplayList* pools_ = nullptr;  // the list (or sublist) whose items are being drawn
  const PictureOutput& output_;
  double devicePerMm_;
  bool raster_;
  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  std::vector<double> dashes_;
  std::unordered_map<uint64_t, std::string> glyphText_;
};

std::mutex g_cairoLock;  // fontconfig and the font map are shared by the process

void PutBigEndian(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

bool WriteChunk(std::FILE* f, const char* type, const unsigned char* data, size_t size) {
  std::vector<unsigned char> head;
  PutBigEndian(head, uint32_t(size));
  head.insert(head.end(), type, type + 4);
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
  if (size > 0) crc = crc32(crc, data, uInt(size));
  std::vector<unsigned char> tail;
  PutBigEndian(tail, uint32_t(crc));
  return std::fwrite(head.data(), 1, head.size(), f) == head.size() &&
         (size == 0 || std::fwrite(data, 1, size, f) == size) && std::fwrite(tail.data(), 1, 4, f) == 4;
}

// An RGB PNG of the page. cairo's own writer tries every row filter at zlib's default level,
// which takes longer than drawing the page. A drawing is mostly blank paper, which the "up"
// filter turns into runs of zeros: packed as runs, the file is about a fifth larger, four
// times sooner.
cairo_status_t WritePng(cairo_surface_t* surface, const std::filesystem::path& file) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* pixels = cairo_image_surface_get_data(surface);
  if (!pixels || width <= 0 || height <= 0) return CAIRO_STATUS_INVALID_SIZE;
  z_stream z{};
  if (deflateInit2(&z, 1, Z_DEFLATED, 15, 9, Z_RLE) != Z_OK) return CAIRO_STATUS_NO_MEMORY;
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) {
    deflateEnd(&z);
    return CAIRO_STATUS_WRITE_ERROR;
  }
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  bool ok = std::fwrite(kSignature, 1, 8, f) == 8;
  std::vector<unsigned char> header;
  PutBigEndian(header, uint32_t(width));
  PutBigEndian(header, uint32_t(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filters per row, no interlace
  ok = ok && WriteChunk(f, "IHDR", header.data(), header.size());

  const size_t rowBytes = size_t(width) * 3;
  std::vector<unsigned char> previous(rowBytes, 0), current(rowBytes), row(rowBytes + 1);
  std::vector<unsigned char> packed(1 << 18);
  auto drain = [&](int flush) {
    int rc = Z_OK;
    do {
      z.next_out = packed.data();
      z.avail_out = uInt(packed.size());
      rc = deflate(&z, flush);
      const size_t made = packed.size() - z.avail_out;
      if (made > 0) ok = ok && WriteChunk(f, "IDAT", packed.data(), made);
    } while (ok && rc != Z_STREAM_ERROR && z.avail_out == 0);
    return rc;
  };
  row[0] = 2;  // "up": each byte less the one above it
  for (int y = 0; y < height && ok; ++y) {
    const uint32_t* src = reinterpret_cast<const uint32_t*>(pixels + size_t(y) * size_t(stride));
    for (int x = 0; x < width; ++x) {
      const uint32_t v = src[x];
      unsigned char* c = &current[size_t(x) * 3];
      c[0] = static_cast<unsigned char>(v >> 16), c[1] = static_cast<unsigned char>(v >> 8);
      c[2] = static_cast<unsigned char>(v);
    }
    for (size_t k = 0; k < rowBytes; ++k) row[k + 1] = static_cast<unsigned char>(current[k] - previous[k]);
    current.swap(previous);
    z.next_in = row.data();
    z.avail_in = uInt(row.size());
    drain(Z_NO_FLUSH);
  }
  ok = ok && drain(Z_FINISH) == Z_STREAM_END;
  deflateEnd(&z);
  ok = ok && WriteChunk(f, "IEND", nullptr, 0);
  ok = std::fclose(f) == 0 && ok;
  return ok ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

bool WritePicture(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                  const PictureOutput& output, std::string& error) {
  std::lock_guard<std::mutex> lock(g_cairoLock);
  const double scale = output.pageScale > 0 ? output.pageScale : 1.0;
  const bool raster = format == PictureFormat::kPng;
  const double devicePerMm = scale * (raster ? output.dpi : kPointsPerInch) / kMmPerInch;
  const double w = list.width * devicePerMm, h = list.height * devicePerMm;
  if (!(w > 0 && h > 0)) {
    error = "the page is empty";
    return false;
  }
  cairo_surface_t* surface = nullptr;
  if (raster) {
    const int pw = int(std::ceil(w - 1e-6)), ph = int(std::ceil(h - 1e-6));
    if (pw > kMaxPixels || ph > kMaxPixels) {
      error = "the picture would be " + std::to_string(pw) + " x " + std::to_string(ph) +
              " pixels, more than " + std::to_string(kMaxPixels) + " a side: use a lower --dpi";
      return false;
    }
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pw, ph);
  } else if (format == PictureFormat::kPdf) {
    surface = cairo_pdf_surface_create(file.c_str(), w, h);
  } else {
    surface = cairo_svg_surface_create(file.c_str(), w, h);
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS)
      cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PT);
  }
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot make the picture: ") + cairo_status_to_string(cairo_surface_status(surface));
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_status_t status;
  {
    Painter painter(surface, list, output, devicePerMm, raster);
    painter.Paint();
    status = cairo_status(painter.Context());
  }
  if (status == CAIRO_STATUS_SUCCESS && raster) status = WritePng(surface, file);
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    error = "cannot write " + file.string() + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

std::string ResolvedFontFamily(const std::string& utf8FontName) {
  std::lock_guard<std::mutex> lock(g_cairoLock);
  PangoContext* context = pango_font_map_create_context(FontMap());
  PangoFontDescription* desc = pango_font_description_from_string("Sans 12");
  pango_font_description_set_family(desc, utf8FontName.c_str());
  PangoFont* font = pango_font_map_load_font(FontMap(), context, desc);
  std::string family;
  if (font) {
    PangoFontDescription* got = pango_font_describe(font);
    if (const char* f = pango_font_description_get_family(got)) family = f;
    pango_font_description_free(got);
    g_object_unref(font);
  }
  pango_font_description_free(desc);
  g_object_unref(context);
  return family;
}

}  // namespace kelvane
