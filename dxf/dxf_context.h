// What the parts of one DXF file share while it is written: the drawing, the output, and the
// layers, line types, text styles and blocks the entities use.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "drawing/block_table.h"
#include "drawing/text_layout.h"
#include "dxf/dxf_sink.h"
#include "dxf/dxf_writer.h"
#include "jww/document.h"

namespace kelvane {

// Where the entities of one list go: their owner, how positions move and scale.
struct DxfPlacement {
  uint64_t owner = 0;        // the block record the entities belong to (model space: not written)
  double centerX = 0, centerY = 0;  // subtracted first
  bool trueSize = false;     // times the entity's layer-group scale (the drawing's own entities)
  int32_t definition = -1;   // the block definition whose members these are, or -1
};

struct DxfColor {
  int aci = 7;          // 1-255, or 7 for anything unknown
  int32_t rgb = -1;     // a true colour (0xRRGGBB), or -1
};

struct DxfTextStyle {
  std::string name;  // encoded
  std::string file;  // TrueType file name
  std::string family;
  bool vertical = false;
  // The height of its capitals against its em, in the face it prints in: DXF readers take a
  // text's height as its capitals'.
  double capHeight = 0.75;
};

class DxfContext {
 public:
  DxfContext(const JwwDocument& doc, const DxfOptions& options);

  const JwwDocument& doc;
  const DxfOptions& options;
  DxfSink sink;

  // Registers and answers the names entities refer to. The layer of an entity is its own, or
  // for an auxiliary entity (never printed) its own's non-plotting twin; a block member on a
  // layer the print does not show goes on "0", where readers give it the insert's layer, as
  // Jw_cad's print shows a block's members with their insert.
  const std::string& LayerOf(const EntityAttributes& a, const DxfPlacement& p, bool auxiliary);
  // The key of that layer: group * 16 + layer, plus kAuxiliaryLayers for the twin; -1 for "0".
  int LayerKeyOf(const EntityAttributes& a, const DxfPlacement& p, bool auxiliary) const;
  static constexpr int kAuxiliaryLayers = 256;
  // Whether Jw_cad prints the entities of a layer (group * 16 + layer): group and layer shown,
  // and display-only ones unless the drawing leaves those off the print.
  bool LayerPrinted(size_t key) const { return key < 256 && printed_[key]; }
  bool LayerShown(size_t key) const { return key < 256 && shown_[key]; }
  const std::string* LineTypeOf(int penStyle);  // null for a solid line
  const DxfTextStyle& StyleOf(const JwwString& font, bool vertical);
  const DxfColor& ColorOf(int penColor);
  // The nearest colour index of a true colour (0xRRGGBB), for versions without true colour.
  int AciOf(int32_t rgb);
  // A Jw_cad name as a DXF symbol name: characters no symbol may hold become "_" before it is
  // encoded, and characters the file's code page lacks too, since "\U+" is no symbol's.
  std::string SymbolOf(const JwwString& name);
  int LineWeightOf(const EntityAttributes& a);  // in 1/100 mm, one of DXF's weights
  double ScaleOf(const EntityAttributes& a) const { return a.layerGroup < 16 ? scales_[a.layerGroup] : 1.0; }
  // The definition a block number names, or -1.
  int32_t DefinitionOf(int32_t blockNumber) const { return blocks_.DefinitionOf(blockNumber); }

  // Used layers by key (group * 16 + layer), and the rest in order of first use.
  std::array<bool, 512> layerUsed{};
  std::array<std::string, 512> layerNames;
  std::map<int, std::string> lineTypes;  // pen style -> name, for those used
  std::vector<DxfTextStyle> styles;
  std::vector<std::string> blockNames;        // encoded, per definition
  std::vector<uint64_t> blockRecords;         // handle per definition (0: not written)
  std::vector<bool> blockUsed;                // per definition: written in this file
  // Inserts (from definition, of definition) left out: each would close a cycle of blocks.
  std::set<std::pair<int32_t, int32_t>> cutInserts;
  std::vector<DxfImageFile> imageFiles;
  std::map<int32_t, size_t> embeddedFiles;  // embedded image -> its file in imageFiles
  struct ImageDef {
    std::string path;   // encoded
    int pixelsX = 1, pixelsY = 1;
    uint64_t handle = 0, reactor = 0;
    uint64_t image = 0;  // the IMAGE it belongs to
  };
  std::vector<ImageDef> imageDefs;
  uint64_t modelSpace = 0, paperSpace = 0;
  // The sheet's paper in millimetres, and the scale that takes it to true size.
  double paperWidth = 420, paperHeight = 297, paperScale = 1;
  // Gathered as model space is written, for the paper: entities per layer group, and how far
  // lines reach from the centre in paper millimetres.
  std::array<size_t, 16> inGroup{};
  double lineReachX = 0, lineReachY = 0;
  // The last text of an entity's head after its handle, for strokes and for the rest: runs of
  // entities of one layer and pen share it, and it is copied instead of made again.
  struct HeadTail {
    bool known = false;
    uint64_t owner = 0;
    int layerKey = 0;
    uint16_t penColor = 0, penWidth = 0;
    uint8_t penStyle = 0;
    double scale = 0;
    int32_t ownRgb = -1;
    std::string bytes;
  };
  HeadTail headTails[2];
  TextLayoutBuffers textBuffers;  // kept between texts: measuring them allocates nothing

