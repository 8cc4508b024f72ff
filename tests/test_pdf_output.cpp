// The portable PDF writer: valid files with embedded fonts whose texts read whole and sit where
// the cairo pages put them, several pages with bookmarks, and hostile lists that still write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>

#include "app/example.h"
#include "jww/builder.h"
#include "platform/font_source.h"
#include "platform/text_conversion.h"
#include "render/cairo/cairo_output.h"
#include "render/image_decode.h"
#include "render/glyph_layout.h"
#include "drawing/image_source.h"
#include "render/pdf/pdf_output.h"
#include "render/render.h"
#include "split/extract.h"
#include "tests/fixtures.h"

namespace kelvane {
namespace {

using testing::CommandOutput;
using testing::CorpusFiles;
using testing::TempDir;

constexpr double kPtPerMm = 72 / 25.4;

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

FontSource& Fonts() {
  static std::unique_ptr<FontSource> fonts = MakeSystemFontSource();
  return *fonts;
}

// Writes the list as a page of its own, its images (when a drawing is given) the drawing's own.
bool WriteOne(const DisplayList& list, const std::filesystem::path& file, std::string& error,
              const JwwDocument* doc = nullptr) {
  PdfOutput o;
  o.fonts = &Fonts();
  if (doc)
    o.image = [doc](const JwwString& source, uint64_t maxPixels, ImageProblem& problem) -> std::optional<RasterImage> {
      DecodedImage image;
      const std::vector<uint8_t> bytes = ImageBytesFor(doc->images, source, {}, &problem);
      if (bytes.empty() || DecodeImageWithin(bytes, IsGzipName(source), maxPixels, image) != DecodeResult::kDecoded)
        return std::nullopt;
      return ToRasterImage(image);
    };
  return WritePdf({PdfPage{&list, 1.0, {}}}, file, o, error);
}

// The same through cairo.
bool WriteCairo(const DisplayList& list, const std::filesystem::path& file, std::string& error,
                const JwwDocument* doc = nullptr) {
  PictureOutput o;
  if (doc)
    o.imageBytes = [doc](const JwwString& source, ImageProblem& problem) {
      return ImageBytesFor(doc->images, source, {}, &problem);
    };
  return WritePicture(list, file, PictureFormat::kPdf, o, error);
}

// A page drawn in colour at 50 dpi, through poppler's cairo renderer (its own renderer draws
// lines under a pixel wide differently by how the page's coordinates are scaled).
struct Drawn {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

Drawn ReadPng(const std::filesystem::path& png) {
  DecodedImage image;
  if (!DecodeImage(testing::ReadBytes(png.string()), false, image)) return {};
  Drawn d;
  d.width = image.width, d.height = image.height;
  for (uint32_t argb : image.argb)  // opaque: premultiplied is plain
    d.rgb.insert(d.rgb.end(), {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb)});
  return d;
}

Drawn Draw(const std::filesystem::path& pdf, const std::string& name) {
  const std::filesystem::path root = pdf.parent_path() / name;
  CommandOutput("pdftocairo -r 50 -singlefile -png " + Quoted(pdf) + " " + Quoted(root));
  DecodedImage image;
  if (!DecodeImage(testing::ReadBytes(root.string() + ".png"), false, image)) return {};
  Drawn d;
  d.width = image.width, d.height = image.height;
  for (uint32_t argb : image.argb)  // opaque: premultiplied is plain
    d.rgb.insert(d.rgb.end(), {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb)});
  return d;
}

// Pixels of `a` that no pixel of `b` within one pixel matches (no channel off by more than a
// third), against the inked pixels of `a`: what one page draws that the other does not, however
// antialiasing falls.
double Unmatched(const Drawn& a, const Drawn& b) {
  size_t ink = 0, unmatched = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const uint8_t* p = a.At(x, y);
      ink += std::min({p[0], p[1], p[2]}) < 200;
      bool matched = false;
      for (int dy = -1; dy <= 1 && !matched; ++dy)
        for (int dx = -1; dx <= 1 && !matched; ++dx) {
          if (x + dx < 0 || y + dy < 0 || x + dx >= b.width || y + dy >= b.height) continue;
          const uint8_t* q = b.At(x + dx, y + dy);
          matched = std::abs(p[0] - q[0]) <= 85 && std::abs(p[1] - q[1]) <= 85 && std::abs(p[2] - q[2]) <= 85;
        }
      unmatched += !matched;
    }
  return double(unmatched) / double(std::max<size_t>(ink, 1));
}

