// The picture module, loaded at the first picture a run draws.
#pragma once

#include <string>

#include "app/pictures/picture_library.h"

namespace kelvane {

// The module's functions, loaded once for the process from beside the program or from where it
// is installed; null, with the reason in `error`, when it cannot be loaded.
const PictureLibrary* LoadPictureModule(std::string& error);

}  // namespace kelvane
