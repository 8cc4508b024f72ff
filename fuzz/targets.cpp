// Fuzz entry functions: each feeds one reader the input and checks what must hold afterwards.
#include "fuzz/targets.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/options.h"
#include "app/posix/command_line.h"
#include "app/session.h"
#include "app/settings.h"
#include "jww/builder.h"
#include "jww/document.h"
#include "jww/images.h"
#include "platform/font_source.h"
#include "render/cairo/cairo_output.h"
#include "render/image_decode.h"
#include "drawing/image_source.h"
#include "render/pdf/pdf_output.h"
#include "render/render.h"
#include "split/extract.h"
#include "split/frames.h"
#include "split/sheetnames.h"
#include "tests/fake_services.h"
#include "tests/reference/reference.h"

namespace kelvane::fuzz {

namespace {

void AbortOnFailure(const std::string& message) {
  std::fprintf(stderr, "kelvane fuzz check failed: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

FailureHandler g_failure = AbortOnFailure;

void Fail(const std::string& message) { g_failure(message); }

// The message is built only when the check fails: the checks run on every input.
#define KELVANE_FUZZ_CHECK(cond, message) \
  do {                                    \
    if (!(cond)) Fail(message);           \
  } while (0)

class Scratch {
 public:
  const std::filesystem::path& get() {
    if (!path_.empty()) return path_;
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = std::filesystem::current_path(ec);
    std::random_device rd;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::filesystem::path p = base / ("kelvane-fuzz-" + std::to_string(rd()) + std::to_string(rd() % 10000));
      if (std::filesystem::create_directory(p, ec) && !ec) path_ = p;
    }
    if (path_.empty()) AbortOnFailure("no scratch folder under " + base.string());
    return path_;
  }
  ~Scratch() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

 private:
  std::filesystem::path path_;
};

Scratch g_scratch;

void WriteFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (size > 0) out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  out.close();
  KELVANE_FUZZ_CHECK(out.good(), "cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Remove(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

std::string Counts(const EntityLists& l) {
  return std::to_string(l.LineCount()) + "/" + std::to_string(l.ArcCount()) + "/" + std::to_string(l.PointCount()) +
         "/" + std::to_string(l.TextCount()) + "/" + std::to_string(l.DimensionCount()) + "/" +
         std::to_string(l.SolidCount()) + "/" + std::to_string(l.BlockInsertCount()) + " order " +
         std::to_string(l.entityCount);
}

bool SameFrames(const std::vector<PaperFrame>& a, const std::vector<PaperFrame>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].minX != b[i].minX || a[i].minY != b[i].minY || a[i].maxX != b[i].maxX || a[i].maxY != b[i].maxY)
      return false;
  return true;
}

bool SameView(const SheetView& a, const SheetView& b) {
  if (a.order.size() != b.order.size() || a.extraLines.size() != b.extraLines.size()) return false;
  if (a.centerX != b.centerX || a.centerY != b.centerY) return false;
  for (size_t i = 0; i < a.order.size(); ++i)
    if (a.order[i].kind != b.order[i].kind || a.order[i].index != b.order[i].index) return false;
  return a.extraLines.empty() ||
         std::memcmp(a.extraLines.data(), b.extraLines.data(), a.extraLines.size() * sizeof(LineRecord)) == 0;
}

// The indexed searches must decide like the plain walks they replace. The plain frame search
// is quadratic in candidates squared, so it only checks drawings with few frame lines.
std::vector<PaperFrame> FindFrames(const JwwDocument& doc, int direction) {
  std::vector<PaperFrame> frames = DetectPaperFrames(doc.lines, doc.LineCount(), direction);
  int candidates = 0;
  for (const LineRecord& line : doc.lines) candidates += IsFrameLine(line) ? 1 : 0;
  if (candidates <= 48) {
    std::vector<PaperFrame> reference = DetectPaperFramesReference(doc.lines, doc.LineCount(), direction);
    KELVANE_FUZZ_CHECK(SameFrames(frames, reference), "indexed frame search found " + std::to_string(frames.size()) +
                                                          " frames, plain search " + std::to_string(reference.size()) +
                                                          " (or another order)");
  }
  return frames;
}

constexpr int kMaxSheetsPerInput = 8;

struct SavedSheet {
  std::filesystem::path file;
  size_t entities = 0;
};

}  // namespace

void SetFailureHandler(FailureHandler handler) { g_failure = handler ? handler : AbortOnFailure; }

const std::filesystem::path& ScratchFolder() { return g_scratch.get(); }

namespace {

// Applies the command line's overrides, as the program's own front end does.
class OverridingFrontEnd final : public SessionFrontEnd {
 public:
  explicit OverridingFrontEnd(const OptionOverrides& overrides) : overrides_(overrides) {}
  void SettingsLoaded(SplitOptions& options) override { overrides_.ApplyTo(options); }

