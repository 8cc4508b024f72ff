// The bundled example drawing: several paper frames with the kinds of content users draw.
#pragma once

#include <filesystem>

namespace kelvane {

// Writes the example drawing (version 700, Unicode strings, one embedded image) to `path`.
// Six frames of four sizes in two rows; name texts, one with a layer part and two alike;
// an empty frame; nested block insertions; arcs, an arc solid, dimensions. False on failure.
bool WriteExampleDrawing(const std::filesystem::path& path);

}  // namespace kelvane
