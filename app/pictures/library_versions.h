// The versions of the drawing libraries the program runs with, for --version.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kelvane {

// Name and version of cairo, pango and zlib as loaded at run time (not as compiled against).
std::vector<std::pair<std::string, std::string>> PictureLibraryVersions();

}  // namespace kelvane