 private:
  const OptionOverrides& overrides_;
};

// The whole path of a command-line run on the bytes: arguments parsed, then the session loads,
// plans and writes every sheet into an output folder of its own. The input stays as it was and
// nothing appears outside that folder.
void RunAsCommandLine(const uint8_t* data, size_t size, unsigned choice) {
  const std::filesystem::path dir = ScratchFolder() / "run";
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir / "out", ec);
  const std::filesystem::path input = dir / "in.jww";
  WriteFile(input, data, size);
  const std::vector<std::string> args = {"--settings",
                                         (dir / "none.dat").string(),
                                         "-o",
                                         (dir / "out").string(),
                                         "--pattern",
                                         std::to_string(choice % 7),
                                         (choice & 8) ? "--frame" : "--no-frame",
                                         (choice & 16) ? "--compact" : "--no-compact",
                                         input.string()};
  const CommandLineResult parsed = ParseCommandLine(args);
  KELVANE_FUZZ_CHECK(parsed.command.has_value(), "the command line was refused: " + parsed.error);
  if (!parsed.command) return;
  FakeServices platform;
  platform.executable = dir / "bin" / "kelvane";
  platform.parameters = {input};
  OverridingFrontEnd frontEnd(parsed.command->overrides);
  {
    Session session(platform.Services(), frontEnd, SessionSettings{parsed.command->settingsFile, parsed.command->outputFolder});
    session.Start();
    KELVANE_FUZZ_CHECK(!session.running, "the run did not end");
  }
  const std::string after = ReadFile(input);
  KELVANE_FUZZ_CHECK(after.size() == size && (size == 0 || std::memcmp(after.data(), data, size) == 0),
                     "the run changed its input");
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename().string();
    KELVANE_FUZZ_CHECK(name == "in.jww" || name == "out", "the run wrote outside its output folder: " + name);
  }
  std::filesystem::remove_all(dir, ec);
}

}  // namespace

