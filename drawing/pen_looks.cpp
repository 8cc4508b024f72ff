// The pen, colour and line-type settings of a drawing, looked up by the codes entities carry.
#include "drawing/pen_looks.h"

#include <algorithm>

namespace kelvane {

namespace {

const PenSetting* PenOf(const JwwDocument& doc, int32_t color) {
  return IsPenColor(color) && size_t(color) < doc.pens.size() ? &doc.pens[size_t(color)] : nullptr;
}

const ExtendedColor* SxfColorOf(const JwwDocument& doc, int32_t color) {
  return IsSxfColor(color) && size_t(SxfColorSetting(color)) < doc.extendedColors.size()
             ? &doc.extendedColors[size_t(SxfColorSetting(color))]
             : nullptr;
}

}  // namespace

bool PenColorRef(const JwwDocument& doc, int32_t color, bool screen, int32_t& colorRef) {
  if (const PenSetting* p = PenOf(doc, color)) {
    colorRef = screen ? p->color : p->printColor;
    return true;
  }
  if (const ExtendedColor* e = SxfColorOf(doc, color)) {
    colorRef = screen ? e->color : e->printColor;
    return true;
  }
  return false;
}

int32_t PenWidthUnits(const JwwDocument& doc, const EntityAttributes& a, bool screen) {
  int32_t width = 0;
  if (const PenSetting* p = PenOf(doc, a.penColor)) width = screen ? p->width : p->printWidth;
  else if (const ExtendedColor* e = SxfColorOf(doc, a.penColor)) width = e->printWidth;
  // An entity's own width is read in the pen's unit (the corpus has none to tell otherwise). On
  // screen a line keeps its pen's pixel width.
  if (!screen && a.penWidth != 0) width = a.penWidth;
  return width;
}

double PenWidthMm(const JwwHeader& header, int32_t units, bool sxfColor) {
  if (header.penWidthUnit <= -101 || sxfColor) return units / 100.0;
  return units * 25.4 / header.PenWidthDpi();
}

double PrintWidthMm(const JwwDocument& doc, const EntityAttributes& a) {
  return PenWidthMm(doc.header, std::max(0, PenWidthUnits(doc, a, false)), IsSxfColor(a.penColor));
}

bool PenPointRadius(const JwwDocument& doc, int32_t color, double& radius) {
  if (const PenSetting* p = PenOf(doc, color)) {
    radius = p->printPointRadius;
    return true;
  }
  if (const ExtendedColor* e = SxfColorOf(doc, color)) {
    radius = e->printPointRadius;
    return true;
  }
  return false;
}

const LineTypeSetting* PatternLineType(const JwwDocument& doc, int s) {
  if (IsPatternLineType(s) && size_t(s - kFirstPatternLineType) < doc.lineTypes.size())
    return &doc.lineTypes[size_t(s - kFirstPatternLineType)];
  if (IsDoubleLineType(s) && size_t(s - kFirstDoubleLineType) < doc.doubleLineTypes.size())
    return &doc.doubleLineTypes[size_t(s - kFirstDoubleLineType)];
  return nullptr;
}

const ExtendedLineType* SxfLineType(const JwwDocument& doc, int s) {
  return IsSxfLineType(s) && size_t(SxfLineTypeSetting(s)) < doc.extendedLineTypes.size()
             ? &doc.extendedLineTypes[size_t(SxfLineTypeSetting(s))]
             : nullptr;
}

}  // namespace kelvane
