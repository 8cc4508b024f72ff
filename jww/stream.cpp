// The entity section: the drawing's entities, then the block definitions, read and written alike.
#include <algorithm>
#include <cstddef>
#include <unordered_map>

#include "jww/document.h"
#include "jww/sections.h"
#include "platform/memory_advice.h"
#include "text/filters.h"

namespace kelvane {

namespace {

// Smallest number of bytes an entity or a definition can take on file, used to bound
// what a count read from the file may allocate.
constexpr uint64_t kMinEntityBytes = 2 + 33;      // class reference + an old point
constexpr uint64_t kMinBlockDefBytes = 2 + 25 + 1 + 2;
constexpr uint16_t kMaxClassNameLength = 2048;

// Class indices of one read or write; one counter runs over entities and definitions.
struct ClassTable {
  int32_t index[9] = {};  // by kind 1..8; 0 = no class record seen yet
  int32_t counter = 1;
  // The reference resolved last: runs of one kind are the rule, so most lookups stop here.
  int32_t lastIndex = 0;
  int lastKind = 0;
};

// Reads a class record or reference. Returns the kind it selects, or 0 with the reader
// failed: an unknown class leaves nothing after it that could be read meaningfully.
// `w` is the tag's first word, already read.
int ReadClassAfter(ByteReader& in, ClassTable& t, bool blockDefinition, uint16_t w) {
  if (!in.ok()) return 0;
  if (w == 0xFFFF) {
    in.u16();  // schema number, not used
    uint16_t length = in.u16();
    if (length > kMaxClassNameLength) {
      in.fail("class name too long");
      return 0;
    }
    char name[kMaxClassNameLength];
    if (!in.bytes(name, length)) return 0;
    std::string_view got(name, length);
    int kind = 0;
    if (blockDefinition) {
      kind = kBlockDefKind;  // a definition's class name is not compared
    } else {
      for (int k = kLine; k <= kBlockInsert; ++k)
        if (got == kClassNames[k]) kind = k;
    }
    if (kind == 0) {
      in.fail("unknown class " + std::string(got));
      return 0;
    }
    t.index[kind] = t.counter++;
    t.lastKind = 0;  // a kind named again takes a new index
    return kind;
  }
  int32_t index;
  if (w == 0x7FFF) {
    index = int32_t(uint32_t(in.i32()) & 0x7FFFFFFFu);
  } else if (w >= 0x8000) {
    index = w - 0x8000;
  } else {
    in.fail("no class record");
    return 0;
  }
  if (!in.ok()) return 0;
  if (blockDefinition) return kBlockDefKind;
  if (index == t.lastIndex && t.lastKind != 0) return t.lastKind;
  for (int k = kLine; k <= kBlockInsert; ++k)
    if (t.index[k] != 0 && t.index[k] == index) {
      t.lastIndex = index;
      t.lastKind = k;
      return k;
    }
  in.fail("reference to an unknown class");
  return 0;
}

int ReadClass(ByteReader& in, ClassTable& t, bool blockDefinition) {
  return ReadClassAfter(in, t, blockDefinition, in.u16());
}

// The kind of the next entity. Inline for the rule, a reference to the class resolved last.
inline int ReadEntityClass(ByteReader& in, ClassTable& t) {
  const uint16_t w = in.u16();
  if (w > 0x8000 && w != 0xFFFF && t.lastKind != 0 && w - 0x8000 == t.lastIndex && in.ok()) return t.lastKind;
  return ReadClassAfter(in, t, false, w);
}

// Reads a fixed part; before version 351 the file lacks penWidth (2 bytes at offset 7).
// Inline so that the copy of a record of known size is a single move.
inline void ReadFixed(ByteReader& in, void* record, size_t size, bool hasPenWidth) {
  auto* p = static_cast<uint8_t*>(record);
  if (hasPenWidth) {
    in.bytes(p, size);
    return;
  }
  in.bytes(p, size - 2);
  std::memmove(p + 9, p + 7, size - 9);
  p[7] = p[8] = 0;
}

void FillDimensionAux(DimensionRecord& d) {
  d.sxfMode = 0;
  for (LineRecord* l : {&d.auxLine1, &d.auxLine2}) {
    *l = LineRecord{};
    l->attr = d.attr;
  }
  for (PointRecord* p : {&d.auxPoint1, &d.auxPoint2, &d.auxPoint3, &d.auxPoint4}) {
    *p = PointRecord{};
    p->attr = d.attr;
    p->attr.penStyle = 0;
  }
}

// A large array is about to be filled from its first byte to its last.
template <typename V>
void ReserveLarge(V& v, int64_t n) {
  v.reserve(size_t(n));
  AdviseLargeFill(v.data(), v.capacity() * sizeof(typename V::value_type));
}

// Entities of each kind in one entity list; index 0 of a plan is the drawing, then the definitions.
struct KindCounts {
  int64_t n[8] = {};
  int64_t total() const {
    int64_t t = 0;
    for (int64_t x : n) t += x;
    return t;
  }
};

// Reads the entity lists and definitions. A first pass in counting mode keeps nothing and
// only counts, so that the second pass can size every array exactly: no growth copies and no
// spare capacity in a large drawing.
class StreamReader {
 public:
  StreamReader(ByteReader& in, JwwDocument& doc, bool counting, const std::vector<KindCounts>* plan = nullptr)
      : in_(in), doc_(doc), v_(doc.header.version), penWidth_(HasPenWidth(v_)), counting_(counting), plan_(plan) {}