namespace {

// Every item of the list (and its sublists) indexes within the tables it is drawn from.
void CheckIndices(const DisplayList& root, const DisplayList& l) {
  auto within = [](Span s, size_t n) { return s.first <= n && s.count <= n - s.first; };
  for (const ItemRef& r : l.order) {
    bool ok = false;
    switch (r.kind) {
      case ItemKind::kStroke:
        ok = r.index < l.strokes.size() && within(l.strokes[r.index].points, l.points.size()) &&
             l.strokes[r.index].style < root.strokeStyles.size();
        break;
      case ItemKind::kFill: ok = r.index < l.fills.size() && within(l.fills[r.index].rings, l.rings.size()); break;
      case ItemKind::kText:
        ok = r.index < l.texts.size() && within(l.texts[r.index].glyphs, l.glyphs.size()) &&
             l.texts[r.index].font < root.fonts.size();
        break;
      case ItemKind::kPicture:
        ok = r.index < l.pictures.size() && l.pictures[r.index].source < root.imageSources.size();
        break;
      case ItemKind::kPlacement:
        ok = r.index < l.placements.size() && l.placements[r.index].list < root.sublists.size();
        break;
    }
    KELVANE_FUZZ_CHECK(ok, "item " + std::to_string(int(r.kind)) + "/" + std::to_string(r.index) + " out of range");
  }
  for (const Span& ring : l.rings) KELVANE_FUZZ_CHECK(within(ring, l.points.size()), "ring out of range");
}

void CheckList(const DisplayList& list) {
  CheckIndices(list, list);
  for (const DisplayList& sub : list.sublists) CheckIndices(list, sub);
  for (const StrokeStyle& s : list.strokeStyles)
    KELVANE_FUZZ_CHECK(s.dashes.first <= list.dashes.size() && s.dashes.count <= list.dashes.size() - s.dashes.first,
                       "dashes out of range");
}

// The drawing's lists, as a picture of the whole drawing and of its first sheet would be drawn.
std::vector<DisplayList> RenderedLists(const uint8_t* data, size_t size) {
  std::vector<DisplayList> lists;
  JwwDocument doc;
  doc.LoadFromBytes(data, size);  // what was read is drawn, whether or not the load got to the end
  const PictureStyle style = PictureStyle(size % 3);
  lists.push_back(RenderDrawing(doc, style));
  std::vector<PaperFrame> frames = FindFrames(doc, 0);
  if (!frames.empty()) {
    SheetExtractor extractor(doc, frames);
    const SheetView view = extractor.Extract(0, 0, SheetOptions{});
    lists.push_back(RenderSheet(doc, view, frames[0], doc.header.paperSize, style));
  }
  for (const DisplayList& l : lists) CheckList(l);
  return lists;
}

}  // namespace

void RenderList(const uint8_t* data, size_t size) { RenderedLists(data, size); }

namespace {

// Embedded images only: a fuzzed name must not read the machine's files.
std::vector<uint8_t> EmbeddedImageBytes(const JwwDocument& doc, const JwwString& source, ImageProblem& problem) {
  const std::u16string name = source.unicode ? source.wide : std::u16string(source.sjis.begin(), source.sjis.end());
  std::u16string prefix = name.substr(0, 6);
  for (char16_t& c : prefix) c = c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
  if (prefix != u"%temp%") {
    problem = ImageProblem::kMissing;
    return {};
  }
  return ImageBytesFor(doc.images, source, {}, &problem);
}

}  // namespace

void RenderCairo(const uint8_t* data, size_t size) {
  const std::vector<DisplayList> lists = RenderedLists(data, size);
  JwwDocument doc;
  doc.LoadFromBytes(data, size);
  PictureOutput output;
  output.dpi = 10;
  output.imageBytes = [&](const JwwString& source, ImageProblem& problem) {
    return EmbeddedImageBytes(doc, source, problem);
  };
  ImagesLeftOut leftOut;
  output.imagesLeftOut = &leftOut;
  const std::filesystem::path file = ScratchFolder() / "picture";
  for (const DisplayList& list : lists) {
    if (list.overBudget) continue;  // refused before any output, as a run does
    std::string error;
    WritePicture(list, file, PictureFormat::kPng, output, error);
    WritePicture(list, file, size & 1 ? PictureFormat::kSvg : PictureFormat::kPdf, output, error);
  }
  std::error_code ec;
  std::filesystem::remove(file, ec);
}

