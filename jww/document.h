// The JWW drawing document: one drawing in memory, its lifecycle, load and save.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jww/images.h"
#include "jww/records.h"
#include "text/jwwstring.h"

namespace kelvane {

struct LayerGroupSetting {
  int32_t state = 0;
  int32_t writeLayer = 0;
  double scale = 0;
  int32_t protect = 0;
  JwwString name;
};

struct LayerSetting {
  int32_t state = 0;
  int32_t protect = 0;
  JwwString name;
};

struct PenSetting {
  int32_t color = 0;
  int32_t width = 0;
  int32_t printColor = 0;
  int32_t printWidth = 0;
  double printPointRadius = 0;
};

struct LineTypeSetting {
  int32_t pattern = 0;
  int32_t unitDots = 0;
  int32_t pitch = 0;
  int32_t printPitch = 0;
};

struct RandomLineSetting {
  int32_t pattern = 0;
  int32_t width = 0;
  int32_t pitch = 0;
  int32_t printWidth = 0;
  int32_t printPitch = 0;
};

struct TextKindSetting {
  double width = 0;
  double height = 0;
  double spacing = 0;
  int32_t color = 0;
};

struct ExtendedColor {
  int32_t color = 0;
  int32_t width = 0;
  JwwString name;
  int32_t printColor = 0;
  int32_t printWidth = 0;
  double printPointRadius = 0;
};

struct ExtendedLineType {
  int32_t pattern = 0;
  int32_t unitDots = 0;
  int32_t pitch = 0;
  int32_t printPitch = 0;
  JwwString name;
  int32_t segmentCount = 0;
  double pitches[11] = {};  // indexed 1 to 10
};

// A record the format reserves after the zoom jumps (from version 231), carried unchanged.
struct ReservedRecord {
  double values[3] = {};
  int32_t flag = 0;
};

// Where the eye stood in the last 2.5D views (from version 223).
struct EyeSettings {
  int32_t startFlag = 0;              // how the 2.5D view starts
  int32_t horizontalAngles[3] = {};   // perspective, bird's-eye and isometric view
  double perspectiveHeight = 0, perspectiveDistance = 0;
  double birdsEyeHeight = 0, birdsEyeDistance = 0;
  double isometricVerticalAngle = 0;
};

struct JwwHeader {
  std::string signature;  // the file's first 8 bytes
  int32_t version = 0;
  JwwString memo;
  int32_t paperSize = 0;
  int32_t writeLayerGroup = 0;
  int32_t dimensionSettings[5] = {};
  int32_t penWidthUnit = 0;
  double printOriginX = 0, printOriginY = 0;
  double printScale = 1.0;
  int32_t printRotation = 0;
  int32_t gridMode = 0;
  double gridMinSpacing = 1.0;
  double gridSpacingX = 1.0, gridSpacingY = 1.0;
  double gridBaseX = 0, gridBaseY = 0;
  double shadowLevel = 0, shadowLatitude = 0;
  int32_t shadowTimeFlag = 0;
  double wallShadowLevel = 0;
  double skyViewLevel = 0, skyViewRadius = 0;
  int32_t unit3D = 0;
  double viewScale = 1.0;
  double viewOriginX = 0, viewOriginY = 0;
  double rangeScale = 1.0;
  double rangeOriginX = 0, rangeOriginY = 0;
  double zoomJumpScale[9] = {0, 1, 1, 1, 1, 1, 1, 1, 1};  // indexed 1 to 8
  double zoomJumpX[9] = {};
  double zoomJumpY[9] = {};
  int32_t zoomJumpLayerGroup[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
  ReservedRecord reservedRecords[2];
  double parallelLineSpacings[10] = {};
  double parallelLineEndGap = 0;
  // Ten switches of drawing and printing, kept as the file holds them; the ones Kelvane reads
  // are named below (kPointRadiusSwitch...), and read through the functions after the fields.
  int32_t drawSwitches[10] = {};
  // One value on file, its ones digit and the rest: whether display-only layers print
  // (PrintsDisplayOnlyLayers), and the resolution pen widths are counted in (PenWidthDpi).
  int32_t packedSwitchOnes = 0;
  int32_t packedSwitchTens = 0;
  int32_t drawingTime = 0;
  EyeSettings eye;
  // The sizes last typed for a line, a box and a circle (from version 225).
  double lastLineLength = 0, lastBoxWidth = 0, lastBoxHeight = 0, lastCircleRadius = 0;
  // Whether solids take an RGB colour of their own, and which (from version 230).
  int32_t solidOwnColorOn = 0;
  int32_t solidDefaultColor = 0;
  double currentTextSizeX = 0, currentTextSizeY = 0, currentTextSpacing = 0;
  int32_t currentTextColor = 0, currentTextKind = 0;
  double textArrangeSpacing = 0, textArrangeCount = 0;
  int32_t textBaseShiftOn = 0;
  double textBaseShiftX[3] = {};
  double textBaseShiftY[3] = {};

  // The switches of drawSwitches that change what a drawing looks like on paper.
  static constexpr size_t kPointRadiusSwitch = 1;  // not 0: points print as discs of their pen's point radius
  static constexpr size_t kDrawOrderSwitch = 2;    // ones digit: what is drawn before everything else
  static constexpr size_t kColorPrintSwitch = 5;   // 1: the drawing prints in colour
  // The ones digit of kDrawOrderSwitch.
  static constexpr int32_t kImagesAndSolidsFirst = 1, kSolidsFirst = 2;
  // packedSwitchOnes when display-only layers (state 1) are left off the print; packedSwitchTens
  // when pen widths are counted in dots of 600 dpi rather than 300.
  static constexpr int32_t kDisplayOnlyLayersUnprinted = 1, kPenWidthsAt600Dpi = 2;

  bool PointsAsPenRadius() const { return drawSwitches[kPointRadiusSwitch] != 0; }
  int32_t DrawnFirst() const { return drawSwitches[kDrawOrderSwitch] % 10; }
  bool PrintsInColor() const { return drawSwitches[kColorPrintSwitch] == 1; }
  bool PrintsDisplayOnlyLayers() const { return packedSwitchOnes != kDisplayOnlyLayersUnprinted; }
  double PenWidthDpi() const { return packedSwitchTens == kPenWidthsAt600Dpi ? 600.0 : 300.0; }
};

// Version thresholds of the format, named once.
inline bool IsSupportedVersion(int32_t v) { return v >= 220; }
inline bool HasDrawingTime(int32_t v) { return v >= 223; }
inline bool HasLastSizes(int32_t v) { return v >= 225; }
inline bool HasSolidColorDefault(int32_t v) { return v >= 230; }
inline bool HasLongZoomJumps(int32_t v) { return v >= 231; }
inline bool HasSkyView(int32_t v) { return v >= 300; }
inline bool HasPenWidth(int32_t v) { return v >= 351; }
inline bool HasSxfPart(int32_t v) { return v >= 420; }  // also: extended colours and line types
inline bool HasPackedSwitchTens(int32_t v) { return v >= 600; }
inline bool HasImages(int32_t v) { return v >= 700; }

// Where and why a load or save stopped, kept for diagnostics only.
struct JwwDiagnostics {
  uint64_t bytesRead = 0;  // reader position when the load ended
  uint64_t errorOffset = 0;
  std::string reason;      // empty when the operation succeeded
  int ansiStrings = 0;     // strings read in the single-byte form
  int unicodeStrings = 0;  // strings read in the archive's Unicode form
};

// One sheet of a drawing as it is written: some of the drawing's own entities, moved by the
// frame's centre as they are written, and lines added for the sheet. The drawing itself is
// never changed, so every coordinate is written as (source value - centre), computed once.
struct SheetView {
  std::vector<EntityRef> order;         // drawing entities on the sheet, in drawing order
  double centerX = 0, centerY = 0;      // subtracted from every position written
  std::vector<LineRecord> extraLines;   // in drawing coordinates, written after the entities
};

class JwwDocument : public EntityLists {
 public:
  JwwHeader header;
  std::vector<LayerGroupSetting> layerGroups;
  std::vector<LayerSetting> layers;
  std::vector<PenSetting> pens;
  std::vector<LineTypeSetting> lineTypes;
  std::vector<RandomLineSetting> randomLineTypes;
  std::vector<LineTypeSetting> doubleLineTypes;
  std::vector<ExtendedColor> extendedColors;
  std::vector<ExtendedLineType> extendedLineTypes;
  std::vector<TextKindSetting> textKinds;
  std::vector<BlockDefinition> blockDefs;
  std::vector<BlockTreeEntry> blockTree;
  int32_t usedBlockDefCount = 0;
  EmbeddedImages images;  // read from version 700 on; written into every sheet that names them