// The larger share of what either of two PDFs draws and the other does not.
double DifferingInk(const std::filesystem::path& a, const std::filesystem::path& b) {
  const Drawn first = Draw(a, "drawn0"), second = Draw(b, "drawn1");
  if (first.rgb.empty() || first.width != second.width || first.height != second.height) return 1;
  return std::max(Unmatched(first, second), Unmatched(second, first));
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
  const std::string html = CommandOutput("pdftotext -bbox " + Quoted(pdf) + " - 2>/dev/null");
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

// What every PDF of ours must be: drawn as cairo draws it, valid, fonts embedded, each text
// whole, the page's size, the words where cairo puts them.
void ExpectGoodPdf(const DisplayList& list, const std::filesystem::path& dir, const std::string& what,
                   const JwwDocument* doc) {
  std::string error;
  const std::filesystem::path ours = dir / "ours.pdf", cairo = dir / "cairo.pdf";
  ASSERT_TRUE(WriteOne(list, ours, error, doc)) << what << ": " << error;
  ASSERT_TRUE(WriteCairo(list, cairo, error, doc)) << error;
  // Curves and cairo's runs of segments antialias hairlines a little differently at 50 dpi.
  EXPECT_LT(DifferingInk(cairo, ours), 0.025) << what;
  EXPECT_NE(CommandOutput("qpdf --check " + Quoted(ours) + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos)
      << what;
  const std::string fonts = CommandOutput("pdffonts " + Quoted(ours));
  EXPECT_EQ(fonts.find(" no "), std::string::npos) << what << "\n" << fonts;
  double w = 0, h = 0;
  const std::string info = CommandOutput("pdfinfo " + Quoted(ours));
  ASSERT_EQ(std::sscanf(info.c_str() + info.find("Page size:"), "Page size: %lf x %lf", &w, &h), 2) << info;
  EXPECT_NEAR(w / kPtPerMm, list.width, 0.01) << what;
  EXPECT_NEAR(h / kPtPerMm, list.height, 0.01) << what;
  // Every text whole, but for those no installed font draws whole (cairo's page lacks them too).
  const std::string found = OneSpaced(CommandOutput("pdftotext " + Quoted(ours) + " -"));
  const std::string cairoFound = OneSpaced(CommandOutput("pdftotext " + Quoted(cairo) + " -"));
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
    if (!list.order.empty()) ExpectGoodPdf(list, dir.path(), "example sheet " + std::to_string(k), &doc);
  }
  for (const auto& f : CorpusFiles()) {
    JwwDocument d;
    ASSERT_TRUE(d.LoadFromFile(f));
    ExpectGoodPdf(RenderDrawing(d, PictureStyle::kColor), dir.path(), f.filename().string(), &d);
  }
}

// The ink of a PDF's page drawn in grey: each band of rows with ink, its extent in pixels and
// its dark pixels.
struct InkBand {
  int top = 0, bottom = 0, left = 1 << 30, right = -1;
  size_t dark = 0;
};

// The same of a page given as grey pixels, rows top down.
std::vector<InkBand> InkBandsOf(const uint8_t* grey, int w, int h) {
  std::vector<InkBand> bands;
  bool inBand = false;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = &grey[size_t(y) * size_t(w)];
    InkBand band;
    for (int x = 0; x < w; ++x)
      if (row[x] < 128) band.left = std::min(band.left, x), band.right = x, ++band.dark;
    if (band.dark == 0) {
      inBand = false;
      continue;
    }
    if (!inBand) bands.push_back({y, y});
    inBand = true;
    InkBand& b = bands.back();
    b.bottom = y, b.left = std::min(b.left, band.left), b.right = std::max(b.right, band.right), b.dark += band.dark;
  }
  return bands;
}

std::vector<InkBand> InkBands(const std::filesystem::path& pdf, int dpi) {
  const std::filesystem::path root = pdf.parent_path() / "ink";
  CommandOutput("pdftoppm -r " + std::to_string(dpi) + " -gray -singlefile " + Quoted(pdf) + " " + Quoted(root));
  const std::vector<uint8_t> pgm = testing::ReadBytes(root.string() + ".pgm");
  int w = 0, h = 0, lines = 0;
  size_t at = 0;
  for (; at < pgm.size() && lines < 3; ++at) lines += pgm[at] == '\n';
  std::sscanf(reinterpret_cast<const char*>(pgm.data()), "P5 %d %d", &w, &h);
  if (w <= 0 || h <= 0 || at + size_t(w) * size_t(h) > pgm.size()) return {};
  return InkBandsOf(&pgm[at], w, h);
}

// The same of a PNG.
std::vector<InkBand> PngInkBands(const std::filesystem::path& png) {
  const Drawn d = ReadPng(png);
  std::vector<uint8_t> grey;
  for (size_t k = 0; k + 2 < d.rgb.size(); k += 3) grey.push_back(uint8_t((d.rgb[k] + d.rgb[k + 1] + d.rgb[k + 2]) / 3));
  return InkBandsOf(grey.data(), d.width, d.height);
}

// A face without a bold or an italic of its own is thickened and slanted as cairo draws it:
// each line's ink within 0.1 mm of the PNG's on every side, and as much of it; the face's
// program embedded once.
TEST(PdfOutput, SyntheticBoldAndItalicAsCairoDrawsThem) {
  TempDir dir;
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  doc.header.paperSize = 4;
  const char16_t* texts[] = {u"Regular 平面図", u"Italic 平面図", u"Bold 平面図", u"Both 平面図"};
  for (int k = 0; k < 4; ++k) {
    const int32_t t = AddText(doc, -120, 60 - 30 * k, JwwString::Wide(texts[k]), {}, 8.0);
    doc.texts[size_t(t)].textType = 10000 * k;  // 1: italic, 2: bold
    doc.textStrings.back().fontName = JwwString::Wide(u"ＭＳ ゴシック");
  }
  doc.entityCount = int32_t(doc.order.size());
  const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
  ASSERT_EQ(list.texts.size(), 4u);
  ASSERT_TRUE(list.texts[3].bold && list.texts[3].italic);
  std::string error;
  ASSERT_TRUE(WriteOne(list, dir / "ours.pdf", error)) << error;
  ASSERT_TRUE(WritePicture(list, dir / "cairo.pdf", PictureFormat::kPdf, {}, error)) << error;
  constexpr int kDpi = 600;
  const double tolerance = 0.1 * kDpi / 25.4;
  // One face drawn plain, thickened and slanted is one font program.
  const std::vector<uint8_t> bytes = testing::ReadBytes(dir / "ours.pdf");
  const std::string raw(bytes.begin(), bytes.end());
  size_t programs = 0;
  for (size_t at = raw.find("/FontFile"); at != std::string::npos; at = raw.find("/FontFile", at + 1)) ++programs;
  EXPECT_EQ(programs, 1u);
  PictureOutput png;
  png.dpi = kDpi;
  ASSERT_TRUE(WritePicture(list, dir / "cairo.png", PictureFormat::kPng, png, error)) << error;
  const std::vector<InkBand> ours = InkBands(dir / "ours.pdf", kDpi);
  // Against the PNG, whose outlines FreeType thickens itself, and cairo's PDF, which places a
  // thickened glyph 1/24 em lower than its own PNG: only across.
  for (const bool png : {true, false}) {
    const std::vector<InkBand> cairo = png ? PngInkBands(dir / "cairo.png") : InkBands(dir / "cairo.pdf", kDpi);
    ASSERT_EQ(ours.size(), 4u);
    ASSERT_EQ(cairo.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
      if (png) {
        EXPECT_NEAR(ours[k].top, cairo[k].top, tolerance) << k;
        EXPECT_NEAR(ours[k].bottom, cairo[k].bottom, tolerance) << k;
      }
      EXPECT_NEAR(ours[k].left, cairo[k].left, tolerance) << k;
      EXPECT_NEAR(ours[k].right, cairo[k].right, tolerance) << k;
      EXPECT_NEAR(double(ours[k].dark) / double(cairo[k].dark), 1.0, 0.03) << k;
    }
  }
}

