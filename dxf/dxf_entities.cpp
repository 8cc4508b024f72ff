// Each record of a drawing as the DXF entity that keeps it: lines, points, circles, arcs,
// ellipses, texts, solids, hatches of arc solids, inserts and images.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "drawing/draw_order.h"
#include "drawing/entity_visit.h"
#include "drawing/text_layout.h"
#include "dxf/dxf_context.h"
#include "split/sheetnames.h"

namespace kelvane {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegrees = 180 / kPi;
constexpr uint16_t kVerticalText = 0x0020;

}  // namespace

// Where a drawing position goes in the file: moved by the sheet's centre, then to true size.
Xy At(const DxfPlacement& p, double scale, double x, double y) { return {(x - p.centerX) * scale, (y - p.centerY) * scale}; }

double ScaleFor(const DxfContext& c, const DxfPlacement& p, const EntityAttributes& a) {
  return p.trueSize ? c.ScaleOf(a) : 1.0;
}

namespace {

// The head after the handle: owner, layer, line type, colour and weight.
void HeadTailOf(DxfContext& c, const EntityAttributes& a, const DxfPlacement& p, bool stroke, double scale,
                int32_t ownRgb, bool auxiliary) {
  DxfSink& s = c.sink;
  // Readers take model space as the owner of an entity of the ENTITIES section; a large sheet's
  // file is smaller without saying so every time.
  if (p.owner != c.modelSpace) s.Hex(330, p.owner);
  s.Str(100, "AcDbEntity");
  s.Str(8, c.LayerOf(a, p, auxiliary));
  if (stroke) {
    if (const std::string* lt = c.LineTypeOf(a.penStyle)) {
      s.Str(6, *lt);
      if (scale != 1) s.Real(48, scale);
    }
  }
  const DxfColor& color = c.ColorOf(a.penColor);
  const int32_t rgb = ownRgb >= 0 ? ownRgb : color.rgb;
  // True colour came with a later version than AutoCAD 2000's: there, the nearest index alone.
  s.Int(62, ownRgb >= 0 ? c.AciOf(ownRgb) : color.aci);
  if (stroke) s.Int(370, c.LineWeightOf(a));
  if (rgb >= 0 && c.sink.Utf8()) s.Int(420, rgb);
}

}  // namespace

// The part every entity starts with: kind, handle, owner, layer and colour, and for strokes
// the line type and weight.
void Head(DxfContext& c, const char* kind, const EntityAttributes& a, const DxfPlacement& p, bool stroke,
          double scale, int32_t ownRgb, int auxiliary) {
  DxfSink& s = c.sink;
  s.Str(0, kind);
  s.Handle();
  if (p.owner == c.modelSpace && a.layerGroup < 16) ++c.inGroup[a.layerGroup];
  // Auxiliary colour and, for strokes, auxiliary line type: Jw_cad never prints them.
  const bool helper = auxiliary < 0 ? a.penColor == kAuxiliaryColor || (stroke && a.penStyle == kAuxiliaryLineType)
                                    : auxiliary > 0;
  const int layerKey = c.LayerKeyOf(a, p, helper);
  DxfContext::HeadTail& t = c.headTails[stroke ? 1 : 0];
  if (t.known && t.owner == p.owner && t.layerKey == layerKey && t.penColor == a.penColor &&
      t.penWidth == a.penWidth && (!stroke || t.penStyle == a.penStyle) && t.scale == scale && t.ownRgb == ownRgb) {
    s.Raw(t.bytes);
    return;
  }
  const size_t from = s.Used();
  HeadTailOf(c, a, p, stroke, scale, ownRgb, helper);
  t.bytes.assign(s.Since(from));
  t.known = true, t.owner = p.owner, t.layerKey = layerKey;
  t.penColor = a.penColor, t.penWidth = a.penWidth, t.penStyle = a.penStyle;
  t.scale = scale, t.ownRgb = ownRgb;
}

