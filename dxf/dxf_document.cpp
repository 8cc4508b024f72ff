// The DXF file around the entities: its sections in order, the blocks and the entities of a
// drawing or sheet; the header, tables and objects come from dxf_tables.cpp.
#include "dxf/dxf_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <set>

#include "drawing/paper.h"
#include "dxf/dxf_context.h"
#include "split/extract.h"

namespace kelvane {

namespace {

// Which inserts inside definitions are left out: those that lead back to a definition being
// inserted, which no reader could draw. Names are made unique; a definition without one gets
// its number.
void PlanBlocks(DxfContext& c, const SheetView* view) {
  const std::vector<BlockDefinition>& defs = c.doc.blockDefs;
  const size_t n = defs.size();
  std::vector<int> state(n, 0);  // 0 unseen, 1 on the path, 2 done
  std::function<void(size_t)> visit = [&](size_t d) {
    state[d] = 1;
    const EntityLists& l = defs[d].entities;
    for (const BlockInsertRecord& b : l.blockInserts) {
      const int32_t to = c.DefinitionOf(b.blockNumber);
      if (to < 0) continue;
      if (state[size_t(to)] == 1) c.cutInserts.insert({int32_t(d), to});
      else if (state[size_t(to)] == 0) visit(size_t(to));
    }
    state[d] = 2;
  };
  for (size_t d = 0; d < n; ++d)
    if (state[d] == 0) visit(d);
  // A sheet carries the blocks it inserts, and those they insert; a whole drawing every one.
  c.blockUsed.assign(n, view == nullptr);
  if (view) {
    std::vector<size_t> todo;
    auto use = [&](const BlockInsertRecord& b, int32_t from) {
      const int32_t to = c.DefinitionOf(b.blockNumber);
      if (to < 0 || c.blockUsed[size_t(to)] || (from >= 0 && c.cutInserts.count({from, to}))) return;
      c.blockUsed[size_t(to)] = true;
      todo.push_back(size_t(to));
    };
    for (EntityRef e : view->order)
      if (e.kind == kBlockInsert && size_t(e.index) < c.doc.blockInserts.size())
        use(c.doc.blockInserts[size_t(e.index)], -1);
    while (!todo.empty()) {
      const size_t d = todo.back();
      todo.pop_back();
      for (const BlockInsertRecord& b : defs[d].entities.blockInserts) use(b, int32_t(d));
    }
  }
  std::set<std::string> taken;
  for (size_t d = 0; d < n; ++d) {
    std::string name = c.SymbolOf(defs[d].name);
    if (name.empty() || taken.count(SymbolKey(name))) name = "JW_BLOCK_" + std::to_string(d);
    taken.insert(SymbolKey(name));
    c.blockNames.push_back(name);
    c.blockRecords.push_back(c.blockUsed[d] ? c.sink.NewHandle() : 0);
  }
}

// The paper the sheet prints on, as its picture has it, and the scale most of it is drawn at:
// the header's extents, the view and the paper limits and layout are that paper. From what
// writing the entities gathered.
void PlanPaper(DxfContext& c, const SheetView* view) {
  double w = 0, h = 0;
  if (!PaperSizeMm(c.doc.header.paperSize, w, h)) w = 420, h = 297;
  if (c.options.paperWidth > 0 && c.options.paperHeight > 0) {
    w = c.options.paperWidth, h = c.options.paperHeight;
  } else if (view && c.lineReachX > 0 && c.lineReachY > 0 && std::isfinite(c.lineReachX) &&
             std::isfinite(c.lineReachY)) {
    // The frame is not among the sheet's entities: the smallest paper about the sheet's centre
    // that holds its lines, as a frame of that size would be given.
    PaperFrame f;
    f.minX = -c.lineReachX, f.maxX = c.lineReachX, f.minY = -c.lineReachY, f.maxY = c.lineReachY;
    SheetPageSize(f, PaperSizeFor(f), w, h);
  }
  c.paperWidth = w, c.paperHeight = h;
  // The scale of the layer group most entities are in.
  EntityAttributes a{};
  a.layerGroup = uint16_t(std::max_element(c.inGroup.begin(), c.inGroup.end()) - c.inGroup.begin());
  c.paperScale = c.ScaleOf(a);
}

void BlockBegin(DxfSink& s, uint64_t record, const std::string& name, bool paper) {
  s.Str(0, "BLOCK");
  s.Handle();
  s.Hex(330, record);
  s.Str(100, "AcDbEntity");
  if (paper) s.Int(67, 1);
  s.Str(8, "0");
  s.Str(100, "AcDbBlockBegin");
  s.Str(2, name);
  s.Int(70, 0);
  s.Point(10, 0, 0);
  s.Str(3, name);
  s.Str(1, "");
}

void BlockEnd(DxfSink& s, uint64_t record, bool paper) {
  s.Str(0, "ENDBLK");
  s.Handle();
  s.Hex(330, record);
  s.Str(100, "AcDbEntity");
  if (paper) s.Int(67, 1);
  s.Str(8, "0");
  s.Str(100, "AcDbBlockEnd");
}

void BlocksSection(DxfContext& c, std::string& out) {
  DxfSink& s = c.sink;
  s.Begin(out);
  s.Str(0, "SECTION");
  s.Str(2, "BLOCKS");
  BlockBegin(s, c.modelSpace, "*Model_Space", false);
  BlockEnd(s, c.modelSpace, false);
  BlockBegin(s, c.paperSpace, "*Paper_Space", true);
  BlockEnd(s, c.paperSpace, true);
  for (size_t d = 0; d < c.doc.blockDefs.size(); ++d) {
    if (!c.blockUsed[d]) continue;
    BlockBegin(s, c.blockRecords[d], c.blockNames[d], false);
    const EntityLists& l = c.doc.blockDefs[d].entities;
    DxfPlacement place;
    place.owner = c.blockRecords[d];
    place.definition = int32_t(d);
    WriteDxfEntities(c, l, l.order, size_t(std::max(0, l.entityCount)), place);
    BlockEnd(s, c.blockRecords[d], false);
  }
  s.Str(0, "ENDSEC");
  s.End(out);
}

void EntitiesSection(DxfContext& c, const SheetView* view, std::string& out) {
  DxfSink& s = c.sink;
  s.Begin(out);
  // About what an entity takes, so that the text is not copied as it grows.
  s.Reserve((view ? view->order.size() + view->extraLines.size() : c.doc.order.size()) * 160 + 4096);
  s.Str(0, "SECTION");
  s.Str(2, "ENTITIES");
  DxfPlacement place;
  place.owner = c.modelSpace;
  place.trueSize = true;
  const JwwDocument& doc = c.doc;
  if (view) {
    place.centerX = view->centerX, place.centerY = view->centerY;
    WriteDxfEntities(c, doc, view->order, view->order.size(), place);
    for (const LineRecord& line : view->extraLines) WriteDxfLine(c, line, place);
  } else {
    WriteDxfEntities(c, doc, doc.order, size_t(std::max(0, doc.entityCount)), place);
  }
  s.Str(0, "ENDSEC");
  s.End(out);
}

}  // namespace

DxfResult MakeDxf(const JwwDocument& doc, const SheetView* view, const DxfOptions& options) {
  DxfResult r;
  MakeDxf(doc, view, options, r);
  return r;
}

std::vector<std::pair<int32_t, bool>> DxfEmbeddedImagesOf(const JwwDocument& doc, const SheetView* view) {
  std::vector<std::pair<int32_t, bool>> found;
  if (doc.images.size() == 0) return found;
  // The blocks the DXF carries, as MakeDxf decides them, then the entities.
  DxfContext c(doc, DxfOptions{});
  PlanBlocks(c, view);
  for (size_t d = 0; d < doc.blockDefs.size(); ++d) {
    if (!c.blockUsed[d]) continue;
    const EntityLists& l = doc.blockDefs[d].entities;
    CollectDxfEmbeddedImages(doc, l, l.order, size_t(std::max(0, l.entityCount)), found);
  }
  if (view)
    CollectDxfEmbeddedImages(doc, doc, view->order, view->order.size(), found);
  else
    CollectDxfEmbeddedImages(doc, doc, doc.order, size_t(std::max(0, doc.entityCount)), found);
  return found;
}

void MakeDxf(const JwwDocument& doc, const SheetView* view, const DxfOptions& options, DxfResult& r) {
  DxfContext c(doc, options);
  r.parts.resize(5);  // header and classes, tables, blocks, entities, objects
  DxfFixedHandles fixed{};
  for (uint64_t* h : {&fixed.root, &fixed.groups, &fixed.layouts, &fixed.modelLayout, &fixed.paperLayout,
                      &fixed.blockTable})
    *h = c.sink.NewHandle();
  c.modelSpace = c.sink.NewHandle();
  c.paperSpace = c.sink.NewHandle();
  PlanBlocks(c, view);
  BlocksSection(c, r.parts[2]);
  EntitiesSection(c, view, r.parts[3]);
  PlanPaper(c, view);
  c.sink.Begin(r.parts[1]);
  WriteDxfTables(c, fixed);  // handles of the tables' entries come after the entities'
  c.sink.End(r.parts[1]);
  c.sink.Begin(r.parts[4]);
  WriteDxfObjects(c, fixed);
  c.sink.End(r.parts[4]);
  c.sink.Begin(r.parts[0]);
  WriteDxfHeader(c, c.sink.NextHandle());
  c.sink.End(r.parts[0]);
  r.images = std::move(c.imageFiles);
}

}  // namespace kelvane
