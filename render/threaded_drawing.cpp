// Drawing a large drawing on several threads, each run into a list of its own, and merging the
// lists in order; the layers the items of the drawing's own entities are on.
#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "drawing/entity_visit.h"
#include "render/builder_limits.h"
#include "render/render.h"

namespace kelvane {

namespace {

// Below this many entries a thread's start and the appending cost more than drawing them.
constexpr size_t kEntitiesPerThread = 50000;
constexpr unsigned kMostThreads = 8;

}  // namespace

int DrawingThreads(size_t entities) {
  const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
  return int(std::clamp<size_t>(entities / kEntitiesPerThread, 1, cores));
}

void DisplayListBuilder::AddPart(DisplayList&& part) {
  // The part's shared tables join this list's, and every index into them moves along.
  std::vector<uint32_t> fontIndex(part.fonts.size());
  for (size_t k = 0; k < part.fonts.size(); ++k) fontIndex[k] = FontIndex(part.fonts[k]);
  const uint32_t styles = uint32_t(root_.strokeStyles.size()), dashes = uint32_t(root_.dashes.size());
  const uint32_t sources = uint32_t(root_.imageSources.size()), lists = uint32_t(root_.sublists.size());
  for (StrokeStyle& st : part.strokeStyles) {
    if (st.dashes.count > 0) st.dashes.first += dashes;
    root_.strokeStyles.push_back(st);
  }
  root_.dashes.insert(root_.dashes.end(), part.dashes.begin(), part.dashes.end());
  root_.imageSources.insert(root_.imageSources.end(), std::make_move_iterator(part.imageSources.begin()),
                            std::make_move_iterator(part.imageSources.end()));
  auto move = [&](DisplayList& l) {
    for (Stroke& st : l.strokes) st.style += styles;
    for (TextRun& t : l.texts) t.font = fontIndex[t.font];
    for (Picture& p : l.pictures) p.source += sources;
    for (Placement& p : l.placements) p.list += lists;
  };
  for (DisplayList& sub : part.sublists) {
    move(sub);
    root_.sublists.push_back(std::move(sub));
  }
  move(part);
  part.strokeStyles.clear();
  part.dashes.clear();
  part.fonts.clear();
  part.imageSources.clear();
  part.sublists.clear();
  root_.skippedEntities += part.skippedEntities;
  root_.overBudget = root_.overBudget || part.overBudget;
  Place(std::move(part), 0, 0);
}

void DisplayListBuilder::Place(DisplayList&& list, double dx, double dy) {
  if (list.order.empty()) return;
  const uint32_t index = uint32_t(root_.sublists.size());
  root_.sublists.push_back(std::move(list));
  out_->order.push_back({ItemKind::kPlacement, uint32_t(out_->placements.size())});
  out_->placements.push_back({index, dx, dy});
}

namespace {

// The layer an entity of the drawing is on: group · 16 + layer.
uint16_t LayerOf(const EntityLists& l, EntityRef e) {
  const EntityAttributes* a = nullptr;
  VisitEntity(l, e, [&](const auto& record, const auto&...) { a = &record.attr; });
  if (!a || a->layerGroup >= 16 || a->layer >= 16) return kNoLayer;
  return uint16_t(a->layerGroup * 16 + a->layer);
}

}  // namespace

void DisplayListBuilder::AddRange(const EntityLists& lists, const std::vector<EntityRef>& order, size_t from,
                                  size_t to, const Affine& m) {
  if (depth_ > 0) {
    for (size_t i = from; i < to; ++i) AddEntity(lists, order[i], m);
    return;
  }
  // The drawing's own entities: what each draws is on its layer (a block's members on the
  // insert's).
  for (size_t i = from; i < to; ++i) {
    const size_t before = out_->order.size();
    AddEntity(lists, order[i], m);
    if (out_->order.size() > before) MarkLayer(before, LayerOf(lists, order[i]));
  }
}

void DisplayListBuilder::MarkLayer(size_t first, uint16_t layer) {
  std::vector<LayerRun>& runs = out_->layers;
  if (runs.empty() ? layer == kNoLayer : runs.back().layer == layer) return;
  if (!runs.empty() && runs.back().first == first) {
    runs.back().layer = layer;
    return;
  }
  runs.push_back({uint32_t(first), layer});
}



void DisplayListBuilder::AddEntities(const EntityLists& lists, const std::vector<EntityRef>& given, size_t count,
                                     const Affine& m, int threads) {
  // The drawing may ask for its images and solids first; otherwise the order is the file's.
  std::vector<EntityRef> reordered;
  if (FirstDrawnOf(doc_) != FirstDrawn::kNothing) reordered = DrawingOrder(doc_, lists, given, count);
  const std::vector<EntityRef>& order = reordered.empty() ? given : reordered;
  count = std::min(count, order.size());
  const size_t runs = std::clamp<size_t>(size_t(std::max(threads, 1)), 1, std::max<size_t>(count, 1));
  auto bound = [&](size_t run) { return count * run / runs; };
  Reserve(lists, order, bound(1), m);
  if (runs == 1) {
    AddRange(lists, order, 0, count, m);
    return;
  }
  AddRuns(lists, order, count, m, runs);
}

void DisplayListBuilder::AddRuns(const EntityLists& lists, const std::vector<EntityRef>& order, size_t count,
                                 const Affine& m, size_t runs) {
  auto bound = [&](size_t run) { return count * run / runs; };
  // This thread draws the first run straight into the list; the others draw theirs into lists of
  // their own, placed after it in order once every thread is done. A failure (out of memory) is
  // passed on from whichever run had it, after every thread has ended.
  std::vector<DisplayList> parts(runs - 1);
  std::vector<std::exception_ptr> failures(runs - 1);
  ShareSpent();
  std::atomic<uint64_t> spent{spentSeen_};
  sharedSpent_ = &spent;
  std::vector<std::thread> workers;
  auto joinAll = [&] {
    for (std::thread& w : workers) w.join();
  };
  try {
    for (size_t r = 1; r < runs; ++r) {
      workers.emplace_back([&, r] {
        try {
          DisplayListBuilder b(doc_, style_, parts[r - 1]);
          b.depth_ = depth_;
          b.SetPage(pageWidth_, pageHeight_);
          b.sharedSpent_ = &spent;
          b.Reserve(lists, order, bound(r + 1), m, bound(r));
          b.AddRange(lists, order, bound(r), bound(r + 1), m);
          b.ShareSpent();
        } catch (...) {
          failures[r - 1] = std::current_exception();
        }
      });
    }
    AddRange(lists, order, 0, bound(1), m);
  } catch (...) {
    joinAll();
    sharedSpent_ = nullptr;
    throw;
  }
  joinAll();
  ShareSpent();
  spentSeen_ = spent.load();  // every thread's count, now all added
  sharedSpent_ = nullptr;
  if (spentSeen_ > memberBudget_) root_.overBudget = true;
  for (const std::exception_ptr& f : failures)
    if (f) std::rethrow_exception(f);
  if (depth_ == 0) MarkLayer(out_->order.size(), kNoLayer);  // the parts carry their own layers
  for (DisplayList& part : parts) AddPart(std::move(part));
}

}  // namespace kelvane
