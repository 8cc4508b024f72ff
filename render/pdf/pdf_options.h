// What a PDF is made of (its pages) and with (fonts, images, title, date, layers).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

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

}  // namespace kelvane