  const std::vector<KindCounts>& counts() const { return counts_; }

  void ReadEntities(EntityLists& lists, bool topLevel) {
    const size_t list = list_++;
    int64_t announced = in_.count();
    if (counting_) counts_.emplace_back();
    if (!in_.ok() || announced <= 0) return;  // a 32-bit count with bit 31 set yields none
    if (counting_) {
      for (int64_t taken = 0; taken < announced && in_.ok(); ++taken) {
        int kind = ReadEntityClass(in_, classes_);
        if (!in_.ok()) break;
        SkipEntity(kind);
        if (in_.ok()) ++counts_.back().n[kind];
        ++classes_.counter;
      }
      return;
    }
    Reserve(lists, announced, list);
    for (int64_t taken = 0; taken < announced && in_.ok(); ++taken) {
      int kind = ReadEntityClass(in_, classes_);
      if (!in_.ok()) break;
      int32_t index = ReadEntity(lists, kind, topLevel);
      if (index >= 0) lists.order.push_back({kind, index});
      ++classes_.counter;
    }
  }

  void ReadBlockDefinitions() {
    int64_t announced = in_.count();
    if (!in_.ok()) return;
    if (announced <= 0) return;
    if (plan_) {
      doc_.blockDefs.reserve(plan_->size() - 1);
    } else if (!counting_) {
      doc_.blockDefs.reserve(size_t(std::min<uint64_t>(uint64_t(announced), in_.remaining() / kMinBlockDefBytes)));
    }
    for (int64_t i = 0; i < announced && in_.ok(); ++i) {
      ReadClass(in_, classes_, true);
      BlockDefinition def;
      ReadFixed(in_, &def.head, sizeof def.head, penWidth_);
      if (def.head.timeStamp & int32_t(0x80000000u)) {
        in_.skip(8);  // the long time stamp is not kept; the position stands in for it
        def.head.timeStamp = int32_t(i + 1);
      }
      if (counting_) {
        in_.skipCString();
        if (!in_.ok()) break;
        ++classes_.counter;
        EntityLists scratch;
        ReadEntities(scratch, false);
        continue;
      }
      def.name = ReadText(in_, doc_.diagnostics);
      if (!in_.ok()) break;
      doc_.blockDefs.push_back(std::move(def));
      ++classes_.counter;
      ReadEntities(doc_.blockDefs.back().entities, false);
    }
  }

