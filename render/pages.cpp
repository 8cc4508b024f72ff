// The pages of pictures: a drawing on its own paper, a sheet on its frame's paper, and the whole
// drawing on a page fitted round it.
#include <algorithm>

#include "render/render.h"

namespace kelvane {

namespace {

Affine Shift(double dx, double dy) { return Affine{1, 0, 0, 1, dx, dy}; }

// The drawing's layer group and layer names, for a backend that shows layers.
void NameLayers(const JwwDocument& doc, DisplayList& list) {
  list.layerNames.assign(16 + 256, JwwString{});
  for (size_t g = 0; g < 16 && g < doc.layerGroups.size(); ++g) list.layerNames[g] = doc.layerGroups[g].name;
  for (size_t k = 0; k < 256 && k < doc.layers.size(); ++k) list.layerNames[16 + k] = doc.layers[k].name;
}

}  // namespace

PictureStyle PrintStyle(const JwwDocument& doc, std::optional<bool> color) {
  const bool colored = color ? *color : doc.header.PrintsInColor();
  return colored ? PictureStyle::kColor : PictureStyle::kMonochrome;
}

DisplayList RenderDrawing(const JwwDocument& doc, PictureStyle style) {
  DisplayList list;
  if (!PaperSizeMm(doc.header.paperSize, list.width, list.height)) PaperSizeMm(3, list.width, list.height);
  // Paper coordinates have their origin at the paper's centre.
  DisplayListBuilder b(doc, style, list);
  const size_t count = size_t(std::max(0, doc.entityCount));
  const Affine m = Shift(list.width / 2, list.height / 2);
  b.AddEntities(doc, doc.order, count, m, DrawingThreads(count));
  NameLayers(doc, list);
  return list;
}

DisplayList RenderSheet(const JwwDocument& doc, const SheetView& view, const PaperFrame& frame, int32_t paperSize,
                        PictureStyle style) {
  DisplayList list;
  SheetPageSize(frame, paperSize, list.width, list.height);
  DisplayListBuilder b(doc, style, list);
  const Affine m = Shift(list.width / 2 - view.centerX, list.height / 2 - view.centerY);
  b.AddEntities(doc, view.order, view.order.size(), m, DrawingThreads(view.order.size()));
  if (!view.extraLines.empty()) {
    b.MarkLayer(list.order.size(), kNoLayer);  // the frame drawn for the sheet is on no layer of the drawing
    for (const LineRecord& l : view.extraLines) b.AddLine(l, m);
  }
  NameLayers(doc, list);
  return list;
}

DisplayList RenderWhole(const JwwDocument& doc, PictureStyle style, double margin, Affine* toPage) {
  DisplayList list;
  DisplayListBuilder b(doc, style, list);
  const size_t count = size_t(std::max(0, doc.entityCount));
  b.AddEntities(doc, doc.order, count, Affine{}, DrawingThreads(count));
  NameLayers(doc, list);
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  if (!DrawnBounds(list, x0, y0, x1, y1)) {
    x0 = y0 = 0;
    x1 = y1 = 1;
  }
  Translate(list, margin - x0, margin - y0);
  list.width = x1 - x0 + 2 * margin;
  list.height = y1 - y0 + 2 * margin;
  if (toPage) *toPage = Shift(margin - x0, margin - y0);
  return list;
}

}  // namespace kelvane
