// Pen widths on paper: the drawing's unit (1/100 mm, or dots of 300 or 600 dpi), SXF colours
// always in 1/100 mm, an entity's own width over its pen's.
#include "drawing/pen_looks.h"

#include <gtest/gtest.h>

#include "jww/builder.h"

namespace kelvane {
namespace {

TEST(PenLooks, PrintWidthsFollowTheUnitTheResolutionAndTheSxfRule) {
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  doc.pens[2].printWidth = 60;
  doc.extendedColors[size_t(SxfColorSetting(101))].printWidth = 60;
  EntityAttributes pen{}, sxf{};  // records have no defaults: unset widths would be garbage
  pen.penColor = 2;
  sxf.penColor = 101;
  struct Case {
    int32_t unit, tens;
    double penMm;
  };
  for (const Case c : {Case{100, 1, 60 * 25.4 / 300}, Case{100, 2, 60 * 25.4 / 600}, Case{-101, 2, 0.6}}) {
    doc.header.penWidthUnit = c.unit;
    doc.header.packedSwitchTens = c.tens;
    EXPECT_DOUBLE_EQ(PrintWidthMm(doc, pen), c.penMm) << c.unit << " " << c.tens;
    EXPECT_DOUBLE_EQ(PrintWidthMm(doc, sxf), 0.6) << c.unit << " " << c.tens;
  }
  pen.penWidth = 30;  // the entity's own width, in the pen's unit, on paper only
  EXPECT_DOUBLE_EQ(PrintWidthMm(doc, pen), 0.3);
  EXPECT_EQ(PenWidthUnits(doc, pen, true), doc.pens[2].width);
}

}  // namespace
}  // namespace kelvane
