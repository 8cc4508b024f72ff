// A DXF file on disk, with the embedded images it places beside it.
#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "dxf/dxf_writer.h"
#include "platform/file_identity.h"

namespace kelvane {

// Writes the DXF of `view` (the whole drawing when null) at `file`, and beside it the embedded
// images it places, each whole or not at all; none replaces a protected file (the run's inputs).
// Throws nothing; false with "FILE: DXF not written: REASON" in `error`.
bool WriteDxfFile(const JwwDocument& doc, const SheetView* view, const std::filesystem::path& file,
                  DxfOptions options, const std::set<FileIdentity>& protectedFiles, std::string& error);

}  // namespace kelvane
