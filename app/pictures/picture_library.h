// What the picture code offers the command line, as one table of functions. The program loads
// it as a module (kelvane-pictures.so) only when a run draws: linked, cairo, pango and the forty
// libraries they bring took most of the start-up time of every run, pictures or not.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/pictures/library_versions.h"
#include "app/pictures/picture_files.h"
#include "app/pictures/png_image.h"

namespace kelvane {

struct PictureLibrary {
  decltype(&WritePlanPicture) writePlanPicture;
  decltype(&WriteSheetPictures) writeSheetPictures;
  decltype(&WriteDrawingPicture) writeDrawingPicture;
  decltype(&WriteSheetSetPdf) writeSheetSetPdf;
  decltype(&WriteSheetPicture) writeSheetPicture;
  decltype(&WriteSheetSetPdfAt) writeSheetSetPdfAt;
  decltype(&ImageAsPng) imageAsPng;
  decltype(&PictureLibraryVersions) libraryVersions;
};

// The functions as linked into this binary: the module's table, and the tests'.
const PictureLibrary& LinkedPictureLibrary();

// The module's one exported function. It answers null unless `version` is the version it was
// built as, so that a program never calls into a module of another version.
inline constexpr char kPictureModuleEntry[] = "kelvane_picture_library";
using PictureModuleEntry = const PictureLibrary* (*)(const char* version);

}  // namespace kelvane
