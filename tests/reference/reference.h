// Plain, slow versions of the indexed searches, kept only to check the product against.
#pragma once

#include <cstdint>
#include <vector>

#include "jww/document.h"
#include "split/extract.h"
#include "split/frames.h"

namespace kelvane {

// Frame detection by the nested search over all candidates (up to H² · V² steps for H
// horizontal and V vertical candidates).
std::vector<PaperFrame> DetectPaperFramesReference(const std::vector<LineRecord>& lines, int32_t lineCount,
                                                   int numberingDirection, int32_t* rejectedFrames = nullptr);

// The numbering order by the selection sort with exchange itself, step by step (quadratic).
void OrderPaperFramesReference(std::vector<PaperFrame>& frames, int numberingDirection);

// A sheet by a walk over every entity of the drawing.
SheetView ExtractByWalk(const JwwDocument& doc, const std::vector<PaperFrame>& frames, size_t frame, int sheet,
                        const SheetOptions& options);

// The frame a point names a sheet of, by trying every frame in order; -1 for none.
int32_t FrameOfPointReference(const std::vector<PaperFrame>& frames, double x, double y);

}  // namespace kelvane
