// Writing display lists as a PDF of one or more pages, with no system library: the same picture
// the other backends draw, texts as text in embedded font subsets. Builds on every platform.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "render/pdf/pdf_options.h"

namespace kelvane {

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
