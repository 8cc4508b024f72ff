// Paper frame detection: finds the frame rectangles among a drawing's lines and puts them in numbering order.
#include "split/frames.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <numeric>
#include <utility>

#include "text/filters.h"
#include "text/numbers.h"

namespace kelvane {

namespace {

// A horizontal or vertical frame-line candidate; its end points keep the order the line stores
// them in, because the walk round a rectangle starts at the first horizontal's second point.
struct EdgeCandidate {
  int32_t used = 0;  // 0 while free, else the 1-based number of the frame that took it
  double x1, y1, x2, y2;
};

struct Candidates {
  std::vector<EdgeCandidate> horizontal;
  std::vector<EdgeCandidate> vertical;
};

bool Meet(double ax, double ay, double bx, double by) {
  return std::fabs(ax - bx) <= kFrameMeetTolerance && std::fabs(ay - by) <= kFrameMeetTolerance;
}

// When (qx, qy) meets one end of the edge, gives its other end; the first end is tried first.
bool NextCorner(double qx, double qy, const EdgeCandidate& edge, double& nx, double& ny) {
  if (Meet(qx, qy, edge.x1, edge.y1)) {
    nx = edge.x2;
    ny = edge.y2;
    return true;
  }
  if (Meet(qx, qy, edge.x2, edge.y2)) {
    nx = edge.x1;
    ny = edge.y1;
    return true;
  }
  return false;
}

Candidates CollectCandidates(const std::vector<LineRecord>& lines, int32_t lineCount) {
  Candidates c;
  const size_t count = std::min(lines.size(), size_t(std::max<int32_t>(lineCount, 0)));
  for (size_t i = 0; i < count; ++i) {
    const LineRecord& line = lines[i];
    if (!IsFrameLine(line)) continue;
    EdgeCandidate e;
    e.x1 = line.startX;
    e.y1 = line.startY;
    e.x2 = line.endX;
    e.y2 = line.endY;
    const double w = std::fabs(e.x1 - e.x2);
    const double h = std::fabs(e.y1 - e.y2);
    if (w >= kFrameMinEdge && h <= kFrameMeetTolerance) {
      c.horizontal.push_back(e);
    } else if (w <= kFrameMeetTolerance && h >= kFrameMinEdge) {
      c.vertical.push_back(e);
    }
  }
  return c;
}

// Frame rectangles travel as plain rectangles through search and ordering; the full records,
// with their sheet fields, are made once at the end.
struct FrameRect {
  double minX, minY, maxX, maxY;
};

// The rectangle of a closed loop: its x extent from the first horizontal, its y extent from the
// first vertical.
FrameRect MakeRect(const EdgeCandidate& a, const EdgeCandidate& b) {
  FrameRect r{a.x1, b.y1, a.x2, b.y2};
  if (a.x1 >= a.x2) SwapReals(r.minX, r.maxX);
  if (b.y1 >= b.y2) SwapReals(r.minY, r.maxY);
  return r;
}

void TakeEdges(std::vector<FrameRect>& rects, EdgeCandidate& a, EdgeCandidate& b, EdgeCandidate& c, EdgeCandidate& d) {
  rects.push_back(MakeRect(a, b));
  const auto number = static_cast<int32_t>(rects.size());
  a.used = b.used = c.used = d.used = number;
}

// ---- End-point index ----------------------------------------------------------------------

// Cell coordinate of a value, clamped so far-off points share the border cells. Monotonic in v
// (rounding of the shift included), which is all the probe below relies on.
int64_t CellOf(double v) {
  constexpr double kLow = double(std::numeric_limits<int32_t>::min());
  constexpr double kHigh = double(std::numeric_limits<int32_t>::max());
  const double c = std::floor(v + kEndPointCellShift);
  return int64_t(std::clamp(c, kLow, kHigh));
}

uint64_t CellKey(int64_t cx, int64_t cy) {
  return (uint64_t(uint32_t(int32_t(cx))) << 32) | uint64_t(uint32_t(int32_t(cy)));
}

uint64_t MixKey(uint64_t k) {
  k ^= k >> 31;
  k *= 0x9E3779B97F4A7C15ull;
  k ^= k >> 29;
  return k;
}

// Cells of candidate end points, each cell listing its candidates by increasing list index.
// Probing a point visits every cell that may hold an end point meeting it and yields the free
// matches in list order, so the search tries candidates exactly in the nested search's order.
class EndPointIndex {
 public:
  // Two passes over the list, counting and then filling, leave every cell's candidates in list
  // order without a sort.
  explicit EndPointIndex(const std::vector<EdgeCandidate>& edges) : edges_(edges) {
    size_t slots = 16;
    while (slots < edges.size() * 4) slots *= 2;
    slotMask_ = slots - 1;
    slots_.assign(slots, -1);
    cells_.reserve(edges.size() * 2);
    // The cell of each end, or -1 when it needs none: a point with an infinite coordinate meets
    // nothing, and an edge with both ends in one cell is filed there once.
    std::vector<int32_t> cellOfEnd(edges.size() * 2, -1);
    for (size_t i = 0; i < edges.size(); ++i) {
      const EdgeCandidate& e = edges[i];
      int32_t first = -1;
      if (std::isfinite(e.x1) && std::isfinite(e.y1)) first = cellOfEnd[2 * i] = FindOrAdd(KeyOf(e.x1, e.y1));
      if (std::isfinite(e.x2) && std::isfinite(e.y2)) {
        const int32_t second = FindOrAdd(KeyOf(e.x2, e.y2));
        if (second != first) cellOfEnd[2 * i + 1] = second;
      }
    }
    for (int32_t c : cellOfEnd) {
      if (c >= 0) ++cells_[size_t(c)].end;  // a count for now
    }
    uint32_t total = 0;
    for (Cell& cell : cells_) {
      cell.begin = total;
      total += cell.end;
      cell.end = cell.begin;
    }
    entries_.resize(total);
    for (size_t k = 0; k < cellOfEnd.size(); ++k) {
      if (cellOfEnd[k] >= 0) entries_[cells_[size_t(cellOfEnd[k])].end++] = uint32_t(k / 2);
    }
  }

