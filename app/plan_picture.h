// Pictures of a split: the plan of a drawing before it is split, and a picture beside each sheet.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/sheet_plan.h"
#include "render/display_list.h"
#include "render/render.h"

namespace kelvane {

// The whole drawing in screen colours on white, every paper frame outlined boldly and labelled
// with its sheet numbers, names and the files the run would write. Frames of sheets that are
// not written, renamed or limited to some layers are told apart by colour, dashes and marks.
// Labels are at least 14 pixels tall at dpi once the page is scaled by PlanPageScale, and no
// label covers another.
DisplayList PlanPicture(const JwwDocument& doc, const SheetPlan& plan, double dpi = 150);

// A plan bigger than A0 is printed scaled down to fit A0's long side: the scale for its page.
constexpr double kLargestPlanPage = 1189;
double PlanPageScale(const DisplayList& list);

// One planned sheet on its paper, printed as Jw_cad prints: black, or in the print colours
// (see PrintStyle for `color`).
DisplayList SheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                         std::optional<bool> color);

// The PDF set of a drawing: NAME.pdf (NAME: the drawing's file name without its extension) in
// the folder its sheets go to.
std::filesystem::path SheetSetFileOf(const SheetPlan& plan);

// A page of the PDF set: its picture, the page millimetres per list millimetre, its bookmark.
struct SheetSetPage {
  DisplayList list;
  double pageScale = 1.0;
  std::string bookmark;  // UTF-8
};

// The set's pages: the plan first (bookmarked "配置図") when `withPlan`, then each of `sheets`
// (indices into plan.sheets) as its own picture, bookmarked "NUMBER NAME", or "NUMBER FILE" for
// a sheet without a name text. Page k is made on its own, so that a writer holds one at a time.
size_t SheetSetPageCount(const std::vector<size_t>& sheets, bool withPlan);
SheetSetPage SheetSetPageAt(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets,
                            bool withPlan, size_t k, std::optional<bool> color, double dpi);

// The set's pages for a writer that asks for them in turn: each page is made when asked for,
// after the one before is let go, so that one page's list is held at a time.
class SheetSetPages {
 public:
  SheetSetPages(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets, bool withPlan,
                std::optional<bool> color, double dpi)
      : doc_(doc), plan_(plan), sheets_(sheets), withPlan_(withPlan), color_(color), dpi_(dpi) {}
  size_t Count() const { return SheetSetPageCount(sheets_, withPlan_); }
  const SheetSetPage& At(size_t k) {
    current_.reset();
    return current_.emplace(SheetSetPageAt(doc_, plan_, sheets_, withPlan_, k, color_, dpi_));
  }

 private:
  const JwwDocument& doc_;
  const SheetPlan& plan_;
  const std::vector<size_t>& sheets_;
  bool withPlan_;
  std::optional<bool> color_;
  double dpi_;
  std::optional<SheetSetPage> current_;
};

}  // namespace kelvane
