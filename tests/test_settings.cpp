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
  OptionControls controls_;
  SplitOptions options_;
};

// The ten lines of the older layout, every value away from its default.
const std::vector<std::string> kTenLines = {"300", "-20", "0", "0", "0", "1", "D:\\out\\", "-", "4", "1"};

// All seventeen lines as the program writes them, every value away from its default.
const std::vector<std::string> kSeventeenLines = {"300", "-20", "0", "1", "0", "0", "D:\\out\\", "#",
                                                  "5", "1", "17", "1", "1", "1", "2.5", "1", "1"};

void ExpectDefaultsFrom11On(const SplitOptions& o, const OptionControls& c) {
  EXPECT_EQ(o.startNumber, 0);
  EXPECT_EQ(c.startNumberEdit, "0");
  EXPECT_FALSE(o.printAfterSplit);
  EXPECT_FALSE(o.drawFrameOnFF);
  EXPECT_FALSE(o.compactEmptyNumbers);
  EXPECT_EQ(o.margin, 0);
  EXPECT_EQ(c.marginEdit, "0");
  EXPECT_FALSE(o.confirmSavedBeforeRun);
  EXPECT_EQ(o.numberingDirection, 0);
  EXPECT_FALSE(c.printAfterSplitCheck || c.drawFrameCheck || c.compactNumbersCheck || c.confirmSavedCheck);
}

size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++n;
  return n;
}

}  // namespace

TEST_F(SettingsTest, FirstStartWithoutFileGivesDefaultsEvenOverEarlierValues) {
  // Controls holding other values first: the defaults must be applied, not merely assumed.
  controls_.outputToSourceFolder = false;
  controls_.outputToDesktop = true;
  controls_.outputFolderEdit = "x";
  controls_.separatorEdit = "-";
  controls_.startNumberEdit = "5";
  controls_.marginEdit = "7";
  controls_.namingPatternCombo = 3;
  controls_.numberingDirectionGroup = controls_.leadingZeroGroup = 1;
  controls_.printAfterSplitCheck = controls_.drawFrameCheck = controls_.compactNumbersCheck = controls_.confirmSavedCheck = true;
  options_.separator = "-";
  options_.startNumber = 5;
  options_.margin = 7;
  options_.confirmSavedBeforeRun = true;
  Load();

  EXPECT_FALSE(controls_.outputToDesktop);
  EXPECT_FALSE(controls_.outputToDocuments);
  EXPECT_TRUE(controls_.outputToSourceFolder);
  EXPECT_FALSE(controls_.outputToGivenFolder);
  EXPECT_EQ(controls_.outputFolderEdit, "");
  EXPECT_EQ(options_.separator, "_");
  EXPECT_EQ(controls_.separatorEdit, "_");
  EXPECT_EQ(options_.namingPattern, 0);
  EXPECT_EQ(controls_.namingPatternCombo, 0);
  EXPECT_EQ(options_.leadingZero, 0);
  EXPECT_EQ(controls_.leadingZeroGroup, 0);
  EXPECT_EQ(controls_.numberingDirectionGroup, 0);
  ExpectDefaultsFrom11On(options_, controls_);
  // No stored position: the window keeps its design position.
  EXPECT_EQ(controls_.left, 192);
  EXPECT_EQ(controls_.top, 107);
}

