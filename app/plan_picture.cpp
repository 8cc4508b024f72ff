// The plan picture's frames and labels, drawn over the drawing.
#include "app/plan_picture.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

#include "platform/text_conversion.h"
#include "drawing/text_layout.h"
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

// Outline colours are ones that no default pen draws (pen 6 is pure blue, pen 9 light grey), so
// that a frame never passes for a line of the drawing.
Look LookOf(SheetDecision d) {
  switch (d) {
    case SheetDecision::kWrite:
      return {{200, 90, 0}, false, u""};
    case SheetDecision::kRenamed:
      return {{150, 0, 90}, false, u" (renamed: name taken)"};
    case SheetDecision::kEmpty:
      return {{110, 110, 110}, true, u" (empty: not written)"};
    case SheetDecision::kProtectedInput:
      return {{230, 0, 0}, true, u" (would replace an input: not written)"};
    case SheetDecision::kNameNotUsable:
      return {{230, 0, 0}, true, u" (name not usable: not written)"};
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
std::vector<JwwString> LabelPieces(const SheetPlan& plan, const PaperFrame& frame, const PlannedSheet& s) {
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
  // The files beside the sheet, by their extensions; one refused is struck out in words.
  const size_t index = size_t(&s - plan.sheets.data());
  size_t images = 0;
  for (const PlannedOutput& out : plan.outputs) {
    if (out.kind == OutputKind::kPdfSet || out.sheet != index) continue;
    if (out.kind == OutputKind::kDxfImage) {
      ++images;
      continue;
    }
    tail += u" +" + out.file.extension().u16string();
    if (out.state == OutputState::kRefused) tail += u" (not written)";
  }
  if (images > 0) tail += u" +" + Utf8ToUtf16(std::to_string(images)) + u" image(s)";
  pieces.push_back(JwwString::Wide(tail));
  return pieces;
}

struct Box {
  Vec2 lo, hi;
  bool Meets(const Box& o) const { return lo.x < o.hi.x && o.lo.x < hi.x && lo.y < o.hi.y && o.lo.y < hi.y; }
};

// The label boxes placed so far, found through the square cells of a grid they cover, so that
// placing many labels does not compare each with all the others.
class LabelBoxes {
 public:
  explicit LabelBoxes(double cell) : cell_(cell) {}

  // The box moved down, below each placed label it meets, until it meets none; then kept.
  Box Place(Box b) {
    for (int tries = 0; tries < 10000; ++tries) {
      const Box* met = FirstMet(b);
      if (!met) break;
      const double down = b.hi.y - met->lo.y;
      b.lo.y -= down, b.hi.y -= down;
    }
    const uint32_t index = uint32_t(boxes_.size());
    boxes_.push_back(b);
    ForCells(b, [&](int64_t key) {
      cells_[key].push_back(index);
      return false;
    });
    return b;
  }

 private:
  const Box* FirstMet(const Box& b) const {
    const Box* met = nullptr;
    ForCells(b, [&](int64_t key) {
      const auto found = cells_.find(key);
      if (found == cells_.end()) return false;
      for (uint32_t i : found->second)
        if (boxes_[i].Meets(b)) return met = &boxes_[i], true;
      return false;
    });
    return met;
  }

  // Calls visit(cell key) for each cell the box covers until visit returns true; a box of no
  // finite size or over a million cells is left out of the grid.
  template <class Visit>
  void ForCells(const Box& b, Visit visit) const {
    const double fx0 = std::floor(b.lo.x / cell_), fx1 = std::floor(b.hi.x / cell_);
    const double fy0 = std::floor(b.lo.y / cell_), fy1 = std::floor(b.hi.y / cell_);
    if (!(std::fabs(fx0) < 1e9 && std::fabs(fx1) < 1e9 && std::fabs(fy0) < 1e9 && std::fabs(fy1) < 1e9)) return;
    if ((fx1 - fx0 + 1) * (fy1 - fy0 + 1) > 1e6) return;
    const int64_t x0 = int64_t(fx0), x1 = int64_t(fx1), y0 = int64_t(fy0), y1 = int64_t(fy1);
    for (int64_t y = y0; y <= y1; ++y)
      for (int64_t x = x0; x <= x1; ++x)
        if (visit((y << 32) ^ (x & 0xFFFFFFFF))) return;
  }

  double cell_;
  std::vector<Box> boxes_;
  std::unordered_map<int64_t, std::vector<uint32_t>> cells_;
};

// The labels from the frame's top-left corner down, one line a sheet, each on a white box that
// keeps it readable over the drawing and moved down past any label it would cover.
void DrawLabels(DisplayListBuilder& b, LabelBoxes& placed, const SheetPlan& plan, const PaperFrame& frame,
                const std::vector<const PlannedSheet*>& sheets, Vec2 lo, Vec2 hi, double leastSize,
                const JwwString& font) {
  const double w = hi.x - lo.x, h = hi.y - lo.y;
  const double size = std::max(std::clamp(std::min(w, h) / 28, 3.0, 40.0), leastSize);
  const double x = lo.x + size * 0.8, pad = size * 0.2;
  double y = hi.y - size * 1.5;
  for (const PlannedSheet* s : sheets) {
    const std::vector<JwwString> pieces = LabelPieces(plan, frame, *s);
    double length = 0;
    for (const JwwString& p : pieces) length += std::hypot(LayOutText(LabelRecord(0, 0, size), p).end.x, 0.0);
    const Box box = placed.Place({{x - pad, y - pad}, {x + length + pad, y + size + pad}});
    y = box.lo.y + pad;
    b.AddPolygon({box.lo, {box.hi.x, box.lo.y}, box.hi, {box.lo.x, box.hi.y}}, {255, 255, 255});
    const Rgb color = LookOf(s->decision).color;
    double at = x;
    for (const JwwString& p : pieces) at = b.AddText(LabelRecord(at, y, size), p, font, color).x;
    y -= size * 1.6;
  }
}

}  // namespace

double PlanPageScale(const DisplayList& list) {
  return std::min(1.0, kLargestPlanPage / std::max(list.width, list.height));
}

DisplayList PlanPicture(const JwwDocument& doc, const SheetPlan& plan, double dpi) {
  Affine toPage;
  DisplayList list = RenderWhole(doc, PictureStyle::kPlan, 20.0, &toPage);
  DisplayListBuilder b(doc, PictureStyle::kPlan, list);
  const JwwString font = JwwString::Wide(u"ＭＳ ゴシック");
  // However small a frame is drawn, its labels are printed this many pixels tall at least.
  constexpr double kLeastLabelPixels = 14;
  const double leastSize = kLeastLabelPixels * 25.4 / (dpi * PlanPageScale(list));
  LabelBoxes placed(std::max(4 * leastSize, std::max(list.width, list.height) / 512));
  for (size_t f = 0; f < plan.frames.size(); ++f) {
    const PaperFrame& frame = plan.frames[f];
    const Vec2 lo = toPage({frame.minX, frame.minY}), hi = toPage({frame.maxX, frame.maxY});
    std::vector<const PlannedSheet*> sheets;
    for (const PlannedSheet& s : plan.sheets)
      if (s.frame == f) sheets.push_back(&s);
    DrawOutline(b, lo, hi, LookOf(sheets.empty() ? SheetDecision::kEmpty : sheets.front()->decision));
    DrawLabels(b, placed, plan, frame, sheets, lo, hi, leastSize, font);
  }
  return list;
}

DisplayList SheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                         std::optional<bool> color) {
  return RenderSheet(doc, sheet.view, plan.frames[sheet.frame], sheet.paperSize, PrintStyle(doc, color));
}

