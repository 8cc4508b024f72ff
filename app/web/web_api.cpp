// The core for the page in the browser: a small C API over the drawings the page opened. The page
// writes each file into the module's memory file system (/in/NAME); the sheets are planned and
// written exactly as the command line plans and writes them (into /out), so they come out the
// same byte for byte, and the page reads them back from there. Every answer is UTF-8 or bytes
// left in one buffer (WebResult) until the next call.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/example.h"
#include "app/options.h"
#include "app/plan_picture.h"
#include "app/run_summary.h"
#include "app/sheet_plan.h"
#include "app/sheet_writer.h"
#include "app/web/display_list_bytes.h"
#include "app/services/portable_services.h"
#include "dxf/dxf_writer.h"
#include "jww/document.h"
#include "platform/text_conversion.h"
#include "drawing/image_source.h"
#include "render/render.h"
#include "text/numbers.h"

namespace kelvane {
namespace {

const std::filesystem::path kOutputFolder = "/out";

struct OpenDrawing {
  std::filesystem::path file;
  std::unique_ptr<JwwDocument> document;
  SheetPlan plan;
};

// The module's memory file system, filled by the page with the drawings it opened; nothing
// is shown while a run goes, the page shows its outcome.
StandardFileQueries gFiles;
SilentFeedback gFeedback;
std::vector<OpenDrawing> gDrawings;
SplitOptions gOptions;
std::string gResult;
// The image references of the last picture made, and its drawing: kv_image answers their bytes.
std::vector<JwwString> gImageSources;
int gImageDrawing = -1;
// The image files the last DXF refers to, to be written beside it.
std::vector<DxfImageFile> gDxfImages;

std::string PictureBytes(int drawing, const DisplayList& list) {
  gImageSources = list.imageSources;
  gImageDrawing = drawing;
  return DisplayListBytes(list);
}

std::string ToUtf8(const JwwString& s) { return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis); }

const char* Answer(std::string text) {
  gResult = std::move(text);
  return gResult.c_str();
}

// "key=value" lines as the page keeps its options; unknown keys are ignored.
SplitOptions ParseOptions(const std::string& text) {
  SplitOptions o;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "pattern") o.namingPattern = NamingPattern(std::clamp(TextToInt(value), 0, kNamingPatternCount - 1));
    else if (key == "separator") o.separator = Utf8ToSjis(value);
    else if (key == "start") o.startNumber = TextToInt(value);
    else if (key == "zeros") o.leadingZeros = value == "1";
    else if (key == "direction") o.numberingDirection = value == "1" ? NumberingDirection::kColumns : NumberingDirection::kRows;
    else if (key == "frame") o.drawFrameOnFF = value == "1";
    else if (key == "margin") o.margin = TextToReal(value);
    else if (key == "compact") o.compactEmptyNumbers = value == "1";
  }
  LimitOptions(o);
  return o;
}

const char* DecisionName(SheetDecision d) {
  switch (d) {
    case SheetDecision::kWrite: return "write";
    case SheetDecision::kRenamed: return "renamed";
    case SheetDecision::kEmpty: return "empty";
    case SheetDecision::kProtectedInput: return "protected";
    case SheetDecision::kNameNotUsable: return "unusable";
  }
  return "?";
}

// One drawing's plan as JSON: what the dry run prints, field by field.
std::string PlanJson(const OpenDrawing& d) {
  const SheetPlan& plan = d.plan;
  std::string j = "{\"source\":" + JsonString(d.file.filename().string()) +
                  ",\"frames\":" + std::to_string(plan.frames.size()) + ",\"sheets\":[";
  for (size_t i = 0; i < plan.sheets.size(); ++i) {
    const PlannedSheet& p = plan.sheets[i];
    const PaperFrame& f = plan.frames[p.frame];
    const size_t s = size_t(p.sheet);
    double w = 0, h = 0;
    SheetPageSize(f, p.paperSize, w, h);
    char rect[200];
    std::snprintf(rect, sizeof rect, "(%g, %g)-(%g, %g)", f.minX, f.minY, f.maxX, f.maxY);
    j += std::string(i ? "," : "") + "{\"frame\":" + std::to_string(p.frame + 1) +
         ",\"sheet\":" + std::to_string(p.sheet + 1) + ",\"number\":" + JsonString(p.number) +
         ",\"rect\":" + JsonString(rect) + ",\"paper\":" + std::to_string(p.paperSize) +
         ",\"pageWidth\":" + FormatReal(w) + ",\"pageHeight\":" + FormatReal(h) +
         ",\"name\":" + JsonString(ToUtf8(f.sheetNames[s])) + ",\"decision\":\"" + DecisionName(p.decision) +
         "\",\"file\":" + JsonString(p.ToBeWritten() ? p.file.filename().string() : std::string()) +
         ",\"note\":" + JsonString(SjisToUtf8(p.note)) + "}";
  }
  return j + "]}";
}

