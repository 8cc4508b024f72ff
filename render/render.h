// Turning a drawing, or one sheet of it, into a display list in paper millimetres.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "drawing/block_table.h"
#include "drawing/draw_order.h"
#include "drawing/page_geometry.h"
#include "drawing/paper.h"
#include "drawing/text_layout.h"
#include "jww/document.h"
#include "render/display_list.h"
#include "render/ellipse.h"
#include "split/frames.h"

namespace kelvane {

enum class PictureStyle {
  kMonochrome,  // as Jw_cad prints in black: print widths, no auxiliary lines
  kColor,       // as Jw_cad prints in colour: print colours and widths
  kPlan,        // as the screen shows it: screen colours and widths, auxiliary lines faint
};

// The style of a printed picture: colour when the user asks for it (`color` true), black when
// they ask for that (false), and otherwise as the drawing's colour-print switch says
// (JwwHeader::PrintsInColor).
PictureStyle PrintStyle(const JwwDocument& doc, std::optional<bool> color);

// How many entries a part of a drawing adds to each pool of a display list, at most (but for the
// blocks drawn in place).
struct PoolCounts {
  size_t items = 0, strokes = 0, fills = 0, texts = 0, points = 0, rings = 0, glyphs = 0, placements = 0;
};

// Adds a drawing's entities to a display list through a transform from drawing to page.
class DisplayListBuilder {
 public:
  DisplayListBuilder(const JwwDocument& doc, PictureStyle style, DisplayList& out);

  // Draws the first `count` entries of the order of `lists` (the drawing or a block definition),
  // in DrawingOrder.
  // With more than one thread the entries are cut into equal runs; every run but the first is
  // drawn by a thread of its own into a list that is then placed where the run belongs. The
  // items drawn, and their order, are the same as one thread draws.
  void AddEntities(const EntityLists& lists, const std::vector<EntityRef>& order, size_t count, const Affine& m,
                   int threads = 1);
  void AddEntity(const EntityLists& lists, EntityRef e, const Affine& m);
  // The items of the list from `first` on are on the layer (group · 16 + layer, or kNoLayer).
  void MarkLayer(size_t first, uint16_t layer);
  void AddLine(const LineRecord& line, const Affine& m);

  // Items of the program's own (plan labels): not from the drawing.
  void AddPolyline(const std::vector<Vec2>& pagePoints, bool closed, Rgb color, double width, bool devicePixels);
  void AddPolygon(const std::vector<Vec2>& pagePoints, Rgb color);
  // A text laid out as Jw_cad lays it out, in the given font name and colour, on the page;
  // returns its end point.
  Vec2 AddText(const TextRecord& record, const JwwString& text, const JwwString& font, Rgb color);

 private:
  // How a line of some pen, line type and width is drawn.
  struct LineLook {
    Rgb color;
    double width = 0;
    bool devicePixels = false;
    std::vector<double> dashes;
    double dashOffset = 0;
    uint32_t style = 0;  // its entry in the list's stroke styles
    bool shown = true;
    // A stroke longer than the square root of this has so many dashes that drawing them would
    // cost more than the rest of the picture: it is drawn solid.
    double solidPast2 = std::numeric_limits<double>::infinity();
    bool capDashes = false;  // whether solidPast2 is finite, for a test of one byte
    mutable uint32_t solidStyle = ~0u;  // the same look undashed, once a stroke has needed it
  };
  // A block definition and the linear part of the map its members are drawn through.
  struct BlockKey {
    uint32_t definition;
    double a, b, c, d;
    bool operator==(const BlockKey& o) const;
  };
  struct BlockKeyHash {
    size_t operator()(const BlockKey& k) const;
  };
  // What blockLists_ holds for a block inserted once so far, whose list is being drawn, or
  // that draws nothing.
  static constexpr uint32_t kSeenOnce = ~uint32_t(0), kBeingDrawn = ~uint32_t(0) - 1,
                            kDrawsNothing = ~uint32_t(0) - 2;

  // How lines look, by pen, line type and style (line_looks.cpp).
  bool Visible(const EntityAttributes& a) const;
  bool Look(const EntityAttributes& a, LineLook& look) const;
  // The look's dashes from the entity's line type, in page millimetres (screen: pixels).
  void LookDashes(int penStyle, LineLook& look) const;
  const LineLook* CachedLook(const EntityAttributes& a);
  uint32_t AddStyle(const LineLook& look);
  Rgb ColorOf(int32_t color, bool faint, bool keepColor = false) const;
  // The look's style without its dashes.
  uint32_t SolidStyle(const LineLook& look);
  Rgb SolidColor(const SolidRecord& s, bool auxiliary) const;

  // The records as items of the list (render.cpp).
  void StrokePoints(const std::vector<Vec2>& pts, bool closed, const LineLook& look);
  // A stroke of the points appended to the list's pool from `firstPoint` on.
  void StrokeFrom(uint32_t firstPoint, bool closed, const LineLook& look);
  void StrokeWith(uint32_t firstPoint, bool closed, uint32_t style);
  // A ring of the points appended from `firstPoint` on (dropped when fewer than three).
  void EndRing(uint32_t firstPoint);
  // A fill of the rings added from `firstRing` on.
  void FillFrom(uint32_t firstRing, Rgb color);
  // FillFrom for a solid's rings from `firstPoint` on; a solid with an unusable point is left out.
  void FillSolid(uint32_t firstRing, uint32_t firstPoint, Rgb color);
  // Counts an entity left out for its values.
  void Skip() { ++root_.skippedEntities; }
  void AddTextRecord(const TextRecord& t, const TextStrings& s, const Affine& m, bool checkLayer);
  void AddDimension(const DimensionRecord& d, const TextStrings& s, const Affine& m);
  // The image a text refers to, its lower-left corner at the text's start.
  void AddPicture(const TextRecord& t, const ImageReference& ref, const Affine& m);
  void AddSolid(const SolidRecord& s, const Affine& m);
  uint32_t FontIndex(const JwwString& font);

