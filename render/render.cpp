// The display list of a drawing: what each record and header setting means for the picture.
#include "render/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <exception>
#include <new>
#include <thread>

#include "render/text_layout.h"
#include "jww/document.h"
#include "split/extract.h"

namespace kelvane {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegree = kPi / 180.0;
// How far a flattened arc may stray from the true curve, in page millimetres (a tenth of a
// pixel at 250 dpi).
constexpr double kArcTolerance = 0.01;
constexpr int kMaxArcSegments = 4096;
constexpr int kMaxBlockDepth = 32;
constexpr size_t kReserveCapBytes = size_t(256) << 20;
// Page coordinates beyond this (millimetres) come only from broken values: the entity is left out.
constexpr double kAbsurd = 1e15;
// A character cell larger than this (a hundred metres) is not text anyone can print.
constexpr double kLargestCell = 1e5;
// Block members drawn per entity of the drawing (its own and its blocks'), with a floor for
// small drawings and a ceiling that keeps list memory and drawing time in bounds.
constexpr uint64_t kMembersPerEntity = 1000;
constexpr uint64_t kLeastMemberBudget = 1000000;
constexpr uint64_t kMostMemberBudget = 20000000;
constexpr uint64_t kShareStep = 65536;
// A stroke of more dash patterns than this is drawn solid: no normal line comes near it.
constexpr double kMostDashPatterns = 100000;
// Only ellipses larger than this on the page (millimetres) are checked against it, and they are
// culled only when clear of it by the margin: ordinary arcs are drawn exactly as ever.
constexpr double kCullFrom = 10000;
constexpr double kCullMargin = 100;
// Strokes reaching further than this beyond the page (millimetres) are cut at that distance:
// cairo's fixed-point coordinates cannot hold them, and such lengths come from broken values.
constexpr double kFarOff = 1e6;

bool Usable(double v) { return std::fabs(v) < kAbsurd; }  // false for NaN and infinities too
bool Usable(Vec2 p) { return Usable(p.x) && Usable(p.y); }

// Two coordinates compared at once, so that the checks every entity passes stay a few
// instructions without branches (a GCC and Clang vector type, as both builds use).
typedef double Pair __attribute__((vector_size(16)));
typedef long long PairMask __attribute__((vector_size(16)));

Pair PairOf(Vec2 v) { return Pair{v.x, v.y}; }
bool Both(PairMask m) { return (m[0] & m[1]) != 0; }
// Strictly inside lo..hi, both coordinates; NaN is not.
PairMask Inside(Pair v, Pair lo, Pair hi) { return (v > lo) & (v < hi); }
PairMask Usable(Pair v) { return Inside(v, Pair{-kAbsurd, -kAbsurd}, Pair{kAbsurd, kAbsurd}); }
bool Usable(const Affine& k) {
  return Both(Usable(Pair{k.a, k.b}) & Usable(Pair{k.c, k.d}) & Usable(Pair{k.e, k.f}));
}

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

Affine Affine::Then(const Affine& o) const {
  return {o.a * a + o.c * b, o.b * a + o.d * b, o.a * c + o.c * d, o.b * c + o.d * d,
          o.a * e + o.c * f + o.e, o.b * e + o.d * f + o.f};
}

PictureStyle PrintStyle(const JwwDocument& doc, std::optional<bool> color) {
  const bool colored = color ? *color : doc.header.drawSwitches[5] == 1;
  return colored ? PictureStyle::kColor : PictureStyle::kMonochrome;
}

bool PaperSizeMm(int32_t code, double& w, double& h) {
  static const double kSizes[15][2] = {{1189, 841}, {841, 594},   {594, 420},   {420, 297},   {297, 210},
                                       {0, 0},      {0, 0},       {0, 0},       {1682, 1189}, {2378, 1682},
                                       {3364, 2378}, {4756, 3364}, {10000, 7073}, {50000, 35366}, {100000, 70732}};
  if (code < 0 || code > 14 || kSizes[code][0] == 0) return false;
  w = kSizes[code][0];
  h = kSizes[code][1];
  return true;
}

void SheetPageSize(const PaperFrame& f, int32_t paperSize, double& w, double& h) {
  const double fw = std::fabs(f.maxX - f.minX), fh = std::fabs(f.maxY - f.minY);
  // The header's paper is always landscape, so a portrait frame's code is one size up. The
  // picture prints 1:1 on the frame's own paper: the page the frame turned landscape gets,
  // turned back.
  const bool portrait = fh > fw;
  if (portrait) {
    PaperFrame turned;
    turned.maxX = fh;
    turned.maxY = fw;
    paperSize = PaperSizeFor(turned);
  }
  double pw = 0, ph = 0;
  if (!PaperSizeMm(paperSize == 8 ? 0 : paperSize, pw, ph)) pw = ph = 0;
  if (portrait) std::swap(pw, ph);
  w = std::max(pw, fw);
  h = std::max(ph, fh);
}


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

DisplayListBuilder::DisplayListBuilder(const JwwDocument& doc, PictureStyle style, DisplayList& out)
    : doc_(doc), style_(style), root_(out), out_(&out), layerShown_(16 * 256, 1) {
  uint64_t own = uint64_t(std::max(0, doc.entityCount));
  for (const BlockDefinition& def : doc.blockDefs) own += uint64_t(std::max(0, def.entities.entityCount));
  memberBudget_ = std::clamp(own * kMembersPerEntity, kLeastMemberBudget, kMostMemberBudget);
  SetPage(out.width, out.height);
  for (size_t i = 0; i < doc.blockDefs.size(); ++i) {
    const int32_t n = doc.blockDefs[i].number();
    if (n < 0 || n > 1000000) continue;
    if (size_t(n) >= blockIndex_.size()) blockIndex_.resize(size_t(n) + 1, -1);
    if (blockIndex_[size_t(n)] < 0) blockIndex_[size_t(n)] = int32_t(i);
  }
  // A layer shows when its group and itself are not hidden. Display-only layers (state 1) are
  // left off the print when the ones digit of the packed switch says so.
  const bool print = style != PictureStyle::kPlan;
  const bool skipDisplayOnly = print && doc.header.packedSwitchOnes == 1;
  auto shown = [&](int32_t state) { return state != 0 && !(skipDisplayOnly && state == 1); };
  for (size_t g = 0; g < 16; ++g)
    for (size_t l = 0; l < 16; ++l) {
      const bool gs = g < doc.layerGroups.size() ? shown(doc.layerGroups[g].state) : true;
      const size_t li = g * 16 + l;
      const bool ls = li < doc.layers.size() ? shown(doc.layers[li].state) : true;
      layerShown_[li] = gs && ls;
    }
}

bool DisplayListBuilder::Visible(const EntityAttributes& a) const {
  if (depth_ > 0) return true;  // block members: the insert's layer decided
  const size_t g = a.layerGroup, l = a.layer;
  if (g >= 16 || l >= 16) return true;
  return layerShown_[g * 16 + l] != 0;
}

double DisplayListBuilder::PrintWidthMm(int32_t units, bool sxfColor) const {
  // SXF colours keep their widths in 1/100 mm whatever the drawing's unit: a dot-unit drawing
  // stores the same 18 for 0.18 mm as a 1/100 mm one, and 18 dots would be 1.52 mm blobs.
  const int32_t unit = doc_.header.penWidthUnit;
  if (unit <= -101 || sxfColor) return units / 100.0;
  const double dpi = doc_.header.packedSwitchTens == 2 ? 600.0 : 300.0;
  return units * 25.4 / dpi;
}

Rgb DisplayListBuilder::ColorOf(int32_t color, bool faint, bool keepColor) const {
  Rgb c{0, 0, 0};
  const bool screen = style_ == PictureStyle::kPlan;
  if (IsPenColor(color) && size_t(color) < doc_.pens.size()) {
    const PenSetting& p = doc_.pens[size_t(color)];
    c = FromColorRef(screen ? p.color : p.printColor);
  } else if (IsSxfColor(color) && size_t(SxfColorSetting(color)) < doc_.extendedColors.size()) {
    const ExtendedColor& e = doc_.extendedColors[size_t(SxfColorSetting(color))];
    c = FromColorRef(screen ? e.color : e.printColor);
  }
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
  int32_t width = 0;
  if (IsPenColor(a.penColor) && size_t(a.penColor) < doc_.pens.size()) {
    const PenSetting& p = doc_.pens[a.penColor];
    width = screen ? p.width : p.printWidth;
  } else if (sxf && size_t(SxfColorSetting(a.penColor)) < doc_.extendedColors.size()) {
    width = doc_.extendedColors[size_t(SxfColorSetting(a.penColor))].printWidth;
  }
  // An entity's own width overrides its pen's on paper; read in the pen's unit (the corpus has
  // none to tell otherwise). On screen a line keeps its pen's pixel width.
  if (!screen && a.penWidth != 0) width = a.penWidth;
  look.width = pixels ? std::max(1, width) : PrintWidthMm(std::max(0, width), sxf);

  // Line types: 2-9 and 16-19 from the header's bit patterns, SXF 31-62 from their pitches in
  // millimetres. A bit is printPitch/16 mm on paper (0.625 mm at the usual 10: Jw_cad's own
  // DXF export uses exactly these dashes) and `pitch` pixels on screen. Random lines (11-15)
  // are drawn solid until their geometry is known.
  look.dashes.clear();
  look.dashOffset = 0;
  const int type = a.penStyle;
  const LineTypeSetting* t = nullptr;
  if (IsPatternLineType(type) && size_t(type - kFirstPatternLineType) < doc_.lineTypes.size())
    t = &doc_.lineTypes[size_t(type - kFirstPatternLineType)];
  if (IsDoubleLineType(type) && size_t(type - kFirstDoubleLineType) < doc_.doubleLineTypes.size())
    t = &doc_.doubleLineTypes[size_t(type - kFirstDoubleLineType)];
  if (t) {
    const double unit = screen ? double(t->pitch) : t->printPitch / 16.0;
    PatternRuns(uint32_t(t->pattern), t->unitDots, unit, look.dashes, look.dashOffset);
  } else if (IsSxfLineType(type) && size_t(SxfLineTypeSetting(type)) < doc_.extendedLineTypes.size()) {
    const ExtendedLineType& x = doc_.extendedLineTypes[size_t(SxfLineTypeSetting(type))];
    const int n = std::clamp(x.segmentCount, 0, 10);
    bool any = false;
    for (int k = 1; k <= n; ++k) {
      look.dashes.push_back(std::max(0.0, x.pitches[k]) * (screen ? 4.0 : 1.0));
      any = any || (k % 2 == 0 && x.pitches[k] > 0);
    }
    if (look.dashes.size() % 2 == 1) look.dashes.push_back(look.dashes.back());
    if (!any) look.dashes.clear();
  }
  double period = 0;
  for (double d : look.dashes) period += d;
  // Screen dashes are output pixels, bounded by the picture's size in pixels.
  if (period > 0 && !screen) {
    look.solidPast2 = (period * kMostDashPatterns) * (period * kMostDashPatterns);
    look.capDashes = true;
  }
  return true;
}

void DisplayListBuilder::StrokePoints(const std::vector<Vec2>& pts, bool closed, const LineLook& look) {
  const uint32_t first = uint32_t(out_->points.size());
  for (const Vec2& p : pts) out_->points.emplace_back(p);
  StrokeFrom(first, closed, look);
}

void DisplayListBuilder::StrokeFrom(uint32_t first, bool closed, const LineLook& look) {
  StrokeWith(first, closed, look.style);
}

void DisplayListBuilder::StrokeWith(uint32_t first, bool closed, uint32_t style) {
  // Filled in place: a stroke put together on the stack and copied in is read back before all
  // its fields have been stored, which stalls.
  out_->order.push_back({ItemKind::kStroke, uint32_t(out_->strokes.size())});
  Stroke& s = out_->strokes.emplace_back();
  s.points = {first, uint32_t(out_->points.size()) - first};
  s.style = style;
  s.closed = closed;
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

bool DisplayListBuilder::Spend(uint64_t members) {
  membersDrawn_ += members;
  unshared_ += members;
  if (sharedSpent_ && unshared_ >= kShareStep) ShareSpent();
  if (spentSeen_ + unshared_ <= memberBudget_) return true;
  root_.overBudget = true;
  return false;
}

void DisplayListBuilder::ShareSpent() {
  spentSeen_ = sharedSpent_ ? sharedSpent_->fetch_add(unshared_, std::memory_order_relaxed) + unshared_
                            : spentSeen_ + unshared_;
  unshared_ = 0;
}

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

void DisplayListBuilder::EndRing(uint32_t first) {
  const uint32_t count = uint32_t(out_->points.size()) - first;
  if (count < 3) {
    out_->points.resize(first);
    return;
  }
  out_->rings.push_back({first, count});
}

void DisplayListBuilder::FillSolid(uint32_t firstRing, uint32_t firstPoint, Rgb color) {
  if (UsablePoints(firstPoint)) return FillFrom(firstRing, color);
  out_->rings.resize(firstRing);
  out_->points.resize(firstPoint);
  Skip();
}

void DisplayListBuilder::FillFrom(uint32_t firstRing, Rgb color) {
  const uint32_t count = uint32_t(out_->rings.size()) - firstRing;
  if (count == 0) return;
  Fill f;
  f.color = color;
  f.rings = {firstRing, count};
  out_->order.push_back({ItemKind::kFill, uint32_t(out_->fills.size())});
  out_->fills.push_back(f);
}

void DisplayListBuilder::AddPart(DisplayList&& part) {
  // The part's shared tables join this list's, and every index into them moves along.
  std::vector<uint32_t> fontIndex(part.fonts.size());
  for (size_t k = 0; k < part.fonts.size(); ++k) fontIndex[k] = FontIndex(part.fonts[k]);
  const uint32_t styles = uint32_t(root_.strokeStyles.size()), dashes = uint32_t(root_.dashes.size());
  const uint32_t sources = uint32_t(root_.imageSources.size()), lists = uint32_t(root_.sublists.size());
  for (StrokeStyle& st : part.strokeStyles) {
    if (st.dashes.count > 0) st.dashes.first += dashes;
    root_.strokeStyles.push_back(st);
  }
  root_.dashes.insert(root_.dashes.end(), part.dashes.begin(), part.dashes.end());
  root_.imageSources.insert(root_.imageSources.end(), std::make_move_iterator(part.imageSources.begin()),
                            std::make_move_iterator(part.imageSources.end()));
  auto move = [&](DisplayList& l) {
    for (Stroke& st : l.strokes) st.style += styles;
    for (TextRun& t : l.texts) t.font = fontIndex[t.font];
    for (Picture& p : l.pictures) p.source += sources;
    for (Placement& p : l.placements) p.list += lists;
  };
  for (DisplayList& sub : part.sublists) {
    move(sub);
    root_.sublists.push_back(std::move(sub));
  }
  move(part);
  part.strokeStyles.clear();
  part.dashes.clear();
  part.fonts.clear();
  part.imageSources.clear();
  part.sublists.clear();
  root_.skippedEntities += part.skippedEntities;
  root_.overBudget = root_.overBudget || part.overBudget;
  Place(std::move(part), 0, 0);
}

void DisplayListBuilder::Place(DisplayList&& list, double dx, double dy) {
  if (list.order.empty()) return;
  const uint32_t index = uint32_t(root_.sublists.size());
  root_.sublists.push_back(std::move(list));
  out_->order.push_back({ItemKind::kPlacement, uint32_t(out_->placements.size())});
  out_->placements.push_back({index, dx, dy});
}

// The layer an entity of the drawing is on: group · 16 + layer.
static uint16_t LayerOf(const EntityLists& l, EntityRef e) {
  const size_t i = size_t(e.index);
  const EntityAttributes* a = nullptr;
  switch (e.kind) {
    case kLine: a = i < l.lines.size() ? &l.lines[i].attr : nullptr; break;
    case kArc: a = i < l.arcs.size() ? &l.arcs[i].attr : nullptr; break;
    case kPoint: a = i < l.points.size() ? &l.points[i].attr : nullptr; break;
    case kText: a = i < l.texts.size() ? &l.texts[i].attr : nullptr; break;
    case kDimension: a = i < l.dimensions.size() ? &l.dimensions[i].attr : nullptr; break;
    case kSolid: a = i < l.solids.size() ? &l.solids[i].attr : nullptr; break;
    case kBlockInsert: a = i < l.blockInserts.size() ? &l.blockInserts[i].attr : nullptr; break;
    default: break;
  }
  if (!a || a->layerGroup >= 16 || a->layer >= 16) return kNoLayer;
  return uint16_t(a->layerGroup * 16 + a->layer);
}

void DisplayListBuilder::AddRange(const EntityLists& lists, const std::vector<EntityRef>& order, size_t from,
                                  size_t to, const Affine& m) {
  if (depth_ > 0) {
    for (size_t i = from; i < to; ++i) AddEntity(lists, order[i], m);
    return;
  }
  // The drawing's own entities: what each draws is on its layer (a block's members on the
  // insert's).
  for (size_t i = from; i < to; ++i) {
    const size_t before = out_->order.size();
    AddEntity(lists, order[i], m);
    if (out_->order.size() > before) MarkLayer(before, LayerOf(lists, order[i]));
  }
}

void DisplayListBuilder::MarkLayer(size_t first, uint16_t layer) {
  std::vector<LayerRun>& runs = out_->layers;
  if (runs.empty() ? layer == kNoLayer : runs.back().layer == layer) return;
  if (!runs.empty() && runs.back().first == first) {
    runs.back().layer = layer;
    return;
  }
  runs.push_back({uint32_t(first), layer});
}



namespace {

// What the drawing asks to be drawn before everything else (drawSwitches[2], ones digit).
enum class FirstDrawn { kNothing, kImagesAndSolids, kSolids };

FirstDrawn FirstDrawnOf(const JwwDocument& doc) {
  switch (doc.header.drawSwitches[2] % 10) {
    case 1:
      return FirstDrawn::kImagesAndSolids;
    case 2:
      return FirstDrawn::kSolids;
    default:
      return FirstDrawn::kNothing;
  }
}

bool DrawnFirst(const EntityLists& l, EntityRef e, FirstDrawn first) {
  const size_t i = size_t(e.index);
  if (e.kind == kSolid) return true;
  if (first != FirstDrawn::kImagesAndSolids || e.kind != kText || i >= l.textStrings.size()) return false;
  const JwwString& s = l.textStrings[i].text;
  ImageReference ref;
  return !s.empty() && CharAt(s, 0).code == '^' && ParseImageReference(s, ref);
}

}  // namespace

std::vector<EntityRef> DrawingOrder(const JwwDocument& doc, const EntityLists& lists,
                                    const std::vector<EntityRef>& order, size_t count) {
  const FirstDrawn first = FirstDrawnOf(doc);
  count = std::min(count, order.size());
  std::vector<EntityRef> out(order.begin(), order.begin() + std::ptrdiff_t(count));
  if (first != FirstDrawn::kNothing)
    std::stable_partition(out.begin(), out.end(), [&](EntityRef e) { return DrawnFirst(lists, e, first); });
  return out;
}

void DisplayListBuilder::AddEntities(const EntityLists& lists, const std::vector<EntityRef>& given, size_t count,
                                     const Affine& m, int threads) {
  // The drawing may ask for its images and solids first; otherwise the order is the file's.
  std::vector<EntityRef> reordered;
  if (FirstDrawnOf(doc_) != FirstDrawn::kNothing) reordered = DrawingOrder(doc_, lists, given, count);
  const std::vector<EntityRef>& order = reordered.empty() ? given : reordered;
  count = std::min(count, order.size());
  const size_t runs = std::clamp<size_t>(size_t(std::max(threads, 1)), 1, std::max<size_t>(count, 1));
  auto bound = [&](size_t run) { return count * run / runs; };
  Reserve(lists, order, bound(1), m);
  if (runs == 1) {
    AddRange(lists, order, 0, count, m);
    return;
  }
  // This thread draws the first run straight into the list; the others draw theirs into lists of
  // their own, placed after it in order once every thread is done. A failure (out of memory) is
  // passed on from whichever run had it, after every thread has ended.
  std::vector<DisplayList> parts(runs - 1);
  std::vector<std::exception_ptr> failures(runs - 1);
  ShareSpent();
  std::atomic<uint64_t> spent{spentSeen_};
  sharedSpent_ = &spent;
  std::vector<std::thread> workers;
  auto joinAll = [&] {
    for (std::thread& w : workers) w.join();
  };
  try {
    for (size_t r = 1; r < runs; ++r) {
      workers.emplace_back([&, r] {
        try {
          DisplayListBuilder b(doc_, style_, parts[r - 1]);
          b.depth_ = depth_;
          b.SetPage(pageWidth_, pageHeight_);
          b.sharedSpent_ = &spent;
          b.Reserve(lists, order, bound(r + 1), m, bound(r));
          b.AddRange(lists, order, bound(r), bound(r + 1), m);
          b.ShareSpent();
        } catch (...) {
          failures[r - 1] = std::current_exception();
        }
      });
    }
    AddRange(lists, order, 0, bound(1), m);
  } catch (...) {
    joinAll();
    sharedSpent_ = nullptr;
    throw;
  }
  joinAll();
  ShareSpent();
  spentSeen_ = spent.load();  // every thread's count, now all added
  sharedSpent_ = nullptr;
  if (spentSeen_ > memberBudget_) root_.overBudget = true;
  for (const std::exception_ptr& f : failures)
    if (f) std::rethrow_exception(f);
  if (depth_ == 0) MarkLayer(out_->order.size(), kNoLayer);  // the parts carry their own layers
  for (DisplayList& part : parts) AddPart(std::move(part));
}

void DisplayListBuilder::AddEntity(const EntityLists& l, EntityRef e, const Affine& m) {
  const size_t i = size_t(e.index);
  switch (e.kind) {
    case kLine:
      if (i < l.lines.size() && Visible(l.lines[i].attr)) AddLine(l.lines[i], m);
      break;
    case kArc:
      if (i < l.arcs.size() && Visible(l.arcs[i].attr)) AddArc(l.arcs[i], m);
      break;
    case kPoint:
      if (i < l.points.size() && Visible(l.points[i].attr)) AddPoint(l.points[i], m);
      break;
    case kText:
      if (i < l.texts.size() && i < l.textStrings.size()) AddTextRecord(l.texts[i], l.textStrings[i], m, true);
      break;
    case kDimension:
      if (i < l.dimensions.size() && i < l.dimensionStrings.size() && Visible(l.dimensions[i].attr)) {
        // The dimension's own style, colour and width are placeholders: its members carry theirs.
        const DimensionRecord& d = l.dimensions[i];
        AddLine(d.line, m);
        AddTextRecord(d.text, l.dimensionStrings[i], m, false);
        // The extension lines and marks are separate entities in ordinary dimensions; SXF
        // dimensions keep them as members.
        if (d.sxfMode != 0) {
          AddLine(d.auxLine1, m);
          AddLine(d.auxLine2, m);
          for (const PointRecord* p : {&d.auxPoint1, &d.auxPoint2, &d.auxPoint3, &d.auxPoint4}) AddPoint(*p, m);
        }
      }
      break;
    case kSolid:
      if (i < l.solids.size() && Visible(l.solids[i].attr)) AddSolid(l.solids[i], m);
      break;
    case kBlockInsert:
      if (i < l.blockInserts.size() && Visible(l.blockInserts[i].attr)) AddInsert(l.blockInserts[i], m);
      break;
    default:
      break;  // entries of no known kind
  }
}

void DisplayListBuilder::AddLine(const LineRecord& line, const Affine& m) {
  const LineLook* look = CachedLook(line.attr);
  if (!look) return;
  const Vec2 p = m({line.startX, line.startY}), q = m({line.endX, line.endY});
  // One test for the usual line, near the page: NaN fails it too.
  const Pair lo = PairOf(nearLo_), hi = PairOf(nearHi_);
  const bool near = Both(Inside(PairOf(p), lo, hi) & Inside(PairOf(q), lo, hi));
  if (!near && !Both(Usable(PairOf(p)) & Usable(PairOf(q)))) return Skip();
  const uint32_t first = uint32_t(out_->points.size());
  out_->points.emplace_back(p);
  out_->points.emplace_back(q);
  uint32_t style = look->style;
  if (look->capDashes) {
    const double dx = q.x - p.x, dy = q.y - p.y;
    if (dx * dx + dy * dy > look->solidPast2) style = SolidStyle(*look);
  }
  if (!near) return StrokeNear(first, false, style);
  StrokeWith(first, false, style);
}

namespace {

// The unit circle to C + Rot(tilt)·(r cos t, r·f sin t), then to the page.
Affine EllipseMap(double cx, double cy, double r, double flat, double tilt, const Affine& m) {
  const bool tilted = tilt != 0;
  const double c = tilted ? std::cos(tilt) : 1, s = tilted ? std::sin(tilt) : 0;
  return Affine{r * c, r * s, -r * flat * s, r * flat * c, cx, cy}.Then(m);
}

// How many segments a sweep of an ellipse map is cut into, and the turn of one: the semi-axes
// as they come out on the page decide how finely.
void CutEllipse(const Affine& k, double sweep, ArcCut& cut) {
  const double big = std::max(std::sqrt(k.a * k.a + k.b * k.b), std::sqrt(k.c * k.c + k.d * k.d));
  if (big != cut.big) {
    cut.big = big;
    cut.step = big > kArcTolerance ? 2 * std::acos(1 - kArcTolerance / big) : kPi / 2;
    cut.sweep = std::numeric_limits<double>::quiet_NaN();
  }
  if (sweep == cut.sweep) return;
  const double n = std::ceil(std::fabs(sweep) / cut.step);
  cut.sweep = sweep;
  cut.segments = !(n > 4) ? 4 : n >= kMaxArcSegments ? kMaxArcSegments : int(n);  // NaN too: the fewest
  const double dt = sweep / cut.segments;
  cut.cos = std::cos(dt);
  cut.sin = std::sin(dt);
}

// Points of C + Rot(tilt)·(r cos t, r·f sin t) for t from start over sweep: angles are
// parametric and measured from the tilt axis, for circles too.
void EllipseMapPoints(const Affine& map, double start, double sweep, std::vector<PagePoint>& out, bool includeEnd,
                      ArcCut& cut) {
  const Affine k = map;  // a copy the points written cannot alias: it stays in registers
  CutEllipse(k, sweep, cut);
  const int n = cut.segments;
  const double cs = cut.cos, sn = cut.sin;
  double c = start != 0 ? std::cos(start) : 1, s = start != 0 ? std::sin(start) : 0;
  const int last = includeEnd ? n : n - 1;
  for (int j = 0; j <= last; ++j) {
    if (j == n) {  // the exact end, not the sum of n rotations
      c = std::cos(start + sweep);
      s = std::sin(start + sweep);
    }
    out.emplace_back(k({c, s}));
    const double c2 = c * cs - s * sn;
    s = s * cs + c * sn;
    c = c2;
  }
}

void EllipsePoints(double cx, double cy, double r, double flat, double tilt, double start, double sweep,
                   const Affine& m, std::vector<PagePoint>& out, bool includeEnd, ArcCut& cut) {
  EllipseMapPoints(EllipseMap(cx, cy, r, flat, tilt, m), start, sweep, out, includeEnd, cut);
}

}  // namespace

void DisplayListBuilder::AddArc(const ArcRecord& arc, const Affine& m) {
  const LineLook* lookp = CachedLook(arc.attr);
  if (!lookp) return;
  const LineLook& look = *lookp;
  const Affine k = EllipseMap(arc.centerX, arc.centerY, arc.radius, arc.flatness, arc.tiltAngle, m);
  // A box round the ellipse, larger than its own by at most a factor of two's square root. One
  // test for the usual arc, near the page: NaN fails it too.
  const double hx = std::fabs(k.a) + std::fabs(k.c), hy = std::fabs(k.b) + std::fabs(k.d);
  const Pair centre{k.e, k.f}, half{hx, hy};
  const bool near = Both((centre - half > PairOf(nearLo_)) & (centre + half < PairOf(nearHi_)));
  if ((!near && !Usable(k)) || !std::isfinite(arc.startAngle + arc.arcAngle)) return Skip();
  if (std::max(hx, hy) >= kCullFrom && OffPage(k)) return;
  // A sweep of more than two turns draws nothing a full circle does not; arcs of a drawing
  // never come near it.
  const bool full = arc.fullCircle != 0 || std::fabs(arc.arcAngle) > 4 * kPi;
  const double sweep = full ? 2 * kPi : arc.arcAngle;
  const uint32_t first = uint32_t(out_->points.size());
  EllipseMapPoints(k, full ? 0.0 : arc.startAngle, sweep, out_->points, !full, arcCut_);
  // The ellipse is no longer than the box's larger half side times the sweep, give or take.
  uint32_t style = look.style;
  if (look.capDashes) {
    const double length = sweep * std::max(hx, hy);
    if (length * length > look.solidPast2) style = SolidStyle(look);
  }
  if (!near) return StrokeNear(first, full, style);
  StrokeWith(first, full, style);
  out_->arcs.push_back({uint32_t(out_->strokes.size() - 1), float(k.a), float(k.b), float(k.c), float(k.d),
                        float(k.e), float(k.f), float(full ? 0.0 : arc.startAngle), float(sweep)});
}

void DisplayListBuilder::AddPoint(const PointRecord& p, const Affine& m) {
  // Temporary points are construction aids and never print, nor show in a picture.
  if (p.temporary != 0) return;
  const LineLook* lookp = CachedLook(p.attr);
  if (!lookp) return;
  const LineLook& look = *lookp;
  // A point prints as a disc of its pen's point radius when that switch is on, as a dot
  // otherwise. Marker codes (penStyle 100) have undocumented shapes and print as dots.
  double radius = std::max(look.devicePixels ? 0.2 : look.width / 2, 0.1);
  if (doc_.header.drawSwitches[1] != 0) {
    const uint16_t c = p.attr.penColor;
    if (IsPenColor(c) && c < doc_.pens.size()) radius = doc_.pens[c].printPointRadius;
    else if (IsSxfColor(c) && size_t(SxfColorSetting(c)) < doc_.extendedColors.size())
      radius = doc_.extendedColors[size_t(SxfColorSetting(c))].printPointRadius;
  }
  const Vec2 c = m({p.x, p.y});
  if (!Usable(c) || !(std::fabs(radius) < kLargestCell)) return Skip();
  const double scale = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
  const uint32_t firstRing = uint32_t(out_->rings.size()), first = uint32_t(out_->points.size());
  EllipsePoints(c.x, c.y, std::max(radius * (scale > 0 ? 1.0 : 0.0), 0.05), 1.0, 0, 0, 2 * kPi, Affine{},
                out_->points, false, arcCut_);
  EndRing(first);
  FillFrom(firstRing, look.color);
}

uint32_t DisplayListBuilder::FontIndex(const JwwString& font) {
  for (size_t k = root_.fonts.size(); k-- > 0;)
    if (root_.fonts[k] == font) return uint32_t(k);
  root_.fonts.push_back(font);
  return uint32_t(root_.fonts.size() - 1);
}

void DisplayListBuilder::AddTextRecord(const TextRecord& t, const TextStrings& s, const Affine& m, bool checkLayer) {
  if (checkLayer && !Visible(t.attr)) return;
  if (IsSettingsText(t)) return;
  const bool auxiliary = t.attr.penColor == kAuxiliaryColor;
  if (auxiliary && style_ != PictureStyle::kPlan) return;

  ImageReference ref;
  if (!s.text.empty() && CharAt(s.text, 0).code == '^' && ParseImageReference(s.text, ref)) {
    // The image's lower-left corner is at the text's start, turned by the reference's angle.
    const double a = ref.angle * kDegree;
    Picture p;
    root_.imageSources.push_back(ref.source);
    p.source = uint32_t(root_.imageSources.size() - 1);
    p.origin = m({t.startX, t.startY});
    p.across = m.Linear({std::cos(a) * ref.width, std::sin(a) * ref.width});
    p.up = m.Linear({-std::sin(a) * ref.height, std::cos(a) * ref.height});
    p.clipX = ref.clipX;
    p.clipY = ref.clipY;
    p.clipWidth = p.clipHeight = ref.clipWidth;
    if (!Usable(p.origin) || !Usable(p.across) || !Usable(p.up)) {
      root_.imageSources.pop_back();
      return Skip();
    }
    out_->order.push_back({ItemKind::kPicture, uint32_t(out_->pictures.size())});
    out_->pictures.push_back(p);
    return;
  }

  // The cells go straight into the list's pool, on the page.
  const uint32_t base = uint32_t(out_->glyphs.size());
  AppendTextLayout(t, s.text, &m, out_->glyphs, textBuffers_);
  const uint32_t total = uint32_t(out_->glyphs.size()) - base;
  if (total == 0) return;
  if (!UsableText(base)) {
    out_->glyphs.resize(base);
    return Skip();
  }
  TextRun run;
  run.unicode = s.text.unicode;
  // The official code adds 10000 for italic and 20000 for bold (its prose says the reverse).
  const int32_t style = t.textType / 10000;
  run.italic = (style & 1) != 0;
  run.bold = (style & 2) != 0;
  run.font = FontIndex(s.fontName);
  // "^$n" changes the pen from its character on.
  const std::vector<uint32_t>& colorFrom = textBuffers_.colorFrom;
  uint32_t from = 0;
  int pen = t.attr.penColor;
  for (size_t c = 0; c <= colorFrom.size(); ++c) {
    const uint32_t to = c < colorFrom.size() ? colorFrom[c] : total;
    if (to > from) {
      run.color = ColorOf(pen, auxiliary);
      run.glyphs = {base + from, to - from};
      out_->order.push_back({ItemKind::kText, uint32_t(out_->texts.size())});
      out_->texts.push_back(run);
    }
    if (c < textBuffers_.colorPen.size()) pen = textBuffers_.colorPen[c];
    from = to;
  }
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

void DisplayListBuilder::AddSolid(const SolidRecord& s, const Affine& m) {
  const bool auxiliary = s.attr.penColor == kAuxiliaryColor;
  if (auxiliary && style_ != PictureStyle::kPlan) return;
  const Rgb color = SolidColor(s, auxiliary);
  if (IsArcSolid(s.attr.penStyle)) return AddArcSolid(s, m, color);
  // Corners in file order: every corpus solid is a simple quadrilateral this way. They go
  // straight into the list's pools.
  const Vec2 c[4] = {m({s.x1, s.y1}), m({s.x2, s.y2}), m({s.x3, s.y3}), m({s.x4, s.y4})};
  if (!Both(Usable(PairOf(c[0])) & Usable(PairOf(c[1])) & Usable(PairOf(c[2])) & Usable(PairOf(c[3]))))
    return Skip();
  const uint32_t firstRing = uint32_t(out_->rings.size());
  const uint32_t first = uint32_t(out_->points.size());
  for (const Vec2& p : c) out_->points.emplace_back(p);
  EndRing(first);
  FillFrom(firstRing, color);
}

void DisplayListBuilder::AddArcSolid(const SolidRecord& s, const Affine& m, Rgb color) {
  std::vector<PagePoint>& r = out_->points;
  const uint32_t firstRing = uint32_t(out_->rings.size());
  const uint32_t first = uint32_t(r.size());
  const double cx = s.x1, cy = s.y1, rad = s.x2, flat = s.y2, tilt = s.x3, start = s.y3, sweep = s.x4, mode = s.y4;
  const int style = s.attr.penStyle;
  if (style == kRingSolid || style == kEvenRingSolid) {
    // A ring: the inner radius is in the mode field; the even ring keeps its width on both axes.
    EllipsePoints(cx, cy, rad, flat, tilt, 0, 2 * kPi, m, r, false, arcCut_);
    EndRing(first);
    const uint32_t inner0 = uint32_t(r.size());
    const double inner = mode;
    if (style == kEvenRingSolid) {
      const double band = rad - inner, innerB = rad * flat - band;
      if (inner > 0 && innerB > 0) EllipsePoints(cx, cy, inner, innerB / inner, tilt, 0, 2 * kPi, m, r, false, arcCut_);
    } else if (inner > 0) {
      EllipsePoints(cx, cy, inner, flat, tilt, 0, 2 * kPi, m, r, false, arcCut_);
    }
    EndRing(inner0);
    FillSolid(firstRing, first, color);
    return;
  }
  // kArcSolid, and kCircumferenceSolid whose shape is open: drawn with the same modes: the full
  // disc, a segment (arc and chord), the outer arc as the area between the arc and the corner
  // where its end tangents meet (a reading, no corpus solid has it), anything else a sector.
  if (mode == kFullDiscMode) {
    EllipsePoints(cx, cy, rad, flat, tilt, 0, 2 * kPi, m, r, false, arcCut_);
  } else {
    EllipsePoints(cx, cy, rad, flat, tilt, start, sweep, m, r, true, arcCut_);
    if (mode == kOuterArcMode) {
      // Tangents at both ends in parameter space (unit circle) meet at the half-angle point
      // scaled by 1/cos(sweep/2); the ellipse map carries it to the page.
      const double half = sweep / 2, mid = start + half;
      if (std::fabs(std::cos(half)) > 1e-9) {
        const double k = 1 / std::cos(half);
        const double px = k * std::cos(mid), py = k * std::sin(mid);
        const Affine e{rad * std::cos(tilt), rad * std::sin(tilt), -rad * flat * std::sin(tilt),
                       rad * flat * std::cos(tilt), cx, cy};
        r.emplace_back(m(e({px, py})));
      }
    } else if (mode != kSegmentMode) {
      r.emplace_back(m({cx, cy}));
    }
  }
  EndRing(first);
  FillSolid(firstRing, first, color);
}

void DisplayListBuilder::AddInsert(const BlockInsertRecord& b, const Affine& m) {
  if (depth_ >= kMaxBlockDepth) return;
  const int32_t n = b.blockNumber;
  if (n < 0 || size_t(n) >= blockIndex_.size() || blockIndex_[size_t(n)] < 0) return;
  const uint32_t definition = uint32_t(blockIndex_[size_t(n)]);
  // Scale, then rotate, then move to the reference point; nesting composes. The members keep
  // their own colours and line types; whether they obey their own layers is open, and the
  // insert's layer alone decides here (members of one block share the insert's visibility).
  const bool turned = b.rotation != 0;
  const double c = turned ? std::cos(b.rotation) : 1, s = turned ? std::sin(b.rotation) : 0;
  const Affine local{c * b.scaleX, s * b.scaleX, -s * b.scaleY, c * b.scaleY, b.refX, b.refY};
  const Affine whole = local.Then(m);
  if (!Usable(whole)) return Skip();
  if (root_.overBudget) return;
  // Inserts of a block at one scale and turn look the same up to where they sit: the members are
  // drawn once, about the reference point, and placed at each. Widths, dashes and point sizes
  // stay page millimetres, so only inserts that differ in nothing but place share a list. The
  // first such insert is drawn out in place: a block inserted once at each scale and turn (trees
  // of every size, say) costs no more than before.
  const BlockKey key{definition, whole.a, whole.b, whole.c, whole.d};
  auto [found, fresh] = blockLists_.try_emplace(key, kSeenOnce);
  auto inPlace = [&] {
    ++depth_;
    AddMembers(doc_.blockDefs[definition], whole);
    --depth_;
  };
  if (fresh) {
    inPlace();
    return;
  }
  bool built = false;
  if (found->second == kSeenOnce) {
    found->second = kBeingDrawn;
    built = true;
    const uint32_t slot = DrawBlockList(definition, whole);
    // Other blocks drawn meanwhile may have grown the map; the entry itself stays.
    blockLists_.find(key)->second = slot;
    if (slot == kDrawsNothing) return;
  }
  const uint32_t list = blockLists_.find(key)->second;
  if (list == kDrawsNothing) return;
  if (list == kBeingDrawn) {
    // A block that inserts itself, however indirectly: drawn out down to the depth limit, so
    // that no list places itself.
    inPlace();
    return;
  }
  if (!built && !Spend(listMembers_[list])) return;
  out_->order.push_back({ItemKind::kPlacement, uint32_t(out_->placements.size())});
  out_->placements.push_back({list, whole.e, whole.f});
}

uint32_t DisplayListBuilder::DrawBlockList(uint32_t definition, const Affine& whole) {
  const uint64_t before = membersDrawn_;
  DisplayList members;
  DisplayList* outer = out_;
  out_ = &members;
  ++depth_;
  try {
    AddMembers(doc_.blockDefs[definition], Affine{whole.a, whole.b, whole.c, whole.d, 0, 0});
  } catch (...) {
    --depth_;
    out_ = outer;
    throw;
  }
  --depth_;
  out_ = outer;
  if (members.order.empty()) return kDrawsNothing;
  const uint32_t slot = uint32_t(root_.sublists.size());
  if (listMembers_.size() <= slot) listMembers_.resize(size_t(slot) + 1);
  listMembers_[slot] = membersDrawn_ - before;
  root_.sublists.push_back(std::move(members));
  return slot;
}

bool DisplayListBuilder::BlockKey::operator==(const BlockKey& o) const {
  // Bit for bit, so that a key is always equal to itself (NaN included).
  return definition == o.definition && std::memcmp(&a, &o.a, 4 * sizeof(double)) == 0;
}

size_t DisplayListBuilder::BlockKeyHash::operator()(const BlockKey& k) const {
  uint64_t h = k.definition;
  for (const double* v : {&k.a, &k.b, &k.c, &k.d}) {
    uint64_t bits;
    std::memcpy(&bits, v, sizeof bits);
    h = (h ^ bits) * 0x100000001B3ull + (h >> 29);
  }
  return size_t(h);
}

void DisplayListBuilder::AddMembers(const BlockDefinition& def, const Affine& m) {
  const EntityLists& l = def.entities;
  const size_t count = std::min(size_t(std::max(0, l.entityCount)), l.order.size());
  // A block's members follow the drawing's order too: what it asks first, first within the block
  // (a reading: whether Jw_cad draws them before the whole drawing's other entities is open).
  const FirstDrawn first = FirstDrawnOf(doc_);
  const int passes = first == FirstDrawn::kNothing ? 1 : 2;
  for (int pass = 0; pass < passes; ++pass) {
    for (size_t i = 0; i < count; ++i) {
      const EntityRef e = l.order[i];
      if (passes == 2 && DrawnFirst(l, e, first) != (pass == 0)) continue;
      if (!Spend(1)) return;
      if (e.kind == kBlockInsert || e.kind == kLine || e.kind == kArc || e.kind == kPoint || e.kind == kText ||
          e.kind == kDimension || e.kind == kSolid) {
        AddEntity(l, e, m);
      }
    }
  }
}

namespace {

// Bounds on what entities add to the list's pools, one entity at a time.
struct PoolCounter {
  PoolCounts c;
  double norm;  // the page map stretches no length more than this

  // Arcs are bounded without the trigonometry of cutting them: acos(1 - x) >= sqrt(2x) makes
  // the step no longer than this.
  size_t Segments(double radius, double flat, double sweep) const {
    const double big = std::fabs(radius) * std::max(1.0, std::fabs(flat)) * norm * (1 + 1e-9);
    if (!(big > kArcTolerance)) return 4;
    const double n = std::ceil(std::fabs(sweep) / (2 * std::sqrt(2 * kArcTolerance / big))) + 1;
    return !(n > 4) ? 4 : n >= kMaxArcSegments ? kMaxArcSegments : size_t(n);
  }
  void Line() { ++c.items, ++c.strokes, c.points += 2; }
  void Text(const TextStrings& s) {
    // Each "^$n" colour change (three characters) may start a run of its own.
    const size_t n = s.text.size(), runs = 1 + n / 3;
    c.items += runs, c.texts += runs, c.glyphs += n;
  }
  void Dot() { ++c.items, ++c.fills, ++c.rings, c.points += 16; }
  void Entity(const EntityLists& l, EntityRef e);
};

void PoolCounter::Entity(const EntityLists& l, EntityRef e) {
  const size_t i = size_t(e.index);
  switch (e.kind) {
    case kLine:
      Line();
      break;
    case kArc:
      if (i < l.arcs.size()) {
        const ArcRecord& a = l.arcs[i];
        ++c.items, ++c.strokes, c.points += Segments(a.radius, a.flatness, a.fullCircle ? 2 * kPi : a.arcAngle) + 1;
      }
      break;
    case kPoint:
      Dot();
      break;
    case kText:
      if (i < l.textStrings.size()) Text(l.textStrings[i]);
      break;
    case kDimension:
      if (i < l.dimensionStrings.size()) {
        Line();
        Text(l.dimensionStrings[i]);
        if (i < l.dimensions.size() && l.dimensions[i].sxfMode != 0) Line(), Line(), Dot(), Dot(), Dot(), Dot();
      }
      break;
    case kSolid:
      if (i < l.solids.size()) {
        const SolidRecord& s = l.solids[i];
        ++c.items, ++c.fills, c.rings += 2, c.points += 4;
        if (IsArcSolid(s.attr.penStyle)) c.points += 2 * Segments(s.x2, s.y2, 2 * kPi) + 2;
      }
      break;
    case kBlockInsert:
      // Mostly a placement of the block's own list. The first insert at each scale and turn is
      // drawn in place instead, and its members grow the pools as they are written.
      ++c.items, ++c.placements;
      break;
    default:
      break;
  }
}

}  // namespace

PoolCounts DisplayListBuilder::Count(const EntityLists& l, const std::vector<EntityRef>& order, size_t from,
                                     size_t count, const Affine& m) const {
  // Hidden layers and the like are not looked at: these are bounds, and room that is reserved
  // but never written costs no memory.
  const double ma = m.a * m.a + m.b * m.b, md = m.c * m.c + m.d * m.d, mb = m.a * m.c + m.b * m.d;
  PoolCounter counter{{}, std::sqrt((ma + md) / 2 + std::sqrt((ma - md) * (ma - md) / 4 + mb * mb))};
  count = std::min(count, order.size());
  for (size_t n = from; n < count; ++n) counter.Entity(l, order[n]);
  return counter.c;
}

void DisplayListBuilder::Reserve(const EntityLists& lists, const std::vector<EntityRef>& order, size_t count,
                                 const Affine& m, size_t from) {
  const PoolCounts c = Count(lists, order, from, count, m);
  // A bound far above what is drawn (blocks on hidden layers, say) reserves no more than a
  // cap, and a reservation refused is no failure: past either the pool grows as it is written.
  auto room = [](auto& pool, size_t more) {
    const size_t want = pool.size() + std::min(more, kReserveCapBytes / sizeof(pool[0]));
    if (want <= pool.capacity()) return;
    try {
      pool.reserve(want);
    } catch (const std::bad_alloc&) {
    }
  };
  room(out_->order, c.items);
  room(out_->strokes, c.strokes);
  room(out_->fills, c.fills);
  room(out_->texts, c.texts);
  room(out_->points, c.points);
  room(out_->rings, c.rings);
  room(out_->glyphs, c.glyphs);
  room(out_->placements, c.placements);
}

void DisplayListBuilder::AddPolyline(const std::vector<Vec2>& pts, bool closed, Rgb color, double width,
                                     bool devicePixels) {
  // Labels draw many lines alike in a row: they share a style.
  LineLook& look = ownLook_;
  if (!ownLookSet_ || !(look.color == color) || look.width != width || look.devicePixels != devicePixels) {
    look = LineLook{};
    look.color = color;
    look.width = width;
    look.devicePixels = devicePixels;
    look.style = AddStyle(look);
    ownLookSet_ = true;
  }
  StrokePoints(pts, closed, look);
}

void DisplayListBuilder::AddPolygon(const std::vector<Vec2>& pts, Rgb color) {
  const uint32_t firstRing = uint32_t(out_->rings.size()), first = uint32_t(out_->points.size());
  for (const Vec2& p : pts) out_->points.emplace_back(p);
  EndRing(first);
  FillFrom(firstRing, color);
}

Vec2 DisplayListBuilder::AddText(const TextRecord& record, const JwwString& text, const JwwString& font, Rgb color) {
  const uint32_t base = uint32_t(out_->glyphs.size());
  const Vec2 end = AppendTextLayout(record, text, nullptr, out_->glyphs, textBuffers_);
  if (out_->glyphs.size() == base) return end;
  TextRun run;
  run.color = color;
  run.unicode = text.unicode;
  run.font = FontIndex(font);
  run.glyphs = {base, uint32_t(out_->glyphs.size()) - base};
  out_->order.push_back({ItemKind::kText, uint32_t(out_->texts.size())});
  out_->texts.push_back(run);
  return end;
}

}  // namespace kelvane

namespace kelvane {

namespace {

Affine Shift(double dx, double dy) { return Affine{1, 0, 0, 1, dx, dy}; }

// Below this many entries a thread's start and the appending cost more than drawing them.
constexpr size_t kEntitiesPerThread = 50000;
constexpr unsigned kMostThreads = 8;

}  // namespace

int DrawingThreads(size_t entities) {
  const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
  return int(std::clamp<size_t>(entities / kEntitiesPerThread, 1, cores));
}

namespace {

// The drawing's layer group and layer names, for a backend that shows layers.
void NameLayers(const JwwDocument& doc, DisplayList& list) {
  list.layerNames.assign(16 + 256, JwwString{});
  for (size_t g = 0; g < 16 && g < doc.layerGroups.size(); ++g) list.layerNames[g] = doc.layerGroups[g].name;
  for (size_t k = 0; k < 256 && k < doc.layers.size(); ++k) list.layerNames[16 + k] = doc.layers[k].name;
}

}  // namespace

DisplayList RenderDrawing(const JwwDocument& doc, PictureStyle style) {
  DisplayList list;
  if (!PaperSizeMm(doc.header.paperSize, list.width, list.height)) PaperSizeMm(3, list.width, list.height);
  // Paper coordinates have their origin at the paper's centre.
  DisplayListBuilder b(doc, style, list);
  const size_t count = size_t(std::max(0, doc.entityCount));
  const Affine m = Shift(list.width / 2, list.height / 2);
  b.AddEntities(doc, doc.order, count, m, DrawingThreads(count));
  NameLayers(doc, list);
  return list;
}

DisplayList RenderSheet(const JwwDocument& doc, const SheetView& view, const PaperFrame& frame, int32_t paperSize,
                        PictureStyle style) {
  DisplayList list;
  SheetPageSize(frame, paperSize, list.width, list.height);
  DisplayListBuilder b(doc, style, list);
  const Affine m = Shift(list.width / 2 - view.centerX, list.height / 2 - view.centerY);
  b.AddEntities(doc, view.order, view.order.size(), m, DrawingThreads(view.order.size()));
  if (!view.extraLines.empty()) {
    b.MarkLayer(list.order.size(), kNoLayer);  // the frame drawn for the sheet is on no layer of the drawing
    for (const LineRecord& l : view.extraLines) b.AddLine(l, m);
  }
  NameLayers(doc, list);
  return list;
}

DisplayList RenderWhole(const JwwDocument& doc, PictureStyle style, double margin, Affine* toPage) {
  DisplayList list;
  DisplayListBuilder b(doc, style, list);
  const size_t count = size_t(std::max(0, doc.entityCount));
  b.AddEntities(doc, doc.order, count, Affine{}, DrawingThreads(count));
  NameLayers(doc, list);
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  if (!DrawnBounds(list, x0, y0, x1, y1)) {
    x0 = y0 = 0;
    x1 = y1 = 1;
  }
  Translate(list, margin - x0, margin - y0);
  list.width = x1 - x0 + 2 * margin;
  list.height = y1 - y0 + 2 * margin;
  if (toPage) *toPage = Shift(margin - x0, margin - y0);
  return list;
}

}  // namespace kelvane
