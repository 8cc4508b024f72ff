// Entity records of a JWW drawing: packed, little-endian, laid out like their file form. A text
// (and a dimension's text) keeps only its fixed part here: its two strings follow that part on
// file, and in memory they live beside the record, in textStrings / dimensionStrings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "text/jwwstring.h"

namespace kelvane {

// Entity kinds of the order list. The writer and the renderer skip an entry of any other kind.
enum EntityKind : int32_t {
  kLine = 1,
  kArc = 2,
  kPoint = 3,
  kText = 4,
  kDimension = 5,
  kSolid = 6,
  kBlockInsert = 7,
  kBlockDefKind = 8,  // only for the prefix check when writing a definition
};

// Pen colours (penColor): 1-9 the header's pens, 9 among them the auxiliary colour, which is
// never printed; 10, for solids only, an RGB colour of the solid's own; 101-356 the extended
// (SXF) colours, of which 101-116 are SXF's standard ones.
inline constexpr uint16_t kLastPenColor = 9;
inline constexpr uint16_t kAuxiliaryColor = 9;
inline constexpr uint16_t kOwnRgbColor = 10;
inline constexpr uint16_t kFirstSxfColor = 101;
inline constexpr uint16_t kLastStandardSxfColor = 116;
inline constexpr uint16_t kLastSxfColor = 356;
inline constexpr bool IsPenColor(int c) { return c >= 1 && c <= kLastPenColor; }
inline constexpr bool IsSxfColor(int c) { return c >= kFirstSxfColor && c <= kLastSxfColor; }
// The extended colour setting of an SXF colour: setting 0 stands for colour 100.
inline constexpr int SxfColorSetting(int c) { return c - (kFirstSxfColor - 1); }

// Line types (penStyle of lines and arcs): 1 solid, 2-9 the header's patterns with 9 the
// auxiliary line, 11-15 random lines, 16-19 double-length patterns, 31-62 the SXF types.
inline constexpr uint8_t kSolidLineType = 1;
inline constexpr uint8_t kFirstPatternLineType = 2;
inline constexpr uint8_t kAuxiliaryLineType = 9;
inline constexpr uint8_t kFirstRandomLineType = 11;
inline constexpr uint8_t kFirstDoubleLineType = 16;
inline constexpr uint8_t kAuxiliaryDoubleLineType = 19;
inline constexpr uint8_t kFirstSxfLineType = 31;
inline constexpr uint8_t kLastSxfLineType = 62;
inline constexpr bool IsPatternLineType(int s) { return s >= kFirstPatternLineType && s <= kAuxiliaryLineType; }
inline constexpr bool IsDoubleLineType(int s) { return s >= kFirstDoubleLineType && s <= kAuxiliaryDoubleLineType; }
inline constexpr bool IsSxfLineType(int s) { return s >= kFirstSxfLineType && s <= kLastSxfLineType; }
inline constexpr bool IsKnownLineType(int s) {
  return (s >= kSolidLineType && s <= kAuxiliaryLineType) || (s >= kFirstRandomLineType && s <= kAuxiliaryDoubleLineType) ||
         IsSxfLineType(s);
}
// The extended line-type setting of an SXF type: setting 0 stands for type 30.
inline constexpr int SxfLineTypeSetting(int s) { return s - (kFirstSxfLineType - 1); }

// A point whose penStyle is kMarkerPoint carries a marker code, rotation and scale on file.
inline constexpr uint8_t kMarkerPoint = 100;
// A text's penStyle is its base point, 1-9.
inline constexpr uint8_t kLastTextBasePoint = 9;

// Solid styles: up to kLastQuadSolid a filled quadrilateral; above it an arc solid, whose
// eighth double is its mode (or, for a ring, its inner radius).
inline constexpr uint8_t kLastQuadSolid = 100;
inline constexpr uint8_t kArcSolid = 101;
inline constexpr uint8_t kRingSolid = 105;
inline constexpr uint8_t kEvenRingSolid = 106;        // a ring as wide on both axes
inline constexpr uint8_t kCircumferenceSolid = 111;  // its shape is open
inline constexpr bool IsArcSolid(int style) { return style > kLastQuadSolid; }
// Modes of an arc solid; any other mode of kArcSolid is a sector.
inline constexpr int kSegmentMode = 5;        // arc and chord
inline constexpr int kFullDiscMode = 100;
inline constexpr int kOuterArcMode = -1;      // between the arc and its end tangents' corner

#pragma pack(push, 1)

struct EntityAttributes {
  uint32_t group;
  uint8_t penStyle;
  uint16_t penColor;
  uint16_t penWidth;  // absent before version 351, held as 0
  uint16_t layer;
  uint16_t layerGroup;
  uint16_t flags;
};

struct LineRecord {
  EntityAttributes attr;
  double startX, startY, endX, endY;
};

struct ArcRecord {
  EntityAttributes attr;
  double centerX, centerY, radius, startAngle, arcAngle, tiltAngle, flatness;
  int32_t fullCircle;
};

struct PointRecord {
  EntityAttributes attr;
  double x, y;
  int32_t temporary;
  // Extension, on file only when penStyle is 100.
  int32_t code;
  double rotation, scale;
};

struct TextRecord {
  EntityAttributes attr;
  double startX, startY, endX, endY;
  int32_t textType;
  double sizeX, sizeY, spacing, angle;
  // On file the font name and the text follow; see TextStrings.
};

struct DimensionRecord {
  EntityAttributes attr;
  LineRecord line;
  TextRecord text;
  uint16_t sxfMode;  // 0 before version 420
  LineRecord auxLine1, auxLine2;
  PointRecord auxPoint1, auxPoint2, auxPoint3, auxPoint4;
};

struct SolidRecord {
  EntityAttributes attr;
  // For an arc-shaped solid (penStyle above 100) the eight doubles are centre x, centre y,
  // radius, flatness, tilt, start angle, swept angle and a shape code.
  double x1, y1, x2, y2, x3, y3, x4, y4;
  int32_t color;  // RGB, on file only when penColor is 10
};

struct BlockInsertRecord {
  EntityAttributes attr;
  double refX, refY, scaleX, scaleY, rotation;
  int32_t blockNumber;
};

struct EntityRef {
  int32_t kind;
  int32_t index;
};

// The fixed head of a block definition, as on file from version 351.
struct BlockDefHead {
  EntityAttributes attr;
  int32_t number;
  int32_t referenced;
  int32_t timeStamp;
};

#pragma pack(pop)

static_assert(sizeof(EntityAttributes) == 15);
static_assert(sizeof(LineRecord) == 47);
static_assert(sizeof(ArcRecord) == 75);
static_assert(sizeof(PointRecord) == 55);
// A text's fixed part, read and written in one block; its strings are not in the record.
static_assert(sizeof(TextRecord) == 83);
// Not its file form in one piece: on file the text's strings sit after `text`.
static_assert(sizeof(DimensionRecord) == 461);
static_assert(sizeof(SolidRecord) == 83);
static_assert(sizeof(BlockInsertRecord) == 59);
static_assert(sizeof(EntityRef) == 8);
static_assert(sizeof(BlockDefHead) == 27);
static_assert(offsetof(TextRecord, angle) == 75);
static_assert(offsetof(DimensionRecord, sxfMode) == 145 && offsetof(DimensionRecord, auxPoint1) == 241);
static_assert(offsetof(SolidRecord, color) == 79 && offsetof(BlockInsertRecord, blockNumber) == 55);
static_assert(offsetof(PointRecord, code) == 35 && offsetof(ArcRecord, fullCircle) == 71);

// The whole strings of a text (or a dimension's text), kept beside its record, never cut.
struct TextStrings {
  JwwString fontName;
  JwwString text;
};

// The seven entity arrays with their order list; the drawing and every block definition hold one.
struct EntityLists {
  std::vector<EntityRef> order;  // only the first `entityCount` entries are valid
  int32_t entityCount = 0;
  std::vector<LineRecord> lines;
  std::vector<ArcRecord> arcs;
  std::vector<PointRecord> points;
  std::vector<TextRecord> texts;
  std::vector<TextStrings> textStrings;  // parallel to texts
  std::vector<DimensionRecord> dimensions;
  std::vector<TextStrings> dimensionStrings;  // parallel to dimensions
  std::vector<SolidRecord> solids;
  std::vector<BlockInsertRecord> blockInserts;

  int32_t LineCount() const { return static_cast<int32_t>(lines.size()); }
  int32_t ArcCount() const { return static_cast<int32_t>(arcs.size()); }
  int32_t PointCount() const { return static_cast<int32_t>(points.size()); }
  int32_t TextCount() const { return static_cast<int32_t>(texts.size()); }
  int32_t DimensionCount() const { return static_cast<int32_t>(dimensions.size()); }
  int32_t SolidCount() const { return static_cast<int32_t>(solids.size()); }
  int32_t BlockInsertCount() const { return static_cast<int32_t>(blockInserts.size()); }
  void ClearEntities();
};

struct BlockDefinition {
  BlockDefHead head;
  JwwString name;
  EntityLists entities;  // its own order list and arrays
  bool used = false;
  int32_t newNumber = -1;

  // By value: a reference to a field of a packed record would be misaligned.
  int32_t number() const { return head.number; }
};

struct BlockTreeEntry {
  int32_t blockNumber;
  int32_t definition;  // index into blockDefs, -1 when no definition has the number
};

}  // namespace kelvane
