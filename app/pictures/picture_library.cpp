#include "app/pictures/picture_library.h"

namespace kelvane {

const PictureLibrary& LinkedPictureLibrary() {
  static const PictureLibrary library{.writePlanPicture = WritePlanPicture,
                                      .writeSheetPictures = WriteSheetPictures,
                                      .writeDrawingPicture = WriteDrawingPicture,
                                      .writeSheetSetPdf = WriteSheetSetPdf,
                                      .writeSheetPicture = WriteSheetPicture,
                                      .writeSheetSetPdfAt = WriteSheetSetPdfAt,
                                      .imageAsPng = ImageAsPng,
                                      .libraryVersions = PictureLibraryVersions};
  return library;
}

}  // namespace kelvane