 private:
  // Reads one entity's fields into its array; returns its index, or -1 when it was cut short.
  int32_t ReadEntity(EntityLists& l, int kind, bool topLevel) {
    switch (kind) {
      case kLine:
        return Keep(l.lines, [&](LineRecord& r) { ReadFixed(in_, &r, sizeof r, penWidth_); });
      case kArc:
        return Keep(l.arcs, [&](ArcRecord& r) { ReadFixed(in_, &r, sizeof r, penWidth_); });
      case kPoint:
        return Keep(l.points, [&](PointRecord& r) { ReadPoint(r, topLevel ? 1.0 : 0.0); });
      // The strings are read into their place in the array, never moved there; a record cut
      // short takes its strings away again.
      case kText: {
        TextStrings& strings = l.textStrings.emplace_back();
        int32_t index = Keep(l.texts, [&](TextRecord& r) { ReadTextFields(r, strings); });
        if (index < 0) l.textStrings.pop_back();
        return index;
      }
      case kDimension: {
        TextStrings& strings = l.dimensionStrings.emplace_back();
        int32_t index = Keep(l.dimensions, [&](DimensionRecord& r) { ReadDimension(r, strings); });
        if (index < 0) l.dimensionStrings.pop_back();
        return index;
      }
      case kSolid:
        return Keep(l.solids, [&](SolidRecord& r) {
          ReadFixed(in_, &r, offsetof(SolidRecord, color), penWidth_);
          r.color = r.attr.penColor == kOwnRgbColor ? in_.i32() : 0;
        });
      case kBlockInsert:
        return Keep(l.blockInserts, [&](BlockInsertRecord& r) { ReadFixed(in_, &r, sizeof r, penWidth_); });
      default:
        return -1;
    }
  }

  void Reserve(EntityLists& l, int64_t announced, size_t list) {
    if (counting_) return;
    if (!plan_ || list >= plan_->size()) {
      // No plan: never reserve more entries than the remaining bytes could hold.
      l.order.reserve(size_t(std::min<uint64_t>(uint64_t(announced), in_.remaining() / kMinEntityBytes)));
      return;
    }
    const KindCounts& c = (*plan_)[list];
    ReserveLarge(l.order, c.total());
    ReserveLarge(l.lines, c.n[kLine]);
    ReserveLarge(l.arcs, c.n[kArc]);
    ReserveLarge(l.points, c.n[kPoint]);
    ReserveLarge(l.texts, c.n[kText]);
    ReserveLarge(l.textStrings, c.n[kText]);
    ReserveLarge(l.dimensions, c.n[kDimension]);
    ReserveLarge(l.dimensionStrings, c.n[kDimension]);
    ReserveLarge(l.solids, c.n[kSolid]);
    ReserveLarge(l.blockInserts, c.n[kBlockInsert]);
  }

  // Reads a record and appends it when the read was whole. The record is built on the stack
  // and copied once: every byte of it is set by `read`, so the array is never zeroed first.
  template <typename R, typename F>
  int32_t Keep(std::vector<R>& array, F read) {
    R r;
    read(r);
    if (!in_.ok()) return -1;
    array.push_back(r);
    return int32_t(array.size() - 1);
  }

  // Passes over one entity in the counting pass, reading only the bytes that decide its length.
  void SkipEntity(int kind) {
    switch (kind) {
      case kLine:
        in_.skip(sizeof(LineRecord) - short_);
        break;
      case kArc:
        in_.skip(sizeof(ArcRecord) - short_);
        break;
      case kPoint:
        SkipPoint();
        break;
      case kText:
        SkipText();
        break;
      case kDimension:
        in_.skip(sizeof(EntityAttributes) + sizeof(LineRecord) - 2 * short_);
        SkipText();
        if (HasSxfPart(v_)) {
          in_.skip(2 + 2 * (sizeof(LineRecord) - short_));
          for (int i = 0; i < 4; ++i) SkipPoint();
        }
        break;
      case kSolid: {
        uint8_t head[offsetof(SolidRecord, color)];
        in_.bytes(head, sizeof head - short_);
        if ((head[5] | head[6] << 8) == kOwnRgbColor) in_.skip(sizeof(SolidRecord) - sizeof head);  // penColor: RGB
        break;
      }
      case kBlockInsert:
        in_.skip(sizeof(BlockInsertRecord) - short_);
        break;
    }
  }

  void SkipPoint() {
    uint8_t head[offsetof(PointRecord, code)];
    in_.bytes(head, sizeof head - short_);
    if (head[4] == kMarkerPoint) in_.skip(sizeof(PointRecord) - sizeof head);  // penStyle: extension
  }

  void SkipText() {
    in_.skip(sizeof(TextRecord) - short_);
    in_.skipCString() && in_.skipCString();
  }

  void ReadPoint(PointRecord& r, double plainScale) {
    ReadFixed(in_, &r, offsetof(PointRecord, code), penWidth_);
    if (r.attr.penStyle == kMarkerPoint) {
      in_.bytes(&r.code, sizeof r - offsetof(PointRecord, code));
    } else {
      r.code = 0;
      r.rotation = 0;
      r.scale = plainScale;
    }
  }

