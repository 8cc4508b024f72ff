// The PDF backend: the document around the pages (page tree, resources, outline, information)
// and the writing of it to a stream or a file. The pages themselves: pdf_page_painter.
#include "render/pdf/pdf_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/replacing_file.h"
#include "render/draw_guard.h"
#include "render/page_limit.h"
#include "render/pdf/pdf_document.h"
#include "render/pdf/pdf_fonts.h"
#include "render/pdf/pdf_images.h"
#include "render/pdf/pdf_layers.h"
#include "render/pdf/pdf_page_painter.h"
#include "render/pdf/pdf_units.h"

namespace kelvane {

namespace {

using namespace pdf;

// The largest page side some readers take in default units (200 in); a larger page is written in
// larger units (/UserUnit).
constexpr double kMaxDefaultUnits = 14400;

// A date as PDF writes it, in UTC: "D:20261208070000Z".
std::string PdfDate(int64_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm utc{};
#ifdef _WIN32
  if (gmtime_s(&utc, &t) != 0) return "D:19700101000000Z";
#else
  if (!gmtime_r(&t, &utc)) return "D:19700101000000Z";
#endif
  char date[64];
  std::snprintf(date, sizeof date, "D:%04d%02d%02d%02d%02d%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  return date;
}

// When the document was made: as given, or SOURCE_DATE_EPOCH (for reproducible builds of
// documents), or now.
int64_t CreationTime(const PdfOutput& output) {
  if (output.created >= 0) return output.created;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    const long long v = std::strtoll(epoch, &end, 10);
    if (end != epoch && *end == '\0' && v >= 0 && v < 253402300800LL) return v;
  }
  return int64_t(std::time(nullptr));
}

// The document around the pages: the page tree, the shared resources, the outline.
class Document {
 public:
  Document(std::ostream& out, const PdfOutput& output)
      : writer_(out), fonts_(output.fonts, writer_), images_(output, writer_), layers_(writer_), output_(output) {
    catalog_ = writer_.Allocate();
    pageTree_ = writer_.Allocate();
    resources_ = writer_.Allocate();
  }

  bool AddPage(const PdfPage& page, std::string& error);
  bool Finish(std::string& error);

 private:
  int WriteOutline();

