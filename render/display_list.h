// A picture of a drawing as plain data in paper millimetres, for any backend to replay: cairo
// writes PNG, SVG and PDF from it, and a GDI preview can draw the same list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drawing/page_geometry.h"
#include "text/jwwstring.h"

namespace kelvane {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// A run of consecutive entries in one of the list's pools.
struct Span {
  uint32_t first = 0, count = 0;
};

// How a stroke is drawn. Lengths (width, dashes, offset) are page millimetres, or output pixels
// when devicePixels is set (screen-like pictures, whose lines keep their width however far the
// page is scaled). Width 0 is the thinnest line the output can draw. Strokes of one pen, line
// type and width share one style: there are millions of strokes and a handful of styles.
struct StrokeStyle {
  Rgb color;
  bool devicePixels = false;
  float width = 0;
  Span dashes;           // into DisplayList::dashes: on, off, on, off...; empty for a solid line
  float dashOffset = 0;  // how far into the dash pattern the line starts
};

// An open or closed polyline.
struct Stroke {
  Span points;              // into DisplayList::points
  uint32_t style : 31 = 0;  // into DisplayList::strokeStyles
  uint32_t closed : 1 = 0;
};

// A filled area of one or more closed rings (into DisplayList::rings), even-odd: a ring inside
// another is a hole.
// A stroke that is an arc of an ellipse, as exactly as the page takes it: the unit circle's arc
// from `start` over `sweep` (radians) under x = a·cos t + c·sin t + e, y = b·cos t + d·sin t + f.
// The stroke's points are that arc cut into segments within kArcTolerance; a backend that draws
// curves may draw this instead.
struct StrokeArc {
  uint32_t stroke = 0;  // into the list's strokes; ascending through the list
  float a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
  float start = 0, sweep = 0;
};

// The layer the items of a list are on from `first` (an index into its order) until the next
// run: group · 16 + layer, or kNoLayer for items of no one layer (a placed part of the list).
constexpr uint16_t kNoLayer = 0xFFFF;
struct LayerRun {
  uint32_t first = 0;
  uint16_t layer = kNoLayer;
};

struct Fill {
  Rgb color;
  Span rings;
};

struct TextRun {
  Rgb color;
  bool unicode = false;  // how the glyph codes are to be read
  bool bold = false, italic = false;
  uint32_t font = 0;     // into DisplayList::fonts: the font name as the drawing stores it
  Span glyphs;           // into DisplayList::glyphs
};

// A raster image placed on the parallelogram origin + s·across + t·up (s, t in 0..1); only the
// part clip (fractions of the image from its lower-left corner) is shown.
struct Picture {
  uint32_t source = 0;  // into DisplayList::imageSources: the reference as the drawing stores it
  Vec2 origin, across, up;
  double clipX = 0, clipY = 0, clipWidth = 1, clipHeight = 1;
};

// Another list drawn here, moved by (dx, dy) millimetres: a block whose members look the same
// wherever it is inserted, or a run of a large drawing that another thread put together.
struct Placement {
  uint32_t list = 0;  // into DisplayList::sublists
  double dx = 0, dy = 0;
};

enum class ItemKind : uint8_t { kStroke, kFill, kText, kPicture, kPlacement };

struct ItemRef {
  ItemKind kind;
  uint32_t index;  // into the vector of that kind
};

struct DisplayList {
  double width = 0, height = 0;  // the page, in millimetres
  Rgb background{255, 255, 255};
  std::vector<ItemRef> order;  // drawing order: later items cover earlier ones

  std::vector<Stroke> strokes;
  std::vector<Fill> fills;
  std::vector<TextRun> texts;
  std::vector<Picture> pictures;
  std::vector<Placement> placements;

  std::vector<PagePoint> points;
  std::vector<Span> rings;  // each a closed ring of points
  std::vector<StrokeArc> arcs;  // the strokes among these that are whole arcs of ellipses
  std::vector<LayerRun> layers;  // ascending by first; before the first run, no layer
  std::vector<Glyph> glyphs;

  // Shared by the list and every list placed in it, directly or not: a sublist's items index
  // these of the outermost list, and its own are empty. No sublist places itself, however
  // indirectly.
  std::vector<StrokeStyle> strokeStyles;
  std::vector<double> dashes;
  std::vector<JwwString> fonts;
  std::vector<JwwString> imageSources;
  std::vector<DisplayList> sublists;
  // The drawing's layer names as Jw_cad shows them: 16 group names, then 256 layer names
  // (group · 16 + layer); empty when the list says nothing of layers.
  std::vector<JwwString> layerNames;

  // Entities left out for non-finite or absurd values; the rest is drawn around them.
  uint64_t skippedEntities = 0;
  // Block expansion went past its budget and stopped: the list is incomplete, not to be shown.
  bool overBudget = false;
};

// The command line's texts for a list over budget, and for entities left out ("" when none).
std::string OverBudgetMessage();
std::string SkippedEntitiesWarning(const DisplayList& list);

// Whether a backend can draw the picture: finite, no larger than a hundred pages of the list,
// and not flat. Anything else puts cairo into its error state, and lands anywhere through GDI's
// single-precision transform.
bool PictureIsDrawable(const Picture& picture, const DisplayList& list);

// The bounds of everything drawn; false when nothing is.
bool DrawnBounds(const DisplayList& list, double& minX, double& minY, double& maxX, double& maxY);

// Moves every item by (dx, dy).
void Translate(DisplayList& list, double dx, double dy);

}  // namespace kelvane
