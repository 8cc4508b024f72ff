// Writing the files beside a drawing's sheets, as their plan names them.
#include "app/output_writer.h"

#include <map>

#include "app/plan_picture.h"
#include "dxf/dxf_file.h"
#include "platform/text_conversion.h"
#include "drawing/image_source.h"
#include "render/render.h"

namespace kelvane {

namespace {

// The name a DXF refers to an image file by: its own, in UTF-16 where the platform's names can
// carry more than code page 932.
JwwString ReferenceName(const std::filesystem::path& file) {
  try {
    return JwwString::Wide(file.filename().u16string());
  } catch (const std::exception&) {
    return JwwString::Sjis(PathToSjis(file.filename()));  // a name that is not UTF-8
  }
}

class CompanionWriter {
 public:
  CompanionWriter(const JwwDocument& doc, SheetPlan& plan, const CompanionRequest& request, PictureWriter* pictures,
                  const std::set<FileIdentity>& protectedFiles, CompanionResult& result)
      : doc_(doc), plan_(plan), request_(request), pictures_(pictures), protected_(protectedFiles), result_(result) {}

  void Write(size_t i) {
    PlannedOutput& out = plan_.outputs[i];
    if (out.state != OutputState::kPlanned) return;
    std::string reason;
    bool written = false;
    switch (out.kind) {
      case OutputKind::kPicture:
        written = pictures_ && pictures_->WriteSheetPicture(doc_, plan_, plan_.sheets[out.sheet], out.format, out.file,
                                                            protected_, reason, result_.warnings);
        if (!pictures_) reason = "pictures cannot be drawn here";
        break;
      case OutputKind::kDxf:
        written = WriteDxf(i, reason);
        break;
      case OutputKind::kDxfImage:
        return;  // written with its DXF
      case OutputKind::kPdfSet:
        written = pictures_ && pictures_->WriteSheetSet(doc_, plan_, writtenSheets, request_.pdfSetPlan, out.file,
                                                        protected_, reason, result_.warnings);
        if (!pictures_) reason = "pictures cannot be drawn here";
        break;
      case OutputKind::kReport:
        return;
    }
    Settle(out, written, reason);
  }

  void Settle(PlannedOutput& out, bool written, const std::string& reason) {
    out.state = written ? OutputState::kWritten : OutputState::kFailed;
    if (written) return;
    out.reason = reason;
    result_.failures.push_back({out.file, out.kind, reason});
  }

  std::vector<size_t> writtenSheets;

 private:
  // The DXF's images first, then the DXF that refers to them: a DXF is never left pointing at
  // an image that is not there.
  bool WriteDxf(size_t d, std::string& reason) {
    const PlannedOutput& dxf = plan_.outputs[d];
    std::map<int32_t, DxfPlannedImage> images;
    for (PlannedOutput& image : plan_.outputs) {
      if (image.kind != OutputKind::kDxfImage || image.dxf != d) continue;
      const EmbeddedImageFile& content = plan_.dxfImages.at(image.embeddedImage);
      std::string imageReason;
      const bool written = WriteFileWhole(image.file, content.bytes, protected_, imageReason);
      Settle(image, written, imageReason);
      if (!written) {
        reason = "its image " + image.file.filename().string() + " could not be written";
        return false;
      }
      images[image.embeddedImage] = DxfPlannedImage{ReferenceName(image.file), &content.bytes};
    }
    DxfOptions options = request_.dxfOptions;
    options.drawingFolder = DrawingFolder(plan_.source);
    options.plannedImages = &images;
    // The sheet's paper, as its picture's page.
    const PlannedSheet& sheet = plan_.sheets[dxf.sheet];
    SheetPageSize(plan_.frames[sheet.frame], sheet.paperSize, options.paperWidth, options.paperHeight);
    return WriteDxfOnly(doc_, &plan_.sheets[dxf.sheet].view, dxf.file, options, protected_, reason);
  }

  const JwwDocument& doc_;
  SheetPlan& plan_;
  const CompanionRequest& request_;
  PictureWriter* pictures_;
  const std::set<FileIdentity>& protected_;
  CompanionResult& result_;
};

}  // namespace

CompanionResult WriteCompanions(const JwwDocument& doc, SheetPlan& plan, const std::vector<SheetOutcome>& outcomes,
                                const CompanionRequest& request, PictureWriter* pictures,
                                const std::set<FileIdentity>& protectedFiles) {
  CompanionResult result;
  CompanionWriter writer(doc, plan, request, pictures, protectedFiles, result);
  auto sheetWritten = [&](size_t s) { return s < outcomes.size() && outcomes[s].written; };
  for (size_t s = 0; s < plan.sheets.size(); ++s)
    if (sheetWritten(s)) writer.writtenSheets.push_back(s);
  for (size_t i = 0; i < plan.outputs.size(); ++i) {
    PlannedOutput& out = plan.outputs[i];
    const bool needed = out.kind == OutputKind::kPdfSet ? !writer.writtenSheets.empty() : sheetWritten(out.sheet);
    if (!needed) {
      if (out.state == OutputState::kPlanned) out.state = OutputState::kNotNeeded;
      continue;
    }
    if (out.state == OutputState::kRefused) {
      result.failures.push_back({out.file, out.kind, out.reason});
      continue;
    }
    writer.Write(i);
  }
  return result;
}

}  // namespace kelvane
