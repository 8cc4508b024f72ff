// The settings file: the options and window position kept between runs of the program.
#pragma once

#include <filesystem>
#include <string>

#include "app/options.h"
#include "app/services.h"

namespace kelvane {

// The settings file beside the executable: its name with the extension ".dat".
std::filesystem::path SettingsFileBeside(const std::filesystem::path& executable);

// The settings file in the user's settings folder, used when the executable's folder cannot be
// written.
std::filesystem::path UserSettingsFile(const ProgramEnvironment& environment);

// The settings file to read and write when none is named. A copy in the user's folder exists only
// because the executable's folder refused a write, so when it exists it is the newer one and
// wins; otherwise the file beside the executable.
std::filesystem::path DefaultSettingsFile(const FileQueries& files, const ProgramEnvironment& environment);

// Applies the defaults, then whatever the file holds (a missing or short file keeps defaults),
// and limits the values as the window's lists and boxes would show them. The window keeps its
// position when the file gives none. Nothing is reported.
void LoadSettings(const std::filesystem::path& file, SplitOptions& options, WindowPosition& position);

// Why a settings file named by the user cannot be one: not a regular readable file, a NUL byte,
// a line over 4 KB or more than 64 lines. Empty when it can be read as settings, or when it does
// not exist (the defaults then apply).
std::string CheckNamedSettingsFile(const std::filesystem::path& file);

// Writes all 17 lines through a temporary file in the same folder renamed over the target, so a
// failure leaves no partial file and keeps an earlier one intact. Answers whether it was written.
bool SaveSettings(const std::filesystem::path& file, const SplitOptions& options, const WindowPosition& position);

}  // namespace kelvane
