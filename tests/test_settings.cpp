// Tests of the settings file: defaults, old and short layouts, limits, parsing and safe writing.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/settings.h"
#include "fake_services.h"

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
  void Load() { LoadSettings(file_, options_, position_); }

  std::filesystem::path dir_;
  std::filesystem::path file_;
  SplitOptions options_;
  WindowPosition position_;
};

// The ten lines of the older layout, every value away from its default.
const std::vector<std::string> kTenLines = {"300", "-20", "0", "0", "0", "1", "D:\\out\\", "-", "4", "1"};

// All seventeen lines as the program writes them, every value away from its default.
const std::vector<std::string> kSeventeenLines = {"300", "-20", "0", "1", "0", "0", "D:\\out\\", "#",
                                                  "5", "1", "17", "1", "1", "1", "2.5", "1", "1"};

void ExpectDefaultsFrom11On(const SplitOptions& o) {
  EXPECT_EQ(o.startNumber, 0);
  EXPECT_FALSE(o.printAfterSplit);
  EXPECT_FALSE(o.drawFrameOnFF);
  EXPECT_FALSE(o.compactEmptyNumbers);
  EXPECT_EQ(o.margin, 0);
  EXPECT_FALSE(o.confirmSavedBeforeRun);
  EXPECT_EQ(o.numberingDirection, NumberingDirection::kRows);
}

size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++n;
  return n;
}

}  // namespace

TEST_F(SettingsTest, FirstStartWithoutFileGivesDefaultsEvenOverEarlierValues) {
  // A model holding other values first: the defaults must be applied, not merely assumed.
  options_.outputFolder = OutputFolder::kDesktop;
  options_.givenFolder = "x";
  options_.separator = "-";
  options_.startNumber = 5;
  options_.margin = 7;
  options_.namingPattern = NamingPattern::kNumberSourceName;
  options_.numberingDirection = NumberingDirection::kColumns;
  options_.leadingZeros = true;
  options_.printAfterSplit = options_.drawFrameOnFF = options_.compactEmptyNumbers = true;
  options_.confirmSavedBeforeRun = true;
  Load();

  EXPECT_EQ(options_.outputFolder, OutputFolder::kSourceFolder);
  EXPECT_EQ(options_.givenFolder, "");
  EXPECT_EQ(options_.separator, "_");
  EXPECT_EQ(options_.namingPattern, NamingPattern::kNumberSource);
  EXPECT_FALSE(options_.leadingZeros);
  ExpectDefaultsFrom11On(options_);
  EXPECT_EQ(options_, SplitOptions{});
  // No stored position: the window keeps its design position.
  EXPECT_EQ(position_.left, 192);
  EXPECT_EQ(position_.top, 107);
}

TEST_F(SettingsTest, TenLineFileKeepsLaterDefaultsAndIsRewrittenWithSeventeenLines) {
  WriteLines(kTenLines);
  Load();
  EXPECT_EQ(position_.left, 300);
  EXPECT_EQ(position_.top, -20);
  EXPECT_EQ(options_.outputFolder, OutputFolder::kGivenFolder);
  EXPECT_EQ(options_.givenFolder, "D:\\out\\");
  EXPECT_EQ(options_.separator, "-");
  EXPECT_EQ(options_.namingPattern, NamingPattern::kSourceNumberName);
  EXPECT_TRUE(options_.leadingZeros);
  ExpectDefaultsFrom11On(options_);

  ASSERT_TRUE(SaveSettings(file_, options_, position_));
  const std::string text = ReadRaw(file_);
  EXPECT_EQ(CountLines(text), 17u);
  EXPECT_EQ(text, "300\r\n-20\r\n0\r\n0\r\n0\r\n1\r\nD:\\out\\\r\n-\r\n4\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n");
}

