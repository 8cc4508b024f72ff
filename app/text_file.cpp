// Small text files read with limits.
#include "app/text_file.h"

#include <fstream>
#include <string>
#include <system_error>
#include <utility>

namespace kelvane {

namespace {

// Cuts bytes into lines at CR, LF or CR LF within the limits, and stops at the first problem.
class LineCutter {
 public:
  LineCutter(TextLines& result, size_t maxLineBytes, size_t maxLines, bool refuseNul)
      : result_(result), maxLineBytes_(maxLineBytes), maxLines_(maxLines), refuseNul_(refuseNul) {}

  // False once a problem ends the reading.
  bool Take(const char* bytes, std::streamsize count) {
    for (std::streamsize i = 0; i < count; ++i) {
      const char c = bytes[i];
      if (c == '\n' && afterCr_) {
        afterCr_ = false;
        continue;
      }
      afterCr_ = c == '\r';
      if (c == '\r' || c == '\n') {
        if (!EndLine()) return false;
        continue;
      }
      if (c == '\0' && refuseNul_) return Stop(TextFileProblem::kNulByte);
      if (line_.size() >= maxLineBytes_) return Stop(TextFileProblem::kLineTooLong);
      line_.push_back(c);
      open_ = true;
    }
    return true;
  }

  // The end of the file: a last line without its line end is a line too.
  void Finish() {
    result_.endsWithLineEnd = !open_ && !result_.lines.empty();
    if (open_) EndLine();
  }

 private:
  bool Stop(TextFileProblem problem) {
    result_.problem = problem;
    return false;
  }
  bool EndLine() {
    if (result_.lines.size() >= maxLines_) return Stop(TextFileProblem::kTooManyLines);
    result_.lines.push_back(std::move(line_));
    line_.clear();
    open_ = false;
    return true;
  }

  TextLines& result_;
  const size_t maxLineBytes_, maxLines_;
  const bool refuseNul_;
  std::string line_;
  bool afterCr_ = false;  // a LF right after a CR ends no further line
  bool open_ = false;     // a line has started and is not yet ended
};

}  // namespace

TextLines ReadTextLinesChecked(const std::filesystem::path& file, size_t maxLineBytes, size_t maxLines,
                               bool refuseNul) {
  TextLines result;
  std::error_code ec;
  // Never open anything but a regular file: a FIFO would wait forever.
  if (!std::filesystem::is_regular_file(file, ec)) {
    result.problem = TextFileProblem::kUnreadable;
    return result;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    result.problem = TextFileProblem::kUnreadable;
    return result;
  }
  LineCutter cutter(result, maxLineBytes, maxLines, refuseNul);
  char buffer[4096];
  while (in) {
    in.read(buffer, sizeof buffer);
    if (!cutter.Take(buffer, in.gcount())) return result;
  }
  if (in.bad()) {
    result.problem = TextFileProblem::kUnreadable;
    return result;
  }
  cutter.Finish();
  return result;
}

std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& file, size_t maxLineBytes,
                                                      size_t maxLines) {
  TextLines read = ReadTextLinesChecked(file, maxLineBytes, maxLines);
  if (read.problem != TextFileProblem::kNone) return std::nullopt;
  return std::move(read.lines);
}

}  // namespace kelvane
