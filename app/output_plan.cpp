// Naming and checking every file beside the sheets before anything is written.
#include "app/output_plan.h"

#include <algorithm>
#include <system_error>

#include "app/messages.h"
#include "app/plan_picture.h"

namespace kelvane {

namespace {

// How a failure line names the kind of file: a set is a picture, an image goes with its DXF.
const char* KindText(OutputKind kind) {
  switch (kind) {
    case OutputKind::kPicture:
    case OutputKind::kPdfSet: return "picture";
    case OutputKind::kDxf:
    case OutputKind::kDxfImage: return "DXF";
    case OutputKind::kReport: return "report";
  }
  return "file";
}

// The extension an image file's bytes call for.
std::string ExtensionOfContent(const std::vector<uint8_t>& b) {
  auto starts = [&](std::initializer_list<uint8_t> magic) {
    return b.size() >= magic.size() && std::equal(magic.begin(), magic.end(), b.begin());
  };
  if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return "png";
  if (starts({0xFF, 0xD8, 0xFF})) return "jpg";
  if (starts({'B', 'M'})) return "bmp";
  if (starts({'G', 'I', 'F', '8'})) return "gif";
  if (starts({0x1F, 0x8B})) return "gz";
  return "bin";
}

EmbeddedImageFile MakeImageFile(const JwwDocument& doc, int32_t index, bool gzipped, const CompanionRequest& request) {
  const uint8_t* bytes = doc.images.Bytes(size_t(index));
  const std::vector<uint8_t> stored(bytes, bytes + doc.images[size_t(index)].size);
  EmbeddedImageFile file;
  if (request.dxfOptions.toPng && request.dxfOptions.toPng(stored, gzipped, file.bytes)) {
    file.extension = "png";
    return file;
  }
  // As stored: the name follows what the bytes are, never the name inside the drawing.
  file.bytes = stored;
  file.extension = ExtensionOfContent(file.bytes);
  return file;
}

// Checks names against the run and takes them.
class Claims {
 public:
  Claims(RunContext& run, const FileQueries& files) : run_(run), files_(files) {}

  std::filesystem::path::string_type Key(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.parent_path();
    auto resolved = run_.resolvedFolders.find(folder);
    if (resolved == run_.resolvedFolders.end())
      resolved = run_.resolvedFolders.emplace(folder, NameKey(files_, folder / "x").parent_path()).first;
    return NameKeyIn(files_, resolved->second, file.filename());
  }

