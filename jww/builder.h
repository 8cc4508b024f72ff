// Building drawings in memory: the example drawing, test fixtures and benchmark inputs.
#pragma once

#include <cstdint>

#include "jww/document.h"

namespace kelvane {

struct Attr {
  uint8_t penStyle = 1;
  uint16_t penColor = 1;
  uint16_t penWidth = 0;
  uint16_t layer = 0;
  uint16_t layerGroup = 0;
  uint32_t group = 0;

  EntityAttributes Make() const { return {group, penStyle, penColor, penWidth, layer, layerGroup, 0}; }
};

// A new, empty drawing of the given version with settings as a fresh Jw_cad drawing has them.
void InitDrawing(JwwDocument& doc, int32_t version, bool unicodeStrings);

// Each returns the new entity's index in its array and appends it to the order list.
int32_t AddLine(EntityLists& l, double x1, double y1, double x2, double y2, Attr a = {});
int32_t AddArc(EntityLists& l, double cx, double cy, double r, double start, double sweep, Attr a = {},
               double flatness = 1.0, double tilt = 0.0);
int32_t AddCircle(EntityLists& l, double cx, double cy, double r, Attr a = {});
int32_t AddPoint(EntityLists& l, double x, double y, Attr a = {});
int32_t AddText(EntityLists& l, double x, double y, const JwwString& text, Attr a = {}, double size = 5.0);
int32_t AddDimension(EntityLists& l, double x1, double y1, double x2, double y2, const JwwString& text,
                     Attr a = {});
int32_t AddSolid(EntityLists& l, double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                 double y4, Attr a = {});
int32_t AddArcSolid(EntityLists& l, double cx, double cy, double r, double start, double sweep, Attr a = {});
int32_t AddBlockInsert(EntityLists& l, int32_t blockNumber, double x, double y, Attr a = {});
// Appends a block definition and returns its entity lists (valid until the next definition).
EntityLists& AddBlockDef(JwwDocument& doc, int32_t number, const JwwString& name);

}  // namespace kelvane