  void ReadTextFields(TextRecord& r, TextStrings& s) {
    ReadFixed(in_, &r, sizeof r, penWidth_);
    ReadTextInto(s.fontName);
    ReadTextInto(s.text);
  }

  // As ReadText, into a string already in place.
  void ReadTextInto(JwwString& s) {
    if (!in_.cstring(s)) return;
    ++(s.unicode ? doc_.diagnostics.unicodeStrings : doc_.diagnostics.ansiStrings);
    if (ChangedByReadFilter(s)) s = FilterTextForRead(s);
  }

  void ReadDimension(DimensionRecord& d, TextStrings& s) {
    ReadFixed(in_, &d.attr, sizeof d.attr, penWidth_);
    ReadFixed(in_, &d.line, sizeof d.line, penWidth_);
    ReadTextFields(d.text, s);
    if (!HasSxfPart(v_)) {
      FillDimensionAux(d);
      return;
    }
    d.sxfMode = in_.u16();
    ReadFixed(in_, &d.auxLine1, sizeof d.auxLine1, penWidth_);
    ReadFixed(in_, &d.auxLine2, sizeof d.auxLine2, penWidth_);
    for (PointRecord* p : {&d.auxPoint1, &d.auxPoint2, &d.auxPoint3, &d.auxPoint4}) ReadPoint(*p, 0.0);
  }

  ByteReader& in_;
  JwwDocument& doc_;
  int32_t v_;
  bool penWidth_;
  size_t short_ = penWidth_ ? 0 : 2;  // bytes a fixed part lacks on file before version 351
  bool counting_;
  const std::vector<KindCounts>* plan_;
  std::vector<KindCounts> counts_;
  size_t list_ = 0;  // which entity list is being read: 0 the drawing, then each definition
  ClassTable classes_;
};

// The prefix check: only the bytes written are corrected, never the stored record.
uint8_t CheckedPenStyle(int kind, uint8_t s, int32_t v) {
  if (!HasSxfPart(v) && (kind == kLine || kind == kArc) && IsSxfLineType(s)) {
    static const uint8_t kOldStyle[] = {1, 4, 3, 6, 8, 8, 2, 5, 7, 6, 6, 8, 8, 17, 17};  // 31..45
    s = s <= 45 ? kOldStyle[s - kFirstSxfLineType] : 0;
  }
  switch (kind) {
    case kLine:
    case kArc:
      return IsKnownLineType(s) ? s : 0;
    case kPoint:
      return s == 1 || s == kMarkerPoint ? s : 1;
    case kText:
      return s >= 1 && s <= kLastTextBasePoint ? s : 1;
    default:
      return s;
  }
}

uint16_t CheckedPenColor(int kind, uint16_t c, int32_t v) {
  if (kind == kBlockInsert || kind == kBlockDefKind) return c;
  if (!HasSxfPart(v) && IsSxfColor(c)) {
    static const uint8_t kOldColor[] = {2, 8, 3, 6, 4, 5, 1, 2, 5, 8, 4, 3, 6, 5, 2, 2};  // 101..116
    c = c <= kLastStandardSxfColor ? kOldColor[c - kFirstSxfColor] : 0;
  }
  const uint16_t top = kind == kSolid ? kOwnRgbColor : kLastPenColor;
  return (c >= 1 && c <= top) || IsSxfColor(c) ? c : 0;
}

class StreamWriter {
 public:
  StreamWriter(ByteWriter& out, const JwwDocument& doc, int32_t v)
      : out_(out), doc_(doc), v_(v), penWidth_(HasPenWidth(v)) {
    // First definition with each number decides, as for MapBlockNumber.
    for (const BlockDefinition& d : doc.blockDefs)
      blockNumbers_.try_emplace(d.number(), d.used ? d.newNumber : d.number());
  }

  void WriteEntities(const EntityLists& l) {
    int64_t n = 0;
    const int32_t valid = std::min<int32_t>(l.entityCount, int32_t(l.order.size()));
    for (int32_t i = 0; i < valid; ++i)
      if (l.order[i].kind >= kLine && l.order[i].kind <= kBlockInsert) ++n;
    out_.WriteCount(n);
    for (int32_t i = 0; i < valid && out_.ok(); ++i) {
      const EntityRef& e = l.order[i];
      if (e.kind < kLine || e.kind > kBlockInsert) continue;
      WriteClass(e.kind);
      WriteEntity(l, e);
      ++classes_.counter;
    }
  }