// A page and its picture through kelvane itself, drawn in colour at the picture's 150 dpi.
Drawn DrawAt(const std::filesystem::path& pdf, double dpi) {
  const std::filesystem::path root = pdf.parent_path() / (pdf.stem().string() + "-drawn");
  CommandOutput("pdftocairo -r " + std::to_string(dpi) + " -singlefile -png " + Quoted(pdf) + " " + Quoted(root));
  return ReadPng(root.string() + ".png");
}

// Machines with other Japanese fonts: only Noto CJK (CFF outlines in .ttc collections) with
// DejaVu, only IPA (TrueType), and both. In each, the PDF embeds every face it draws with, draws
// what the PNG of the same run draws (a glyph where it has one, a box where it has a box), and a
// reader finds every text whole: a character drawn as a box, and each of two characters that
// share a glyph in the face's own ToUnicode map.
TEST(PdfOutput, EveryFontSetupDrawsWhatThePictureDrawsAndReadsWhole) {
  const std::filesystem::path kelvane = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kelvane";
  if (!std::filesystem::exists(kelvane)) GTEST_SKIP() << "no kelvane beside the tests";
  const std::filesystem::path noto = "/usr/share/fonts/opentype/noto", dejavu = "/usr/share/fonts/truetype/dejavu",
                              ipaGothic = "/usr/share/fonts/opentype/ipafont-gothic",
                              ipaMincho = "/usr/share/fonts/opentype/ipafont-mincho",
                              urw = "/usr/share/fonts/opentype/urw-base35";
  // Each with the fonts it must embed (CFF-based: Noto CJK, the URW fonts).
  const std::vector<std::tuple<std::string, std::vector<std::filesystem::path>, std::vector<std::string>>> setups = {
      {"noto", {noto, dejavu}, {"NotoSansCJKjp"}},
      {"ipa", {ipaGothic, ipaMincho, urw}, {"IPAGothic", "IPAMincho", "NimbusSans-Regular"}},
      {"both", {noto, dejavu, ipaGothic, ipaMincho}, {"IPAGothic", "IPAMincho"}}};
  TempDir dir;
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  doc.header.paperSize = 4;
  const std::vector<std::u16string> texts = {u"3,700 平面図", u"Kelvane 𠮷野家 ☺", u"―— ～〜", u"Nimbus 3,700"};
  for (size_t k = 0; k < texts.size(); ++k) {
    AddText(doc, -120, 60 - 30 * double(k), JwwString::Wide(texts[k]), {}, 8.0);
    doc.textStrings.back().fontName = JwwString::Wide(k == 1 ? u"ＭＳ 明朝" : k == 3 ? u"Nimbus Sans" : u"ＭＳ ゴシック");
  }
  doc.entityCount = int32_t(doc.order.size());
  ASSERT_TRUE(doc.SaveToFile(dir / "fonts.jww", 600));
  int tried = 0;
  for (const auto& [name, folders, embedded] : setups) {
    if (!std::all_of(folders.begin(), folders.end(), [](const auto& f) { return std::filesystem::exists(f); })) continue;
    ++tried;
    const std::filesystem::path conf = dir / (name + ".conf");
    std::ofstream(conf) << "<?xml version=\"1.0\"?><fontconfig>"
                        << [&] {
                             std::string dirs;
                             for (const auto& f : folders) dirs += "<dir>" + f.string() + "</dir>";
                             return dirs;
                           }()
                        << "<cachedir>" << (dir / "fontcache").string() << "</cachedir></fontconfig>\n";
    const std::filesystem::path pdf = dir / (name + ".pdf"), png = dir / (name + ".png");
    for (const auto& out : {pdf, png})
      CommandOutput("FONTCONFIG_FILE=" + Quoted(conf) + " " + Quoted(kelvane) + " --render " + Quoted(dir / "fonts.jww") +
                    " " + Quoted(out));
    const std::string fonts = CommandOutput("pdffonts " + Quoted(pdf));
    EXPECT_NE(fonts.find(" yes "), std::string::npos) << name << "\n" << fonts;
    // Subsets of a few glyphs each, also of a CJK collection of 65,535.
    EXPECT_LT(std::filesystem::file_size(pdf), 40000u) << name;
    EXPECT_EQ(fonts.find(" no "), std::string::npos) << name << "\n" << fonts;
    for (const std::string& font : embedded) EXPECT_NE(fonts.find("+" + font), std::string::npos) << name << "\n" << fonts;
    EXPECT_NE(CommandOutput("qpdf --check " + Quoted(pdf) + " 2>&1").find("No syntax or stream encoding errors"),
              std::string::npos)
        << name;
    const std::string found = OneSpaced(CommandOutput("pdftotext " + Quoted(pdf) + " -"));
    for (const std::u16string& t : texts) EXPECT_NE(found.find(OneSpaced(Utf16ToUtf8(t))), std::string::npos) << name << ": " << found;
    const std::string plain = CommandOutput("qpdf --qdf --object-streams=disable " + Quoted(pdf) + " -");
    for (const char* target : {"<2015>", "<2014>", "<FF5E>", "<301C>"})
      EXPECT_NE(plain.find(std::string("> ") + target), std::string::npos) << name << ": " << target;
    const Drawn picture = ReadPng(png), ours = DrawAt(pdf, 150);
    ASSERT_FALSE(picture.rgb.empty()) << name;
    ASSERT_EQ(picture.width, ours.width) << name;
    ASSERT_EQ(picture.height, ours.height) << name;
    EXPECT_LT(std::max(Unmatched(picture, ours), Unmatched(ours, picture)), 0.005) << name;
  }
  if (tried == 0) GTEST_SKIP() << "neither Noto CJK nor IPA fonts installed";
}

