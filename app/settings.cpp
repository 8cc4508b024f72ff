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

// The output-folder buttons in the order of their lines.
constexpr OutputFolder kOutputButtons[] = {OutputFolder::kDesktop, OutputFolder::kDocuments, OutputFolder::kSourceFolder,
                                           OutputFolder::kGivenFolder};

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

// Lines 3 to 6 are the four output-folder buttons of one group: a selected one unselects the
// others, a cleared one only itself, so the last selected wins and none may be.
void ReadOutputButton(OutputFolder button, bool selected, OutputFolder& folder) {
  if (selected)
    folder = button;
  else if (folder == button)
    folder = OutputFolder::kNone;
}

void ReadFile(std::string_view data, SplitOptions& options, WindowPosition& position) {
  LineReader in(data);
  position.left = TextToInt(in.Next());
  position.top = TextToInt(in.Next());
  for (OutputFolder button : kOutputButtons) ReadOutputButton(button, TextToBool(in.Next()), options.outputFolder);
  options.givenFolder = in.Next();
  options.separator = in.Next();
  options.namingPattern = NamingPattern(std::clamp<int32_t>(TextToInt(in.Next()), 0, kNamingPatternCount - 1));
  options.leadingZeros = std::clamp<int32_t>(TextToInt(in.Next()), 0, 1) == 1;
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
  options.numberingDirection = NumberingDirection(std::clamp<int32_t>(TextToInt(in.Next()), 0, 1));
}

}  // namespace

std::filesystem::path SettingsFileBeside(const std::filesystem::path& executable) {
  return std::filesystem::path(executable).replace_extension(".dat");
}

std::filesystem::path UserSettingsFile(const ProgramEnvironment& environment) {
  return environment.UserSettingsFolder() / SettingsFileBeside(environment.ExecutablePath()).filename();
}

std::filesystem::path DefaultSettingsFile(const FileQueries& files, const ProgramEnvironment& environment) {
  std::filesystem::path user = UserSettingsFile(environment);
  if (files.FileExists(user) || environment.ExecutableInSystemFolder()) return user;
  return SettingsFileBeside(environment.ExecutablePath());
}

void LoadSettings(const std::filesystem::path& file, SplitOptions& options, WindowPosition& position) {
  options = SplitOptions{};
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
    ReadFile(data, options, position);
  }
  // As the separator box and the margin box would hold them.
  options.separator = MbcsCopy(options.separator, 1, 8);
  options.margin = MarginAsShown(std::clamp(options.margin, 0.0, 100.0));
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

bool SaveSettings(const std::filesystem::path& file, const SplitOptions& options, const WindowPosition& position) {
  const std::string lines[] = {
      std::to_string(position.left),
      std::to_string(position.top),
      BoolToText(options.outputFolder == OutputFolder::kDesktop),
      BoolToText(options.outputFolder == OutputFolder::kDocuments),
      BoolToText(options.outputFolder == OutputFolder::kSourceFolder),
      BoolToText(options.outputFolder == OutputFolder::kGivenFolder),
      options.givenFolder,
      options.separator,
      std::to_string(int32_t(options.namingPattern)),
      std::to_string(options.leadingZeros ? 1 : 0),
      std::to_string(options.startNumber),
      BoolToText(options.printAfterSplit),
      BoolToText(options.drawFrameOnFF),
      BoolToText(options.compactEmptyNumbers),
      FormatReal(options.margin),
      BoolToText(options.confirmSavedBeforeRun),
      std::to_string(int32_t(options.numberingDirection)),
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
