// The images of a PDF document, each written once however often its pages show it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "render/pdf/pdf_document.h"
#include "render/pdf/pdf_options.h"

namespace kelvane::pdf {

// The images of the document, each written once however often pages show it. Every page has
// the image budget of a picture of its own: the images it shows count against it, those an
// earlier page stored as well, so a page has exactly the images of its sheet's own PDF.
class DocumentImages {
 public:
  struct Stored {
    int object = 0;
    std::string name;  // "/Im1"
    int width = 0, height = 0;
    ImageProblem problem = ImageProblem::kNone;
  };
  DocumentImages(const PdfOutput& output, ObjectWriter& writer) : output_(output), writer_(writer) {}

  // A new page, with the whole budget.
  void StartPage();

  // `smooth(width)`: the image, `width` pixels wide, is shown with its pixels smaller than a
  // point, and is drawn smoothed as the cairo pages draw it; one shown larger keeps its pixels
  // sharp, as Jw_cad shows a bitmap. The first showing decides for every other.
  Stored Load(const JwwString& source, const std::function<bool(int width)>& smooth);

  // "/Im1 12 0 R..." for the resources' /XObject.
  std::string ResourceEntries() const;

 private:
  // A stored image shown on the page: it counts once against the page's budget.
  Stored Show(const std::string& key, const Stored& s);
  void Write(const RasterImage& image, bool smooth, Stored& s);

  const PdfOutput& output_;
  ObjectWriter& writer_;
  std::unordered_map<std::string, Stored> images_;
  std::unordered_set<std::string> onPage_;  // the images the page shows or was refused
  uint64_t pixelsLeft_ = 0;                  // of the page's budget
  int count_ = 0;
};

}  // namespace kelvane::pdf
