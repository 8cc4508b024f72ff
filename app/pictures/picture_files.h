// Picture files of a run (Linux command line): the plan, one picture per sheet, one drawing.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/pictures/pdf_files.h"
#include "app/sheet_plan.h"
#include "platform/file_identity.h"
#include "render/picture_format.h"

namespace kelvane {


// Each writer below writes its files whole or not at all (an earlier file at the name stays
// when a picture fails) and throws nothing. It fails with "FILE: picture not written: REASON"
// for a drawing whose blocks are over the drawing budget, a page it cannot make, memory that
// ran out, a protected file at the name or a failed write; and adds to *warnings one line
// ("FILE: what was left out") for every picture it wrote without some of its entities or images.

// The plan of a drawing (--plan). Plans larger than A0 are scaled down to fit A0.
bool WritePlanPicture(const JwwDocument& doc, const SheetPlan& plan, const std::filesystem::path& file,
                      const PictureOptions& options, std::string& error, std::string* warnings = nullptr);

// Pictures of one written sheet beside its file, with the same base name.
bool WriteSheetPictures(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                        const PictureOptions& options, std::string& error, std::string* warnings = nullptr);

// One picture of a written sheet at `file`, which the run's plan named; false with the bare
// reason.
bool WriteSheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet, PictureFormat format,
                       const std::filesystem::path& file, const PictureOptions& options, std::string& reason,
                       std::string* warnings = nullptr);

// One drawing on its own paper (--render).
bool WriteDrawingPicture(const JwwDocument& doc, const std::filesystem::path& drawing,
                         const std::filesystem::path& file, const PictureOptions& options, std::string& error,
                         std::string* warnings = nullptr);

}  // namespace kelvane
