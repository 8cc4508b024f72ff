// One entity of a list handed to a visitor as the record of its kind, with the strings of a text
// or dimension; entries of no known kind, or past their records, are passed over.
#pragma once

#include "jww/records.h"

namespace kelvane {

// `visit` is called with one of: a LineRecord, ArcRecord, PointRecord, TextRecord and its
// TextStrings, DimensionRecord and its TextStrings, SolidRecord or BlockInsertRecord.
template <class Visitor>
void VisitEntity(const EntityLists& l, EntityRef e, Visitor&& visit) {
  const size_t i = size_t(e.index);
  switch (e.kind) {
    case kLine:
      if (i < l.lines.size()) visit(l.lines[i]);
      break;
    case kArc:
      if (i < l.arcs.size()) visit(l.arcs[i]);
      break;
    case kPoint:
      if (i < l.points.size()) visit(l.points[i]);
      break;
    case kText:
      if (i < l.texts.size() && i < l.textStrings.size()) visit(l.texts[i], l.textStrings[i]);
      break;
    case kDimension:
      if (i < l.dimensions.size() && i < l.dimensionStrings.size()) visit(l.dimensions[i], l.dimensionStrings[i]);
      break;
    case kSolid:
      if (i < l.solids.size()) visit(l.solids[i]);
      break;
    case kBlockInsert:
      if (i < l.blockInserts.size()) visit(l.blockInserts[i]);
      break;
    default:
      break;
  }
}

// A visitor made of lambdas, one per kind: VisitEntity(l, e, Overloaded{[](const LineRecord&) {...}, ...}).
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace kelvane