// A face is cut from itself at first and from the face as prepared for cutting once it has been
// cut often: a CID-keyed CFF face (Noto CJK) gives the same program either way, its glyphs under
// the same CIDs.
TEST(PdfOutput, AFaceCutOftenGivesTheProgramItGaveAtFirst) {
  const std::shared_ptr<EmbeddableFont> face = Fonts().Open("Noto Sans CJK JP", false, false);
  if (!face || face->ProgramKind() != FontProgramKind::kCff) GTEST_SKIP() << "no Noto Sans CJK JP";
  std::vector<uint16_t> glyphs;
  for (char32_t c : std::u32string_view(U"平面図 3,700")) glyphs.push_back(face->GlyphFor(c));
  const std::optional<std::string> first = face->Subset(glyphs);
  ASSERT_TRUE(first && !first->empty());
  for (int k = 0; k < 15; ++k) ASSERT_EQ(face->Subset(glyphs), first) << "subset " << k + 2;
}

// A PDF says what it is and who made it: its title (the file's name unless given), Kelvane and
// its version as creator and producer, and its dates, those of SOURCE_DATE_EPOCH when set, so
// that the same drawing gives the same bytes.
TEST(PdfOutput, SaysWhatItIsWhoMadeItAndWhenReproducibly) {
  TempDir dir;
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  AddText(doc, 0, 0, JwwString::Wide(u"平面図"), {}, 5.0);
  doc.entityCount = int32_t(doc.order.size());
  const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
  std::string error;
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  ASSERT_TRUE(WriteOne(list, dir / "3_平面図.pdf", error)) << error;
  std::filesystem::create_directory(dir / "again");
  ASSERT_TRUE(WriteOne(list, dir / "again" / "3_平面図.pdf", error)) << error;
  unsetenv("SOURCE_DATE_EPOCH");
  const std::string info = CommandOutput("pdfinfo -isodates " + Quoted(dir / "3_平面図.pdf"));
  EXPECT_NE(info.find("Title:           3_平面図\n"), std::string::npos) << info;
  EXPECT_TRUE(std::regex_search(info, std::regex("Creator: +Kelvane [0-9]+\\.[0-9]+"))) << info;
  EXPECT_TRUE(std::regex_search(info, std::regex("Producer: +Kelvane [0-9]+\\.[0-9]+"))) << info;
  EXPECT_NE(info.find("CreationDate:    2023-11-14T22:13:20Z"), std::string::npos) << info;
  EXPECT_NE(info.find("ModDate:         2023-11-14T22:13:20Z"), std::string::npos) << info;
  EXPECT_EQ(testing::ReadBytes(dir / "3_平面図.pdf"), testing::ReadBytes(dir / "again" / "3_平面図.pdf"));
}