TEST_F(SettingsTest, SeventeenLineFileReadsEveryValueAndWritesTheSameBytes) {
  WriteLines(kSeventeenLines);
  const std::string original = ReadRaw(file_);
  Load();
  EXPECT_EQ(options_.outputFolder, OutputFolder::kDocuments);
  EXPECT_EQ(options_.separator, "#");
  EXPECT_EQ(options_.namingPattern, NamingPattern::kName);
  EXPECT_TRUE(options_.leadingZeros);
  EXPECT_EQ(options_.startNumber, 17);
  EXPECT_TRUE(options_.printAfterSplit);
  EXPECT_TRUE(options_.drawFrameOnFF);
  EXPECT_TRUE(options_.compactEmptyNumbers);
  EXPECT_EQ(options_.margin, 2.5);
  EXPECT_TRUE(options_.confirmSavedBeforeRun);
  EXPECT_EQ(options_.numberingDirection, NumberingDirection::kColumns);

  std::filesystem::remove(file_);
  ASSERT_TRUE(SaveSettings(file_, options_, position_));
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
    options_ = SplitOptions{};
    Load();
    EXPECT_EQ(options_.startNumber, c.start);
    EXPECT_EQ(options_.printAfterSplit, c.print);
    EXPECT_EQ(options_.drawFrameOnFF, c.frame);
    EXPECT_EQ(options_.compactEmptyNumbers, c.compact);
    EXPECT_EQ(options_.margin, c.margin);
    EXPECT_EQ(options_.confirmSavedBeforeRun, c.confirm);
    EXPECT_EQ(options_.numberingDirection, NumberingDirection(c.direction));
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
    EXPECT_EQ(options_.numberingDirection, NumberingDirection::kColumns);
    EXPECT_EQ(options_.margin, 2.5);
  }
}

TEST_F(SettingsTest, LastTrueRadioLineDecides) {
  struct Case {
    const char* lines[4];
    OutputFolder expected;
  };
  const Case cases[] = {
      {{"1", "1", "0", "0"}, OutputFolder::kDocuments},    {{"0", "0", "0", "0"}, OutputFolder::kNone},
      {{"1", "0", "0", "0"}, OutputFolder::kDesktop},      {{"0", "0", "1", "0"}, OutputFolder::kSourceFolder},
      {{"0", "1", "1", "1"}, OutputFolder::kGivenFolder},  {{"1", "0", "1", "0"}, OutputFolder::kSourceFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lines[0]) + c.lines[1] + c.lines[2] + c.lines[3]);
    std::vector<std::string> lines = kTenLines;
    for (int i = 0; i < 4; ++i) lines[size_t(2 + i)] = c.lines[i];
    WriteLines(lines);
    Load();
    EXPECT_EQ(options_.outputFolder, c.expected);
    // Written back as the one button selected, or none.
    ASSERT_TRUE(SaveSettings(file_, options_, position_));
    SplitOptions again;
    LoadSettings(file_, again, position_);
    EXPECT_EQ(again.outputFolder, c.expected);
  }
}

TEST_F(SettingsTest, OutOfRangeValuesAreLimited) {
  struct Case {
    size_t line;  // 1-based
    const char* text;
    int32_t expected;  // the value as its line would be written again
  };
  const Case cases[] = {
      {9, "9", 6},  {9, "-2", 0},  {9, "6", 6},        {10, "-1", 0},  {10, "5", 1},
      {11, "12345", 9999}, {11, "-5", 0}, {11, "9999", 9999}, {17, "3", 1}, {17, "-3", 0},
  };
  const auto valueOfLine = [](const SplitOptions& o, size_t line) {
    switch (line) {
      case 9: return int32_t(o.namingPattern);
      case 10: return int32_t(o.leadingZeros);
      case 11: return o.startNumber;
      default: return int32_t(o.numberingDirection);
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.line) + ": " + c.text);
    std::vector<std::string> lines = kSeventeenLines;
    lines[c.line - 1] = c.text;
    WriteLines(lines);
    Load();
    EXPECT_EQ(valueOfLine(options_, c.line), c.expected);
  }
}