TEST_F(SettingsTest, TenLineFileKeepsLaterDefaultsAndIsRewrittenWithSeventeenLines) {
  WriteLines(kTenLines);
  Load();
  EXPECT_EQ(controls_.left, 300);
  EXPECT_EQ(controls_.top, -20);
  EXPECT_TRUE(controls_.outputToGivenFolder);
  EXPECT_FALSE(controls_.outputToSourceFolder);
  EXPECT_EQ(controls_.outputFolderEdit, "D:\\out\\");
  EXPECT_EQ(options_.separator, "-");
  EXPECT_EQ(controls_.separatorEdit, "-");
  EXPECT_EQ(options_.namingPattern, 4);
  EXPECT_EQ(controls_.namingPatternCombo, 4);
  EXPECT_EQ(options_.leadingZero, 1);
  EXPECT_EQ(controls_.leadingZeroGroup, 1);
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
  EXPECT_TRUE(controls_.outputToDocuments);
  EXPECT_FALSE(controls_.outputToSourceFolder);
  EXPECT_EQ(options_.separator, "#");
  EXPECT_EQ(options_.namingPattern, 5);
  EXPECT_EQ(options_.leadingZero, 1);
  EXPECT_EQ(options_.startNumber, 17);
  EXPECT_EQ(controls_.startNumberEdit, "17");
  EXPECT_TRUE(options_.printAfterSplit);
  EXPECT_TRUE(options_.drawFrameOnFF);
  EXPECT_TRUE(options_.compactEmptyNumbers);
  EXPECT_EQ(options_.margin, 2.5);
  EXPECT_EQ(controls_.marginEdit, "2.5");
  EXPECT_TRUE(options_.confirmSavedBeforeRun);
  EXPECT_EQ(options_.numberingDirection, 1);
  EXPECT_EQ(controls_.numberingDirectionGroup, 1);
  EXPECT_TRUE(controls_.printAfterSplitCheck && controls_.drawFrameCheck && controls_.compactNumbersCheck && controls_.confirmSavedCheck);

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
    controls_ = OptionControls{};
    options_ = SplitOptions{};
    Load();
    EXPECT_EQ(options_.startNumber, c.start);
    EXPECT_EQ(options_.printAfterSplit, c.print);
    EXPECT_EQ(options_.drawFrameOnFF, c.frame);
    EXPECT_EQ(options_.compactEmptyNumbers, c.compact);
    EXPECT_EQ(options_.margin, c.margin);
    EXPECT_EQ(options_.confirmSavedBeforeRun, c.confirm);
    EXPECT_EQ(options_.numberingDirection, c.direction);
  }
}

TEST_F(SettingsTest, LineEndsOfEveryKindAreRead) {
  for (const char* end : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(end == std::string("\n") ? "LF" : end == std::string("\r") ? "CR" : "CRLF");
    std::string text;
    for (const std::string& l : kSeventeenLines) text += l + end;
    WriteRaw(text);
    Load();
    EXPECT_EQ(options_.separator, "#");
    EXPECT_EQ(options_.numberingDirection, 1);
    EXPECT_EQ(options_.margin, 2.5);
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
    EXPECT_EQ(controls_.outputToDesktop, c.expected[0]);
    EXPECT_EQ(controls_.outputToDocuments, c.expected[1]);
    EXPECT_EQ(controls_.outputToSourceFolder, c.expected[2]);
    EXPECT_EQ(controls_.outputToGivenFolder, c.expected[3]);
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
      {9, "9", &SplitOptions::namingPattern, 6},    {9, "-2", &SplitOptions::namingPattern, 0},
      {9, "6", &SplitOptions::namingPattern, 6},    {10, "-1", &SplitOptions::leadingZero, 0},
      {10, "5", &SplitOptions::leadingZero, 1},     {11, "12345", &SplitOptions::startNumber, 9999},
      {11, "-5", &SplitOptions::startNumber, 0},    {11, "9999", &SplitOptions::startNumber, 9999},
      {17, "3", &SplitOptions::numberingDirection, 1}, {17, "-3", &SplitOptions::numberingDirection, 0},
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
  EXPECT_EQ(controls_.namingPatternCombo, 6);
  EXPECT_EQ(controls_.startNumberEdit, "9999");
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
    EXPECT_EQ(options_.margin, c.value);
    EXPECT_EQ(controls_.marginEdit, c.shown);
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
    EXPECT_EQ(options_.separator, c.expected);
    EXPECT_EQ(controls_.separatorEdit, c.expected);
  }
}

TEST_F(SettingsTest, SeparatorWithForbiddenCharactersIsLoadedUnchecked) {
  std::vector<std::string> lines = kSeventeenLines;
  lines[7] = "a.b";
  WriteLines(lines);
  Load();
  EXPECT_EQ(options_.separator, "a.b");
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
    EXPECT_EQ(options_.printAfterSplit, c.expected);
    EXPECT_EQ(options_.drawFrameOnFF, c.expected);
    EXPECT_EQ(options_.compactEmptyNumbers, c.expected);
    EXPECT_EQ(options_.confirmSavedBeforeRun, c.expected);
    EXPECT_EQ(controls_.printAfterSplitCheck, c.expected);
    EXPECT_EQ(controls_.confirmSavedCheck, c.expected);
  }
}

