// Paper frame detection: finds the frame rectangles among a drawing's lines and puts them in numbering order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "jww/records.h"
#include "text/jwwstring.h"

namespace kelvane {

// The fixed attributes of a paper-frame line: auxiliary-line colour, fourth double-length type, width 200.
inline constexpr uint16_t kFramePenColor = kAuxiliaryColor;
inline constexpr uint8_t kFramePenStyle = kAuxiliaryDoubleLineType;
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

// One text per sheet slot of a frame (its names, its layer lists). Most frames hold none, so the
// slots are made at the first text set: a drawing of many frames keeps small frame records.
class SheetTexts {
 public:
  SheetTexts() = default;
  SheetTexts(const SheetTexts& other) : slots_(other.slots_ ? std::make_unique<Slots>(*other.slots_) : nullptr) {}
  SheetTexts& operator=(const SheetTexts& other) {
    if (this != &other) slots_ = other.slots_ ? std::make_unique<Slots>(*other.slots_) : nullptr;
    return *this;
  }
  SheetTexts(SheetTexts&&) noexcept = default;
  SheetTexts& operator=(SheetTexts&&) noexcept = default;
  ~SheetTexts() = default;

  static constexpr size_t size() { return size_t(kMaxSheetsPerFrame); }
  // The sheet's text; empty when none was set.
  const JwwString& operator[](size_t sheet) const { return slots_ ? (*slots_)[sheet] : Empty(); }
  void Set(size_t sheet, JwwString text) {
    if (!slots_) slots_ = std::make_unique<Slots>();
    (*slots_)[sheet] = std::move(text);
  }
  void Clear() { slots_.reset(); }

 private:
  using Slots = std::array<JwwString, kMaxSheetsPerFrame>;
  static const JwwString& Empty() {
    static const JwwString kEmpty;
    return kEmpty;
  }
  std::unique_ptr<Slots> slots_;
};

struct PaperFrame {
  double minX = 0.0;
  double minY = 0.0;
  double maxX = 0.0;
  double maxY = 0.0;
  // The sheets made from this frame; empty until the name texts are read.
  int32_t sheetCount = 0;
  SheetTexts sheetNames;
  std::array<int32_t, kMaxSheetsPerFrame> sheetLayerGroups = {-1, -1, -1, -1, -1, -1, -1, -1,
                                                              -1, -1, -1, -1, -1, -1, -1, -1};  // -1: no limit
  SheetTexts sheetLayerLists;  // one hexadecimal digit per layer
};

bool IsFrameLine(const LineRecord& line);

// A frame whose size or centre is not a finite number: no sheet can be placed on it.
bool HasFiniteExtent(const PaperFrame& frame);

// Finds every paper frame among the first lineCount lines and returns them in numbering order.
// numberingDirection is kNumberRows or kNumberColumns; like the settings file, a value below 0
// counts as rows and one above 1 as columns. Closed loops without a finite extent still take
// their lines but are left out; when rejectedFrames is given it receives their number.
std::vector<PaperFrame> DetectPaperFrames(const std::vector<LineRecord>& lines, int32_t lineCount,
                                          int numberingDirection, int32_t* rejectedFrames = nullptr);

// Puts frames into numbering order: centres snapped to a grid of half the smallest frame, then
// the order a selection sort with exchange gives, ties included. Only the rectangles move.
void OrderPaperFrames(std::vector<PaperFrame>& frames, int numberingDirection);

// The end-point index files a point (x, y) under the cells floor(x + kEndPointCellShift) and
// floor(y + kEndPointCellShift). Corners usually sit on round coordinates; the shift keeps them
// off the cell borders. Exposed so tests can aim at the borders.
inline constexpr double kEndPointCellShift = 0.3828125;

}  // namespace kelvane
