// Sheet name texts: which texts name sheets, the sheets they give each frame, and the sheet layer restriction.
#pragma once

#include <cstdint>
#include <vector>

#include "jww/records.h"
#include "jww/document.h"
#include "split/frames.h"
#include "text/jwwstring.h"

namespace kelvane {

// A name text: colour 9, a text type that is a multiple of 100 (taken unsigned), and a text
// beginning with "【名】" in either stored form. Such texts never reach a sheet.
bool IsSheetNameText(const TextRecord& record, const JwwString& text);

// Fills the sheet fields of every frame from the drawing's own name texts (not those inside
// block definitions), in stored order: one sheet per placed name text, up to 16 per frame, and
// one unnamed, unrestricted sheet for a frame without any. A name already used (compared without
// regard to case) gets "~" and its repeat count appended.
//
// Names are compared as sequences of case-folded characters of their own form. Jw_cad writes
// every string of a drawing in one form, so a Shift_JIS and a Unicode name never meet here; if
// they did, they would count as different names.
void CollectSheetNames(std::vector<PaperFrame>& frames, const JwwDocument& doc);

// The restriction of a sheet to the layers its name text lists: only when the list is not empty
// and the sheet has a layer group. A sheet index outside 0..15 has no restriction.
bool LayerRestrictionApplies(const PaperFrame& frame, int sheet);

// Bit n is set when the upper-case hexadecimal digit of layer n ("0".."9", "A".."F") occurs in
// the sheet's layer list as a whole character. Case-sensitive: "a" selects no layer.
uint16_t LayerMask(const PaperFrame& frame, int sheet);

// The restriction of one sheet, prepared once so that each entity costs a compare and a bit test.
struct SheetLayerFilter {
  bool applies = false;
  int32_t group = -1;
  uint16_t mask = 0;

  bool Passes(uint16_t layerGroup, uint16_t layer) const {
    return int32_t(layerGroup) == group && layer < 16 && ((mask >> layer) & 1u) != 0;
  }
  // False only for an entity the restriction excludes.
  bool Keeps(uint16_t layerGroup, uint16_t layer) const { return !applies || Passes(layerGroup, layer); }
};

SheetLayerFilter MakeSheetLayerFilter(const PaperFrame& frame, int sheet);

}  // namespace kelvane