  // A sheet: its entities moved by the centre, then its own lines.
  void WriteSheet(const EntityLists& l, const SheetView& sheet) {
    int64_t n = int64_t(sheet.extraLines.size());
    for (const EntityRef& e : sheet.order)
      if (e.kind >= kLine && e.kind <= kBlockInsert) ++n;
    out_.WriteCount(n);
    const Offset move{sheet.centerX, sheet.centerY};
    // A sheet's records lie scattered over the whole drawing: ask for each some entities ahead,
    // so that its loads overlap the writing of those before it.
    constexpr size_t kAhead = 32;
    for (size_t k = 0; k < kAhead && k < sheet.order.size(); ++k) Prefetch(l, sheet.order[k]);
    for (size_t k = 0; k < sheet.order.size(); ++k) {
      if (k + kAhead < sheet.order.size()) Prefetch(l, sheet.order[k + kAhead]);
      const EntityRef& e = sheet.order[k];
      if (e.kind < kLine || e.kind > kBlockInsert || !out_.ok()) continue;
      WriteClass(e.kind);
      WriteEntity(l, e, &move);
      ++classes_.counter;
    }
    for (LineRecord r : sheet.extraLines) {
      if (!out_.ok()) break;
      WriteClass(kLine);
      MoveLine(r, move);
      WriteLine(r);
      ++classes_.counter;
    }
  }

  void WriteBlockDefinitions() {
    out_.WriteCount(doc_.usedBlockDefCount);
    for (const BlockDefinition& d : doc_.blockDefs) {
      if (!d.used) continue;
      WriteClass(kBlockDefKind);
      WritePrefix(d.head.attr, kBlockDefKind);
      out_.i32(MapNumber(d.head.number));
      out_.i32(d.head.referenced);
      out_.i32(d.head.timeStamp);
      WriteText(out_, d.name);
      // The counter is raised for the definition before its entities, as in reading.
      ++classes_.counter;
      WriteEntities(d.entities);
    }
  }

 private:
  // Starts the load of the entity's record (its first two cache lines) without waiting for it.
  static void Prefetch(const EntityLists& l, const EntityRef& e) {
    const auto i = size_t(e.index);
    const void* p = nullptr;
    switch (e.kind) {
      case kLine: p = i < l.lines.size() ? l.lines.data() + i : nullptr; break;
      case kArc: p = i < l.arcs.size() ? l.arcs.data() + i : nullptr; break;
      case kPoint: p = i < l.points.size() ? l.points.data() + i : nullptr; break;
      case kText: p = i < l.texts.size() ? l.texts.data() + i : nullptr; break;
      case kDimension: p = i < l.dimensions.size() ? l.dimensions.data() + i : nullptr; break;
      case kSolid: p = i < l.solids.size() ? l.solids.data() + i : nullptr; break;
      case kBlockInsert: p = i < l.blockInserts.size() ? l.blockInserts.data() + i : nullptr; break;
      default: break;
    }
    if (!p) return;
    __builtin_prefetch(p);
    __builtin_prefetch(static_cast<const char*>(p) + 63);
  }

  int32_t MapNumber(int32_t number) const {
    auto it = blockNumbers_.find(number);
    return it == blockNumbers_.end() ? 0 : it->second;
  }

  void WriteClass(int kind) {
    if (classes_.index[kind] == 0) {
      const char* name = kClassNames[kind];
      out_.u16(0xFFFF);
      out_.u16(uint16_t(v_));
      out_.u16(uint16_t(std::strlen(name)));
      out_.bytes(name, std::strlen(name));
      classes_.index[kind] = classes_.counter++;
    } else if (classes_.index[kind] < 0x7FFF) {
      out_.u16(uint16_t(0x8000 + classes_.index[kind]));  // the short form, inline: one per entity
    } else {
      out_.WriteClassRef(classes_.index[kind]);
    }
  }