  // Walks the free candidates that may meet a point, by increasing list index, each once.
  class Cursor {
   public:
    // The next free candidate other than `skip`, or -1 when there is none.
    int32_t Next(int32_t skip) {
      while (true) {
        if (identity_) {
          if (pos_[0] >= end_[0]) return -1;
          const uint32_t i = pos_[0]++;
          if (int32_t(i) != skip && index_->edges_[i].used == 0) return int32_t(i);
          continue;
        }
        uint32_t best = std::numeric_limits<uint32_t>::max();
        for (int k = 0; k < count_; ++k) {
          if (pos_[k] < end_[k]) best = std::min(best, index_->entries_[pos_[k]]);
        }
        if (best == std::numeric_limits<uint32_t>::max()) return -1;
        // The same candidate shows in two cells when its two ends fall in two probed cells.
        for (int k = 0; k < count_; ++k) {
          if (pos_[k] < end_[k] && index_->entries_[pos_[k]] == best) ++pos_[k];
        }
        const auto i = int32_t(best);
        if (i != skip && index_->edges_[best].used == 0) return i;
      }
    }

   private:
    friend class EndPointIndex;
    static constexpr int kMaxCells = 4;
    const EndPointIndex* index_ = nullptr;
    bool identity_ = false;  // walks list indices directly instead of cells
    int count_ = 0;
    uint32_t pos_[kMaxCells];
    uint32_t end_[kMaxCells];
  };

