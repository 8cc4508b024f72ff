// Tests of the settings file: defaults, old and short layouts, limits, parsing and safe writing.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/settings.h"
#include "fake_platform.h"

using namespace kelvane;

namespace {

// A fresh folder per test, removed afterwards.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("kelvane_settings_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    file_ = dir_ / "kelvane.dat";
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(dir_, ec);
  }

  // Writes the lines, each ending in CR LF.
  void WriteLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    WriteRaw(text);
  }
  void WriteRaw(const std::string& text) {
    std::ofstream out(file_, std::ios::binary);
    out << text;
  }
  static std::string ReadRaw(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Load() { LoadSettings(file_, controls_, options_); }

  std::filesystem::path dir_;
  std::filesystem::path file_;
  FormControls controls_;
  SplitOptions options_;
};

// The ten lines of the older layout, every value away from its default.
const std::vector<std::string> kTenLines = {"300", "-20", "0", "0", "0", "1", "D:\\out\\", "-", "4", "1"};

// All seventeen lines as the program writes them, every value away from its default.
const std::vector<std::string> kSeventeenLines = {"300", "-20", "0", "1", "0", "0", "D:\\out\\", "#",
                                                  "5", "1", "17", "1", "1", "1", "2.5", "1", "1"};

void ExpectDefaultsFrom11On(const SplitOptions& o, const FormControls& c) {
  EXPECT_EQ(o.StartNumber, 0);
  EXPECT_EQ(c.Edit3, "0");
  EXPECT_FALSE(o.PrintAfterSplit);
  EXPECT_FALSE(o.DrawFrameOnFF);
  EXPECT_FALSE(o.CompactEmptyNumbers);
  EXPECT_EQ(o.Margin, 0);
  EXPECT_EQ(c.Edit4, "0");
  EXPECT_FALSE(o.ConfirmSavedBeforeRun);
  EXPECT_EQ(o.NumberingDirection, 0);
  EXPECT_FALSE(c.CheckBox1 || c.CheckBox2 || c.CheckBox3 || c.CheckBox4);
}

size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++n;
  return n;
}

}  // namespace

TEST_F(SettingsTest, FirstStartWithoutFileGivesDefaultsEvenOverEarlierValues) {
  // Controls holding other values first: the defaults must be applied, not merely assumed.
  controls_.RadioButton3 = false;
  controls_.RadioButton1 = true;
  controls_.Edit1 = "x";
  controls_.Edit2 = "-";
  controls_.Edit3 = "5";
  controls_.Edit4 = "7";
  controls_.ComboBox1 = 3;
  controls_.RadioGroup1 = controls_.RadioGroup2 = 1;
  controls_.CheckBox1 = controls_.CheckBox2 = controls_.CheckBox3 = controls_.CheckBox4 = true;
  options_.Separator = "-";
  options_.StartNumber = 5;
  options_.Margin = 7;
  options_.ConfirmSavedBeforeRun = true;
  Load();

  EXPECT_FALSE(controls_.RadioButton1);
  EXPECT_FALSE(controls_.RadioButton2);
  EXPECT_TRUE(controls_.RadioButton3);
  EXPECT_FALSE(controls_.RadioButton4);
  EXPECT_EQ(controls_.Edit1, "");
  EXPECT_EQ(options_.Separator, "_");
  EXPECT_EQ(controls_.Edit2, "_");
  EXPECT_EQ(options_.NamingPattern, 0);
  EXPECT_EQ(controls_.ComboBox1, 0);
  EXPECT_EQ(options_.LeadingZero, 0);
  EXPECT_EQ(controls_.RadioGroup2, 0);
  EXPECT_EQ(controls_.RadioGroup1, 0);
  ExpectDefaultsFrom11On(options_, controls_);
  // No stored position: the window keeps its design position.
  EXPECT_EQ(controls_.Left, 192);
  EXPECT_EQ(controls_.Top, 107);
}

