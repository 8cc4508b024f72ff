// How the lines of a drawing look in a picture: colours, widths and dashes by pen, line type and
// picture style, each worked out once and kept as a stroke style of the list.
#include <algorithm>
#include <cmath>
#include <vector>

#include "drawing/pen_looks.h"
#include "render/builder_limits.h"
#include "render/render.h"

namespace kelvane {

namespace {

Rgb FromColorRef(int32_t c) {
  const uint32_t v = uint32_t(c);
  return {uint8_t(v & 0xFF), uint8_t((v >> 8) & 0xFF), uint8_t((v >> 16) & 0xFF)};
}

Rgb Faint(Rgb c) {
  auto mix = [](uint8_t v) { return uint8_t(v + (255 - v) * 0.6); };
  return {mix(c.r), mix(c.g), mix(c.b)};
}

Rgb Grey(Rgb c) {
  const uint8_t l = uint8_t(std::lround(0.299 * c.r + 0.587 * c.g + 0.114 * c.b));
  return {l, l, l};
}

// A pattern as dash runs: the lowest `bits` bits of the mask, highest first, one unit each.
// The runs start with an "on" run; offset is where in them the line starts (at the first bit).
void PatternRuns(uint32_t mask, int bits, double unit, std::vector<double>& runs, double& offset) {
  runs.clear();
  offset = 0;
  if (bits <= 0 || bits > 32 || unit <= 0) return;
  bool bit[32];
  int ones = 0;
  for (int k = 0; k < bits; ++k) {
    bit[k] = (mask >> (bits - 1 - k)) & 1u;
    ones += bit[k];
  }
  if (ones == bits || ones == 0) return;  // solid (an all-off pattern is drawn solid, not lost)
  int first = 0;  // the start of an "on" run: on, after an off bit
  while (!(bit[first] && !bit[(first + bits - 1) % bits])) ++first;
  for (int k = 0; k < bits;) {
    const bool on = bit[(first + k) % bits];
    int len = 0;
    while (k < bits && bit[(first + k) % bits] == on) ++k, ++len;
    runs.push_back(len * unit);
  }
  offset = ((bits - first) % bits) * unit;
}

}  // namespace

const DisplayListBuilder::LineLook* DisplayListBuilder::CachedLook(const EntityAttributes& a) {
  // Most entities share a few pens and line types: each look is worked out once.
  const uint64_t key = uint64_t(a.penColor) | uint64_t(a.penStyle) << 16 | uint64_t(a.penWidth) << 24;
  if (key == lastLookKey_) return lastLook_;
  auto it = looks_.find(key);
  if (it == looks_.end()) {
    LineLook look;
    look.shown = Look(a, look);
    if (look.shown) look.style = AddStyle(look);
    it = looks_.emplace(key, std::move(look)).first;
  }
  lastLookKey_ = key;
  lastLook_ = it->second.shown ? &it->second : nullptr;
  return lastLook_;
}

uint32_t DisplayListBuilder::AddStyle(const LineLook& look) {
  StrokeStyle& s = root_.strokeStyles.emplace_back();
  s.color = look.color;
  s.devicePixels = look.devicePixels;
  s.width = float(look.width);
  if (!look.dashes.empty()) {
    s.dashes = {uint32_t(root_.dashes.size()), uint32_t(look.dashes.size())};
    root_.dashes.insert(root_.dashes.end(), look.dashes.begin(), look.dashes.end());
    s.dashOffset = float(look.dashOffset);
  }
  return uint32_t(root_.strokeStyles.size() - 1);
}

bool DisplayListBuilder::Visible(const EntityAttributes& a) const {
  if (depth_ > 0) return true;  // block members: the insert's layer decided
  const size_t g = a.layerGroup, l = a.layer;
  if (g >= 16 || l >= 16) return true;
  return layerShown_[g * 16 + l] != 0;
}

Rgb DisplayListBuilder::ColorOf(int32_t color, bool faint, bool keepColor) const {
  Rgb c{0, 0, 0};
  int32_t colorRef = 0;
  if (PenColorRef(doc_, color, style_ == PictureStyle::kPlan, colorRef)) c = FromColorRef(colorRef);
  if (style_ == PictureStyle::kMonochrome && !keepColor) c = {0, 0, 0};
  return faint ? Faint(c) : c;
}

bool DisplayListBuilder::Look(const EntityAttributes& a, LineLook& look) const {
  const bool auxiliary = a.penColor == kAuxiliaryColor || a.penStyle == kAuxiliaryLineType;
  if (auxiliary && style_ != PictureStyle::kPlan) return false;
  look.color = ColorOf(a.penColor, auxiliary);
  const bool screen = style_ == PictureStyle::kPlan;
  const bool sxf = IsSxfColor(a.penColor);
  // The plan draws pens 1-9 at their screen widths in pixels, SXF colours at their printed
  // width: their screen widths are the same hundredths of a millimetre, not pixels.
  const bool pixels = screen && !sxf;
  look.devicePixels = pixels;
  const int32_t width = PenWidthUnits(doc_, a, screen);
  look.width = pixels ? std::max(1, width) : PenWidthMm(doc_.header, std::max(0, width), sxf);
  LookDashes(a.penStyle, look);
  double period = 0;
  for (double d : look.dashes) period += d;
  // Screen dashes are output pixels, bounded by the picture's size in pixels.
  if (period > 0 && !screen) {
    look.solidPast2 = (period * kMostDashPatterns) * (period * kMostDashPatterns);
    look.capDashes = true;
  }
  return true;
}

void DisplayListBuilder::LookDashes(int type, LineLook& look) const {
  // Line types: 2-9 and 16-19 from the header's bit patterns, SXF 31-62 from their pitches in
  // millimetres. A bit is PatternBitMm on paper and `pitch` pixels on screen. Random lines
  // (11-15) are drawn solid until their geometry is known.
  const bool screen = style_ == PictureStyle::kPlan;
  look.dashes.clear();
  look.dashOffset = 0;
  if (const LineTypeSetting* t = PatternLineType(doc_, type)) {
    const double unit = screen ? double(t->pitch) : PatternBitMm(*t);
    PatternRuns(uint32_t(t->pattern), t->unitDots, unit, look.dashes, look.dashOffset);
  } else if (const ExtendedLineType* x = SxfLineType(doc_, type)) {
    const int n = std::clamp(x->segmentCount, 0, 10);
    bool any = false;
    for (int k = 1; k <= n; ++k) {
      look.dashes.push_back(std::max(0.0, x->pitches[k]) * (screen ? 4.0 : 1.0));
      any = any || (k % 2 == 0 && x->pitches[k] > 0);
    }
    if (look.dashes.size() % 2 == 1) look.dashes.push_back(look.dashes.back());
    if (!any) look.dashes.clear();
  }
}

uint32_t DisplayListBuilder::SolidStyle(const LineLook& look) {
  if (look.solidStyle == ~0u) {
    LineLook solid = look;
    solid.dashes.clear();
    solid.dashOffset = 0;
    look.solidStyle = AddStyle(solid);
  }
  return look.solidStyle;
}

Rgb DisplayListBuilder::SolidColor(const SolidRecord& s, bool auxiliary) const {
  Rgb color;
  if (s.attr.penColor == kOwnRgbColor) {
    color = FromColorRef(s.color);
    if (style_ == PictureStyle::kMonochrome) color = Grey(color);
  } else {
    // A monochrome print keeps a solid's tone as grey rather than blackening it: whether Jw_cad
    // does so is open, and black would hide whatever the solid shades.
    color = ColorOf(s.attr.penColor, auxiliary, true);
    if (style_ == PictureStyle::kMonochrome) color = Grey(color);
  }
  return color;
}

}  // namespace kelvane