void RenderPdf(const uint8_t* data, size_t size) {
  const std::vector<DisplayList> lists = RenderedLists(data, size);
  JwwDocument doc;
  doc.LoadFromBytes(data, size);
  static const std::unique_ptr<FontSource> fonts = MakeSystemFontSource();
  PdfOutput output;
  output.fonts = fonts.get();
  output.image = [&](const JwwString& source, uint64_t maxPixels, ImageProblem& problem) -> std::optional<RasterImage> {
    const std::vector<uint8_t> bytes = EmbeddedImageBytes(doc, source, problem);
    DecodedImage image;
    if (bytes.empty() || DecodeImageWithin(bytes, IsGzipName(source), maxPixels, image) != DecodeResult::kDecoded) {
      if (problem == ImageProblem::kNone) problem = ImageProblem::kUndecodable;
      return std::nullopt;
    }
    return ToRasterImage(image);
  };
  ImagesLeftOut leftOut;
  output.imagesLeftOut = &leftOut;
  std::vector<PdfPage> pages;
  for (const DisplayList& list : lists)
    if (!list.overBudget) pages.push_back({&list, size % 2 ? 0.5 : 1.0, "page"});  // refused before any output
  if (pages.empty()) return;
  std::ostringstream out;
  std::string error;
  if (!WritePdf(pages, out, output, error)) return;
  const std::string pdf = out.str();
  KELVANE_FUZZ_CHECK(pdf.rfind("%PDF-1.7\n", 0) == 0 && pdf.size() > 6 && pdf.compare(pdf.size() - 6, 6, "%%EOF\n") == 0,
                     "a PDF written is not whole");
}

namespace {

// What a load made of the input: its counts, version, and where and why it stopped.
std::string LoadedState(const JwwDocument& doc) {
  return Counts(doc) + " version " + std::to_string(doc.header.version) + " at " +
         std::to_string(doc.diagnostics.bytesRead) + " " + doc.diagnostics.reason;
}

// A run reads files through the buffered reader; it must decide exactly as the in-memory one.
void CheckFileLoadAgrees(const uint8_t* data, size_t size, const std::filesystem::path& dir, bool loaded,
                         const JwwDocument& doc) {
  const std::filesystem::path input = dir / "input.jww";
  WriteFile(input, data, size);
  JwwDocument fromFile;
  (void)JwwDocument::IsJwwFile(input);
  const bool fileLoaded = fromFile.LoadFromFile(input);
  const std::string fileState = LoadedState(fromFile), bytesState = LoadedState(doc);
  Remove(input);
  KELVANE_FUZZ_CHECK(loaded == fileLoaded && bytesState == fileState,
                     "file and memory loads differ: file " + std::to_string(fileLoaded) + " " + fileState +
                         "; memory " + std::to_string(loaded) + " " + bytesState);
}

// Every sheet extracted by the index as by the walk, and saved when the version can be written.
std::vector<SavedSheet> SaveSheets(JwwDocument& doc, const std::vector<PaperFrame>& frames,
                                   const std::filesystem::path& dir, bool loaded) {
  const int32_t version = doc.header.version;
  std::vector<SavedSheet> sheets;
  SheetExtractor extractor(doc, frames);
  for (size_t f = 0; f < frames.size() && int(sheets.size()) < kMaxSheetsPerInput; ++f) {
    KELVANE_FUZZ_CHECK(frames[f].sheetCount >= 1 && frames[f].sheetCount <= kMaxSheetsPerFrame,
                       "frame " + std::to_string(f) + " has " + std::to_string(frames[f].sheetCount) + " sheets");
    for (int s = 0; s < frames[f].sheetCount && int(sheets.size()) < kMaxSheetsPerInput; ++s) {
      SheetOptions options;
      options.drawFrameOnFF = (sheets.size() & 1) != 0;
      options.margin = (sheets.size() & 2) != 0 ? 5.0 : 0.0;
      const SheetView view = extractor.Extract(f, s, options);
      const SheetView walked = ExtractByWalk(doc, frames, f, s, options);
      KELVANE_FUZZ_CHECK(SameView(view, walked), "indexed sheet of frame " + std::to_string(f) + " sheet " +
                                                     std::to_string(s) +
                                                     " differs from the walk: " + std::to_string(view.order.size()) +
                                                     " entities against " + std::to_string(walked.order.size()));
      if (!IsSupportedVersion(version)) continue;
      SavedSheet sheet{dir / ("sheet" + std::to_string(sheets.size()) + ".jww"), view.order.size()};
      const bool saved = doc.SaveSheet(sheet.file, version, view);
      KELVANE_FUZZ_CHECK(saved || !loaded,
                         "a sheet of a drawing that loaded could not be saved: " + doc.diagnostics.reason);
      if (saved) sheets.push_back(sheet);
    }
  }
  return sheets;
}

// What was written must read back, and a second save of it must give the same bytes.
void CheckSavedWhole(const JwwDocument& doc, const std::filesystem::path& whole, const std::filesystem::path& again,
                     bool loaded) {
  const int32_t version = doc.header.version;
  JwwDocument reread;
  const bool reloaded = reread.LoadFromFile(whole);
  KELVANE_FUZZ_CHECK(reloaded || !loaded, "the saved drawing does not load: " + reread.diagnostics.reason);
  if (!reloaded || !loaded) return;
  KELVANE_FUZZ_CHECK(Counts(reread) == Counts(doc),
                     "entity counts changed by save and load: " + Counts(doc) + " -> " + Counts(reread));
  KELVANE_FUZZ_CHECK(reread.SaveToFile(again, version), "the reloaded drawing could not be saved again");
  // The first save may bring odd values into their written form (a negative packed switch
  // becomes positive, for one); from then on saving must not change anything.
  const std::string second = ReadFile(again);
  if (ReadFile(whole) != second) {
    JwwDocument third;
    KELVANE_FUZZ_CHECK(third.LoadFromFile(again), "the drawing saved twice does not load");
    KELVANE_FUZZ_CHECK(third.SaveToFile(again, version), "the drawing saved twice could not be saved again");
    KELVANE_FUZZ_CHECK(ReadFile(again) == second, "saving and loading keeps changing the drawing's bytes");
  }
}

// Every saved sheet reads back with at least the entities it was saved with; then it goes.
void CheckSavedSheets(const std::vector<SavedSheet>& sheets, bool loaded) {
  for (const SavedSheet& sheet : sheets) {
    JwwDocument reread;
    const bool reloaded = reread.LoadFromFile(sheet.file);
    KELVANE_FUZZ_CHECK(reloaded || !loaded, "a saved sheet does not load: " + reread.diagnostics.reason);
    if (reloaded)
      KELVANE_FUZZ_CHECK(size_t(reread.entityCount) >= sheet.entities,
                         "a saved sheet lost entities: " + std::to_string(sheet.entities) + " -> " +
                             std::to_string(reread.entityCount));
    Remove(sheet.file);
  }
}

}  // namespace