  // Note: a meeting point lies within 2e-8 of (qx, qy) even after rounding of the distance, and
  // the outward step of one representable value keeps the bounds outside that band, so the
  // cells of the two bounds enclose every cell a meeting point can be in.
  Cursor Probe(double qx, double qy) {
    Cursor cur;
    cur.index_ = this;
    if (!std::isfinite(qx) || !std::isfinite(qy)) return cur;
    constexpr double kReach = 2 * kFrameMeetTolerance;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const int64_t x0 = CellOf(std::nextafter(qx - kReach, -kInf));
    const int64_t x1 = CellOf(std::nextafter(qx + kReach, kInf));
    const int64_t y0 = CellOf(std::nextafter(qy - kReach, -kInf));
    const int64_t y1 = CellOf(std::nextafter(qy + kReach, kInf));
    // The band is far narrower than a cell and the clamp merges the far cells, so at most
    // two cells per axis are reached; should that ever fail, walk the whole list instead.
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > Cursor::kMaxCells) {
      cur.count_ = 1;
      cur.pos_[0] = 0;
      cur.end_[0] = uint32_t(edges_.size());
      cur.identity_ = true;
      return cur;
    }
    for (int64_t cx = x0; cx <= x1; ++cx) {
      for (int64_t cy = y0; cy <= y1; ++cy) {
        const int32_t c = Find(CellKey(cx, cy));
        if (c < 0) continue;
        Cell& cell = cells_[size_t(c)];
        // Used candidates stay used: drop them from the cell's front for good.
        while (cell.begin < cell.end && edges_[entries_[cell.begin]].used != 0) ++cell.begin;
        if (cell.begin == cell.end) continue;
        cur.pos_[cur.count_] = cell.begin;
        cur.end_[cur.count_] = cell.end;
        ++cur.count_;
      }
    }
    return cur;
  }

 private:
  struct Cell {
    uint64_t key;
    uint32_t begin;
    uint32_t end;
  };

  static uint64_t KeyOf(double x, double y) { return CellKey(CellOf(x), CellOf(y)); }

  int32_t FindOrAdd(uint64_t key) {
    size_t s = MixKey(key) & slotMask_;
    while (slots_[s] >= 0) {
      if (cells_[size_t(slots_[s])].key == key) return slots_[s];
      s = (s + 1) & slotMask_;
    }
    slots_[s] = int32_t(cells_.size());
    cells_.push_back(Cell{key, 0, 0});
    return slots_[s];
  }

  int32_t Find(uint64_t key) const {
    size_t s = MixKey(key) & slotMask_;
    while (slots_[s] >= 0) {
      if (cells_[size_t(slots_[s])].key == key) return slots_[s];
      s = (s + 1) & slotMask_;
    }
    return -1;
  }

  const std::vector<EdgeCandidate>& edges_;
  std::vector<uint32_t> entries_;
  std::vector<Cell> cells_;
  std::vector<int32_t> slots_;
  size_t slotMask_ = 0;
};

// ---- The walk round a rectangle --------------------------------------------------------------

// The search tries, for each free horizontal a in list order, the free verticals b meeting its
// second end, then the horizontals c meeting b's far end, then the verticals d meeting c's far
// end, and takes the first d whose far end meets a's first end. Lines that meet without closing
// would make that walk try every combination again for every a; so the parts of the walk are
// remembered. What a part finds depends only on the point it starts from, the point it must
// return to and which candidates are free, so its result holds, for equal points, until a frame
// takes edges. The parts are remembered without the exclusions (c != a, d != b), which geometry
// makes empty anyway (a's ends lie a unit or more from b's far end, b's from c's far end); should
// an excluded candidate ever come out, that one branch is walked again in full.
class RectangleWalk {
 public:
  explicit RectangleWalk(Candidates& c) : hs_(c.horizontal), vs_(c.vertical), hIndex_(hs_), vIndex_(vs_) {}

  std::vector<FrameRect> Run() {
    std::vector<FrameRect> frames;
    for (size_t ia = 0; ia < hs_.size(); ++ia) {
      EdgeCandidate& a = hs_[ia];
      if (a.used != 0) continue;
      Part found;
      int32_t ib = -1;
      if (!Search(int32_t(ia), found, ib)) continue;
      TakeEdges(frames, a, vs_[size_t(ib)], hs_[size_t(found.first)], vs_[size_t(found.second)]);
      ++epoch_;  // edges are taken: every remembered part may now differ
    }
    return frames;
  }

