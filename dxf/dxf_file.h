// A DXF file on disk, with the embedded images it places beside it.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "dxf/dxf_writer.h"
#include "platform/file_identity.h"

namespace kelvane {

// Writes the DXF of `view` (the whole drawing when null) at `file`, and beside it the embedded
// images it places, each whole or not at all; none replaces a protected file (the run's inputs).
// Throws nothing; false with "FILE: DXF not written: REASON" in `error`.
bool WriteDxfFile(const JwwDocument& doc, const SheetView* view, const std::filesystem::path& file,
                  DxfOptions options, const std::set<FileIdentity>& protectedFiles, std::string& error);

// Writes the DXF alone, whole or not at all, for a caller that names and writes its embedded
// images itself (options.plannedImages). Throws nothing; false with the reason.
bool WriteDxfOnly(const JwwDocument& doc, const SheetView* view, const std::filesystem::path& file,
                  const DxfOptions& options, const std::set<FileIdentity>& protectedFiles, std::string& reason);

// Writes bytes at `file` whole or not at all, never over a protected file; false with the reason.
bool WriteFileWhole(const std::filesystem::path& file, const std::vector<uint8_t>& bytes,
                    const std::set<FileIdentity>& protectedFiles, std::string& reason);

}  // namespace kelvane