void LoadDrawing(const uint8_t* data, size_t size) {
  const std::filesystem::path& dir = ScratchFolder();
  const std::filesystem::path whole = dir / "whole.jww";
  const std::filesystem::path again = dir / "again.jww";
  JwwDocument doc;
  const bool loaded = doc.LoadFromBytes(data, size);
  CheckFileLoadAgrees(data, size, dir, loaded, doc);

  // As a run does: what was read is split, whether or not the load got to the end.
  const int32_t version = doc.header.version;
  bool savedWhole = false;
  if (IsSupportedVersion(version)) {
    savedWhole = doc.SaveToFile(whole, version);
    KELVANE_FUZZ_CHECK(savedWhole || !loaded, "a drawing that loaded could not be saved: " + doc.diagnostics.reason);
  }
  const int direction = int(size & 1);
  std::vector<PaperFrame> frames = FindFrames(doc, direction);
  CollectSheetNames(frames, doc);
  const std::vector<SavedSheet> sheets = SaveSheets(doc, frames, dir, loaded);
  if (savedWhole) CheckSavedWhole(doc, whole, again, loaded);
  CheckSavedSheets(sheets, loaded);
  Remove(whole);
  Remove(again);
  doc.Release();
  RunAsCommandLine(data, size, unsigned(size));
}

