// Writing a DXF and its images through replacing files: an earlier file stays when a write fails.
#include "dxf/dxf_file.h"

#include <array>
#include <exception>
#include <span>
#include <new>

#include "platform/replacing_file.h"
#include "platform/text_conversion.h"

namespace kelvane {

namespace {

// Writes the pieces at `file`; the reason in `reason` when it fails.
template <typename Pieces>
bool WriteWhole(const std::filesystem::path& file, const Pieces& pieces, const std::set<FileIdentity>& protectedFiles,
                std::string& reason) {
  reason = ProtectedTargetProblem(file, protectedFiles);
  if (!reason.empty()) return false;
  ReplacingFile out(file);
  if (!out.ok()) {
    reason = out.error();
    return false;
  }
  for (const auto& piece : pieces) out.stream().write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
  if (!out.Commit()) {
    reason = out.error();
    return false;
  }
  return true;
}

}  // namespace

bool WriteDxfFile(const JwwDocument& doc, const SheetView* view, const std::filesystem::path& file,
                  DxfOptions options, const std::set<FileIdentity>& protectedFiles, std::string& error) {
  std::string reason;
  std::filesystem::path failed = file;
  try {
    // Refused before anything is made: a DXF that may not be written leaves no image behind.
    if (const std::string refused = ProtectedTargetProblem(file, protectedFiles); !refused.empty()) {
      error = file.string() + ": DXF not written: " + refused;
      return false;
    }
    options.imageBaseName = PathToSjis(file.stem());
    // Kept between files, so that a run of many sheets reuses the memory of the first.
    static thread_local DxfResult dxf;
    MakeDxf(doc, view, options, dxf);
    bool ok = true;
    for (const DxfImageFile& image : dxf.images) {
      if (!ok) break;
      failed = file.parent_path() / SjisToPath(image.name);
      ok = WriteWhole(failed, std::vector<std::vector<uint8_t>>{image.bytes}, protectedFiles, reason);
    }
    if (ok) {
      failed = file;
      ok = WriteWhole(file, dxf.parts, protectedFiles, reason);
    }
    if (ok) return true;
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  } catch (const std::exception& e) {
    reason = e.what();
  }
  error = failed.string() + ": DXF not written: " + reason;
  return false;
}

bool WriteDxfOnly(const JwwDocument& doc, const SheetView* view, const std::filesystem::path& file,
                  const DxfOptions& options, const std::set<FileIdentity>& protectedFiles, std::string& reason) {
  try {
    static thread_local DxfResult dxf;
    MakeDxf(doc, view, options, dxf);
    return WriteWhole(file, dxf.parts, protectedFiles, reason);
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  } catch (const std::exception& e) {
    reason = e.what();
  }
  return false;
}

bool WriteFileWhole(const std::filesystem::path& file, const std::vector<uint8_t>& bytes,
                    const std::set<FileIdentity>& protectedFiles, std::string& reason) {
  try {
    return WriteWhole(file, std::array<std::span<const uint8_t>, 1>{bytes}, protectedFiles, reason);
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  } catch (const std::exception& e) {
    reason = e.what();
  }
  return false;
}

}  // namespace kelvane
