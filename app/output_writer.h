// Carrying out the plan of the files beside the sheets: each one planned, and only those.
#pragma once

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/output_plan.h"
#include "app/sheet_plan.h"
#include "app/sheet_writer.h"
#include "jww/document.h"
#include "platform/file_identity.h"

namespace kelvane {

// What draws the pictures: the front end's own means (the picture module on Linux, the system's
// fonts and images on Windows). Each call writes its file whole or not at all and throws
// nothing; false with the reason in English.
class PictureWriter {
 public:
  virtual ~PictureWriter() = default;
  // One picture of a written sheet at `file`. `warnings` gets a line for everything left out.
  virtual bool WriteSheetPicture(const JwwDocument& doc, const SheetPlan& plan, const PlannedSheet& sheet,
                                 PictureFormat format, const std::filesystem::path& file,
                                 const std::set<FileIdentity>& protectedFiles, std::string& reason,
                                 std::string& warnings) = 0;
  // The PDF set of the sheets `sheets` (indices into plan.sheets) at `file`.
  virtual bool WriteSheetSet(const JwwDocument& doc, const SheetPlan& plan, const std::vector<size_t>& sheets,
                             bool withPlan, const std::filesystem::path& file,
                             const std::set<FileIdentity>& protectedFiles, std::string& reason,
                             std::string& warnings) = 0;
};

// What writing a drawing's companions came to, besides the states in plan.outputs.
struct CompanionResult {
  std::vector<OutputFailure> failures;  // in plan order, refusals among them
  std::string warnings;                 // lines of what pictures left out
};

// Writes every planned file of `plan.outputs` whose sheet was written (outcomes: one per sheet),
// in plan order, and records what became of each. A refused file is a failure that writes
// nothing; a DXF whose image could not be written is not written either. No file reaches
// `protectedFiles`, whatever name it has by now.
CompanionResult WriteCompanions(const JwwDocument& doc, SheetPlan& plan, const std::vector<SheetOutcome>& outcomes,
                                const CompanionRequest& request, PictureWriter* pictures,
                                const std::set<FileIdentity>& protectedFiles);

}  // namespace kelvane
