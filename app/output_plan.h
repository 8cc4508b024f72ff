// Every file a run writes beside its sheets (pictures, DXF files and their images, PDF sets),
// named and checked before the first write, so that the dry run shows them and no file of the
// run, no input and no settings file is ever replaced by another of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/planned_output.h"
#include "app/services.h"
#include "app/sheet_plan.h"
#include "dxf/dxf_writer.h"
#include "jww/document.h"
#include "render/picture_format.h"

namespace kelvane {

// A file that was asked for and not written.
struct OutputFailure {
  std::filesystem::path file;
  OutputKind kind = OutputKind::kPicture;
  std::string reason;  // English
};

// The kind as the report names it: "picture", "dxf", "dxfImage", "pdfSet" or "report".
const char* OutputKindName(OutputKind kind);
// The reason of a refusal, in English.
std::string RefusalText(OutputRefusal refusal);
// "FILE: picture not written: REASON" (DXF, DXF image, PDF set, report alike): one line for the
// terminal and the report.
std::string FailureLine(const OutputFailure& failure);
// The same for the window's status bar, in Shift_JIS.
std::string FailureStatusText(const FileQueries& files, const OutputFailure& failure);

// What the front end asks to be written beside every written sheet.
struct CompanionRequest {
  std::vector<PictureFormat> pictures;
  bool dxf = false;
  bool pdfSet = false;
  bool pdfSetPlan = false;  // the set starts with the plan picture
  // How DXF files are made (version, units); the drawing's folder is set per drawing. Its
  // `toPng` turns embedded images into PNG files; without it (or when it fails) they are
  // written as stored.
  DxfOptions dxfOptions;

  bool Any() const { return !pictures.empty() || dxf || pdfSet; }
};

// Names every file the request asks for beside the plan's sheets (once they are placed),
// against the run: inputs, settings files, the files planned so far (sheets of this and earlier
// drawings, the report) and what is on disk. The names taken are added to the run. A DXF
// image whose name is taken gets the next free one; any other file that cannot have its name
// is refused. Reads the file system but writes nothing.
void PlanCompanions(SheetPlan& plan, const JwwDocument& doc, const CompanionRequest& request, RunContext& run,
                    const FileQueries& files);

// Reserves one file of the run that is known from the start (the report); the reason when it
// cannot be written there, nothing otherwise.
std::optional<OutputRefusal> ReserveRunFile(RunContext& run, const FileQueries& files, const std::filesystem::path& file);

}  // namespace kelvane