// A page over 200 in a side (a 6000 mm frame) is given in larger units that keep it within the
// 14,400 units some readers take, and is drawn as the same page at its true size.
TEST(PdfOutput, APageOver200InchesIsWrittenInLargerUnits) {
  TempDir dir;
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  doc.header.paperSize = 4;
  AddText(doc, -120, 0, JwwString::Wide(u"平面図 3,700"), {}, 8.0);
  AddLine(doc, -140, -90, 140, 90);
  doc.entityCount = int32_t(doc.order.size());
  const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
  const double scale = 6000 / list.width;
  PdfOutput o;
  o.fonts = &Fonts();
  std::string error;
  ASSERT_TRUE(WritePdf({PdfPage{&list, 1.0, {}}}, dir / "small.pdf", o, error)) << error;
  ASSERT_TRUE(WritePdf({PdfPage{&list, scale, {}}}, dir / "large.pdf", o, error)) << error;
  const std::vector<uint8_t> bytes = testing::ReadBytes(dir / "large.pdf");
  const std::string raw(bytes.begin(), bytes.end());
  std::smatch m;
  ASSERT_TRUE(std::regex_search(raw, m, std::regex(R"(/MediaBox\[0 0 ([0-9.]+) ([0-9.]+)\]/UserUnit ([0-9.]+))"))) << raw.substr(0, 2000);
  const double w = std::stod(m[1]), h = std::stod(m[2]), unit = std::stod(m[3]);
  EXPECT_LE(std::max(w, h), 14400);
  EXPECT_NEAR(w * unit / kPtPerMm, 6000, 0.01);
  EXPECT_NEAR(h * unit / kPtPerMm, list.height * scale, 0.01);
  EXPECT_NE(CommandOutput("qpdf --check " + Quoted(dir / "large.pdf") + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  const std::vector<uint8_t> small = testing::ReadBytes(dir / "small.pdf");
  EXPECT_EQ(std::string(small.begin(), small.end()).find("/UserUnit"), std::string::npos);
  // The same drawing, however large: drawn to the same pixels (at the size the reader takes
  // the page for, whether or not it reads the unit).
  double readerWidth = 0;
  const std::string info = CommandOutput("pdfinfo " + Quoted(dir / "large.pdf"));
  ASSERT_EQ(std::sscanf(info.c_str() + info.find("Page size:"), "Page size: %lf", &readerWidth), 1) << info;
  const Drawn a = DrawAt(dir / "small.pdf", 40), b = DrawAt(dir / "large.pdf", 40 * list.width * kPtPerMm / readerWidth);
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  EXPECT_LT(std::max(Unmatched(a, b), Unmatched(b, a)), 0.01);
}

// Distance from p to the segment ab.
double ToSegment(Vec2 p, Vec2 a, Vec2 b) {
  const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  const double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0;
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

double ToPolyline(Vec2 p, const std::vector<Vec2>& line) {
  double best = 1e300;
  for (size_t k = 0; k + 1 < line.size(); ++k) best = std::min(best, ToSegment(p, line[k], line[k + 1]));
  return best;
}

// Arcs, circles and ellipses (tilted, flattened, dashed) are written as Bézier curves, not as the
// list's runs of segments: every point the list puts on an arc lies within 0.01 mm of the curves,
// and the curves stay within the segments' own tolerance of them; the content is far smaller.
TEST(PdfOutput, ArcsCirclesAndEllipsesAreCurvesWithinTheArcTolerance) {
  TempDir dir;
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  doc.header.paperSize = 3;
  AddCircle(doc, -60, 20, 70);
  AddArc(doc, 80, 0, 45, 0.3, 2.5);
  AddArc(doc, 20, -60, 90, -1.0, 5.5, {}, 0.4, 0.5);
  Attr dashed;
  dashed.penStyle = 2;
  AddCircle(doc, 120, 80, 25, dashed);
  doc.entityCount = int32_t(doc.order.size());
  // On its paper, and moved to fit the drawing (as the plan draws it).
  for (const DisplayList& list : {RenderDrawing(doc, PictureStyle::kMonochrome),
                                  RenderWhole(doc, PictureStyle::kMonochrome, 10, nullptr)}) {
    std::vector<std::vector<Vec2>> arcs;  // the list's own segments, in list millimetres
    auto collect = [&](const DisplayList& l) {
      for (const Stroke& st : l.strokes) {
        arcs.emplace_back();
        for (uint32_t k = 0; k < st.points.count; ++k) arcs.back().push_back(l.points[st.points.first + k]);
        if (st.closed) arcs.back().push_back(arcs.back().front());
      }
    };
    collect(list);
    for (const DisplayList& sub : list.sublists) collect(sub);
    ASSERT_EQ(arcs.size(), 4u);
    std::string error;
    ASSERT_TRUE(WriteOne(list, dir / "arcs.pdf", error)) << error;
    // The curves of the content, sampled finely, in list millimetres.
    std::istringstream content(CommandOutput("qpdf --qdf --object-streams=disable " + Quoted(dir / "arcs.pdf") + " -"));
    std::vector<std::vector<Vec2>> curves;
    Vec2 at;
    size_t segments = 0;
    for (std::string line; std::getline(content, line);) {
      std::istringstream in(line);
      std::vector<std::string> tokens;
      for (std::string t; in >> t;) tokens.push_back(t);
      if (tokens.size() == 3 && tokens[2] == "m") {
        at = {std::stod(tokens[0]) / 100, std::stod(tokens[1]) / 100};
        curves.push_back({at});
      } else if (tokens.size() == 3 && tokens[2] == "l") {
        ++segments;
      } else if (tokens.size() == 7 && tokens[6] == "c" && !curves.empty()) {
        Vec2 q[4] = {at};
        for (int k = 1; k < 4; ++k) q[k] = {std::stod(tokens[size_t(2 * k - 2)]) / 100, std::stod(tokens[size_t(2 * k - 1)]) / 100};
        for (int k = 1; k <= 400; ++k) {
          const double t = k / 400.0, u = 1 - t;
          curves.back().push_back({u * u * u * q[0].x + 3 * u * u * t * q[1].x + 3 * u * t * t * q[2].x + t * t * t * q[3].x,
                                   u * u * u * q[0].y + 3 * u * u * t * q[1].y + 3 * u * t * t * q[2].y + t * t * t * q[3].y});
        }
        at = q[3];
      }
    }
    curves.erase(std::remove_if(curves.begin(), curves.end(), [](const auto& c) { return c.size() < 2; }), curves.end());
    ASSERT_EQ(curves.size(), 4u);
    EXPECT_EQ(segments, 0u);
    size_t points = 0;
    for (const std::vector<Vec2>& arc : arcs) {
      points += arc.size();
      double worst = 0;
      for (const Vec2& p : arc) {
        double best = 1e300;
        for (const auto& c : curves) best = std::min(best, ToPolyline(p, c));
        worst = std::max(worst, best);
      }
      EXPECT_LT(worst, 0.01) << arc.size();
    }
    for (const auto& c : curves) {  // each path follows one arc's segments all along
      double nearest = 1e300;
      for (const std::vector<Vec2>& arc : arcs) {
        double worst = 0;
        for (size_t k = 0; k < c.size() && worst < nearest; k += 7) worst = std::max(worst, ToPolyline(c[k], arc));
        nearest = std::min(nearest, worst);
      }
      EXPECT_LT(nearest, 0.02);
    }
    EXPECT_GT(points, 400u);  // what the curves stand for
  }
}

// The optional content groups of a PDF, by name, in the order of its layer panel: "[" and "]"
// around the members of a group.
std::string LayerPanel(const std::filesystem::path& pdf) {
  const std::string plain = CommandOutput("qpdf --qdf --object-streams=disable " + Quoted(pdf) + " -");
  std::map<std::string, std::string> names;  // "12 0 R" -> name
  static const std::regex group(R"re((\d+) 0 obj\s*<<[^>]*?/Name <(?:FEFF|feff)([0-9A-Fa-f]*)>[^]*?/Type /OCG)re");
  for (auto it = std::sregex_iterator(plain.begin(), plain.end(), group); it != std::sregex_iterator(); ++it) {
    std::u16string name;
    const std::string hex = (*it)[2];
    for (size_t k = 0; k + 4 <= hex.size(); k += 4) name += char16_t(std::stoi(hex.substr(k, 4), nullptr, 16));
    names[(*it)[1].str() + " 0 R"] = Utf16ToUtf8(name);
  }
  std::smatch order;
  if (!std::regex_search(plain, order, std::regex(R"(/Order \[([^]*?)\]\s*\n\s*>>)"))) return "";
  std::string panel;
  const std::string items = order[1];
  static const std::regex token(R"((\d+ 0 R)|\[|\])");
  for (auto it = std::sregex_iterator(items.begin(), items.end(), token); it != std::sregex_iterator(); ++it)
    panel += (*it)[1].matched ? (panel.empty() || panel.back() == '[' ? "" : " ") + names[(*it)[1]] : (*it)[0].str();
  return panel;
}

// The drawing's layers are optional content: every group and layer with something on the page,
// named as Jw_cad names them, nested by group and shown as printed; each layer's content marked
// with it inside its group's. Switched off, the same page without them.
TEST(PdfOutput, TheDrawingsLayersAreOptionalContentNestedByGroup) {
  TempDir dir;
  JwwDocument doc;
  InitDrawing(doc, 600, true);
  doc.header.paperSize = 4;
  ASSERT_GE(doc.layers.size(), 256u);
  ASSERT_GE(doc.layerGroups.size(), 16u);
  doc.layers[1].name = JwwString::Wide(u"設備");
  doc.layerGroups[1].name = JwwString::Wide(u"構造");
  doc.layers[16 + 2].name = JwwString::Wide(u"躯体");
  doc.layers[16 + 3].name = JwwString::Wide(u"空き");  // nothing on it
  Attr equipment, frame;
  equipment.layer = 1;
  frame.layerGroup = 1, frame.layer = 2;
  AddLine(doc, -100, 0, 100, 0);
  AddCircle(doc, 0, 0, 40, equipment);
  AddText(doc, -50, 50, JwwString::Wide(u"給湯器"), equipment, 5.0);
  AddLine(doc, -100, -60, 100, -60, frame);
  doc.entityCount = int32_t(doc.order.size());
  const DisplayList list = RenderDrawing(doc, PictureStyle::kMonochrome);
  std::string error;
  ASSERT_TRUE(WriteOne(list, dir / "layers.pdf", error)) << error;
  PdfOutput plain;
  plain.fonts = &Fonts();
  plain.layers = false;
  ASSERT_TRUE(WritePdf({PdfPage{&list, 1.0, {}}}, dir / "plain.pdf", plain, error)) << error;
  EXPECT_EQ(LayerPanel(dir / "layers.pdf"), "0[0-0 0-1 設備] 1 構造[1-2 躯体]");
  EXPECT_EQ(LayerPanel(dir / "plain.pdf"), "");
  EXPECT_NE(CommandOutput("qpdf --check " + Quoted(dir / "layers.pdf") + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  const std::string content = CommandOutput("qpdf --qdf --object-streams=disable " + Quoted(dir / "layers.pdf") + " -");
  size_t marked = 0;
  for (size_t at = content.find("/OC /OC"); at != std::string::npos; at = content.find("/OC /OC", at + 1)) ++marked;
  EXPECT_EQ(marked, 6u);  // 0 and 0-0, then 0 and 0-1 (circle and text together), then 1 and 1-2
  EXPECT_NE(OneSpaced(CommandOutput("pdftotext " + Quoted(dir / "layers.pdf") + " -")).find("給湯器"), std::string::npos);
  EXPECT_LT(DifferingInk(dir / "plain.pdf", dir / "layers.pdf"), 0.001);
}

// Every object the cross-reference stream places in an object stream is, as qpdf reads them, that
// stream's index-th object, and its offset there starts the object.
void ExpectPackedObjectsWhereTheTableSays(const std::filesystem::path& pdf) {
  const std::string table = CommandOutput("qpdf --show-xref " + Quoted(pdf));
  static const std::regex entry(R"((\d+)/0: compressed; stream = (\d+), index = (\d+))");
  std::map<std::string, std::string> streams;
  size_t checked = 0;
  for (auto it = std::sregex_iterator(table.begin(), table.end(), entry); it != std::sregex_iterator(); ++it) {
    std::string& data = streams[(*it)[2]];
    if (data.empty())
      data = CommandOutput("qpdf --show-object=" + (*it)[2].str() + " --filtered-stream-data " + Quoted(pdf));
    const size_t first = data.find("<<");
    ASSERT_NE(first, std::string::npos);
    std::istringstream header(data.substr(0, first));
    std::vector<std::pair<long, size_t>> objects;
    long number = 0;
    size_t offset = 0;
    while (header >> number >> offset) objects.emplace_back(number, offset);
    const size_t index = std::stoul((*it)[3]);
    ASSERT_LT(index, objects.size()) << (*it)[0];
    EXPECT_EQ(objects[index].first, std::stol((*it)[1])) << (*it)[0];
    EXPECT_EQ(data.compare(first + objects[index].second, 2, "<<"), 0) << (*it)[0];
    ++checked;
  }
  EXPECT_GT(checked, 0u);
}

// Every layer of every group in use: the layer dictionaries go into several object streams, and
// each is still found, named, in its place in the panel.
TEST(PdfOutput, ManyLayersArePackedAndEachKeepsItsName) {
  TempDir dir;
  JwwDocument doc;
  InitDrawing(doc, 600, true);
  doc.header.paperSize = 4;
  for (int g = 0; g < 16; ++g) {
    for (int l = 0; l < 16; ++l) {
      Attr on;
      on.layerGroup = uint16_t(g), on.layer = uint16_t(l);
      const double y = -100 + (g * 16 + l) * 0.7;
      AddLine(doc, -50, y, 50, y, on);
    }
  }
  doc.entityCount = int32_t(doc.order.size());
  std::string error;
  ASSERT_TRUE(WriteOne(RenderDrawing(doc, PictureStyle::kMonochrome), dir / "many.pdf", error)) << error;
  EXPECT_NE(CommandOutput("qpdf --check " + Quoted(dir / "many.pdf") + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  const std::vector<uint8_t> bytes = testing::ReadBytes(dir / "many.pdf");
  const std::string raw(bytes.begin(), bytes.end());
  size_t streams = 0;
  for (size_t at = raw.find("/Type/ObjStm"); at != std::string::npos; at = raw.find("/Type/ObjStm", at + 1)) ++streams;
  EXPECT_GE(streams, 2u);
  ExpectPackedObjectsWhereTheTableSays(dir / "many.pdf");
  const std::string panel = LayerPanel(dir / "many.pdf");
  static const std::regex layer(R"((^|[ \[])([0-9a-fA-F])-([0-9a-fA-F])\b)");
  size_t layers = 0;
  for (auto it = std::sregex_iterator(panel.begin(), panel.end(), layer); it != std::sregex_iterator(); ++it) ++layers;
  EXPECT_EQ(layers, 256u) << panel.substr(0, 400);
  EXPECT_EQ(panel.substr(0, 10), "0[0-0 0-1 ") << panel.substr(0, 400);
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
  EXPECT_NE(CommandOutput("qpdf --check " + Quoted(dir / "book.pdf") + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  const std::string info = CommandOutput("pdfinfo -f 1 -l 3 " + Quoted(dir / "book.pdf"));
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
  const std::string outline = CommandOutput("qpdf --json --json-key=outlines " + Quoted(dir / "book.pdf"));
  const size_t first = outline.find("\"title\": \"1F平面図\""), second = outline.find("\"title\": \"断面\"");
  EXPECT_NE(first, std::string::npos) << outline;
  EXPECT_NE(second, std::string::npos) << outline;
  EXPECT_LT(first, second);
  EXPECT_NE(outline.find("\"destpageposfrom1\": 3"), std::string::npos) << outline;
  EXPECT_EQ(outline.find("\"destpageposfrom1\": 2"), std::string::npos) << outline;
  // Shown three times (the fourth left out), each with its mask; stored once.
  const std::string images = CommandOutput("pdfimages -list " + Quoted(dir / "book.pdf"));
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2 + 3 * 2) << images;
  EXPECT_NE(images.find("smask"), std::string::npos) << images;
  const std::vector<uint8_t> bytes = testing::ReadBytes(dir / "book.pdf");
  const std::string file(bytes.begin(), bytes.end());
  size_t stored = 0;
  for (size_t at = file.find("/Subtype/Image"); at != std::string::npos; at = file.find("/Subtype/Image", at + 1)) ++stored;
  EXPECT_EQ(stored, 2u);
  // The logo where the picture puts it: the clear half shows the page, the other its blue.
  ASSERT_TRUE(WritePdf({PdfPage{&sheet.list, 1.0, {}}}, dir / "logo.pdf", o, error)) << error;
  const Drawn drawn = Draw(dir / "logo.pdf", "logo");
  const Picture& p = sheet.list.pictures[0];
  auto colorAt = [&](double s, double t) {
    const double x = p.origin.x + s * p.across.x + t * p.up.x, y = p.origin.y + s * p.across.y + t * p.up.y;
    const uint8_t* c = drawn.At(int(x / 25.4 * 50), int((sheet.list.height - y) / 25.4 * 50));
    return Rgb{c[0], c[1], c[2]};
  };
  for (double t : {0.2, 0.5, 0.8}) {
    EXPECT_EQ(colorAt(0.2, t), (Rgb{255, 255, 255})) << t;
    EXPECT_EQ(colorAt(0.8, t), (Rgb{30, 80, 200})) << t;
  }
  // Enlarged it keeps its pixels sharp; shown smaller than its pixels it is smoothed.
  EXPECT_NE(images.find("image  no"), std::string::npos) << images;
  DisplayList tiny = sheet.list;
  Picture& small = tiny.pictures[0];
  small.across = {small.across.x / 1000, small.across.y / 1000}, small.up = {small.up.x / 1000, small.up.y / 1000};
  ASSERT_TRUE(WritePdf({PdfPage{&tiny, 1.0, {}}}, dir / "tiny.pdf", o, error)) << error;
  EXPECT_NE(CommandOutput("pdfimages -list " + Quoted(dir / "tiny.pdf")).find("image  yes"), std::string::npos);
  EXPECT_EQ(leftOut.count[size_t(ImageProblem::kBadPlacement)], 1u);
  EXPECT_EQ(leftOut.Total(), 1u);
}

// Bookmarks chain both ways in page order: each entry's /Next names the following one, whose
// /Prev names it back; the first has no /Prev and the last no /Next.
TEST(PdfOutput, BookmarksLinkBothWaysInPageOrder) {
  TempDir dir;
  DisplayList list;
  list.width = 100, list.height = 80;
  const std::vector<PdfPage> pages{{&list, 1.0, "一"}, {&list, 1.0, "二"}, {&list, 1.0, ""}, {&list, 1.0, "四"}};
  PdfOutput o;
  o.fonts = &Fonts();
  std::string error;
  ASSERT_TRUE(WritePdf(pages, dir / "marks.pdf", o, error)) << error;
  const std::vector<uint8_t> bytes = testing::ReadBytes(dir / "marks.pdf");
  const std::string file(bytes.begin(), bytes.end());
  // The outline's entries, by object number, in the order the file writes them.
  std::vector<int> items;
  std::map<int, std::string> bodies;
  for (size_t at = file.find(" 0 obj\n<</Title"); at != std::string::npos; at = file.find(" 0 obj\n<</Title", at + 1)) {
    const std::string body = file.substr(at, file.find("endobj", at) - at);
    if (body.find("/Dest[") == std::string::npos) continue;  // the document's information
    const int number = std::stoi(file.substr(file.rfind('\n', at) + 1));
    items.push_back(number);
    bodies[number] = body;
  }
  ASSERT_EQ(items.size(), 3u) << file;
  for (size_t k = 0; k < items.size(); ++k) {
    const std::string& body = bodies[items[k]];
    const std::string prev = k > 0 ? "/Prev " + std::to_string(items[k - 1]) + " 0 R" : "/Prev";
    const std::string next = k + 1 < items.size() ? "/Next " + std::to_string(items[k + 1]) + " 0 R" : "/Next";
    EXPECT_EQ(body.find(prev) != std::string::npos, k > 0) << k << ": " << body;
    EXPECT_EQ(body.find(next) != std::string::npos, k + 1 < items.size()) << k << ": " << body;
  }
}

// Of four coloured quarters, the picture shows the lower right one alone, cut at the page's
// right edge: the part on the page holds its colour, the page beside it stays clear.
TEST(PdfOutput, AnImageIsCroppedToItsClipAndThePage) {
  TempDir dir;
  DisplayList list;
  list.width = 100, list.height = 80;
  list.imageSources.push_back(JwwString::Sjis("quarters.bmp"));
  Picture p;
  p.origin = {70, 20}, p.across = {40, 0}, p.up = {0, 40};  // 70 to 110 mm across a 100 mm page
  p.clipX = 0.5, p.clipY = 0, p.clipWidth = 0.5, p.clipHeight = 0.5;  // from the lower left
  list.order.push_back({ItemKind::kPicture, 0});
  list.pictures.push_back(p);
  PdfOutput o;
  o.fonts = &Fonts();
  // 4 x 4 pixels, rows top down: red | green over blue | yellow.
  o.image = [](const JwwString&, uint64_t, ImageProblem&) -> std::optional<RasterImage> {
    RasterImage image;
    image.width = image.height = 4;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        const bool right = x >= 2, low = y >= 2;
        const Rgb c = low ? (right ? Rgb{255, 255, 0} : Rgb{0, 0, 255}) : (right ? Rgb{0, 255, 0} : Rgb{255, 0, 0});
        image.rgb.insert(image.rgb.end(), {c.r, c.g, c.b});
      }
    return image;
  };
  std::string error;
  ASSERT_TRUE(WritePdf({PdfPage{&list, 1.0, {}}}, dir / "crop.pdf", o, error)) << error;
  const Drawn drawn = Draw(dir / "crop.pdf", "crop");
  ASSERT_EQ(drawn.width, int(std::lround(100 / 25.4 * 50)));
  auto colorAt = [&](double x, double y) {
    const uint8_t* c = drawn.At(int(x / 25.4 * 50), int((list.height - y) / 25.4 * 50));
    return Rgb{c[0], c[1], c[2]};
  };
  for (double x : {72.0, 85.0, 98.0})
    for (double y : {22.0, 40.0, 58.0}) EXPECT_EQ(colorAt(x, y), (Rgb{255, 255, 0})) << x << ", " << y;
  EXPECT_EQ(colorAt(60, 40), (Rgb{255, 255, 255}));  // left of the picture
  EXPECT_EQ(colorAt(85, 70), (Rgb{255, 255, 255}));  // above it
}

// Every page of a document has the image budget its own PDF has: a set's later pages keep their
// images, an image an earlier page stored counts again on each page that shows it, and one over
// an earlier page's budget is tried again on the next.
TEST(PdfOutput, EveryPageHasTheImageBudgetOfItsOwnPdf) {
  TempDir dir;
  PictureSheet sheet;
  LoadPictureSheet(dir.path(), sheet);
  // The sheet's picture showing the given logos side by side, each a 16-pixel image.
  auto showing = [&](const std::vector<std::string>& names) {
    DisplayList list = sheet.list;
    list.imageSources.clear();
    list.pictures.clear();
    list.order.erase(std::remove_if(list.order.begin(), list.order.end(),
                                    [](const auto& item) { return item.kind == ItemKind::kPicture; }),
                     list.order.end());
    for (const std::string& name : names) {
      list.order.push_back({ItemKind::kPicture, uint32_t(list.pictures.size())});
      list.pictures.push_back(sheet.list.pictures[0]);
      list.pictures.back().origin.x += 20 * double(list.imageSources.size());
      list.pictures.back().source = uint32_t(list.imageSources.size());
      list.imageSources.push_back(JwwString::Sjis(name));
    }
    return list;
  };
  ImagesLeftOut leftOut;
  PdfOutput o;
  o.fonts = &Fonts();
  o.image = Logo;
  o.imagesLeftOut = &leftOut;
  o.imagePixelBudget = 40;  // two logos a page
  std::vector<DisplayList> lists;
  for (int k = 0; k < 5; ++k) lists.push_back(showing({"own" + std::to_string(k)}));
  lists.push_back(showing({"a", "b", "c"}));  // c is over the page's budget
  lists.push_back(showing({"c"}));            // and has it here
  lists.push_back(showing({"a", "b", "c"}));  // a and b, stored before, count again
  std::vector<PdfPage> pages;
  for (const DisplayList& list : lists) pages.push_back({&list, 1.0, {}});
  std::string error;
  ASSERT_TRUE(WritePdf(pages, dir / "set.pdf", o, error)) << error;
  const size_t expected[] = {1, 1, 1, 1, 1, 2, 1, 2};
  for (size_t k = 0; k < pages.size(); ++k) {
    const std::string page = std::to_string(k + 1);
    const std::string images =
        CommandOutput("pdfimages -f " + page + " -l " + page + " -list " + Quoted(dir / "set.pdf"));
    EXPECT_EQ(size_t(std::count(images.begin(), images.end(), '\n')), 2 + expected[k] * 2) << page << "\n" << images;
  }
  EXPECT_EQ(leftOut.count[size_t(ImageProblem::kTooManyPixels)], 2u);
  EXPECT_EQ(leftOut.Total(), 2u);
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
  // A line and a placed list wholly off the page are left out; the list placed on it drawn.
  const uint32_t far = uint32_t(list.points.size());
  list.points.insert(list.points.end(), {PagePoint(5000, 5000), PagePoint(5001, 5001), PagePoint(10, 10), PagePoint(20, 20)});
  list.order.push_back({ItemKind::kStroke, uint32_t(list.strokes.size())});
  list.strokes.push_back({{far, 2}, 0, 0});
  list.sublists.emplace_back();
  list.sublists.back().points = {PagePoint(10, 10), PagePoint(20, 20)};
  list.sublists.back().order.push_back({ItemKind::kStroke, 0});
  list.sublists.back().strokes.push_back({{0, 2}, 0, 0});
  for (double dx : {5000.0, 1.0}) {
    list.order.push_back({ItemKind::kPlacement, uint32_t(list.placements.size())});
    list.placements.push_back({uint32_t(list.sublists.size() - 1), dx, 0});
  }
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
  EXPECT_NE(CommandOutput("qpdf --check " + Quoted(dir / "odd.pdf") + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  EXPECT_EQ(CommandOutput("pdftoppm -r 10 -png " + Quoted(dir / "odd.pdf") + " 2>&1 >/dev/null; echo $?"), "0\n");
  // No number in the page beyond what every reader takes, nor a word that is no number.
  const std::string content =
      CommandOutput("qpdf --qdf --object-streams=disable " + Quoted(dir / "odd.pdf") + " - | sed -n '/^%% Contents for page/,/^endstream$/p'");
  EXPECT_FALSE(std::regex_search(content, std::regex("[0-9]{11}"))) << content.substr(0, 2000);
  EXPECT_FALSE(std::regex_search(content, std::regex("nan|inf", std::regex::icase)));
  EXPECT_NE(content.find("\nS\n"), std::string::npos);  // the sheet's own lines are drawn
  EXPECT_EQ(content.find("500000 500000 m"), std::string::npos);
  EXPECT_EQ(content.find("q 1 0 0 1 500000 0 cm"), std::string::npos);
  EXPECT_NE(content.find("q 1 0 0 1 100 0 cm\n1000 1000 m\n2000 2000 l\nS\nQ"), std::string::npos);

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
