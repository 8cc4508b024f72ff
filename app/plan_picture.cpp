// The plan picture's frames and labels, drawn over the drawing.
#include "app/plan_picture.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/text_conversion.h"
#include "render/text_layout.h"
#include "split/extract.h"
#include "split/sheetnames.h"

namespace kelvane {

namespace {

constexpr double kMostOutlineDashes = 10000;

struct Look {
  Rgb color;
  bool dashed;
  const char16_t* mark;
};

Look LookOf(SheetDecision d) {
  switch (d) {
    case SheetDecision::kWrite:
      return {{0, 70, 200}, false, u""};
    case SheetDecision::kRenamed:
      return {{215, 110, 0}, false, u" (renamed: name taken)"};
    case SheetDecision::kEmpty:
      return {{150, 150, 150}, true, u" (empty: not written)"};
    case SheetDecision::kProtectedInput:
      return {{200, 0, 0}, true, u" (would replace an input: not written)"};
    case SheetDecision::kNameNotUsable:
      return {{200, 0, 0}, true, u" (name not usable: not written)"};
  }
  return {{0, 0, 0}, false, u""};
}

TextRecord LabelRecord(double x, double y, double size) {
  TextRecord t{};
  t.startX = x;
  t.startY = y;
  t.sizeX = t.sizeY = size;
  return t;
}

// The frame's outline: bold, dashed for a frame whose first sheet is not written.
void DrawOutline(DisplayListBuilder& b, Vec2 lo, Vec2 hi, const Look& frameLook) {
  const double w = hi.x - lo.x, h = hi.y - lo.y;
  const double bold = std::clamp(std::min(w, h) / 120, 1.0, 6.0);
  const std::vector<Vec2> box{{lo.x, lo.y}, {hi.x, lo.y}, {hi.x, hi.y}, {lo.x, hi.y}};
  // Past so many dashes a side (a frame far larger than any sheet) the outline is drawn solid.
  const double dash = bold * 6;
  if (!frameLook.dashed || std::max(std::fabs(w), std::fabs(h)) > 2 * dash * kMostOutlineDashes) {
    b.AddPolyline(box, true, frameLook.color, bold, false);
    return;
  }
  for (size_t k = 0; k < 4; ++k) {
    const Vec2 p = box[k], q = box[(k + 1) % 4];
    const double len = std::hypot(q.x - p.x, q.y - p.y);
    for (double s = 0; s < len; s += 2 * dash) {
      const double e = std::min(len, s + dash);
      b.AddPolyline({{p.x + (q.x - p.x) * s / len, p.y + (q.y - p.y) * s / len},
                     {p.x + (q.x - p.x) * e / len, p.y + (q.y - p.y) * e / len}},
                    false, frameLook.color, bold, false);
    }
  }
}

// A sheet's label in pieces: number, name, file, and what happens to it.
std::vector<JwwString> LabelPieces(const PaperFrame& frame, const PlannedSheet& s) {
  std::vector<JwwString> pieces;
  pieces.push_back(JwwString::Wide(Utf8ToUtf16(s.number) + u" "));
  if (s.sheet >= 0 && s.sheet < kMaxSheetsPerFrame) {
    const JwwString& name = frame.sheetNames[size_t(s.sheet)];
    if (!name.empty()) pieces.push_back(name);
    if (LayerRestrictionApplies(frame, s.sheet)) pieces.push_back(JwwString::Wide(u" [layers]"));
  }
  std::u16string tail = u"  → ";
  tail += s.file.empty() ? std::u16string(u"no file") : s.file.filename().u16string();
  tail += LookOf(s.decision).mark;
  pieces.push_back(JwwString::Wide(tail));
  return pieces;
}

// The labels from the frame's top-left corner down, one line a sheet.
void DrawLabels(DisplayListBuilder& b, const PaperFrame& frame, const std::vector<const PlannedSheet*>& sheets,
                Vec2 lo, Vec2 hi, const JwwString& font) {
  const double w = hi.x - lo.x, h = hi.y - lo.y;
  const double size = std::clamp(std::min(w, h) / 28, 3.0, 40.0);
  double y = hi.y - size * 1.5;
  for (const PlannedSheet* s : sheets) {
    const std::vector<JwwString> pieces = LabelPieces(frame, *s);
    // A white box under the label keeps it readable over the drawing.
    double x = lo.x + size * 0.8;
    double length = 0;
    for (const JwwString& p : pieces) length += std::hypot(LayOutText(LabelRecord(0, 0, size), p).end.x, 0.0);
    const double pad = size * 0.2;
    b.AddPolygon({{x - pad, y - pad},
                  {x + length + pad, y - pad},
                  {x + length + pad, y + size + pad},
                  {x - pad, y + size + pad}},
                 {255, 255, 255});
    const Rgb color = LookOf(s->decision).color;
    for (const JwwString& p : pieces) x = b.AddText(LabelRecord(x, y, size), p, font, color).x;
    y -= size * 1.6;
  }
}

}  // namespace

DisplayList PlanPicture(const JwwDocument& doc, const SheetPlan& plan) {
  Affine toPage;
  DisplayList list = RenderWhole(doc, PictureStyle::kPlan, 20.0, &toPage);
  DisplayListBuilder b(doc, PictureStyle::kPlan, list);
  const JwwString font = JwwString::Wide(u"ＭＳ ゴシック");
  for (size_t f = 0; f < plan.frames.size(); ++f) {
    const PaperFrame& frame = plan.frames[f];
    const Vec2 lo = toPage({frame.minX, frame.minY}), hi = toPage({frame.maxX, frame.maxY});
    std::vector<const PlannedSheet*> sheets;
    for (const PlannedSheet& s : plan.sheets)
      if (s.frame == f) sheets.push_back(&s);
    DrawOutline(b, lo, hi, LookOf(sheets.empty() ? SheetDecision::kEmpty : sheets.front()->decision));
    DrawLabels(b, frame, sheets, lo, hi, font);
  }
  return list;
}

DisplayList SheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                         std::optional<bool> color) {
  return RenderSheet(doc, sheet.view, plan.frames[sheet.frame], sheet.paperSize, PrintStyle(doc, color));
}

}  // namespace kelvane
