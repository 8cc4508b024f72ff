// The session's platform on POSIX systems: the command line's stand-in for the window's services.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"

namespace kelvane {

// The command-line platform for POSIX systems. Ctrl-C acts as the Escape key from the moment it
// is pressed (a second Ctrl-C ends the program). An empty executable path means the running
// executable's own. Status texts go to standard output a line each, or, when given, to
// `statusLines` (printable UTF-8 without the line end).
std::unique_ptr<Platform> MakePosixPlatform(std::vector<std::filesystem::path> parameters,
                                            std::filesystem::path executablePath = {},
                                            std::function<void(const std::string&)> statusLines = {});

// UTF-8 for a terminal: CR dropped, other control characters but LF shown as "\xNN".
std::string PrintableText(std::string_view utf8);

}  // namespace kelvane
