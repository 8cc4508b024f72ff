// Reading and writing the settings file: 17 text lines, Shift_JIS, CR LF.
#include "app/settings.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "text/Func_.h"

namespace kelvane {

namespace {

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
void ApplyDefaults(FormControls& controls, SplitOptions& options) {
  const int32_t left = controls.Left, top = controls.Top;
  controls = FormControls{};
  controls.Left = left;
  controls.Top = top;
  options = SplitOptions{};
}

void ReadFile(std::string_view data, FormControls& controls, SplitOptions& options) {
  LineReader in(data);
  controls.Left = TextToInt(in.Next());
  controls.Top = TextToInt(in.Next());
  for (int n = 1; n <= 4; ++n) SetOutputRadioButton(controls, n, TextToBool(in.Next()));
  controls.Edit1 = in.Next();
  options.Separator = in.Next();
  options.NamingPattern = TextToInt(in.Next());
  options.LeadingZero = TextToInt(in.Next());
  if (in.Eof()) return;
  options.StartNumber = std::clamp<int32_t>(TextToInt(in.Next()), 0, 9999);
  if (in.Eof()) return;
  options.PrintAfterSplit = TextToBool(in.Next());
  if (in.Eof()) return;
  options.DrawFrameOnFF = TextToBool(in.Next());
  options.CompactEmptyNumbers = TextToBool(in.Next());
  options.Margin = TextToReal(in.Next());
  if (in.Eof()) return;
  options.ConfirmSavedBeforeRun = TextToBool(in.Next());
  if (in.Eof()) return;
  options.NumberingDirection = TextToInt(in.Next());
}

void ShowOptions(FormControls& controls, SplitOptions& options) {
  options.NamingPattern = std::clamp<int32_t>(options.NamingPattern, 0, 6);
  options.LeadingZero = std::clamp<int32_t>(options.LeadingZero, 0, 1);
  options.NumberingDirection = std::clamp<int32_t>(options.NumberingDirection, 0, 1);
  options.Separator = MbcsCopy(options.Separator, 1, 8);

  controls.Edit2 = options.Separator;
  controls.ComboBox1 = options.NamingPattern;
  controls.RadioGroup2 = options.LeadingZero;
  controls.RadioGroup1 = options.NumberingDirection;
  controls.Edit3 = std::to_string(options.StartNumber);
  controls.CheckBox1 = options.PrintAfterSplit;
  controls.CheckBox2 = options.DrawFrameOnFF;
  controls.CheckBox3 = options.CompactEmptyNumbers;
  controls.CheckBox4 = options.ConfirmSavedBeforeRun;

  options.Margin = std::clamp(options.Margin, 0.0, 100.0);
  controls.Edit4 = FormatReal(options.Margin);
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

void LoadSettings(const std::filesystem::path& file, FormControls& controls, SplitOptions& options) {
  ApplyDefaults(controls, options);
  std::error_code ec;
  if (std::filesystem::is_regular_file(file, ec)) {
    // A read error ends the data early, which keeps the values read before it.
    std::ifstream in(file, std::ios::binary);
    if (in) {
      std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      ReadFile(data, controls, options);
    }
  }
  ShowOptions(controls, options);
}

bool SaveSettings(const std::filesystem::path& file, const FormControls& controls,
                  const SplitOptions& options) {
  const std::string lines[] = {
      std::to_string(controls.Left),
      std::to_string(controls.Top),
      BoolToText(controls.RadioButton1),
      BoolToText(controls.RadioButton2),
      BoolToText(controls.RadioButton3),
      BoolToText(controls.RadioButton4),
      controls.Edit1,
      options.Separator,
      std::to_string(options.NamingPattern),
      std::to_string(options.LeadingZero),
      std::to_string(options.StartNumber),
      BoolToText(options.PrintAfterSplit),
      BoolToText(options.DrawFrameOnFF),
      BoolToText(options.CompactEmptyNumbers),
      FormatReal(options.Margin),
      BoolToText(options.ConfirmSavedBeforeRun),
      std::to_string(options.NumberingDirection),
  };
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }

  std::filesystem::path temporary = file;
  temporary += ".tmp";
  std::error_code ec;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;  // nothing was created
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, ec);
      return false;
    }
  }
  std::filesystem::rename(temporary, file, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

}  // namespace kelvane
