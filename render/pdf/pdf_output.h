// Writing display lists as a PDF of one or more pages, with no system library: the same picture
// the other backends draw, texts as text in embedded font subsets. Builds on every platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/font_source.h"
#include "render/display_list.h"
#include "drawing/image_source.h"
#include "render/raster_image.h"

namespace kelvane {

struct PdfPage {
  const DisplayList* list = nullptr;  // not over budget (callers refuse those)
  double pageScale = 1.0;             // page millimetres per display-list millimetre
  std::string bookmark;               // UTF-8; an outline entry for the page unless empty
};

struct PdfOutput {
  FontSource* fonts = nullptr;  // none: characters are drawn as missing
  // The decoded pixels of an image reference, of at most maxPixels pixels; nothing, with the
  // reason in `problem`, when it cannot be drawn. Asked once per source for the document, and
  // again on a later page when the source was over an earlier page's budget.
  std::function<std::optional<RasterImage>(const JwwString& source, uint64_t maxPixels, ImageProblem& problem)>
      image;
  // The decoded pixels of the images one page shows, together: each page has a picture's budget.
  uint64_t imagePixelBudget = kImagePixelBudget;
  ImagesLeftOut* imagesLeftOut = nullptr;  // when given, counts the references not drawn
  // The document's title (UTF-8) for a reader's title bar; empty: a file's own name without its
  // extension, when writing to a file. Creator, producer and dates are always written, the dates
  // those of SOURCE_DATE_EPOCH when it is set, so that the same input gives the same bytes.
  std::string title;
  // Seconds since 1970 (UTC) of the creation and modification dates; negative: SOURCE_DATE_EPOCH,
  // or the time of writing.
  int64_t created = -1;
  // The drawing's layer groups and layers as optional content a reader's layer panel switches,
  // each named as Jw_cad names it ("0-2 躯体"), nested by group, all shown as printed.
  bool layers = true;
};

// Makes page k of a document; its list must live until the next call.
using PdfPageMaker = std::function<PdfPage(size_t k)>;

// Writes `count` pages made one at a time, each written before the next is made, so that a long
// document holds one page's list at a time. Fails as the list version does.
bool WritePdf(size_t count, const PdfPageMaker& make, std::ostream& out, const PdfOutput& output, std::string& error);
bool WritePdf(size_t count, const PdfPageMaker& make, const std::filesystem::path& file, const PdfOutput& output,
              std::string& error);

// Writes the pages as one PDF, each on its own size. False with the reason when a page cannot
// be made (empty, too large), memory ran out or a write failed; never throws.
bool WritePdf(const std::vector<PdfPage>& pages, std::ostream& out, const PdfOutput& output, std::string& error);

// The same into a file that appears complete or not at all (an earlier file stays on failure).
bool WritePdf(const std::vector<PdfPage>& pages, const std::filesystem::path& file, const PdfOutput& output,
              std::string& error);

}  // namespace kelvane
