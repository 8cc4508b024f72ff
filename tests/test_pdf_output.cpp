// The portable PDF writer: valid files with embedded fonts whose texts read whole and sit where
// the cairo pages put them, several pages with bookmarks, and hostile lists that still write.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kelvane