// An ellipse of Jw_cad's form C + Rot(tilt)·(r cos t, r·f sin t), t from start over sweep, in
// DXF's: a major axis, a ratio at most 1 and parameters from the major axis, counter-clockwise.
EllipseForm FormOf(double r, double flat, double tilt, double start, double sweep, bool full) {
  EllipseForm e;
  if (!(std::fabs(sweep) < 4 * kPi)) full = true;
  if (sweep < 0) start += sweep, sweep = -sweep;
  if (flat < 0) flat = -flat, start = -(start + sweep);  // mirrored across the tilt axis
  if (r < 0) r = -r, start += kPi;
  e.radius = r;
  if (flat == 1) {
    e.circle = true;
    e.startAngle = std::fmod((tilt + start) * kDegrees, 360.0);
    if (e.startAngle < 0) e.startAngle += 360;
    e.endAngle = std::fmod(e.startAngle + sweep * kDegrees, 360.0);
  } else if (flat < 1) {
    e.majorX = r * std::cos(tilt), e.majorY = r * std::sin(tilt);
    e.ratio = std::max(flat, 1e-6);
  } else {
    // The other axis is the major one: a quarter turn further, parameters a quarter back.
    e.majorX = -r * flat * std::sin(tilt), e.majorY = r * flat * std::cos(tilt);
    e.ratio = 1 / flat;
    start -= kPi / 2;
  }
  if (full || sweep >= 2 * kPi) {
    e.start = 0, e.end = 2 * kPi;
    e.startAngle = 0, e.endAngle = 360;
    return e;
  }
  e.start = std::fmod(start, 2 * kPi);
  if (e.start < 0) e.start += 2 * kPi;
  e.end = e.start + sweep;
  if (e.end > 2 * kPi) e.end -= 2 * kPi;
  return e;
}