 private:
  std::array<double, 16> scales_{};
  std::map<std::string, size_t> styleIndex_;
  size_t lastStyle_ = ~size_t(0);
  bool lastVertical_ = false;
  JwwString lastFont_;
  std::vector<DxfColor> colors_;
  std::vector<bool> colorKnown_;
  std::vector<int> penWeights_;  // per pen colour, for entities of no width of their own
  int WeightOf(const EntityAttributes& a) const;
  BlockTable blocks_;
  std::array<bool, 256> printed_{}, shown_{};
  std::map<int32_t, int> aciOf_;
  std::array<std::string, 256> lineTypeNames_;  // "" for a solid line
  bool lineTypesNamed_ = false;
  void NameLineTypes();
  std::set<std::string> styleNames_;
};

// The entities of one list (the drawing's, or a block's), in their order.
void WriteDxfEntities(DxfContext& c, const EntityLists& lists, const std::vector<EntityRef>& order, size_t count,
                      const DxfPlacement& place);
void WriteDxfLine(DxfContext& c, const LineRecord& line, const DxfPlacement& place);

// Handles of the file's fixed parts, given out before anything else.
struct DxfFixedHandles {
  uint64_t root, groups, layouts, modelLayout, paperLayout, blockTable;
};

// The sections around the blocks and entities, written after them: they list what those used.
void WriteDxfHeader(DxfContext& c, uint64_t handseed);
void WriteDxfTables(DxfContext& c, const DxfFixedHandles& fixed);
void WriteDxfObjects(DxfContext& c, const DxfFixedHandles& fixed);

struct Xy {
  double x, y;
};

// Where a drawing position goes in the file: moved by the sheet's centre, then to true size.
Xy At(const DxfPlacement& p, double scale, double x, double y);
// The entity's scale to true size: its layer group's for the drawing's own entities, else 1.
double ScaleFor(const DxfContext& c, const DxfPlacement& p, const EntityAttributes& a);
// The part every entity starts with: kind, handle, owner, layer and colour (`ownRgb` a true
// colour of the entity's own, or -1), and for strokes the line type and weight. `auxiliary`:
// 1 an auxiliary entity, 0 never one (inserts), -1 as its colour and line type say.
void Head(DxfContext& c, const char* kind, const EntityAttributes& a, const DxfPlacement& p, bool stroke,
          double scale, int32_t ownRgb = -1, int auxiliary = -1);

// An ellipse of Jw_cad's form C + Rot(tilt)·(r cos t, r·f sin t), t from start over sweep, in
// DXF's: a major axis, a ratio at most 1 and parameters from the major axis, counter-clockwise.
struct EllipseForm {
  double majorX = 0, majorY = 0, ratio = 1;
  double start = 0, end = 6.283185307179586;  // parameters, radians
  bool circle = false;                         // flatness 1: a circle or circular arc
  double radius = 0;
  double startAngle = 0, endAngle = 360;  // a circle's, degrees from the x axis
};
EllipseForm FormOf(double r, double flat, double tilt, double start, double sweep, bool full);

struct ImageReference;
void WriteDxfSolid(DxfContext& c, const SolidRecord& solid, const DxfPlacement& p);
// Adds the embedded images the texts of `order` stand for (dimensions' texts among them) to
// `found`, each once: the drawing's image index and whether its reference names gzip data.
void CollectDxfEmbeddedImages(const JwwDocument& doc, const EntityLists& l, const std::vector<EntityRef>& order,
                              size_t count, std::vector<std::pair<int32_t, bool>>& found);
void WriteDxfImage(DxfContext& c, const TextRecord& t, const JwwString& text, const ImageReference& ref,
                   const DxfPlacement& p);

// A symbol name as readers compare them: ASCII letters in one case. (Shift_JIS trail bytes that
// are letters fold too, which makes two names the same at worst, never two the same differ.)
std::string SymbolKey(std::string name);

// A line type's dashes in paper millimetres, positive drawn, negative left out: one period,
// from the start of a dash. Empty for a solid line.
std::vector<double> DxfDashes(const JwwDocument& doc, int type);

// The characters of a Jw_cad text as a reader shows them: control sequences left out.
JwwString PlainText(const JwwString& text);
// Characters a DXF reader would take for a special sequence of TEXT ("%%d", "^J", "\\U+0041")
// escaped, so that it shows them as they are.
JwwString EscapedText(const JwwString& text);

}  // namespace kelvane
