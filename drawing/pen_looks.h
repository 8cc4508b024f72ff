// How a drawing's pens look on paper and on screen: colours, widths, point radii and line
// types, read from the drawing's settings alike for every output.
#pragma once

#include <cstdint>

#include "jww/document.h"

namespace kelvane {

// The colour (a Windows COLORREF, 0x00BBGGRR) pen colour `color` prints in, or shows on screen
// in when `screen`; false for a colour the drawing has no setting for.
bool PenColorRef(const JwwDocument& doc, int32_t color, bool screen, int32_t& colorRef);

// The width an entity's line is drawn at, in its pen's unit: the pen's print width (on screen
// the screen width of pens 1-9; SXF colours keep their print width), which the entity's own
// width overrides on paper. 0 for a colour the drawing has no setting for.
int32_t PenWidthUnits(const JwwDocument& doc, const EntityAttributes& a, bool screen);

// A pen width in the drawing's unit as millimetres on paper: 1/100 mm when the header says so
// and always for SXF colours (a dot-unit drawing stores the same 18 for 0.18 mm as a 1/100 mm
// one, and 18 dots would be 1.52 mm blobs), otherwise dots of 300 or 600 dpi (PenWidthDpi).
double PenWidthMm(const JwwHeader& header, int32_t units, bool sxfColor);

// The width an entity prints at, in millimetres.
double PrintWidthMm(const JwwDocument& doc, const EntityAttributes& a);

// The radius a point of pen colour `color` prints at when points print as discs
// (JwwHeader::PointsAsPenRadius); false for a colour the drawing has no setting for.
bool PenPointRadius(const JwwDocument& doc, int32_t color, double& radius);

// The bit pattern of a patterned or double line type (2-9, 16-19 and their doubles), or null.
const LineTypeSetting* PatternLineType(const JwwDocument& doc, int penStyle);
// The pitches of an SXF line type (31-62), or null.
const ExtendedLineType* SxfLineType(const JwwDocument& doc, int penStyle);
// One bit of a line type's pattern on paper, in millimetres: printPitch/16 (0.625 mm at the
// usual 10, as Jw_cad's own DXF export draws its dashes).
inline double PatternBitMm(const LineTypeSetting& t) { return t.printPitch / 16.0; }

}  // namespace kelvane