std::filesystem::path SheetSetFileOf(const SheetPlan& plan) {
  std::filesystem::path name = plan.source.filename();
  name.replace_extension(".pdf");
  return plan.outputFolder / name;
}

size_t SheetSetPageCount(const std::vector<size_t>& sheets, bool withPlan) { return sheets.size() + (withPlan ? 1 : 0); }

SheetSetPage SheetSetPageAt(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets,
                            bool withPlan, size_t k, std::optional<bool> color, double dpi) {
  if (withPlan && k == 0) {
    DisplayList list = PlanPicture(doc, plan, dpi);
    const double scale = PlanPageScale(list);
    return {std::move(list), scale, "\xE9\x85\x8D\xE7\xBD\xAE\xE5\x9B\xB3"};  // 配置図
  }
  const PlannedSheet& sheet = plan.sheets[sheets.at(withPlan ? k - 1 : k)];
  const JwwString& name = plan.frames[sheet.frame].sheetNames[size_t(sheet.sheet)];
  std::string text = name.unicode ? Utf16ToUtf8(name.wide) : SjisToUtf8(name.sjis);
  if (text.empty()) text = sheet.file.stem().string();
  return {SheetPicture(doc, plan, sheet, color), 1.0, sheet.number + " " + text};
}

}  // namespace kelvane
