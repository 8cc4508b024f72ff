// Reading and writing the side settings file: "key=value" lines, ASCII keys, CR LF.
#include "app/side_settings.h"

#include <exception>
#include <string_view>

#include "app/text_file.h"
#include "platform/replacing_file.h"

namespace kelvane {

namespace {

// A side file is a few short lines; these limits only keep a wrong file from costing memory.
constexpr size_t kSideMaxLineBytes = 4 * 1024;
constexpr size_t kSideMaxLines = 256;

constexpr std::string_view kPdfKey = "pdf";
constexpr std::string_view kDxfKey = "dxf";
constexpr std::string_view kPdfSetKey = "pdfset";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Sets `flag` from "0" or "1"; false for a value that is neither, which leaves it as it was.
bool ReadFlag(std::string_view value, bool& flag) {
  if (value != "0" && value != "1") return false;
  flag = value == "1";
  return true;
}

}  // namespace

std::filesystem::path SideSettingsFileOf(const std::filesystem::path& settingsFile) {
  std::filesystem::path side = settingsFile;
  side.replace_extension(".ini");
  if (side == settingsFile) side += ".ini";
  return side;
}

SideSettings LoadSideSettings(const std::filesystem::path& file) {
  SideSettings settings;
  try {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return settings;
    const TextLines read = ReadTextLinesChecked(file, kSideMaxLineBytes, kSideMaxLines, true);
    if (read.problem != TextFileProblem::kNone) return settings;
    for (const std::string& line : read.lines) {
      const std::string_view text = line;
      const size_t equals = text.find('=');
      const std::string_view key = equals == text.npos ? std::string_view() : Trim(text.substr(0, equals));
      if (key == kPdfKey) {
        ReadFlag(Trim(text.substr(equals + 1)), settings.options.pdf);  // a broken value keeps the default
      } else if (key == kDxfKey) {
        ReadFlag(Trim(text.substr(equals + 1)), settings.options.dxf);
      } else if (key == kPdfSetKey) {
        ReadFlag(Trim(text.substr(equals + 1)), settings.options.pdfSet);
      } else if (!Trim(text).empty()) {
        settings.otherLines.push_back(line);
      }
    }
  } catch (const std::exception&) {
    return SideSettings{};
  }
  return settings;
}

bool SaveSideSettings(const std::filesystem::path& file, const SideSettings& settings) {
  std::string text;
  text += std::string(kPdfKey) + "=" + (settings.options.pdf ? "1" : "0") + "\r\n";
  // Only when chosen: a side file of a program that never wrote DXF files stays as it was.
  if (settings.options.dxf) text += std::string(kDxfKey) + "=1\r\n";
  if (settings.options.pdfSet) text += std::string(kPdfSetKey) + "=1\r\n";
  for (const std::string& line : settings.otherLines) text += line + "\r\n";
  try {
    ReplacingFile out(file);
    if (!out.ok()) return false;
    out.stream().write(text.data(), std::streamsize(text.size()));
    return out.Commit();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace kelvane
