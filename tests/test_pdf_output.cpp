// The portable PDF writer: valid files with embedded fonts whose texts read whole and sit where
// the cairo pages put them, several pages with bookmarks, and hostile lists that still write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <string>

#include "app/example.h"
#include "jww/builder.h"
#include "platform/font_source.h"
#include "platform/text_conversion.h"
#include "render/cairo/cairo_output.h"
#include "render/glyph_layout.h"
#include "render/pdf/pdf_output.h"
#include "render/render.h"
#include "split/extract.h"
#include "tests/fixtures.h"

namespace kelvane {
namespace {

using testing::CorpusFiles;
using testing::TempDir;

constexpr double kPtPerMm = 72 / 25.4;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

FontSource& Fonts() {
  static std::unique_ptr<FontSource> fonts = MakeSystemFontSource();
  return *fonts;
}

bool WriteOne(const DisplayList& list, const std::filesystem::path& file, std::string& error) {
  PdfOutput o;
  o.fonts = &Fonts();
  return WritePdf({PdfPage{&list, 1.0, {}}}, file, o, error);
}

// Runs of spaces as one, ends trimmed: pdftotext lays out, it does not copy spaces.
std::string OneSpaced(const std::string& s) {
  std::string out;
  for (char c : s) {
    const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\f';
    if (space && (out.empty() || out.back() == ' ')) continue;
    out += space ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The texts of at least two characters the list shows on its page, as the drawing spells them.
void TextsOf(const DisplayList& list, const DisplayList& items, std::vector<std::string>& texts) {
  for (const ItemRef& r : items.order) {
    if (r.kind == ItemKind::kPlacement && items.placements[r.index].dx == 0 && items.placements[r.index].dy == 0)
      TextsOf(list, list.sublists[items.placements[r.index].list], texts);
    if (r.kind != ItemKind::kText) continue;
    const TextRun& t = items.texts[r.index];
    std::string text;
    int chars = 0;
    bool onPage = true;
    for (uint32_t k = 0; k < t.glyphs.count; ++k) {
      const Glyph& g = items.glyphs[t.glyphs.first + k];
      onPage = onPage && g.origin.x >= 0 && g.origin.y >= 0 && g.origin.x <= list.width && g.origin.y <= list.height;
      if (IsBlankGlyph(g.code, t.unicode)) text += ' ';
      else text += t.unicode ? CodePointToUtf8(g.code) : SjisToUtf8(SjisBytesOf(g.code), UnreadableSjis::kSkipByte), ++chars;
    }
    if (chars >= 2 && onPage) texts.push_back(OneSpaced(text));
  }
}

struct WordBox {
  std::string text;
  double xMin, yMin, xMax, yMax;
};

std::vector<WordBox> WordBoxes(const std::filesystem::path& pdf) {
  const std::string html = Shell("pdftotext -bbox " + Quoted(pdf) + " - 2>/dev/null");
  static const std::regex word(
      R"re(<word xMin="([-0-9.]+)" yMin="([-0-9.]+)" xMax="([-0-9.]+)" yMax="([-0-9.]+)">([^<]*)</word>)re");
  std::vector<WordBox> boxes;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it)
    boxes.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
  return boxes;
}

// Every word of the cairo page found in ours, its box within 0.1 mm on every side. cairo reads a
// text whose glyphs take several runs (a font's fallback, a superscript) as the glyphs of its
// first run alone: such a word of ours starts at the same place and holds cairo's box.
void ExpectSameWordPlaces(const std::filesystem::path& cairoPdf, const std::filesystem::path& ourPdf,
                          const std::string& what) {
  const std::vector<WordBox> theirs = WordBoxes(cairoPdf), ours = WordBoxes(ourPdf);
  EXPECT_EQ(theirs.size(), ours.size()) << what;
  constexpr double kTolerance = 0.1 * kPtPerMm;
  auto near = [&](double a, double b) { return std::abs(a - b) <= kTolerance; };
  size_t exact = 0;
  for (const WordBox& w : theirs) {
    bool same = false, holding = false;
    for (const WordBox& o : ours) {
      if (o.text != w.text || !near(o.xMin, w.xMin)) continue;
      same = same || (near(o.xMax, w.xMax) && near(o.yMin, w.yMin) && near(o.yMax, w.yMax));
      holding = holding || (o.xMax > w.xMax - kTolerance && o.yMin < w.yMin + kTolerance && o.yMax > w.yMax - kTolerance);
    }
    exact += same;
    EXPECT_TRUE(same || holding) << what << ": " << w.text << " at " << w.xMin << ", " << w.yMin;
  }
  EXPECT_GE(double(exact), 0.95 * double(theirs.size()) - 1) << what;
}

// What every PDF of ours must be: valid, fonts embedded, each text whole, the page's size, the
// words where cairo puts them.
void ExpectGoodPdf(const DisplayList& list, const std::filesystem::path& dir, const std::string& what) {
  std::string error;
  const std::filesystem::path ours = dir / "ours.pdf", cairo = dir / "cairo.pdf";
  ASSERT_TRUE(WriteOne(list, ours, error)) << what << ": " << error;
  ASSERT_TRUE(WritePicture(list, cairo, PictureFormat::kPdf, {}, error)) << error;
  EXPECT_NE(Shell("qpdf --check " + Quoted(ours) + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos)
      << what;
  const std::string fonts = Shell("pdffonts " + Quoted(ours));
  EXPECT_EQ(fonts.find(" no "), std::string::npos) << what << "\n" << fonts;
  double w = 0, h = 0;
  const std::string info = Shell("pdfinfo " + Quoted(ours));
  ASSERT_EQ(std::sscanf(info.c_str() + info.find("Page size:"), "Page size: %lf x %lf", &w, &h), 2) << info;
  EXPECT_NEAR(w / kPtPerMm, list.width, 0.01) << what;
  EXPECT_NEAR(h / kPtPerMm, list.height, 0.01) << what;
  // Every text whole, but for those no installed font draws whole (cairo's page lacks them too).
  const std::string found = OneSpaced(Shell("pdftotext " + Quoted(ours) + " -"));
  const std::string cairoFound = OneSpaced(Shell("pdftotext " + Quoted(cairo) + " -"));
  std::vector<std::string> texts;
  TextsOf(list, list, texts);
  for (const std::string& t : texts)
    if (cairoFound.find(t) != std::string::npos) {
      EXPECT_NE(found.find(t), std::string::npos) << what << ": " << t;
    }
  ExpectSameWordPlaces(cairo, ours, what);
}

TEST(PdfOutput, ExampleSheetsAndCorpusDrawingsAsCairoDrawsThem) {
  TempDir dir;
  const std::filesystem::path example = dir / "example.jww";
  ASSERT_TRUE(WriteExampleDrawing(example));
  JwwDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(example));
  const std::vector<PaperFrame> frames = DetectPaperFrames(doc.lines, doc.LineCount(), kNumberRows);
  SheetExtractor extractor(doc, frames);
  for (size_t k = 0; k < frames.size(); ++k) {
    const SheetView view = extractor.Extract(k, 0, SheetOptions{});
    const DisplayList list = RenderSheet(doc, view, frames[k], PaperSizeFor(frames[k]), PictureStyle::kMonochrome);
    if (!list.order.empty()) ExpectGoodPdf(list, dir.path(), "example sheet " + std::to_string(k));
  }
  for (const auto& f : CorpusFiles()) {
    JwwDocument d;
    ASSERT_TRUE(d.LoadFromFile(f));
    ExpectGoodPdf(RenderDrawing(d, PictureStyle::kColor), dir.path(), f.filename().string());
  }
}

// The example's sheet with its embedded picture: its list and the document it came from.
struct PictureSheet {
  JwwDocument doc;
  DisplayList list;
};

void LoadPictureSheet(const std::filesystem::path& dir, PictureSheet& sheet) {
  ASSERT_TRUE(WriteExampleDrawing(dir / "example.jww"));
  ASSERT_TRUE(sheet.doc.LoadFromFile(dir / "example.jww"));
  const std::vector<PaperFrame> frames = DetectPaperFrames(sheet.doc.lines, sheet.doc.LineCount(), kNumberRows);
  ASSERT_EQ(frames.size(), 6u);
  SheetExtractor extractor(sheet.doc, frames);
  sheet.list = RenderSheet(sheet.doc, extractor.Extract(5, 0, SheetOptions{}), frames[5], PaperSizeFor(frames[5]),
                           PictureStyle::kColor);
  ASSERT_EQ(sheet.list.pictures.size(), 1u);
}

// A logo of 4 x 4 pixels, its left half transparent.
std::optional<RasterImage> Logo(const JwwString&, uint64_t maxPixels, ImageProblem& problem) {
  if (maxPixels < 16) {
    problem = ImageProblem::kTooManyPixels;
    return std::nullopt;
  }
  RasterImage image;
  image.width = image.height = 4;
  for (int k = 0; k < 16; ++k) image.rgb.insert(image.rgb.end(), {30, 80, 200}), image.alpha.push_back(k % 4 < 2 ? 0 : 255);
  return image;
}

// Pages of their own sizes in one document, each with its bookmark; an image with its mask,
// written once however often it is shown; pictures that cannot be drawn counted by reason.
TEST(PdfOutput, PagesOfTheirOwnSizesWithBookmarksAndImages) {
  TempDir dir;
  PictureSheet sheet;
  LoadPictureSheet(dir.path(), sheet);
  DisplayList portrait = sheet.list, twice = sheet.list;
  std::swap(portrait.width, portrait.height);
  twice.order.push_back({ItemKind::kPicture, uint32_t(twice.pictures.size())});
  twice.pictures.push_back(twice.pictures[0]);
  twice.pictures.back().origin.x += 20;
  DisplayList flat = sheet.list;
  flat.pictures[0].up = {0, 0};  // no area: left out, the rest drawn
  ImagesLeftOut leftOut;
  PdfOutput o;
  o.fonts = &Fonts();
  o.image = Logo;
  o.imagesLeftOut = &leftOut;
  std::string error;
  const std::vector<PdfPage> pages{{&twice, 1.0, "1F平面図"}, {&portrait, 0.5, ""}, {&flat, 1.0, "断面"}};
  ASSERT_TRUE(WritePdf(pages, dir / "book.pdf", o, error)) << error;
  EXPECT_NE(Shell("qpdf --check " + Quoted(dir / "book.pdf") + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  const std::string info = Shell("pdfinfo -f 1 -l 3 " + Quoted(dir / "book.pdf"));
  double w[3] = {}, h[3] = {};
  for (int k = 0; k < 3; ++k) {
    const std::string key = "Page    " + std::to_string(k + 1) + " size:";
    ASSERT_NE(info.find(key), std::string::npos) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + info.find(key) + key.size(), "%lf x %lf", &w[k], &h[k]), 2) << info;
  }
  EXPECT_NEAR(w[0] / kPtPerMm, sheet.list.width, 0.01);
  EXPECT_NEAR(h[0] / kPtPerMm, sheet.list.height, 0.01);
  EXPECT_NEAR(w[1] / kPtPerMm, sheet.list.height / 2, 0.01);  // portrait, at half scale
  EXPECT_NEAR(h[1] / kPtPerMm, sheet.list.width / 2, 0.01);
  const std::string outline = Shell("qpdf --json --json-key=outlines " + Quoted(dir / "book.pdf"));
  const size_t first = outline.find("\"title\": \"1F平面図\""), second = outline.find("\"title\": \"断面\"");
  EXPECT_NE(first, std::string::npos) << outline;
  EXPECT_NE(second, std::string::npos) << outline;
  EXPECT_LT(first, second);
  EXPECT_NE(outline.find("\"destpageposfrom1\": 3"), std::string::npos) << outline;
  EXPECT_EQ(outline.find("\"destpageposfrom1\": 2"), std::string::npos) << outline;
  // Shown three times (the fourth left out), each with its mask; stored once.
  const std::string images = Shell("pdfimages -list " + Quoted(dir / "book.pdf"));
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2 + 3 * 2) << images;
  EXPECT_NE(images.find("smask"), std::string::npos) << images;
  const std::vector<uint8_t> bytes = testing::ReadBytes(dir / "book.pdf");
  const std::string file(bytes.begin(), bytes.end());
  size_t stored = 0;
  for (size_t at = file.find("/Subtype/Image"); at != std::string::npos; at = file.find("/Subtype/Image", at + 1)) ++stored;
  EXPECT_EQ(stored, 2u);
  EXPECT_EQ(leftOut.count[size_t(ImageProblem::kBadPlacement)], 1u);
  EXPECT_EQ(leftOut.Total(), 1u);
}

// Values no page can show are left out and the rest written; pages that cannot be are refused
// with the reason the cairo pages give, and a failing stream is a failure.
TEST(PdfOutput, HostileListsWriteTheRestOrAreRefusedWithTheReason) {
  TempDir dir;
  PictureSheet sheet;
  LoadPictureSheet(dir.path(), sheet);
  DisplayList& list = sheet.list;
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  for (Glyph& g : list.glyphs) g.across.x = float(kNaN);  // every text NaN-sized
  list.pictures[0].across = {kNaN, 0};                  // a picture that cannot be drawn
  const uint32_t at = uint32_t(list.points.size());
  list.points.insert(list.points.end(), {PagePoint(0, 0), PagePoint(kInf, 5), PagePoint(1e30f, 0), PagePoint(10, 10)});
  const uint32_t zeroDash = uint32_t(list.strokeStyles.size()), dashAt = uint32_t(list.dashes.size());
  list.dashes.insert(list.dashes.end(), {0.0, 0.0, -1.0, 2.0});
  list.strokeStyles.push_back(StrokeStyle{{0, 0, 0}, false, 0.5f, {dashAt, 2}, 0});
  list.strokeStyles.push_back(StrokeStyle{{0, 0, 0}, false, 0.5f, {dashAt + 2, 2}, 0});
  list.strokeStyles.push_back(StrokeStyle{{0, 0, 0}, false, kInf, {}, 0});
  for (uint32_t k = 0; k < 3; ++k) {  // a stroke through infinity, and styles that draw nothing
    list.order.push_back({ItemKind::kStroke, uint32_t(list.strokes.size())});
    list.strokes.push_back({{k == 0 ? at : at + 3 - 1, 2}, k == 0 ? 0 : zeroDash + k, 0});
  }
  list.order.push_back({ItemKind::kFill, uint32_t(list.fills.size())});
  list.rings.push_back({at, 3});
  list.fills.push_back({{0, 0, 0}, {uint32_t(list.rings.size() - 1), 1}});
  list.sublists.emplace_back();  // a list that places itself
  list.sublists.back().order.push_back({ItemKind::kPlacement, 0});
  list.sublists.back().placements.push_back({uint32_t(list.sublists.size() - 1), 1, 1});
  list.order.push_back({ItemKind::kPlacement, uint32_t(list.placements.size())});
  list.placements.push_back({uint32_t(list.sublists.size() - 1), kNaN, 0});
  list.order.push_back({ItemKind::kPlacement, uint32_t(list.placements.size())});
  list.placements.push_back({uint32_t(list.sublists.size() - 1), 0, 0});
  PdfOutput o;
  o.fonts = &Fonts();
  o.image = Logo;
  std::string error;
  ASSERT_TRUE(WritePdf({PdfPage{&list, 1.0, "x"}}, dir / "odd.pdf", o, error)) << error;
  EXPECT_NE(Shell("qpdf --check " + Quoted(dir / "odd.pdf") + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  EXPECT_EQ(Shell("pdftoppm -r 10 -png " + Quoted(dir / "odd.pdf") + " 2>&1 >/dev/null; echo $?"), "0\n");
  // No number in the page beyond what every reader takes, nor a word that is no number.
  const std::string content =
      Shell("qpdf --qdf --object-streams=disable " + Quoted(dir / "odd.pdf") + " - | sed -n '/^%% Contents for page/,/^endstream$/p'");
  EXPECT_FALSE(std::regex_search(content, std::regex("[0-9]{11}"))) << content.substr(0, 2000);
  EXPECT_FALSE(std::regex_search(content, std::regex("nan|inf", std::regex::icase)));
  EXPECT_NE(content.find("\nS\n"), std::string::npos);  // the sheet's own lines are drawn

  DisplayList page;
  page.height = 210;
  for (double width : {3e6, std::numeric_limits<double>::infinity(), 0.0, kNaN}) {
    page.width = width;
    std::ostringstream out;
    EXPECT_FALSE(WritePdf({PdfPage{&page, 1.0, {}}}, out, o, error));
    EXPECT_NE(error.find(width > 0 ? "mm, more than 739 m a side" : "the page is empty"), std::string::npos) << error;
  }
  page.width = 297;
  page.overBudget = true;
  std::ostringstream out;
  EXPECT_FALSE(WritePdf({PdfPage{&page, 1.0, {}}}, out, o, error));
  EXPECT_EQ(error, OverBudgetMessage());
  page.overBudget = false;
  std::ostream broken(nullptr);
  EXPECT_FALSE(WritePdf({PdfPage{&page, 1.0, {}}}, broken, o, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(WritePdf({PdfPage{&page, 1.0, {}}}, out, PdfOutput{}, error)) << error;
}

}  // namespace
}  // namespace kelvane