 private:
  struct Part {
    int32_t first = -1;   // the first candidate of the part, -1 when it cannot close
    int32_t second = -1;  // for the part from b's far end: the d that closes behind c
    bool dead = false;    // it cannot close whatever point it must return to
  };
  struct Key {
    uint64_t level, x, y, tx, ty;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      uint64_t h = k.level;
      for (uint64_t v : {k.x, k.y, k.tx, k.ty}) h = MixKey(h ^ (v + 0x9E3779B97F4A7C15ull + (h << 6)));
      return size_t(h);
    }
  };
  // What was found since edges were last taken, in one open-addressed table. A slot counts only
  // when its stamp is the current epoch's: taking edges empties the table at once, so it holds
  // no more than one epoch's parts and stays small enough to be found in cache.
  class Memo {
   public:
    const Part* Find(const Key& k, uint64_t stamp) const {
      if (slots_.empty()) return nullptr;
      for (size_t s = KeyHash()(k) & mask_;; s = (s + 1) & mask_) {
        const Slot& slot = slots_[s];
        if (slot.stamp != stamp) return nullptr;
        if (slot.key == k) return &slot.part;
      }
    }
    void Put(const Key& k, const Part& part, uint64_t stamp) {
      if (stamp != stamp_) stamp_ = stamp, live_ = 0;
      if ((live_ + 1) * 2 > slots_.size()) Grow();
      for (size_t s = KeyHash()(k) & mask_;; s = (s + 1) & mask_) {
        Slot& slot = slots_[s];
        if (slot.stamp != stamp) {
          slot = Slot{k, stamp, part};
          ++live_;
          return;
        }
        if (slot.key == k) {
          slot.part = part;
          return;
        }
      }
    }

   private:
    struct Slot {
      Key key;
      uint64_t stamp;
      Part part;
    };
    void Grow() {
      std::vector<Slot> old;
      old.swap(slots_);
      slots_.assign(std::max<size_t>(64, old.size() * 2), Slot{Key{}, 0, Part{}});
      mask_ = slots_.size() - 1;
      live_ = 0;
      for (const Slot& slot : old)
        if (slot.stamp == stamp_) Put(slot.key, slot.part, stamp_);
    }
    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t live_ = 0;
    uint64_t stamp_ = 0;
  };

