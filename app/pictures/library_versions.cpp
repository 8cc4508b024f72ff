#include "app/pictures/library_versions.h"

#include <cairo.h>
#include <pango/pango.h>
#include <zlib.h>

namespace kelvane {

std::vector<std::pair<std::string, std::string>> PictureLibraryVersions() {
  return {{"cairo", cairo_version_string()}, {"pango", pango_version_string()}, {"zlib", zlibVersion()}};
}

}  // namespace kelvane
