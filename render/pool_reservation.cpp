// Room made in a list's pools before drawing, from bounds on what each entity adds, so that the
// pools are not copied as they grow.
#include <algorithm>
#include <cmath>
#include <new>

#include "render/builder_limits.h"
#include "render/render.h"

namespace kelvane {

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

}  // namespace kelvane