namespace {


void WriteArc(DxfContext& c, const ArcRecord& a, const DxfPlacement& p) {
  const double k = ScaleFor(c, p, a.attr);
  const bool full = a.fullCircle != 0;
  const EllipseForm e = FormOf(a.radius * k, a.flatness, a.tiltAngle, a.startAngle, a.arcAngle, full);
  const Xy o = At(p, k, a.centerX, a.centerY);
  DxfSink& s = c.sink;
  const bool whole = full || !(std::fabs(a.arcAngle) < 2 * kPi);
  if (e.circle) {
    Head(c, whole ? "CIRCLE" : "ARC", a.attr, p, true, k);
    s.Str(100, "AcDbCircle");
    s.Flat(10, o.x, o.y);
    s.Real(40, e.radius);
    if (!whole) {
      s.Str(100, "AcDbArc");
      s.Real(50, e.startAngle);
      s.Real(51, e.endAngle);
    }
    return;
  }
  Head(c, "ELLIPSE", a.attr, p, true, k);
  s.Str(100, "AcDbEllipse");
  s.Flat(10, o.x, o.y);
  s.Flat(11, e.majorX, e.majorY);
  s.Real(40, e.ratio);
  s.Real(41, e.start);
  s.Real(42, e.end);
}

void WritePoint(DxfContext& c, const PointRecord& pt, const DxfPlacement& p) {
  if (pt.temporary != 0) return;  // construction aids, never printed
  const double k = ScaleFor(c, p, pt.attr);
  const Xy o = At(p, k, pt.x, pt.y);
  Head(c, "POINT", pt.attr, p, true, k);
  c.sink.Str(100, "AcDbPoint");
  c.sink.Flat(10, o.x, o.y);
}

// The width factor that makes a text run from its start to its end as Jw_cad sets it: cells of
// sizeX (half for what Shift_JIS holds in one byte) and the spacing between them, less a closing
// "^1".."^9"'s half cells; a reader's em is sizeY wide. A vertical text keeps its cells' shape.
double WidthFactor(DxfContext& c, const TextRecord& t, const JwwString& text, bool vertical, bool special) {
  if (!(t.sizeY > 0)) return 1;
  if (vertical || (t.spacing == 0 && !special)) return t.sizeX / t.sizeY;
  const int narrowHalves = ReadTextChars(text, c.textBuffers);
  double cells = 0, length = 0;
  for (const TextLayoutBuffers::Char& ch : c.textBuffers.chars) cells += ch.width, length += ch.width * (t.sizeX + t.spacing);
  if (c.textBuffers.chars.empty() || !(cells > 0)) return t.sizeX / t.sizeY;
  length -= c.textBuffers.chars.back().width * t.spacing;
  if (narrowHalves > 0) length -= narrowHalves * t.sizeX / 2;
  const double factor = length / (cells * t.sizeY);
  return std::isfinite(factor) && factor > 0 ? factor : t.sizeX / t.sizeY;
}

void WriteText(DxfContext& c, const TextRecord& t, const TextStrings& strings, const DxfPlacement& p) {
  if (IsSettingsText(t)) return;
  ImageReference ref;
  if (!strings.text.empty() && CharAt(strings.text, 0).code == '^' && ParseImageReference(strings.text, ref))
    return WriteDxfImage(c, t, strings.text, ref, p);
  const double k = ScaleFor(c, p, t.attr);
  const Xy o = At(p, k, t.startX, t.startY);
  const bool vertical = (t.attr.flags & kVerticalText) != 0;
  const DxfTextStyle& style = c.StyleOf(strings.fontName, vertical);
  DxfSink& s = c.sink;
  // A name text is a note for Jw_cad's user, never printed.
  Head(c, "TEXT", t.attr, p, false, k, -1, IsSheetNameText(t, strings.text) ? 1 : -1);
  s.Str(100, "AcDbText");
  s.Flat(10, o.x, o.y);
  // Jw_cad's height is the em's; readers draw the height given as the capitals'.
  s.Real(40, t.sizeY * style.capHeight * k);
  // Most texts hold no control sequence and nothing a reader would take for one: they are
  // written as they are.
  const JwwString& text = strings.text;
  const bool special = text.unicode ? text.wide.find_first_of(u"^%\\") != std::u16string::npos
                                    : text.sjis.find_first_of("^%\\") != std::string::npos;
  s.Str(1, special ? s.Encode(EscapedText(PlainText(text))) : s.Encode(text));
  if (t.angle != 0) s.Real(50, t.angle);
  const double width = WidthFactor(c, t, text, vertical, special);
  if (width != 1) s.Real(41, width);
  s.Str(7, style.name);
  s.Str(100, "AcDbText");
}

void WriteInsert(DxfContext& c, const BlockInsertRecord& b, const DxfPlacement& p) {
  const int32_t def = c.DefinitionOf(b.blockNumber);
  if (def < 0 || (p.definition >= 0 && c.cutInserts.count({p.definition, def}))) return;
  const double k = ScaleFor(c, p, b.attr);
  const Xy o = At(p, k, b.refX, b.refY);
  DxfSink& s = c.sink;
  Head(c, "INSERT", b.attr, p, false, k, -1, 0);
  s.Str(100, "AcDbBlockReference");
  s.Str(2, c.blockNames[size_t(def)]);
  s.Flat(10, o.x, o.y);
  // The block's members are paper millimetres: the insert takes them to true size.
  if (b.scaleX * k != 1) s.Real(41, b.scaleX * k);
  if (b.scaleY * k != 1) s.Real(42, b.scaleY * k);
  if (b.rotation != 0) s.Real(50, b.rotation * kDegrees);
}

void WriteDimension(DxfContext& c, const DimensionRecord& d, const TextStrings& strings, const DxfPlacement& p) {
  // As Jw_cad draws it: its line and its text, and an SXF dimension's extension lines and marks;
  // plain entities, so that every reader shows them.
  WriteDxfLine(c, d.line, p);
  WriteText(c, d.text, strings, p);
  if (d.sxfMode != 0) {
    WriteDxfLine(c, d.auxLine1, p);
    WriteDxfLine(c, d.auxLine2, p);
    for (const PointRecord* pt : {&d.auxPoint1, &d.auxPoint2, &d.auxPoint3, &d.auxPoint4}) WritePoint(c, *pt, p);
  }
}

template <typename Record>
void PrefetchOf(const std::vector<Record>& records, size_t i) {
  if (i < records.size()) __builtin_prefetch(&records[i]);
}

void Prefetch(const EntityLists& l, EntityRef e) {
  const size_t i = size_t(e.index);
  switch (e.kind) {
    case kLine: return PrefetchOf(l.lines, i);
    case kArc: return PrefetchOf(l.arcs, i);
    case kText: return PrefetchOf(l.texts, i);
    case kSolid: return PrefetchOf(l.solids, i);
    case kBlockInsert: return PrefetchOf(l.blockInserts, i);
    default: return;
  }
}

void WriteEntity(DxfContext& c, const EntityLists& l, EntityRef e, const DxfPlacement& p) {
  VisitEntity(l, e,
              Overloaded{[&](const LineRecord& r) { WriteDxfLine(c, r, p); },
                         [&](const ArcRecord& r) { WriteArc(c, r, p); },
                         [&](const PointRecord& r) { WritePoint(c, r, p); },
                         [&](const TextRecord& r, const TextStrings& s) { WriteText(c, r, s, p); },
                         [&](const DimensionRecord& r, const TextStrings& s) { WriteDimension(c, r, s, p); },
                         [&](const SolidRecord& r) { WriteDxfSolid(c, r, p); },
                         [&](const BlockInsertRecord& r) { WriteInsert(c, r, p); }});
}

}  // namespace