namespace {

// The file keeps 15 significant digits of the margin, as the margin box shows them: margins
// compare as written.
bool SameSettings(SplitOptions a, const WindowPosition& ap, SplitOptions b, const WindowPosition& bp) {
  if (FormatReal(a.margin) != FormatReal(b.margin)) return false;
  a.margin = b.margin = 0;
  return a == b && ap == bp;
}

void CheckOptionRanges(const SplitOptions& o, const char* when) {
  const std::string at = std::string(" after ") + when;
  const auto pattern = int32_t(o.namingPattern), direction = int32_t(o.numberingDirection);
  KELVANE_FUZZ_CHECK(pattern >= 0 && pattern < kNamingPatternCount, "naming pattern out of range" + at);
  KELVANE_FUZZ_CHECK(direction == 0 || direction == 1, "numbering direction out of range" + at);
  KELVANE_FUZZ_CHECK(int32_t(o.outputFolder) >= 0 && int32_t(o.outputFolder) <= 4, "output folder out of range" + at);
  KELVANE_FUZZ_CHECK(o.startNumber >= 0 && o.startNumber <= 9999, "start number out of range" + at);
  KELVANE_FUZZ_CHECK(o.margin >= 0.0 && o.margin <= 100.0, "margin out of range" + at);
  KELVANE_FUZZ_CHECK(o.separator.size() <= 8, "separator longer than 8 bytes" + at);
}

}  // namespace

void SettingsFile(const uint8_t* data, size_t size) {
  const std::filesystem::path& dir = ScratchFolder();
  const std::filesystem::path input = dir / "input.dat";
  const std::filesystem::path first = dir / "first.dat";
  const std::filesystem::path second = dir / "second.dat";
  WriteFile(input, data, size);

  SplitOptions options;
  WindowPosition position;
  LoadSettings(input, options, position);
  CheckOptionRanges(options, "loading");

  KELVANE_FUZZ_CHECK(SaveSettings(first, options, position), "the settings could not be saved");
  SplitOptions options2;
  WindowPosition position2;
  LoadSettings(first, options2, position2);
  KELVANE_FUZZ_CHECK(SameSettings(options, position, options2, position2), "settings changed by save and load");
  KELVANE_FUZZ_CHECK(SaveSettings(second, options2, position2), "the reloaded settings could not be saved");
  KELVANE_FUZZ_CHECK(ReadFile(first) == ReadFile(second), "saving the reloaded settings gives other bytes");

  // A run limits the options as loaded.
  LimitOptions(options2);
  CheckOptionRanges(options2, "limiting");
  KELVANE_FUZZ_CHECK(!HasForbiddenSeparatorChar(options2.separator), "captured separator has a forbidden character");

  Remove(input);
  Remove(first);
  Remove(second);
}

void HandOverFile(const uint8_t* data, size_t size) {
  static FakeServices platform;
  static SessionFrontEnd frontEnd;
  static Session session(platform.Services(), frontEnd);
  static const std::filesystem::path exeFolder = [] {
    std::filesystem::path p = ScratchFolder() / "exe";
    std::error_code ec;
    std::filesystem::create_directories(p, ec);
    return p;
  }();
  session.exeFolder = exeFolder / "";
  const std::filesystem::path file = exeFolder / "JWC_TEMP.TXT";
  WriteFile(file, data, size);

  const std::string named = session.ReadHandOverFile();
  KELVANE_FUZZ_CHECK(named.size() + 5 <= size || named.empty(), "named path longer than the file");
  if (!named.empty()) {
    KELVANE_FUZZ_CHECK(
        static_cast<unsigned char>(named.front()) > 0x20 && static_cast<unsigned char>(named.back()) > 0x20,
        "named path not trimmed");
    KELVANE_FUZZ_CHECK(named.find('\n') == std::string::npos, "named path spans lines");
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    KELVANE_FUZZ_CHECK(all.find("file=") != std::string_view::npos && all.find(named) != std::string_view::npos,
                       "named path not taken from a file= line");
    // What start-up does with the name next.
    (void)platform.FileExists(platform.ToPath(named));
    (void)HasJwwExtension(named);
  }
  Remove(file);
}

