// Small text files read with limits, so that a huge or endless file cannot cost much memory.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelvane {

// Why a text file was refused.
enum class TextFileProblem { kNone, kUnreadable, kLineTooLong, kTooManyLines, kNulByte };

struct TextLines {
  std::vector<std::string> lines;  // without their line ends (CR LF, LF or CR)
  TextFileProblem problem = TextFileProblem::kNone;
  bool endsWithLineEnd = false;  // the last line was ended, not cut by the end of the file
};

// Reads a regular file's lines. Stops at the first line longer than maxLineBytes, at line
// maxLines + 1 or, when refuseNul, at a NUL byte, and says so; nothing beyond that is read.
TextLines ReadTextLinesChecked(const std::filesystem::path& file, size_t maxLineBytes, size_t maxLines,
                               bool refuseNul = false);

// The lines, or nothing when the file breaks a limit or cannot be read.
std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& file, size_t maxLineBytes,
                                                      size_t maxLines);

}  // namespace kelvane
