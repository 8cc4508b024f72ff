// Pictures of a split: the plan of a drawing before it is split, and a picture beside each sheet.
#pragma once

#include <optional>

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

}  // namespace kelvane
