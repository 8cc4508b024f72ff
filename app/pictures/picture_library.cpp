#include "app/pictures/picture_library.h"

namespace kelvane {

const PictureLibrary& LinkedPictureLibrary() {
  static const PictureLibrary library{WritePlanPicture,  WriteSheetPictures, WriteDrawingPicture,
                                      WriteSheetSetPdf, ImageAsPng,         PictureLibraryVersions};
  return library;
}

}  // namespace kelvane
