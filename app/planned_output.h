// One file a run writes beside its sheets, and what became of it: values the plan, the writer,
// the dry run, the window and the report share, so that none of them reads another's texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "render/picture_format.h"

namespace kelvane {

enum class OutputKind {
  kPicture,   // PNG, SVG or PDF of one sheet
  kDxf,       // DXF of one sheet
  kDxfImage,  // an embedded image the sheet's DXF refers to, beside it
  kPdfSet,    // every written sheet of a drawing as one PDF
  kReport,    // the run as JSON
};

// Why a planned file is not written although asked for.
enum class OutputRefusal {
  kNone,
  kInput,           // the name reaches an input of the run
  kSettingsFile,    // the name reaches a settings file
  kRunFile,         // another file of this run has the name
  kNotRegularFile,  // a folder, device, pipe or socket is there
};

// What became of one planned file.
enum class OutputState {
  kPlanned,     // a dry run, or not come to yet
  kWritten,
  kFailed,      // writing it failed; `reason` says why
  kRefused,     // refused when planned; `refusal` says why
  kNotNeeded,   // its sheet was not written, so neither is it
};

struct PlannedOutput {
  OutputKind kind = OutputKind::kPicture;
  size_t sheet = 0;                            // index into SheetPlan::sheets; unused for a PDF set
  PictureFormat format = PictureFormat::kPdf;  // of a picture
  int32_t embeddedImage = -1;                  // of a DXF image: the drawing's image index
  size_t dxf = 0;                              // of a DXF image: its DXF, an index into SheetPlan::outputs
  std::filesystem::path file{};
  OutputRefusal refusal = OutputRefusal::kNone;
  OutputState state = OutputState::kPlanned;
  std::string reason{};  // English: why it was refused or failed
};

// An embedded image as its DXF image files hold it, made once per drawing.
struct EmbeddedImageFile {
  std::vector<uint8_t> bytes;
  std::string extension;  // from the bytes: "png", "jpg", "bmp", "gif", "gz" or "bin"
};

}  // namespace kelvane
