// The entry of the picture module (kelvane-pictures.so): the only symbol it exports.
#include <cstring>
#include <type_traits>

#include "app/pictures/picture_library.h"

extern "C" __attribute__((visibility("default"))) const kelvane::PictureLibrary* kelvane_picture_library(
    const char* version) {
  static_assert(std::is_same_v<decltype(&kelvane_picture_library), kelvane::PictureModuleEntry>);
  if (!version || std::strcmp(version, KELVANE_VERSION) != 0) return nullptr;
  return &kelvane::LinkedPictureLibrary();
}