TEST_F(SettingsTest, TenLineFileKeepsLaterDefaultsAndIsRewrittenWithSeventeenLines) {
  WriteLines(kTenLines);
  Load();
  EXPECT_EQ(controls_.Left, 300);
  EXPECT_EQ(controls_.Top, -20);
  EXPECT_TRUE(controls_.RadioButton4);
  EXPECT_FALSE(controls_.RadioButton3);
  EXPECT_EQ(controls_.Edit1, "D:\\out\\");
  EXPECT_EQ(options_.Separator, "-");
  EXPECT_EQ(controls_.Edit2, "-");
  EXPECT_EQ(options_.NamingPattern, 4);
  EXPECT_EQ(controls_.ComboBox1, 4);
  EXPECT_EQ(options_.LeadingZero, 1);
  EXPECT_EQ(controls_.RadioGroup2, 1);
  ExpectDefaultsFrom11On(options_, controls_);

  ASSERT_TRUE(SaveSettings(file_, controls_, options_));
  const std::string text = ReadRaw(file_);
  EXPECT_EQ(CountLines(text), 17u);
  EXPECT_EQ(text, "300\r\n-20\r\n0\r\n0\r\n0\r\n1\r\nD:\\out\\\r\n-\r\n4\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n");
}

TEST_F(SettingsTest, SeventeenLineFileReadsEveryValueAndWritesTheSameBytes) {
  WriteLines(kSeventeenLines);
  const std::string original = ReadRaw(file_);
  Load();
  EXPECT_TRUE(controls_.RadioButton2);
  EXPECT_FALSE(controls_.RadioButton3);
  EXPECT_EQ(options_.Separator, "#");
  EXPECT_EQ(options_.NamingPattern, 5);
  EXPECT_EQ(options_.LeadingZero, 1);
  EXPECT_EQ(options_.StartNumber, 17);
  EXPECT_EQ(controls_.Edit3, "17");
  EXPECT_TRUE(options_.PrintAfterSplit);
  EXPECT_TRUE(options_.DrawFrameOnFF);
  EXPECT_TRUE(options_.CompactEmptyNumbers);
  EXPECT_EQ(options_.Margin, 2.5);
  EXPECT_EQ(controls_.Edit4, "2.5");
  EXPECT_TRUE(options_.ConfirmSavedBeforeRun);
  EXPECT_EQ(options_.NumberingDirection, 1);
  EXPECT_EQ(controls_.RadioGroup1, 1);
  EXPECT_TRUE(controls_.CheckBox1 && controls_.CheckBox2 && controls_.CheckBox3 && controls_.CheckBox4);

  std::filesystem::remove(file_);
  ASSERT_TRUE(SaveSettings(file_, controls_, options_));
  EXPECT_EQ(ReadRaw(file_), original);
}