  static uint64_t Bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
  }
  Key KeyOf(uint64_t level, double x, double y, double tx, double ty) const {
    return Key{level, Bits(x), Bits(y), Bits(tx), Bits(ty)};
  }
  // Stamps start at 1, so that the zero of a fresh slot is never current.
  bool Recall(const Key& k, Part& part) const {
    const Part* found = memo_.Find(k, epoch_ + 1);
    if (!found) return false;
    part = *found;
    return true;
  }
  void Remember(const Key& k, const Part& part) { memo_.Put(k, part, epoch_ + 1); }

  // The first free vertical meeting (x, y) whose far end meets (tx, ty).
  // A point no free vertical meets is a dead end for any return point, and is remembered so.
  Part CloseFrom(double x, double y, double tx, double ty) {
    const Key deadKey = KeyOf(12, x, y, 0, 0);
    const Key key = KeyOf(2, x, y, tx, ty);
    Part part;
    if (Recall(deadKey, part) || Recall(key, part)) return part;
    bool any = false;
    auto ds = vIndex_.Probe(x, y);
    for (int32_t id; (id = ds.Next(-1)) >= 0;) {
      double c4x, c4y;
      if (!NextCorner(x, y, vs_[size_t(id)], c4x, c4y)) continue;
      any = true;
      if (Meet(c4x, c4y, tx, ty)) {
        part.first = id;
        break;
      }
    }
    part.dead = !any;
    Remember(part.dead ? deadKey : key, part);
    return part;
  }

  // The first free horizontal meeting (x, y) from whose far end a vertical closes at (tx, ty).
  // Dead when every horizontal meeting (x, y) leads to a dead end.
  Part TurnFrom(double x, double y, double tx, double ty) {
    const Key deadKey = KeyOf(11, x, y, 0, 0);
    const Key key = KeyOf(1, x, y, tx, ty);
    Part part;
    if (Recall(deadKey, part) || Recall(key, part)) return part;
    bool dead = true;
    auto cs = hIndex_.Probe(x, y);
    for (int32_t ic; (ic = cs.Next(-1)) >= 0;) {
      double c3x, c3y;
      if (!NextCorner(x, y, hs_[size_t(ic)], c3x, c3y)) continue;
      const Part d = CloseFrom(c3x, c3y, tx, ty);
      dead = dead && d.dead;
      if (d.first >= 0) {
        part.first = ic;
        part.second = d.first;
        break;
      }
    }
    part.dead = dead && part.first < 0;
    Remember(part.dead ? deadKey : key, part);
    return part;
  }

  // The plain walk for one b, with the exclusions: only for the branch the shortcut cannot answer.
  bool WalkFrom(int32_t ia, int32_t ib, double c2x, double c2y, Part& found) {
    const EdgeCandidate& a = hs_[size_t(ia)];
    auto cs = hIndex_.Probe(c2x, c2y);
    for (int32_t ic; (ic = cs.Next(ia)) >= 0;) {
      double c3x, c3y;
      if (!NextCorner(c2x, c2y, hs_[size_t(ic)], c3x, c3y)) continue;
      auto ds = vIndex_.Probe(c3x, c3y);
      for (int32_t id; (id = ds.Next(ib)) >= 0;) {
        double c4x, c4y;
        if (NextCorner(c3x, c3y, vs_[size_t(id)], c4x, c4y) && Meet(c4x, c4y, a.x1, a.y1)) {
          found = Part{ic, id};
          return true;
        }
      }
    }
    return false;
  }

  // True only when no free vertical has an end meeting (x, y): then no loop can close there.
  bool NoneMeets(double x, double y) {
    auto ds = vIndex_.Probe(x, y);
    for (int tries = 0; tries < 8; ++tries) {
      const int32_t id = ds.Next(-1);
      if (id < 0) return true;
      const EdgeCandidate& d = vs_[size_t(id)];
      if (Meet(x, y, d.x1, d.y1) || Meet(x, y, d.x2, d.y2)) return false;
    }
    return false;
  }

  bool Search(int32_t ia, Part& found, int32_t& ibFound) {
    const EdgeCandidate& a = hs_[size_t(ia)];
    // The loop must come back to a's first end along a vertical.
    if (NoneMeets(a.x1, a.y1)) return false;
    const Key key = KeyOf(0, a.x2, a.y2, a.x1, a.y1);
    Part whole;
    if (Recall(key, whole)) return false;  // only failures are remembered here
    bool exact = true;  // the failure holds without the exclusions too
    auto bs = vIndex_.Probe(a.x2, a.y2);
    for (int32_t ib; (ib = bs.Next(-1)) >= 0;) {
      double c2x, c2y;
      if (!NextCorner(a.x2, a.y2, vs_[size_t(ib)], c2x, c2y)) continue;
      const Part cd = TurnFrom(c2x, c2y, a.x1, a.y1);
      if (cd.first < 0) continue;
      if (cd.first != ia && cd.second != ib) {
        found = cd;
        ibFound = ib;
        return true;
      }
      exact = false;
      if (WalkFrom(ia, ib, c2x, c2y, found)) {
        ibFound = ib;
        return true;
      }
    }
    if (exact) Remember(key, Part{});
    return false;
  }

  std::vector<EdgeCandidate>& hs_;
  std::vector<EdgeCandidate>& vs_;
  EndPointIndex hIndex_;
  EndPointIndex vIndex_;
  Memo memo_;
  uint64_t epoch_ = 0;
};

// ---- Ordering -------------------------------------------------------------------------------

struct Snapped {
  double x;
  double y;
};

// Frame centres snapped to a grid of half the smallest frame width and height; Int truncates
// towards zero, so the cell at 0 reaches from one grid step below to one above.
std::vector<Snapped> SnapCentres(const std::vector<FrameRect>& frames) {
  double minWidth = frames[0].maxX - frames[0].minX;
  double minHeight = frames[0].maxY - frames[0].minY;
  for (const FrameRect& f : frames) {
    minWidth = std::min(minWidth, f.maxX - f.minX);
    minHeight = std::min(minHeight, f.maxY - f.minY);
  }
  const double unitX = minWidth / 2;
  const double unitY = minHeight / 2;
  std::vector<Snapped> s(frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    const FrameRect& f = frames[i];
    s[i].x = std::trunc(((f.minX + f.maxX) / 2) / unitX) * unitX;
    s[i].y = std::trunc(((f.minY + f.maxY) / 2) / unitY) * unitY;
  }
  return s;
}

// Whether the frame with snapped centre c comes strictly before the current best b.
template <bool kColumns>
bool Precedes(const Snapped& b, const Snapped& c) {
  if constexpr (kColumns) {
    if (std::fabs(b.x - c.x) > kFrameRowTolerance) return c.x < b.x;
    return c.y > b.y;
  } else {
    if (std::fabs(b.y - c.y) > kFrameRowTolerance) return c.y > b.y;
    return c.x < b.x;
  }
}