  ObjectWriter writer_;
  DocumentFonts fonts_;
  DocumentImages images_;
  DocumentLayers layers_;
  const PdfOutput& output_;
  int catalog_ = 0, pageTree_ = 0, resources_ = 0;
  std::vector<int> pageObjects_;
  std::vector<std::string> bookmarks_;  // one per page, empty for none
};

bool Document::AddPage(const PdfPage& page, std::string& error) {
  const DisplayList& list = *page.list;
  const double scale = page.pageScale > 0 && std::isfinite(page.pageScale) ? page.pageScale : 1.0;
  const double w = list.width * scale * kPointsPerInch / kMmPerInch, h = list.height * scale * kPointsPerInch / kMmPerInch;
  error = VectorPageProblem(w, h);
  if (!error.empty()) return false;
  // A page over 200 in a side is given in units of whole hundredths of a point that bring it
  // within, as some readers take no larger page.
  double userUnit = 1;
  if (std::max(w, h) > kMaxDefaultUnits) userUnit = std::ceil(std::max(w, h) / kMaxDefaultUnits * 100) / 100;
  DeflateStream content(kContentLevel);
  images_.StartPage();
  PagePainter(list, scale, content, fonts_, images_, output_, userUnit, output_.layers ? &layers_ : nullptr).Paint();
  std::string packed;
  if (!content.Finish(packed)) {
    error = "out of memory while drawing";
    return false;
  }
  const int pageObject = writer_.Allocate(), contentObject = writer_.Allocate();
  writer_.WriteStream(contentObject, "/Filter/FlateDecode", packed);
  std::string box;
  AppendFixed(box, w / userUnit, 4);
  box += ' ';
  AppendFixed(box, h / userUnit, 4);
  box += ']';
  if (userUnit != 1) box += "/UserUnit ", AppendFixed(box, userUnit, 2);
  writer_.Write(pageObject, "<</Type/Page/Parent " + Ref(pageTree_) + "/MediaBox[0 0 " + box + "/Resources " +
                                Ref(resources_) + "/Contents " + Ref(contentObject) + ">>");
  pageObjects_.push_back(pageObject);
  bookmarks_.push_back(page.bookmark);
  return true;
}

// One entry per page that has a bookmark, in page order; 0 when there is none.
int Document::WriteOutline() {
  std::vector<size_t> marked;
  for (size_t k = 0; k < bookmarks_.size(); ++k)
    if (!bookmarks_[k].empty()) marked.push_back(k);
  if (marked.empty()) return 0;
  const int root = writer_.Allocate();
  std::vector<int> items;
  for (size_t k = 0; k < marked.size(); ++k) items.push_back(writer_.Allocate());
  for (size_t k = 0; k < marked.size(); ++k) {
    std::string item = "<</Title";
    AppendTextString(item, bookmarks_[marked[k]]);
    item += "/Parent " + Ref(root) + "/Dest[" + Ref(pageObjects_[marked[k]]) + "/Fit]";
    if (k > 0) item += "/Prev " + Ref(items[k - 1]);
    if (k + 1 < items.size()) item += "/Next " + Ref(items[k + 1]);
    writer_.Write(items[k], item + ">>");
  }
  writer_.Write(root, "<</Type/Outlines/First " + Ref(items.front()) + "/Last " + Ref(items.back()) + "/Count " +
                          std::to_string(items.size()) + ">>");
  return root;
}

bool Document::Finish(std::string& error) {
  fonts_.WriteAll();
  writer_.Write(resources_, "<</ProcSet[/PDF/Text/ImageB/ImageC]/Font<<" + fonts_.ResourceEntries() +
                                ">>/XObject<<" + images_.ResourceEntries() + ">>" +
                                (layers_.Empty() ? std::string() : "/Properties<<" + layers_.ResourceEntries() + ">>") +
                                ">>");
  std::string kids;
  for (int p : pageObjects_) kids += Ref(p) + " ";
  writer_.Write(pageTree_, "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(pageObjects_.size()) + ">>");
  const int outline = WriteOutline();
  const int info = writer_.Allocate();
  std::string infoBody = "<<";
  if (!output_.title.empty()) infoBody += "/Title", AppendTextString(infoBody, output_.title);
  const std::string date = PdfDate(CreationTime(output_));
  infoBody += "/Creator(Kelvane " KELVANE_VERSION ")/Producer(Kelvane " KELVANE_VERSION ")/CreationDate(" + date +
              ")/ModDate(" + date + ")>>";
  writer_.Write(info, infoBody);
  std::string catalog = "<</Type/Catalog/Pages " + Ref(pageTree_);
  if (outline) catalog += "/Outlines " + Ref(outline) + "/PageMode/UseOutlines";
  if (!layers_.Empty()) catalog += layers_.Write();
  writer_.Write(catalog_, catalog + ">>");
  if (writer_.Finish(catalog_, info)) return true;
  error = "write failed";
  return false;
}

}  // namespace

bool WritePdf(size_t count, const PdfPageMaker& make, std::ostream& out, const PdfOutput& output, std::string& error) {
  error.clear();
  return GuardedDraw(error, [&](std::string&) {
    if (count == 0) {
      error = "the document has no page";
      return false;
    }
    Document document(out, output);
    for (size_t k = 0; k < count; ++k) {
      const PdfPage page = make(k);
      if (!page.list || page.list->overBudget) {
        error = page.list ? OverBudgetMessage() : "the page is empty";
        return false;
      }
      if (!document.AddPage(page, error)) return false;
    }
    if (!document.Finish(error)) return false;
    out.flush();
    if (out) return true;
    error = "write failed";
    return false;
  });
}

bool WritePdf(size_t count, const PdfPageMaker& make, const std::filesystem::path& file, const PdfOutput& output,
              std::string& error) {
  ReplacingFile target(file);
  if (!target.ok()) {
    error = target.error();
    return false;
  }
  PdfOutput named = output;
  if (named.title.empty()) {
    const auto stem = file.stem().u8string();
    named.title.assign(stem.begin(), stem.end());
  }
  if (!WritePdf(count, make, target.stream(), named, error)) {
    // A write that failed says why in the system's words, which only the commit learns.
    if (!target.stream() && !target.Commit()) error = target.error();
    return false;
  }
  if (target.Commit()) return true;
  error = target.error();
  return false;
}

namespace {

// The pages of a list, checked before anything is written.
PdfPageMaker PagesOf(const std::vector<PdfPage>& pages) {
  return [&pages](size_t k) { return pages[k]; };
}

bool PagesProblem(const std::vector<PdfPage>& pages, std::string& error) {
  for (const PdfPage& page : pages)
    if (!page.list || page.list->overBudget) {
      error = page.list ? OverBudgetMessage() : "the page is empty";
      return true;
    }
  return false;
}

}  // namespace

bool WritePdf(const std::vector<PdfPage>& pages, std::ostream& out, const PdfOutput& output, std::string& error) {
  error.clear();
  if (PagesProblem(pages, error)) return false;
  return WritePdf(pages.size(), PagesOf(pages), out, output, error);
}

bool WritePdf(const std::vector<PdfPage>& pages, const std::filesystem::path& file, const PdfOutput& output,
              std::string& error) {
  error.clear();
  if (PagesProblem(pages, error)) return false;
  return WritePdf(pages.size(), PagesOf(pages), file, output, error);
}

}  // namespace kelvane
