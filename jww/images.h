// Images embedded in drawings of version 700 on, kept as temporary files while a drawing is split.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "text/jwwstring.h"

namespace kelvane {

struct ImageEntry {
  JwwString name;   // the image file name as stored in the drawing
  int32_t size = 0;
  bool referenced = false;
  // Where the bytes were put. Note: the stored name never becomes a file name, so a name
  // holding "..", separators or a drive cannot reach outside the image folder.
  std::filesystem::path tempPath;
};

// The images of the drawing read last; process-wide, like the folder that holds them.
extern std::vector<ImageEntry> ImageList;

// The folder of the temporary image files: private to this process, under the system's
// temporary folder, made on first use and removed with its contents when the process ends.
// Two instances of the program therefore never share or clobber each other's images.
const std::filesystem::path& ImageFolder();

void ClearImageList();
// Deletes the temporary files of the images in the list; the list itself stays.
void DeleteTemporaryImages();

}  // namespace kelvane