TEST_F(SettingsTest, MarginIsLimitedAndShownShortest) {
  const struct {
    const char* text;
    double value;
    const char* shown;
  } cases[] = {{"250", 100, "100"}, {"-1", 0, "0"},  {"2.5", 2.5, "2.5"},   {"2.50", 2.5, "2.5"},
               {"1E1", 10, "10"},   {"x", 0, "0"},   {"0.1", 0.1, "0.1"},   {"99.999999", 99.999999, "99.999999"},
               // Read as the margin box shows it: fifteen significant digits.
               {"0.12345678901234567", 0.123456789012346, "0.123456789012346"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> lines = kSeventeenLines;
    lines[14] = c.text;
    WriteLines(lines);
    Load();
    EXPECT_EQ(options_.margin, c.value);
    EXPECT_EQ(FormatReal(options_.margin), c.shown);
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
  }
}

TEST_F(SettingsTest, JunkLinesGiveZeroFalseOrTheText) {
  WriteLines({"left", " 12", "yes", "no", "maybe", "", "C:\\x", "_", "five", "1.0", "0x10", "?", "", "", "1,5", "", "$1"});
  Load();
  EXPECT_EQ(position_.left, 0);
  EXPECT_EQ(position_.top, 12);
  EXPECT_EQ(options_.outputFolder, OutputFolder::kNone);
  EXPECT_EQ(options_.namingPattern, NamingPattern::kNumberSource);
  EXPECT_FALSE(options_.leadingZeros);  // "1.0" is not an integer
  EXPECT_EQ(options_.startNumber, 16);
  EXPECT_FALSE(options_.printAfterSplit);
  EXPECT_EQ(options_.margin, 0);  // the decimal point is always "."
  EXPECT_EQ(options_.numberingDirection, NumberingDirection::kColumns);
}

TEST_F(SettingsTest, EmptyFileSelectsNoOutputButton) {
  WriteRaw("");
  Load();
  EXPECT_EQ(position_.left, 0);
  EXPECT_EQ(position_.top, 0);
  EXPECT_EQ(options_.outputFolder, OutputFolder::kNone);
  EXPECT_EQ(options_.separator, "");
  ExpectDefaultsFrom11On(options_);
}

TEST_F(SettingsTest, SaveWritesSeventeenLinesAndLeavesNoTemporaryFile) {
  position_ = {-5, 40};
  options_.outputFolder = OutputFolder::kDesktop;
  options_.givenFolder = "\x93\xFA\x96\x7B";  // 日本
  options_.separator = "";
  options_.namingPattern = NamingPattern::kNumberName;
  options_.startNumber = 9999;
  options_.margin = 100;
  options_.compactEmptyNumbers = true;
  ASSERT_TRUE(SaveSettings(file_, options_, position_));
  EXPECT_EQ(ReadRaw(file_),
            "-5\r\n40\r\n1\r\n0\r\n0\r\n0\r\n\x93\xFA\x96\x7B\r\n\r\n6\r\n0\r\n9999\r\n0\r\n0\r\n1\r\n100\r\n0\r\n0\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
}

TEST_F(SettingsTest, SaveReplacesAnEarlierFile) {
  WriteRaw("old contents that are longer than the new ones will be, by quite a lot of bytes\r\n");
  options_.startNumber = 3;
  ASSERT_TRUE(SaveSettings(file_, options_, position_));
  SplitOptions o;
  WindowPosition p;
  LoadSettings(file_, o, p);
  EXPECT_EQ(o.startNumber, 3);
  EXPECT_EQ(CountLines(ReadRaw(file_)), 17u);
}

TEST_F(SettingsTest, FailedSaveLeavesNoFileAndKeepsAnEarlierOne) {
  // A folder that does not exist cannot take the file.
  const std::filesystem::path missing = dir_ / "missing" / "kelvane.dat";
  EXPECT_FALSE(SaveSettings(missing, options_, position_));
  EXPECT_FALSE(std::filesystem::exists(missing));

  // The target itself a folder: the move fails, the earlier file elsewhere stays, and no
  // temporary file is left behind.
  WriteRaw("earlier\r\n");
  const std::filesystem::path folderTarget = dir_ / "taken.dat";
  std::filesystem::create_directories(folderTarget / "inside");
  EXPECT_FALSE(SaveSettings(folderTarget, options_, position_));
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
  EXPECT_FALSE(SaveSettings(locked / "kelvane.dat", options_, position_));
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
  EXPECT_TRUE(std::filesystem::is_empty(locked));
}

TEST_F(SettingsTest, SettingsFileLocations) {
  EXPECT_EQ(SettingsFileBeside("/opt/k/kelvane"), std::filesystem::path("/opt/k/kelvane.dat"));
  EXPECT_EQ(SettingsFileBeside("/opt/k/Kelvane.exe"), std::filesystem::path("/opt/k/Kelvane.dat"));

  FakeServices platform;
  platform.executable = dir_ / "bin" / "kelvane";
  platform.userSettings = dir_ / "user";
  EXPECT_EQ(UserSettingsFile(platform), dir_ / "user" / "kelvane.dat");
  // Beside the executable unless the user's folder holds a copy.
  EXPECT_EQ(DefaultSettingsFile(platform, platform), dir_ / "bin" / "kelvane.dat");
  std::filesystem::create_directories(dir_ / "user");
  std::ofstream(dir_ / "user" / "kelvane.dat") << "1\r\n";
  EXPECT_EQ(DefaultSettingsFile(platform, platform), dir_ / "user" / "kelvane.dat");
}
