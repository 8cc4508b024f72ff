// Writing a display list as PNG, SVG or PDF through cairo and pango (Linux).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "drawing/image_source.h"
#include "render/display_list.h"
#include "render/picture_format.h"

namespace kelvane {

struct PictureOutput {
  double dpi = 150;        // PNG: pixels per inch of the page
  double pageScale = 1.0;  // page millimetres per display-list millimetre
  // The stored bytes of an image reference; none drawn when it returns nothing, and then the
  // reason in `problem`. Asked once per picture for each source, however often it is shown.
  std::function<std::vector<uint8_t>(const JwwString& source, ImageProblem& problem)> imageBytes;
  ImagesLeftOut* imagesLeftOut = nullptr;  // when given, counts the references not drawn
};

// Writes one page to `out`. False with the reason when the page cannot be made (too large, no
// memory) or a write to `out` failed.
bool WritePicture(const DisplayList& list, std::ostream& out, PictureFormat format, const PictureOutput& output,
                  std::string& error);

// Writes one page as a file that appears complete or not at all: through a temporary file
// beside it, moved over it only when every write succeeded, so a link at the name is replaced,
// never followed, and a failure keeps the earlier file. False with the reason otherwise.
bool WritePicture(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                  const PictureOutput& output, std::string& error);

}  // namespace kelvane