  JwwDiagnostics diagnostics;

  JwwDocument();
  ~JwwDocument();
  JwwDocument(const JwwDocument&) = delete;
  JwwDocument& operator=(const JwwDocument&) = delete;

  int32_t BlockDefCount() const { return static_cast<int32_t>(blockDefs.size()); }
  int32_t BlockTreeCount() const { return static_cast<int32_t>(blockTree.size()); }
  // True when the drawing's strings were read in the archive's Unicode form: strings the
  // program makes up (names, frame texts) are then written in that form too.
  bool UnicodeStrings() const { return header.memo.unicode; }

  void Clear();
  void Release();
  static bool IsJwwFile(const std::filesystem::path& path);
  bool LoadFromFile(const std::filesystem::path& path);
  // Loads from bytes in memory (the fuzz target and tests); same rules as a file.
  bool LoadFromBytes(const uint8_t* data, size_t size);
  bool SaveToFile(const std::filesystem::path& path, int32_t version);
  // Writes one sheet of the drawing: the header and block definitions as SaveToFile does,
  // the entities of the view.
  bool SaveSheet(const std::filesystem::path& path, int32_t version, const SheetView& sheet);
  int32_t MapBlockNumber(int32_t number) const;

  // Marks the block definitions that insertions reach and numbers them; a load does this.
  void NormaliseBlocks();
  // Sizes the nine settings arrays as a load does (for drawings built in memory).
  void SizeSettingsArrays();

 private:
  bool Save(const std::filesystem::path& path, int32_t version, const SheetView* sheet);
};

}  // namespace kelvane
