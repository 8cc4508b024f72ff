// Converting a run's drawings: each loaded, planned, written and reported. With several jobs,
// drawings are loaded and written at the same time, but their files are placed and their
// reports given in input order, so that the result is the serial run's, name for name.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/output_writer.h"
#include "app/services.h"
#include "app/run_summary.h"
#include "app/sheet_plan.h"
#include "app/sheet_writer.h"
#include "jww/document.h"

namespace kelvane {

// What a batch works with, all owned by its session.
struct BatchSetup {
  const FileQueries& files;
  RunFeedback& feedback;
  WindowServices* window;  // kept answering between drawings of a serial run; null: no window
  // A drawing's sheets were planned and written (outcomes: one per sheet; none in a dry run).
  std::function<void(const JwwDocument&, const SheetPlan&, const std::vector<SheetOutcome>&)> drawingDone;
  // Drawing number `done` (1-based, in input order) is finished, whatever became of it.
  std::function<void(size_t done)> drawingFinished;
  const SplitOptions& options;
  bool dryRun;
  RunContext& run;
  RunFailures& failures;
  RunSummary& summary;
  bool& cancelRequested;  // also set from outside between drawings (the window's close)
  // drawingDone looks at the drawing, which must then stay loaded until its turn comes.
  bool drawingDoneReadsDrawing = true;
  // The files beside every written sheet, planned with the sheets and written with them (by
  // the workers, in any order); what could not be written goes to companionsDone, in input
  // order, before drawingDone. `pictures` and `protectedFiles` are called from every worker.
  const CompanionRequest* companions = nullptr;
  PictureWriter* pictures = nullptr;
  const std::set<FileIdentity>* protectedFiles = nullptr;  // the inputs and settings files
  std::function<void(const CompanionResult&)> companionsDone{};
};

// Converts the files in order, each into `outputFolder` or its own folder. With jobs > 1 at
// most that many drawings are loaded at once; with one job, `document` is used for them all and
// the window, when there is one, is kept responsive between drawings. Stops before the next
// drawing once a cancel was asked for.
void ConvertDrawings(BatchSetup& setup, const std::vector<std::filesystem::path>& files,
                     const std::optional<std::filesystem::path>& outputFolder, unsigned jobs, JwwDocument& document);

}  // namespace kelvane
