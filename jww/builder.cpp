// Building drawings in memory with plausible settings and entities.
#include "jww/builder.h"

#include <cmath>
#include <numbers>

namespace kelvane {

namespace {

template <typename R>
int32_t Append(EntityLists& l, std::vector<R>& array, const R& r, int32_t kind) {
  array.push_back(r);
  int32_t index = int32_t(array.size() - 1);
  l.order.push_back({kind, index});
  l.entityCount = int32_t(l.order.size());
  return index;
}

TextRecord MakeText(double x, double y, const JwwString& text, Attr a, double size, TextStrings& strings) {
  TextRecord t{};
  a.penStyle = 1;
  t.attr = a.Make();
  t.startX = x;
  t.startY = y;
  double units = text.unicode ? double(text.wide.size()) : double(text.sjis.size()) / 2.0;
  t.endX = x + size * units;
  t.endY = y;
  t.textType = 2;
  t.sizeX = size;
  t.sizeY = size;
  t.spacing = 0;
  t.angle = 0;
  strings.fontName = text.unicode ? JwwString::Wide(u"ＭＳ ゴシック")
                                  : JwwString::Sjis("\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");
  strings.text = text;
  return t;
}

}  // namespace

void InitDrawing(JwwDocument& doc, int32_t version, bool unicodeStrings) {
  doc.Release();
  doc.SizeSettingsArrays();
  JwwHeader& h = doc.header;
  h.signature = "JwwData.";
  h.version = version;
  h.memo = JwwString::Ascii("", unicodeStrings);
  h.paperSize = 3;
  h.packedSwitchOnes = 3;
  h.packedSwitchTens = 1;
  for (int g = 0; g < 16; ++g) {
    doc.layerGroups[g].state = 2;
    doc.layerGroups[g].scale = 100.0;
    doc.layerGroups[g].name = JwwString::Ascii("", unicodeStrings);
  }
  for (int i = 0; i < 256; ++i) {
    doc.layers[i].state = 2;
    doc.layers[i].name = JwwString::Ascii("", unicodeStrings);
  }
  static const int32_t kPenColors[10] = {0xFFFFFF, 0,        0x808080, 0x0000FF, 0x00FF00,
                                         0xFF0000, 0xFF00FF, 0x00FFFF, 0x0080FF, 0xFF8000};
  for (int p = 0; p < 10; ++p) {
    doc.pens[p] = {kPenColors[p], 1, kPenColors[p], 1, 0.3};
  }
  for (LineTypeSetting& t : doc.lineTypes) t = {int32_t(0xFF00FF00u), 16, 1, 16};
  for (RandomLineSetting& t : doc.randomLineTypes) t = {int32_t(0xF0F0F0F0u), 2, 1, 2, 1};
  for (LineTypeSetting& t : doc.doubleLineTypes) t = {int32_t(0xFFFF0000u), 32, 1, 32};
  for (int i = 0; i < 257; ++i) {
    ExtendedColor& c = doc.extendedColors[i];
    c.color = i < 10 ? kPenColors[i] : 0x404040;
    c.width = 1;
    c.name = JwwString::Ascii("Color_" + std::to_string(i), unicodeStrings);
    c.printColor = c.color;
    c.printWidth = 1;
    c.printPointRadius = 0.3;
  }
  for (int i = 0; i < 33; ++i) {
    ExtendedLineType& t = doc.extendedLineTypes[i];
    t = {int32_t(0xFF00FF00u), 16, 1, 16, JwwString::Ascii("LType_" + std::to_string(i), unicodeStrings), 2, {}};
    t.pitches[1] = 1.0;
    t.pitches[2] = 1.0;
  }
  for (TextKindSetting& k : doc.textKinds) k = {5.0, 5.0, 0.0, 1};
  h.currentTextSizeX = h.currentTextSizeY = 5.0;
  h.currentTextColor = 1;
}

int32_t AddLine(EntityLists& l, double x1, double y1, double x2, double y2, Attr a) {
  return Append(l, l.lines, LineRecord{a.Make(), x1, y1, x2, y2}, kLine);
}

int32_t AddArc(EntityLists& l, double cx, double cy, double r, double start, double sweep, Attr a, double flatness,
               double tilt) {
  return Append(l, l.arcs, ArcRecord{a.Make(), cx, cy, r, start, sweep, tilt, flatness, 0}, kArc);
}

int32_t AddCircle(EntityLists& l, double cx, double cy, double r, Attr a) {
  return Append(l, l.arcs, ArcRecord{a.Make(), cx, cy, r, 0, 2 * std::numbers::pi, 0, 1.0, 1}, kArc);
}

int32_t AddPoint(EntityLists& l, double x, double y, Attr a) {
  return Append(l, l.points, PointRecord{a.Make(), x, y, 0, 0, 0, 1.0}, kPoint);
}

int32_t AddText(EntityLists& l, double x, double y, const JwwString& text, Attr a, double size) {
  TextStrings strings;
  TextRecord t = MakeText(x, y, text, a, size, strings);
  l.textStrings.push_back(std::move(strings));
  return Append(l, l.texts, t, kText);
}

int32_t AddDimension(EntityLists& l, double x1, double y1, double x2, double y2, const JwwString& text, Attr a) {
  DimensionRecord d{};
  d.attr = a.Make();
  d.line = LineRecord{a.Make(), x1, y1, x2, y2};
  TextStrings strings;
  d.text = MakeText((x1 + x2) / 2, (y1 + y2) / 2 + 1, text, a, 2.5, strings);
  d.sxfMode = 0;
  d.auxLine1 = LineRecord{a.Make(), x1, y1 - 5, x1, y1};
  d.auxLine2 = LineRecord{a.Make(), x2, y2 - 5, x2, y2};
  for (PointRecord* p : {&d.auxPoint1, &d.auxPoint2, &d.auxPoint3, &d.auxPoint4}) {
    p->attr = a.Make();
    p->scale = 0;
  }
  d.auxPoint1.x = x1, d.auxPoint1.y = y1;
  d.auxPoint2.x = x2, d.auxPoint2.y = y2;
  l.dimensionStrings.push_back(std::move(strings));
  return Append(l, l.dimensions, d, kDimension);
}

int32_t AddSolid(EntityLists& l, double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4,
                 Attr a) {
  return Append(l, l.solids, SolidRecord{a.Make(), x1, y1, x2, y2, x3, y3, x4, y4, 0}, kSolid);
}

int32_t AddArcSolid(EntityLists& l, double cx, double cy, double r, double start, double sweep, Attr a) {
  a.penStyle = kArcSolid;
  return Append(l, l.solids, SolidRecord{a.Make(), cx, cy, r, 1.0, 0.0, start, sweep, 0.0, 0}, kSolid);
}

int32_t AddBlockInsert(EntityLists& l, int32_t blockNumber, double x, double y, Attr a) {
  return Append(l, l.blockInserts, BlockInsertRecord{a.Make(), x, y, 1.0, 1.0, 0.0, blockNumber}, kBlockInsert);
}

EntityLists& AddBlockDef(JwwDocument& doc, int32_t number, const JwwString& name) {
  BlockDefinition d;
  d.head = BlockDefHead{Attr{}.Make(), number, 0, 0x6A000000 + number};
  d.name = name;
  doc.blockDefs.push_back(std::move(d));
  return doc.blockDefs.back().entities;
}

}  // namespace kelvane
