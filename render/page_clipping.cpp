// Keeping a picture to its page: strokes cut to a box round the page, huge ellipses clear of the
// page culled, and items whose values are broken left out.
#include <algorithm>
#include <cmath>
#include <vector>

#include "render/builder_limits.h"
#include "render/render.h"

namespace kelvane {

void DisplayListBuilder::SetPage(double width, double height) {
  pageWidth_ = width, pageHeight_ = height;
  const bool page = width > 0 && height > 0;
  nearLo_ = page ? Vec2{-kFarOff, -kFarOff} : Vec2{-kAbsurd, -kAbsurd};
  nearHi_ = page ? Vec2{width + kFarOff, height + kFarOff} : Vec2{kAbsurd, kAbsurd};
}

void DisplayListBuilder::StrokeNear(uint32_t first, bool closed, uint32_t style) {
  const double x0 = nearLo_.x, y0 = nearLo_.y, x1 = nearHi_.x, y1 = nearHi_.y;
  std::vector<PagePoint>& pts = out_->points;
  farPoints_.assign(pts.begin() + first, pts.end());
  pts.resize(first);
  if (closed && farPoints_.size() > 2) farPoints_.push_back(farPoints_.front());
  uint32_t run = first;  // where the stroke being cut out starts
  auto endRun = [&] {
    if (pts.size() - run >= 2) StrokeWith(run, false, style);
    else pts.resize(run);
    run = uint32_t(pts.size());
  };
  for (size_t k = 0; k + 1 < farPoints_.size(); ++k) {
    // Liang-Barsky: the part t0..t1 of the segment inside the box.
    const Vec2 p = farPoints_[k], q = farPoints_[k + 1];
    const double dx = q.x - p.x, dy = q.y - p.y;
    double t0 = 0, t1 = 1;
    auto edge = [&](double num, double den) {  // inside where num + den·t >= 0
      if (den == 0) return num >= 0;
      const double t = -num / den;
      if (den > 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
      return t0 <= t1;
    };
    if (!(edge(p.x - x0, dx) && edge(x1 - p.x, -dx) && edge(p.y - y0, dy) && edge(y1 - p.y, -dy))) {
      endRun();
      continue;
    }
    if (t0 > 0 || pts.size() == run) {
      endRun();
      pts.emplace_back(Vec2{p.x + dx * t0, p.y + dy * t0});
    }
    pts.emplace_back(Vec2{p.x + dx * t1, p.y + dy * t1});
    if (t1 < 1) endRun();
  }
  endRun();
}

bool DisplayListBuilder::OffPage(const Affine& k) const {
  if (pageWidth_ <= 0 || pageHeight_ <= 0) return false;
  const double hx2 = k.a * k.a + k.c * k.c, hy2 = k.b * k.b + k.d * k.d;
  if (std::max(hx2, hy2) < kCullFrom * kCullFrom) return false;
  const double hx = std::sqrt(hx2), hy = std::sqrt(hy2);
  // Clear of the page on one side: the whole ellipse's box misses the page grown by the margin.
  if (k.e + hx < -kCullMargin || k.e - hx > pageWidth_ + kCullMargin || k.f + hy < -kCullMargin ||
      k.f - hy > pageHeight_ + kCullMargin)
    return true;
  // Round the page: every corner well inside the ellipse, which is convex.
  const double det = k.a * k.d - k.b * k.c;
  if (!(std::fabs(det) > 0)) return false;
  // No more than the smaller semi-axis: the larger is at most the matrix's Frobenius norm.
  const double small = std::fabs(det) / std::sqrt(k.a * k.a + k.b * k.b + k.c * k.c + k.d * k.d);
  const double inside = 1 - kCullMargin / small;
  if (!(inside > 0)) return false;
  for (const Vec2 c : {Vec2{0, 0}, Vec2{pageWidth_, 0}, Vec2{0, pageHeight_}, Vec2{pageWidth_, pageHeight_}}) {
    const double x = c.x - k.e, y = c.y - k.f;
    const double u = (k.d * x - k.c * y) / det, v = (-k.b * x + k.a * y) / det;
    if (!(std::hypot(u, v) < inside)) return false;
  }
  return true;
}

bool DisplayListBuilder::UsableText(uint32_t first) const {
  // The cells step evenly from the first to the last, so those two tell: a NaN size, spacing or
  // angle reaches the last, and a value too large for a float is infinite in them.
  auto usable = [](const Glyph& g) {
    return Usable(Vec2(g.origin)) && std::fabs(g.across.x) < kLargestCell && std::fabs(g.across.y) < kLargestCell &&
           std::fabs(g.up.x) < kLargestCell && std::fabs(g.up.y) < kLargestCell;
  };
  return usable(out_->glyphs[first]) && usable(out_->glyphs.back());
}

bool DisplayListBuilder::UsablePoints(uint32_t first) const {
  // Without branches, so that the loop runs on vectors.
  bool usable = true;
  const PagePoint* p = out_->points.data();
  for (size_t k = first, n = out_->points.size(); k < n; ++k)
    usable &= (std::fabs(p[k].x) < float(kAbsurd)) & (std::fabs(p[k].y) < float(kAbsurd));
  return usable;
}

}  // namespace kelvane
