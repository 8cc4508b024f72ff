// What the DXF of a drawing must hold, worked out from its records alone, for tests/check_dxf.py:
// one JSON line per top-level DXF entity, in order, with the kind, layer prefix, true-size
// positions and (for texts) the characters. Usage: kelvane_dxf_expect DRAWING.jww [paper]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "drawing/draw_order.h"
#include "drawing/text_layout.h"
#include "dxf/dxf_context.h"
#include "jww/document.h"
#include "platform/text_conversion.h"
#include "split/sheetnames.h"

using namespace kelvane;

namespace {

bool paperUnits = false;
const JwwDocument* doc = nullptr;

double Scale(const EntityAttributes& a) {
  if (paperUnits || a.layerGroup >= 16 || size_t(a.layerGroup) >= doc->layerGroups.size()) return 1;
  const double s = doc->layerGroups[a.layerGroup].scale;
  return std::isfinite(s) && s > 0 ? s : 1;
}

std::string Num(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", v);
  return b;
}

std::string Layer(const EntityAttributes& a) {
  if (a.layerGroup >= 16 || a.layer >= 16) return "0";
  static const char kHex[] = "0123456789ABCDEF";
  return {kHex[a.layerGroup], '-', kHex[a.layer]};
}

std::string Json(const std::string& utf8) {
  std::string o = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') o += '\\';
    if (c < 0x20) continue;
    o += char(c);
  }
  return o + "\"";
}

void Emit(const char* kind, const EntityAttributes& a, std::initializer_list<double> xy, const std::string& text = "",
          bool hasText = false, bool auxiliary = false) {
  const double s = Scale(a);
  std::string line = std::string("{\"kind\":\"") + kind + "\",\"layer\":\"" + Layer(a) + "\",\"points\":[";
  bool first = true;
  for (double v : xy) {
    line += (first ? "" : ",") + Num(v * s);
    first = false;
  }
  line += "]";
  if (hasText) line += ",\"text\":" + Json(text);
  if (auxiliary) line += ",\"auxiliary\":true";
  std::cout << line << "}\n";
}

// Auxiliary colour, or line type for strokes: never printed by Jw_cad.
bool Auxiliary(const EntityAttributes& a, bool stroke) {
  return a.penColor == kAuxiliaryColor || (stroke && a.penStyle == kAuxiliaryLineType);
}

void Line(const LineRecord& l) {
  Emit("LINE", l.attr, {l.startX, l.startY, l.endX, l.endY}, "", false, Auxiliary(l.attr, true));
}

void Point(const PointRecord& p) {
  if (p.temporary == 0) Emit("POINT", p.attr, {p.x, p.y});
}

void Text(const TextRecord& t, const TextStrings& s) {
  if (IsSettingsText(t)) return;
  ImageReference ref;
  if (!s.text.empty() && CharAt(s.text, 0).code == '^' && ParseImageReference(s.text, ref))
    return Emit("IMAGE", t.attr, {t.startX, t.startY});
  const JwwString plain = PlainText(s.text);
  Emit("TEXT", t.attr, {t.startX, t.startY}, plain.unicode ? Utf16ToUtf8(plain.wide) : SjisToUtf8(plain.sjis), true,
       Auxiliary(t.attr, false) || IsSheetNameText(t, s.text));
}

void Entity(const EntityLists& l, EntityRef e) {
  const size_t i = size_t(e.index);
  switch (e.kind) {
    case kLine: return Line(l.lines[i]);
    case kArc: {
      const ArcRecord& a = l.arcs[i];
      const bool whole = a.fullCircle != 0 || !(std::fabs(a.arcAngle) < 2 * M_PI);
      const char* kind = std::fabs(a.flatness) != 1 ? "ELLIPSE" : whole ? "CIRCLE" : "ARC";
      return Emit(kind, a.attr, {a.centerX, a.centerY});
    }
    case kPoint: return Point(l.points[i]);
    case kText: return Text(l.texts[i], l.textStrings[i]);
    case kDimension: {
      const DimensionRecord& d = l.dimensions[i];
      Line(d.line);
      Text(d.text, l.dimensionStrings[i]);
      if (d.sxfMode != 0) {
        Line(d.auxLine1), Line(d.auxLine2);
        for (const PointRecord* p : {&d.auxPoint1, &d.auxPoint2, &d.auxPoint3, &d.auxPoint4}) Point(*p);
      }
      return;
    }
    case kSolid: {
      const SolidRecord& s = l.solids[i];
      if (IsArcSolid(s.attr.penStyle)) return Emit("HATCH", s.attr, {});
      return Emit("SOLID", s.attr, {s.x1, s.y1, s.x2, s.y2, s.x4, s.y4, s.x3, s.y3});
    }
    case kBlockInsert: {
      const BlockInsertRecord& b = l.blockInserts[i];
      return Emit("INSERT", b.attr, {b.refX, b.refY});
    }
    default: return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  paperUnits = argc > 2 && std::string(argv[2]) == "paper";
  JwwDocument d;
  if (!d.LoadFromFile(argv[1])) {
    std::cerr << "cannot load " << argv[1] << "\n";
    return 1;
  }
  doc = &d;
  // In the order the drawing asks them drawn: solids (and images) first when it says so.
  for (EntityRef e : DrawingOrder(d, d, d.order, size_t(std::max(0, d.entityCount)))) Entity(d, e);
  return 0;
}