// The selection sort with exchange, exactly as the numbering is defined. A snapped centre is a
// function of its rectangle, so it moves with the rectangle instead of being recomputed.
template <bool kColumns>
void SelectionOrder(std::vector<FrameRect>& frames, std::vector<Snapped>& snapped) {
  const size_t n = frames.size();
  for (size_t p = 0; p + 1 < n; ++p) {
    Snapped best = snapped[p];
    size_t bestIndex = p;
    for (size_t q = p + 1; q < n; ++q) {
      if (Precedes<kColumns>(best, snapped[q])) {
        best = snapped[q];
        bestIndex = q;
      }
    }
    if (bestIndex != p) {
      std::swap(frames[p], frames[bestIndex]);
      std::swap(snapped[p], snapped[bestIndex]);
    }
  }
}

// The positions of the frames of each rank, each rank's positions kept as a min-heap in its own
// stretch of one array.
struct RankHeaps {
  std::vector<uint32_t> positions, begin, size;

  uint32_t Front(uint32_t rank) const { return positions[begin[rank]]; }
  void PopFront(uint32_t rank) {
    uint32_t* h = positions.data() + begin[rank];
    h[0] = h[--size[rank]];
    if (size[rank] > 0) SiftDown(rank);
  }
  void ReplaceFront(uint32_t rank, uint32_t position) {
    positions[begin[rank]] = position;
    SiftDown(rank);
  }
  void SiftDown(uint32_t rank) {
    uint32_t* h = positions.data() + begin[rank];
    const uint32_t n = size[rank];
    uint32_t i = 0;
    const uint32_t v = h[0];
    while (true) {
      uint32_t child = 2 * i + 1;
      if (child >= n) break;
      if (child + 1 < n && h[child + 1] < h[child]) ++child;
      if (h[child] >= v) break;
      h[i] = h[child];
      i = child;
    }
    h[i] = v;
  }
};

// The same result in n log n. Distinct snapped values are whole multiples of a grid step of at
// least 0.5, so they differ by far more than the row tolerance: "within 1e-8" is plain equality
// and "precedes" is a strict weak order. Then every pass of the selection sort picks, among the
// frames of the lowest remaining rank, the one at the lowest position, and swaps it with the
// frame at p. Each rank keeps a min-heap of the positions its frames occupy; a pass pops the
// lowest rank's front and moves the frame at p (the front of its own rank's heap) to the freed
// position. Needs the snapped values free of NaN, which only absurd coordinates produce.
template <bool kColumns>
void RankedOrder(std::vector<FrameRect>& frames, const std::vector<Snapped>& snapped) {
  const size_t n = frames.size();
  std::vector<uint32_t> byKey(n);
  std::iota(byKey.begin(), byKey.end(), 0u);
  auto before = [&](uint32_t a, uint32_t b) {
    const Snapped& sa = snapped[a];
    const Snapped& sb = snapped[b];
    if constexpr (kColumns) {
      return sa.x < sb.x || (sa.x == sb.x && sa.y > sb.y);
    } else {
      return sa.y > sb.y || (sa.y == sb.y && sa.x < sb.x);
    }
  };
  // Stable, so each rank lists its positions in increasing order: already a valid min-heap.
  std::stable_sort(byKey.begin(), byKey.end(), before);

  std::vector<uint32_t> rankOf(n);
  RankHeaps heaps;
  for (size_t i = 0; i < n; ++i) {
    if (i == 0 || before(byKey[i - 1], byKey[i])) {
      heaps.begin.push_back(uint32_t(i));
      heaps.size.push_back(0);
    }
    rankOf[byKey[i]] = uint32_t(heaps.begin.size() - 1);
    ++heaps.size.back();
  }
  heaps.positions.swap(byKey);  // frame i starts at position i

  std::vector<uint32_t> at(n);  // frame (by original index) at each position
  std::iota(at.begin(), at.end(), 0u);
  uint32_t lowest = 0;
  for (size_t p = 0; p + 1 < n; ++p) {
    while (heaps.size[lowest] == 0) ++lowest;
    const uint32_t m = heaps.Front(lowest);
    heaps.PopFront(lowest);
    if (m == p) continue;  // the frame at p already comes first: no exchange
    const uint32_t rankP = rankOf[at[p]];
    heaps.ReplaceFront(rankP, m);  // its front was p
    std::swap(at[p], at[m]);
  }

  std::vector<FrameRect> ordered(n);
  for (size_t p = 0; p < n; ++p) ordered[p] = frames[at[p]];
  frames.swap(ordered);
}

