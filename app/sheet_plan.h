// Deciding every sheet of one drawing before anything is written: its number, name, paper,
// file, and why it is skipped or renamed. The dry run prints this plan and the writer carries
// it out, so both walk the same decisions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/planned_output.h"
#include "app/services.h"
#include "jww/document.h"
#include "split/frames.h"

namespace kelvane {

// What the run knows when it plans a drawing: every input of the run and every sheet file
// planned so far. A sheet is never written over an input, whether that input was split
// already, is being split or waits its turn.
struct RunContext {
  std::set<FileIdentity> inputIdentities;       // inputs that exist
  // Keys are compared as plain strings: they are built alike (resolved folder, then name), and
  // comparing paths element by element made placing sheets the slowest step that cannot run
  // alongside others.
  std::set<std::filesystem::path::string_type> inputKeys;    // every input, by NameKey
  std::set<std::filesystem::path::string_type> plannedKeys;  // sheet files of this run, by NameKey
  std::set<FileIdentity> writtenIdentities;     // sheet files of this run that were saved
  // The settings files: no file of the run may replace them.
  std::set<std::filesystem::path::string_type> protectedKeys;
  std::set<FileIdentity> protectedIdentities;
  std::filesystem::file_time_type started{};     // when the run began
  std::set<std::filesystem::path> tidiedFolders;  // output folders cleared of stale temporary files
  // Folders already resolved through their links: inputs share few folders, and resolving one
  // asks the file system once per path element.
  std::map<std::filesystem::path, std::filesystem::path> resolvedFolders;

  void Clear() { *this = RunContext{}; }
};

// The key by which two paths are compared before either file exists: the folder resolved
// through links, and on platforms whose names ignore case, the name folded to upper case.
std::filesystem::path NameKey(const FileQueries& files, const std::filesystem::path& path);

// The same for a name in a folder already resolved as NameKey resolves it.
std::filesystem::path::string_type NameKeyIn(const FileQueries& files, const std::filesystem::path& resolvedFolder,
                                             const std::filesystem::path& name);

// Adds one input of the run to the context.
void AddRunInput(RunContext& run, const FileQueries& files, const std::filesystem::path& input);
// Adds a settings file, which no file of the run may replace.
void AddProtectedFile(RunContext& run, const FileQueries& files, const std::filesystem::path& file);

enum class SheetDecision {
  kWrite,           // written under its own name
  kRenamed,         // an earlier sheet of this run has the name: written as "name~N"
  kEmpty,           // nothing but the drawn frame would be on it: no file
  kProtectedInput,  // its file would replace an input of the run: skipped
  kNameNotUsable,   // its name cannot be a file name here: skipped
};

struct PlannedSheet {
  size_t frame = 0;    // index into SheetPlan::frames, in numbering order
  int sheet = 0;       // index of the sheet within its frame
  std::string number;  // with leading zeros and, for a frame of several sheets, "-n"
  int32_t paperSize = 0;
  SheetView view;  // the entities on the sheet and how they move
  SheetDecision decision = SheetDecision::kEmpty;
  // Where the sheet goes (kWrite, kRenamed), or the file it would have replaced
  // (kProtectedInput); empty otherwise.
  std::filesystem::path file;
  std::string note;  // Shift_JIS status text of a skipped or renamed sheet; empty otherwise
  std::filesystem::path name;  // the file's name without folder and ".jww", before any rename
  // What was found at the sheet's own name when the drawing was prepared: looked up then, so
  // that placing the sheet in input order asks the file system nothing in the usual case.
  std::optional<FileIdentity> foundIdentity;

  bool ToBeWritten() const { return decision == SheetDecision::kWrite || decision == SheetDecision::kRenamed; }
};

struct SheetPlan {
  std::filesystem::path source;
  std::filesystem::path outputFolder;
  std::filesystem::path folderKey;  // the output folder resolved through links, as NameKey has it
  std::vector<PaperFrame> frames;  // in numbering order, with their sheet names
  std::vector<PlannedSheet> sheets;
  // The files beside the sheets, named and checked with them (see PlanCompanions).
  std::vector<PlannedOutput> outputs;
  std::map<int32_t, EmbeddedImageFile> dxfImages;  // by the drawing's image index
  int32_t rejectedFrames = 0;  // closed frames whose size or centre is not finite: no sheet
};

// Plans every sheet of a loaded drawing. Reads the file system (paths and identities) through
// the file queries but changes nothing: the drawing and the run context stay as they are.
SheetPlan PlanSheets(const JwwDocument& doc, const SplitOptions& options, const std::filesystem::path& source,
                     const std::filesystem::path& outputFolder, const RunContext& run, const FileQueries& files);

// The two halves of PlanSheets. PrepareSheets decides all that depends on the drawing alone
// (frames, views, numbers, names) and leaves every sheet to be written at kWrite with an empty
// file; drawings can be prepared in any order, at the same time. PlaceSheets then gives those
// sheets their files against the run, in input order.
SheetPlan PrepareSheets(const JwwDocument& doc, const SplitOptions& options, const std::filesystem::path& source,
                        const std::filesystem::path& outputFolder, const FileQueries& files);
void PlaceSheets(SheetPlan& plan, const RunContext& run, const FileQueries& files);

// After a plan was carried out (or printed by a dry run): its files count as taken for the
// rest of the run.
void RecordPlannedSheets(RunContext& run, const FileQueries& files, const SheetPlan& plan);

// The pieces of a file name: number, base, separator and name text as the pattern orders them.
std::filesystem::path ComposeSheetName(NamingPattern pattern, const std::string& number, const std::filesystem::path& base,
                                       const std::filesystem::path& separator, const std::filesystem::path& nameText);

// The number text of k, with leading zeros to the width of frameCount + startNumber.
std::string NumberText(int32_t k, int32_t frameCount, int32_t startNumber, bool leadingZero);

// The source name without its extension: everything from its last "." is removed.
std::filesystem::path SourceBaseName(const std::filesystem::path& source);

// True when the name can be a file of its own on every platform we write for: not empty, no
// separator, control character or ":", not "." or "..", no trailing dot or blank, and not a
// Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension).
bool IsUsableFileName(const std::filesystem::path& name);

}  // namespace kelvane
