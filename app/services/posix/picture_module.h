// The picture modules, loaded at the first picture a run draws.
#pragma once

#include <string>

#include "app/pictures/pdf_library.h"
#include "app/pictures/picture_library.h"

namespace kelvane {

// The module's functions, loaded once for the process from beside the program or from where it
// is installed; null, with the reason in `error`, when it cannot be loaded.
const PictureLibrary* LoadPictureModule(std::string& error);
// The PDF module's: PDF files and DXF images without cairo and pango, for a run that draws
// nothing else.
const PdfLibrary* LoadPdfModule(std::string& error);

}  // namespace kelvane