namespace {

// One paper frame, A3 landscape, with its lower left corner on the origin.
constexpr double kFrameW = 420, kFrameH = 297;

Attr FrameAttr() {
  Attr a;
  a.penColor = kFramePenColor;
  a.penStyle = kFramePenStyle;
  a.penWidth = kFramePenWidth;
  return a;
}

bool IsForbiddenInName(uint32_t c) {
  switch (c) {
    case ',':
    case '.':
    case '\\':
    case '/':
    case '[':
    case ']':
    case '|':
    case ' ':
    case '\'':
    case '"':
    case '+':
    case '*':
    case '<':
    case '>':
    case '?':
    case '~':
      return true;
    default:
      return false;
  }
}

// The characters of a name; "~" is allowed once, followed by the repeat count.
void CheckName(const JwwString& name, bool allowRepeat, const std::string& what) {
  bool tilde = false;
  size_t digitsAfter = 0;
  bool leadingZero = false;
  for (size_t pos = 0; pos < name.size();) {
    const JwwChar c = CharAt(name, pos);
    KELVANE_FUZZ_CHECK(c.width >= 1, what + ": character of no width");
    pos += c.width;
    if (allowRepeat && c.code == '~' && !tilde) {
      tilde = true;
      continue;
    }
    if (tilde) {
      KELVANE_FUZZ_CHECK(c.code >= '0' && c.code <= '9', what + ": repeat mark not followed by a number");
      if (digitsAfter == 0 && c.code == '0') leadingZero = true;
      ++digitsAfter;
      continue;
    }
    KELVANE_FUZZ_CHECK(!IsForbiddenInName(c.code), what + ": unusable character " + std::to_string(c.code));
  }
  if (tilde) KELVANE_FUZZ_CHECK(digitsAfter > 0 && !leadingZero, what + ": bad repeat count");
}

std::u32string AsciiFolded(const JwwString& s) {
  std::u32string out;
  for (size_t pos = 0; pos < s.size();) {
    JwwChar c = CharAt(s, pos);
    pos += c.width;
    out.push_back(c.code >= 'a' && c.code <= 'z' ? c.code - 0x20 : c.code);
  }
  return out;
}

// A text made of one line of the input (control byte, then the text; see SheetNames), put on
// the drawing's one frame as the n-th text.
void AddNameText(JwwDocument& doc, const uint8_t* line, size_t size, size_t n) {
  const uint8_t control = line[0];
  const uint8_t* text = line + 1;
  const size_t length = size - 1;
  JwwString s;
  if (control & 1) {
    std::u16string units = (control & 2) ? std::u16string(u"\u3010\u540D\u3011") : std::u16string();
    for (size_t i = 0; i + 1 < length; i += 2) units.push_back(char16_t(text[i] | (text[i + 1] << 8)));
    s = JwwString::Wide(std::move(units));
  } else {
    std::string bytes = (control & 2) ? std::string("\x81\x79\x96\xBC\x81\x7A") : std::string();
    bytes.append(reinterpret_cast<const char*>(text), length);
    s = JwwString::Sjis(std::move(bytes));
  }
  double x = 10 + double(n % 20) * 20, y = 10 + double(n % 13) * 20;
  switch ((control >> 2) & 3) {
    case 1:
      x = 1e-9, y = kFrameH - 1e-9;
      break;
    case 2:
      x = double(n) * 7.0, y = (n & 1) ? 0.0 : kFrameH;
      break;
    case 3:
      x = -10 - double(n), y = 100;
      break;
    default:
      break;
  }
  Attr a;
  a.penColor = kFramePenColor;
  a.layerGroup = uint16_t((control >> 4) & 3);
  a.layer = uint16_t(n & 15);
  const int32_t i = AddText(doc, x, y, s, a);
  doc.texts[size_t(i)].textType = 0;
}

// A name may be empty ("【名】【Ｌ】2"); a repeated empty name becomes "~1".
void CheckSheetNames(const PaperFrame& f) {
  for (int s = 0; s < f.sheetCount; ++s) {
    const std::string what = "sheet " + std::to_string(s);
    CheckName(f.sheetNames[s], true, what + " name");
    CheckName(f.sheetLayerLists[s], false, what + " layer list");
    if (!f.sheetNames[s].empty()) {
      const JwwChar first = CharAt(f.sheetNames[s], 0);
      KELVANE_FUZZ_CHECK(first.code > 0x20, what + ": name not trimmed");
    }
    for (int t = 0; t < s; ++t)
      if (f.sheetNames[s].unicode == f.sheetNames[t].unicode)
        KELVANE_FUZZ_CHECK(AsciiFolded(f.sheetNames[s]) != AsciiFolded(f.sheetNames[t]),
                           what + ": same name as sheet " + std::to_string(t));
  }
  for (int s = f.sheetCount; s < kMaxSheetsPerFrame; ++s)
    KELVANE_FUZZ_CHECK(f.sheetNames[s].empty() && f.sheetLayerLists[s].empty(), "unused sheet holds a name");
}

// Every sheet as indexed equals its walk, and no name text reaches one.
void CheckNamedSheets(const JwwDocument& doc, const std::vector<PaperFrame>& frames) {
  SheetExtractor extractor(doc, frames);
  for (int s = 0; s < frames[0].sheetCount; ++s) {
    SheetOptions options;
    options.drawFrameOnFF = (s & 1) != 0;
    const SheetView view = extractor.Extract(0, s, options);
    KELVANE_FUZZ_CHECK(SameView(view, ExtractByWalk(doc, frames, 0, s, options)),
                       "indexed sheet " + std::to_string(s) + " differs from the walk");
    for (const EntityRef& e : view.order)
      if (e.kind == kText)
        KELVANE_FUZZ_CHECK(!IsSheetNameText(doc.texts[size_t(e.index)], doc.textStrings[size_t(e.index)].text),
                           "a name text reached a sheet");
  }
}

}  // namespace