TEST_F(SettingsTest, JunkLinesGiveZeroFalseOrTheText) {
  WriteLines({"left", " 12", "yes", "no", "maybe", "", "C:\\x", "_", "five", "1.0", "0x10", "?", "", "", "1,5", "", "$1"});
  Load();
  EXPECT_EQ(controls_.left, 0);
  EXPECT_EQ(controls_.top, 12);
  EXPECT_FALSE(controls_.outputToDesktop || controls_.outputToDocuments || controls_.outputToSourceFolder || controls_.outputToGivenFolder);
  EXPECT_EQ(options_.namingPattern, 0);
  EXPECT_EQ(options_.leadingZero, 0);  // "1.0" is not an integer
  EXPECT_EQ(options_.startNumber, 16);
  EXPECT_FALSE(options_.printAfterSplit);
  EXPECT_EQ(options_.margin, 0);  // the decimal point is always "."
  EXPECT_EQ(options_.numberingDirection, 1);
}

TEST_F(SettingsTest, EmptyFileSelectsNoOutputButton) {
  WriteRaw("");
  Load();
  EXPECT_EQ(controls_.left, 0);
  EXPECT_EQ(controls_.top, 0);
  EXPECT_FALSE(controls_.outputToDesktop || controls_.outputToDocuments || controls_.outputToSourceFolder || controls_.outputToGivenFolder);
  EXPECT_EQ(options_.separator, "");
  ExpectDefaultsFrom11On(options_, controls_);
}

TEST_F(SettingsTest, SaveWritesSeventeenLinesAndLeavesNoTemporaryFile) {
  controls_.left = -5;
  controls_.top = 40;
  SetOutputRadioButton(controls_, 1, true);
  controls_.outputFolderEdit = "\x93\xFA\x96\x7B";  // 日本
  options_.separator = "";
  options_.namingPattern = 6;
  options_.startNumber = 9999;
  options_.margin = 100;
  options_.compactEmptyNumbers = true;
  ASSERT_TRUE(SaveSettings(file_, controls_, options_));
  EXPECT_EQ(ReadRaw(file_),
            "-5\r\n40\r\n1\r\n0\r\n0\r\n0\r\n\x93\xFA\x96\x7B\r\n\r\n6\r\n0\r\n9999\r\n0\r\n0\r\n1\r\n100\r\n0\r\n0\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
}

TEST_F(SettingsTest, SaveReplacesAnEarlierFile) {
  WriteRaw("old contents that are longer than the new ones will be, by quite a lot of bytes\r\n");
  options_.startNumber = 3;
  ASSERT_TRUE(SaveSettings(file_, controls_, options_));
  OptionControls c;
  SplitOptions o;
  LoadSettings(file_, c, o);
  EXPECT_EQ(o.startNumber, 3);
  EXPECT_EQ(CountLines(ReadRaw(file_)), 17u);
}

TEST_F(SettingsTest, FailedSaveLeavesNoFileAndKeepsAnEarlierOne) {
  // A folder that does not exist cannot take the file.
  const std::filesystem::path missing = dir_ / "missing" / "kelvane.dat";
  EXPECT_FALSE(SaveSettings(missing, controls_, options_));
  EXPECT_FALSE(std::filesystem::exists(missing));

  // The target itself a folder: the move fails, the earlier file elsewhere stays, and no
  // temporary file is left behind.
  WriteRaw("earlier\r\n");
  const std::filesystem::path folderTarget = dir_ / "taken.dat";
  std::filesystem::create_directories(folderTarget / "inside");
  EXPECT_FALSE(SaveSettings(folderTarget, controls_, options_));
  EXPECT_EQ(ReadRaw(file_), "earlier\r\n");
  for (const auto& e : std::filesystem::directory_iterator(dir_))
    EXPECT_TRUE(e.path() == file_ || e.path() == folderTarget) << "left behind: " << e.path();
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
