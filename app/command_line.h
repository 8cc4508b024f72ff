// The command line of the Linux program: what it asks for, parsed without touching anything.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"

namespace kelvane {

// Single options given for this run only; they override the settings and are never stored.
struct OptionOverrides {
  std::optional<int32_t> pattern, start, direction;
  std::optional<std::string> separator;  // Shift_JIS
  std::optional<bool> leadingZeros, frame, compact, print;
  std::optional<std::string> margin;  // as the margin box would show it

  bool Any() const {
    return pattern || start || direction || separator || leadingZeros || frame || compact || print || margin;
  }
  void ApplyTo(OptionControls& controls) const;
};

enum class CommandMode {
  kSplit,        // split the drawings (also "/G")
  kHelp,         // print the usage
  kInfo,         // describe one drawing
  kRoundtrip,    // load and save one drawing
  kMakeExample,  // write the example drawing
};

struct CommandLine {
  CommandMode mode = CommandMode::kSplit;
  std::vector<std::filesystem::path> operands;  // drawings, or the mode's paths
  std::optional<std::filesystem::path> settingsFile;
  std::optional<std::filesystem::path> outputFolder;
  OptionOverrides overrides;
  bool dryRun = false;
};

struct CommandLineResult {
  std::optional<CommandLine> command;  // nothing when the line cannot be used
  std::string error;                   // UTF-8, for the user
  bool usageWithoutArguments = false;  // no argument at all: print the usage and fail
};

// Parses the arguments (UTF-8, without the program name). Checks values and that the named
// output folder exists; reads nothing else.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args);

}  // namespace kelvane
