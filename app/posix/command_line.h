// The command line of the Linux program: what it asks for, parsed without touching anything.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "dxf/dxf_writer.h"
#include "render/picture_format.h"

namespace kelvane {

// Single options given for this run only; they override the settings and are never stored.
struct OptionOverrides {
  std::optional<NamingPattern> pattern;
  std::optional<int32_t> start;
  std::optional<NumberingDirection> direction;
  std::optional<std::string> separator;  // Shift_JIS
  std::optional<bool> leadingZeros, frame, compact, print;
  std::optional<double> margin;  // as the window's margin box would give it

  bool Any() const {
    return pattern || start || direction || separator || leadingZeros || frame || compact || print || margin;
  }
  void ApplyTo(SplitOptions& options) const;
};

enum class CommandMode {
  kSplit,        // split the drawings (also "/G")
  kHelp,         // print the usage
  kVersion,      // print the version and the libraries' versions
  kInfo,         // describe one drawing
  kRoundtrip,    // load and save one drawing
  kMakeExample,  // write the example drawing
  kPlan,         // draw the plan of one drawing, write nothing else
  kRender,       // draw one drawing on its own paper
  kExport,       // write one drawing as one DXF file
};

struct CommandLine {
  CommandMode mode = CommandMode::kSplit;
  std::vector<std::filesystem::path> operands;  // drawings, or the mode's paths
  std::optional<std::filesystem::path> settingsFile;
  std::optional<std::filesystem::path> outputFolder;
  OptionOverrides overrides;
  bool dryRun = false;
  // Pictures: the plan's file (kPlan), the drawing's (kRender), and beside every written sheet.
  std::optional<std::filesystem::path> pictureFile;
  std::vector<PictureFormat> sheetPictures;
  std::optional<bool> color;  // --color or --mono; none: the drawing's colour-print setting
  int dpi = 150;
  std::optional<std::string> printer;  // UTF-8, --printer: where printed sheets go
  // Batches: folders taken with every folder below; drawings at once (none: one per core);
  // only errors shown; a JSON report of every sheet.
  bool recursive = false;
  std::optional<unsigned> jobs;
  bool quiet = false;
  std::optional<std::filesystem::path> reportFile;
  // DXF: beside every written sheet (--dxf), and how every DXF of the run is written.
  bool sheetDxf = false;
  DxfOptions dxf;
  std::optional<std::filesystem::path> exportFile;  // kExport: the DXF file
  // One PDF of every written sheet of each drawing (--pdf-set), with its plan first (--pdf-set-plan).
  bool pdfSet = false;
  bool pdfSetPlan = false;
  bool pdfLayers = true;  // PDFs carry the drawing's layers (--no-pdf-layers: not)
};

struct CommandLineResult {
  std::optional<CommandLine> command;  // nothing when the line cannot be used
  std::string error;                   // UTF-8, for the user
  bool usageWithoutArguments = false;  // no argument at all: print the usage and fail
};

// Parses the arguments (UTF-8, without the program name). Checks values and that the named
// output folder and the folder of a picture file exist; reads nothing else.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args);

}  // namespace kelvane
