// Writing a display list as PNG, SVG or PDF through cairo and pango (Linux).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "render/display_list.h"
#include "render/picture_format.h"

namespace kelvane {

struct PictureOutput {
  double dpi = 150;        // PNG: pixels per inch of the page
  double pageScale = 1.0;  // page millimetres per display-list millimetre
  // The stored bytes of an image reference; none drawn when it returns nothing.
  std::function<std::vector<uint8_t>(const JwwString& source)> imageBytes;
};

// Writes one page. False with a message when the file cannot be made.
bool WritePicture(const DisplayList& list, const std::filesystem::path& file, PictureFormat format,
                  const PictureOutput& output, std::string& error);

}  // namespace kelvane
