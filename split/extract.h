// One sheet of one paper frame: which entities belong to it, where they go, and on what paper.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "jww/document.h"
#include "split/frames.h"
#include "split/sheetnames.h"

namespace kelvane {

// The drawn frame on layer [F-F]: auxiliary colour, solid line type, layer F of group F.
inline constexpr uint16_t kDrawnFrameLayer = 15;
inline constexpr uint16_t kDrawnFrameGroup = 15;

// Paper size code for a frame: A4 (4) to A0 (0), and 8 for a portrait frame above A0.
int32_t PaperSizeFor(const PaperFrame& frame);

// The four drawn frame lines (bottom, right, top, left) in drawing coordinates, inset by margin.
std::array<LineRecord, 4> PlaceFrameLines(const PaperFrame& frame, double margin);

struct SheetOptions {
  bool drawFrameOnFF = false;
  double margin = 0;
};

// Whether the entity's tested geometry is inside or crossing the frame; paper-frame lines and
// name texts never are. The layer list is not looked at.
bool EntityMeetsFrame(const JwwDocument& doc, const EntityRef& e, const PaperFrame& frame);
// Whether the sheet's layer list keeps the entity; a dimension passes by its line or its text.
bool EntityPassesLayers(const JwwDocument& doc, const EntityRef& e, const SheetLayerFilter& filter);

// Decides sheet membership for every frame of one drawing. Built once per drawing, it tests each
// entity only against the frames its tested geometry can reach and files it under those it is
// inside or crossing, so a sheet costs what the sheet holds rather than what the whole drawing
// holds. The drawing is never changed.
class SheetExtractor {
 public:
  SheetExtractor(const JwwDocument& doc, const std::vector<PaperFrame>& frames);

  // The entities of sheet `sheet` of frame `frame` in drawing order, the frame's centre and,
  // when asked, the drawn frame lines.
  SheetView Extract(size_t frame, int sheet, const SheetOptions& options) const;

  // Note: an entity whose tested points are NaN on both axes meets every frame, and so is on
  // every sheet; that cost is the output's own.

 private:
  const JwwDocument& doc_;
  const std::vector<PaperFrame>& frames_;
  std::vector<std::vector<int32_t>> members_;  // per frame: positions in the entity order inside or crossing it
};

}  // namespace kelvane
