// The drawing the benchmarks measure on, made in memory.
#pragma once

#include <filesystem>

#include "jww/document.h"

namespace kelvane {

// Lines, arcs, texts, dimensions, solids and inserts of 20 blocks on a 10 mm grid, 1000 to a
// row, in the same mix for any count.
void BuildBenchmarkDrawing(JwwDocument& doc, int entities);

// The same drawing saved as a version 6.00 file; a benchmark that cannot write it stops there.
void SaveBenchmarkDrawing(const std::filesystem::path& path, int entities);

}  // namespace kelvane