  // The prefix as written, into b; returns its length. Values out of range are corrected in
  // the bytes only, never in the record. Built as a record and copied: the prefix has the
  // record's layout, less penWidth before version 351.
  size_t PutPrefix(uint8_t* b, const EntityAttributes& a, int kind) const {
    EntityAttributes c = a;
    c.penStyle = CheckedPenStyle(kind, a.penStyle, v_);
    c.penColor = CheckedPenColor(kind, a.penColor, v_);
    c.penWidth = a.penWidth > 30000 ? 0 : a.penWidth;
    c.layer = a.layer > 15 ? 0 : a.layer;
    c.layerGroup = a.layerGroup > 15 ? 0 : a.layerGroup;
    const auto* p = reinterpret_cast<const uint8_t*>(&c);
    if (penWidth_) {
      std::memcpy(b, p, sizeof c);
      return sizeof c;
    }
    constexpr size_t width = offsetof(EntityAttributes, penWidth), rest = offsetof(EntityAttributes, layer);
    std::memcpy(b, p, width);
    std::memcpy(b + width, p + rest, sizeof c - rest);
    return sizeof c - (rest - width);
  }

  void WritePrefix(const EntityAttributes& a, int kind) {
    uint8_t b[sizeof(EntityAttributes)];
    out_.bytes(b, PutPrefix(b, a, kind));
  }

  // A record's prefix and its fields after the prefix up to byte offset `To`, in one move.
  // The length is a constant: copies of a known small size are a few register moves, where
  // a copy of a length known only at run time costs more than the record's bytes.
  template <size_t To, typename R>
  void WriteRecord(const R& r, int kind) {
    static_assert(To <= sizeof(R) && To > sizeof(EntityAttributes));
    constexpr size_t fields = To - sizeof(EntityAttributes);
    const auto* after = reinterpret_cast<const uint8_t*>(&r) + sizeof(EntityAttributes);
    uint8_t b[To];
    if (penWidth_) {  // the prefix is as long as in the record
      PutPrefix(b, r.attr, kind);
      std::memcpy(b + sizeof(EntityAttributes), after, fields);
      out_.bytes(b, To);
    } else {
      const size_t n = PutPrefix(b, r.attr, kind);
      std::memcpy(b + n, after, fields);
      out_.bytes(b, n + fields);
    }
  }

  void WriteLine(const LineRecord& r) { WriteRecord<sizeof r>(r, kLine); }

  void WritePoint(const PointRecord& r) {
    if (r.attr.penStyle == kMarkerPoint)
      WriteRecord<sizeof r>(r, kPoint);
    else
      WriteRecord<offsetof(PointRecord, code)>(r, kPoint);
  }

  void WriteTextEntity(const TextRecord& r, const TextStrings& s) {
    WriteRecord<sizeof r>(r, kText);
    WriteText(out_, s.fontName);
    WriteText(out_, s.text);
  }

  // Every position written for a sheet is (stored value - centre), computed once.
  struct Offset {
    double x, y;
  };
  static void MoveLine(LineRecord& r, const Offset& o) {
    r.startX -= o.x, r.startY -= o.y;
    r.endX -= o.x, r.endY -= o.y;
  }
  static void MovePoint(PointRecord& r, const Offset& o) { r.x -= o.x, r.y -= o.y; }
  static void MoveText(TextRecord& r, const Offset& o) {
    r.startX -= o.x, r.startY -= o.y;
    r.endX -= o.x, r.endY -= o.y;
  }
  static void Move(LineRecord& r, const Offset& o) { MoveLine(r, o); }
  static void Move(ArcRecord& r, const Offset& o) { r.centerX -= o.x, r.centerY -= o.y; }
  static void Move(PointRecord& r, const Offset& o) { MovePoint(r, o); }
  static void Move(TextRecord& r, const Offset& o) { MoveText(r, o); }
  static void Move(DimensionRecord& r, const Offset& o) {
    MoveLine(r.line, o);
    MoveLine(r.auxLine1, o);
    MoveLine(r.auxLine2, o);
    MoveText(r.text, o);
    for (PointRecord* p : {&r.auxPoint1, &r.auxPoint2, &r.auxPoint3, &r.auxPoint4}) MovePoint(*p, o);
  }
  static void Move(SolidRecord& r, const Offset& o) {
    r.x1 -= o.x, r.y1 -= o.y;
    if (!IsArcSolid(r.attr.penStyle)) {  // an arc solid keeps only its centre in x1, y1
      r.x2 -= o.x, r.y2 -= o.y;
      r.x3 -= o.x, r.y3 -= o.y;
      r.x4 -= o.x, r.y4 -= o.y;
    }
  }
  static void Move(BlockInsertRecord& r, const Offset& o) { r.refX -= o.x, r.refY -= o.y; }