TEST_F(SettingsTest, FilesEndingEarlyKeepTheMissingValues) {
  struct Case {
    size_t lines;
    int32_t start;
    bool print, frame, compact;
    double margin;
    bool confirm;
    int32_t direction;
  };
  const Case cases[] = {
      {11, 17, false, false, false, 0, false, 0},  {12, 17, true, false, false, 0, false, 0},
      {13, 17, true, true, false, 0, false, 0},    {15, 17, true, true, true, 2.5, false, 0},
      {16, 17, true, true, true, 2.5, true, 0},    {17, 17, true, true, true, 2.5, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    WriteLines(std::vector<std::string>(kSeventeenLines.begin(), kSeventeenLines.begin() + long(c.lines)));
    controls_ = FormControls{};
    options_ = SplitOptions{};
    Load();
    EXPECT_EQ(options_.StartNumber, c.start);
    EXPECT_EQ(options_.PrintAfterSplit, c.print);
    EXPECT_EQ(options_.DrawFrameOnFF, c.frame);
    EXPECT_EQ(options_.CompactEmptyNumbers, c.compact);
    EXPECT_EQ(options_.Margin, c.margin);
    EXPECT_EQ(options_.ConfirmSavedBeforeRun, c.confirm);
    EXPECT_EQ(options_.NumberingDirection, c.direction);
  }
}

TEST_F(SettingsTest, LineEndsOfEveryKindAreRead) {
  for (const char* end : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(end == std::string("\n") ? "LF" : end == std::string("\r") ? "CR" : "CRLF");
    std::string text;
    for (const std::string& l : kSeventeenLines) text += l + end;
    WriteRaw(text);
    Load();
    EXPECT_EQ(options_.Separator, "#");
    EXPECT_EQ(options_.NumberingDirection, 1);
    EXPECT_EQ(options_.Margin, 2.5);
  }
}

TEST_F(SettingsTest, LastTrueRadioLineDecides) {
  struct Case {
    const char* lines[4];
    bool expected[4];
  };
  const Case cases[] = {
      {{"1", "1", "0", "0"}, {false, true, false, false}},
      {{"0", "0", "0", "0"}, {false, false, false, false}},
      {{"1", "0", "0", "0"}, {true, false, false, false}},
      {{"0", "0", "1", "0"}, {false, false, true, false}},
      {{"0", "1", "1", "1"}, {false, false, false, true}},
      {{"1", "0", "1", "0"}, {false, false, true, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lines[0]) + c.lines[1] + c.lines[2] + c.lines[3]);
    std::vector<std::string> lines = kTenLines;
    for (int i = 0; i < 4; ++i) lines[size_t(2 + i)] = c.lines[i];
    WriteLines(lines);
    Load();
    EXPECT_EQ(controls_.RadioButton1, c.expected[0]);
    EXPECT_EQ(controls_.RadioButton2, c.expected[1]);
    EXPECT_EQ(controls_.RadioButton3, c.expected[2]);
    EXPECT_EQ(controls_.RadioButton4, c.expected[3]);
  }
}

TEST_F(SettingsTest, OutOfRangeValuesAreLimited) {
  struct Case {
    size_t line;  // 1-based
    const char* text;
    int32_t SplitOptions::*field;
    int32_t expected;
  };
  const Case cases[] = {
      {9, "9", &SplitOptions::NamingPattern, 6},    {9, "-2", &SplitOptions::NamingPattern, 0},
      {9, "6", &SplitOptions::NamingPattern, 6},    {10, "-1", &SplitOptions::LeadingZero, 0},
      {10, "5", &SplitOptions::LeadingZero, 1},     {11, "12345", &SplitOptions::StartNumber, 9999},
      {11, "-5", &SplitOptions::StartNumber, 0},    {11, "9999", &SplitOptions::StartNumber, 9999},
      {17, "3", &SplitOptions::NumberingDirection, 1}, {17, "-3", &SplitOptions::NumberingDirection, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.line) + ": " + c.text);
    std::vector<std::string> lines = kSeventeenLines;
    lines[c.line - 1] = c.text;
    WriteLines(lines);
    Load();
    EXPECT_EQ(options_.*c.field, c.expected);
  }
  // The controls show the limited values.
  std::vector<std::string> lines = kSeventeenLines;
  lines[8] = "9";
  lines[10] = "12345";
  WriteLines(lines);
  Load();
  EXPECT_EQ(controls_.ComboBox1, 6);
  EXPECT_EQ(controls_.Edit3, "9999");
}

