// Writing a display list as PNG, SVG or PDF through cairo and pango (Linux).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "render/display_list.h"
#include "render/image_source.h"
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

// Writes one page. False with a message when the file cannot be made.
bool WritePicture(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                  const PictureOutput& output, std::string& error);

}  // namespace kelvane