bool AnyNaN(const std::vector<Snapped>& snapped) {
  return std::any_of(snapped.begin(), snapped.end(),
                     [](const Snapped& s) { return std::isnan(s.x) || std::isnan(s.y); });
}

void OrderRects(std::vector<FrameRect>& rects, int numberingDirection) {
  if (rects.size() < 2) return;
  std::vector<Snapped> snapped = SnapCentres(rects);
  const bool columns = numberingDirection >= kNumberColumns;
  // NaN compares as neither before nor after anything; only the literal scan gives its order.
  if (AnyNaN(snapped)) {
    if (columns) {
      SelectionOrder<true>(rects, snapped);
    } else {
      SelectionOrder<false>(rects, snapped);
    }
  } else if (columns) {
    RankedOrder<true>(rects, snapped);
  } else {
    RankedOrder<false>(rects, snapped);
  }
}

// Only the rectangles move; each record keeps its own sheet fields.
void OrderFrames(std::vector<PaperFrame>& frames, int numberingDirection) {
  std::vector<FrameRect> rects;
  rects.reserve(frames.size());
  for (const PaperFrame& f : frames) rects.push_back(FrameRect{f.minX, f.minY, f.maxX, f.maxY});
  OrderRects(rects, numberingDirection);
  for (size_t i = 0; i < frames.size(); ++i) {
    frames[i].minX = rects[i].minX;
    frames[i].minY = rects[i].minY;
    frames[i].maxX = rects[i].maxX;
    frames[i].maxY = rects[i].maxY;
  }
}

std::vector<PaperFrame> OrderedFrames(std::vector<FrameRect>& rects, int numberingDirection, int32_t* rejected) {
  // A loop whose size or centre overflows is no frame: nothing could be placed on it, and it
  // would spoil the numbering grid of the real ones.
  const size_t found = rects.size();
  std::erase_if(rects, [](const FrameRect& r) {
    PaperFrame f;
    f.minX = r.minX, f.minY = r.minY, f.maxX = r.maxX, f.maxY = r.maxY;
    return !HasFiniteExtent(f);
  });
  if (rejected) *rejected = int32_t(found - rects.size());
  OrderRects(rects, numberingDirection);
  std::vector<PaperFrame> frames(rects.size());
  for (size_t i = 0; i < rects.size(); ++i) {
    frames[i].minX = rects[i].minX;
    frames[i].minY = rects[i].minY;
    frames[i].maxX = rects[i].maxX;
    frames[i].maxY = rects[i].maxY;
  }
  return frames;
}

}  // namespace

bool IsFrameLine(const LineRecord& line) {
  // Only colour, line type and width mark a frame line; group, layer and flags may be anything.
  return line.attr.penColor == kFramePenColor && line.attr.penStyle == kFramePenStyle &&
         line.attr.penWidth == kFramePenWidth;
}

bool HasFiniteExtent(const PaperFrame& f) {
  return std::isfinite(f.maxX - f.minX) && std::isfinite(f.maxY - f.minY) && std::isfinite((f.minX + f.maxX) / 2) &&
         std::isfinite((f.minY + f.maxY) / 2);
}

void OrderPaperFrames(std::vector<PaperFrame>& frames, int numberingDirection) {
  OrderFrames(frames, numberingDirection);
}

std::vector<PaperFrame> DetectPaperFrames(const std::vector<LineRecord>& lines, int32_t lineCount,
                                          int numberingDirection, int32_t* rejectedFrames) {
  Candidates c = CollectCandidates(lines, lineCount);
  std::vector<FrameRect> frames = RectangleWalk(c).Run();
  return OrderedFrames(frames, numberingDirection, rejectedFrames);
}

}  // namespace kelvane
