// A drawing, or one sheet of it, as a DXF file: entities, layers, line types, text styles and
// blocks kept as such, at true size (paper millimetres times each layer group's scale).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "jww/document.h"

namespace kelvane {

enum class DxfVersion {
  kR2000,  // AC1015, texts in Shift_JIS (ANSI_932), other characters as \U+XXXX
  kR2007,  // AC1021, texts in UTF-8
};

enum class DxfUnits {
  kTrueSize,  // paper millimetres times the layer group's scale
  kPaper,     // paper millimetres as they are
};

// An embedded image the DXF refers to by a relative name; it has to be written beside the DXF.
struct DxfImageFile {
  std::string name;  // file name, Shift_JIS, in the DXF's own folder
  std::vector<uint8_t> bytes;
};

// An embedded image's file that the caller named and writes beside the DXF.
struct DxfPlannedImage {
  JwwString name;  // the file's name in the DXF's own folder
  const std::vector<uint8_t>* bytes = nullptr;  // its contents, for the pixel size
};

struct DxfOptions {
  DxfVersion version = DxfVersion::kR2000;
  DxfUnits units = DxfUnits::kTrueSize;
  // The base name (Shift_JIS, no extension) embedded images get beside the DXF: BASE-1.png...
  std::string imageBaseName = "image";
  // The sheet's paper in millimetres, as its picture's page (SheetPageSize): the header's
  // extents, the view, the paper limits and the layouts. 0: a whole drawing's own paper, or
  // for a sheet the smallest paper about its centre that holds its lines.
  double paperWidth = 0, paperHeight = 0;
  // Where relative image names of the drawing are looked up, for their pixel sizes.
  std::filesystem::path drawingFolder;
  // Turns an embedded image's stored bytes (gzip data when `gzipped`) into a PNG file's bytes;
  // false when it cannot. Without one, embedded images are written beside the DXF as stored.
  std::function<bool(const std::vector<uint8_t>& stored, bool gzipped, std::vector<uint8_t>& png)> toPng;
  // Files the caller named and made for the embedded images, by the drawing's image index: the
  // DXF refers to them and writes none of its own. An image missing here is referred to by its
  // name in the drawing.
  const std::map<int32_t, DxfPlannedImage>* plannedImages = nullptr;
};

// The embedded images a DXF of `view` (the whole drawing when null) refers to, in the order it
// meets them: the drawing's image index, and whether the reference names gzip data.
std::vector<std::pair<int32_t, bool>> DxfEmbeddedImagesOf(const JwwDocument& doc, const SheetView* view);


// The pixel size an image file's header gives (PNG, BMP, JPEG); false when it gives none.
bool ImagePixelSize(const std::vector<uint8_t>& bytes, int& width, int& height);

struct DxfResult {
  std::vector<std::string> parts;  // the DXF file: these, one after another
  std::vector<DxfImageFile> images;
};

// The DXF of the entities of `view` (moved by its centre, its extra lines after them), or of the
// whole drawing when `view` is null. Throws only std::bad_alloc.
DxfResult MakeDxf(const JwwDocument& doc, const SheetView* view, const DxfOptions& options);
// The same into `out`, whose strings' memory is used again: writing many files in turn then
// allocates (and the system clears) no new memory once it has grown.
void MakeDxf(const JwwDocument& doc, const SheetView* view, const DxfOptions& options, DxfResult& out);

}  // namespace kelvane
