// Small text files read with limits.
#include "app/text_file.h"

#include <fstream>
#include <system_error>

namespace kelvane {

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
  std::string line;
  bool afterCr = false;  // a LF right after a CR ends no further line
  bool open = false;     // a line has started and is not yet ended
  char buffer[4096];
  auto endLine = [&]() -> bool {
    if (result.lines.size() >= maxLines) {
      result.problem = TextFileProblem::kTooManyLines;
      return false;
    }
    result.lines.push_back(std::move(line));
    line.clear();
    open = false;
    return true;
  };
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize got = in.gcount();
    for (std::streamsize i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = c == '\r';
      if (c == '\r' || c == '\n') {
        if (!endLine()) return result;
        continue;
      }
      if (c == '\0' && refuseNul) {
        result.problem = TextFileProblem::kNulByte;
        return result;
      }
      if (line.size() >= maxLineBytes) {
        result.problem = TextFileProblem::kLineTooLong;
        return result;
      }
      line.push_back(c);
      open = true;
    }
  }
  if (in.bad()) {
    result.problem = TextFileProblem::kUnreadable;
    return result;
  }
  result.endsWithLineEnd = !open && !result.lines.empty();
  if (open) endLine();
  return result;
}

std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& file, size_t maxLineBytes,
                                                      size_t maxLines) {
  TextLines read = ReadTextLinesChecked(file, maxLineBytes, maxLines);
  if (read.problem != TextFileProblem::kNone) return std::nullopt;
  return std::move(read.lines);
}

}  // namespace kelvane