TEST_F(SettingsTest, MarginIsLimitedAndShownShortest) {
  const struct {
    const char* text;
    double value;
    const char* shown;
  } cases[] = {{"250", 100, "100"}, {"-1", 0, "0"},  {"2.5", 2.5, "2.5"},   {"2.50", 2.5, "2.5"},
               {"1E1", 10, "10"},   {"x", 0, "0"},   {"0.1", 0.1, "0.1"},   {"99.999999", 99.999999, "99.999999"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> lines = kSeventeenLines;
    lines[14] = c.text;
    WriteLines(lines);
    Load();
    EXPECT_EQ(options_.Margin, c.value);
    EXPECT_EQ(controls_.Edit4, c.shown);
  }
}

TEST_F(SettingsTest, SeparatorIsCutToEightBytesOfWholeCharacters) {
  const struct {
    std::string stored, expected;
  } cases[] = {
      {"abcdefghij", "abcdefgh"},
      // あいう (6 bytes) then abc: the three double-byte characters and two single bytes.
      {"\x82\xA0\x82\xA2\x82\xA4" "abc", "\x82\xA0\x82\xA2\x82\xA4" "ab"},
      // abcdefg then あ: the eighth byte starts a character, so seven bytes stay.
      {"abcdefg\x82\xA0", "abcdefg"},
      {"abcdefgh", "abcdefgh"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    std::vector<std::string> lines = kSeventeenLines;
    lines[7] = c.stored;
    WriteLines(lines);
    Load();
    EXPECT_EQ(options_.Separator, c.expected);
    EXPECT_EQ(controls_.Edit2, c.expected);
  }
}

TEST_F(SettingsTest, SeparatorWithForbiddenCharactersIsLoadedUnchecked) {
  std::vector<std::string> lines = kSeventeenLines;
  lines[7] = "a.b";
  WriteLines(lines);
  Load();
  EXPECT_EQ(options_.Separator, "a.b");
}

TEST_F(SettingsTest, BooleanLinesUseTheBooleanParser) {
  const struct {
    std::string text;
    bool expected;
  } cases[] = {{"TRUE", true}, {"true", true}, {"ON", true},   {"1", true},   {"\x82\x50" /* １ */, true},
               {" t r u e ", true}, {"0", false}, {"F", false}, {"", false}, {"yes", false}, {"2", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> lines = kSeventeenLines;
    for (size_t i : {11u, 12u, 13u, 15u}) lines[i] = c.text;  // lines 12, 13, 14 and 16
    WriteLines(lines);
    Load();
    EXPECT_EQ(options_.PrintAfterSplit, c.expected);
    EXPECT_EQ(options_.DrawFrameOnFF, c.expected);
    EXPECT_EQ(options_.CompactEmptyNumbers, c.expected);
    EXPECT_EQ(options_.ConfirmSavedBeforeRun, c.expected);
    EXPECT_EQ(controls_.CheckBox1, c.expected);
    EXPECT_EQ(controls_.CheckBox4, c.expected);
  }
}

TEST_F(SettingsTest, JunkLinesGiveZeroFalseOrTheText) {
  WriteLines({"left", " 12", "yes", "no", "maybe", "", "C:\\x", "_", "five", "1.0", "0x10", "?", "", "", "1,5", "", "$1"});
  Load();
  EXPECT_EQ(controls_.Left, 0);
  EXPECT_EQ(controls_.Top, 12);
  EXPECT_FALSE(controls_.RadioButton1 || controls_.RadioButton2 || controls_.RadioButton3 || controls_.RadioButton4);
  EXPECT_EQ(options_.NamingPattern, 0);
  EXPECT_EQ(options_.LeadingZero, 0);  // "1.0" is not an integer
  EXPECT_EQ(options_.StartNumber, 16);
  EXPECT_FALSE(options_.PrintAfterSplit);
  EXPECT_EQ(options_.Margin, 0);  // the decimal point is always "."
  EXPECT_EQ(options_.NumberingDirection, 1);
}

TEST_F(SettingsTest, EmptyFileSelectsNoOutputButton) {
  WriteRaw("");
  Load();
  EXPECT_EQ(controls_.Left, 0);
  EXPECT_EQ(controls_.Top, 0);
  EXPECT_FALSE(controls_.RadioButton1 || controls_.RadioButton2 || controls_.RadioButton3 || controls_.RadioButton4);
  EXPECT_EQ(options_.Separator, "");
  ExpectDefaultsFrom11On(options_, controls_);
}

TEST_F(SettingsTest, SaveWritesSeventeenLinesAndLeavesNoTemporaryFile) {
  controls_.Left = -5;
  controls_.Top = 40;
  SetOutputRadioButton(controls_, 1, true);
  controls_.Edit1 = "\x93\xFA\x96\x7B";  // 日本
  options_.Separator = "";
  options_.NamingPattern = 6;
  options_.StartNumber = 9999;
  options_.Margin = 100;
  options_.CompactEmptyNumbers = true;
  ASSERT_TRUE(SaveSettings(file_, controls_, options_));
  EXPECT_EQ(ReadRaw(file_),
            "-5\r\n40\r\n1\r\n0\r\n0\r\n0\r\n\x93\xFA\x96\x7B\r\n\r\n6\r\n0\r\n9999\r\n0\r\n0\r\n1\r\n100\r\n0\r\n0\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
}

TEST_F(SettingsTest, SaveReplacesAnEarlierFile) {
  WriteRaw("old contents that are longer than the new ones will be, by quite a lot of bytes\r\n");
  options_.StartNumber = 3;
  ASSERT_TRUE(SaveSettings(file_, controls_, options_));
  FormControls c;
  SplitOptions o;
  LoadSettings(file_, c, o);
  EXPECT_EQ(o.StartNumber, 3);
  EXPECT_EQ(CountLines(ReadRaw(file_)), 17u);
}

TEST_F(SettingsTest, FailedSaveLeavesNoFileAndKeepsAnEarlierOne) {
  // A folder that does not exist cannot take the file.
  const std::filesystem::path missing = dir_ / "missing" / "kelvane.dat";
  EXPECT_FALSE(SaveSettings(missing, controls_, options_));
  EXPECT_FALSE(std::filesystem::exists(missing));

  // The temporary file's name taken by a folder: the write fails, the earlier file stays.
  WriteRaw("earlier\r\n");
  std::filesystem::path blocker = file_;
  blocker += ".tmp";
  std::filesystem::create_directory(blocker);
  EXPECT_FALSE(SaveSettings(file_, controls_, options_));
  EXPECT_EQ(ReadRaw(file_), "earlier\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(blocker));

  // The target itself a folder: the rename fails and the temporary file is gone again.
  std::filesystem::remove(blocker);
  const std::filesystem::path folderTarget = dir_ / "taken.dat";
  std::filesystem::create_directories(folderTarget / "inside");
  EXPECT_FALSE(SaveSettings(folderTarget, controls_, options_));
  std::filesystem::path temporary = folderTarget;
  temporary += ".tmp";
  EXPECT_FALSE(std::filesystem::exists(temporary));
}

TEST_F(SettingsTest, ReadOnlyFolderLeavesNoFile) {
  const std::filesystem::path locked = dir_ / "locked";
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  {
    std::ofstream probe(locked / "probe");
    if (probe) GTEST_SKIP() << "this user can write into read-only folders";
  }
  EXPECT_FALSE(SaveSettings(locked / "kelvane.dat", controls_, options_));
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
  EXPECT_TRUE(std::filesystem::is_empty(locked));
}

TEST_F(SettingsTest, SettingsFileLocations) {
  EXPECT_EQ(SettingsFileBeside("/opt/k/kelvane"), std::filesystem::path("/opt/k/kelvane.dat"));
  EXPECT_EQ(SettingsFileBeside("/opt/k/Kelvane.exe"), std::filesystem::path("/opt/k/Kelvane.dat"));

  FakePlatform platform;
  platform.executable = dir_ / "bin" / "kelvane";
  platform.userSettings = dir_ / "user";
  EXPECT_EQ(UserSettingsFile(platform), dir_ / "user" / "kelvane.dat");
  // Beside the executable unless the user's folder holds a copy.
  EXPECT_EQ(DefaultSettingsFile(platform), dir_ / "bin" / "kelvane.dat");
  std::filesystem::create_directories(dir_ / "user");
  std::ofstream(dir_ / "user" / "kelvane.dat") << "1\r\n";
  EXPECT_EQ(DefaultSettingsFile(platform), dir_ / "user" / "kelvane.dat");
}