  // Why `file` may not be written by this run; kNone when it is free (it is not taken yet).
  OutputRefusal Check(const std::filesystem::path& file) {
    const auto key = Key(file);
    const std::optional<FileIdentity> id = files_.IdentityOf(file);
    if (run_.inputKeys.count(key) || (id && run_.inputIdentities.count(*id))) return OutputRefusal::kInput;
    if (run_.protectedKeys.count(key) || (id && run_.protectedIdentities.count(*id))) return OutputRefusal::kSettingsFile;
    if (run_.plannedKeys.count(key) || (id && run_.writtenIdentities.count(*id))) return OutputRefusal::kRunFile;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(file, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
      return OutputRefusal::kNotRegularFile;
    return OutputRefusal::kNone;
  }

  OutputRefusal Claim(const std::filesystem::path& file) {
    const OutputRefusal refusal = Check(file);
    if (refusal == OutputRefusal::kNone) run_.plannedKeys.insert(Key(file));
    return refusal;
  }

 private:
  RunContext& run_;
  const FileQueries& files_;
};

std::filesystem::path WithExtension(std::filesystem::path file, const std::string& extension) {
  file.replace_extension(extension);
  return file;
}

}  // namespace

const char* OutputKindName(OutputKind kind) {
  switch (kind) {
    case OutputKind::kPicture: return "picture";
    case OutputKind::kDxf: return "dxf";
    case OutputKind::kDxfImage: return "dxfImage";
    case OutputKind::kPdfSet: return "pdfSet";
    case OutputKind::kReport: return "report";
  }
  return "file";
}

std::string RefusalText(OutputRefusal refusal) {
  switch (refusal) {
    case OutputRefusal::kNone: return "";
    case OutputRefusal::kInput: return "it would replace an input of the run";
    case OutputRefusal::kSettingsFile: return "it would replace a settings file";
    case OutputRefusal::kRunFile: return "it would replace a file written by this run";
    case OutputRefusal::kNotRegularFile: return "something that is not a regular file is there";
  }
  return "";
}

std::string FailureLine(const OutputFailure& failure) {
  return failure.file.string() + ": " + KindText(failure.kind) + " not written: " + failure.reason;
}

std::string FailureStatusText(const FileQueries& files, const OutputFailure& failure) {
  const char* said = failure.kind == OutputKind::kPdfSet                                  ? kPdfSetNotSaved
                     : failure.kind == OutputKind::kDxf || failure.kind == OutputKind::kDxfImage ? kDxfNotSaved
                                                                                         : kPdfNotSaved;
  return said + files.ToSjis(failure.file) + " (" + failure.reason + ")";
}

std::optional<OutputRefusal> ReserveRunFile(RunContext& run, const FileQueries& files, const std::filesystem::path& file) {
  const OutputRefusal refusal = Claims(run, files).Claim(file);
  if (refusal == OutputRefusal::kNone) return std::nullopt;
  return refusal;
}

void PlanCompanions(SheetPlan& plan, const JwwDocument& doc, const CompanionRequest& request, RunContext& run,
                    const FileQueries& files) {
  plan.outputs.clear();
  plan.dxfImages.clear();
  if (!request.Any()) return;
  Claims claims(run, files);
  auto add = [&](PlannedOutput output) {
    output.refusal = claims.Claim(output.file);
    if (output.refusal != OutputRefusal::kNone) output.state = OutputState::kRefused, output.reason = RefusalText(output.refusal);
    plan.outputs.push_back(std::move(output));
  };

  // The files named after their sheet or drawing first: a DXF image can move, they cannot.
  bool anySheet = false;
  for (size_t i = 0; i < plan.sheets.size(); ++i) {
    const PlannedSheet& sheet = plan.sheets[i];
    if (!sheet.ToBeWritten()) continue;
    anySheet = true;
    for (PictureFormat format : request.pictures) {
      PlannedOutput picture{.kind = OutputKind::kPicture, .sheet = i, .format = format};
      picture.file = WithExtension(sheet.file, ExtensionOf(format));
      add(std::move(picture));
    }
    if (request.dxf) add(PlannedOutput{.kind = OutputKind::kDxf, .sheet = i, .file = WithExtension(sheet.file, ".dxf")});
  }
  if (request.pdfSet && anySheet) add(PlannedOutput{.kind = OutputKind::kPdfSet, .file = SheetSetFileOf(plan)});

  // Each DXF's images: DXFNAME-N.EXT, the extension from what the file holds; a name another
  // file has goes on to DXFNAME-N~2.EXT and so on, and the DXF refers to the name it got.
  const size_t named = plan.outputs.size();
  for (size_t d = 0; d < named; ++d) {
    if (plan.outputs[d].kind != OutputKind::kDxf || plan.outputs[d].state == OutputState::kRefused) continue;
    const std::filesystem::path dxf = plan.outputs[d].file;
    const auto images = DxfEmbeddedImagesOf(doc, &plan.sheets[plan.outputs[d].sheet].view);
    for (size_t n = 0; n < images.size(); ++n) {
      const auto [index, gzipped] = images[n];
      auto made = plan.dxfImages.find(index);
      if (made == plan.dxfImages.end()) made = plan.dxfImages.emplace(index, MakeImageFile(doc, index, gzipped, request)).first;
      PlannedOutput image{.kind = OutputKind::kDxfImage, .sheet = plan.outputs[d].sheet, .embeddedImage = index, .dxf = d};
      for (int k = 1;; ++k) {
        std::filesystem::path name = dxf.stem();
        name += "-" + std::to_string(n + 1) + (k > 1 ? "~" + std::to_string(k) : "") + "." + made->second.extension;
        image.file = dxf.parent_path() / name;
        const OutputRefusal refusal = claims.Check(image.file);
        // A name another file of the run holds is passed over; what must not be touched at
        // all (an input, a settings file, a folder) is passed over too, never replaced.
        if (refusal == OutputRefusal::kNone) break;
      }
      claims.Claim(image.file);
      plan.outputs.push_back(std::move(image));
    }
  }
}

}  // namespace kelvane
