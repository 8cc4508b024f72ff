#include "render/pdf/pdf_page_painter.h"

#include <algorithm>
#include <cmath>

#include "render/ellipse.h"

namespace kelvane::pdf {

void PagePainter::Paint() {
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

void PagePainter::DrawItems(const DisplayList& items, int depth) {
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

void PagePainter::DrawPlacement(const Placement& p, int depth) {
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

bool PagePainter::Point(std::string& s, double x, double y) {
  x *= kUnitsPerMm, y *= kUnitsPerMm;
  if (!(std::abs(x) < kMaxUnits && std::abs(y) < kMaxUnits)) return false;
  AppendInt(s, std::llround(x));
  s += ' ';
  AppendInt(s, std::llround(y));
  return true;
}

bool PagePainter::Path(std::string& s, const PagePoint* p, uint32_t count, bool closed) {
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

void PagePainter::AppendColor(std::string& s, Rgb c, const char* op) {
  AppendFixed(s, c.r / 255.0, 3);
  s += ' ';
  AppendFixed(s, c.g / 255.0, 3);
  s += ' ';
  AppendFixed(s, c.b / 255.0, 3);
  s += op;
}

void PagePainter::SetStroke(Rgb c) {
  if (c == state_.stroke) return;
  AppendColor(out_.Text(), c, " RG\n");
  state_.stroke = c;
}

void PagePainter::SetFill(Rgb c) {
  if (c == state_.fill) return;
  AppendColor(out_.Text(), c, " rg\n");
  state_.fill = c;
}

void PagePainter::SetWidth(double width) {
  if (width == state_.width) return;
  std::string& s = out_.Text();
  AppendReal(s, width);
  s += " w\n";
  state_.width = width;
}

void PagePainter::SetCap(int cap) {
  if (cap == state_.cap) return;
  out_.Text() += cap == 1 ? "1 J\n" : "0 J\n";
  state_.cap = cap;
}

bool PagePainter::SetDashes(const StrokeStyle& style, uint32_t index) {
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

const StrokeArc* PagePainter::ArcOf(uint32_t stroke) const {
  const std::vector<StrokeArc>& arcs = pools_->arcs;
  if (arcs.empty()) return nullptr;
  auto it = std::lower_bound(arcs.begin(), arcs.end(), stroke,
                             [](const StrokeArc& a, uint32_t s) { return a.stroke < s; });
  return it != arcs.end() && it->stroke == stroke ? &*it : nullptr;
}

bool PagePainter::Curves(std::string& s, const StrokeArc& arc, bool closed) {
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

void PagePainter::DrawStroke(const Stroke& s, uint32_t index) {
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

void PagePainter::DrawFill(const Fill& f) {
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

void PagePainter::LeaveOut(ImageProblem problem) {
  if (output_.imagesLeftOut) output_.imagesLeftOut->Add(problem);
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

}  // namespace kelvane::pdf