  // The page: strokes cut near it, huge ellipses off it culled, broken values left out (page_clipping.cpp).
  // The page culled against and the box strokes are kept within; none when 0 by 0.
  void SetPage(double width, double height);
  // A stroke of the points from `firstPoint` on, cut to the part near the page: none, one or more.
  void StrokeNear(uint32_t firstPoint, bool closed, uint32_t style);
  // Whether a large ellipse (the page map of the unit circle) keeps wholly off the page.
  bool OffPage(const Affine& k) const;
  bool UsablePoints(uint32_t firstPoint) const;
  // Whether a text's cells from `firstGlyph` on (at least one) can be drawn.
  bool UsableText(uint32_t firstGlyph) const;

  // The entities drawn as ellipse pieces (arcs.cpp).
  void AddArc(const ArcRecord& arc, const Affine& m);
  void AddPoint(const PointRecord& point, const Affine& m);
  // The ring, arc and disc solids, whose shapes are ellipse pieces.
  void AddArcSolid(const SolidRecord& s, const Affine& m, Rgb color);

  // Blocks drawn once and placed, within the member budget (block_lists.cpp).
  void AddInsert(const BlockInsertRecord& b, const Affine& m);
  void AddMembers(const BlockDefinition& def, const Affine& m);
  // Draws a block's members about its reference point into a new sublist; its index, or
  // kDrawsNothing for a block that draws nothing.
  uint32_t DrawBlockList(uint32_t definition, const Affine& whole);
  // Counts `members` more block members drawn; false (and the list marked) once past the budget.
  bool Spend(uint64_t members);
  // Adds the members counted since the last call to the count the drawing threads share.
  void ShareSpent();

  // Drawing on threads and merging their lists (threaded_drawing.cpp).
  void AddRange(const EntityLists& lists, const std::vector<EntityRef>& order, size_t from, size_t to,
                const Affine& m);
  // AddEntities in `runs` runs, the first by this thread and each other by a thread of its own.
  void AddRuns(const EntityLists& lists, const std::vector<EntityRef>& order, size_t count, const Affine& m,
               size_t runs);
  // Draws a list built by another builder here, its shared tables and sublists moved into this list's.
  void AddPart(DisplayList&& part);
  // Draws `list` here, moved by (dx, dy), as a sublist of this one.
  void Place(DisplayList&& list, double dx, double dy);

  // Room made in the pools before drawing (pool_reservation.cpp).
  // Makes room for the entries `from` to `count` of the order of `lists`, so that the list's
  // pools are not copied as they grow.
  void Reserve(const EntityLists& lists, const std::vector<EntityRef>& order, size_t count, const Affine& m,
               size_t from = 0);
  PoolCounts Count(const EntityLists& lists, const std::vector<EntityRef>& order, size_t from, size_t count,
                   const Affine& m) const;

  const JwwDocument& doc_;
  PictureStyle style_;
  DisplayList& root_;  // the list being built, which holds the shared tables
  DisplayList* out_;   // where items go: the root, or the list of a block being drawn
  BlockTable blocks_;
  std::array<bool, 256> layerShown_;  // by group · 16 + layer, in this picture's style
  int depth_ = 0;
  std::unordered_map<uint64_t, LineLook> looks_;
  uint64_t lastLookKey_ = ~uint64_t(0);  // the look asked for last, most often asked for again
  const LineLook* lastLook_ = nullptr;
  TextLayoutBuffers textBuffers_;
  std::unordered_map<BlockKey, uint32_t, BlockKeyHash> blockLists_;  // into the root's sublists
  ArcCut arcCut_;
  double pageWidth_ = 0, pageHeight_ = 0;  // the page entities are culled against; none when 0
  Vec2 nearLo_, nearHi_;  // strokes reaching outside are cut to this box (or left out as absurd)
  uint64_t memberBudget_ = 0;               // block members that may be drawn, every placement counted
  uint64_t membersDrawn_ = 0;
  // The budget holds for the whole drawing, however many threads draw it: each thread counts
  // alone and adds its count to the shared one every kShareStep members, so the work stays within
  // the budget and a step per thread, and the threads rarely touch the shared count.
  std::atomic<uint64_t>* sharedSpent_ = nullptr;  // while threads draw; none when one does
  uint64_t spentSeen_ = 0;  // the shared count when last added to (or the count so far)
  uint64_t unshared_ = 0;   // counted since
  std::vector<PagePoint> farPoints_;  // a stroke being cut to the page
  std::vector<uint64_t> listMembers_;  // members drawn by each block's sublist, by sublist
  LineLook ownLook_;  // the look of the program's own lines last drawn
  bool ownLookSet_ = false;
};

// How many threads drawing `entities` entries is worth: one for a small drawing, where starting
// threads costs more than it saves.
int DrawingThreads(size_t entities);

// The drawing on its own paper (the header's paper size), paper centre at the page centre.
DisplayList RenderDrawing(const JwwDocument& doc, PictureStyle style);

// One sheet: its entities and extra lines moved by the view's centre, on the sheet's page.
DisplayList RenderSheet(const JwwDocument& doc, const SheetView& view, const PaperFrame& frame, int32_t paperSize,
                        PictureStyle style);

// The whole drawing on a page fitted around everything drawn, with a margin in millimetres.
// `toPage` receives the transform from drawing coordinates to the page.
DisplayList RenderWhole(const JwwDocument& doc, PictureStyle style, double margin, Affine* toPage = nullptr);

}  // namespace kelvane
