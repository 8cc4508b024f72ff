// The side settings file: options that the 17-line settings file has no place for, kept beside
// it in a file of their own ("kelvane.ini" beside "kelvane.dat") so that the settings file stays
// exactly as other programs read it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kelvane {

// The options of the side file. Defaults hold for a missing file and for every key it lacks.
struct SideOptions {
  bool pdf = false;  // a PDF beside every written sheet
  bool dxf = false;  // a DXF beside every written sheet
  bool pdfSet = false;  // one PDF of every written sheet of a drawing

  bool operator==(const SideOptions&) const = default;
};

// What a side file held: the options it gave, and every line this version does not know, kept
// so that writing the file back loses nothing a newer version put there.
struct SideSettings {
  SideOptions options;
  std::vector<std::string> otherLines;
};

// The side file of a settings file: the same folder and name, extension ".ini" (a settings file
// that is itself named "*.ini" gets ".ini" appended, so the two never coincide).
std::filesystem::path SideSettingsFileOf(const std::filesystem::path& settingsFile);

// Reads "key=value" lines (CR LF or LF; blanks around key and value ignored). A missing,
// unreadable or broken file, or a value that is not "0" or "1", leaves the defaults; never throws.
SideSettings LoadSideSettings(const std::filesystem::path& file);

// Writes the known keys, then the other lines as they were, through a temporary file moved over
// the target. Answers whether it was written.
bool SaveSideSettings(const std::filesystem::path& file, const SideSettings& settings);

}  // namespace kelvane
