// Paper frame detection: finds the frame rectangles among a drawing's lines and puts them in numbering order.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "jww/records.h"
#include "text/jwwstring.h"

namespace kelvane {

// The fixed attributes of a paper-frame line: auxiliary-line colour, fourth double-length type, width 200.
inline constexpr uint16_t kFramePenColor = 9;
inline constexpr uint8_t kFramePenStyle = 19;
inline constexpr uint16_t kFramePenWidth = 200;

// Two end points meet when both coordinates differ by at most this.
inline constexpr double kFrameMeetTolerance = 1e-8;
// Snapped centres within this of each other share a row or a column.
inline constexpr double kFrameRowTolerance = 1e-8;
// A frame edge must be at least this long.
inline constexpr double kFrameMinEdge = 1.0;

inline constexpr int kMaxSheetsPerFrame = 16;

// numberingDirection: rows from the top, each left to right; or columns from the left, each top down.
inline constexpr int kNumberRows = 0;
inline constexpr int kNumberColumns = 1;

struct PaperFrame {
  double minX = 0.0;
  double minY = 0.0;
  double maxX = 0.0;
  double maxY = 0.0;
  // The sheets made from this frame; empty until the name texts are read.
  int32_t sheetCount = 0;
  std::array<JwwString, kMaxSheetsPerFrame> sheetNames;
  std::array<int32_t, kMaxSheetsPerFrame> sheetLayerGroups = {-1, -1, -1, -1, -1, -1, -1, -1,
                                                              -1, -1, -1, -1, -1, -1, -1, -1};  // -1: no limit
  std::array<JwwString, kMaxSheetsPerFrame> sheetLayerLists;  // one hexadecimal digit per layer
};

bool IsFrameLine(const LineRecord& line);

// Finds every paper frame among the first lineCount lines and returns them in numbering order.
// numberingDirection is kNumberRows or kNumberColumns; like the settings file, a value below 0
// counts as rows and one above 1 as columns.
std::vector<PaperFrame> DetectPaperFrames(const std::vector<LineRecord>& lines, int32_t lineCount,
                                          int numberingDirection);

// The same result by the plain nested search over all candidates (up to H² · V² steps for H
// horizontal and V vertical candidates), kept to check the indexed search against.
std::vector<PaperFrame> DetectPaperFramesReference(const std::vector<LineRecord>& lines, int32_t lineCount,
                                                   int numberingDirection);

// Puts frames into numbering order: centres snapped to a grid of half the smallest frame, then a
// selection sort whose exchanges decide the order of tied frames. Only the rectangles move.
void OrderPaperFrames(std::vector<PaperFrame>& frames, int numberingDirection);

// The selection sort itself, step by step (quadratic); OrderPaperFrames reproduces its result.
void OrderPaperFramesReference(std::vector<PaperFrame>& frames, int numberingDirection);

// The end-point index files a point (x, y) under the cells floor(x + kEndPointCellShift) and
// floor(y + kEndPointCellShift). Corners usually sit on round coordinates; the shift keeps them
// off the cell borders. Exposed so tests can aim at the borders.
inline constexpr double kEndPointCellShift = 0.3828125;

}  // namespace kelvane