template <typename F>
bool Guarded(F&& f) {
  try {
    f();
    return true;
  } catch (const std::bad_alloc&) {
    gResult = "out of memory";
  } catch (const std::exception& e) {
    gResult = e.what();
  }
  return false;
}

}  // namespace
}  // namespace kelvane

using namespace kelvane;

extern "C" {

// The result buffer of the last call that answers bytes.
EMSCRIPTEN_KEEPALIVE const char* kv_result() { return gResult.data(); }
EMSCRIPTEN_KEEPALIVE size_t kv_result_size() { return gResult.size(); }

// Forgets every drawing and the files of earlier runs.
EMSCRIPTEN_KEEPALIVE void kv_reset() {
  gDrawings.clear();
  gImageSources.clear();
  gImageDrawing = -1;
  std::error_code ec;
  std::filesystem::remove_all(kOutputFolder, ec);
}

// Loads the drawing the page wrote at `path`; answers its index, or -1 with the reason (UTF-8)
// in the result, as the command line words it.
EMSCRIPTEN_KEEPALIVE int kv_open(const char* path) {
  OpenDrawing d;
  d.file = path;
  d.document = std::make_unique<JwwDocument>();
  bool ok = Guarded([&] {
    if (!JwwDocument::IsJwwFile(d.file)) throw std::runtime_error("not a JWW drawing");
    if (!d.document->LoadFromFile(d.file)) {
      const JwwDiagnostics& diag = d.document->diagnostics;
      throw std::runtime_error(diag.reason + " at byte " + std::to_string(diag.errorOffset));
    }
  });
  if (!ok) return -1;
  gDrawings.push_back(std::move(d));
  return int(gDrawings.size() - 1);
}

// Writes the example drawing to `path` (for the page's "example" button and the tests).
EMSCRIPTEN_KEEPALIVE int kv_make_example(const char* path) { return WriteExampleDrawing(path) ? 1 : 0; }

// Plans every open drawing in order, as one run of the command line with `-o /out` plans its
// inputs; answers a JSON array of the plans.
EMSCRIPTEN_KEEPALIVE const char* kv_plan(const char* optionsText) {
  gOptions = ParseOptions(optionsText);
  std::string json = "[";
  Guarded([&] {
    RunContext run;
    for (const OpenDrawing& d : gDrawings) AddRunInput(run, gFiles, d.file);
    for (size_t i = 0; i < gDrawings.size(); ++i) {
      OpenDrawing& d = gDrawings[i];
      d.plan = PlanSheets(*d.document, gOptions, d.file, kOutputFolder, run, gFiles);
      RecordPlannedSheets(run, gFiles, d.plan);
      json += (i ? "," : "") + PlanJson(d);
    }
    json += "]";
    gResult = json;
  });
  return gResult.c_str();
}

// The plan picture of drawing `i` as --plan draws it (see display_list_bytes.h); its size in
// kv_result_size(). `dpi` sets the labels' and lines' pixel sizes.
EMSCRIPTEN_KEEPALIVE const char* kv_plan_picture(int i, double dpi) {
  if (i < 0 || size_t(i) >= gDrawings.size()) return Answer("");
  Guarded([&] { gResult = PictureBytes(i, PlanPicture(*gDrawings[i].document, gDrawings[i].plan, dpi)); });
  return gResult.data();
}

// Sheet `s` of drawing `i` on its paper, as its picture prints it (colour: -1 the drawing's
// setting, 0 black, 1 the print colours).
EMSCRIPTEN_KEEPALIVE const char* kv_sheet_picture(int i, int s, int color) {
  if (i < 0 || size_t(i) >= gDrawings.size() || s < 0 || size_t(s) >= gDrawings[i].plan.sheets.size())
    return Answer("");
  std::optional<bool> c;
  if (color >= 0) c = color == 1;
  Guarded([&] {
    const OpenDrawing& d = gDrawings[i];
    gResult = PictureBytes(i, SheetPicture(*d.document, d.plan, d.plan.sheets[s], c));
  });
  return gResult.data();
}

// The stored bytes of image `k` of the last picture (PNG, JPEG or BMP; gzip data when
// kv_image_gzip says so), empty when the drawing has no such image.
EMSCRIPTEN_KEEPALIVE const char* kv_image(int k) {
  if (k < 0 || size_t(k) >= gImageSources.size() || gImageDrawing < 0 || size_t(gImageDrawing) >= gDrawings.size())
    return Answer("");
  Guarded([&] {
    const OpenDrawing& d = gDrawings[gImageDrawing];
    const std::vector<uint8_t> bytes = ImageBytesFor(d.document->images, gImageSources[k], DrawingFolder(d.file));
    gResult.assign(bytes.begin(), bytes.end());
  });
  return gResult.data();
}
EMSCRIPTEN_KEEPALIVE int kv_image_count() { return int(gImageSources.size()); }
EMSCRIPTEN_KEEPALIVE int kv_image_gzip(int k) {
  return k >= 0 && size_t(k) < gImageSources.size() && IsGzipName(gImageSources[k]) ? 1 : 0;
}

// Writes the sheets of drawing `i` into /out as the command line does; answers one line per
// planned sheet: "ok PATH", "skip" or "fail REASON".
EMSCRIPTEN_KEEPALIVE const char* kv_write_sheets(int i) {
  if (i < 0 || size_t(i) >= gDrawings.size()) return Answer("");
  std::string lines;
  Guarded([&] {
    OpenDrawing& d = gDrawings[i];
    std::error_code ec;
    std::filesystem::create_directories(kOutputFolder, ec);
    RunFailures failures;
    const std::vector<SheetOutcome> outcomes = WriteSheets(gFiles, gFeedback, *d.document, d.plan, failures);
    for (size_t k = 0; k < d.plan.sheets.size(); ++k) {
      if (k < outcomes.size() && outcomes[k].written)
        lines += "ok " + d.plan.sheets[k].file.string() + "\n";
      else if (k < outcomes.size() && !outcomes[k].failure.empty())
        lines += "fail " + SjisToUtf8(outcomes[k].failure) + "\n";
      else
        lines += "skip\n";
    }
    gResult = lines;
  });
  return gResult.c_str();
}

// The DXF of sheet `s` of drawing `i` (AC1015, true size, on the sheet's paper). Its embedded
// images go beside it as stored (the command line converts them to PNG): kv_dxf_image_count,
// kv_dxf_image_name and kv_dxf_image give them.
EMSCRIPTEN_KEEPALIVE const char* kv_sheet_dxf(int i, int s) {
  if (i < 0 || size_t(i) >= gDrawings.size() || s < 0 || size_t(s) >= gDrawings[i].plan.sheets.size())
    return Answer("");
  Guarded([&] {
    const OpenDrawing& d = gDrawings[i];
    const PlannedSheet& sheet = d.plan.sheets[s];
    DxfOptions options;
    options.imageBaseName = PathToSjis(sheet.file.stem());
    SheetPageSize(d.plan.frames[sheet.frame], sheet.paperSize, options.paperWidth, options.paperHeight);
    DxfResult r = MakeDxf(*d.document, &sheet.view, options);
    gDxfImages = std::move(r.images);
    std::string all;
    for (const std::string& part : r.parts) all += part;
    gResult = std::move(all);
  });
  return gResult.data();
}

EMSCRIPTEN_KEEPALIVE int kv_dxf_image_count() { return int(gDxfImages.size()); }
EMSCRIPTEN_KEEPALIVE const char* kv_dxf_image_name(int k) {
  return Answer(k >= 0 && size_t(k) < gDxfImages.size() ? SjisToUtf8(gDxfImages[k].name) : std::string());
}
EMSCRIPTEN_KEEPALIVE const char* kv_dxf_image(int k) {
  if (k < 0 || size_t(k) >= gDxfImages.size()) return Answer("");
  gResult.assign(gDxfImages[k].bytes.begin(), gDxfImages[k].bytes.end());
  return gResult.data();
}

}  // extern "C"
