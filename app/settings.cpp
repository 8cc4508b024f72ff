// Reading and writing the settings file: 17 text lines, Shift_JIS, CR LF.
#include "app/settings.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "app/text_file.h"
#include "platform/replacing_file.h"
#include "text/filters.h"
#include "text/numbers.h"

namespace kelvane {

namespace {

// A settings file is 17 short lines; these limits only keep a wrong file from costing memory.
constexpr size_t kSettingsMaxLineBytes = 64 * 1024;
constexpr size_t kSettingsMaxLines = 4096;
// A file named on the command line must look like a settings file before it is used.
constexpr size_t kNamedSettingsMaxLineBytes = 4 * 1024;
constexpr size_t kNamedSettingsMaxLines = 64;

// Reads lines the way a text file is read line by line: a line ends at CR LF, LF or CR, and
// reading past the end gives empty lines.
class LineReader {
 public:
  explicit LineReader(std::string_view data) : data_(data) {}
  bool Eof() const { return pos_ >= data_.size(); }
  std::string Next() {
    size_t end = data_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) end = data_.size();
    std::string line(data_.substr(pos_, end - pos_));
    pos_ = end;
    if (pos_ < data_.size() && data_[pos_] == '\r') ++pos_;
    if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
    return line;
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

// The defaults are those of a fresh model; the window keeps its position.
void ApplyDefaults(OptionControls& controls, SplitOptions& options) {
  const int32_t left = controls.left, top = controls.top;
  controls = OptionControls{};
  controls.left = left;
  controls.top = top;
  options = SplitOptions{};
}

void ReadFile(std::string_view data, OptionControls& controls, SplitOptions& options) {
  LineReader in(data);
  controls.left = TextToInt(in.Next());
  controls.top = TextToInt(in.Next());
  for (int n = 1; n <= 4; ++n) SetOutputRadioButton(controls, n, TextToBool(in.Next()));
  controls.outputFolderEdit = in.Next();
  options.separator = in.Next();
  options.namingPattern = TextToInt(in.Next());
  options.leadingZero = TextToInt(in.Next());
  if (in.Eof()) return;
  options.startNumber = std::clamp<int32_t>(TextToInt(in.Next()), 0, 9999);
  if (in.Eof()) return;
  options.printAfterSplit = TextToBool(in.Next());
  if (in.Eof()) return;
  options.drawFrameOnFF = TextToBool(in.Next());
  options.compactEmptyNumbers = TextToBool(in.Next());
  options.margin = TextToReal(in.Next());
  if (in.Eof()) return;
  options.confirmSavedBeforeRun = TextToBool(in.Next());
  if (in.Eof()) return;
  options.numberingDirection = TextToInt(in.Next());
}

void ShowOptions(OptionControls& controls, SplitOptions& options) {
  options.namingPattern = std::clamp<int32_t>(options.namingPattern, 0, 6);
  options.leadingZero = std::clamp<int32_t>(options.leadingZero, 0, 1);
  options.numberingDirection = std::clamp<int32_t>(options.numberingDirection, 0, 1);
  options.separator = MbcsCopy(options.separator, 1, 8);

  controls.separatorEdit = options.separator;
  controls.namingPatternCombo = options.namingPattern;
  controls.leadingZeroGroup = options.leadingZero;
  controls.numberingDirectionGroup = options.numberingDirection;
  controls.startNumberEdit = std::to_string(options.startNumber);
  controls.printAfterSplitCheck = options.printAfterSplit;
  controls.drawFrameCheck = options.drawFrameOnFF;
  controls.compactNumbersCheck = options.compactEmptyNumbers;
  controls.confirmSavedCheck = options.confirmSavedBeforeRun;

  options.margin = std::clamp(options.margin, 0.0, 100.0);
  controls.marginEdit = FormatReal(options.margin);
}

}  // namespace

std::filesystem::path SettingsFileBeside(const std::filesystem::path& executable) {
  return std::filesystem::path(executable).replace_extension(".dat");
}

std::filesystem::path UserSettingsFile(const Platform& platform) {
  return platform.UserSettingsFolder() / SettingsFileBeside(platform.ExecutablePath()).filename();
}

std::filesystem::path DefaultSettingsFile(const Platform& platform) {
  std::filesystem::path user = UserSettingsFile(platform);
  if (platform.FileExists(user)) return user;
  return SettingsFileBeside(platform.ExecutablePath());
}

void LoadSettings(const std::filesystem::path& file, OptionControls& controls, SplitOptions& options) {
  ApplyDefaults(controls, options);
  // A read error ends the data early, which keeps the values read before it; a file that breaks
  // the limits is no settings file and leaves the defaults.
  const TextLines read = ReadTextLinesChecked(file, kSettingsMaxLineBytes, kSettingsMaxLines);
  if (read.problem == TextFileProblem::kNone) {
    std::string data;
    for (size_t i = 0; i < read.lines.size(); ++i) {
      if (i) data += "\r\n";
      data += read.lines[i];
    }
    if (read.endsWithLineEnd) data += "\r\n";
    ReadFile(data, controls, options);
  }
  ShowOptions(controls, options);
}

std::string CheckNamedSettingsFile(const std::filesystem::path& file) {
  // A file that does not exist yet gives the defaults, as the default settings file does.
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) return std::string();
  if (ec || !std::filesystem::is_regular_file(status)) return "is not a regular file";
  switch (ReadTextLinesChecked(file, kNamedSettingsMaxLineBytes, kNamedSettingsMaxLines, true).problem) {
    case TextFileProblem::kNone:
      return std::string();
    case TextFileProblem::kUnreadable:
      return "cannot be read";
    case TextFileProblem::kLineTooLong:
      return "is not a settings file (a line is longer than 4 KB)";
    case TextFileProblem::kTooManyLines:
      return "is not a settings file (more than 64 lines)";
    case TextFileProblem::kNulByte:
      return "is not a settings file (it holds a NUL byte)";
  }
  return "cannot be read";
}

bool SaveSettings(const std::filesystem::path& file, const OptionControls& controls, const SplitOptions& options) {
  const std::string lines[] = {
      std::to_string(controls.left),
      std::to_string(controls.top),
      BoolToText(controls.outputToDesktop),
      BoolToText(controls.outputToDocuments),
      BoolToText(controls.outputToSourceFolder),
      BoolToText(controls.outputToGivenFolder),
      controls.outputFolderEdit,
      options.separator,
      std::to_string(options.namingPattern),
      std::to_string(options.leadingZero),
      std::to_string(options.startNumber),
      BoolToText(options.printAfterSplit),
      BoolToText(options.drawFrameOnFF),
      BoolToText(options.compactEmptyNumbers),
      FormatReal(options.margin),
      BoolToText(options.confirmSavedBeforeRun),
      std::to_string(options.numberingDirection),
  };
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }

  ReplacingFile out(file);
  if (!out.ok()) return false;  // nothing was created
  out.stream().write(text.data(), std::streamsize(text.size()));
  return out.Commit();
}

}  // namespace kelvane
