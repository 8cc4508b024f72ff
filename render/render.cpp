// The display list of a drawing: what each record means for the picture, turned into strokes,
// fills, texts and pictures on the page.
#include "render/render.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "drawing/entity_visit.h"
#include "drawing/layers.h"
#include "drawing/text_layout.h"
#include "render/builder_limits.h"

namespace kelvane {

DisplayListBuilder::DisplayListBuilder(const JwwDocument& doc, PictureStyle style, DisplayList& out)
    : doc_(doc),
      style_(style),
      root_(out),
      out_(&out),
      blocks_(doc),
      layerShown_(ShownLayers(doc, style != PictureStyle::kPlan)) {
  uint64_t own = uint64_t(std::max(0, doc.entityCount));
  for (const BlockDefinition& def : doc.blockDefs) own += uint64_t(std::max(0, def.entities.entityCount));
  memberBudget_ = std::clamp(own * kMembersPerEntity, kLeastMemberBudget, kMostMemberBudget);
  SetPage(out.width, out.height);
}

void DisplayListBuilder::AddEntity(const EntityLists& l, EntityRef e, const Affine& m) {
  VisitEntity(l, e,
              Overloaded{[&](const LineRecord& r) {
                           if (Visible(r.attr)) AddLine(r, m);
                         },
                         [&](const ArcRecord& r) {
                           if (Visible(r.attr)) AddArc(r, m);
                         },
                         [&](const PointRecord& r) {
                           if (Visible(r.attr)) AddPoint(r, m);
                         },
                         [&](const TextRecord& r, const TextStrings& s) { AddTextRecord(r, s, m, true); },
                         [&](const DimensionRecord& r, const TextStrings& s) {
                           if (Visible(r.attr)) AddDimension(r, s, m);
                         },
                         [&](const SolidRecord& r) {
                           if (Visible(r.attr)) AddSolid(r, m);
                         },
                         [&](const BlockInsertRecord& r) {
                           if (Visible(r.attr)) AddInsert(r, m);
                         }});
}

void DisplayListBuilder::AddDimension(const DimensionRecord& d, const TextStrings& s, const Affine& m) {
  // The dimension's own style, colour and width are placeholders: its members carry theirs.
  AddLine(d.line, m);
  AddTextRecord(d.text, s, m, false);
  // The extension lines and marks are separate entities in ordinary dimensions; SXF dimensions
  // keep them as members.
  if (d.sxfMode != 0) {
    AddLine(d.auxLine1, m);
    AddLine(d.auxLine2, m);
    for (const PointRecord* p : {&d.auxPoint1, &d.auxPoint2, &d.auxPoint3, &d.auxPoint4}) AddPoint(*p, m);
  }
}

void DisplayListBuilder::AddLine(const LineRecord& line, const Affine& m) {
  const LineLook* look = CachedLook(line.attr);
  if (!look) return;
  const Vec2 p = m({line.startX, line.startY}), q = m({line.endX, line.endY});
  // One test for the usual line, near the page: NaN fails it too.
  const Pair lo = PairOf(nearLo_), hi = PairOf(nearHi_);
  const bool near = Both(Inside(PairOf(p), lo, hi) & Inside(PairOf(q), lo, hi));
  if (!near && !Both(Usable(PairOf(p)) & Usable(PairOf(q)))) return Skip();
  const uint32_t first = uint32_t(out_->points.size());
  out_->points.emplace_back(p);
  out_->points.emplace_back(q);
  uint32_t style = look->style;
  if (look->capDashes) {
    const double dx = q.x - p.x, dy = q.y - p.y;
    if (dx * dx + dy * dy > look->solidPast2) style = SolidStyle(*look);
  }
  if (!near) return StrokeNear(first, false, style);
  StrokeWith(first, false, style);
}

void DisplayListBuilder::StrokePoints(const std::vector<Vec2>& pts, bool closed, const LineLook& look) {
  const uint32_t first = uint32_t(out_->points.size());
  for (const Vec2& p : pts) out_->points.emplace_back(p);
  StrokeFrom(first, closed, look);
}

void DisplayListBuilder::StrokeFrom(uint32_t first, bool closed, const LineLook& look) {
  StrokeWith(first, closed, look.style);
}

void DisplayListBuilder::StrokeWith(uint32_t first, bool closed, uint32_t style) {
  // Filled in place: a stroke put together on the stack and copied in is read back before all
  // its fields have been stored, which stalls.
  out_->order.push_back({ItemKind::kStroke, uint32_t(out_->strokes.size())});
  Stroke& s = out_->strokes.emplace_back();
  s.points = {first, uint32_t(out_->points.size()) - first};
  s.style = style;
  s.closed = closed;
}

void DisplayListBuilder::EndRing(uint32_t first) {
  const uint32_t count = uint32_t(out_->points.size()) - first;
  if (count < 3) {
    out_->points.resize(first);
    return;
  }
  out_->rings.push_back({first, count});
}

void DisplayListBuilder::FillSolid(uint32_t firstRing, uint32_t firstPoint, Rgb color) {
  if (UsablePoints(firstPoint)) return FillFrom(firstRing, color);
  out_->rings.resize(firstRing);
  out_->points.resize(firstPoint);
  Skip();
}

void DisplayListBuilder::FillFrom(uint32_t firstRing, Rgb color) {
  const uint32_t count = uint32_t(out_->rings.size()) - firstRing;
  if (count == 0) return;
  Fill f;
  f.color = color;
  f.rings = {firstRing, count};
  out_->order.push_back({ItemKind::kFill, uint32_t(out_->fills.size())});
  out_->fills.push_back(f);
}

uint32_t DisplayListBuilder::FontIndex(const JwwString& font) {
  for (size_t k = root_.fonts.size(); k-- > 0;)
    if (root_.fonts[k] == font) return uint32_t(k);
  root_.fonts.push_back(font);
  return uint32_t(root_.fonts.size() - 1);
}

void DisplayListBuilder::AddTextRecord(const TextRecord& t, const TextStrings& s, const Affine& m, bool checkLayer) {
  if (checkLayer && !Visible(t.attr)) return;
  if (IsSettingsText(t)) return;
  const bool auxiliary = t.attr.penColor == kAuxiliaryColor;
  if (auxiliary && style_ != PictureStyle::kPlan) return;

  ImageReference ref;
  if (!s.text.empty() && CharAt(s.text, 0).code == '^' && ParseImageReference(s.text, ref))
    return AddPicture(t, ref, m);

  // The cells go straight into the list's pool, on the page.
  const uint32_t base = uint32_t(out_->glyphs.size());
  AppendTextLayout(t, s.text, &m, out_->glyphs, textBuffers_);
  const uint32_t total = uint32_t(out_->glyphs.size()) - base;
  if (total == 0) return;
  if (!UsableText(base)) {
    out_->glyphs.resize(base);
    return Skip();
  }
  TextRun run;
  run.unicode = s.text.unicode;
  // The text type's ten-thousands: Jw_cad adds 10000 for italic and 20000 for bold.
  const int32_t style = t.textType / 10000;
  run.italic = (style & 1) != 0;
  run.bold = (style & 2) != 0;
  run.font = FontIndex(s.fontName);
  // "^$n" changes the pen from its character on.
  const std::vector<uint32_t>& colorFrom = textBuffers_.colorFrom;
  uint32_t from = 0;
  int pen = t.attr.penColor;
  for (size_t c = 0; c <= colorFrom.size(); ++c) {
    const uint32_t to = c < colorFrom.size() ? colorFrom[c] : total;
    if (to > from) {
      run.color = ColorOf(pen, auxiliary);
      run.glyphs = {base + from, to - from};
      out_->order.push_back({ItemKind::kText, uint32_t(out_->texts.size())});
      out_->texts.push_back(run);
    }
    if (c < textBuffers_.colorPen.size()) pen = textBuffers_.colorPen[c];
    from = to;
  }
}

void DisplayListBuilder::AddPicture(const TextRecord& t, const ImageReference& ref, const Affine& m) {
  // The image's lower-left corner is at the text's start, turned by the reference's angle.
  const double a = ref.angle * kDegree;
  Picture p;
  root_.imageSources.push_back(ref.source);
  p.source = uint32_t(root_.imageSources.size() - 1);
  p.origin = m({t.startX, t.startY});
  p.across = m.Linear({std::cos(a) * ref.width, std::sin(a) * ref.width});
  p.up = m.Linear({-std::sin(a) * ref.height, std::cos(a) * ref.height});
  p.clipX = ref.clipX;
  p.clipY = ref.clipY;
  p.clipWidth = p.clipHeight = ref.clipWidth;
  if (!Usable(p.origin) || !Usable(p.across) || !Usable(p.up)) {
    root_.imageSources.pop_back();
    return Skip();
  }
  out_->order.push_back({ItemKind::kPicture, uint32_t(out_->pictures.size())});
  out_->pictures.push_back(p);
}

void DisplayListBuilder::AddSolid(const SolidRecord& s, const Affine& m) {
  const bool auxiliary = s.attr.penColor == kAuxiliaryColor;
  if (auxiliary && style_ != PictureStyle::kPlan) return;
  const Rgb color = SolidColor(s, auxiliary);
  if (IsArcSolid(s.attr.penStyle)) return AddArcSolid(s, m, color);
  // Corners in file order: every corpus solid is a simple quadrilateral this way. They go
  // straight into the list's pools.
  const Vec2 c[4] = {m({s.x1, s.y1}), m({s.x2, s.y2}), m({s.x3, s.y3}), m({s.x4, s.y4})};
  if (!Both(Usable(PairOf(c[0])) & Usable(PairOf(c[1])) & Usable(PairOf(c[2])) & Usable(PairOf(c[3]))))
    return Skip();
  const uint32_t firstRing = uint32_t(out_->rings.size());
  const uint32_t first = uint32_t(out_->points.size());
  for (const Vec2& p : c) out_->points.emplace_back(p);
  EndRing(first);
  FillFrom(firstRing, color);
}

void DisplayListBuilder::AddPolyline(const std::vector<Vec2>& pts, bool closed, Rgb color, double width,
                                     bool devicePixels) {
  // Labels draw many lines alike in a row: they share a style.
  LineLook& look = ownLook_;
  if (!ownLookSet_ || !(look.color == color) || look.width != width || look.devicePixels != devicePixels) {
    look = LineLook{};
    look.color = color;
    look.width = width;
    look.devicePixels = devicePixels;
    look.style = AddStyle(look);
    ownLookSet_ = true;
  }
  StrokePoints(pts, closed, look);
}

void DisplayListBuilder::AddPolygon(const std::vector<Vec2>& pts, Rgb color) {
  const uint32_t firstRing = uint32_t(out_->rings.size()), first = uint32_t(out_->points.size());
  for (const Vec2& p : pts) out_->points.emplace_back(p);
  EndRing(first);
  FillFrom(firstRing, color);
}

Vec2 DisplayListBuilder::AddText(const TextRecord& record, const JwwString& text, const JwwString& font, Rgb color) {
  const uint32_t base = uint32_t(out_->glyphs.size());
  const Vec2 end = AppendTextLayout(record, text, nullptr, out_->glyphs, textBuffers_);
  if (out_->glyphs.size() == base) return end;
  TextRun run;
  run.color = color;
  run.unicode = text.unicode;
  run.font = FontIndex(font);
  run.glyphs = {base, uint32_t(out_->glyphs.size()) - base};
  out_->order.push_back({ItemKind::kText, uint32_t(out_->texts.size())});
  out_->texts.push_back(run);
  return end;
}

}  // namespace kelvane