// Each text: control byte, then the text. Control bit 0: Unicode form (the bytes are UTF-16LE
// units), bit 1: "【名】" put in front, bits 2-3: where it stands (inside, inside near a corner,
// on the frame's edge, outside), bits 4-5: its layer group.
void SheetNames(const uint8_t* data, size_t size) {
  JwwDocument doc;
  InitDrawing(doc, 700, true);
  const Attr frame = FrameAttr();
  AddLine(doc, 0, 0, kFrameW, 0, frame);
  AddLine(doc, kFrameW, 0, kFrameW, kFrameH, frame);
  AddLine(doc, kFrameW, kFrameH, 0, kFrameH, frame);
  AddLine(doc, 0, kFrameH, 0, 0, frame);
  constexpr size_t kMaxTexts = 64;
  size_t start = 0;
  for (size_t n = 0; start < size && n < kMaxTexts; ++n) {
    size_t end = start;
    while (end < size && data[end] != '\n') ++end;
    if (end > start) AddNameText(doc, data + start, end - start, n);
    start = end + 1;
  }

  std::vector<PaperFrame> frames = FindFrames(doc, kNumberRows);
  KELVANE_FUZZ_CHECK(frames.size() == 1, "the frame was not found: " + std::to_string(frames.size()) + " frames");
  if (frames.size() != 1) return;
  CollectSheetNames(frames, doc);
  const PaperFrame& f = frames[0];
  KELVANE_FUZZ_CHECK(f.sheetCount >= 1 && f.sheetCount <= kMaxSheetsPerFrame,
                     "sheet count " + std::to_string(f.sheetCount));
  if (f.sheetCount < 1 || f.sheetCount > kMaxSheetsPerFrame) return;
  CheckSheetNames(f);
  CheckNamedSheets(doc, frames);

  // The same drawing through a whole command-line run, names and all.
  const std::filesystem::path file = ScratchFolder() / "names.jww";
  doc.NormaliseBlocks();
  if (doc.SaveToFile(file, 700)) {
    const std::string bytes = ReadFile(file);
    Remove(file);
    RunAsCommandLine(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), unsigned(size) | 5u);
  }
}

}  // namespace kelvane::fuzz