  // The record as stored, or a moved copy for a sheet. A drawing written whole is never
  // moved, not even by zero: its numbers are written bit for bit.
  template <typename R>
  static const R& Placed(const R& stored, const Offset* move, R& copy) {
    if (!move) return stored;
    copy = stored;
    Move(copy, *move);
    return copy;
  }

  void WriteArc(const ArcRecord& r) { WriteRecord<sizeof r>(r, kArc); }

  void WriteDimension(const DimensionRecord& d, const TextStrings& s) {
    WritePrefix(d.attr, kDimension);
    WriteLine(d.line);
    WriteTextEntity(d.text, s);
    if (HasSxfPart(v_)) {
      out_.u16(d.sxfMode);
      WriteLine(d.auxLine1);
      WriteLine(d.auxLine2);
      for (const PointRecord* p : {&d.auxPoint1, &d.auxPoint2, &d.auxPoint3, &d.auxPoint4}) WritePoint(*p);
    }
  }

  void WriteSolid(const SolidRecord& s) {
    if (s.attr.penColor == kOwnRgbColor)
      WriteRecord<sizeof s>(s, kSolid);
    else
      WriteRecord<offsetof(SolidRecord, color)>(s, kSolid);
  }

  void WriteBlockInsert(const BlockInsertRecord& b) {
    WriteRecord<offsetof(BlockInsertRecord, blockNumber)>(b, kBlockInsert);
    out_.i32(MapNumber(b.blockNumber));
  }

  void WriteEntity(const EntityLists& l, const EntityRef& e, const Offset* move = nullptr) {
    const size_t i = size_t(e.index);
    switch (e.kind) {
      case kLine: {
        LineRecord copy;
        WriteLine(Placed(l.lines[i], move, copy));
        break;
      }
      case kArc: {
        ArcRecord copy;
        WriteArc(Placed(l.arcs[i], move, copy));
        break;
      }
      case kPoint: {
        PointRecord copy;
        WritePoint(Placed(l.points[i], move, copy));
        break;
      }
      case kText: {
        TextRecord copy;
        WriteTextEntity(Placed(l.texts[i], move, copy), l.textStrings[i]);
        break;
      }
      case kDimension: {
        DimensionRecord copy;
        WriteDimension(Placed(l.dimensions[i], move, copy), l.dimensionStrings[i]);
        break;
      }
      case kSolid: {
        SolidRecord copy;
        WriteSolid(Placed(l.solids[i], move, copy));
        break;
      }
      case kBlockInsert: {
        BlockInsertRecord copy;
        WriteBlockInsert(Placed(l.blockInserts[i], move, copy));
        break;
      }
    }
  }

  ByteWriter& out_;
  const JwwDocument& doc_;
  int32_t v_;
  bool penWidth_;
  ClassTable classes_;
  std::unordered_map<int32_t, int32_t> blockNumbers_;
};

}  // namespace

void ReadEntitySection(ByteReader& in, JwwDocument& doc) {
  const uint64_t start = in.pos();
  StreamReader counter(in, doc, true);
  EntityLists scratch;
  counter.ReadEntities(scratch, true);
  if (in.ok()) counter.ReadBlockDefinitions();
  in.rewind(start);

  StreamReader reader(in, doc, false, &counter.counts());
  reader.ReadEntities(doc, true);
  doc.entityCount = int32_t(doc.order.size());
  if (in.ok()) reader.ReadBlockDefinitions();
  for (BlockDefinition& d : doc.blockDefs) d.entities.entityCount = int32_t(d.entities.order.size());
  if (in.ok() && HasImages(doc.header.version)) ReadImageSection(in, doc);
}

void WriteEntitySection(ByteWriter& out, const JwwDocument& doc, int32_t version, const SheetView* sheet) {
  StreamWriter writer(out, doc, version);
  if (sheet)
    writer.WriteSheet(doc, *sheet);
  else
    writer.WriteEntities(doc);
  writer.WriteBlockDefinitions();
  if (HasImages(version)) WriteImageSection(out, doc, sheet);
}

}  // namespace kelvane
