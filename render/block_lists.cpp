// Blocks: the members of a block drawn once for all its inserts of one scale and turn and placed
// at each, within a budget of members for the whole drawing however many threads draw it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/builder_limits.h"
#include "render/render.h"

namespace kelvane {

bool DisplayListBuilder::Spend(uint64_t members) {
  membersDrawn_ += members;
  unshared_ += members;
  if (sharedSpent_ && unshared_ >= kShareStep) ShareSpent();
  if (spentSeen_ + unshared_ <= memberBudget_) return true;
  root_.overBudget = true;
  return false;
}

void DisplayListBuilder::ShareSpent() {
  spentSeen_ = sharedSpent_ ? sharedSpent_->fetch_add(unshared_, std::memory_order_relaxed) + unshared_
                            : spentSeen_ + unshared_;
  unshared_ = 0;
}

void DisplayListBuilder::AddInsert(const BlockInsertRecord& b, const Affine& m) {
  if (depth_ >= kMaxBlockDepth) return;
  const int32_t named = blocks_.DefinitionOf(b.blockNumber);
  if (named < 0) return;
  const uint32_t definition = uint32_t(named);
  // Scale, then rotate, then move to the reference point; nesting composes. The members keep
  // their own colours and line types; whether they obey their own layers is open, and the
  // insert's layer alone decides here (members of one block share the insert's visibility).
  const bool turned = b.rotation != 0;
  const double c = turned ? std::cos(b.rotation) : 1, s = turned ? std::sin(b.rotation) : 0;
  const Affine local{c * b.scaleX, s * b.scaleX, -s * b.scaleY, c * b.scaleY, b.refX, b.refY};
  const Affine whole = local.Then(m);
  if (!Usable(whole)) return Skip();
  if (root_.overBudget) return;
  // Inserts of a block at one scale and turn look the same up to where they sit: the members are
  // drawn once, about the reference point, and placed at each. Widths, dashes and point sizes
  // stay page millimetres, so only inserts that differ in nothing but place share a list. The
  // first such insert is drawn out in place: a block inserted once at each scale and turn (trees
  // of every size, say) costs no list of its own.
  const BlockKey key{definition, whole.a, whole.b, whole.c, whole.d};
  auto [found, fresh] = blockLists_.try_emplace(key, kSeenOnce);
  auto inPlace = [&] {
    ++depth_;
    AddMembers(doc_.blockDefs[definition], whole);
    --depth_;
  };
  if (fresh) {
    inPlace();
    return;
  }
  bool built = false;
  if (found->second == kSeenOnce) {
    found->second = kBeingDrawn;
    built = true;
    const uint32_t slot = DrawBlockList(definition, whole);
    // Other blocks drawn meanwhile may have grown the map; the entry itself stays.
    blockLists_.find(key)->second = slot;
    if (slot == kDrawsNothing) return;
  }
  const uint32_t list = blockLists_.find(key)->second;
  if (list == kDrawsNothing) return;
  if (list == kBeingDrawn) {
    // A block that inserts itself, however indirectly: drawn out down to the depth limit, so
    // that no list places itself.
    inPlace();
    return;
  }
  if (!built && !Spend(listMembers_[list])) return;
  out_->order.push_back({ItemKind::kPlacement, uint32_t(out_->placements.size())});
  out_->placements.push_back({list, whole.e, whole.f});
}

uint32_t DisplayListBuilder::DrawBlockList(uint32_t definition, const Affine& whole) {
  const uint64_t before = membersDrawn_;
  DisplayList members;
  DisplayList* outer = out_;
  out_ = &members;
  ++depth_;
  try {
    AddMembers(doc_.blockDefs[definition], Affine{whole.a, whole.b, whole.c, whole.d, 0, 0});
  } catch (...) {
    --depth_;
    out_ = outer;
    throw;
  }
  --depth_;
  out_ = outer;
  if (members.order.empty()) return kDrawsNothing;
  const uint32_t slot = uint32_t(root_.sublists.size());
  if (listMembers_.size() <= slot) listMembers_.resize(size_t(slot) + 1);
  listMembers_[slot] = membersDrawn_ - before;
  root_.sublists.push_back(std::move(members));
  return slot;
}

bool DisplayListBuilder::BlockKey::operator==(const BlockKey& o) const {
  // Bit for bit, so that a key is always equal to itself (NaN included).
  return definition == o.definition && std::memcmp(&a, &o.a, 4 * sizeof(double)) == 0;
}

size_t DisplayListBuilder::BlockKeyHash::operator()(const BlockKey& k) const {
  uint64_t h = k.definition;
  for (const double* v : {&k.a, &k.b, &k.c, &k.d}) {
    uint64_t bits;
    std::memcpy(&bits, v, sizeof bits);
    h = (h ^ bits) * 0x100000001B3ull + (h >> 29);
  }
  return size_t(h);
}

void DisplayListBuilder::AddMembers(const BlockDefinition& def, const Affine& m) {
  const EntityLists& l = def.entities;
  const size_t count = std::min(size_t(std::max(0, l.entityCount)), l.order.size());
  // A block's members follow the drawing's order too: what it asks first, first within the block
  // (a reading: whether Jw_cad draws them before the whole drawing's other entities is open).
  const FirstDrawn first = FirstDrawnOf(doc_);
  const int passes = first == FirstDrawn::kNothing ? 1 : 2;
  for (int pass = 0; pass < passes; ++pass) {
    for (size_t i = 0; i < count; ++i) {
      const EntityRef e = l.order[i];
      if (passes == 2 && DrawnFirst(l, e, first) != (pass == 0)) continue;
      if (!Spend(1)) return;
      if (e.kind == kBlockInsert || e.kind == kLine || e.kind == kArc || e.kind == kPoint || e.kind == kText ||
          e.kind == kDimension || e.kind == kSolid) {
        AddEntity(l, e, m);
      }
    }
  }
}

}  // namespace kelvane