JwwString EscapedText(const JwwString& text) {
  JwwString o;
  o.unicode = text.unicode;
  auto put = [&](const char* ascii) {
    for (; *ascii; ++ascii) AppendChar(o, uint32_t(uint8_t(*ascii)));
  };
  // The characters after position p, as far as they tell an escape.
  auto next = [&](size_t p) { return p < text.size() ? CharAt(text, p) : JwwChar{}; };
  for (size_t p = 0; p < text.size();) {
    const JwwChar c = CharAt(text, p);
    if (c.width == 0) break;
    p += c.width;
    const JwwChar n1 = next(p);
    if (c.code == '^') {
      put("^ ");  // a caret and a space: a caret, where "^X" is control character X
    } else if (c.code == '%' && n1.width != 0 && n1.code == '%') {
      put("%%%");  // "%%%" is "%", where "%%d" is a degree sign, "%%u" underlines...
    } else if (c.code == '\\' && n1.width != 0 && (n1.code == 'U' || n1.code == 'u' || n1.code == 'M' || n1.code == 'm') &&
               next(p + n1.width).width != 0 && next(p + n1.width).code == '+') {
      put("\\U+005C");  // the backslash itself escaped, where "\\U+0041" is an A
    } else {
      AppendChar(o, c.code);
    }
  }
  return o;
}

void WriteDxfLine(DxfContext& c, const LineRecord& line, const DxfPlacement& p) {
  const double k = ScaleFor(c, p, line.attr);
  const Xy a = At(p, k, line.startX, line.startY), b = At(p, k, line.endX, line.endY);
  Head(c, "LINE", line.attr, p, true, k);
  if (p.owner == c.modelSpace) {
    const double x = std::max(std::fabs(line.startX - p.centerX), std::fabs(line.endX - p.centerX));
    const double y = std::max(std::fabs(line.startY - p.centerY), std::fabs(line.endY - p.centerY));
    // NaN fails both, an infinity the check where the paper is chosen.
    if (x > c.lineReachX) c.lineReachX = x;
    if (y > c.lineReachY) c.lineReachY = y;
  }
  c.sink.Str(100, "AcDbLine");
  c.sink.Flat(10, a.x, a.y);
  c.sink.Flat(11, b.x, b.y);
}

void WriteDxfEntities(DxfContext& c, const EntityLists& lists, const std::vector<EntityRef>& given, size_t count,
                      const DxfPlacement& place) {
  // A drawing that asks for its solids (and images) first has them first in the file too:
  // readers draw in the file's order, and walls would cover the centre lines otherwise.
  std::vector<EntityRef> reordered;
  if (FirstDrawnOf(c.doc) != FirstDrawn::kNothing)
    reordered = DrawingOrder(c.doc, lists, given, count);
  const std::vector<EntityRef>& order = reordered.empty() ? given : reordered;
  count = std::min(count, order.size());
  // A sheet's entities lie scattered through the drawing's lists: each record is asked for from
  // memory some entities ahead, so that it is there when it is written.
  constexpr size_t kAhead = 8;
  for (size_t k = 0; k < count; ++k) {
    if (k + kAhead < count) Prefetch(lists, order[k + kAhead]);
    WriteEntity(c, lists, order[k], place);
  }
}

}  // namespace kelvane
